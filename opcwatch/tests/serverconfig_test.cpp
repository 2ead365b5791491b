// The server configuration object as the runtime uses it: its answers from a file in a
// temporary program folder, a file that cannot be read, its endpoints with their certificate,
// and the node managers it creates, starts, shuts down and deletes.
#include "opcwatch_test_root.h"
#include "recording_runtime.h"

#include "opcserverconfig.h"
#include "opcwatchpaths.h"
#include "sharedmutexpool.h"

#include <uasession.h>
#include <uatracecapture.h>

#include <os/text.h>

#include <filesystem>

namespace
{
const std::u16string kProgram = u"\\Program";
using Journal = std::vector<std::string>;

class ServerConfigTest : public OpcwatchTestRoot
{
protected:
    void SetUp() override
    {
        OpcwatchTestRoot::SetUp();
        makeProgramFolder();
    }
    void TearDown() override
    {
        SharedMutexPool::clear();
        OpcwatchTestRoot::TearDown();
    }

    bool traced(int level, const std::string& text) const { return m_trace.contains(level, text); }

    // Each configuration closes the server trace as it goes; the capture sees every line.
    UaTraceCapture m_trace{7};
    RecordingRuntime m_runtime;
};

std::string utf8(const UaString& value)
{
    return value.toUtf8();
}

std::string text(const OpcUa_String& value)
{
    return utf8(UaString(&value));
}

TEST_F(ServerConfigTest, AnswersTheRuntimeFromTheFileAndWithItsFixedValues)
{
    writeConfiguration(
        "<MaxRequestAge>3000</MaxRequestAge><MaxSessionCount>7</MaxSessionCount>"
        "<MinSessionTimeout>6000</MinSessionTimeout><MaxSessionTimeout>60000</MaxSessionTimeout>"
        "<MaxBrowseContinuationPoints>11</MaxBrowseContinuationPoints>"
        "<MinPublishingInterval>120</MinPublishingInterval>"
        "<MinKeepAliveInterval>7000</MinKeepAliveInterval>"
        "<ServerInstanceUri>urn:[NodeName]:Corvanta:Opcwatch</ServerInstanceUri>"
        "<ThreadPoolSettings><MinSizeTransactionManager>9</MinSizeTransactionManager>"
        "</ThreadPoolSettings><DefaultSubscriptionMode>1</DefaultSubscriptionMode>");
    const std::string uri = "urn:" + opcwatchHostName() + ":Corvanta:Opcwatch";
    COpcServerConfig config(kProgram, m_runtime);
    ASSERT_EQ(config.loadConfiguration().statusCode(), OpcUa_Good);

    EXPECT_EQ(config.getMaxLimitValue(), 3000u);
    OpcUa_UInt32 v[7] = {};
    config.getSessionSettings(v[0], v[1], v[2]);
    EXPECT_EQ(std::vector<OpcUa_UInt32>(v, v + 3), (std::vector<OpcUa_UInt32>{7, 6000, 60000}));
    EXPECT_EQ(config.getMaxBrowseContinuationPoints(), 11u);
    EXPECT_EQ(config.getMaxHistoryContinuationPoints(), 0u);
    config.getSubscriptionSettings(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    EXPECT_EQ(std::vector<OpcUa_UInt32>(v, v + 7), (std::vector<OpcUa_UInt32>{120, 0, 7000, 10000, 0, 5, 0}));
    config.getMonitoredItemQueueLimits(v[0], v[1]);
    EXPECT_EQ(std::vector<OpcUa_UInt32>(v, v + 2), (std::vector<OpcUa_UInt32>{100, 1000}));
    // The file's pool sizes are kept but change nothing.
    config.getThreadPoolSettings(v[0], v[1], v[2], v[3]);
    EXPECT_EQ(std::vector<OpcUa_UInt32>(v, v + 4), (std::vector<OpcUa_UInt32>{4, 4, 4, 4}));
    EXPECT_EQ(config.defaultSubscriptionMode(), 1u);

    OpcUa_Int32 limits[5] = {};
    config.getSerializerConfiguration(limits[0], limits[1], limits[2], limits[3], limits[4]);
    EXPECT_EQ(std::vector<OpcUa_Int32>(limits, limits + 5),
              (std::vector<OpcUa_Int32>{0x400000, 0xFFFF, 0xFFFF0, 0xFFFF, 0x400000}));
    bool flags[2] = {};
    OpcUa_Int32 threads[3] = {};
    OpcUa_UInt32 timeout = 0;
    config.getStackThreadPoolSettings(flags[0], threads[0], threads[1], threads[2], flags[1], timeout);
    EXPECT_EQ(std::vector<OpcUa_Int32>(threads, threads + 3), (std::vector<OpcUa_Int32>{5, 5, 20}));
    EXPECT_FALSE(flags[0]);
    EXPECT_TRUE(flags[1]);
    EXPECT_EQ(timeout, 0xFFFFFFFFu);
    OpcUa_UInt32 level = 9;
    config.getStackTraceSettings(flags[0], level);
    EXPECT_TRUE(flags[0]);
    EXPECT_EQ(level, 0u);
    UaString traceFile;
    config.getServerTraceSettings(flags[0], level, v[0], v[1], traceFile);
    EXPECT_EQ(std::vector<OpcUa_UInt32>({level, v[0], v[1]}), (std::vector<OpcUa_UInt32>{0, 100000, 5}));
    EXPECT_EQ(utf8(traceFile), "\\Program\\_Opcwatch.log");

    bool anonymous = false;
    bool userName = true;
    config.getUserIdentityTokenConfig(anonymous, userName);
    EXPECT_TRUE(anonymous);
    EXPECT_FALSE(userName);
    EXPECT_EQ(config.logonSessionUser(nullptr, nullptr).statusCode(), OpcUa_Good);
    Session* session = config.createSession(5, UaNodeId(77, 0));
    ASSERT_NE(dynamic_cast<UaSession*>(session), nullptr);
    session->releaseReference();

    OpcUa_UInt32 interval = 9;
    UaStringArray urls;
    config.getDiscoverySettings(interval, urls);
    EXPECT_EQ(interval, 0u);
    EXPECT_EQ(urls.length(), 0u);
    OpcUa_Double rate = 0;
    UaStringArray locales;
    UaStringArray profiles;
    UaByteStringArray certificates;
    config.getServerCapabilities(rate, locales, profiles, certificates);
    EXPECT_EQ(rate, 1.0);
    ASSERT_EQ(locales.length(), 1u);
    EXPECT_EQ(text(locales[0]), "en");
    ASSERT_EQ(profiles.length(), 1u);
    EXPECT_NE(text(profiles[0]).find("/UAProfile/Server/QbOpcUaServer"), std::string::npos);

    UaString serverUri;
    UaLocalizedTextArray names;
    config.getServerInstanceInfo(serverUri, names);
    EXPECT_EQ(utf8(serverUri), uri);
    ASSERT_EQ(names.length(), 1u);
    EXPECT_EQ(text(names[0].Locale), "en");
    EXPECT_EQ(text(names[0].Text), uri);

    UaString product, manufacturer, name, version, build;
    UaDateTime buildDate;
    config.getBuildInfo(product, manufacturer, name, version, build, buildDate);
    EXPECT_EQ(
        std::vector<std::string>({utf8(product), utf8(manufacturer), utf8(name), utf8(version), utf8(build)}),
        (std::vector<std::string>{uri, "Corvanta", "QbOpcUaServer", "2.3.0.1234", "3"}));
    // Compiled before now, and reported two hours earlier still.
    EXPECT_GT(buildDate.toInt64(), 0);
    EXPECT_LE(buildDate.toInt64(), UaDateTime::now().toInt64() - 72000000000LL);
}

TEST_F(ServerConfigTest, AFileThatCannotBeReadLoadsNothing)
{
    const struct
    {
        const char* what;
        const char* content; // null: no file
        std::string message;
    } rows[] = {
        {"missing", nullptr, "Failed to open file (\\Program\\Opcwatch.xml, Error 2)"},
        {"not well formed", "<OpcServerConfig><UaServerConfig>", "Failed to load XML document"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(hostPath("Program/Opcwatch.xml"));
        if (row.content)
            writeFile("Program/Opcwatch.xml", row.content);
        m_trace.clear();
        COpcServerConfig config(kProgram, m_runtime);
        EXPECT_EQ(config.loadConfiguration().statusCode(), static_cast<OpcUa_StatusCode>(0x80020000));
        EXPECT_TRUE(traced(1, row.message));
        EXPECT_TRUE(traced(6, "<-- COpcServerConfig::loadConfiguration [ret=OpcUa_BadInternalError]"));
        OpcUa_UInt32 v[3] = {};
        config.getSessionSettings(v[0], v[1], v[2]);
        EXPECT_EQ(std::vector<OpcUa_UInt32>(v, v + 3), (std::vector<OpcUa_UInt32>{0, 5000, 0}));
        EXPECT_EQ(config.defaultSubscriptionMode(), 2u);
        UaString rejected;
        UaPointerArray<UaEndpoint> endpoints;
        config.getEndpointConfiguration(rejected, endpoints);
        EXPECT_EQ(endpoints.length(), 0u);
        EXPECT_EQ(SharedMutexPool::size(), 0u);
        EXPECT_EQ(m_runtime.m_journal.take(), Journal{}) << "no node manager is made";
    }
}

TEST_F(ServerConfigTest, EndpointsAreHandedOutAsCopiesWithTheirCertificate)
{
    writeConfiguration("<SharedMutexCount>3</SharedMutexCount>"
                       "<ServerInstanceUri>urn:test:Opcwatch</ServerInstanceUri>"
                       "<UaEndpoint><Url>4841</Url><SerializerType>Binary</SerializerType>"
                       "<SecuritySetting><SecurityPolicy>http://opcfoundation.org/UA/SecurityPolicy#None"
                       "</SecurityPolicy><MessageSecurityMode>None</MessageSecurityMode></SecuritySetting>"
                       "</UaEndpoint>"
                       "<UaEndpoint><SerializerType>Binary</SerializerType></UaEndpoint>");
    COpcServerConfig config(kProgram, m_runtime);
    ASSERT_EQ(config.loadConfiguration().statusCode(), OpcUa_Good);
    EXPECT_EQ(SharedMutexPool::size(), 3u);
    EXPECT_TRUE(traced(1, "Failed to load XML endpoint configuration"));

    for (int round = 0; round < 2; ++round)
    {
        SCOPED_TRACE(round);
        UaString rejected;
        UaPointerArray<UaEndpoint> endpoints;
        ASSERT_EQ(config.getEndpointConfiguration(rejected, endpoints).statusCode(), OpcUa_Good);
        EXPECT_EQ(utf8(rejected), "\\Program\\PKI/CA/crl/");
        ASSERT_EQ(endpoints.length(), 1u);
        EXPECT_EQ(utf8(endpoints[0]->endpointUrl()), "opc.tcp://localhost:4841");
        EXPECT_EQ(endpoints[0]->securitySettingCount(), 1u);
        EXPECT_GT(endpoints[0]->certificate().length(), 0);
        EXPECT_GT(endpoints[0]->privateKey().length(), 0);
        EXPECT_NE(endpoints[0]->pkiConfig(), nullptr);
        // The runtime owns its copies.
        delete endpoints[0];
    }
}

TEST_F(ServerConfigTest, NodeManagersStartInOrderAndShutDownListFirst)
{
    writeConfiguration("");
    const OpcUa_StatusCode failed = OpcUa_BadInternalError;
    const struct
    {
        const char* what;
        OpcUa_StatusCode shutDownStatus;
    } rows[] = {{"all good", OpcUa_Good}, {"shutDown fails", failed}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        m_runtime.m_shutDownStatus = row.shutDownStatus;
        {
            COpcServerConfig config(kProgram, m_runtime);
            ASSERT_EQ(config.loadConfiguration().statusCode(), OpcUa_Good);
            ServerManager serverManager;
            EXPECT_EQ(config.startUp(&serverManager).statusCode(), OpcUa_Good);
            EXPECT_EQ(m_runtime.m_journal.take(),
                      (Journal{"GKT.create", "DI.startUp", "PLCopen.startUp", "GKT.startUp"}));
            EXPECT_EQ(config.shutDown().statusCode(), row.shutDownStatus);
            EXPECT_EQ(m_runtime.m_journal.take(),
                      (Journal{"GKT.shutDown", "GKT.deleted", "DI.shutDown", "PLCopen.shutDown"}));
        }
        // The companion models go with the object.
        EXPECT_EQ(m_runtime.m_journal.take(), (Journal{"DI.deleted", "PLCopen.deleted"}));
    }
}

TEST_F(ServerConfigTest, ADeviceNodeManagerThatFailsIsReportedAndNotStarted)
{
    writeConfiguration("");
    m_runtime.m_deviceStatus = OpcUa_BadConfigurationError;
    COpcServerConfig config(kProgram, m_runtime);
    EXPECT_EQ(config.loadConfiguration().statusCode(), OpcUa_BadConfigurationError);
    EXPECT_TRUE(traced(1, "Failed to load NodeManager config [ret=0x80890000]"));
    EXPECT_TRUE(traced(6, "<-- COpcServerConfig::loadConfiguration [ret=0x80890000]"));
    ServerManager serverManager;
    config.startUp(&serverManager);
    EXPECT_EQ(m_runtime.m_journal.take(), (Journal{"GKT.create", "DI.startUp", "PLCopen.startUp"}));
}
} // namespace
