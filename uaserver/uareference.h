#ifndef UASERVER_UAREFERENCE_H
#define UASERVER_UAREFERENCE_H

#include "referencetypes.h"

#include <uanodeid.h>

class NodeManager;
class UaNode;
class UaReferenceType;

// One reference between two nodes, linked at once into the forward list of its source and the
// inverse list of its target. The source's forward list owns it.
class UaReference
{
public:
    UaReference(UaNode* sourceNode, UaNode* targetNode) : m_pSourceNode(sourceNode), m_pTargetNode(targetNode)
    {
    }
    virtual ~UaReference() = default;
    UaReference(const UaReference&) = delete;
    UaReference& operator=(const UaReference&) = delete;

    // What the lists make of it.
    enum Kind : OpcUa_UInt32
    {
        // Two nodes of one node manager.
        Ordinary = 0,
        // Another node manager keeps further references of the node (UaReferenceToNodeManager).
        NodeManagerMarker = 1,
        // A target of another node manager held by NodeId (UaReferenceByNodeId).
        ByNodeId = 2
    };
    virtual OpcUa_UInt32 referenceKind() const { return Ordinary; }
    virtual UaNodeId referenceTypeId() const = 0;
    // Whether referenceTypeId names a proper super type of this reference's type.
    virtual bool isSubtypeOf(const UaNodeId& referenceTypeId) const = 0;

    UaNode* pSourceNode() const { return m_pSourceNode; }
    UaNode* pTargetNode() const { return m_pTargetNode; }
    UaReference* pNextForward() const { return m_pNextForward; }
    UaReference* pNextInverse() const { return m_pNextInverse; }

    void setSourceNode(UaNode* node) { m_pSourceNode = node; }
    void setTargetNode(UaNode* node) { m_pTargetNode = node; }
    void setNextForward(UaReference* next) { m_pNextForward = next; }
    void setNextInverse(UaReference* next) { m_pNextInverse = next; }

private:
    UaNode* m_pSourceNode;
    UaNode* m_pTargetNode;
    UaReference* m_pNextForward = nullptr;
    UaReference* m_pNextInverse = nullptr;
};

// A reference of one standard type of the table, answering its type without a look-up.
template <OpcUa_UInt32 TypeId> class UaRefStandard final : public UaReference
{
public:
    using UaReference::UaReference;
    UaNodeId referenceTypeId() const override { return typeNodeId(); }
    bool isSubtypeOf(const UaNodeId& referenceTypeId) const override
    {
        return StandardReferenceTypes::isProperSubtype(TypeId, referenceTypeId);
    }

private:
    static const UaNodeId& typeNodeId()
    {
        static const UaNodeId id(TypeId, 0);
        return id;
    }
};

using UaRefOrganizes = UaRefStandard<ReferenceTypeId::Organizes>;
using UaRefHasEventSource = UaRefStandard<ReferenceTypeId::HasEventSource>;
using UaRefHasNotifier = UaRefStandard<ReferenceTypeId::HasNotifier>;
using UaRefHasSubtype = UaRefStandard<ReferenceTypeId::HasSubtype>;
using UaRefHasComponent = UaRefStandard<ReferenceTypeId::HasComponent>;
using UaRefHasProperty = UaRefStandard<ReferenceTypeId::HasProperty>;
using UaRefHasHistoricalConfiguration = UaRefStandard<ReferenceTypeId::HasHistoricalConfiguration>;
using UaRefHasOrderedComponent = UaRefStandard<ReferenceTypeId::HasOrderedComponent>;
using UaRefHasTypeDefinition = UaRefStandard<ReferenceTypeId::HasTypeDefinition>;
using UaRefGeneratesEvent = UaRefStandard<ReferenceTypeId::GeneratesEvent>;
using UaRefHasCondition = UaRefStandard<ReferenceTypeId::HasCondition>;
using UaRefHasDescription = UaRefStandard<ReferenceTypeId::HasDescription>;
using UaRefHasEncoding = UaRefStandard<ReferenceTypeId::HasEncoding>;
using UaRefHasModelParent = UaRefStandard<ReferenceTypeId::HasModelParent>;
using UaRefHasModellingRule = UaRefStandard<ReferenceTypeId::HasModellingRule>;
using UaRefFromState = UaRefStandard<ReferenceTypeId::FromState>;
using UaRefHasCause = UaRefStandard<ReferenceTypeId::HasCause>;
using UaRefHasEffect = UaRefStandard<ReferenceTypeId::HasEffect>;
using UaRefToState = UaRefStandard<ReferenceTypeId::ToState>;

// A new reference object of one of the nineteen standard classes for a numeric namespace-0 type;
// null for any other type (References, the abstract ones, unknown ids).
UaReference* createStandardReference(OpcUa_UInt32 typeId, UaNode* sourceNode, UaNode* targetNode);

// A reference whose type is a reference type node, of which it holds one reference.
class UaReferenceByNode : public UaReference
{
public:
    UaReferenceByNode(UaNode* sourceNode, UaNode* targetNode, UaReferenceType* referenceTypeNode);
    ~UaReferenceByNode() override;
    UaNodeId referenceTypeId() const override;
    bool isSubtypeOf(const UaNodeId& referenceTypeId) const override;
    UaReferenceType* referenceTypeNode() const { return m_pReferenceTypeNode; }

private:
    UaReferenceType* m_pReferenceTypeNode;
};

// A reference to a node of another node manager, held by its NodeId and node class; it has no
// target pointer and stands only in its source's forward list.
class UaReferenceByNodeId : public UaReference
{
public:
    UaReferenceByNodeId(UaNode* sourceNode, const UaNodeId& targetNodeId, const UaNodeId& referenceTypeId,
                        OpcUa_NodeClass targetNodeClass, NodeManager* targetNodeManager);
    OpcUa_UInt32 referenceKind() const override { return ByNodeId; }
    UaNodeId referenceTypeId() const override { return m_referenceTypeId; }
    // The table's answer for a numeric namespace-0 type; false for any other type.
    bool isSubtypeOf(const UaNodeId& referenceTypeId) const override;

    UaNodeId targetNodeId() const { return m_targetNodeId; }
    OpcUa_NodeClass targetNodeClass() const { return m_targetNodeClass; }
    NodeManager* targetNodeManager() const { return m_pTargetNodeManager; }

private:
    UaNodeId m_targetNodeId;
    UaNodeId m_referenceTypeId;
    OpcUa_NodeClass m_targetNodeClass;
    NodeManager* m_pTargetNodeManager;
};

// The marker that another node manager keeps further references of the node: browsing the node
// asks that node manager too. It has no type and no target.
class UaReferenceToNodeManager : public UaReference
{
public:
    explicit UaReferenceToNodeManager(NodeManager* nodeManager)
        : UaReference(nullptr, nullptr), m_pNodeManager(nodeManager)
    {
    }
    OpcUa_UInt32 referenceKind() const override { return NodeManagerMarker; }
    UaNodeId referenceTypeId() const override { return UaNodeId(); }
    bool isSubtypeOf(const UaNodeId&) const override { return false; }
    NodeManager* pNodeManager() const { return m_pNodeManager; }

private:
    NodeManager* m_pNodeManager;
};

#endif
