#ifndef UASERVER_STANDARDNODEIDS_H
#define UASERVER_STANDARDNODEIDS_H

#include <opcua.h>

// Numeric identifiers of namespace-0 nodes the node classes answer.
namespace StandardNodeId
{
constexpr OpcUa_UInt32 BaseDataType = 24;
constexpr OpcUa_UInt32 BaseObjectType = 58;
constexpr OpcUa_UInt32 FolderType = 61;
constexpr OpcUa_UInt32 BaseVariableType = 62;
constexpr OpcUa_UInt32 BaseDataVariableType = 63;
constexpr OpcUa_UInt32 PropertyType = 68;
constexpr OpcUa_UInt32 VariableTypesFolder = 89;
constexpr OpcUa_UInt32 Range = 884;
constexpr OpcUa_UInt32 ServerType = 2004;
constexpr OpcUa_UInt32 BaseEventType = 2041;
constexpr OpcUa_UInt32 Server = 2253;
constexpr OpcUa_UInt32 AnalogItemType = 2368;
constexpr OpcUa_UInt32 RefreshStartEventType = 2787;
constexpr OpcUa_UInt32 RefreshEndEventType = 2788;
constexpr OpcUa_UInt32 RefreshRequiredEventType = 2789;
constexpr OpcUa_UInt32 RootFolder = 84;
constexpr OpcUa_UInt32 ObjectsFolder = 85;
constexpr OpcUa_UInt32 TypesFolder = 86;
constexpr OpcUa_UInt32 ViewsFolder = 87;
constexpr OpcUa_UInt32 ObjectTypesFolder = 88;
constexpr OpcUa_UInt32 DataTypesFolder = 90;
constexpr OpcUa_UInt32 ReferenceTypesFolder = 91;
constexpr OpcUa_UInt32 EventTypesFolder = 3048;
constexpr OpcUa_UInt32 ServerArray = 2254;
constexpr OpcUa_UInt32 NamespaceArray = 2255;
constexpr OpcUa_UInt32 CurrentTime = 2258;
constexpr OpcUa_UInt32 SystemEventType = 2130;
constexpr OpcUa_UInt32 ModellingRuleMandatory = 78;
constexpr OpcUa_UInt32 ModellingRuleOptional = 80;
// The URI of namespace 0.
constexpr const char* StandardNamespaceUri = "http://opcfoundation.org/UA/";
} // namespace StandardNodeId

#endif
