#ifndef UASERVER_SERVERMANAGER_H
#define UASERVER_SERVERMANAGER_H

#include "servermanagerlink.h"

#include <uaservicediagnostics.h>
#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

class CoreTransactions;
class NodeManagerList;
class ServiceContext;

// The owner of the core objects of a running server, as far as the node managers reach it: the
// server configuration, the root node manager with its register of node managers, and the core
// read transactions through which the server reads attributes of any namespace.
class ServerManager : public ServerManagerLink
{
public:
    // Makes the core read transactions, which serve as the process's attribute reader while no
    // other is connected.
    ServerManager();
    ~ServerManager() override;
    ServerManager(const ServerManager&) = delete;
    ServerManager& operator=(const ServerManager&) = delete;

    // Null before a configuration is given.
    ServerConfig* getServerConfig() override { return m_pServerConfig; }
    // The root node manager and its register of node managers; null before a root is given.
    NodeManager* getNodeManagerRoot() override { return m_pNodeManagerRoot; }
    NodeManagerList* getNodeManagerList() const { return m_pNodeManagerList; }
    CoreTransactions* getCoreTransactions() const { return m_pCoreTransactions; }

    // The root and the configuration the server runs with; neither is owned here.
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
    ServerConfig* m_pServerConfig = nullptr;
    NodeManager* m_pNodeManagerRoot = nullptr;
    NodeManagerList* m_pNodeManagerList = nullptr;
    CoreTransactions* m_pCoreTransactions;
};

#endif
