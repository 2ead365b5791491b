#ifndef UASERVER_SERVERMANAGER_H
#define UASERVER_SERVERMANAGER_H

#include "dynamiceventmanagercallback.h"
#include "servermanagerlink.h"

#include <uaservicediagnostics.h>
#include <uamutex.h>
#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

#include <list>

class CoreTransactions;
class NodeManagerList;
class NodeManagerNS1;
class NodeManagerRoot;
class ServiceContext;
class SessionManager;

// The owner of the core objects of a running server: the configuration it was started with, the
// process's root node manager with its register of node managers, the namespace-1 node manager,
// the session manager and the core read transactions. It is started once; a start-up that fails
// after the node managers were made shuts everything down again, and the server manager is then
// destroyed. The start-up, shut-down and factories live with the session manager in the runtime
// library; the accessors are what the address space uses.
class ServerManager : public ServerManagerLink
{
public:
    // Takes the root node manager (made on first use) and makes the core read transactions.
    ServerManager();
    // Shuts down what is still running.
    ~ServerManager() override;
    ServerManager(const ServerManager&) = delete;
    ServerManager& operator=(const ServerManager&) = delete;

    // A derived server manager may make its own session manager and namespace-1 node manager.
    virtual SessionManager* createSessionManager();
    virtual NodeManagerNS1* createNodeManagerNS1(const UaString& serverUri);

    // Loads the configuration, starts the root, namespace 1 and the session manager, in this order.
    UaStatus startUp(ServerConfig* pServerConfig);
    // Ends sessions, stops namespace 1, the configuration and the root, and deletes them; Bad when
    // nothing was started.
    UaStatus shutDown();

    // Null before start-up and after shut-down.
    ServerConfig* getServerConfig() override { return m_pServerConfig; }
    // The root node manager and its register of node managers; null after a failed start-up.
    NodeManager* getNodeManagerRoot() override { return m_pNodeManagerRoot; }
    NodeManagerList* getNodeManagerList() const { return m_pNodeManagerList; }
    NodeManagerNS1* getNodeManagerNS1() const { return m_pNodeManagerNS1; }
    // The same node manager as the root registers it.
    NodeManager* getNamespaceOneNodeManager() const { return m_pNamespaceOne; }
    SessionManager* getSessionManager() const { return m_pSessionManager; }
    CoreTransactions* getCoreTransactions() const { return m_pCoreTransactions; }
    bool isStarted() const { return m_isStarted; }

    // The subscription manager enters itself once from its start-up and leaves before it goes, so
    // that no announcement reaches a destroyed manager.
    void addDynamicEventManagerCallback(DynamicEventManagerCallback* pCallback)
    {
        UaMutexLocker lock(&m_callbackMutex);
        m_eventManagerCallbacks.push_back(pCallback);
    }
    void removeDynamicEventManagerCallback(DynamicEventManagerCallback* pCallback)
    {
        UaMutexLocker lock(&m_callbackMutex);
        m_eventManagerCallbacks.remove(pCallback);
    }
    std::list<DynamicEventManagerCallback*> dynamicEventManagerCallbacks() const
    {
        UaMutexLocker lock(&m_callbackMutex);
        return m_eventManagerCallbacks;
    }
    // Tells every callback of an event manager that registered while the server runs. The list's
    // lock is held throughout, so a callback that leaves meanwhile is not called after it went.
    void announceEventManager(EventManager* pEventManager) const
    {
        UaMutexLocker lock(&m_callbackMutex);
        for (DynamicEventManagerCallback* callback : m_eventManagerCallbacks)
            callback->dynamicEventManagerRegistered(pEventManager);
    }

    // A test puts its own root (and register) in place of the process's, or a configuration
    // without starting; neither is owned then.
    void setNodeManagerRoot(NodeManager* pNodeManagerRoot, NodeManagerList* pNodeManagerList);
    void setServerConfig(ServerConfig* pServerConfig) { m_pServerConfig = pServerConfig; }

    // Reads attributes of nodes of any namespace at once, through the core read transactions.
    UaStatus readByNodeIds(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                           OpcUa_TimestampsToReturn timestampsToReturn, const UaReadValueIdArray& nodesToRead,
                           UaDataValueArray& results);
    // The same, with the diagnostics array of a service answer (left empty: the core reads give none).
    UaStatus read(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                  OpcUa_TimestampsToReturn timestampsToReturn, const UaReadValueIdArray& nodesToRead,
                  UaDataValueArray& results, UaDiagnosticInfos& diagnosticInfos);

protected:
    bool m_isStarted = false;
    // Set when a start-up step failed; the shut-down then still cleans up what was made.
    bool m_startFailed = false;
    ServerConfig* m_pServerConfig = nullptr;
    // The process's root; deleted by the shut-down.
    NodeManagerRoot* m_pRoot = nullptr;
    NodeManager* m_pNodeManagerRoot = nullptr;
    NodeManagerList* m_pNodeManagerList = nullptr;
    NodeManagerNS1* m_pNodeManagerNS1 = nullptr;
    NodeManager* m_pNamespaceOne = nullptr;
    SessionManager* m_pSessionManager = nullptr;
    mutable UaMutex m_callbackMutex;
    std::list<DynamicEventManagerCallback*> m_eventManagerCallbacks;
    CoreTransactions* m_pCoreTransactions;

private:
    // The common end of a failed start-up step after the node managers were made.
    UaStatus failStartUp(const char* step, const UaStatus& status);
};

#endif
