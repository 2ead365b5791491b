// The server manager's start-up, shut-down and factories, beside the session manager they make.
#include "servermanager.h"

#include "coretransactions.h"
#include "nodeattributereader.h"
#include "nodemanagerwithevents.h"
#include "nodemanagerroot.h"
#include "serverconfig.h"
#include "sessionmanager.h"

#include <uatrace.h>

#include <new>

ServerManager::ServerManager()
    : m_pRoot(NodeManagerRoot::instance()), m_pNodeManagerRoot(m_pRoot), m_pNodeManagerList(m_pRoot),
      m_pCoreTransactions(new (std::nothrow) CoreTransactions(this))
{
    if (!NodeAttributeReader::instance())
        NodeAttributeReader::setInstance(m_pCoreTransactions);
}

ServerManager::~ServerManager()
{
    shutDown();
    // A root no server started goes with the server manager that took it, so an unused server
    // leaves nothing behind in the process.
    if (m_pRoot && !m_pRoot->isStarted() && NodeManagerRoot::hasInstance() &&
        NodeManagerRoot::instance() == m_pRoot)
        delete m_pRoot;
    if (NodeAttributeReader::instance() == m_pCoreTransactions)
        NodeAttributeReader::setInstance(nullptr);
    delete m_pCoreTransactions;
    m_eventManagerCallbacks.clear();
}

SessionManager* ServerManager::createSessionManager()
{
    return new (std::nothrow) SessionManager();
}

NodeManagerNS1* ServerManager::createNodeManagerNS1(const UaString& serverUri)
{
    return new (std::nothrow) NodeManagerNS1(serverUri);
}

UaStatus ServerManager::failStartUp(const char* step, const UaStatus& status)
{
    m_startFailed = true;
    shutDown();
    UaTrace::traceLevel1("<-- ServerManager::startUp - Error at %s [ret=0x%lx]", step,
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus ServerManager::startUp(ServerConfig* pServerConfig)
{
    UaTrace::traceLevel6("--> ServerManager::startUp");
    // A start-up that failed after the node managers were made took the root with it.
    if (m_isStarted || !m_pRoot)
        return OpcUa_BadInternalError;
    if (!pServerConfig)
    {
        m_startFailed = true;
        UaTrace::traceLevel1("<-- ServerManager::startUp - Error: provide ServerConfig is NULL "
                             "[ret=OpcUa_BadInvalidArgument]");
        return OpcUa_BadInvalidArgument;
    }
    m_pServerConfig = pServerConfig;
    UaStatus status = pServerConfig->loadConfiguration();
    if (status.isBad())
    {
        m_startFailed = true;
        UaTrace::traceLevel1(
            "<-- ServerManager::startUp - Error at ServerConfig::loadConfiguration [ret=0x%lx]",
            static_cast<unsigned long>(status.statusCode()));
        return status;
    }
    UaString serverUri;
    UaLocalizedTextArray serverNames;
    status = pServerConfig->getServerInstanceInfo(serverUri, serverNames);
    if (status.isBad())
    {
        m_startFailed = true;
        UaTrace::traceLevel1(
            "<-- ServerManager::startUp - Error at ServerConfig::getServerInstanceInfo [ret=0x%lx]",
            static_cast<unsigned long>(status.statusCode()));
        return status;
    }

    m_pNodeManagerNS1 = createNodeManagerNS1(serverUri);
    m_pNamespaceOne = m_pNodeManagerNS1;
    // Node managers and sessions reach the server manager from here on.
    ServerManagerLink::setRunning(this);
    status = m_pRoot->startUp(this);
    if (status.isBad())
        return failStartUp("NodeManagerRoot::startUp", status);
    status = m_pNodeManagerNS1->startUp(this);
    if (status.isBad())
        return failStartUp("NodeManagerNS1::startUp", status);
    if (pServerConfig->isAuditActivated())
        m_pNodeManagerNS1->setEventsEnabled(true);

    m_pSessionManager = createSessionManager();
    status = m_pSessionManager ? m_pSessionManager->startUp(pServerConfig, m_pRoot)
                               : UaStatus(OpcUa_BadOutOfMemory);
    if (status.isBad())
        return failStartUp("SessionManager::startUp", status);

    m_isStarted = true;
    UaTrace::traceLevel6("<-- ServerManager::startUp [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus ServerManager::shutDown()
{
    if (!m_isStarted && !m_startFailed)
        return OpcUa_BadInternalError;
    m_startFailed = false;
    if (m_pSessionManager)
    {
        m_pSessionManager->shutDown();
        delete m_pSessionManager;
        m_pSessionManager = nullptr;
    }
    if (m_pNamespaceOne)
        m_pNamespaceOne->shutDown();
    if (m_pServerConfig)
    {
        m_pServerConfig->configurationHook();
        m_pServerConfig->shutDown();
    }
    if (m_pRoot)
    {
        m_pRoot->shutDown();
        if (m_pNodeManagerRoot == m_pRoot)
            m_pNodeManagerRoot = nullptr;
        if (m_pNodeManagerList == m_pRoot)
            m_pNodeManagerList = nullptr;
        // The destructor clears the process's root, so the next server makes a fresh one.
        delete m_pRoot;
        m_pRoot = nullptr;
    }
    delete m_pNodeManagerNS1;
    m_pNodeManagerNS1 = nullptr;
    m_pNamespaceOne = nullptr;
    m_pServerConfig = nullptr;
    m_isStarted = false;
    if (ServerManagerLink::running() == this)
        ServerManagerLink::setRunning(nullptr);
    return OpcUa_Good;
}
