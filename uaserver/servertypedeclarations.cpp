#include "servertypedeclarations.h"

#include "referencetypes.h"
#include "serverobjectnodes.h"
#include "standardnodeids.h"
#include "standardtypenodes.h"

#include <vector>

namespace
{
enum class Kind
{
    Property,
    Variable,
    Object,
    Folder,
};

// One instance declaration: a variable has no value, only its data type and value rank.
struct DeclarationRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 parentId;
    Kind kind;
    // Variables: their data type; objects: their type definition.
    OpcUa_UInt32 type;
    OpcUa_Int32 valueRank = -1;
    // A variable of a variable type other than BaseDataVariableType.
    OpcUa_UInt32 variableType = 0;
};

constexpr OpcUa_UInt32 kString = 12;
constexpr OpcUa_UInt32 kUtcTime = 294;

const std::vector<DeclarationRow> kServerType = {
    {2005, "ServerArray", 2004, Kind::Property, kString, 1},
    {2006, "NamespaceArray", 2004, Kind::Property, kString, 1},
    {2007, "ServerStatus", 2004, Kind::Variable, 862, -1, 2138},
    {3074, "StartTime", 2007, Kind::Variable, kUtcTime},
    {3075, "CurrentTime", 2007, Kind::Variable, kUtcTime},
    {3076, "State", 2007, Kind::Variable, 852},
    {3077, "BuildInfo", 2007, Kind::Variable, 338, -1, 3051},
    {3078, "ProductUri", 3077, Kind::Variable, kString},
    {3079, "ManufacturerName", 3077, Kind::Variable, kString},
    {3080, "ProductName", 3077, Kind::Variable, kString},
    {3081, "SoftwareVersion", 3077, Kind::Variable, kString},
    {3082, "BuildNumber", 3077, Kind::Variable, kString},
    {3083, "BuildDate", 3077, Kind::Variable, kUtcTime},
    {3084, "SecondsTillShutdown", 2007, Kind::Variable, 7},
    {3085, "ShutdownReason", 2007, Kind::Variable, 21},
    {2008, "ServiceLevel", 2004, Kind::Property, 3},
    {2742, "Auditing", 2004, Kind::Property, 1},
    {2009, "ServerCapabilities", 2004, Kind::Object, 2013},
    {2010, "ServerDiagnostics", 2004, Kind::Object, 2020},
    {2011, "VendorServerInfo", 2004, Kind::Object, 2033},
    {2012, "ServerRedundancy", 2004, Kind::Object, 2034},
};

const std::vector<DeclarationRow> kServerCapabilitiesType = {
    {2014, "ServerProfileArray", 2013, Kind::Property, kString, 1},
    {2016, "LocaleIdArray", 2013, Kind::Property, 295, 1},
    {2017, "MinSupportedSampleRate", 2013, Kind::Property, 290},
    {2732, "MaxBrowseContinuationPoints", 2013, Kind::Property, 5},
    {2734, "MaxHistoryContinuationPoints", 2013, Kind::Property, 5},
    {3049, "SoftwareCertificates", 2013, Kind::Property, 344, 1},
    {2019, "ModellingRules", 2013, Kind::Folder, 0},
    {2754, "AggregateFunctions", 2013, Kind::Folder, 0},
};

const std::vector<DeclarationRow> kServerDiagnosticsType = {
    {2025, "EnabledFlag", 2020, Kind::Property, 1},
    {2021, "ServerDiagnosticsSummary", 2020, Kind::Variable, 859, -1, 2150},
    {2023, "SubscriptionDiagnosticsArray", 2020, Kind::Variable, 874, 1, 2171},
    {2022, "SamplingIntervalDiagnosticsArray", 2020, Kind::Variable, 856, 1, 2164},
    {2744, "SessionsDiagnosticsSummary", 2020, Kind::Object, 2026},
};

// The type of the diagnostics object each activated session hangs below SessionsDiagnosticsSummary.
constexpr OpcUa_UInt32 kSessionDiagnosticsObjectTypeId = 2029;
const std::vector<DeclarationRow> kSessionDiagnosticsObjectType = {
    {2030, "SessionDiagnostics", 2029, Kind::Variable, 865, -1, 2197},
    {2031, "SessionSecurityDiagnostics", 2029, Kind::Variable, 868, -1, 2244},
    {2032, "SubscriptionDiagnosticsArray", 2029, Kind::Variable, 874, 1, 2171},
};

void addDeclarations(const std::vector<DeclarationRow>& rows)
{
    NodeBuilder builder(StandardTypeNodes::namespaceZero(), "en");
    for (const DeclarationRow& row : rows)
    {
        const UaNodeId parent(row.parentId, 0);
        const UaNodeId nodeId(row.id, 0);
        UaDataVariableCache* variable = nullptr;
        switch (row.kind)
        {
        case Kind::Property:
            variable = builder.add(parent, new UaPropertyCache(row.name, nodeId, UaVariant(), 1, "en"),
                                   ReferenceTypeId::HasProperty);
            break;
        case Kind::Variable:
            variable = builder.add(parent,
                                   row.variableType
                                       ? new UaTypedDataVariableCache(row.name, nodeId, UaVariant(), "en",
                                                                      UaNodeId(row.variableType, 0))
                                       : new UaDataVariableCache(row.name, nodeId, UaVariant(), 1, "en"),
                                   ReferenceTypeId::HasComponent);
            break;
        case Kind::Object:
            builder.add(parent, new UaTypedObject(row.name, nodeId, "en", UaNodeId(row.type, 0)),
                        ReferenceTypeId::HasComponent);
            break;
        case Kind::Folder:
            builder.add(parent, new UaFolder(row.name, nodeId, "en"), ReferenceTypeId::HasComponent);
            break;
        }
        if (variable)
        {
            variable->setDataType(UaNodeId(row.type, 0));
            variable->setValueRank(row.valueRank);
        }
    }
}
} // namespace

namespace ServerTypeDeclarations
{
void createServerType()
{
    if (!StandardTypeNodes::isServerTypeRegistered() && StandardTypeNodes::createServerType())
        addDeclarations(kServerType);
}

void createServerCapabilitiesType()
{
    if (!StandardTypeNodes::isServerCapabilitiesTypeRegistered() &&
        StandardTypeNodes::createServerCapabilitiesType())
        addDeclarations(kServerCapabilitiesType);
}

void createServerDiagnosticsType()
{
    if (!StandardTypeNodes::isServerDiagnosticsTypeRegistered() &&
        StandardTypeNodes::createServerDiagnosticsType())
    {
        addDeclarations(kServerDiagnosticsType);
        // Every session's diagnostics object names this type: without it the type definition
        // a client follows from a session leads nowhere.
        NodeBuilder builder(StandardTypeNodes::namespaceZero(), "en");
        if (builder.add(UaNodeId(StandardNodeId::BaseObjectType, 0),
                        new UaObjectTypeSimple("SessionDiagnosticsObjectType",
                                               UaNodeId(kSessionDiagnosticsObjectTypeId, 0), "en", false),
                        ReferenceTypeId::HasSubtype))
            addDeclarations(kSessionDiagnosticsObjectType);
    }
}

void createNonTransparentRedundancyType()
{
    NodeBuilder builder(StandardTypeNodes::namespaceZero(), "en");
    if (auto* type = builder.add(
            UaNodeId(2034, 0),
            new UaObjectTypeSimple("NonTransparentRedundancyType", UaNodeId(2039, 0), "en", false),
            ReferenceTypeId::HasSubtype))
        if (UaPropertyCache* uris = builder.property(type, 2040, "ServerUriArray", UaVariant()))
        {
            uris->setDataType(UaNodeId(kString, 0));
            uris->setValueRank(1);
        }
}
} // namespace ServerTypeDeclarations
