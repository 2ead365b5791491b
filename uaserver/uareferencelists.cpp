#include "uareferencelists.h"

#include "nodemanager.h"
#include "uanode.h"

#include <vector>

UaReferenceLists::~UaReferenceLists()
{
    // Inverse side first: a reference to this node itself then has no target left when the forward
    // side reaches it, so the walk never turns back to this half-destroyed node.
    UaReference* reference = m_pFirstInverse;
    m_pFirstInverse = nullptr;
    while (reference)
    {
        UaReference* next = reference->pNextInverse();
        reference->setNextInverse(nullptr);
        reference->setTargetNode(nullptr);
        if (!reference->pSourceNode())
            delete reference;
        reference = next;
    }
    reference = m_pFirstForward;
    m_pFirstForward = nullptr;
    m_pLastForward = nullptr;
    while (reference)
    {
        UaReference* next = reference->pNextForward();
        UaNode* target = reference->pTargetNode();
        if (UaReferenceLists* targetLists = target ? target->getUaReferenceLists() : nullptr)
            targetLists->unlinkInverseOnly(reference);
        delete reference;
        reference = next;
    }
}

UaNode* UaReferenceLists::findTargetByBrowseName(const UaQualifiedName& browseName) const
{
    for (UaReference* reference = m_pFirstForward; reference; reference = reference->pNextForward())
    {
        UaNode* target = reference->pTargetNode();
        if (target && target->browseName() == browseName)
            return target;
    }
    return nullptr;
}

void UaReferenceLists::addForwardReference(UaReference* reference)
{
    if (!reference)
        return;
    reference->setNextForward(nullptr);
    if (m_pLastForward)
        m_pLastForward->setNextForward(reference);
    else
        m_pFirstForward = reference;
    m_pLastForward = reference;
}

void UaReferenceLists::addInverseReference(UaReference* reference)
{
    if (!reference)
        return;
    reference->setNextInverse(m_pFirstInverse);
    m_pFirstInverse = reference;
}

bool UaReferenceLists::unlinkInverseOnly(UaReference* reference)
{
    UaReference* previous = nullptr;
    for (UaReference* current = m_pFirstInverse; current; current = current->pNextInverse())
    {
        if (current == reference)
        {
            if (previous)
                previous->setNextInverse(current->pNextInverse());
            else
                m_pFirstInverse = current->pNextInverse();
            current->setNextInverse(nullptr);
            return true;
        }
        previous = current;
    }
    return false;
}

UaStatus UaReferenceLists::removeInverseReference(UaReference* reference)
{
    if (!reference || !unlinkInverseOnly(reference))
        return OpcUa_BadSourceNodeIdInvalid;
    reference->setTargetNode(nullptr);
    return OpcUa_Good;
}

bool UaReferenceLists::unlinkInverseReference(UaReference* reference)
{
    if (!reference || !unlinkInverseOnly(reference))
        return false;
    reference->setSourceNode(nullptr);
    return true;
}

void UaReferenceLists::unlinkForwardAfter(UaReference* previous, UaReference* reference)
{
    if (previous)
        previous->setNextForward(reference->pNextForward());
    else
        m_pFirstForward = reference->pNextForward();
    if (m_pLastForward == reference)
        m_pLastForward = previous;
    reference->setNextForward(nullptr);
}

bool UaReferenceLists::unlinkForwardReference(UaReference* reference)
{
    UaReference* previous = nullptr;
    for (UaReference* current = m_pFirstForward; current; current = current->pNextForward())
    {
        if (current == reference)
        {
            unlinkForwardAfter(previous, current);
            return true;
        }
        previous = current;
    }
    return false;
}

UaStatus UaReferenceLists::deleteForwardReference(UaReference* previous, UaReference* reference,
                                                  bool deleteInverse)
{
    UaNode* target = reference->pTargetNode();
    UaReferenceLists* targetLists = target ? target->getUaReferenceLists() : nullptr;
    if (deleteInverse && target && !targetLists)
        return OpcUa_BadTargetNodeIdInvalid;
    unlinkForwardAfter(previous, reference);
    if (deleteInverse && targetLists)
        targetLists->removeInverseReference(reference);
    if (deleteInverse || !targetLists)
    {
        delete reference;
        return OpcUa_Good;
    }
    // The target's inverse list keeps it; it points at neither node any more, so that list may
    // free it whatever becomes of the source.
    reference->setTargetNode(nullptr);
    reference->setSourceNode(nullptr);
    return OpcUa_Good;
}

UaStatus UaReferenceLists::deleteReference(const UaNodeId& targetNodeId, const UaNodeId& referenceTypeId,
                                           bool deleteInverse)
{
    UaReference* previous = nullptr;
    for (UaReference* reference = m_pFirstForward; reference; reference = reference->pNextForward())
    {
        bool targetMatches = false;
        if (reference->referenceKind() == UaReference::ByNodeId)
            targetMatches = static_cast<UaReferenceByNodeId*>(reference)->targetNodeId() == targetNodeId;
        else if (UaNode* target = reference->pTargetNode())
            targetMatches = target->nodeId() == targetNodeId;
        if (targetMatches && reference->referenceTypeId() == referenceTypeId)
            return deleteForwardReference(previous, reference, deleteInverse);
        previous = reference;
    }
    return OpcUa_BadTargetNodeIdInvalid;
}

UaStatus UaReferenceLists::deleteReference(UaNode* targetNode, const UaNodeId& referenceTypeId,
                                           bool deleteInverse)
{
    UaReference* previous = nullptr;
    for (UaReference* reference = m_pFirstForward; reference; reference = reference->pNextForward())
    {
        if (targetNode && reference->pTargetNode() == targetNode &&
            reference->referenceTypeId() == referenceTypeId)
            return deleteForwardReference(previous, reference, deleteInverse);
        previous = reference;
    }
    return OpcUa_BadTargetNodeIdInvalid;
}

UaStatus UaReferenceLists::deleteCrossReferences(NodeManager* nodeManager)
{
    bool deleted = false;
    auto isMarkerOf = [nodeManager](const UaReference* reference)
    {
        return reference->referenceKind() == UaReference::NodeManagerMarker &&
               static_cast<const UaReferenceToNodeManager*>(reference)->pNodeManager() == nodeManager;
    };
    UaReference* previous = nullptr;
    for (UaReference* reference = m_pFirstForward; reference;)
    {
        UaReference* next = reference->pNextForward();
        if (isMarkerOf(reference))
        {
            unlinkForwardAfter(previous, reference);
            delete reference;
            deleted = true;
        }
        else
            previous = reference;
        reference = next;
    }
    previous = nullptr;
    for (UaReference* reference = m_pFirstInverse; reference;)
    {
        UaReference* next = reference->pNextInverse();
        if (isMarkerOf(reference))
        {
            if (previous)
                previous->setNextInverse(next);
            else
                m_pFirstInverse = next;
            delete reference;
            deleted = true;
        }
        else
            previous = reference;
        reference = next;
    }
    return deleted ? OpcUa_Good : OpcUa_BadTargetNodeIdInvalid;
}

UaStatus UaReferenceLists::deleteAllForwardReferences(bool deleteInTarget)
{
    UaReference* reference = m_pFirstForward;
    m_pFirstForward = nullptr;
    m_pLastForward = nullptr;
    while (reference)
    {
        UaReference* next = reference->pNextForward();
        reference->setNextForward(nullptr);
        UaNode* target = reference->pTargetNode();
        UaReferenceLists* targetLists = target ? target->getUaReferenceLists() : nullptr;
        if (deleteInTarget && targetLists)
            targetLists->removeInverseReference(reference);
        reference->setSourceNode(nullptr);
        // Without a target list to stand in, nobody else holds it.
        if (!targetLists || !reference->pTargetNode())
            delete reference;
        reference = next;
    }
    return OpcUa_Good;
}

UaStatus UaReferenceLists::deleteAllInverseReferences(bool deleteInSource)
{
    UaReference* reference = m_pFirstInverse;
    m_pFirstInverse = nullptr;
    while (reference)
    {
        UaReference* next = reference->pNextInverse();
        reference->setNextInverse(nullptr);
        UaNode* source = reference->pSourceNode();
        UaReferenceLists* sourceLists = source ? source->getUaReferenceLists() : nullptr;
        // The source gives up this very object: with two references of one type between the same
        // nodes, a search by type and target could unlink the other one.
        if (deleteInSource && sourceLists && sourceLists->unlinkForwardReference(reference))
            delete reference;
        else
        {
            reference->setTargetNode(nullptr);
            if (!sourceLists)
                delete reference;
        }
        reference = next;
    }
    return OpcUa_Good;
}

UaStatus UaReferenceLists::deleteChildren(NodeManagerConfig* nodeManagerConfig)
{
    if (!nodeManagerConfig)
        return OpcUa_BadInvalidArgument;
    const UaNodeId hasChild(ReferenceTypeId::HasChild, 0);
    auto isChildReference = [&hasChild](const UaReference* reference)
    { return reference->referenceTypeId() == hasChild || reference->isSubtypeOf(hasChild); };
    UaNode* self = getUaNode();
    // Children are chosen before any is deleted: a deletion changes the lists walked here.
    std::vector<ReferenceHolder<UaNode>> children;
    for (UaReference* reference = m_pFirstForward; reference; reference = reference->pNextForward())
    {
        UaNode* child = reference->pTargetNode();
        UaReferenceLists* childLists = child ? child->getUaReferenceLists() : nullptr;
        if (!childLists || !isChildReference(reference))
            continue;
        // Any other parent keeps the child, wherever its reference stands in the inverse list.
        bool otherParent = false;
        for (UaReference* inverse = childLists->m_pFirstInverse; inverse && !otherParent;
             inverse = inverse->pNextInverse())
            otherParent =
                inverse->pSourceNode() && inverse->pSourceNode() != self && isChildReference(inverse);
        bool listed = false;
        for (const ReferenceHolder<UaNode>& known : children)
            listed = listed || known.get() == child;
        if (!otherParent && !listed)
            children.emplace_back(child);
    }
    for (const ReferenceHolder<UaNode>& child : children)
        nodeManagerConfig->deleteUaNode(child.get(), true, false, true);
    return OpcUa_Good;
}
