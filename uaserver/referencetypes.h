#ifndef UASERVER_REFERENCETYPES_H
#define UASERVER_REFERENCETYPES_H

#include <uanodeid.h>

#include <vector>

// The standard reference types of namespace 0 that the server knows without a look-up in the
// address space, with their place in the type hierarchy. This one table serves the free matching
// functions, the standard reference classes and references held by NodeId.
namespace ReferenceTypeId
{
constexpr OpcUa_UInt32 References = 31;
constexpr OpcUa_UInt32 NonHierarchicalReferences = 32;
constexpr OpcUa_UInt32 HierarchicalReferences = 33;
constexpr OpcUa_UInt32 HasChild = 34;
constexpr OpcUa_UInt32 Organizes = 35;
constexpr OpcUa_UInt32 HasEventSource = 36;
constexpr OpcUa_UInt32 HasModellingRule = 37;
constexpr OpcUa_UInt32 HasEncoding = 38;
constexpr OpcUa_UInt32 HasDescription = 39;
constexpr OpcUa_UInt32 HasTypeDefinition = 40;
constexpr OpcUa_UInt32 GeneratesEvent = 41;
constexpr OpcUa_UInt32 Aggregates = 44;
constexpr OpcUa_UInt32 HasSubtype = 45;
constexpr OpcUa_UInt32 HasProperty = 46;
constexpr OpcUa_UInt32 HasComponent = 47;
constexpr OpcUa_UInt32 HasNotifier = 48;
constexpr OpcUa_UInt32 HasOrderedComponent = 49;
constexpr OpcUa_UInt32 HasModelParent = 50;
constexpr OpcUa_UInt32 FromState = 51;
constexpr OpcUa_UInt32 ToState = 52;
constexpr OpcUa_UInt32 HasCause = 53;
constexpr OpcUa_UInt32 HasEffect = 54;
constexpr OpcUa_UInt32 HasHistoricalConfiguration = 56;
constexpr OpcUa_UInt32 AlwaysGeneratesEvent = 3065;
constexpr OpcUa_UInt32 HasCondition = 9006;
} // namespace ReferenceTypeId

// One row of the table: a reference type and its direct super type (0 for References).
struct StandardReferenceType
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
};

namespace StandardReferenceTypes
{
const std::vector<StandardReferenceType>& rows();
// Null when the id is not in the table.
const StandardReferenceType* find(OpcUa_UInt32 id);
// Whether superTypeId is a proper ancestor of typeId in the table.
bool isProperSubtype(OpcUa_UInt32 typeId, OpcUa_UInt32 superTypeId);
// isProperSubtype for a super type given as NodeId: false for anything but a numeric NodeId of
// namespace 0.
bool isProperSubtype(OpcUa_UInt32 typeId, const UaNodeId& superTypeId);
} // namespace StandardReferenceTypes

// Whether a reference of type typeId passes the type filter: always for a null filter, when the
// two are the same NodeId, and with includeSubtypes when the filter is an ancestor of the type.
bool isReferenceTypeOf(const UaNodeId& filterTypeId, const UaNodeId& typeId, bool includeSubtypes);
// The same for a numeric reference type of namespace 0.
bool isReferenceTypeMatch(const UaNodeId& filterTypeId, OpcUa_UInt32 typeId, bool includeSubtypes);

#endif
