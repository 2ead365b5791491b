// The node manager's life cycle and the requests it answers: browse, translate, variable and method
// handles.
#include "nodemanageruanode.h"

#include "browsecontext.h"
#include "methodmanager.h"
#include "nodemanagerlist.h"
#include "servermanager.h"
#include "uabrowsefilter.h"
#include "uanodeinterfaces.h"
#include "uareferencelists.h"
#include "variablehandle.h"

#include <uatrace.h>

NodeManagerUaNode::NodeManagerUaNode(const UaString& sNamespaceUri, OpcUa_UInt32 hashTableSize)
    : m_defaultLocaleId("en"), m_sNamespaceUri(sNamespaceUri), m_pTable(new HashTable(hashTableSize))
{
    UaTrace::traceLevel5("Ctor NodeManagerUaNode NsUri=%s HashTableSize=%d", m_sNamespaceUri.toUtf8(),
                         static_cast<int>(hashTableSize));
}

NodeManagerUaNode::~NodeManagerUaNode()
{
    UaTrace::traceLevel5("--> Dtor NodeManagerUaNode");
    {
        UaMutexLocker locker(&m_mutex);
        // The nodes are released outside the table lock: a node's clean-up may look up others.
        HashTable* table = m_pTable;
        {
            std::unique_lock tableLock(m_tableLock);
            m_pTable = nullptr;
        }
        table->clear(true);
        delete table;
    }
    UaTrace::traceLevel5("<-- Dtor NodeManagerUaNode");
}

UaStatus NodeManagerUaNode::startUp(ServerManager* pServerManager)
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::startUp NsUri = %s", m_sNamespaceUri.toUtf8());
    if (m_isStarted)
    {
        UaTrace::traceLevel6("<-- NodeManagerUaNode::startUp [ret=OpcUa_BadInternalError] - already started");
        return OpcUa_BadInternalError;
    }
    if (!pServerManager)
    {
        UaTrace::traceLevel6(
            "<-- NodeManagerUaNode::startUp [ret=OpcUa_BadInvalidArgument] -  passed ServerManager is NULL");
        return OpcUa_BadInvalidArgument;
    }
    m_pServerManager = pServerManager;
    if (!m_pRootCrossReferences)
        if (NodeManager* root = pServerManager->getNodeManagerRoot())
            m_pRootCrossReferences = root->getNodeManagerCrossReferences();
    if (!m_pNodeManagerList)
        m_pNodeManagerList = pServerManager->getNodeManagerList();

    // A server manager without a root gives nothing to register with.
    UaStatus status = OpcUa_BadInternalError;
    if (m_pNodeManagerList)
    {
        OpcUa_UInt16 nsIndex = m_nsIndex;
        status = m_pNodeManagerList->addNodeManager(this, m_sNamespaceUri, nsIndex);
        m_nsIndex = nsIndex;
    }
    m_isStarted = true;
    if (status.isGood())
    {
        status = afterStartUp();
        if (status.isGood())
            m_isAfterStartUpDone = true;
        else
            shutDown();
    }
    else
        shutDown();
    UaTrace::traceLevel6("<-- NodeManagerUaNode::startUp NS=%d [ret=0x%lx]",
                         static_cast<int>(m_nsIndex.load()), static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus NodeManagerUaNode::shutDown()
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::shutDown NS=%d", static_cast<int>(m_nsIndex.load()));
    if (!m_isStarted)
    {
        UaTrace::traceLevel6("<-- NodeManagerUaNode::shutDown [ret=OpcUa_BadInternalError] - not started");
        return OpcUa_BadInternalError;
    }
    beforeShutDown();
    UaStatus status;
    if (m_nsIndex != 0 && m_pNodeManagerList)
        status = m_pNodeManagerList->removeNodeManager(m_nsIndex);

    // The owners are told with no lock of ours held; the alias nodes stay until the destructor.
    std::vector<UaNodeId> aliases;
    {
        UaMutexLocker locker(&m_mutex);
        UaMutexLocker aliasLocker(&m_aliasMutex);
        for (const std::unique_ptr<UaNodeId>& alias : m_aliasNodeIds)
            if (alias)
                aliases.push_back(*alias);
        m_aliasNodeIds.clear();
    }
    disconnectAliases(aliases);
    m_isAfterStartUpDone = false;
    m_isStarted = false;
    UaTrace::traceLevel6("<-- NodeManagerUaNode::shutDown [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaNode* NodeManagerUaNode::findNode(const UaNodeId& nodeId) const
{
    return m_pTable ? static_cast<UaNode*>(m_pTable->lookup(nodeId)) : nullptr;
}

UaNode* NodeManagerUaNode::findNode(const OpcUa_NodeId& nodeId) const
{
    return m_pTable ? static_cast<UaNode*>(m_pTable->lookup(nodeId)) : nullptr;
}

UaNode* NodeManagerUaNode::getNode(const UaNodeId& nodeId)
{
    std::shared_lock table(m_tableLock);
    UaNode* node = findNode(nodeId);
    if (node)
        node->addReference();
    return node;
}

UaNode* NodeManagerUaNode::findRequestNode(const UaNodeId& nodeId) const
{
    if (nodeId.namespaceIndex() == m_nsIndex || isAlias(nodeId))
        return findNode(nodeId);
    return nullptr;
}

UaStatus NodeManagerUaNode::browse(const ServiceContext& context, BrowseContext& browseContext,
                                   UaReferenceDescriptionArray& references)
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::browse NS=%d", static_cast<int>(m_nsIndex.load()));
    if (!m_isStarted)
    {
        UaTrace::traceLevel1(
            "<-- NodeManagerUaNode::browse [ret=OpcUa_BadInternalError] - NodeManager not started");
        return OpcUa_BadInternalError;
    }
    if (browseContext.hasView())
        return OpcUa_BadViewIdUnknown;

    const UaNodeId startingNode = browseContext.startingNodeId();
    ReferenceHolder<UaNode> node;
    {
        // The reference is taken under the lock: a delete running beside may free the node as soon
        // as the lock is released.
        UaMutexLocker locker(&m_mutex);
        node = findRequestNode(startingNode);
    }
    if (!node)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::browse [ret=OpcUa_BadNodeIdUnknown] - startingNode %s not "
            "available",
            startingNode.toFullString().toUtf8());
        return OpcUa_BadNodeIdUnknown;
    }
    // The walk takes the node lock itself, entered for the namespace of the node's NodeId (an alias
    // node carries a foreign one).
    ServiceContext nodeContext(context);
    nodeContext.setNodeLock(&m_mutex, startingNode.namespaceIndex());
    UaStatus status;
    if (m_pBrowseFilter && !m_pBrowseFilter->isBrowsable(context.pSession(), browseContext, node.get()))
        references.clear();
    else
    {
        browseContext.setBrowseFilter(m_pBrowseFilter);
        status = node->browse(nodeContext, browseContext, references);
    }
    UaTrace::traceLevel6("<-- NodeManagerUaNode::browse [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus NodeManagerUaNode::translateBrowsePathToNodeId(const ServiceContext& context,
                                                        const UaNodeId& startingNode,
                                                        UaRelativePathElements& relativePath,
                                                        UaBrowsePathTargetArray& targets)
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::translateBrowsePathToNodeId NS=%d",
                         static_cast<int>(m_nsIndex.load()));
    if (!m_isStarted)
    {
        UaTrace::traceLevel1(
            "<-- NodeManagerUaNode::translateBrowsePathToNodeId [ret=OpcUa_BadInternalError] - "
            "NodeManager not started");
        return OpcUa_BadInternalError;
    }
    ReferenceHolder<UaNode> node;
    {
        UaMutexLocker locker(&m_mutex);
        node = findRequestNode(startingNode);
    }
    if (!node)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::translateBrowsePathToNodeId [ret=OpcUa_BadNodeIdUnknown] - "
            "startingNode %s not available",
            startingNode.toFullString().toUtf8());
        return OpcUa_BadNodeIdUnknown;
    }
    UaReferenceLists* lists = node->getUaReferenceLists();
    if (!lists)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::translateBrowsePathToNodeId [ret=OpcUa_BadNodeIdUnknown] - "
            "pReferenceList not available");
        return OpcUa_BadNodeIdUnknown;
    }
    ServiceContext nodeContext(context);
    nodeContext.setNodeLock(&m_mutex, startingNode.namespaceIndex());
    const UaStatus status = lists->translateBrowsePathElement(nodeContext, relativePath, targets);
    UaTrace::traceLevel6("<-- NodeManagerUaNode::translateBrowsePathToNodeId [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

VariableHandle* NodeManagerUaNode::getVariableHandle(Session*, OpcUa_UInt32, const OpcUa_NodeId* pNodeId,
                                                     OpcUa_Int32 attributeId)
{
    if (!m_isStarted)
    {
        UaTrace::traceLevel1("Error: NodeManagerUaNode::getVariableHandle - NodeManager not started");
        return nullptr;
    }
    if (!pNodeId || pNodeId->NamespaceIndex != m_nsIndex)
        return nullptr;
    // A Read asks once per item: lookups share the table lock and never wait for one another.
    std::shared_lock table(m_tableLock);
    UaNode* node = findNode(*pNodeId);
    if (!node)
        return nullptr;
    if (attributeId == 13 && node->nodeClass() == OpcUa_NodeClass_Variable)
    {
        if (VariableHandle* handle = static_cast<UaVariable*>(node)->getVariableHandle())
        {
            if (!handle->ioManager())
                handle->setIOManager(getIOManager(node, attributeId));
            return handle;
        }
    }
    return new UaNodeVariableHandle(getIOManager(node, attributeId), attributeId, node);
}

MethodHandle* NodeManagerUaNode::getMethodHandle(Session*, const OpcUa_NodeId* pObjectNodeId,
                                                 const OpcUa_NodeId* pMethodNodeId, UaStatus& result)
{
    auto fail = [&result](OpcUa_StatusCode status) -> MethodHandle*
    {
        result = status;
        return nullptr;
    };
    if (!pObjectNodeId)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId is null");
        return fail(OpcUa_BadNodeIdUnknown);
    }
    const UaNodeId objectNodeId(*pObjectNodeId);
    if (objectNodeId.namespaceIndex() != m_nsIndex)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId %s "
            "wrong namespace",
            objectNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadNodeIdUnknown);
    }
    const UaNodeId methodNodeId = pMethodNodeId ? UaNodeId(*pMethodNodeId) : UaNodeId();
    ReferenceHolder<UaNode> object;
    ReferenceHolder<UaNode> method;
    {
        UaMutexLocker locker(&m_mutex);
        object = findNode(objectNodeId);
        if (pMethodNodeId)
            method = findNode(methodNodeId);
    }
    if (!object)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId %s "
            "is unknown",
            objectNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadNodeIdUnknown);
    }
    // A method of another namespace is looked up through the root with no node lock held.
    if (!method && pMethodNodeId)
        method = ReferenceHolder<UaNode>::adopt(getNodeAnywhere(methodNodeId));
    if (!method)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - method NodeId %s "
            "is unknown",
            methodNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadMethodInvalid);
    }
    if (object->nodeClass() != OpcUa_NodeClass_Object)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadNodeIdUnknown] - object NodeId %s "
            "is not Object node class",
            objectNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadNodeIdUnknown);
    }
    if (method->nodeClass() != OpcUa_NodeClass_Method)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - method NodeId %s "
            "is not Method node class",
            methodNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadMethodInvalid);
    }
    MethodManager* methodManager =
        static_cast<UaObject*>(object.get())->getMethodManager(static_cast<UaMethod*>(method.get()));
    if (!methodManager)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::getMethodHandle [ret=OpcUa_BadMethodInvalid] - object returned "
            "nor method handel for method %s",
            methodNodeId.toFullString().toUtf8());
        return fail(OpcUa_BadMethodInvalid);
    }
    result = OpcUa_Good;
    return new MethodHandle(methodManager, object.get(), method.get());
}

UaNode* NodeManagerUaNode::getNodeAnywhere(const UaNodeId& nodeId)
{
    NodeManager* root = m_pServerManager ? m_pServerManager->getNodeManagerRoot() : nullptr;
    return root ? root->getNode(nodeId) : getNode(nodeId);
}

NodeManager* NodeManagerUaNode::ownerOf(OpcUa_UInt16 namespaceIndex) const
{
    if (namespaceIndex == 0)
        return m_pServerManager ? m_pServerManager->getNodeManagerRoot() : nullptr;
    return m_pNodeManagerList ? m_pNodeManagerList->getNodeManagerByNamespace(namespaceIndex) : nullptr;
}
