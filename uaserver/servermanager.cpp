// The server manager's accessors that the address space uses; start-up and shut-down are in the
// runtime library beside the session manager they make.
#include "servermanager.h"

#include "coretransactions.h"

void ServerManager::setNodeManagerRoot(NodeManager* pNodeManagerRoot, NodeManagerList* pNodeManagerList)
{
    m_pNodeManagerRoot = pNodeManagerRoot;
    m_pNodeManagerList = pNodeManagerList;
}

UaStatus ServerManager::readByNodeIds(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                                      OpcUa_TimestampsToReturn timestampsToReturn,
                                      const UaReadValueIdArray& nodesToRead, UaDataValueArray& results)
{
    if (!m_pCoreTransactions)
        return OpcUa_BadInternalError;
    return m_pCoreTransactions->readByNodeIds(serviceContext, maxAge, timestampsToReturn, nodesToRead,
                                              results);
}

UaStatus ServerManager::read(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                             OpcUa_TimestampsToReturn timestampsToReturn,
                             const UaReadValueIdArray& nodesToRead, UaDataValueArray& results,
                             UaDiagnosticInfos& diagnosticInfos)
{
    diagnosticInfos.clear();
    return readByNodeIds(serviceContext, maxAge, timestampsToReturn, nodesToRead, results);
}
