// Alias nodes for nodes of other namespaces, and the cross references by which an owner's node
// leads a browse into the node managers that keep further references of it.
#include "nodemanageruanode.h"

#include "attributeids.h"
#include "nodemanagerlist.h"
#include "servermanager.h"
#include "servicecontext.h"
#include "standardnodeids.h"
#include "uanodeinterfaces.h"
#include "uaplainnodes.h"
#include "uareferencelists.h"
#include "uavariableplain.h"

#include <uatrace.h>

namespace
{
// What an alias node copies of the foreign node.
struct ForeignNode
{
    UaQualifiedName browseName;
    UaLocalizedText displayName;
    OpcUa_NodeClass nodeClass = OpcUa_NodeClass_Unspecified;
    UaNodeId typeDefinition;
    UaNodeId dataType;
};

void describe(UaNode& node, ForeignNode& foreign)
{
    foreign.browseName = node.browseName();
    foreign.displayName = node.displayName(nullptr);
    foreign.nodeClass = node.nodeClass();
    foreign.typeDefinition = node.typeDefinitionId();
    if (foreign.nodeClass == OpcUa_NodeClass_Variable)
        foreign.dataType = static_cast<UaVariable&>(node).dataType();
}

// A node of the foreign node's class with its NodeId and names; null for an unknown class.
UaNode* newAliasNode(const UaNodeId& nodeId, const ForeignNode& foreign)
{
    const UaLocalizedText none;
    switch (foreign.nodeClass)
    {
    case OpcUa_NodeClass_Object:
        return new UaObjectPlain(nodeId, foreign.browseName, foreign.displayName, none,
                                 foreign.typeDefinition, 0);
    case OpcUa_NodeClass_Variable:
        return new UaVariablePlain(nodeId, foreign.browseName, foreign.displayName, none,
                                   foreign.typeDefinition, UaDataValue(), foreign.dataType, 0, 0, 0, 0.0,
                                   false);
    case OpcUa_NodeClass_Method:
        return new UaMethodPlain(nodeId, foreign.browseName, foreign.displayName, none, false, false);
    case OpcUa_NodeClass_ObjectType:
        return new UaObjectTypePlain(nodeId, foreign.browseName, foreign.displayName, none, false);
    case OpcUa_NodeClass_VariableType:
        return new UaVariableTypePlain(nodeId, foreign.browseName, foreign.displayName, none, UaDataValue(),
                                       foreign.dataType, 0, false);
    case OpcUa_NodeClass_ReferenceType:
        return new UaReferenceTypePlain(nodeId, foreign.browseName, foreign.displayName, none, false, false,
                                        UaLocalizedText(), nullptr);
    case OpcUa_NodeClass_DataType:
        return new UaDataTypePlain(nodeId, foreign.browseName, foreign.displayName, none, false);
    case OpcUa_NodeClass_View:
        return new UaViewPlain(nodeId, foreign.browseName, foreign.displayName, none, false, 0);
    default:
        return nullptr;
    }
}

// The three attributes of a node no pointer reaches, read by NodeId.
UaStatus readForeignNode(ServerManager* serverManager, const UaNodeId& nodeId, ForeignNode& foreign)
{
    if (!serverManager)
        return OpcUa_BadInternalError;
    const OpcUa_Int32 attributes[] = {AttributeId::BrowseName, AttributeId::DisplayName,
                                      AttributeId::NodeClass};
    UaReadValueIdArray nodesToRead;
    UaStatus status = nodesToRead.create(3);
    for (OpcUa_UInt32 i = 0; status.isGood() && i < 3; ++i)
    {
        nodeId.copyTo(&nodesToRead[i].NodeId);
        nodesToRead[i].AttributeId = static_cast<OpcUa_UInt32>(attributes[i]);
    }
    UaDataValueArray results;
    if (status.isGood())
        status = serverManager->readByNodeIds(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Neither,
                                              nodesToRead, results);
    if (status.isGood() && results.length() != 3)
        status = OpcUa_BadInternalError;
    for (OpcUa_UInt32 i = 0; status.isGood() && i < 3; ++i)
        if (OpcUa_IsNotGood(results[i].StatusCode))
            status = results[i].StatusCode;
    if (status.isNotGood())
        return status;
    OpcUa_Int32 nodeClass = 0;
    if (UaVariant(results[0].Value).toQualifiedName(foreign.browseName) != OpcUa_Good ||
        UaVariant(results[1].Value).toLocalizedText(foreign.displayName) != OpcUa_Good ||
        UaVariant(results[2].Value).toInt32(nodeClass) != OpcUa_Good)
        return OpcUa_BadTypeMismatch;
    foreign.nodeClass = static_cast<OpcUa_NodeClass>(nodeClass);
    if (foreign.nodeClass == OpcUa_NodeClass_Object)
        foreign.typeDefinition = UaNodeId(StandardNodeId::BaseObjectType, 0);
    else if (foreign.nodeClass == OpcUa_NodeClass_Variable)
        foreign.typeDefinition = UaNodeId(StandardNodeId::BaseVariableType, 0);
    return OpcUa_Good;
}
} // namespace

bool NodeManagerUaNode::isAlias(const UaNodeId& nodeId) const
{
    UaMutexLocker aliasLocker(&m_aliasMutex);
    for (const std::unique_ptr<UaNodeId>& alias : m_aliasNodeIds)
        if (alias && *alias == nodeId)
            return true;
    return false;
}

bool NodeManagerUaNode::forgetAlias(const UaNodeId& nodeId)
{
    UaMutexLocker aliasLocker(&m_aliasMutex);
    for (std::unique_ptr<UaNodeId>& alias : m_aliasNodeIds)
        if (alias && *alias == nodeId)
        {
            alias.reset();
            return true;
        }
    return false;
}

UaStatus NodeManagerUaNode::ensureAlias(const UaNodeId& nodeId)
{
    if (nodeId.namespaceIndex() == m_nsIndex)
        return OpcUa_Good;
    {
        UaMutexLocker locker(&m_mutex);
        if (isAlias(nodeId))
            return OpcUa_Good;
    }
    return createNodeManagerAliasNode(nodeId);
}

NodeManagerCrossReferences* NodeManagerUaNode::ownerCrossReferences(OpcUa_UInt16 namespaceIndex) const
{
    if (namespaceIndex == 0)
        return m_pRootCrossReferences;
    NodeManager* owner = ownerOf(namespaceIndex);
    return owner ? owner->getNodeManagerCrossReferences() : nullptr;
}

UaStatus NodeManagerUaNode::createNodeManagerAliasNode(const UaNodeId& foreignNodeId)
{
    if (foreignNodeId.namespaceIndex() == m_nsIndex)
    {
        UaTrace::traceLevel1("Error: NodeManagerUaNode::createNodeManagerAliasNode "
                             "[ret=OpcUa_BadInternalError] - wrong namespace");
        return OpcUa_BadInternalError;
    }
    NodeManagerCrossReferences* owner = ownerCrossReferences(foreignNodeId.namespaceIndex());
    if (!owner)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::createNodeManagerAliasNode [ret=OpcUa_BadNodeIdInvalid] - No "
            "NodeManager found for NodeId = %s",
            foreignNodeId.toFullString().toUtf8());
        return OpcUa_BadNodeIdInvalid;
    }

    // The foreign node is described with no node lock held: the root and the read reach its owner.
    ForeignNode foreign;
    UaStatus status;
    if (auto node = ReferenceHolder<UaNode>::adopt(getNodeAnywhere(foreignNodeId)))
        describe(*node, foreign);
    else
        status = readForeignNode(m_pServerManager, foreignNodeId, foreign);
    if (status.isNotGood())
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::createNodeManagerAliasNode [ret=0x%lx] - Read config for "
            "NodeId = %s",
            static_cast<unsigned long>(status.statusCode()), foreignNodeId.toFullString().toUtf8());
        return status;
    }

    {
        UaMutexLocker locker(&m_mutex);
        UaMutexLocker aliasLocker(&m_aliasMutex);
        if (isAlias(foreignNodeId))
            return OpcUa_Good;
        // An alias node left from before a shutDown is taken up again.
        if (!findNode(foreignNodeId))
        {
            UaNode* aliasNode = newAliasNode(foreignNodeId, foreign);
            if (!aliasNode)
                return OpcUa_BadInternalError;
            std::unique_lock table(m_tableLock);
            m_pTable->add(foreignNodeId, aliasNode);
        }
        auto entry = std::make_unique<UaNodeId>(foreignNodeId);
        bool placed = false;
        for (std::unique_ptr<UaNodeId>& slot : m_aliasNodeIds)
            if (!slot)
            {
                slot = std::move(entry);
                placed = true;
                break;
            }
        if (!placed)
            m_aliasNodeIds.push_back(std::move(entry));
    }
    owner->connectStartingNode(foreignNodeId, this, true, false);
    return OpcUa_Good;
}

void NodeManagerUaNode::disconnectAliases(const std::vector<UaNodeId>& aliases)
{
    for (const UaNodeId& alias : aliases)
        if (NodeManagerCrossReferences* owner = ownerCrossReferences(alias.namespaceIndex()))
            owner->disconnectStartingNode(alias, this);
}

UaStatus NodeManagerUaNode::connectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager,
                                                bool bForward, bool bInverse)
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::connectStartingNode");
    UaStatus status;
    {
        UaMutexLocker locker(&m_mutex);
        UaNode* node = startingNode.namespaceIndex() == m_nsIndex ? findNode(startingNode) : nullptr;
        if (!node)
        {
            UaTrace::traceLevel1(
                "Error: NodeManagerUaNode::connectStartingNode [ret=OpcUa_BadNodeIdUnknown] - "
                "startingNode %s not available",
                startingNode.toFullString().toUtf8());
            status = OpcUa_BadNodeIdUnknown;
        }
        else if (UaReferenceLists* lists = node->getUaReferenceLists())
        {
            if (bForward)
                lists->addForwardReference(new UaReferenceToNodeManager(pNodeManager));
            if (bInverse)
                lists->addInverseReference(new UaReferenceToNodeManager(pNodeManager));
        }
        else
            status = OpcUa_BadNotSupported;
    }
    UaTrace::traceLevel6("<-- NodeManagerUaNode::connectStartingNode [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus NodeManagerUaNode::disconnectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager)
{
    UaTrace::traceLevel6("--> NodeManagerUaNode::disconnectStartingNode");
    UaStatus status;
    {
        UaMutexLocker locker(&m_mutex);
        UaNode* node = startingNode.namespaceIndex() == m_nsIndex ? findNode(startingNode) : nullptr;
        if (!node)
        {
            UaTrace::traceLevel1(
                "Error: NodeManagerUaNode::disconnectStartingNode [ret=OpcUa_BadNodeIdUnknown] - "
                "startingNode %s not available",
                startingNode.toFullString().toUtf8());
            status = OpcUa_BadNodeIdUnknown;
        }
        else if (UaReferenceLists* lists = node->getUaReferenceLists())
            status = lists->deleteCrossReferences(pNodeManager);
        else
            status = OpcUa_BadNotSupported;
    }
    UaTrace::traceLevel6("<-- NodeManagerUaNode::disconnectStartingNode [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}
