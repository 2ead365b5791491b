// A program that registers a service with the user server, as a program of
// the device does, and prints every callback it gets. Prints "ready" once its
// port "UserSrv_<name>" is open; ends when its standard input closes.
// The service named "Failing" fails to start.
#include "QbUserSrvW32.h"
#include "vos/vosw32.h"

#include <cstdio>
#include <mutex>
#include <string>

#include <unistd.h>

namespace
{

std::string g_name;
// A service started on registration is called as soon as the port is open: its line waits for "ready".
std::mutex g_output;

class Callback : public IQbUserServerCallback
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE StartService() override
    {
        return Say("StartService", g_name == "Failing" ? E_FAIL : S_OK);
    }
    HRESULT STDMETHODCALLTYPE StopService() override { return Say("StopService", S_OK); }
    HRESULT STDMETHODCALLTYPE ServiceCall() override { return Say("ServiceCall", S_OK); }
    HRESULT STDMETHODCALLTYPE ShutdownService() override { return Say("ShutdownService", S_OK); }

private:
    HRESULT Say(const char* what, HRESULT hr)
    {
        std::lock_guard lock(g_output);
        std::printf("%s\n", what);
        std::fflush(stdout);
        return hr;
    }
};

// Maps index groups 1 to 4 of a write to the callback.
class UserSrvPort : public CVosW32
{
public:
    UserSrvPort(IQbUserServerCallback* callback) : CVosW32(0, FALSE, nullptr, 1), m_callback(callback)
    {
        OrxSetPortName(("UserSrv_" + g_name).c_str());
    }
    ~UserSrvPort() override { OrxDisconnect(); }

    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length,
                     const void* data) override
    {
        HRESULT hr;
        switch (group)
        {
        case 1:
            hr = m_callback->StartService();
            break;
        case 2:
            hr = m_callback->ServiceCall();
            break;
        case 3:
            hr = m_callback->StopService();
            break;
        case 4:
            hr = m_callback->ShutdownService();
            break;
        default:
            CVosW32::VosWriteInd(addr, invokeId, group, offset, length, data);
            return;
        }
        VosWriteRes(addr, invokeId, hr >= 0 ? 0 : VOSERR_DEVICE_ERROR);
    }

private:
    IQbUserServerCallback* m_callback;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    g_name = argv[1];
    Callback callback;
    IQbUserServer* server = nullptr;
    if (FAILED(DllGetQbUserServer(&server)))
        return 1;
    BSTR name = SysAllocString(os::toUtf16(g_name).c_str());
    HRESULT hr = server->RegisterClient(name, &callback);
    SysFreeString(name);
    if (FAILED(hr))
        return 1;
    UserSrvPort port(&callback);
    {
        std::lock_guard lock(g_output);
        if (!port.OrxConnect(0, 4096, 80))
            return 1;
        std::printf("ready\n");
        std::fflush(stdout);
    }
    char buf[64];
    while (::read(0, buf, sizeof buf) > 0)
    {
    }
    server->Release();
    port.OrxDisconnect();
    return 0;
}
