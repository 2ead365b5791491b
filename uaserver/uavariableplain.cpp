#include "uavariableplain.h"

#include "attributeids.h"
#include "attributewriterules.h"
#include "uaplainnodes.h"

UaVariablePlain::UaVariablePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                                 const UaLocalizedText& displayName, const UaLocalizedText& description,
                                 const UaNodeId& typeDefinitionId, const UaDataValue& value,
                                 const UaNodeId& dataType, OpcUa_Int32 valueRank, OpcUa_Byte accessLevel,
                                 OpcUa_Byte userAccessLevel, OpcUa_Double minimumSamplingInterval,
                                 bool historizing)
    : UaPlainNode(nodeId, browseName, displayName, description), m_typeDefinitionId(typeDefinitionId),
      m_dataType(dataType), m_valueRank(valueRank), m_accessLevel(accessLevel),
      m_userAccessLevel(userAccessLevel), m_minimumSamplingInterval(minimumSamplingInterval),
      m_historizing(historizing)
{
    m_cachedValue = value;
}

void UaVariablePlain::arrayDimensions(UaUInt32Array& dimensions) const
{
    unknownArrayDimensions(m_valueRank, dimensions);
}

OpcUa_Byte UaVariablePlain::accessLevel() const
{
    return m_accessLevel.load(std::memory_order_relaxed);
}

OpcUa_Byte UaVariablePlain::userAccessLevel(Session*) const
{
    return m_userAccessLevel.load(std::memory_order_relaxed);
}

UaStatus UaVariablePlain::setAttributeValue(Session* session, OpcUa_Int32 attributeId,
                                            const UaDataValue& dataValue, bool checkWriteMask)
{
    if (attributeId == AttributeId::Value)
    {
        if (checkWriteMask && (accessLevel() & AccessLevelBit::CurrentWrite) == 0)
            return OpcUa_BadNotWritable;
        return setValue(session, dataValue, checkWriteMask);
    }
    if (attributeId != AttributeId::AccessLevel && attributeId != AttributeId::UserAccessLevel)
        return UaPlainNode::setAttributeValue(session, attributeId, dataValue, checkWriteMask);
    const UaVariant value = dataValue.value();
    const UaStatus allowed = AttributeWriteRules::check(attributeId, writeMask(), value, checkWriteMask);
    if (allowed.isBad())
        return allowed;
    std::atomic<OpcUa_Byte>& level =
        attributeId == AttributeId::AccessLevel ? m_accessLevel : m_userAccessLevel;
    UaSharedMutexLocker locker(sharedMutex());
    OpcUa_Byte written = level.load(std::memory_order_relaxed);
    value.toByte(written);
    level.store(written, std::memory_order_relaxed);
    return OpcUa_Good;
}
