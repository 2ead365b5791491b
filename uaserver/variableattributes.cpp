#include "variableattributes.h"

#include "uaplainnodes.h"

VariableAttributesFull* VariableAttributesCompact::makeFull() const
{
    return VariableAttributesFull::copyOf(*this);
}

void VariableAttributesCompact::arrayDimensions(UaUInt32Array& dimensions) const
{
    unknownArrayDimensions(m_valueRank, dimensions);
}

void VariableAttributesFull::arrayDimensions(UaUInt32Array& dimensions) const
{
    if (!m_hasArrayDimensions)
    {
        unknownArrayDimensions(m_valueRank, dimensions);
        return;
    }
    dimensions.create(static_cast<OpcUa_UInt32>(m_arrayDimensions.size()));
    for (OpcUa_UInt32 i = 0; i < dimensions.length(); ++i)
        dimensions[i] = m_arrayDimensions[i];
}

VariableAttributesFull* VariableAttributesFull::copyOf(const VariableAttributes& record)
{
    auto* full = new VariableAttributesFull;
    full->m_nodeId = record.nodeId();
    full->m_browseName = record.browseName();
    full->m_displayName = record.displayName();
    full->m_description = record.description();
    full->m_writeMask = record.writeMask();
    full->m_userWriteMask = record.userWriteMask();
    full->m_dataType = record.dataType();
    full->m_valueRank = record.valueRank();
    full->m_accessLevel = record.accessLevel();
    full->m_userAccessLevel = record.userAccessLevel();
    full->m_minimumSamplingInterval = record.minimumSamplingInterval();
    full->m_historizing = record.historizing();
    full->m_modellingRuleId = record.modellingRuleId();
    return full;
}
