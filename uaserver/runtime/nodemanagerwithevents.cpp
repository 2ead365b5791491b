#include "nodemanagerwithevents.h"

#include "session.h"

#include <servermanager.h>
#include <uatrace.h>

#include <variablehandle.h>

UaStatus NodeEventManager::stampEvent(const ServiceContext& serviceContext, EventStampTarget* pTarget,
                                      const UaByteString&, const UaVariant& value)
{
    if (!pTarget)
        return OpcUa_BadInvalidArgument;
    pTarget->setStampValue(value);
    pTarget->setClientUserId(serviceContext.pSession() ? serviceContext.pSession()->userName() : UaString());
    const UaDateTime now = UaDateTime::now();
    return pTarget->setStampTimes(now, now, UaByteString());
}

NodeManagerWithEvents::NodeManagerWithEvents(const UaString& sNamespaceUri, bool eventsEnabled,
                                             OpcUa_UInt32 hashTableSize)
    : NodeManagerUaNode(sNamespaceUri, hashTableSize), m_eventsEnabled(eventsEnabled)
{
}

NodeManagerWithEvents::~NodeManagerWithEvents()
{
    // Sampling reads through this object's readValues: it ends before the object goes.
    stopSampling();
}

UaStatus NodeManagerWithEvents::startUp(ServerManager* pServerManager)
{
    // A second start finds sampling running already; the node manager's own start decides.
    startUpSampling(pServerManager);
    const UaStatus status = NodeManagerUaNode::startUp(pServerManager);
    // Started while the server runs: the event items that exist already start on this manager too.
    if (status.isGood() && m_eventsEnabled && pServerManager)
        pServerManager->announceEventManager(getEventManager());
    return status;
}

UaNodeHandle* NodeManagerWithEvents::getHistoryHandle(Session*, OpcUa_UInt32, const OpcUa_NodeId* pNodeId,
                                                      UaStatus& result)
{
    if (!m_pHandleIOManager || !pNodeId)
    {
        result = OpcUa_BadNodeIdUnknown;
        return nullptr;
    }
    UaMutexLocker locker(&nodeLock());
    UaNode* node = findNode(*pNodeId);
    if (!node)
    {
        result = OpcUa_BadNodeIdUnknown;
        return nullptr;
    }
    return new UaNodeHandle(node);
}

UaStatus NodeManagerWithEvents::getEventManagers(Session*, const OpcUa_NodeId* pNodeId,
                                                 const OpcUa_EventFilter*,
                                                 UaPointerArray<EventManager>& eventManagers)
{
    if (!m_eventsEnabled)
        return OpcUa_Good;
    if (!pNodeId)
        return OpcUa_BadNodeIdUnknown;
    UaMutexLocker locker(&nodeLock());
    if (!isNotifier(UaNodeId(*pNodeId)))
        return OpcUa_BadNodeIdUnknown;
    eventManagers.create(1);
    eventManagers[0] = getEventManager();
    return OpcUa_Good;
}

IOManager* NodeManagerWithEvents::getIOManager(UaNode*, OpcUa_Int32) const
{
    return const_cast<NodeManagerWithEvents*>(this);
}

NodeManagerNS1::NodeManagerNS1(const UaString& serverUri) : NodeManagerWithEvents(serverUri, false, 10007)
{
    m_defaultLocaleId = "en";
    m_nsIndex = 1;
}

NodeManagerNS1::~NodeManagerNS1() = default;

UaStatus NodeManagerNS1::startUp(ServerManager* pServerManager)
{
    UaTrace::traceLevel6("--> NodeManagerNS1::startUp NsUri = %s", m_sNamespaceUri.toUtf8());
    if (m_isStarted)
    {
        UaTrace::traceLevel6("<-- NodeManagerNS1::startUp [ret=OpcUa_BadInternalError] - already started");
        return OpcUa_BadInternalError;
    }
    if (!pServerManager)
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerNS1::startUp [ret=OpcUa_BadInvalidArgument] -  passed ServerManager is NULL");
        return OpcUa_BadInvalidArgument;
    }
    startUpSampling(pServerManager);
    m_pServerManager = pServerManager;
    if (NodeManager* root = pServerManager->getNodeManagerRoot(); root && !m_pRootCrossReferences)
        m_pRootCrossReferences = root->getNodeManagerCrossReferences();
    if (!m_pNodeManagerList)
        m_pNodeManagerList = pServerManager->getNodeManagerList();

    const UaStatus status = afterStartUp();
    m_isStarted = true;
    if (status.isGood())
        m_isAfterStartUpDone = true;
    else
        NodeManagerUaNode::shutDown();
    UaTrace::traceLevel6("<-- NodeManagerNS1::startUp NS=%d [ret=0x%lx]", static_cast<int>(m_nsIndex.load()),
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}
