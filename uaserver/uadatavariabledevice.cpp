#include "uadatavariabledevice.h"

#include "attributeids.h"
#include "standardnodeids.h"
#include "uaplainnodes.h"
#include "variablevaluerules.h"

UaDataVariableDevice::UaDataVariableDevice(const UaString& name, const UaNodeId& nodeId,
                                           const UaNodeId& dataType, OpcUa_Int32 valueRank,
                                           OpcUa_Byte accessLevel, const UaString& defaultLocaleId)
    : UaNamedNode(name, nodeId, defaultLocaleId), m_dataType(dataType), m_valueRank(valueRank),
      m_accessLevel(accessLevel)
{
}

UaStatus UaDataVariableDevice::browse(const ServiceContext& context, BrowseContext& browseContext,
                                      UaReferenceDescriptionArray& references)
{
    return browseWithTrace(*this, m_nodeId, "UaDataVariableDevice", "DataVariable", context, browseContext,
                           references);
}

UaNodeId UaDataVariableDevice::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::BaseDataVariableType, 0);
}

UaDataValue UaDataVariableDevice::value(Session*)
{
    UaMutexLocker locker(&m_valueMutex);
    return m_value;
}

UaStatus UaDataVariableDevice::setValue(Session*, const UaDataValue& dataValue, bool checkAccessLevel)
{
    if (checkAccessLevel && (m_accessLevel & AccessLevelBit::CurrentWrite) == 0)
        return OpcUa_BadNotWritable;
    const OpcUa_Variant& incoming = static_cast<const OpcUa_DataValue*>(dataValue)->Value;
    if (m_dataType != UaNodeId(static_cast<OpcUa_UInt32>(incoming.Datatype), 0) &&
        m_dataType != UaNodeId(StandardNodeId::BaseDataType, 0))
        return OpcUa_BadTypeMismatch;
    if (incoming.ArrayType == OpcUa_VariantArrayType_Scalar && m_valueRank != -1)
        return OpcUa_BadTypeMismatch;
    UaDataValue stored = dataValue;
    VariableValueRules::stampMissingTimestamps(stored);
    UaMutexLocker locker(&m_valueMutex);
    m_value = stored;
    return OpcUa_Good;
}

void UaDataVariableDevice::arrayDimensions(UaUInt32Array& dimensions) const
{
    unknownArrayDimensions(m_valueRank, dimensions);
}
