#include "servermanager.h"

#include "coretransactions.h"
#include "nodeattributereader.h"

ServerManager::ServerManager() : m_pCoreTransactions(new CoreTransactions(this))
{
    if (!NodeAttributeReader::instance())
        NodeAttributeReader::setInstance(m_pCoreTransactions);
}

ServerManager::~ServerManager()
{
    if (NodeAttributeReader::instance() == m_pCoreTransactions)
        NodeAttributeReader::setInstance(nullptr);
    delete m_pCoreTransactions;
}

void ServerManager::setNodeManagerRoot(NodeManager* pNodeManagerRoot, NodeManagerList* pNodeManagerList)
{
    m_pNodeManagerRoot = pNodeManagerRoot;
    m_pNodeManagerList = pNodeManagerList;
}

UaStatus ServerManager::readByNodeIds(const ServiceContext& serviceContext, OpcUa_Double maxAge,
                                      OpcUa_TimestampsToReturn timestampsToReturn,
                                      const UaReadValueIdArray& nodesToRead, UaDataValueArray& results)
{
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
