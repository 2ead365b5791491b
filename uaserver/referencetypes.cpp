#include "referencetypes.h"

namespace
{
const std::vector<StandardReferenceType> g_rows = {
    {31, "References", 0},
    {32, "NonHierarchicalReferences", 31},
    {33, "HierarchicalReferences", 31},
    {34, "HasChild", 33},
    {35, "Organizes", 33},
    {36, "HasEventSource", 33},
    {37, "HasModellingRule", 32},
    {38, "HasEncoding", 32},
    {39, "HasDescription", 32},
    {40, "HasTypeDefinition", 32},
    {41, "GeneratesEvent", 32},
    {44, "Aggregates", 34},
    {45, "HasSubtype", 34},
    {46, "HasProperty", 44},
    {47, "HasComponent", 44},
    {48, "HasNotifier", 36},
    {49, "HasOrderedComponent", 47},
    {50, "HasModelParent", 32},
    {51, "FromState", 32},
    {52, "ToState", 32},
    {53, "HasCause", 32},
    {54, "HasEffect", 32},
    {56, "HasHistoricalConfiguration", 44},
    {3065, "AlwaysGeneratesEvent", 41},
    {9006, "HasCondition", 32},
};

bool isStandardId(const UaNodeId& id)
{
    return id.namespaceIndex() == 0 && id.identifierType() == OpcUa_IdentifierType_Numeric;
}
} // namespace

namespace StandardReferenceTypes
{
const std::vector<StandardReferenceType>& rows()
{
    return g_rows;
}

const StandardReferenceType* find(OpcUa_UInt32 id)
{
    for (const StandardReferenceType& row : g_rows)
        if (row.id == id)
            return &row;
    return nullptr;
}

bool isProperSubtype(OpcUa_UInt32 typeId, OpcUa_UInt32 superTypeId)
{
    const StandardReferenceType* row = find(typeId);
    while (row && row->superTypeId != 0)
    {
        if (row->superTypeId == superTypeId)
            return true;
        row = find(row->superTypeId);
    }
    return false;
}

bool isProperSubtype(OpcUa_UInt32 typeId, const UaNodeId& superTypeId)
{
    return isStandardId(superTypeId) && isProperSubtype(typeId, superTypeId.identifierNumeric());
}
} // namespace StandardReferenceTypes

bool isReferenceTypeOf(const UaNodeId& filterTypeId, const UaNodeId& typeId, bool includeSubtypes)
{
    if (filterTypeId.isNull() || filterTypeId == typeId)
        return true;
    return includeSubtypes && isStandardId(typeId) &&
           StandardReferenceTypes::isProperSubtype(typeId.identifierNumeric(), filterTypeId);
}

bool isReferenceTypeMatch(const UaNodeId& filterTypeId, OpcUa_UInt32 typeId, bool includeSubtypes)
{
    return isReferenceTypeOf(filterTypeId, UaNodeId(typeId, 0), includeSubtypes);
}
