#include "uareference.h"

#include "uanodeinterfaces.h"

UaReference* createStandardReference(OpcUa_UInt32 typeId, UaNode* sourceNode, UaNode* targetNode)
{
    switch (typeId)
    {
    case ReferenceTypeId::Organizes:
        return new UaRefOrganizes(sourceNode, targetNode);
    case ReferenceTypeId::HasEventSource:
        return new UaRefHasEventSource(sourceNode, targetNode);
    case ReferenceTypeId::HasNotifier:
        return new UaRefHasNotifier(sourceNode, targetNode);
    case ReferenceTypeId::HasSubtype:
        return new UaRefHasSubtype(sourceNode, targetNode);
    case ReferenceTypeId::HasComponent:
        return new UaRefHasComponent(sourceNode, targetNode);
    case ReferenceTypeId::HasProperty:
        return new UaRefHasProperty(sourceNode, targetNode);
    case ReferenceTypeId::HasHistoricalConfiguration:
        return new UaRefHasHistoricalConfiguration(sourceNode, targetNode);
    case ReferenceTypeId::HasOrderedComponent:
        return new UaRefHasOrderedComponent(sourceNode, targetNode);
    case ReferenceTypeId::HasTypeDefinition:
        return new UaRefHasTypeDefinition(sourceNode, targetNode);
    case ReferenceTypeId::GeneratesEvent:
        return new UaRefGeneratesEvent(sourceNode, targetNode);
    case ReferenceTypeId::HasCondition:
        return new UaRefHasCondition(sourceNode, targetNode);
    case ReferenceTypeId::HasDescription:
        return new UaRefHasDescription(sourceNode, targetNode);
    case ReferenceTypeId::HasEncoding:
        return new UaRefHasEncoding(sourceNode, targetNode);
    case ReferenceTypeId::HasModelParent:
        return new UaRefHasModelParent(sourceNode, targetNode);
    case ReferenceTypeId::HasModellingRule:
        return new UaRefHasModellingRule(sourceNode, targetNode);
    case ReferenceTypeId::FromState:
        return new UaRefFromState(sourceNode, targetNode);
    case ReferenceTypeId::HasCause:
        return new UaRefHasCause(sourceNode, targetNode);
    case ReferenceTypeId::HasEffect:
        return new UaRefHasEffect(sourceNode, targetNode);
    case ReferenceTypeId::ToState:
        return new UaRefToState(sourceNode, targetNode);
    default:
        return nullptr;
    }
}

UaReferenceByNode::UaReferenceByNode(UaNode* sourceNode, UaNode* targetNode,
                                     UaReferenceType* referenceTypeNode)
    : UaReference(sourceNode, targetNode), m_pReferenceTypeNode(referenceTypeNode)
{
    if (m_pReferenceTypeNode)
        m_pReferenceTypeNode->addReference();
}

UaReferenceByNode::~UaReferenceByNode()
{
    if (m_pReferenceTypeNode)
        m_pReferenceTypeNode->releaseReference();
}

UaNodeId UaReferenceByNode::referenceTypeId() const
{
    return m_pReferenceTypeNode ? m_pReferenceTypeNode->nodeId() : UaNodeId();
}

bool UaReferenceByNode::isSubtypeOf(const UaNodeId& referenceTypeId) const
{
    return m_pReferenceTypeNode && m_pReferenceTypeNode->isSubtypeOf(referenceTypeId);
}

UaReferenceByNodeId::UaReferenceByNodeId(UaNode* sourceNode, const UaNodeId& targetNodeId,
                                         const UaNodeId& referenceTypeId, OpcUa_NodeClass targetNodeClass,
                                         NodeManager* targetNodeManager)
    : UaReference(sourceNode, nullptr), m_targetNodeId(targetNodeId), m_referenceTypeId(referenceTypeId),
      m_targetNodeClass(targetNodeClass), m_pTargetNodeManager(targetNodeManager)
{
}

bool UaReferenceByNodeId::isSubtypeOf(const UaNodeId& referenceTypeId) const
{
    if (m_referenceTypeId.namespaceIndex() != 0 ||
        m_referenceTypeId.identifierType() != OpcUa_IdentifierType_Numeric)
        return false;
    return StandardReferenceTypes::isProperSubtype(m_referenceTypeId.identifierNumeric(), referenceTypeId);
}
