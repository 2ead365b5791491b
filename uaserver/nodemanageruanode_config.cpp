// Nodes and references entering and leaving the node manager.
#include "nodemanageruanode.h"

#include "attributeids.h"
#include "iomanageruanode.h"
#include "servermanager.h"
#include "servicecontext.h"
#include "uanodeinterfaces.h"
#include "uareferencelists.h"
#include "uavariablecache.h"

#include <uatrace.h>

#include <memory>

namespace
{
bool isNumericNamespaceZero(const UaNodeId& nodeId)
{
    return nodeId.namespaceIndex() == 0 && nodeId.identifierType() == OpcUa_IdentifierType_Numeric;
}

// The node as a variable that keeps its value in its cache, or null.
UaVariableCache* cachedVariable(UaNode* node)
{
    if (node->nodeClass() != OpcUa_NodeClass_Variable ||
        (static_cast<UaVariable*>(node)->valueHandling() & 0x2) == 0)
        return nullptr;
    return dynamic_cast<UaVariableCache*>(node);
}

void traceRefused(const UaNodeId& referenceTypeId)
{
    UaTrace::traceLevel1(
        "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadReferenceTypeIdInvalid] - ref "
        "type %s not supported",
        referenceTypeId.toFullString().toUtf8());
}
} // namespace

UaStatus NodeManagerUaNode::addUaNode(UaNode* pNewNode)
{
    if (!pNewNode)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::addUaNode [ret=OpcUa_BadInvalidArgument] - pNewNode is null");
        return OpcUa_BadInvalidArgument;
    }
    const UaNodeId nodeId = pNewNode->nodeId();
    UaMutexLocker locker(&m_mutex);
    if (findNode(nodeId))
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::addUaNode [ret=OpcUa_BadNodeIdExists] - NodeId = %s already "
            "used",
            nodeId.toFullString().toUtf8());
        return OpcUa_BadNodeIdExists;
    }
    {
        std::unique_lock table(m_tableLock);
        m_pTable->add(nodeId, pNewNode);
    }
    // Start-up nodes come before m_isAfterStartUpDone: only later ones can take parked items.
    if (m_isAfterStartUpDone)
        if (UaVariableCache* cached = cachedVariable(pNewNode))
            if (IOManagerUaNode* ioManager = getIOManagerUaNode())
                ioManager->rebindSamplingItems(cached);
    return OpcUa_Good;
}

UaStatus NodeManagerUaNode::deleteUaNode(UaNode* pNode, bool bRemoveForwardAtTargets,
                                         bool bRemoveInverseAtSources, bool bDeleteChildren)
{
    if (!pNode)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::deleteUaNode [ret=OpcUa_BadInvalidArgument] - pNode is null");
        return OpcUa_BadInvalidArgument;
    }
    UaReferenceLists* lists = pNode->getUaReferenceLists();
    if (!lists)
    {
        UaTrace::traceLevel1("Error: NodeManagerUaNode::deleteUaNode [ret=OpcUa_BadNoDeleteRights] - "
                             "pReferenceList not available");
        return OpcUa_BadNoDeleteRights;
    }
    const UaNodeId nodeId = pNode->nodeId();
    UaStatus status;
    std::vector<UaNodeId> disconnects;
    {
        UaMutexLocker locker(&m_mutex);
        // The caller's pointer may be all that keeps the node while it is dismantled.
        ReferenceHolder<UaNode> keep(pNode);
        ++m_deleteDepth;
        if (bDeleteChildren)
            status = lists->deleteChildren(this);
        if (status.isGood())
            status = lists->deleteAllForwardReferences(bRemoveForwardAtTargets);
        if (status.isGood())
            status = lists->deleteAllInverseReferences(bRemoveInverseAtSources);
        if (status.isGood() && findNode(nodeId) == pNode)
        {
            ChainEntry* removed;
            {
                std::unique_lock table(m_tableLock);
                removed = m_pTable->remove(nodeId);
            }
            // A deleted alias no longer stands for the foreign node: its owner stops asking here.
            if (nodeId.namespaceIndex() != m_nsIndex && forgetAlias(nodeId))
                m_pendingDisconnects.push_back(nodeId);
            // The handles are copied before prepareRemove, which still tells every item.
            if (UaVariableCache* cached = cachedVariable(pNode))
                if (IOManagerUaNode* ioManager = getIOManagerUaNode())
                    ioManager->parkSamplingItems(cached);
            removed->prepareRemove();
            removed->releaseReference();
        }
        // Children are deleted inside this call; their owners are told once the lock is released.
        if (--m_deleteDepth == 0)
            disconnects.swap(m_pendingDisconnects);
    }
    disconnectAliases(disconnects);
    return status;
}

UaReference* NodeManagerUaNode::createReference(const UaNodeId& referenceTypeId, UaNode* pSource,
                                                UaNode* pTarget, UaStatus& status)
{
    UaReference* reference = nullptr;
    if (isNumericNamespaceZero(referenceTypeId))
        reference = createStandardReference(referenceTypeId.identifierNumeric(), pSource, pTarget);
    else
    {
        auto typeNode = ReferenceHolder<UaNode>::adopt(getNodeAnywhere(referenceTypeId));
        if (typeNode && typeNode->nodeClass() == OpcUa_NodeClass_ReferenceType)
            reference =
                new UaReferenceByNode(pSource, pTarget, static_cast<UaReferenceType*>(typeNode.get()));
    }
    if (!reference)
    {
        traceRefused(referenceTypeId);
        status = OpcUa_BadReferenceTypeIdInvalid;
    }
    return reference;
}

UaStatus NodeManagerUaNode::linkReference(UaReference* reference, UaReferenceLists* pSource,
                                          UaReferenceLists* pTarget)
{
    UaMutexLocker locker(&m_mutex);
    reference->setSourceNode(pSource->getUaNode());
    reference->setTargetNode(pTarget->getUaNode());
    pSource->addForwardReference(reference);
    pTarget->addInverseReference(reference);
    return OpcUa_Good;
}

UaStatus NodeManagerUaNode::addUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                                           const UaNodeId& referenceTypeId)
{
    if (!checkReferenceEnds("addUaReference", pSource, pTarget))
        return OpcUa_BadInvalidArgument;
    // The type is resolved before the node lock is taken: a foreign type is looked up through the root.
    UaStatus status;
    UaReference* reference = createReference(referenceTypeId, nullptr, nullptr, status);
    if (!reference)
        return status;
    return linkReference(reference, pSource, pTarget);
}

UaStatus NodeManagerUaNode::linkNodeAndReference(UaReference* reference, UaReferenceLists* pParent,
                                                 UaReferenceLists* pNewNode, const UaNodeId& referenceTypeId)
{
    UaMutexLocker locker(&m_mutex);
    linkReference(reference, pParent, pNewNode);
    const UaStatus status = addUaNode(pNewNode->getUaNode());
    if (status.isBad())
        pParent->deleteReference(pNewNode->getUaNode(), referenceTypeId, true);
    return status;
}

UaStatus NodeManagerUaNode::addNodeAndReference(UaReferenceLists* pParent, UaReferenceLists* pNewNode,
                                                const UaNodeId& referenceTypeId)
{
    if (!checkReferenceEnds("addUaReference", pParent, pNewNode))
        return OpcUa_BadInvalidArgument;
    UaStatus status;
    UaReference* reference = createReference(referenceTypeId, nullptr, nullptr, status);
    if (!reference)
        return status;
    return linkNodeAndReference(reference, pParent, pNewNode, referenceTypeId);
}

UaStatus NodeManagerUaNode::addNodeAndReference(const UaNodeId& parentNodeId, UaReferenceLists* pNewNode,
                                                const UaNodeId& referenceTypeId)
{
    // Everything that reaches other node managers happens before the node lock is taken.
    const UaStatus aliased = ensureAlias(parentNodeId);
    if (aliased.isBad())
        UaTrace::traceLevel1("Error: NodeManagerUaNode::addNodeAndReference [ret=0x%lx] - NodeId = %s",
                             static_cast<unsigned long>(aliased.statusCode()),
                             parentNodeId.toFullString().toUtf8());
    if (!pNewNode)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadInvalidArgument] - pTargetNode is null");
        return OpcUa_BadInvalidArgument;
    }
    UaStatus status;
    UaReference* reference = createReference(referenceTypeId, nullptr, nullptr, status);
    if (!reference)
        return status;
    UaMutexLocker locker(&m_mutex);
    UaNode* parent = findRequestNode(parentNodeId);
    if (!parent)
    {
        delete reference;
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::addNodeAndReference [ret=OpcUa_BadNodeIdUnknown] - NodeId = %s",
            parentNodeId.toFullString().toUtf8());
        return OpcUa_BadNodeIdUnknown;
    }
    UaReferenceLists* parentLists = parent->getUaReferenceLists();
    if (!parentLists)
    {
        delete reference;
        return OpcUa_BadInternalError;
    }
    return linkNodeAndReference(reference, parentLists, pNewNode, referenceTypeId);
}

UaStatus NodeManagerUaNode::addUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                                           const UaNodeId& referenceTypeId)
{
    ensureAlias(sourceNodeId);
    UaStatus status;
    std::unique_ptr<UaReference> reference(createReference(referenceTypeId, nullptr, nullptr, status));
    if (!reference)
        return status;
    auto traceNoSource = [&sourceNodeId]
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::addUaReference [ret=OpcUa_BadNodeIdUnknown] - Source node not "
            "available %s",
            sourceNodeId.toFullString().toUtf8());
        return OpcUa_BadNodeIdUnknown;
    };
    {
        UaMutexLocker locker(&m_mutex);
        UaNode* source = findRequestNode(sourceNodeId);
        if (!source || !source->getUaReferenceLists())
            return traceNoSource();
        if (UaNode* target = findNode(targetNodeId))
        {
            if (!target->getUaReferenceLists())
                return OpcUa_BadNodeIdUnknown;
            return linkReference(reference.release(), source->getUaReferenceLists(),
                                 target->getUaReferenceLists());
        }
    }
    // A target of another node manager is held by NodeId with its node class, read with no lock held.
    const OpcUa_NodeClass targetClass = readNodeClass(targetNodeId);
    if (targetClass == OpcUa_NodeClass_Unspecified)
        return OpcUa_BadNodeIdUnknown;
    NodeManager* targetOwner = ownerOf(targetNodeId.namespaceIndex());
    UaMutexLocker locker(&m_mutex);
    UaNode* source = findRequestNode(sourceNodeId);
    if (!source || !source->getUaReferenceLists())
        return traceNoSource();
    source->getUaReferenceLists()->addForwardReference(
        new UaReferenceByNodeId(source, targetNodeId, referenceTypeId, targetClass, targetOwner));
    return OpcUa_Good;
}

OpcUa_NodeClass NodeManagerUaNode::readNodeClass(const UaNodeId& nodeId)
{
    if (!m_pServerManager)
        return OpcUa_NodeClass_Unspecified;
    UaReadValueIdArray nodesToRead;
    if (OpcUa_IsBad(nodesToRead.create(1)))
        return OpcUa_NodeClass_Unspecified;
    nodeId.copyTo(&nodesToRead[0].NodeId);
    nodesToRead[0].AttributeId = AttributeId::NodeClass;
    UaDataValueArray results;
    if (m_pServerManager
            ->readByNodeIds(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Neither, nodesToRead, results)
            .isBad() ||
        results.length() != 1 || OpcUa_IsNotGood(results[0].StatusCode))
        return OpcUa_NodeClass_Unspecified;
    OpcUa_Int32 nodeClass = OpcUa_NodeClass_Unspecified;
    if (UaVariant(results[0].Value).toInt32(nodeClass) != OpcUa_Good)
        return OpcUa_NodeClass_Unspecified;
    return static_cast<OpcUa_NodeClass>(nodeClass);
}

UaStatus NodeManagerUaNode::deleteUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                                              const UaNodeId& referenceTypeId)
{
    if (!checkReferenceEnds("deleteUaReference", pSource, pTarget))
        return OpcUa_BadInvalidArgument;
    UaMutexLocker locker(&m_mutex);
    return pSource->deleteReference(pTarget->getUaNode(), referenceTypeId, true);
}

UaStatus NodeManagerUaNode::deleteUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                                              const UaNodeId& referenceTypeId)
{
    UaMutexLocker locker(&m_mutex);
    UaNode* source = findRequestNode(sourceNodeId);
    if (!source)
    {
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::deleteUaReference [ret=OpcUa_BadNodeIdUnknown] - Source node "
            "not available %s",
            sourceNodeId.toFullString().toUtf8());
        return OpcUa_BadNodeIdUnknown;
    }
    UaReferenceLists* lists = source->getUaReferenceLists();
    if (!lists)
    {
        UaTrace::traceLevel1("Error: NodeManagerUaNode::deleteUaReference [ret=OpcUa_BadNodeIdUnknown] - "
                             "pSourceNodeRefList not available");
        return OpcUa_BadNodeIdUnknown;
    }
    if (UaNode* target = findNode(targetNodeId))
        return lists->deleteReference(target, referenceTypeId, true);
    return lists->deleteReference(targetNodeId, referenceTypeId, true);
}

bool NodeManagerUaNode::checkReferenceEnds(const char* operation, UaReferenceLists* pSource,
                                           UaReferenceLists* pTarget)
{
    if (!pSource)
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::%s [ret=OpcUa_BadInvalidArgument] - pSourceNode is null", operation);
    if (!pTarget)
        UaTrace::traceLevel1(
            "Error: NodeManagerUaNode::%s [ret=OpcUa_BadInvalidArgument] - pTargetNode is null", operation);
    return pSource && pTarget;
}
