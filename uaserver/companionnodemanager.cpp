#include "companionnodemanager.h"

#include "uanode.h"

CompanionNodeManager::CompanionNodeManager(const char* namespaceUri,
                                           std::atomic<CompanionNodeManager*>& started,
                                           std::atomic<OpcUa_UInt16>& namespaceIndex)
    : NodeManagerUaNode(namespaceUri, 10007), m_started(started), m_namespaceIndex(namespaceIndex)
{
    m_defaultLocaleId = "en";
}

CompanionNodeManager::~CompanionNodeManager()
{
    leaveStarted();
}

UaStatus CompanionNodeManager::beforeShutDown()
{
    // A stopped node manager is no builder's target: later builds wait for the next start.
    leaveStarted();
    return OpcUa_Good;
}

IOManager* CompanionNodeManager::getIOManager(UaNode*, OpcUa_Int32) const
{
    return const_cast<CompanionNodeManager*>(this);
}

void CompanionNodeManager::enterStarted()
{
    m_namespaceIndex = getNameSpaceIndex();
    m_started = this;
}

void CompanionNodeManager::leaveStarted()
{
    CompanionNodeManager* self = this;
    m_started.compare_exchange_strong(self, nullptr);
}

void CompanionNodeManager::addEntryNode(OpcUa_UInt32 folderId, UaNode* pNode, OpcUa_UInt32 referenceTypeId)
{
    if (addNodeAndReference(UaNodeId(folderId, 0), pNode->getUaReferenceLists(), UaNodeId(referenceTypeId, 0))
            .isBad())
        pNode->releaseReference();
}
