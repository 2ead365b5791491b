// The server's Vos requests (index groups 1 and 5000) over the generic request object: restart,
// trace level, DefaultSubscriptionMode and the configuration file's path. The server object
// derives from COpcVosServer and gives it the server operations below; the request texts in
// the trace name it ("COpcUaServer::...").
#pragma once

#include "vosserverimp.h"

#include <opcua.h>

#include <string>

// The port the server's requests arrive on, by number and by name.
constexpr USHORT OPCWATCH_VOS_PORT = 11600;
constexpr char OPCWATCH_VOS_PORT_NAME[] = "Opcwatch";

// Index groups and offsets.
constexpr ULONG IOFF_RESTART = 1;
constexpr ULONG IOFF_CONFIG = 5000;
constexpr ULONG IOFF_CONFIG_TRACELEVEL = 100;
constexpr ULONG IOFF_CONFIG_SUBSCRIPTIONMODE = 110;
constexpr ULONG IOFF_CONFIG_FILEPATH = 120;

// Results besides S_OK.
constexpr HRESULT OPCVOS_E_NOT_ALLOWED = static_cast<HRESULT>(0x98110701); // also: the server is stopped
constexpr HRESULT OPCVOS_E_UNKNOWN_GROUP = static_cast<HRESULT>(0x98110702);
constexpr HRESULT OPCVOS_E_UNKNOWN_OFFSET = static_cast<HRESULT>(0x98110703);
constexpr HRESULT OPCVOS_E_SIZE = static_cast<HRESULT>(0x98110705);

// What the requests need of the server object.
class OpcServerOperations
{
public:
    virtual ~OpcServerOperations() = default;

    // Start and stop take the server's lock themselves.
    virtual OpcUa_StatusCode StartUaServer() = 0;
    virtual OpcUa_StatusCode StopUaServer() = 0;
    // The server's recursive lock, the one start and stop hold.
    virtual void lockServer() = 0;
    virtual void unlockServer() = 0;
    // Under the lock: whether the server runs.
    virtual bool isServerRunning() = 0;
    // Under the lock, while the server runs: its configuration's DefaultSubscriptionMode.
    virtual OpcUa_UInt32 defaultSubscriptionMode() = 0;
    virtual void setDefaultSubscriptionMode(OpcUa_UInt32 mode) = 0;
};

class COpcVosServer : public CVosServerImp
{
public:
    // programDirectory: where the configuration file and the trace file lie.
    COpcVosServer(OpcServerOperations& server, const std::u16string& programDirectory);
    ~COpcVosServer() override;

    // Hands length and data to ReadWrite as the data to write.
    STDMETHOD(Write)(ULONG indexGroup, ULONG indexOffset, ULONG length, const void* data) override;
    STDMETHOD(Read)(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data) override;
    STDMETHOD(ReadEx)
    (ULONG indexGroup, ULONG indexOffset, ULONG length, void* data, ULONG* returned) override;
    STDMETHOD(ReadWrite)
    (ULONG indexGroup, ULONG indexOffset, ULONG readLength, void* readData, ULONG writeLength,
     const void* writeData, ULONG* returned) override;
    // The name "Opcwatch" and the program file's version.
    STDMETHOD(ReadDeviceInfo)(BSTR* name, VosVersion* version) override;
    // Vos state 5; device state 5 while the server runs, 6 while it is stopped.
    STDMETHOD(ReadState)(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4) override;

private:
    HRESULT traceLevel(ULONG readLength, void* readData, ULONG writeLength, const void* writeData,
                       ULONG* returned);
    HRESULT subscriptionMode(ULONG readLength, void* readData, ULONG writeLength, const void* writeData,
                             ULONG* returned);
    HRESULT configurationPath(ULONG readLength, void* readData, ULONG writeLength, const void* writeData,
                              ULONG* returned);

    OpcServerOperations& m_server;
    const std::u16string m_programDirectory;
};
