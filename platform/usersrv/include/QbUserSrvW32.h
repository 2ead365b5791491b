// The user server: programs register a service with it by name and callback
// interface; it starts and stops registered services by writing index groups
// 1 to 4 to the program's Vos port "UserSrv_<name>":
//   1 start the service, 2 service call (make it reachable), 3 stop, 4 shut down.
// With the environment variable QBUSERSRV_AUTOSTART holding the name (names
// separated by ',' or ';', or "*" for every name), a service is started at
// once when it registers: as soon as its port is open, groups 1 and 2 are written.
#pragma once

#include <windows.h>

// {A34B80D2-6D73-49BF-9E89-F99EF57C816B}
extern "C" const IID IID_IQbUserServerCallback;
// {50ACC943-642F-4410-A777-6123A6AB5FBB}
extern "C" const IID IID_IQbUserServer;

// Implemented by the registering program.
struct IQbUserServerCallback : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE StartService() = 0;
    virtual HRESULT STDMETHODCALLTYPE StopService() = 0;
    virtual HRESULT STDMETHODCALLTYPE ServiceCall() = 0;
    virtual HRESULT STDMETHODCALLTYPE ShutdownService() = 0;
};

// Results beyond the usual COM codes: a failed Vos exchange gives
// USERSRV_E_VOS | the Vos error code (for example 0x8004060A: no port "UserSrv_<name>").
constexpr HRESULT USERSRV_E_VOS = static_cast<HRESULT>(0x80040000L);
constexpr HRESULT USERSRV_E_ALREADY_REGISTERED = static_cast<HRESULT>(0x80041001L);
constexpr HRESULT USERSRV_E_NOT_REGISTERED = static_cast<HRESULT>(0x80041002L);

struct IQbUserServer : public IUnknown
{
    // Registers a service of this process; the server keeps a reference to the
    // callback until the service is unregistered or the server's last reference goes.
    virtual HRESULT STDMETHODCALLTYPE RegisterClient(BSTR name, IQbUserServerCallback* callback) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnregisterClient(BSTR name) = 0;
    // These reach a service of any process through its port "UserSrv_<name>".
    // Start writes group 1 and then group 2.
    virtual HRESULT STDMETHODCALLTYPE StartClientService(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopClientService(BSTR name) = 0;     // group 3
    virtual HRESULT STDMETHODCALLTYPE ShutdownClientService(BSTR name) = 0; // group 4
};

// Gives the process's user server with one reference taken (S_OK), E_POINTER for a null argument.
extern "C" HRESULT DllGetQbUserServer(IQbUserServer** server);
