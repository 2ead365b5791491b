#include "basevariabletypenode.h"

#include "attributeids.h"
#include "attributewriterules.h"
#include "standardnodeids.h"
#include "standardtypenodes.h"
#include "variablevaluerules.h"

namespace
{
// Compact when the data type is the value's own built-in type, which is the usual case.
VariableAttributes* newRecord(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                              const UaVariant& initialValue, OpcUa_Byte accessLevel)
{
    const UaNodeId dataType = VariableValueRules::dataTypeOf(initialValue);
    const OpcUa_Int32 valueRank = VariableValueRules::valueRankOf(initialValue);
    const VariableAttributesCompact compact(
        nodeId, name, namespaceIndex, static_cast<OpcUa_UInt32>(initialValue.type()), valueRank, accessLevel);
    if (dataType == VariableValueRules::builtInTypeId(initialValue))
        return new VariableAttributesCompact(compact);
    VariableAttributesFull* full = compact.makeFull();
    full->m_dataType = dataType;
    return full;
}
} // namespace

BaseVariableTypeNode::BaseVariableTypeNode(const UaNodeId& nodeId, const UaString& name,
                                           OpcUa_UInt16 namespaceIndex, const UaVariant& initialValue,
                                           OpcUa_Byte accessLevel, NodeManagerConfig* pNodeManager,
                                           UaMutexRefCounted* sharedMutex)
    : UaNodeWithLists(sharedMutex),
      m_attributes(newRecord(nodeId, name, namespaceIndex, initialValue, accessLevel)),
      m_pNodeManager(pNodeManager)
{
    m_cachedValue.setValue(initialValue, false, false);
    StandardTypeNodes::createBaseVariableType();
}

OpcUa_UInt32 BaseVariableTypeNode::attributesKind() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::kind);
}

UaNodeId BaseVariableTypeNode::nodeId() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::nodeId);
}

UaQualifiedName BaseVariableTypeNode::browseName() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::browseName);
}

UaLocalizedText BaseVariableTypeNode::displayName(Session*) const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::displayName);
}

UaLocalizedText BaseVariableTypeNode::description(Session*) const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::description);
}

OpcUa_UInt32 BaseVariableTypeNode::writeMask() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::writeMask);
}

OpcUa_UInt32 BaseVariableTypeNode::userWriteMask(Session*) const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::userWriteMask);
}

UaNodeId BaseVariableTypeNode::modellingRuleId() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::modellingRuleId);
}

UaNodeId BaseVariableTypeNode::dataType() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::dataType);
}

OpcUa_Int32 BaseVariableTypeNode::valueRank() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::valueRank);
}

OpcUa_Byte BaseVariableTypeNode::accessLevel() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::accessLevel);
}

OpcUa_Byte BaseVariableTypeNode::userAccessLevel(Session*) const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::userAccessLevel);
}

OpcUa_Double BaseVariableTypeNode::minimumSamplingInterval() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::minimumSamplingInterval);
}

bool BaseVariableTypeNode::historizing() const
{
    return m_attributes.read(sharedMutex(), &VariableAttributes::historizing);
}

void BaseVariableTypeNode::arrayDimensions(UaUInt32Array& dimensions) const
{
    UaSharedMutexLocker locker(sharedMutex());
    m_attributes.current().arrayDimensions(dimensions);
}

void BaseVariableTypeNode::setBrowseName(const UaQualifiedName& value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_browseName, value);
}

void BaseVariableTypeNode::setDisplayName(const UaLocalizedText& value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_displayName, value);
}

void BaseVariableTypeNode::setDescription(const UaLocalizedText& value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_description, value);
}

void BaseVariableTypeNode::setWriteMask(OpcUa_UInt32 value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_writeMask, value);
}

void BaseVariableTypeNode::setUserWriteMask(OpcUa_UInt32 value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_userWriteMask, value);
}

void BaseVariableTypeNode::setDataType(const UaNodeId& value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_dataType, value);
}

void BaseVariableTypeNode::setValueRank(OpcUa_Int32 value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_valueRank, value);
}

void BaseVariableTypeNode::setAccessLevel(OpcUa_Byte value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_accessLevel, value);
}

void BaseVariableTypeNode::setUserAccessLevel(OpcUa_Byte value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_userAccessLevel, value);
}

void BaseVariableTypeNode::setMinimumSamplingInterval(OpcUa_Double value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_minimumSamplingInterval, value);
}

void BaseVariableTypeNode::setHistorizing(bool value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_historizing, value);
}

void BaseVariableTypeNode::setModellingRule(const UaNodeId& value)
{
    m_attributes.write(sharedMutex(), &VariableAttributesFull::m_modellingRuleId, value);
}

void BaseVariableTypeNode::setArrayDimensions(const UaUInt32Array& arrayDimensions)
{
    UaSharedMutexLocker locker(sharedMutex());
    VariableAttributesFull& full = m_attributes.full();
    full.m_arrayDimensions.assign(arrayDimensions.data(), arrayDimensions.data() + arrayDimensions.length());
    full.m_hasArrayDimensions = true;
}

void BaseVariableTypeNode::applyAttribute(VariableAttributesFull& full, OpcUa_Int32 attributeId,
                                          const UaVariant& value)
{
    if (AttributeWriteRules::applyNameAttribute(attributeId, value, full.m_browseName, full.m_displayName,
                                                full.m_description, full.m_writeMask))
        return;
    switch (attributeId)
    {
    case AttributeId::DataType:
        value.toNodeId(full.m_dataType);
        break;
    case AttributeId::ValueRank:
        value.toInt32(full.m_valueRank);
        break;
    case AttributeId::ArrayDimensions:
    {
        UaUInt32Array dimensions;
        value.toUInt32Array(dimensions);
        full.m_arrayDimensions.assign(dimensions.data(), dimensions.data() + dimensions.length());
        full.m_hasArrayDimensions = true;
        break;
    }
    case AttributeId::AccessLevel:
        value.toByte(full.m_accessLevel);
        break;
    case AttributeId::UserAccessLevel:
        value.toByte(full.m_userAccessLevel);
        break;
    case AttributeId::MinimumSamplingInterval:
        value.toDouble(full.m_minimumSamplingInterval);
        break;
    case AttributeId::Historizing:
    {
        OpcUa_Boolean historizing = OpcUa_False;
        value.toBool(historizing);
        full.m_historizing = historizing != OpcUa_False;
        break;
    }
    default:
        break;
    }
}

UaStatus BaseVariableTypeNode::setAttributeValue(Session* session, OpcUa_Int32 attributeId,
                                                 const UaDataValue& dataValue, bool checkWriteMask)
{
    if (attributeId == AttributeId::Value)
    {
        if (checkWriteMask && (accessLevel() & AccessLevelBit::CurrentWrite) == 0)
            return OpcUa_BadNotWritable;
        return setValue(session, dataValue, checkWriteMask);
    }
    const UaVariant value = dataValue.value();
    return m_attributes.writeChecked(sharedMutex(), attributeId, value, checkWriteMask,
                                     [&](VariableAttributesFull& full)
                                     { applyAttribute(full, attributeId, value); });
}

BaseDataVariableTypeBase::BaseDataVariableTypeBase(const UaNodeId& nodeId, const UaString& name,
                                                   OpcUa_UInt16 namespaceIndex, const UaVariant& initialValue,
                                                   OpcUa_Byte accessLevel, NodeManagerConfig* pNodeManager,
                                                   UaMutexRefCounted* sharedMutex)
    : BaseVariableTypeNode(nodeId, name, namespaceIndex, initialValue, accessLevel, pNodeManager, sharedMutex)
{
    StandardTypeNodes::createBaseDataVariableType();
}

UaNodeId BaseDataVariableTypeBase::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::BaseDataVariableType, 0);
}

TypedVariableNode::TypedVariableNode(const UaNodeId& nodeId, const UaString& name,
                                     OpcUa_UInt16 namespaceIndex, const UaVariant& initialValue,
                                     OpcUa_Byte accessLevel, NodeManagerConfig* pNodeManager,
                                     UaMutexRefCounted* sharedMutex)
    : BaseVariableTypeNode(nodeId, name, namespaceIndex, initialValue, accessLevel, pNodeManager,
                           sharedMutex),
      m_typeDefinitionId(StandardNodeId::BaseDataVariableType, 0)
{
}

UaNodeId TypedVariableNode::typeDefinitionId() const
{
    UaSharedMutexLocker locker(sharedMutex());
    return m_typeDefinitionId;
}

void TypedVariableNode::setTypeDefinition(const UaNodeId& typeDefinitionId)
{
    UaSharedMutexLocker locker(sharedMutex());
    m_typeDefinitionId = typeDefinitionId;
}

PropertyTypeBase::PropertyTypeBase(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                                   const UaVariant& initialValue, OpcUa_Byte accessLevel,
                                   NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex)
    : BaseVariableTypeNode(nodeId, name, namespaceIndex, initialValue, accessLevel, pNodeManager, sharedMutex)
{
    StandardTypeNodes::createPropertyType();
}

UaNodeId PropertyTypeBase::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::PropertyType, 0);
}
