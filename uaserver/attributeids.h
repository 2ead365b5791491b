#ifndef UASERVER_ATTRIBUTEIDS_H
#define UASERVER_ATTRIBUTEIDS_H

#include <opcua.h>

// The attribute ids of OPC UA.
namespace AttributeId
{
constexpr OpcUa_Int32 NodeId = 1;
constexpr OpcUa_Int32 NodeClass = 2;
constexpr OpcUa_Int32 BrowseName = 3;
constexpr OpcUa_Int32 DisplayName = 4;
constexpr OpcUa_Int32 Description = 5;
constexpr OpcUa_Int32 WriteMask = 6;
constexpr OpcUa_Int32 UserWriteMask = 7;
constexpr OpcUa_Int32 IsAbstract = 8;
constexpr OpcUa_Int32 Symmetric = 9;
constexpr OpcUa_Int32 InverseName = 10;
constexpr OpcUa_Int32 ContainsNoLoops = 11;
constexpr OpcUa_Int32 EventNotifier = 12;
constexpr OpcUa_Int32 Value = 13;
constexpr OpcUa_Int32 DataType = 14;
constexpr OpcUa_Int32 ValueRank = 15;
constexpr OpcUa_Int32 ArrayDimensions = 16;
constexpr OpcUa_Int32 AccessLevel = 17;
constexpr OpcUa_Int32 UserAccessLevel = 18;
constexpr OpcUa_Int32 MinimumSamplingInterval = 19;
constexpr OpcUa_Int32 Historizing = 20;
constexpr OpcUa_Int32 Executable = 21;
constexpr OpcUa_Int32 UserExecutable = 22;
} // namespace AttributeId

// Bits of the AccessLevel and UserAccessLevel attributes.
namespace AccessLevelBit
{
constexpr OpcUa_Byte CurrentRead = 0x01;
constexpr OpcUa_Byte CurrentWrite = 0x02;
} // namespace AccessLevelBit

#endif
