// The Server object and namespace 1 as a reader finds them: start-up failures with their traces,
// the values read through the server manager, and the live object statistics.
#include "servertestbed.h"
#include "test_waits.h"

#include <session.h>
#include <uaobjectserver.h>
#include <uasession.h>

#include <uaextensionobject.h>
#include <uatracecapture.h>

#include <cstdio>
#include <set>
#include <string>

using namespace servertest;
using uaserver::testing::eventually;

namespace
{
std::string hex(OpcUa_StatusCode code)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%lx", static_cast<unsigned long>(code));
    return text;
}

std::vector<std::string> strings(const UaDataValue& value)
{
    UaStringArray array;
    EXPECT_EQ(UaVariant(value.value()).toStringArray(array), OpcUa_Good);
    std::vector<std::string> texts;
    for (OpcUa_UInt32 i = 0; i < array.length(); ++i)
        texts.emplace_back(UaString(&array[i]).toUtf8());
    return texts;
}

std::string text(const UaDataValue& value)
{
    return UaVariant(value.value()).toString().toUtf8();
}

OpcUa_Int64 ticks(const UaDataValue& value)
{
    UaDateTime time;
    EXPECT_EQ(UaVariant(value.value()).toDateTime(time), OpcUa_Good);
    return time.toInt64();
}

// The decoded structure inside a structure-valued variable.
template <typename Body> const Body* structure(const UaVariant& value, OpcUa_EncodeableType& type)
{
    const OpcUa_Variant* raw = value;
    if (raw->Datatype != OpcUaType_ExtensionObject || raw->ArrayType != OpcUa_VariantArrayType_Scalar)
        return nullptr;
    const OpcUa_ExtensionObject* object = raw->Value.ExtensionObject;
    return object->Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject &&
                   object->Body.EncodeableObject.Type &&
                   object->Body.EncodeableObject.Type->TypeId == type.TypeId
               ? static_cast<const Body*>(object->Body.EncodeableObject.Object)
               : nullptr;
}

UaNodeId typeDefinitionOf(NodeManagerRoot& root, OpcUa_UInt32 id)
{
    UaNode* node = root.getNode(UaNodeId(id, 0));
    if (!node)
        return UaNodeId();
    const UaNodeId typeDefinition = node->typeDefinitionId();
    node->releaseReference();
    return typeDefinition;
}

bool exists(NodeManagerRoot& root, const UaNodeId& nodeId)
{
    UaNode* node = root.getNode(nodeId);
    if (node)
        node->releaseReference();
    return node != nullptr;
}
} // namespace

TEST(ServerObjectStartUp, WithoutConfigurationOrInstanceInformationNothingIsMade)
{
    StartedServer server;
    struct Row
    {
        const char* what;
        bool withConfig;
        OpcUa_StatusCode expected;
        std::string trace;
    };
    const Row rows[] = {
        {"no configuration", false, OpcUa_BadInvalidArgument,
         "<-- UaObjectServer::startUp [ret=OpcUa_BadInvalidArgument] - IN pointer invalid"},
        {"instance information fails", true, OpcUa_BadConfigurationError,
         "<-- UaObjectServer::startUp [ret=" + hex(OpcUa_BadConfigurationError) +
             "] - ServerConfig::getServerInstanceInfo failed"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        FakeServerConfig config;
        config.serverInstanceInfoResult = OpcUa_BadConfigurationError;
        UaTraceCapture trace(6);
        auto* object = new UaObjectServer(&server.root(), "en");
        EXPECT_EQ(object->startUp(row.withConfig ? &config : nullptr).statusCode(), row.expected);
        EXPECT_EQ(trace.count(6, row.trace), 1u);
        for (OpcUa_UInt32 slot = 0; slot < ServerTypeBase::ComponentCount; ++slot)
            EXPECT_EQ(object->component(slot), nullptr) << slot;
        EXPECT_EQ(object->getServerConfig(), nullptr);
        object->releaseReference();
    }
}

TEST(ServerObjectStartUp, FailingBuildInformationKeepsTheNamespaceTable)
{
    UaTraceCapture trace(6);
    StartedServer server([](FakeServerConfig& config) { config.buildInfoResult = OpcUa_BadInternalError; });
    EXPECT_EQ(trace.count(6, "<-- UaObjectServer::startUp [ret=" + hex(OpcUa_BadInternalError) +
                                 "] - ServerConfig::getBuildInfo failed"),
              1u);
    EXPECT_FALSE(exists(server.root(), UaNodeId(2256, 0)));
    EXPECT_FALSE(exists(server.root(), UaNodeId(2268, 0)));
    EXPECT_EQ(strings(server.readValue(UaNodeId(2254, 0))), std::vector<std::string>{"urn:test:server"});

    RecordingNodeManager extra;
    OpcUa_UInt16 index = 0;
    ASSERT_TRUE(server.root().addNodeManager(&extra, "urn:test:extra", index).isGood());
    EXPECT_EQ(index, 2);
    EXPECT_EQ(
        strings(server.readValue(UaNodeId(2255, 0))),
        (std::vector<std::string>{"http://opcfoundation.org/UA/", "urn:test:server", "urn:test:extra"}));
    server.root().removeNodeManager(index);
}

TEST(ServerObjectRead, AnswersTheConfiguredValues)
{
    StartedServer server(
        [](FakeServerConfig& config)
        {
            config.capabilitiesSet = true;
            config.minSupportedSampleRate = 50.0;
            config.localeIds = {"de", "en"};
            config.serverProfiles = {"urn:profile:a"};
        });
    EXPECT_EQ(strings(server.readValue(UaNodeId(2255, 0))),
              (std::vector<std::string>{"http://opcfoundation.org/UA/", "urn:test:server"}));
    RecordingNodeManager extra;
    OpcUa_UInt16 index = 0;
    ASSERT_TRUE(server.root().addNodeManager(&extra, "urn:test:extra", index).isGood());
    EXPECT_EQ(strings(server.readValue(UaNodeId(2255, 0))).size(), 3u);
    server.root().removeNodeManager(index);

    struct Row
    {
        OpcUa_UInt32 id;
        OpcUa_BuiltInType type;
        std::string value;
    };
    const Row rows[] = {
        {2262, OpcUaType_String, server.config.productUri.toUtf8()},
        {2263, OpcUaType_String, server.config.manufacturerName.toUtf8()},
        {2261, OpcUaType_String, server.config.productName.toUtf8()},
        {2264, OpcUaType_String, server.config.softwareVersion.toUtf8()},
        {2265, OpcUaType_String, server.config.buildNumber.toUtf8()},
        {2267, OpcUaType_Byte, "255"},
        {2994, OpcUaType_Boolean, "false"},
        {2259, OpcUaType_Int32, "0"},
        {2992, OpcUaType_UInt32, "0"},
        {2272, OpcUaType_Double, "50"},
        {2736, OpcUaType_UInt16, "0"},
        {2294, OpcUaType_Boolean, "true"},
        {2285, OpcUaType_UInt32, "0"},
        {3709, OpcUaType_Int32, "0"},
    };
    for (const Row& row : rows)
    {
        const UaDataValue value = server.readValue(UaNodeId(row.id, 0));
        EXPECT_EQ(value.statusCode(), OpcUa_Good) << row.id;
        EXPECT_EQ(value.value().type(), row.type) << row.id;
        EXPECT_EQ(text(value), row.value) << row.id;
    }
    EXPECT_EQ(ticks(server.readValue(UaNodeId(2266, 0))), server.config.buildDate.toInt64());
    EXPECT_EQ(strings(server.readValue(UaNodeId(2271, 0))), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(strings(server.readValue(UaNodeId(2269, 0))), std::vector<std::string>{"urn:profile:a"});

    // State is an Int32 of data type ServerState; the summary and the arrays carry their types.
    const std::vector<UaDataValue> dataTypes = server.read({{UaNodeId(2259, 0), 14},
                                                            {UaNodeId(2256, 0), 14},
                                                            {UaNodeId(2275, 0), 14},
                                                            {UaNodeId(3704, 0), 14},
                                                            {UaNodeId(3709, 0), 14},
                                                            {UaNodeId(2290, 0), 14}});
    const OpcUa_UInt32 expectedTypes[] = {852, 862, 859, 344, 851, 874};
    for (size_t i = 0; i < dataTypes.size(); ++i)
    {
        UaNodeId dataType;
        UaVariant(dataTypes[i].value()).toNodeId(dataType);
        EXPECT_EQ(dataType, UaNodeId(expectedTypes[i], 0)) << i;
    }

    // ServerStatus carries the build information and the start; StartTime equals its start.
    const UaVariant status = server.readValue(UaNodeId(2256, 0)).value();
    const auto* body =
        structure<OpcUa_ServerStatusDataType>(status, OpcUa_ServerStatusDataType_EncodeableType);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->State, OpcUa_ServerState_Running);
    EXPECT_EQ(UaString(&body->BuildInfo.ProductName), server.config.productName);
    EXPECT_EQ(UaString(&body->BuildInfo.BuildNumber), server.config.buildNumber);
    EXPECT_EQ(UaDateTime(body->BuildInfo.BuildDate).toInt64(), server.config.buildDate.toInt64());
    EXPECT_EQ(ticks(server.readValue(UaNodeId(2257, 0))), UaDateTime(body->StartTime).toInt64());
    const UaVariant buildInfoValue = server.readValue(UaNodeId(2260, 0)).value();
    const auto* buildInfo = structure<OpcUa_BuildInfo>(buildInfoValue, OpcUa_BuildInfo_EncodeableType);
    ASSERT_NE(buildInfo, nullptr);
    EXPECT_EQ(UaString(&buildInfo->ManufacturerName), server.config.manufacturerName);
    const UaVariant summary = server.readValue(UaNodeId(2275, 0)).value();
    EXPECT_NE(structure<OpcUa_ServerDiagnosticsSummaryDataType>(
                  summary, OpcUa_ServerDiagnosticsSummaryDataType_EncodeableType),
              nullptr);
}

TEST(ServerObjectRead, ContinuationPointMaximaAndCapabilityDefaults)
{
    struct Row
    {
        OpcUa_UInt32 browse, history;
        OpcUa_StatusCode capabilities;
        OpcUa_UInt16 expectedBrowse, expectedHistory;
    };
    const Row rows[] = {
        {0, 0, OpcUa_Good, 10, 100},
        {100, 7, OpcUa_Good, 100, 7},
        {70000, 65535, OpcUa_Good, 65534, 65534},
        {1, 1, OpcUa_BadNotSupported, 1, 1},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.browse);
        StartedServer server(
            [&row](FakeServerConfig& config)
            {
                config.maxBrowseContinuationPoints = row.browse;
                config.maxHistoryContinuationPoints = row.history;
                config.capabilitiesResult = row.capabilities;
            });
        const UaDataValue browse = server.readValue(UaNodeId(2735, 0));
        EXPECT_EQ(browse.value().type(), OpcUaType_UInt16);
        EXPECT_EQ(text(browse), std::to_string(row.expectedBrowse));
        EXPECT_EQ(text(server.readValue(UaNodeId(2737, 0))), std::to_string(row.expectedHistory));
        if (row.capabilities != OpcUa_Good)
        {
            // A failing query: the defaults.
            EXPECT_EQ(strings(server.readValue(UaNodeId(2271, 0))), std::vector<std::string>{"en"});
            EXPECT_EQ(text(server.readValue(UaNodeId(2272, 0))), "0");
            EXPECT_EQ(strings(server.readValue(UaNodeId(2269, 0))),
                      std::vector<std::string>{"http://opcfoundation.org/UA-Profile/Server/StandardUA"});
        }
    }
}

TEST(ServerObjectRead, RedundancyTypeFollowsTheSupport)
{
    struct Row
    {
        OpcUa_UInt32 support;
        OpcUa_UInt32 typeDefinition;
        bool serverUris;
    };
    const Row rows[] = {{0, 2034, false}, {4, 2034, false}, {2, 2039, true}, {3, 2039, true}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.support);
        StartedServer server(
            [&row](FakeServerConfig& config)
            {
                config.redundancySupport = row.support;
                config.redundantServerUris = {"urn:twin:a", "urn:twin:b"};
            });
        EXPECT_EQ(typeDefinitionOf(server.root(), 2296), UaNodeId(row.typeDefinition, 0));
        EXPECT_EQ(text(server.readValue(UaNodeId(3709, 0))), std::to_string(row.support));
        EXPECT_EQ(exists(server.root(), UaNodeId(11314, 0)), row.serverUris);
        EXPECT_EQ(exists(server.root(), UaNodeId(2039, 0)), row.serverUris);
        if (row.serverUris)
        {
            EXPECT_EQ(strings(server.readValue(UaNodeId(11314, 0))),
                      (std::vector<std::string>{"urn:twin:a", "urn:twin:b"}));
        }
    }
}

TEST(ServerObjectRead, CurrentTimeFollowsTheClockAloneAndInsideServerStatus)
{
    StartedServer server;
    const UaDataValue first = server.readValue(UaNodeId(2258, 0));
    ASSERT_EQ(first.statusCode(), OpcUa_Good);
    EXPECT_EQ(first.value().type(), OpcUaType_DateTime);
    const OpcUa_Int64 start = ticks(first);
    EXPECT_TRUE(eventually([&] { return ticks(server.readValue(UaNodeId(2258, 0))) > start; }));

    // The structure's CurrentTime is the time of its read, its StartTime the start.
    auto statusTimes = [&server]
    {
        const UaDataValue read = server.readValue(UaNodeId(2256, 0));
        const UaVariant value = read.value();
        const auto* status =
            structure<OpcUa_ServerStatusDataType>(value, OpcUa_ServerStatusDataType_EncodeableType);
        EXPECT_NE(status, nullptr);
        return status ? std::make_pair(UaDateTime(status->StartTime).toInt64(),
                                       UaDateTime(status->CurrentTime).toInt64())
                      : std::make_pair(OpcUa_Int64(0), OpcUa_Int64(0));
    };
    const auto [startTime, currentTime] = statusTimes();
    EXPECT_LE(startTime, start);
    EXPECT_GT(currentTime, start);
    EXPECT_TRUE(eventually([&] { return statusTimes().second > currentTime; }));
    EXPECT_EQ(statusTimes().first, startTime);
}

TEST(ServerObjectRead, TheDiagnosticsSummaryIsWhatItsCountersSay)
{
    StartedServer server;
    // The session and subscription managers keep the counters through their variables.
    for (const auto& [id, count] : {std::pair{2277u, 3u}, std::pair{2278u, 9u}, std::pair{2285u, 2u}})
    {
        UaNode* node = server.root().getNode(UaNodeId(id, 0));
        ASSERT_NE(node, nullptr);
        UaVariant value;
        value.setUInt32(count);
        UaDataValue dataValue;
        dataValue.setValue(value, true, true);
        EXPECT_TRUE(static_cast<UaVariable*>(node)->setValue(nullptr, dataValue, false).isGood());
        node->releaseReference();
    }
    const UaVariant value = server.readValue(UaNodeId(2275, 0)).value();
    const auto* summary = structure<OpcUa_ServerDiagnosticsSummaryDataType>(
        value, OpcUa_ServerDiagnosticsSummaryDataType_EncodeableType);
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->CurrentSessionCount, 3u);
    EXPECT_EQ(summary->CumulatedSessionCount, 9u);
    EXPECT_EQ(summary->CurrentSubscriptionCount, 2u);
    EXPECT_EQ(summary->SessionAbortCount, 0u);
}

TEST(ObjectStatistics, ShowsTheLiveCountsBelowVendorServerInfo)
{
    StartedServer server;
    UaReferenceDescriptionArray below;
    BrowseRequest vendor(UaNodeId(2295, 0), OpcUa_BrowseDirection_Forward, 47);
    ASSERT_TRUE(vendor.run(server.root(), below).isGood());
    ASSERT_EQ(below.length(), 1u);
    EXPECT_EQ(UaNodeId(below[0].NodeId.NodeId), UaNodeId("ObjectStatistics", 1));

    UaReferenceDescriptionArray variables;
    BrowseRequest statistics(UaNodeId("ObjectStatistics", 1), OpcUa_BrowseDirection_Forward, 47);
    ASSERT_TRUE(statistics.run(server.root(), variables).isGood());
    std::vector<std::string> names;
    for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
        names.emplace_back(UaString(&variables[i].BrowseName.Name).toUtf8());
    EXPECT_EQ(names, (std::vector<std::string>{"Session", "UaNode", "UaObject", "UaObjectType", "UaVariable",
                                               "UaVariableType", "UaDataType", "UaView", "UaMethod",
                                               "UaReferenceType"}));

    auto count = [&server](const char* name)
    {
        const UaDataValue value =
            server.readValue(UaNodeId(UaString((std::string("ObjectStatistics_") + name).c_str()), 1));
        EXPECT_EQ(value.value().type(), OpcUaType_Int32) << name;
        return text(value);
    };
    const OpcUa_Int32 sessions = Session::instanceCount();
    EXPECT_EQ(count("Session"), std::to_string(sessions));
    auto* session = new UaSession(7, UaNodeId(77, 1));
    EXPECT_EQ(count("Session"), std::to_string(sessions + 1));
    session->releaseReference();
    EXPECT_EQ(count("Session"), std::to_string(sessions));
    EXPECT_EQ(count("UaReferenceType"), std::to_string(UaNodeCounters::uaReferenceType.load()));
    EXPECT_EQ(count("UaDataType"), std::to_string(UaNodeCounters::uaDataType.load()));
}

TEST(ServerObjectRead, EveryAttributeOfEveryNodeBelowTheServerAnswers)
{
    StartedServer server([](FakeServerConfig& config) { config.redundancySupport = 2; });
    std::vector<UaNodeId> queue{UaNodeId(2253, 0)};
    std::set<UaNodeId> seen(queue.begin(), queue.end());
    for (size_t next = 0; next < queue.size(); ++next)
    {
        UaReferenceDescriptionArray references;
        BrowseRequest browse(queue[next], OpcUa_BrowseDirection_Forward, 33);
        ASSERT_TRUE(browse.run(server.root(), references).isGood());
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
            if (seen.insert(UaNodeId(references[i].NodeId.NodeId)).second)
                queue.emplace_back(references[i].NodeId.NodeId);
    }
    // The subtree with ObjectStatistics, the rules and the redundant servers' list.
    EXPECT_EQ(queue.size(), 69u);
    for (const UaNodeId& nodeId : queue)
    {
        std::vector<std::pair<UaNodeId, OpcUa_UInt32>> attributes;
        for (OpcUa_UInt32 attributeId = 1; attributeId <= 22; ++attributeId)
            attributes.emplace_back(nodeId, attributeId);
        const std::vector<UaDataValue> values = server.read(attributes);
        ASSERT_EQ(values.size(), attributes.size());
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_TRUE(values[i].statusCode() == OpcUa_Good ||
                        values[i].statusCode() == OpcUa_BadAttributeIdInvalid)
                << nodeId.toFullString().toUtf8() << " attribute " << i + 1 << ": "
                << hex(values[i].statusCode());
    }
}
