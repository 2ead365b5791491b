#include "uaplainnodes.h"

void unknownArrayDimensions(OpcUa_Int32 valueRank, UaUInt32Array& dimensions)
{
    dimensions.create(valueRank > 0 ? static_cast<OpcUa_UInt32>(valueRank) : 0);
}

UaDataValue UaVariableTypePlain::value(Session*) const
{
    UaDataValue dataValue;
    dataValue.setValue(m_value, false, false);
    return dataValue;
}

void UaVariableTypePlain::arrayDimensions(UaUInt32Array& dimensions) const
{
    unknownArrayDimensions(m_valueRank, dimensions);
}

bool UaReferenceTypePlain::isSubtypeOf(const UaNodeId& referenceTypeId) const
{
    if (!m_superType)
        return false;
    return m_superType->nodeId() == referenceTypeId || m_superType->isSubtypeOf(referenceTypeId);
}
