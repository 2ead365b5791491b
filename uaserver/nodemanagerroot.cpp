// The root node manager's register of node managers and its dispatch by namespace index.
#include "nodemanagerroot.h"

#include "browsecontext.h"
#include "servermanager.h"
#include "standardtypenodes.h"
#include "uaobjectserver.h"
#include "uavariablecache.h"

#include <uatrace.h>

#include <algorithm>

namespace
{
constexpr OpcUa_UInt16 kInitialCapacity = 98;
constexpr OpcUa_UInt16 kGrowth = 100;
// Namespace 99 belongs to the aliases of registered nodes, served by no node manager.
constexpr OpcUa_UInt16 kRegisteredNodesIndex = 99;
constexpr const char* kRegisteredNodesUri = "RegisteredNodes";

NodeManagerRoot* g_instance = nullptr;

std::atomic<NodeManager*>* newTable(OpcUa_UInt16 capacity)
{
    auto* table = new std::atomic<NodeManager*>[capacity];
    for (OpcUa_UInt16 i = 0; i < capacity; ++i)
        table[i].store(nullptr, std::memory_order_relaxed);
    return table;
}
} // namespace

NodeManagerRoot* NodeManagerRoot::instance()
{
    if (!g_instance)
        g_instance = new NodeManagerRoot;
    return g_instance;
}

bool NodeManagerRoot::hasInstance()
{
    return g_instance != nullptr;
}

NodeManagerRoot::NodeManagerRoot()
    : NodeManagerUaNode(StandardNodeId::StandardNamespaceUri, 10007), m_capacity(kInitialCapacity),
      m_pNodeManagers(newTable(kInitialCapacity))
{
    m_defaultLocaleId = "en";
    m_namespaceUris.push_back(StandardNodeId::StandardNamespaceUri);
    m_namespaceIndexByUri[StandardNodeId::StandardNamespaceUri] = 0;
}

NodeManagerRoot::~NodeManagerRoot()
{
    if (g_instance == this)
        g_instance = nullptr;
    if (isStarted())
        shutDown();
    stopSampling();
    if (StandardTypeNodes::namespaceZero() == this)
        StandardTypeNodes::setNamespaceZero(nullptr);
    delete[] m_pNodeManagers.load();
    for (Slot* table : m_retiredTables)
        delete[] table;
}

NodeManager* NodeManagerRoot::getNodeManagerByNamespace(OpcUa_UInt16 namespaceIndex) const
{
    if (namespaceIndex == 0)
        return const_cast<NodeManagerRoot*>(this);
    // The count is raised only after a grown table is in place, so the table read next holds the slot.
    if (namespaceIndex > m_namespaceCount.load(std::memory_order_acquire))
        return nullptr;
    return m_pNodeManagers.load(std::memory_order_acquire)[namespaceIndex - 1].load(
        std::memory_order_acquire);
}

NodeManager* NodeManagerRoot::dispatchTarget(OpcUa_UInt16 namespaceIndex) const
{
    return namespaceIndex == 0 ? nullptr : getNodeManagerByNamespace(namespaceIndex);
}

void NodeManagerRoot::enter(OpcUa_UInt16 namespaceIndex, NodeManager* pNodeManager,
                            const UaString& namespaceUri)
{
    m_pNodeManagers.load()[namespaceIndex - 1].store(pNodeManager, std::memory_order_release);
    if (m_namespaceUris.size() <= namespaceIndex)
        m_namespaceUris.resize(namespaceIndex + 1);
    m_namespaceUris[namespaceIndex] = namespaceUri.toUtf8();
    m_namespaceIndexByUri[namespaceUri.toUtf8()] = namespaceIndex;
    if (namespaceIndex > m_namespaceCount.load())
        m_namespaceCount.store(namespaceIndex, std::memory_order_release);
}

UaStatus NodeManagerRoot::growTable()
{
    if (m_capacity + kGrowth > 65535)
    {
        UaTrace::traceLevel6("<-- NodeManagerRoot::addNodeManager [ret=OpcUa_BadInvalidState] - max number "
                             "(%d) of NodeManagers "
                             "reached",
                             static_cast<int>(m_capacity + 1));
        return OpcUa_BadInvalidState;
    }
    const OpcUa_UInt16 capacity = static_cast<OpcUa_UInt16>(m_capacity + kGrowth);
    Slot* grown = newTable(capacity);
    Slot* old = m_pNodeManagers.load();
    for (OpcUa_UInt16 i = 0; i < m_capacity; ++i)
        grown[i].store(old[i].load(), std::memory_order_relaxed);
    m_pNodeManagers.store(grown, std::memory_order_release);
    m_retiredTables.push_back(old);
    m_capacity = capacity;

    if (m_namespaceCount.load() + 1 == kRegisteredNodesIndex)
    {
        OpcUa_UInt16 reserved = 0;
        const UaStatus status = m_pServerObject ? m_pServerObject->addNamespace(kRegisteredNodesUri, reserved)
                                                : OpcUa_BadInternalError;
        if (status.isBad())
            return status;
        enter(kRegisteredNodesIndex, nullptr, kRegisteredNodesUri);
    }
    return OpcUa_Good;
}

UaStatus NodeManagerRoot::addNodeManager(NodeManager* pNodeManager, const UaString& namespaceUri,
                                         OpcUa_UInt16& namespaceIndex)
{
    UaMutexLocker locker(&m_registerMutex);
    UaTrace::traceLevel6("--> NodeManagerRoot::addNodeManager URI=%s", namespaceUri.toUtf8());
    namespaceIndex = 0;
    if (m_shuttingDown)
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerRoot::addNodeManager [ret=OpcUa_BadInvalidState] - server is shutting down");
        return OpcUa_BadInvalidState;
    }
    if (!m_pServerObject)
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerRoot::addNodeManager [ret=OpcUa_BadInvalidState] - no Server object");
        return OpcUa_BadInvalidState;
    }
    if (m_namespaceCount.load() == m_capacity)
    {
        const UaStatus grown = growTable();
        if (grown.isBad())
            return grown;
    }

    UaStringArray namespaces;
    m_pServerObject->getNamespaceArray(namespaces);
    const OpcUa_UInt16 count = m_namespaceCount.load();
    for (OpcUa_UInt32 i = 2; i < namespaces.length() && i <= count; ++i)
    {
        if (UaString(&namespaces[i]) != namespaceUri || m_pNodeManagers.load()[i - 1].load())
            continue;
        // The removal took the URI out of both maps; the slot's owner is the URI's again.
        enter(static_cast<OpcUa_UInt16>(i), pNodeManager, namespaceUri);
        namespaceIndex = static_cast<OpcUa_UInt16>(i);
        UaTrace::traceLevel6("<-- NodeManagerRoot::addNodeManager [ret=%s] - reused old slot index = %d",
                             UaStatus(OpcUa_Good).toString().toUtf8(), static_cast<int>(i));
        return OpcUa_Good;
    }

    OpcUa_UInt16 newIndex = 0;
    UaStatus status = m_pServerObject->addNamespace(namespaceUri, newIndex);
    if (status.isBad())
        return status;
    if (newIndex != count + 1)
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerRoot::addNodeManager [ret=OpcUa_BadInternalError] - invalid namespace "
            "returned from Server object");
        return OpcUa_BadInternalError;
    }
    enter(newIndex, pNodeManager, namespaceUri);
    namespaceIndex = newIndex;
    UaTrace::traceLevel6("<-- NodeManagerRoot::addNodeManager [ret=%s] - index = %d",
                         status.toString().toUtf8(), static_cast<int>(newIndex));
    return status;
}

UaStatus NodeManagerRoot::removeNodeManager(OpcUa_UInt16 namespaceIndex)
{
    UaMutexLocker locker(&m_registerMutex);
    UaTrace::traceLevel6("--> NodeManagerRoot::removeNodeManager index = %d",
                         static_cast<int>(namespaceIndex));
    if (namespaceIndex == 0 || namespaceIndex > m_namespaceCount.load())
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerRoot::removeNodeManager [ret=OpcUa_BadInternalError] - invalid namespace index");
        return OpcUa_BadInvalidArgument;
    }
    m_pNodeManagers.load()[namespaceIndex - 1].store(nullptr, std::memory_order_release);
    m_namespaceIndexByUri.erase(m_namespaceUris[namespaceIndex]);
    m_namespaceUris[namespaceIndex].clear();
    UaTrace::traceLevel6("<-- NodeManagerRoot::removeNodeManager [ret=OpcUa_Good]");
    return OpcUa_Good;
}

UaString NodeManagerRoot::namespaceUri(OpcUa_UInt16 namespaceIndex) const
{
    UaMutexLocker locker(&m_registerMutex);
    return namespaceIndex < m_namespaceUris.size() ? UaString(m_namespaceUris[namespaceIndex].c_str())
                                                   : UaString();
}

bool NodeManagerRoot::namespaceIndexOf(const UaString& namespaceUri, OpcUa_UInt16& namespaceIndex) const
{
    UaMutexLocker locker(&m_registerMutex);
    const auto found = m_namespaceIndexByUri.find(namespaceUri.toUtf8());
    if (found == m_namespaceIndexByUri.end())
        return false;
    namespaceIndex = found->second;
    return true;
}

UaStatus NodeManagerRoot::startUp(ServerManager* pServerManager)
{
    if (!pServerManager)
        return OpcUa_BadInvalidArgument;
    m_pServerManager = pServerManager;
    m_pRootCrossReferences = this;
    m_pNodeManagerList = this;
    // The standard node classes put their type nodes into the namespace 0 that runs.
    StandardTypeNodes::setNamespaceZero(this);
    {
        UaMutexLocker locker(&m_registerMutex);
        m_shuttingDown = false;
    }
    const UaStatus status = afterStartUp();
    if (status.isGood())
    {
        m_isStarted = true;
        m_isAfterStartUpDone = true;
    }
    return status;
}

UaStatus NodeManagerRoot::beforeShutDown()
{
    UaTrace::traceLevel6("--> NodeManagerRoot::beforeShutDown");
    {
        UaMutexLocker locker(&m_registerMutex);
        m_shuttingDown = true;
    }
    if (m_pServerObject)
        m_pServerObject->shutDown();
    fanOut("beforeShutDown", [](NodeManager* nodeManager) { return nodeManager->shutDown(); });
    UaTrace::traceLevel6("<-- NodeManagerRoot::beforeShutDown");
    return OpcUa_Good;
}

template <typename Call> void NodeManagerRoot::fanOut(const char* operation, Call call) const
{
    const OpcUa_UInt16 count = m_namespaceCount.load(std::memory_order_acquire);
    for (OpcUa_UInt16 i = 1; i <= count; ++i)
        if (NodeManager* nodeManager = getNodeManagerByNamespace(i))
        {
            const UaStatus status = call(nodeManager);
            if (status.isNotGood())
                UaTrace::traceLevel1("Error calling NodeManager::%s for NsIndex=%d [ret=0x%lx]", operation,
                                     static_cast<int>(i), static_cast<unsigned long>(status.statusCode()));
        }
}

UaStatus NodeManagerRoot::sessionEvent(const char* operation, UaStatus (NodeManager::*event)(Session*),
                                       Session* session)
{
    UaTrace::traceLevel6("--> NodeManagerRoot::%s", operation);
    fanOut(operation, [event, session](NodeManager* nodeManager) { return (nodeManager->*event)(session); });
    UaTrace::traceLevel6("<-- NodeManagerRoot::%s", operation);
    return OpcUa_Good;
}

UaStatus NodeManagerRoot::sessionOpened(Session* session)
{
    return sessionEvent("sessionOpened", &NodeManager::sessionOpened, session);
}

UaStatus NodeManagerRoot::sessionActivated(Session* session)
{
    return sessionEvent("sessionActivated", &NodeManager::sessionActivated, session);
}

UaStatus NodeManagerRoot::sessionClosed(Session* session)
{
    return sessionEvent("sessionClosed", &NodeManager::sessionClosed, session);
}

UaStatus NodeManagerRoot::getEventManagers(Session* session, const OpcUa_NodeId* pNodeId,
                                           const OpcUa_EventFilter* pEventFilter,
                                           UaPointerArray<EventManager>& eventManagers)
{
    std::vector<EventManager*> gathered;
    const OpcUa_UInt16 count = m_namespaceCount.load(std::memory_order_acquire);
    for (OpcUa_UInt16 i = 1; i <= count; ++i)
        if (NodeManager* nodeManager = getNodeManagerByNamespace(i))
        {
            UaPointerArray<EventManager> local;
            if (nodeManager->getEventManagers(session, pNodeId, pEventFilter, local).isGood())
                gathered.insert(gathered.end(), local.data(), local.data() + local.length());
        }
    eventManagers.create(static_cast<OpcUa_UInt32>(gathered.size()));
    std::copy(gathered.begin(), gathered.end(), eventManagers.data());
    return OpcUa_Good;
}

UaStatus NodeManagerRoot::browse(const ServiceContext& context, BrowseContext& browseContext,
                                 UaReferenceDescriptionArray& references)
{
    UaTrace::traceLevel6("--> NodeManagerRoot::browse");
    references.clear();
    UaStatus status;
    const OpcUa_UInt16 namespaceIndex = browseContext.startingNode().NamespaceIndex;
    if (browseContext.browseDirection() > OpcUa_BrowseDirection_Both)
        status = OpcUa_BadBrowseDirectionInvalid;
    else if (namespaceIndex == 0)
        status = NodeManagerUaNode::browse(context, browseContext, references);
    else if (NodeManager* owner = dispatchTarget(namespaceIndex))
        status = owner->browse(context, browseContext, references);
    else
        status = OpcUa_BadNodeIdInvalid;
    UaTrace::traceLevel6("<-- NodeManagerRoot::browse [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus NodeManagerRoot::translateBrowsePathToNodeId(const ServiceContext& context,
                                                      const UaNodeId& startingNode,
                                                      UaRelativePathElements& relativePath,
                                                      UaBrowsePathTargetArray& targets)
{
    if (startingNode.namespaceIndex() == 0)
        return NodeManagerUaNode::translateBrowsePathToNodeId(context, startingNode, relativePath, targets);
    NodeManager* owner = dispatchTarget(startingNode.namespaceIndex());
    return owner ? owner->translateBrowsePathToNodeId(context, startingNode, relativePath, targets)
                 : UaStatus(OpcUa_BadNodeIdInvalid);
}

VariableHandle* NodeManagerRoot::getVariableHandle(Session* session, OpcUa_UInt32 serviceType,
                                                   const OpcUa_NodeId* pNodeId, OpcUa_Int32 attributeId)
{
    if (!pNodeId)
        return nullptr;
    if (pNodeId->NamespaceIndex == 0)
        return NodeManagerUaNode::getVariableHandle(session, serviceType, pNodeId, attributeId);
    NodeManager* owner = dispatchTarget(pNodeId->NamespaceIndex);
    return owner ? owner->getVariableHandle(session, serviceType, pNodeId, attributeId) : nullptr;
}

UaNodeHandle* NodeManagerRoot::getHistoryHandle(Session* session, OpcUa_UInt32 kind,
                                                const OpcUa_NodeId* pNodeId, UaStatus& result)
{
    if (!pNodeId || pNodeId->NamespaceIndex == 0)
    {
        // Namespace 0 keeps no history.
        result = OpcUa_BadNodeIdUnknown;
        return nullptr;
    }
    NodeManager* owner = dispatchTarget(pNodeId->NamespaceIndex);
    if (!owner)
    {
        result = OpcUa_BadNodeIdInvalid;
        return nullptr;
    }
    return owner->getHistoryHandle(session, kind, pNodeId, result);
}

MethodHandle* NodeManagerRoot::getMethodHandle(Session* session, const OpcUa_NodeId* pObjectNodeId,
                                               const OpcUa_NodeId* pMethodNodeId, UaStatus& result)
{
    if (!pObjectNodeId || pObjectNodeId->NamespaceIndex == 0)
        return NodeManagerUaNode::getMethodHandle(session, pObjectNodeId, pMethodNodeId, result);
    NodeManager* owner = dispatchTarget(pObjectNodeId->NamespaceIndex);
    if (!owner)
    {
        result = OpcUa_BadNodeIdInvalid;
        return nullptr;
    }
    return owner->getMethodHandle(session, pObjectNodeId, pMethodNodeId, result);
}

UaStatus NodeManagerRoot::addNode(const ServiceContext& context, const OpcUa_ExpandedNodeId& parentNodeId,
                                  const OpcUa_NodeId& referenceTypeId,
                                  const OpcUa_ExpandedNodeId& requestedNewNodeId,
                                  const OpcUa_QualifiedName& browseName, OpcUa_NodeClass nodeClass,
                                  const OpcUa_ExtensionObject& nodeAttributes,
                                  const OpcUa_ExpandedNodeId& typeDefinition, OpcUa_NodeId& addedNodeId)
{
    // A client never extends namespace 0, but may hang a node of its own namespace below a standard folder.
    OpcUa_UInt16 deciding = parentNodeId.NodeId.NamespaceIndex;
    if (deciding == 0)
        deciding = requestedNewNodeId.NodeId.NamespaceIndex;
    if (deciding == 0)
        return OpcUa_BadUserAccessDenied;
    NodeManager* owner = dispatchTarget(deciding);
    return owner ? owner->addNode(context, parentNodeId, referenceTypeId, requestedNewNodeId, browseName,
                                  nodeClass, nodeAttributes, typeDefinition, addedNodeId)
                 : UaStatus(OpcUa_BadNodeIdInvalid);
}

UaStatus NodeManagerRoot::addReference(const ServiceContext& context, const OpcUa_NodeId& sourceNodeId,
                                       const OpcUa_NodeId& referenceTypeId, OpcUa_Boolean isForward,
                                       const OpcUa_String& targetServerUri,
                                       const OpcUa_ExpandedNodeId& targetNodeId,
                                       OpcUa_NodeClass targetNodeClass)
{
    if (sourceNodeId.NamespaceIndex == 0)
        return OpcUa_BadUserAccessDenied;
    NodeManager* owner = dispatchTarget(sourceNodeId.NamespaceIndex);
    return owner ? owner->addReference(context, sourceNodeId, referenceTypeId, isForward, targetServerUri,
                                       targetNodeId, targetNodeClass)
                 : UaStatus(OpcUa_BadNodeIdInvalid);
}

UaStatus NodeManagerRoot::deleteNode(const ServiceContext& context, const OpcUa_NodeId& nodeId,
                                     OpcUa_Boolean deleteTargetReferences)
{
    if (nodeId.NamespaceIndex == 0)
        return OpcUa_BadUserAccessDenied;
    NodeManager* owner = dispatchTarget(nodeId.NamespaceIndex);
    return owner ? owner->deleteNode(context, nodeId, deleteTargetReferences)
                 : UaStatus(OpcUa_BadNodeIdInvalid);
}

UaStatus NodeManagerRoot::deleteReference(const ServiceContext& context, const OpcUa_NodeId& sourceNodeId,
                                          const OpcUa_NodeId& referenceTypeId, OpcUa_Boolean isForward,
                                          const OpcUa_ExpandedNodeId& targetNodeId,
                                          OpcUa_Boolean deleteBidirectional)
{
    if (sourceNodeId.NamespaceIndex == 0)
        return OpcUa_BadUserAccessDenied;
    NodeManager* owner = dispatchTarget(sourceNodeId.NamespaceIndex);
    return owner ? owner->deleteReference(context, sourceNodeId, referenceTypeId, isForward, targetNodeId,
                                          deleteBidirectional)
                 : UaStatus(OpcUa_BadNodeIdInvalid);
}

UaNode* NodeManagerRoot::getNode(const UaNodeId& nodeId)
{
    if (nodeId.namespaceIndex() == 0)
        return NodeManagerUaNode::getNode(nodeId);
    NodeManager* owner = dispatchTarget(nodeId.namespaceIndex());
    NodeManagerUaNode* uaNodeOwner = owner ? owner->getNodeManagerUaNode() : nullptr;
    return uaNodeOwner ? uaNodeOwner->getNode(nodeId) : nullptr;
}

IOManager* NodeManagerRoot::getIOManager(UaNode*, OpcUa_Int32) const
{
    return const_cast<NodeManagerRoot*>(this);
}

UaStatus NodeManagerRoot::readValues(const UaVariableArray& variables, UaDataValueArray& values)
{
    return answerEach(variables, values,
                      [](UaVariable* variable, UaVariant& value) -> OpcUa_StatusCode
                      {
                          if (!variable || variable->nodeId() != UaNodeId(StandardNodeId::CurrentTime, 0))
                              return OpcUa_BadInternalError;
                          value.setDateTime(UaDateTime::now());
                          return OpcUa_Good;
                      });
}

UaStatus NodeManagerRoot::writeValues(const UaVariableArray& variables, const UaDataValueArray&,
                                      UaStatusCodeArray& statuses)
{
    const OpcUa_StatusCode created = statuses.create(variables.length());
    if (OpcUa_IsBad(created))
        return created;
    for (OpcUa_UInt32 i = 0; i < statuses.length(); ++i)
        statuses[i] = OpcUa_BadNotWritable;
    return OpcUa_Good;
}

UaStatus NodeManagerRoot::collectSuperTypes(const UaNodeId& typeId, UaNodeIdArray& superTypes)
{
    superTypes.clear();
    std::vector<UaNodeId> found;
    UaNodeId current = typeId;
    // A loop in the hierarchy ends once it passes the number of nodes found.
    for (bool first = true; found.size() < 10000; first = false)
    {
        OpcUa_BrowseDescription description;
        OpcUa_BrowseDescription_Initialize(&description);
        current.copyTo(&description.NodeId);
        description.BrowseDirection = OpcUa_BrowseDirection_Inverse;
        UaNodeId(ReferenceTypeId::HasSubtype, 0).copyTo(&description.ReferenceTypeId);
        description.IncludeSubtypes = OpcUa_True;
        description.ResultMask = OpcUa_BrowseResultMask_All;
        UaReferenceDescriptionArray references;
        UaStatus status;
        {
            BrowseContext context(nullptr, description, 0);
            status = browse(ServiceContext(), context, references);
        }
        OpcUa_BrowseDescription_Clear(&description);
        if (status.isBad() && first)
            return status;
        if (status.isBad() || references.length() == 0)
            break;
        current = UaNodeId(references[0].NodeId.NodeId);
        found.push_back(current);
    }
    superTypes.create(static_cast<OpcUa_UInt32>(found.size()));
    for (OpcUa_UInt32 i = 0; i < superTypes.length(); ++i)
        found[i].copyTo(&superTypes[i]);
    return OpcUa_Good;
}
