#include "serverobjectnodes.h"

#include "nodemanager.h"
#include "referencetypes.h"

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;
} // namespace

UaTypedDataVariableCache::UaTypedDataVariableCache(const UaString& name, const UaNodeId& nodeId,
                                                   const UaVariant& initialValue,
                                                   const UaString& defaultLocaleId,
                                                   const UaNodeId& typeDefinitionId)
    : UaDataVariableCache(name, nodeId, initialValue, kReadOnly, defaultLocaleId),
      m_typeDefinitionId(typeDefinitionId)
{
}

bool NodeBuilder::link(UaReferenceLists* pParent, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId)
{
    if (pParent && m_pNodeManager &&
        m_pNodeManager->addNodeAndReference(pParent, pNode, UaNodeId(referenceTypeId, 0)).isGood())
        return true;
    // A node the namespace did not take belongs to nobody else.
    pNode->getUaNode()->releaseReference();
    return false;
}

bool NodeBuilder::link(const UaNodeId& parentId, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId)
{
    if (m_pNodeManager &&
        m_pNodeManager->addNodeAndReference(parentId, pNode, UaNodeId(referenceTypeId, 0)).isGood())
        return true;
    pNode->getUaNode()->releaseReference();
    return false;
}

UaDataVariableCache* NodeBuilder::variable(const UaNodeId& parentId, OpcUa_UInt32 id, const char* name,
                                           const UaVariant& value)
{
    return add(parentId, new UaDataVariableCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasComponent);
}

UaDataVariableCache* NodeBuilder::variable(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                           const UaVariant& value)
{
    return add(pParent, new UaDataVariableCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasComponent);
}

UaPropertyCache* NodeBuilder::property(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                       const UaVariant& value)
{
    return add(pParent, new UaPropertyCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasProperty);
}

UaTypedObject* NodeBuilder::object(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                   OpcUa_UInt32 typeDefinitionId)
{
    return add(pParent, new UaTypedObject(name, UaNodeId(id, 0), m_locale, UaNodeId(typeDefinitionId, 0)),
               ReferenceTypeId::HasComponent);
}

UaTypedDataVariableCache* NodeBuilder::typedVariable(UaReferenceLists* pParent, OpcUa_UInt32 id,
                                                     const char* name, const UaVariant& value,
                                                     OpcUa_UInt32 typeDefinitionId, OpcUa_UInt32 dataTypeId)
{
    auto* node =
        new UaTypedDataVariableCache(name, UaNodeId(id, 0), value, m_locale, UaNodeId(typeDefinitionId, 0));
    node->setDataType(UaNodeId(dataTypeId, 0));
    return add(pParent, node, ReferenceTypeId::HasComponent);
}

UaFolder* NodeBuilder::folder(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                              OpcUa_UInt32 referenceTypeId)
{
    return add(pParent, new UaFolder(name, UaNodeId(id, 0), m_locale), referenceTypeId);
}
