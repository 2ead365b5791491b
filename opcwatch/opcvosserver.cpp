#include "opcvosserver.h"

#include "opcwatchpaths.h"
#include "opcwatchtrace.h"

#include <uatrace.h>

#include <os/text.h>

#include <cstring>
#include <mutex>

namespace
{
constexpr ULONG kValueSize = 4;

// The server's lock as a lockable for the guards.
class ServerLock
{
public:
    explicit ServerLock(OpcServerOperations& server) : m_server(server) {}
    void lock() { m_server.lockServer(); }
    void unlock() { m_server.unlockServer(); }

private:
    OpcServerOperations& m_server;
};

void setReturned(ULONG* returned, ULONG length)
{
    if (returned)
        *returned = length;
}

unsigned hex(ULONG value)
{
    return static_cast<unsigned>(value);
}
} // namespace

COpcVosServer::COpcVosServer(OpcServerOperations& server, const std::u16string& programDirectory)
    : m_server(server), m_programDirectory(programDirectory)
{
}

COpcVosServer::~COpcVosServer()
{
    ShutdownVosServer();
}

STDMETHODIMP COpcVosServer::Write(ULONG indexGroup, ULONG indexOffset, ULONG length, const void* data)
{
    UaTrace::traceLevel6("--> COpcUaServer::Write( ig=0x%x, io=0x%x)", hex(indexGroup), hex(indexOffset));
    // The data goes where it is written: a Write changes a setting, it does not read it.
    const HRESULT result = ReadWrite(indexGroup, indexOffset, 0, nullptr, length, data, nullptr);
    UaTrace::traceLevel6("<-- COpcUaServer::Write() [return 0x%08x]", hex(static_cast<ULONG>(result)));
    return result;
}

STDMETHODIMP COpcVosServer::Read(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data)
{
    UaTrace::traceLevel6("--> COpcUaServer::Read( ig=0x%x, io=0x%x)", hex(indexGroup), hex(indexOffset));
    if (!data)
    {
        UaTrace::traceLevel6("<-- COpcUaServer::Read() return E_POINTER");
        return E_POINTER;
    }
    ULONG returned = 0;
    const HRESULT result = ReadEx(indexGroup, indexOffset, length, data, &returned);
    UaTrace::traceLevel6("<-- COpcUaServer::Read() return [0x%08x]", hex(static_cast<ULONG>(result)));
    return result;
}

STDMETHODIMP COpcVosServer::ReadEx(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data,
                                   ULONG* returned)
{
    UaTrace::traceLevel6("--> COpcUaServer::ReadEx( ig=0x%x, io=0x%x)", hex(indexGroup), hex(indexOffset));
    if (!data || !returned)
    {
        UaTrace::traceLevel6("<-- COpcUaServer::ReadEx() return E_POINTER");
        return E_POINTER;
    }
    const HRESULT result = ReadWrite(indexGroup, indexOffset, length, data, 0, nullptr, returned);
    UaTrace::traceLevel6("<-- COpcUaServer::ReadEx() return [0x%08x]", hex(static_cast<ULONG>(result)));
    return result;
}

STDMETHODIMP COpcVosServer::ReadWrite(ULONG indexGroup, ULONG indexOffset, ULONG readLength, void* readData,
                                      ULONG writeLength, const void* writeData, ULONG* returned)
{
    UaTrace::traceLevel6("--> COpcUaServer::ReadWrite( ig=0x%x, io=0x%x)", hex(indexGroup), hex(indexOffset));
    setReturned(returned, 0);
    HRESULT result = S_OK;
    if (indexGroup == IOFF_RESTART)
    {
        UaTrace::traceLevel3("IOFF_RESTART");
        // A failed start still answers 0: the server can be restarted again.
        m_server.StopUaServer();
        m_server.StartUaServer();
    }
    else if (indexGroup == IOFF_CONFIG)
    {
        UaTrace::traceLevel3("IOFF_CONFIG");
        switch (indexOffset)
        {
        case IOFF_CONFIG_TRACELEVEL:
            result = traceLevel(readLength, readData, writeLength, writeData, returned);
            break;
        case IOFF_CONFIG_SUBSCRIPTIONMODE:
            result = subscriptionMode(readLength, readData, writeLength, writeData, returned);
            break;
        case IOFF_CONFIG_FILEPATH:
            result = configurationPath(readLength, readData, writeLength, writeData, returned);
            break;
        default:
            UaTrace::traceLevel2("Unknown iOffset : 0x%08x", hex(indexOffset));
            result = OPCVOS_E_UNKNOWN_OFFSET;
            break;
        }
    }
    else
    {
        UaTrace::traceLevel2("Unknown iGroup : 0x%08x", hex(indexGroup));
        result = OPCVOS_E_UNKNOWN_GROUP;
    }
    UaTrace::traceLevel6("<-- COpcUaServer::ReadWrite() return 0x%08x", hex(static_cast<ULONG>(result)));
    return result;
}

HRESULT COpcVosServer::traceLevel(ULONG readLength, void* readData, ULONG writeLength, const void* writeData,
                                  ULONG* returned)
{
    // Other sizes are ignored, as they always were.
    HRESULT result = S_OK;
    if (writeData && writeLength == kValueSize)
    {
        DWORD level = 0;
        std::memcpy(&level, writeData, kValueSize);
        // The new level is applied to the running server's trace; a stopped server has none.
        ServerLock serverLock(m_server);
        std::lock_guard guard(serverLock);
        if (m_server.isServerRunning())
            writeTraceLevel(level, m_programDirectory);
        else
            result = OPCVOS_E_NOT_ALLOWED;
    }
    if (readData && readLength >= kValueSize)
    {
        const DWORD level = readTraceLevel();
        std::memcpy(readData, &level, kValueSize);
        setReturned(returned, kValueSize);
    }
    return result;
}

HRESULT COpcVosServer::subscriptionMode(ULONG readLength, void* readData, ULONG writeLength,
                                        const void* writeData, ULONG* returned)
{
    // Under the server's lock: a restart on another thread deletes the configuration that holds it.
    ServerLock serverLock(m_server);
    std::lock_guard guard(serverLock);
    if (!m_server.isServerRunning())
        return OPCVOS_E_NOT_ALLOWED;
    HRESULT result = S_OK;
    if (writeData)
    {
        if (writeLength != kValueSize)
            result = OPCVOS_E_SIZE;
        else
        {
            OpcUa_UInt32 mode = 0;
            std::memcpy(&mode, writeData, kValueSize);
            m_server.setDefaultSubscriptionMode(mode);
        }
    }
    if (readData)
    {
        if (readLength < kValueSize)
            result = OPCVOS_E_SIZE;
        else
        {
            const OpcUa_UInt32 mode = m_server.defaultSubscriptionMode();
            std::memcpy(readData, &mode, kValueSize);
            setReturned(returned, kValueSize);
        }
    }
    return result;
}

HRESULT COpcVosServer::configurationPath(ULONG readLength, void* readData, ULONG writeLength,
                                         const void* writeData, ULONG* returned)
{
    HRESULT result = S_OK;
    if (writeData || writeLength >= 1)
        result = OPCVOS_E_NOT_ALLOWED;
    if (readData && readLength >= 1)
    {
        const std::string path = os::toUtf8(opcwatchConfigurationFile(m_programDirectory));
        // The text goes with its terminating zero, or not at all.
        if (readLength >= path.size() + 1)
        {
            std::memcpy(readData, path.c_str(), path.size() + 1);
            setReturned(returned, static_cast<ULONG>(path.size() + 1));
        }
        else
            result = OPCVOS_E_SIZE;
    }
    return result;
}

STDMETHODIMP COpcVosServer::ReadDeviceInfo(BSTR* name, VosVersion* version)
{
    return answerDeviceInfo("COpcUaServer", u"Opcwatch", name, version);
}

STDMETHODIMP COpcVosServer::ReadState(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4)
{
    bool running = false;
    {
        ServerLock serverLock(m_server);
        std::lock_guard guard(serverLock);
        running = m_server.isServerRunning();
    }
    return answerState(running ? 5 : 6, vosState, deviceState, value3, value4);
}
