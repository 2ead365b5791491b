// The reference types and data types of namespace 0, built from their tables.
#include "nodemanagerroot.h"

#include "referencetypes.h"
#include "uatypenodesns0.h"
#include "uavariablecache.h"

#include <vector>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;

// In creation order; a supertype of 0 hangs below the ReferenceTypes folder.
struct ReferenceTypeRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
    bool isAbstract;
    bool symmetric;
    const char* inverseName;
};
const ReferenceTypeRow kReferenceTypes[] = {
    {31, "References", 0, true, true, ""},
    {33, "HierarchicalReferences", 31, true, false, ""},
    {35, "Organizes", 33, false, false, "OrganizedBy"},
    {36, "HasEventSource", 33, false, false, "EventSourceOf"},
    {48, "HasNotifier", 36, false, false, "NotifierOf"},
    {34, "HasChild", 33, true, false, ""},
    {45, "HasSubtype", 34, false, false, "SubtypeOf"},
    {44, "Aggregates", 34, true, false, ""},
    {56, "HasHistoricalConfiguration", 44, false, false, "HistoricalConfigurationOf"},
    {47, "HasComponent", 44, false, false, "ComponentOf"},
    {49, "HasOrderedComponent", 47, false, false, "OrderedComponentOf"},
    {46, "HasProperty", 44, false, false, "PropertyOf"},
    {32, "NonHierarchicalReferences", 31, true, false, ""},
    {37, "HasModellingRule", 32, false, false, "ModellingRuleOf"},
    {40, "HasTypeDefinition", 32, false, false, "TypeDefinitionOf"},
    {38, "HasEncoding", 32, false, false, "EncodingOf"},
    {39, "HasDescription", 32, false, false, "DescriptionOf"},
    {41, "GeneratesEvent", 32, false, false, "GeneratedBy"},
    {9006, "HasCondition", 32, false, false, "IsConditionOf"},
    {50, "HasModelParent", 32, false, false, "ModelParentOf"},
    {51, "FromState", 32, false, false, "ToTransition"},
    {52, "ToState", 32, false, false, "FromTransition"},
    {53, "HasCause", 32, false, false, "MayBeCausedBy"},
    {54, "HasEffect", 32, false, false, "MayBeEffectedBy"},
};

// Depth-first in creation order: every row's supertype comes before it; 0 hangs below the
// DataTypes folder.
struct DataTypeRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
    bool isAbstract;
};
const DataTypeRow kDataTypes[] = {
    {24, "BaseDataType", 0, true},
    {1, "Boolean", 24, false},
    {15, "ByteString", 24, false},
    {30, "Image", 15, true},
    {2000, "ImageBMP", 30, false},
    {2001, "ImageGIF", 30, false},
    {2002, "ImageJPG", 30, false},
    {2003, "ImagePNG", 30, false},
    {13, "DateTime", 24, false},
    {294, "UtcTime", 13, false},
    {23, "DataValue", 24, false},
    {25, "DiagnosticInfo", 24, false},
    {29, "Enumeration", 24, true},
    {256, "IdType", 29, false},
    {257, "NodeClass", 29, false},
    {315, "SecurityTokenRequestType", 29, false},
    {302, "MessageSecurityMode", 29, false},
    {851, "RedundancySupport", 29, false},
    {852, "ServerState", 29, false},
    {18, "ExpandedNodeId", 24, false},
    {14, "Guid", 24, false},
    {21, "LocalizedText", 24, false},
    {17, "NodeId", 24, false},
    {26, "Number", 24, true},
    {27, "Integer", 26, true},
    {2, "SByte", 27, false},
    {4, "Int16", 27, false},
    {6, "Int32", 27, false},
    {8, "Int64", 27, false},
    {28, "UInteger", 26, true},
    {3, "Byte", 28, false},
    {5, "UInt16", 28, false},
    {7, "UInt32", 28, false},
    {9, "UInt64", 28, false},
    {11, "Double", 26, false},
    {290, "Duration", 11, false},
    {10, "Float", 26, false},
    {20, "QualifiedName", 24, false},
    {19, "StatusCode", 24, false},
    {12, "String", 24, false},
    {295, "LocaleId", 12, false},
    {291, "NumericRange", 12, false},
    {22, "Structure", 24, true},
    {296, "Argument", 22, false},
    {316, "UserIdentityToken", 22, true},
    {322, "UserNameIdentityToken", 316, false},
    {325, "X509IdentityToken", 316, false},
    {319, "AnonymousIdentityToken", 316, false},
    {376, "AddNodesItem", 22, false},
    {379, "AddReferencesItem", 22, false},
    {382, "DeleteNodesItem", 22, false},
    {385, "DeleteReferencesItem", 22, false},
    {308, "ApplicationDescription", 22, false},
    {338, "BuildInfo", 22, false},
    {856, "SamplingIntervalDiagnosticsDataType", 22, false},
    {859, "ServerDiagnosticsSummaryDataType", 22, false},
    {862, "ServerStatusDataType", 22, false},
    {865, "SessionDiagnosticsDataType", 22, false},
    {868, "SessionSecurityDiagnosticsDataType", 22, false},
    {871, "ServiceCounterDataType", 22, false},
    {341, "SoftwareCertificate", 22, false},
    {299, "StatusResult", 22, false},
    {874, "SubscriptionDiagnosticsDataType", 22, false},
    {877, "ModelChangeStructureDataType", 22, false},
    {897, "SemanticChangeStructureDataType", 22, false},
    {344, "SignedSoftwareCertificate", 22, false},
    {884, "Range", 22, false},
    {887, "EUInformation", 22, false},
    {16, "XmlElement", 24, false},
};

// The EnumStrings property of an enumeration, made right after it.
struct EnumStringsRow
{
    OpcUa_UInt32 enumerationId;
    OpcUa_UInt32 propertyId;
    std::vector<const char*> names;
};
const EnumStringsRow kEnumStrings[] = {
    {256, 7591, {"Numeric", "String", "Guid", "Opaque"}},
    {315, 7598, {"Issue", "Renew"}},
    {302, 7595, {"Invalid", "None", "Sign", "SignAndEncrypt"}},
    {851, 7611, {"None", "Cold", "Warm", "Hot", "Transparent"}},
    {852,
     7612,
     {"Running", "Failed", "NoConfiguration", "Suspended", "Shutdown", "Test", "CommunicationFault",
      "Unknown"}},
};

UaVariant enumStringsValue(const std::vector<const char*>& names)
{
    UaLocalizedTextArray texts;
    texts.create(static_cast<OpcUa_UInt32>(names.size()));
    for (OpcUa_UInt32 i = 0; i < texts.length(); ++i)
        UaString(names[i]).copyTo(&texts[i].Text);
    UaVariant value;
    value.setLocalizedTextArray(texts);
    return value;
}
} // namespace

UaStatus NodeManagerRoot::addReferenceTypes(UaReferenceLists* pReferenceTypesFolder)
{
    UaStatus status;
    for (const ReferenceTypeRow& row : kReferenceTypes)
    {
        auto* node = new UaReferenceTypeNs0(row.id, row.name, row.isAbstract, row.symmetric, row.inverseName);
        status = row.superTypeId ? link(row.superTypeId, node, ReferenceTypeId::HasSubtype)
                                 : link(pReferenceTypesFolder, node, ReferenceTypeId::Organizes);
    }
    return status;
}

UaStatus NodeManagerRoot::addDataTypes(UaReferenceLists* pDataTypesFolder)
{
    UaStatus status;
    for (const DataTypeRow& row : kDataTypes)
    {
        auto* node = new UaDataTypeNs0(row.id, row.name, row.isAbstract);
        status = row.superTypeId ? link(row.superTypeId, node, ReferenceTypeId::HasSubtype)
                                 : link(pDataTypesFolder, node, ReferenceTypeId::Organizes);
        for (const EnumStringsRow& enumStrings : kEnumStrings)
            if (enumStrings.enumerationId == row.id && status.isGood())
                status = link(node,
                              new UaPropertyCache("EnumStrings", UaNodeId(enumStrings.propertyId, 0),
                                                  enumStringsValue(enumStrings.names), kReadOnly,
                                                  m_defaultLocaleId),
                              ReferenceTypeId::HasProperty);
    }
    return status;
}
