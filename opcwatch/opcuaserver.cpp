#include "opcuaserver.h"

#include "sharedmutexpool.h"

#include <uastackplatform.h>
#include <uatrace.h>

#include <windows.h>

namespace
{
std::atomic<COpcUaServer*> g_server{nullptr};
// The generic failure status of a start.
constexpr OpcUa_StatusCode kStartFailed = 0x80000000;
} // namespace

COpcUaServer::COpcUaServer(OpcServerRuntime& runtime, OpcNodeManagerFactory& nodeManagers,
                           const std::u16string& programDirectory)
    : COpcVosServer(*this, programDirectory), m_runtime(runtime), m_nodeManagers(nodeManagers),
      m_programDirectory(programDirectory)
{
    UaTrace::traceLevel5("**COpcUaServer");
    g_server = this;
}

COpcUaServer::~COpcUaServer()
{
    // No request may reach the object while it goes.
    ShutdownVosServer();
    g_server = nullptr;
    UaTrace::traceLevel5("~COpcUaServer");
}

COpcUaServer* COpcUaServer::instance()
{
    return g_server;
}

void COpcUaServer::setReport(OpcwatchReport* report)
{
    m_report = report;
}

void COpcUaServer::endStartReport(bool started)
{
    if (OpcwatchReport* report = m_report)
        report->endStart(started);
}

HRESULT COpcUaServer::Run()
{
    // The thread's queue exists before the start: a stop request (SIGTERM) during the start waits
    // in it and ends the loop at once, where it would otherwise end the process without a stop.
    MSG message;
    PeekMessage(&message, nullptr, 0, 0, PM_NOREMOVE);
    {
        std::lock_guard guard(m_lock);
        if (m_started)
            return E_FAIL;
        UaStackPlatform::initialize();
        // A failed start leaves the loop running: a Vos restart request can start the server later.
        StartUaServer();
    }

    // Outside the lock, so that a restart request on another thread can stop and start meanwhile.
    while (GetMessage(&message, nullptr, 0, 0) > 0)
        DispatchMessage(&message);

    std::lock_guard guard(m_lock);
    StopUaServer();
    UaStackPlatform::clear();
    m_started = 0;
    return S_OK;
}

void COpcUaServer::deleteServerParts()
{
    delete m_pServerConfig;
    delete m_pCoreModule;
    delete m_pModule;
    m_pServerConfig = nullptr;
    m_pCoreModule = nullptr;
    m_pModule = nullptr;
}

OpcUa_StatusCode COpcUaServer::failStart(const char* message, OpcUa_StatusCode status)
{
    // Written before the configuration goes: deleting it closes the trace.
    UaTrace::traceLevel1("%s", message);
    if (status == kStartFailed)
        UaTrace::traceLevel6("<-- COpcUaServer::StartUaServer [ret=OpcUa_Bad]");
    else
        UaTrace::traceLevel6("<-- COpcUaServer::StartUaServer [ret=0x%08x]", status);
    deleteServerParts();
    endStartReport(false);
    return status;
}

OpcUa_StatusCode COpcUaServer::StartUaServer()
{
    UaTrace::traceLevel6("--> COpcUaServer::StartUaServer");
    std::lock_guard guard(m_lock);
    if (m_started)
    {
        UaTrace::traceLevel2("Server is already running");
        UaTrace::traceLevel6("<-- COpcUaServer::StartUaServer [ret=OpcUa_Good]");
        return OpcUa_Good;
    }

    if (OpcwatchReport* report = m_report)
        report->beginStart();
    m_pServerConfig = new COpcServerConfig(m_programDirectory, m_nodeManagers);
    // The rest of the start is traced at the configured level.
    m_pServerConfig->applyTraceSettings();

    m_pCoreModule = m_runtime.createCoreModule();
    if (m_pCoreModule->initialize() != 0)
        return failStart("Failed to initialize core module", kStartFailed);
    // The core loads the configuration file here.
    if (m_pCoreModule->startUp(m_pServerConfig) != 0)
        return failStart("Failed to start core module", kStartFailed);
    const UaStatus configStatus = m_pServerConfig->startUp(m_pCoreModule->getServerManager());
    if (configStatus.isNotGood())
    {
        m_pCoreModule->shutDown();
        return failStart("Failed to start serverconfig", configStatus.statusCode());
    }
    m_pModule = m_runtime.createUaModule();
    if (m_pModule->startUp(m_pCoreModule) != 0)
    {
        m_pModule->shutDown();
        m_pServerConfig->shutDown();
        m_pCoreModule->shutDown();
        return failStart("Failed to start UaModule", kStartFailed);
    }

    m_started = 1;
    UaTrace::traceLevel6("<-- COpcUaServer::StartUaServer [ret=OpcUa_Good]");
    endStartReport(true);
    return OpcUa_Good;
}

OpcUa_StatusCode COpcUaServer::StopUaServer()
{
    UaTrace::traceLevel6("--> COpcUaServer::StopUaServer");
    std::lock_guard guard(m_lock);
    if (!m_started)
    {
        UaTrace::traceLevel2("Server is already shut down");
        return OpcUa_Good;
    }

    SharedMutexPool::clear();
    if (m_pModule)
    {
        m_pModule->shutDown();
        delete m_pModule;
        m_pModule = nullptr;
    }
    if (m_pCoreModule)
    {
        // The core calls the configuration's shutDown from here.
        m_pCoreModule->shutDown();
        delete m_pCoreModule;
        m_pCoreModule = nullptr;
    }
    UaTrace::traceLevel1("Server stopped.");
    if (m_pServerConfig)
    {
        // The trace closes before the configuration that opened it goes, so every line of the
        // stop reaches the file.
        UaTrace::traceLevel1("Close trace.");
        m_pServerConfig->closeTrace();
        delete m_pServerConfig;
        m_pServerConfig = nullptr;
    }
    m_started = 0;
    return OpcUa_Good;
}

void COpcUaServer::lockServer()
{
    m_lock.lock();
}

void COpcUaServer::unlockServer()
{
    m_lock.unlock();
}

bool COpcUaServer::isServerRunning()
{
    return m_started != 0;
}

OpcUa_UInt32 COpcUaServer::defaultSubscriptionMode()
{
    return m_pServerConfig->defaultSubscriptionMode();
}

void COpcUaServer::setDefaultSubscriptionMode(OpcUa_UInt32 mode)
{
    m_pServerConfig->setDefaultSubscriptionMode(mode);
}
