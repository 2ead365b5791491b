// Reading "Opcwatch.xml" into the configuration record: one table of files, each compared
// field by field with the record a file without settings gives.
#include "opcwatch_test_root.h"

#include "opcserverconfigdata.h"
#include "sharedmutexpool.h"
#include "uaxmlreader.h"

#include <os/text.h>

#include <fstream>
#include <map>
#include <set>
#include <thread>

namespace
{
const std::string kHost = "panel7";
const std::string kNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

using Fields = std::map<std::string, std::string>;
using Messages = std::vector<std::pair<int, std::string>>;

std::string describe(const OpcEndpointConfig& endpoint)
{
    std::string text = endpoint.m_url + (endpoint.m_serializerType == OpcSerializerXml ? " Xml" : " Binary");
    for (const OpcSecuritySettingConfig& setting : endpoint.m_securitySettings)
        text += " " + setting.m_securityPolicy.substr(setting.m_securityPolicy.find('#') + 1) + ":" +
                std::to_string(setting.m_messageSecurityModes);
    return text;
}

// Every field of the record by the name of its element.
Fields fields(const OpcServerConfigData& config)
{
    std::string endpoints;
    for (const OpcEndpointConfig& endpoint : config.m_endpoints)
        endpoints += (endpoints.empty() ? "" : "; ") + describe(endpoint);
    return {
        {"MaxRequestAge", std::to_string(config.m_maxRequestAge)},
        {"MaxSessionCount", std::to_string(config.m_maxSessionCount)},
        {"MinSessionTimeout", std::to_string(config.m_minSessionTimeout)},
        {"MaxSessionTimeout", std::to_string(config.m_maxSessionTimeout)},
        {"MaxBrowseContinuationPoints", std::to_string(config.m_maxBrowseContinuationPoints)},
        {"MinPublishingInterval", std::to_string(config.m_minPublishingInterval)},
        {"MinKeepAliveInterval", std::to_string(config.m_minKeepAliveInterval)},
        {"RequireUserAuthenticationForSession",
         config.m_requireUserAuthenticationForSession ? "true" : "false"},
        {"ServerInstanceUri", config.m_serverInstanceUri},
        {"DefaultSubscriptionMode", std::to_string(config.m_defaultSubscriptionMode)},
        {"MinSizeTransactionManager", std::to_string(config.m_minSizeTransactionManager)},
        {"MaxSizeTransactionManager", std::to_string(config.m_maxSizeTransactionManager)},
        {"MinSizeSubscriptionManager", std::to_string(config.m_minSizeSubscriptionManager)},
        {"MaxSizeSubscriptionManager", std::to_string(config.m_maxSizeSubscriptionManager)},
        {"SharedMutexCount", std::to_string(config.m_sharedMutexCount)},
        {"UaEndpoint", endpoints},
    };
}

// A file with these elements in "UaServerConfig".
std::string withSettings(const std::string& settings)
{
    return "<?xml version=\"1.0\"?>\n<Opcwatch>\n<UaServerConfig>\n" + settings +
           "\n</UaServerConfig>\n</Opcwatch>\n";
}

std::string endpoint(const std::string& content)
{
    return "<UaEndpoint>" + content + "</UaEndpoint>";
}

std::string securitySetting(const std::string& policy, const std::string& modes)
{
    return "<SecuritySetting><SecurityPolicy>" + policy + "</SecurityPolicy>" + modes + "</SecuritySetting>";
}

std::string mode(const std::string& name)
{
    return "<MessageSecurityMode>" + name + "</MessageSecurityMode>";
}

const std::string kBinary = "<SerializerType>Binary</SerializerType>";

struct ConfigCase
{
    const char* name;
    std::string file;
    // Fields that differ from a file whose "UaServerConfig" sets nothing.
    Fields changed;
    Messages messages = {};
};

class ConfigFileTest : public OpcwatchTestRoot
{
protected:
    void TearDown() override
    {
        SharedMutexPool::clear();
        OpcwatchTestRoot::TearDown();
    }

    // Loads the file into a fresh record and checks every field.
    void expectLoads(const ConfigCase& c)
    {
        SCOPED_TRACE(c.name);
        clearTrace();
        OpcServerConfigData config;
        EXPECT_EQ(loadOpcServerConfigData(writeFile("Opcwatch.xml", c.file), kHost, config), OpcUa_Good);
        Fields expected = fields(OpcServerConfigData{});
        expected["SharedMutexCount"] = "100";
        for (const auto& [name, value] : c.changed)
        {
            ASSERT_TRUE(expected.count(name)) << name;
            expected[name] = value;
        }
        EXPECT_EQ(fields(config), expected);
        EXPECT_EQ(traceMessages(), c.messages);
    }
};

TEST_F(ConfigFileTest, SettingsAndTheirDefaults)
{
    const ConfigCase cases[] = {
        {"nothing set", withSettings(""), {}},
        {"no UaServerConfig: nothing read, no mutexes",
         "<Opcwatch><Server/></Opcwatch>",
         {{"SharedMutexCount", "0"}}},
        {"UaServerConfig as the document element is not found",
         "<UaServerConfig><MaxSessionCount>7</MaxSessionCount></UaServerConfig>",
         {{"SharedMutexCount", "0"}}},
        {"the document element may have any name",
         "<Anything><UaServerConfig><MaxSessionCount>7</MaxSessionCount></UaServerConfig></Anything>",
         {{"MaxSessionCount", "7"}}},
        {"every setting",
         withSettings(
             "<MaxRequestAge>1</MaxRequestAge><MaxSessionCount>2</MaxSessionCount>"
             "<MinSessionTimeout>3</MinSessionTimeout><MaxSessionTimeout>4</MaxSessionTimeout>"
             "<MaxBrowseContinuationPoints>5</MaxBrowseContinuationPoints>"
             "<MinPublishingInterval>6</MinPublishingInterval><MinKeepAliveInterval>7</MinKeepAliveInterval>"
             "<RequireUserAuthenticationForSession>0</RequireUserAuthenticationForSession>"
             "<ServerInstanceUri>urn:x</ServerInstanceUri><DefaultSubscriptionMode>8</"
             "DefaultSubscriptionMode>"
             "<SharedMutexCount>9</SharedMutexCount><ThreadPoolSettings>"
             "<MinSizeTransactionManager>10</MinSizeTransactionManager>"
             "<MaxSizeTransactionManager>11</MaxSizeTransactionManager>"
             "<MinSizeSubscriptionManager>12</MinSizeSubscriptionManager>"
             "<MaxSizeSubscriptionManager>13</MaxSizeSubscriptionManager></ThreadPoolSettings>"),
         {{"MaxRequestAge", "1"},
          {"MaxSessionCount", "2"},
          {"MinSessionTimeout", "3"},
          {"MaxSessionTimeout", "4"},
          {"MaxBrowseContinuationPoints", "5"},
          {"MinPublishingInterval", "6"},
          {"MinKeepAliveInterval", "7"},
          {"RequireUserAuthenticationForSession", "false"},
          {"ServerInstanceUri", "urn:x"},
          {"DefaultSubscriptionMode", "8"},
          {"SharedMutexCount", "9"},
          {"MinSizeTransactionManager", "10"},
          {"MaxSizeTransactionManager", "11"},
          {"MinSizeSubscriptionManager", "12"},
          {"MaxSizeSubscriptionManager", "13"}}},
        {"pool sizes only inside ThreadPoolSettings",
         withSettings("<MinSizeTransactionManager>10</MinSizeTransactionManager>"),
         {}},
        {"names are case-sensitive",
         withSettings("<maxsessioncount>9</maxsessioncount><MINSESSIONTIMEOUT>9</MINSESSIONTIMEOUT>"),
         {}},
        {"the first of two elements counts",
         withSettings("<MaxSessionCount>3</MaxSessionCount><MaxSessionCount>4</MaxSessionCount>"),
         {{"MaxSessionCount", "3"}}},
        {"attributes are not read",
         withSettings("<MinSessionTimeout value=\"9\"/>"),
         {{"MinSessionTimeout", "0"}}},
        {"any non-zero number requires user authentication",
         withSettings("<RequireUserAuthenticationForSession>-3</RequireUserAuthenticationForSession>"),
         {}},
        {"text without digits does not",
         withSettings("<RequireUserAuthenticationForSession>yes</RequireUserAuthenticationForSession>"),
         {{"RequireUserAuthenticationForSession", "false"}}},
    };
    for (const ConfigCase& c : cases)
        expectLoads(c);
}

TEST_F(ConfigFileTest, IntegersTakeTheirLeadingDigits)
{
    const struct
    {
        const char* text;
        const char* value;
    } cases[] = {
        {"\t7000\r\n", "7000"}, // control characters are stripped first
        {" 7000", "7000"},
        {"7000 ms", "7000"},
        {"+7000", "7000"},
        {"abc", "0"},
        {"", "0"},
        {"-1", "4294967295"},
        {"99999999999", "2147483647"},
        {"-99999999999", "2147483648"},
    };
    for (const auto& c : cases)
        expectLoads({c.text,
                     withSettings(std::string("<MinSessionTimeout>") + c.text + "</MinSessionTimeout>"),
                     {{"MinSessionTimeout", c.value}}});
}

TEST_F(ConfigFileTest, NodeNameAndSubscriptionModeAndMutexCount)
{
    const std::string longPrefix(600, 'u');
    const ConfigCase cases[] = {
        {"[NodeName] replaced by the host name",
         withSettings("<ServerInstanceUri>urn:[NodeName]:Server</ServerInstanceUri>"),
         {{"ServerInstanceUri", "urn:panel7:Server"}}},
        {"only the first [NodeName]",
         withSettings("<ServerInstanceUri>urn:[NodeName]:[NodeName]</ServerInstanceUri>"),
         {{"ServerInstanceUri", "urn:panel7:[NodeName]"}}},
        {"the placeholder's case matters",
         withSettings("<ServerInstanceUri>urn:[nodename]</ServerInstanceUri>"),
         {{"ServerInstanceUri", "urn:[nodename]"}}},
        {"a long text before [NodeName] is kept whole",
         withSettings("<ServerInstanceUri>" + longPrefix + "[NodeName]:x</ServerInstanceUri>"),
         {{"ServerInstanceUri", longPrefix + "panel7:x"}}},
        {"subscription mode read",
         withSettings("<DefaultSubscriptionMode>1</DefaultSubscriptionMode>"),
         {{"DefaultSubscriptionMode", "1"}}},
        {"subscription mode of no digits",
         withSettings("<DefaultSubscriptionMode>x</DefaultSubscriptionMode>"),
         {{"DefaultSubscriptionMode", "0"}}},
        {"mutex count 0 gives the default", withSettings("<SharedMutexCount>0</SharedMutexCount>"), {}},
        {"mutex count -5 gives the default", withSettings("<SharedMutexCount>-5</SharedMutexCount>"), {}},
        {"mutex count 3",
         withSettings("<SharedMutexCount>3</SharedMutexCount>"),
         {{"SharedMutexCount", "3"}}},
        {"mutex count at the limit",
         withSettings("<SharedMutexCount>65536</SharedMutexCount>"),
         {{"SharedMutexCount", "65536"}}},
        {"mutex count above the limit",
         withSettings("<SharedMutexCount>65537</SharedMutexCount>"),
         {{"SharedMutexCount", "65536"}},
         {{2, "SharedMutexCount 65537 is too large, 65536 used"}}},
        {"mutex count beyond any number",
         withSettings("<SharedMutexCount>99999999999</SharedMutexCount>"),
         {{"SharedMutexCount", "65536"}},
         {{2, "SharedMutexCount 2147483647 is too large, 65536 used"}}},
    };
    for (const ConfigCase& c : cases)
        expectLoads(c);
}

TEST_F(ConfigFileTest, EndpointsLoadOrAreDropped)
{
    const std::string none = securitySetting(kNone, mode("None"));
    // The cause with the file and line (every endpoint below is on line 4), then the drop.
    const auto dropped = [this](const std::string& cause)
    {
        return Messages{{1, hostPath("Opcwatch.xml") + ", line 4: " + cause},
                        {1, "Failed to load XML endpoint configuration"}};
    };
    const ConfigCase cases[] = {
        {"a bare port",
         withSettings(endpoint("<Url>4840</Url>" + kBinary + none)),
         {{"UaEndpoint", "opc.tcp://localhost:4840 Binary None:1"}}},
        {"five characters are still a port",
         withSettings(endpoint("<Url>48400</Url>" + kBinary)),
         {{"UaEndpoint", "opc.tcp://localhost:48400 Binary"}}},
        {"six characters are a whole URL, and this one is none",
         withSettings(endpoint("<Url>484000</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"484000\" is no opc.tcp URL with a port from 1 to 65535")},
        {"a URL with [NodeName]",
         withSettings(endpoint("<Url>opc.tcp://[NodeName]:4840</Url>" + kBinary)),
         {{"UaEndpoint", "opc.tcp://panel7:4840 Binary"}}},
        {"an IPv6 address and a path",
         withSettings(endpoint("<Url>OPC.TCP://[::1]:4840/Opcwatch</Url>" + kBinary)),
         {{"UaEndpoint", "OPC.TCP://[::1]:4840/Opcwatch Binary"}}},
        {"a short URL with a slash is a URL, and this one is none",
         withSettings(endpoint("<Url>a/b</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"a/b\" is no opc.tcp URL with a port from 1 to 65535")},
        {"letters as a port",
         withSettings(endpoint("<Url>abc</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"abc\" is no port number from 1 to 65535")},
        {"a port beyond 65535",
         withSettings(endpoint("<Url>99999</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"99999\" is no port number from 1 to 65535")},
        {"port 0 would listen anywhere while the endpoint names 0",
         withSettings(endpoint("<Url>0</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"0\" is no port number from 1 to 65535")},
        {"port 0 in a URL",
         withSettings(endpoint("<Url>opc.tcp://localhost:0</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"opc.tcp://localhost:0\" is no opc.tcp URL with a port from 1 to 65535")},
        {"a URL without a port",
         withSettings(endpoint("<Url>opc.tcp://[NodeName]/x</Url>" + kBinary)),
         {{"UaEndpoint", ""}},
         dropped("Url \"opc.tcp://[NodeName]/x\" is no opc.tcp URL with a port from 1 to 65535")},
        {"Xml serializer, which the stack does not encode",
         withSettings(endpoint("<Url>1</Url><SerializerType>Xml</SerializerType>")),
         {{"UaEndpoint", ""}},
         dropped("SerializerType Xml of opc.tcp://localhost:1 is not served, only Binary")},
        {"modes add up, unknown and lower-case ones add nothing",
         withSettings(
             endpoint("<Url>4840</Url>" + kBinary +
                      securitySetting("#Basic256", mode("Sign") + mode("sign") + mode("SignAndEncrypt") +
                                                       mode("Sign") + mode("Encrypt")) +
                      securitySetting("#Basic128Rsa15", mode("sign")))),
         {{"UaEndpoint", "opc.tcp://localhost:4840 Binary Basic256:6 Basic128Rsa15:0"}}},
        {"no Url",
         withSettings(endpoint(kBinary + none)),
         {{"UaEndpoint", ""}},
         dropped("UaEndpoint without Url")},
        {"no SerializerType",
         withSettings(endpoint("<Url>4840</Url>" + none)),
         {{"UaEndpoint", ""}},
         dropped("UaEndpoint opc.tcp://localhost:4840 without SerializerType")},
        {"unknown SerializerType",
         withSettings(endpoint("<Url>4840</Url><SerializerType>binary</SerializerType>")),
         {{"UaEndpoint", ""}},
         dropped("SerializerType \"binary\" of opc.tcp://localhost:4840 is neither Binary nor Xml")},
        {"SecuritySetting without SecurityPolicy",
         withSettings(endpoint("<Url>4840</Url>" + kBinary + none + "<SecuritySetting>" + mode("None") +
                               "</SecuritySetting>")),
         {{"UaEndpoint", ""}},
         dropped("SecuritySetting of opc.tcp://localhost:4840 without SecurityPolicy")},
        {"a dropped endpoint leaves the others in order",
         withSettings(endpoint("<Url>1</Url>" + kBinary) + endpoint("<Url>2</Url>") +
                      endpoint("<Url>3</Url>" + kBinary)),
         {{"UaEndpoint", "opc.tcp://localhost:1 Binary; opc.tcp://localhost:3 Binary"}},
         dropped("UaEndpoint opc.tcp://localhost:2 without SerializerType")},
        {"endpoints only directly in UaServerConfig",
         withSettings("<ThreadPoolSettings>" + endpoint("<Url>1</Url>" + kBinary) + "</ThreadPoolSettings>"),
         {}},
    };
    for (const ConfigCase& c : cases)
        expectLoads(c);
}

// The line of a cause is that of the element which shows it.
TEST_F(ConfigFileTest, ACauseNamesTheLineOfItsElement)
{
    clearTrace();
    OpcServerConfigData config;
    ASSERT_EQ(
        loadOpcServerConfigData(writeFile("Opcwatch.xml", withSettings("<UaEndpoint>\n<Url>4840</Url>\n"
                                                                       "<SerializerType>Soap"
                                                                       "</SerializerType>\n</UaEndpoint>")),
                                kHost, config),
        OpcUa_Good);
    EXPECT_EQ(
        traceMessages(),
        (Messages{
            {1,
             hostPath("Opcwatch.xml") +
                 ", line 6: SerializerType \"Soap\" of opc.tcp://localhost:4840 is neither Binary nor Xml"},
            {1, "Failed to load XML endpoint configuration"}}));
}

TEST_F(ConfigFileTest, AnEndpointElementMustBeNamedSo)
{
    UaXmlDocument document;
    ASSERT_EQ(parseXmlFile(document,
                           writeFile("e.xml", "<Endpoint><Url>1</Url>" + kBinary + "</Endpoint>").c_str()),
              S_OK);
    OpcEndpointConfig endpoint;
    EXPECT_EQ(loadEndpointConfig(*document.rootElement(), kHost, endpoint), OpcUa_BadInvalidArgument);
}

TEST_F(ConfigFileTest, AFileThatCannotBeReadLeavesTheRecordAsItWas)
{
    OpcServerConfigData before;
    before.m_maxSessionCount = 77;
    before.m_serverInstanceUri = "urn:kept";
    before.m_endpoints.push_back(OpcEndpointConfig{"opc.tcp://kept:1", OpcSerializerBinary, {}});

    const std::u16string missing = os::toUtf16(hostPath("Opcwatch.xml"));
    const struct
    {
        const char* name;
        std::u16string path;
        std::string message;
        std::string where; // the parser's file, line and words, when it read the file
    } cases[] = {
        {"missing", missing, "Failed to open file (" + hostPath("Opcwatch.xml") + ", Error 2)"},
        {"missing folder", os::toUtf16(hostPath("gone/Opcwatch.xml")),
         "Failed to open file (" + hostPath("gone/Opcwatch.xml") + ", Error 3)"},
        {"not well formed", writeFile("bad.xml", withSettings("<MaxSessionCount>1</MaxSessionCount><x>")),
         "Failed to load XML document",
         hostPath("bad.xml") + ", line 5: Opening and ending tag mismatch: x line 4 and UaServerConfig"},
        {"cut short in line 4",
         writeFile("short.xml", withSettings("<MaxSessionCount>1</MaxSessionCount>").substr(0, 60)),
         "Failed to load XML document", hostPath("short.xml") + ", line 4: "},
        {"with a document type", writeFile("dtd.xml", "<!DOCTYPE Opcwatch>" + withSettings("")),
         "Failed to load XML document",
         hostPath("dtd.xml") + ", line 1: document type declarations are not allowed"},
        {"empty", writeFile("empty.xml", ""), "Failed to load XML document",
         hostPath("empty.xml") + ", line 1: "},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        clearTrace();
        OpcServerConfigData config = before;
        EXPECT_EQ(loadOpcServerConfigData(c.path, kHost, config), OpcUa_BadInternalError);
        EXPECT_EQ(fields(config), fields(before));
        const auto messages = traceMessages();
        ASSERT_EQ(messages.size(), c.where.empty() ? 1u : 2u) << testing::PrintToString(messages);
        EXPECT_EQ(messages[0], std::make_pair(1, c.message));
        // The parser's words after the line are its own; the file and line are ours.
        if (!c.where.empty())
            EXPECT_EQ(messages[1].second.substr(0, c.where.size()), c.where);
    }
}

TEST(ConfigFile, WithoutComTheDocumentCannotBeLoaded)
{
    ostest::TempDeviceRoot root;
    const std::string path = root.path() + "/Opcwatch.xml";
    std::ofstream(path) << withSettings("<MaxSessionCount>1</MaxSessionCount>");
    OpcServerConfigData config;
    EXPECT_EQ(loadOpcServerConfigData(os::toUtf16(path), kHost, config), OpcUa_BadInternalError);
    EXPECT_EQ(config.m_maxSessionCount, 0u);
}

TEST_F(ConfigFileTest, NodesShareTheConfiguredMutexesInTurn)
{
    for (const char* count : {"0", "-5", "3"})
    {
        SCOPED_TRACE(count);
        OpcServerConfigData config;
        ASSERT_EQ(
            loadOpcServerConfigData(writeFile("Opcwatch.xml", withSettings(std::string("<SharedMutexCount>") +
                                                                           count + "</SharedMutexCount>")),
                                    kHost, config),
            OpcUa_Good);
        ASSERT_EQ(SharedMutexPool::init(config.m_sharedMutexCount), S_OK);
        const OpcUa_UInt32 expected = std::string(count) == "3" ? 3 : 100;
        EXPECT_EQ(SharedMutexPool::size(), expected);

        std::vector<UaSharedMutex*> handedOut;
        for (OpcUa_UInt32 i = 0; i < 2 * expected + 1; ++i)
            handedOut.push_back(SharedMutexPool::getNext());
        EXPECT_EQ(std::set<UaSharedMutex*>(handedOut.begin(), handedOut.end()).size(), expected);
        for (OpcUa_UInt32 i = expected; i < handedOut.size(); ++i)
            EXPECT_EQ(handedOut[i], handedOut[i - expected]) << i;

        // A load on a filled pool leaves it as it is.
        EXPECT_EQ(SharedMutexPool::init(7), E_FAIL);
        EXPECT_EQ(SharedMutexPool::size(), expected);
        EXPECT_EQ(SharedMutexPool::getNext(), handedOut[1]);

        SharedMutexPool::clear();
        EXPECT_EQ(SharedMutexPool::size(), 0u);
        EXPECT_EQ(SharedMutexPool::getNext(), nullptr);
    }
}

TEST(SharedMutexPool, ThreadsCreatingNodesAtOnceShareTheMutexesEvenly)
{
    ASSERT_EQ(SharedMutexPool::init(4), S_OK);
    constexpr int kThreads = 4;
    constexpr int kNodesPerThread = 1000;
    std::vector<std::vector<UaSharedMutex*>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&taken, t]
            {
                for (int i = 0; i < kNodesPerThread; ++i)
                    taken[t].push_back(SharedMutexPool::getNext());
            });
    for (std::thread& thread : threads)
        thread.join();
    std::map<UaSharedMutex*, int> uses;
    for (const auto& perThread : taken)
        for (UaSharedMutex* mutex : perThread)
            ++uses[mutex];
    SharedMutexPool::clear();
    ASSERT_EQ(uses.size(), 4u);
    for (const auto& [mutex, count] : uses)
        EXPECT_EQ(count, kThreads * kNodesPerThread / 4);
}
} // namespace
