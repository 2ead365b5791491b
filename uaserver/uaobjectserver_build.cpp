// The Server object's subtree below its namespace table: ServerStatus, the capabilities, the
// diagnostics and the redundancy object.
#include "uaobjectserver.h"

#include "referencetypes.h"
#include "serverconfig.h"
#include "serverobjectnodes.h"
#include "servertypedeclarations.h"

#include <uaextensionobject.h>

#include <vector>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;
constexpr OpcUa_UInt16 kDefaultBrowseContinuationPoints = 10;
constexpr OpcUa_UInt16 kDefaultHistoryContinuationPoints = 100;
constexpr const char* kStandardServerProfile = "http://opcfoundation.org/UA-Profile/Server/StandardUA";

// RedundancySupport values that need no list of the redundant servers.
constexpr OpcUa_UInt32 kRedundancyNone = 0;
constexpr OpcUa_UInt32 kRedundancyTransparent = 4;

// The maximum as sessions size their tables: below 1 the default, 65535 or more 65534 (UInt16).
OpcUa_UInt16 continuationPointMaximum(OpcUa_UInt32 configured, OpcUa_UInt16 fallback)
{
    if (configured < 1)
        return fallback;
    return configured >= 65535 ? 65534 : static_cast<OpcUa_UInt16>(configured);
}

template <typename Set, typename Value> UaVariant valueOf(Set set, Value value)
{
    UaVariant variant;
    (variant.*set)(value);
    return variant;
}

UaVariant stringArrayValue(const UaStringArray& strings)
{
    UaVariant value;
    value.setStringArray(strings);
    return value;
}

UaVariant extensionObjectValue(UaExtensionObject& object)
{
    UaVariant value;
    value.setExtensionObject(object, false);
    return value;
}

// An array of extension objects; empty for none.
UaVariant extensionObjectArrayValue(std::vector<UaExtensionObject>& objects)
{
    std::vector<OpcUa_ExtensionObject> shallow;
    for (const UaExtensionObject& object : objects)
        shallow.push_back(*object.toOpcUaExtensionObject());
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_ExtensionObject;
    raw.ArrayType = OpcUa_VariantArrayType_Array;
    raw.Value.Array.Length = static_cast<OpcUa_Int32>(shallow.size());
    raw.Value.Array.Value.ExtensionObjectArray = shallow.empty() ? nullptr : shallow.data();
    // The variant takes a deep copy; the shallow array and raw own nothing.
    return UaVariant(raw);
}

void fillBuildInfo(OpcUa_BuildInfo& target, const ServerBuildInfo& buildInfo)
{
    buildInfo.productUri.copyTo(&target.ProductUri);
    buildInfo.manufacturerName.copyTo(&target.ManufacturerName);
    buildInfo.productName.copyTo(&target.ProductName);
    buildInfo.softwareVersion.copyTo(&target.SoftwareVersion);
    buildInfo.buildNumber.copyTo(&target.BuildNumber);
    target.BuildDate = buildInfo.buildDate;
}

struct BuildInfoRow
{
    OpcUa_UInt32 id;
    const char* name;
    // Its twins below ServerStatusType's BuildInfo declaration and below BuildInfoType.
    OpcUa_UInt32 statusTypeTwinId;
    OpcUa_UInt32 buildInfoTypeTwinId;
};
const BuildInfoRow kBuildInfoRows[] = {
    {2262, "ProductUri", 3698, 3052},  {2263, "ManufacturerName", 3699, 3053},
    {2261, "ProductName", 3700, 3054}, {2264, "SoftwareVersion", 3701, 3055},
    {2265, "BuildNumber", 3702, 3056}, {2266, "BuildDate", 3703, 3057},
};
constexpr OpcUa_UInt32 kServerStatusTypeBuildInfo = 2142;
constexpr OpcUa_UInt32 kBuildInfoType = 3051;

struct NamingRuleRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 namingRuleId;
    OpcUa_Int32 namingRule;
};
const NamingRuleRow kModellingRules[] = {
    {78, "Mandatory", 112, 1},
    {79, "MandatoryShared", 116, 1},
    {80, "Optional", 113, 2},
    {83, "ExposesItsArray", 114, 3},
};

struct CounterRow
{
    OpcUa_UInt32 id;
    const char* name;
    // Its field in the summary structure.
    UaDiagnosticsSummaryVariable::Field field;
};
using Summary = OpcUa_ServerDiagnosticsSummaryDataType;
const CounterRow kDiagnosticsCounters[] = {
    {2276, "ServerViewCount", &Summary::ServerViewCount},
    {2277, "CurrentSessionCount", &Summary::CurrentSessionCount},
    {2278, "CumulatedSessionCount", &Summary::CumulatedSessionCount},
    {2279, "SecurityRejectedSessionCount", &Summary::SecurityRejectedSessionCount},
    {3705, "RejectedSessionCount", &Summary::RejectedSessionCount},
    {2281, "SessionTimeoutCount", &Summary::SessionTimeoutCount},
    {2282, "SessionAbortCount", &Summary::SessionAbortCount},
    {2284, "PublishingIntervalCount", &Summary::PublishingIntervalCount},
    {2285, "CurrentSubscriptionCount", &Summary::CurrentSubscriptionCount},
    {2286, "CumulatedSubscriptionCount", &Summary::CumulatedSubscriptionCount},
    {2287, "SecurityRejectedRequestsCount", &Summary::SecurityRejectedRequestsCount},
    {2288, "RejectedRequestsCount", &Summary::RejectedRequestsCount},
};
constexpr OpcUa_UInt32 kServerStatusType = 2138;
constexpr OpcUa_UInt32 kServerStatusDataType = 862;
constexpr OpcUa_UInt32 kSummaryType = 2150;
constexpr OpcUa_UInt32 kSummaryDataType = 859;
} // namespace

void UaObjectServer::buildServerStatus(NodeBuilder& builder, const ServerBuildInfo& buildInfo)
{
    const UaDateTime startTime = UaDateTime::now();
    UaExtensionObject status;
    if (auto* body = static_cast<OpcUa_ServerStatusDataType*>(
            status.createBody(&OpcUa_ServerStatusDataType_EncodeableType)))
    {
        body->StartTime = startTime;
        body->CurrentTime = startTime;
        body->State = OpcUa_ServerState_Running;
        fillBuildInfo(body->BuildInfo, buildInfo);
        body->SecondsTillShutdown = 0;
    }
    UaExtensionObject buildInfoObject;
    if (auto* body =
            static_cast<OpcUa_BuildInfo*>(buildInfoObject.createBody(&OpcUa_BuildInfo_EncodeableType)))
        fillBuildInfo(*body, buildInfo);

    auto* serverStatus =
        new UaServerStatusVariable("ServerStatus", UaNodeId(2256, 0), extensionObjectValue(status),
                                   builder.locale(), UaNodeId(kServerStatusType, 0));
    serverStatus->setDataType(UaNodeId(kServerStatusDataType, 0));
    serverStatus = builder.add(this, serverStatus, ReferenceTypeId::HasComponent);
    setComponent(ServerStatusSlot, serverStatus);
    builder.variable(serverStatus, 2257, "StartTime", valueOf(&UaVariant::setDateTime, startTime));
    setComponent(
        CurrentTimeSlot,
        builder.add(serverStatus,
                    new UaValuelessVariable("CurrentTime", UaNodeId(StandardNodeId::CurrentTime, 0),
                                            UaNodeId(OpcUaType_DateTime, 0), -1, kReadOnly, builder.locale()),
                    ReferenceTypeId::HasComponent));
    if (UaDataVariableCache* state = builder.variable(
            serverStatus, 2259, "State", valueOf(&UaVariant::setInt32, OpcUa_ServerState_Running)))
        state->setDataType(UaNodeId(852, 0));
    builder.variable(serverStatus, 2992, "SecondsTillShutdown", valueOf(&UaVariant::setUInt32, 0u));
    builder.variable(serverStatus, 2993, "ShutdownReason",
                     valueOf(&UaVariant::setLocalizedText, UaLocalizedText()));

    UaTypedDataVariableCache* buildInfoNode = builder.typedVariable(
        serverStatus, 2260, "BuildInfo", extensionObjectValue(buildInfoObject), kBuildInfoType, 338);
    const UaVariant values[] = {
        UaVariant(buildInfo.productUri),  UaVariant(buildInfo.manufacturerName),
        UaVariant(buildInfo.productName), UaVariant(buildInfo.softwareVersion),
        UaVariant(buildInfo.buildNumber), valueOf(&UaVariant::setDateTime, buildInfo.buildDate),
    };
    for (size_t i = 0; i < std::size(kBuildInfoRows); ++i)
    {
        const BuildInfoRow& row = kBuildInfoRows[i];
        builder.variable(buildInfoNode, row.id, row.name, values[i]);
        builder.variable(UaNodeId(kServerStatusTypeBuildInfo, 0), row.statusTypeTwinId, row.name, values[i]);
        builder.variable(UaNodeId(kBuildInfoType, 0), row.buildInfoTypeTwinId, row.name, values[i]);
    }

    setComponent(ServiceLevelSlot,
                 builder.property(this, 2267, "ServiceLevel", valueOf(&UaVariant::setByte, OpcUa_Byte(255))));
    setComponent(AuditingSlot,
                 builder.property(this, 2994, "Auditing", valueOf(&UaVariant::setBool, OpcUa_False)));
}

void UaObjectServer::buildCapabilities(NodeBuilder& builder, ServerConfig* pServerConfig)
{
    OpcUa_Double minSampleRate = 0.0;
    UaStringArray localeIds;
    UaStringArray profiles;
    UaByteStringArray certificates;
    if (pServerConfig->getServerCapabilities(minSampleRate, localeIds, profiles, certificates).isBad())
    {
        minSampleRate = 0.0;
        certificates.clear();
        profiles.create(1);
        UaString(kStandardServerProfile).copyTo(&profiles[0]);
        localeIds.create(1);
        UaString("en").copyTo(&localeIds[0]);
    }
    std::vector<UaExtensionObject> signedCertificates(certificates.length());
    for (OpcUa_UInt32 i = 0; i < certificates.length(); ++i)
        if (auto* body = static_cast<OpcUa_SignedSoftwareCertificate*>(
                signedCertificates[i].createBody(&OpcUa_SignedSoftwareCertificate_EncodeableType)))
            UaByteString(certificates[i]).copyTo(&body->CertificateData);

    UaTypedObject* capabilities = builder.object(this, 2268, "ServerCapabilities", 2013);
    setComponent(ServerCapabilitiesSlot, capabilities);
    builder.property(capabilities, 2269, "ServerProfileArray", stringArrayValue(profiles));
    if (UaPropertyCache* softwareCertificates = builder.property(
            capabilities, 3704, "SoftwareCertificates", extensionObjectArrayValue(signedCertificates)))
        softwareCertificates->setDataType(UaNodeId(344, 0));
    builder.property(capabilities, 2271, "LocaleIdArray", stringArrayValue(localeIds));
    builder.property(capabilities, 2272, "MinSupportedSampleRate",
                     valueOf(&UaVariant::setDouble, minSampleRate));
    builder.property(capabilities, 2735, "MaxBrowseContinuationPoints",
                     valueOf(&UaVariant::setUInt16,
                             continuationPointMaximum(pServerConfig->getMaxBrowseContinuationPoints(),
                                                      kDefaultBrowseContinuationPoints)));
    builder.property(capabilities, 2736, "MaxQueryContinuationPoints",
                     valueOf(&UaVariant::setUInt16, OpcUa_UInt16(0)));
    builder.property(capabilities, 2737, "MaxHistoryContinuationPoints",
                     valueOf(&UaVariant::setUInt16,
                             continuationPointMaximum(pServerConfig->getMaxHistoryContinuationPoints(),
                                                      kDefaultHistoryContinuationPoints)));

    // The standard names no reference for the rules themselves: their folder organizes them.
    UaFolder* rules = builder.folder(capabilities, 2996, "ModellingRules", ReferenceTypeId::HasComponent);
    for (const NamingRuleRow& row : kModellingRules)
    {
        UaTypedObject* rule = builder.add(
            rules, new UaTypedObject(row.name, UaNodeId(row.id, 0), builder.locale(), UaNodeId(77, 0)),
            ReferenceTypeId::Organizes);
        builder.property(rule, row.namingRuleId, "NamingRule", valueOf(&UaVariant::setInt32, row.namingRule));
    }
    builder.folder(capabilities, 2997, "AggregateFunctions", ReferenceTypeId::HasComponent);
    ServerTypeDeclarations::createServerCapabilitiesType();
}

void UaObjectServer::buildDiagnostics(NodeBuilder& builder)
{
    ServerTypeDeclarations::createServerDiagnosticsType();
    UaTypedObject* diagnostics = builder.object(this, 2274, "ServerDiagnostics", 2020);
    setComponent(ServerDiagnosticsSlot, diagnostics);
    builder.object(diagnostics, 3706, "SessionsDiagnosticsSummary", 2026);

    // The counters below the summary are the live ones; the summary is read from them.
    UaExtensionObject summary;
    summary.createBody(&OpcUa_ServerDiagnosticsSummaryDataType_EncodeableType);
    auto* summaryNode = new UaDiagnosticsSummaryVariable("ServerDiagnosticsSummary", UaNodeId(2275, 0),
                                                         extensionObjectValue(summary), builder.locale(),
                                                         UaNodeId(kSummaryType, 0));
    summaryNode->setDataType(UaNodeId(kSummaryDataType, 0));
    summaryNode = builder.add(diagnostics, summaryNode, ReferenceTypeId::HasComponent);
    for (const CounterRow& row : kDiagnosticsCounters)
        if (UaDataVariableCache* counter =
                builder.variable(summaryNode, row.id, row.name, valueOf(&UaVariant::setUInt32, 0u)))
            summaryNode->addCounter(row.field, counter);

    std::vector<UaExtensionObject> none;
    builder.typedVariable(diagnostics, 2290, "SubscriptionDiagnosticsArray", extensionObjectArrayValue(none),
                          2171, 874);
    builder.typedVariable(diagnostics, 2289, "SamplingIntervalDiagnosticsArray",
                          extensionObjectArrayValue(none), 2164, 856);
    builder.property(diagnostics, 2294, "EnabledFlag", valueOf(&UaVariant::setBool, OpcUa_True));
}

void UaObjectServer::buildRedundancy(NodeBuilder& builder, ServerConfig* pServerConfig)
{
    OpcUa_UInt32 support = kRedundancyNone;
    UaStringArray serverUris;
    pServerConfig->getRedundancySettings(support, serverUris);
    const bool nonTransparent = support != kRedundancyNone && support != kRedundancyTransparent;
    if (nonTransparent)
        ServerTypeDeclarations::createNonTransparentRedundancyType();
    UaTypedObject* redundancy = builder.object(this, 2296, "ServerRedundancy", nonTransparent ? 2039 : 2034);
    setComponent(ServerRedundancySlot, redundancy);
    if (UaPropertyCache* supportNode = builder.property(redundancy, 3709, "RedundancySupport",
                                                        valueOf(&UaVariant::setInt32, OpcUa_Int32(support))))
        supportNode->setDataType(UaNodeId(851, 0));
    if (nonTransparent)
        builder.property(redundancy, 11314, "ServerUriArray", stringArrayValue(serverUris));
}
