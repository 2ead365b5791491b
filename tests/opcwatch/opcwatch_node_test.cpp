// Opcwatch end to end with the outside client (node-opcua-client): against the device the run
// command starts (device manager, GktSim, Opcwatch from its folder in the device root), and
// against processes the test starts itself, to restart the device manager and the server.
#include "freeport.h"
#include "stackclient.h"
#include "uatcp_node_runner.h"
#include "values_clients_act_on.h"

#include <test_support.h>
#include <testsupport.h>

#include <os/deviceroot.h>
#include <uaplatformlayer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>

namespace fs = std::filesystem;
using uaservertest::listens;
using uatcp::test::jsonField;
using uatcp::test::jsonText;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

namespace
{
const std::string kInt16 = "nsu=GKT;s=Modules|General|Data Store|0x8nn1|0x03";
const std::string kUInt32 = "nsu=GKT;s=Modules|General|Data Store|0x8nn1|0x07";

// The README's shell lines that trust a rejected client certificate, in order.
std::vector<std::string> readmeTrustSteps()
{
    std::ifstream in(OPCWATCH_README);
    std::vector<std::string> steps;
    bool opcwatchSection = false;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("## ", 0) == 0)
            opcwatchSection = line == "## Opcwatch, the OPC UA server";
        else if (opcwatchSection && line.rfind("    ", 0) == 0 &&
                 line.find("/Opcwatch/PKI/CA/") != std::string::npos)
            steps.push_back(line.substr(4));
    return steps;
}

// A command line of sh (DEVICE_ROOT is the test's): its standard output, and its exit status.
std::string shell(const std::string& command, int& status)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int result = ::pclose(pipe);
    status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

bool waitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

class OpcwatchNodeTest : public ::testing::Test
{
protected:
    // One command of the client script; its JSON answer, or a failure with the client's words.
    std::string client(const std::vector<std::string>& args)
    {
        const ProcessResult result = runNodeScript({}, "opcwatch_client.js", args);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    }
    // The lines of a dump: NodeIds, names and node classes below GKT.
    static std::string treeOf(const std::string& dump)
    {
        const auto start = dump.find("\"lines\":");
        return start == std::string::npos ? std::string()
                                          : dump.substr(start, dump.find("\"variables\":") - start);
    }
    static std::string valueOf(const std::string& dump, const std::string& nodeId)
    {
        const auto at = dump.find("\"" + nodeId + "\":");
        return at == std::string::npos ? std::string() : dump.substr(at, dump.find('}', at) - at + 1);
    }

    std::string m_url;
};

// The run command's device: start-device.sh on a fresh device root with free ports.
class RunScriptDevice : public OpcwatchNodeTest
{
protected:
    void SetUp() override
    {
        const int port = uaservertest::freePort();
        ::setenv("DEVICE_ROOT", m_root.path().c_str(), 1);
        ::setenv("OPCWATCH_PORT", std::to_string(port).c_str(), 1);
        ::setenv("UPNP_HTTP_PORT", "0", 1);
        m_device = std::make_unique<ostest::ChildProcess>(std::vector<std::string>{os::programDirectory()},
                                                          std::string(OPCWATCH_START_SCRIPT));
        for (std::string line; m_url.empty() || line != "device running; Ctrl-C stops it";)
        {
            line = m_device->readLine(90000);
            ASSERT_FALSE(line.empty()) << "the device did not start";
            if (line.rfind("OPC UA server: ", 0) == 0)
                m_url = line.substr(15);
        }
        EXPECT_EQ(m_url, "opc.tcp://localhost:" + std::to_string(port));
    }
    void TearDown() override
    {
        if (m_device)
        {
            m_device->signal(SIGTERM);
            const int status = m_device->wait(90000);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
    }

    ostest::TempDeviceRoot m_root;
    std::unique_ptr<ostest::ChildProcess> m_device;
};

TEST_F(RunScriptDevice, BrowsesAndReadsAllOfGkt)
{
    const std::string dump = client({"dump", m_url});
    // Every module of the shipped description, the two Ethernet modules in one type folder.
    for (const char* node : {"nsu=GKT;s=Modules|CPU|Atom E3845 ", "nsu=GKT;s=Modules|Mainboard|CB-4120 ",
                             "nsu=GKT;s=Modules|Display|Panel 15 inch ", "nsu=GKT;s=Modules|Ethernet|LAN 1 ",
                             "nsu=GKT;s=Modules|Ethernet|LAN 2 ", "nsu=GKT;s=Modules|General|Data Store ",
                             "nsu=GKT;s=Modules|CPU|Atom E3845|0x8nn2|0x01 GKT:0x01 - CPU Temperature [C] 2"})
        EXPECT_NE(dump.find(node), std::string::npos) << node << "\n" << dump;
    // 101 entries in the tables of area 8; all but the seven without declared type and the
    // write-only command read Good.
    EXPECT_EQ(jsonField(dump, "variables"), 101) << dump;
    EXPECT_EQ(jsonField(dump, "good"), 93) << dump;
    EXPECT_EQ(valueOf(dump, kInt16), "\"" + kInt16 + "\":{\"status\":0,\"value\":\"-1234\",\"dataType\":4}");
    EXPECT_EQ(dump.find("nsu=GKT;s=Modules|CPU|Atom E3845|0x9"), std::string::npos) << "area 9 is not shown";
}

TEST_F(RunScriptDevice, AWrittenInt16ReachesTheDeviceForEveryProcess)
{
    const std::string written = client({"write", m_url, kInt16, "4321"});
    EXPECT_EQ(jsonField(written, "write"), 0) << written;
    EXPECT_EQ(jsonField(written, "status"), 0) << written;
    EXPECT_EQ(jsonField(written, "value"), 4321) << written;
    // Another process reads the entry through Profilelink.
    std::string out;
    ostest::ChildProcess peer({"0x8062", "1", "0", "0", "0x8061", "3", "4321"},
                              os::programDirectory() + "/profilelink_peer");
    const int status = peer.wait(60000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The values a client acts on, checked as on the test server (the script is the test server's);
// the device profile has no variable with an EURange, so a percent deadband is only refused.
TEST_F(RunScriptDevice, QueuesEndOnTheCurrentValueFiltersApplyOrAreRefusedAndTheServerTellsTheTruth)
{
    const std::string nodes = R"({"written": ")" + kInt16 +
                              R"(", "dataType": "Int16", "ranged": "", "unranged": ")" + kInt16 + "\"}";
    const ProcessResult result =
        runNodeScript({}, "../uaserver/node/values_clients_act_on.js", {m_url, nodes}, {}, 300);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output.find("\"error\""), std::string::npos) << result.output;
    EXPECT_EQ(jsonField(result.output, "closed"), 1) << result.output;
    uaservertest::expectValuesClientsActOn(result.output);
}

// The outside client's subscription at 100 ms, a process of its own: the first line has the
// revised intervals, each further line a data change. Its own home keeps the client's files.
class Watcher
{
public:
    Watcher(const std::string& home, const std::string& url, const std::vector<std::string>& nodeIds)
    {
        std::vector<std::string> args{"HOME=" + home, UATCP_NODE,
                                      std::string(UATCP_NODE_SCRIPTS) + "/opcwatch_client.js", "watch", url};
        args.insert(args.end(), nodeIds.begin(), nodeIds.end());
        m_client = std::make_unique<ostest::ChildProcess>(args, "/usr/bin/env");
        m_intervals = next();
    }
    ~Watcher()
    {
        m_client->signal(SIGTERM);
        const int status = m_client->wait(60000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const std::string& intervals() const { return m_intervals; }
    // The next line of the client's JSON (the client's own notices are skipped); empty when it
    // ended or said nothing for 90 s.
    std::string next()
    {
        for (;;)
        {
            const std::string line = m_client->readLine(90000);
            if (line.empty() || line.front() == '{')
                return line;
        }
    }
    // The next Good data change with a value: the item's number and the value as text.
    bool nextValue(long& item, std::string& value)
    {
        for (std::string line = next(); !line.empty(); line = next())
        {
            static const std::regex valueField("\"value\":\"([^\"]*)\"");
            std::smatch match;
            if (jsonField(line, "status") != 0 || !std::regex_search(line, match, valueField) ||
                match[1] == "null")
                continue;
            item = jsonField(line, "item");
            value = match[1];
            return true;
        }
        return false;
    }

private:
    std::unique_ptr<ostest::ChildProcess> m_client;
    std::string m_intervals;
};

// The run command's device with a CPU temperature that swings in six seconds, so that its
// integer value changes between any three polls (0.5 s or more apart).
class FastTemperatureDevice : public RunScriptDevice
{
protected:
    void SetUp() override
    {
        std::ifstream in(os::programDirectory() + "/GktSim.txt");
        const std::string shipped(std::istreambuf_iterator<char>(in), {});
        const std::string description =
            std::regex_replace(shipped, std::regex("wave\\(45,68,90\\)"), "wave(45,68,6)");
        ASSERT_NE(description, shipped);
        std::ofstream(m_root.path() + "/GktSim.txt") << description;
        RunScriptDevice::SetUp();
    }
};

TEST_F(FastTemperatureDevice, ASubscriptionAt100msIsRevisedTo500AndSeesTheTemperatureChangeWithinTwoPasses)
{
    // "Bytes Received" of LAN 1 grows between any two polls: each of its changes marks a pass.
    Watcher watcher(
        m_root.path(), m_url,
        {"nsu=GKT;s=Modules|CPU|Atom E3845|0x8nn2|0x01", "nsu=GKT;s=Modules|Ethernet|LAN 1|0x8nn1|0x04"});
    EXPECT_NE(watcher.intervals().find("\"sampling\":[500,500]"), std::string::npos) << watcher.intervals();
    long item = -1;
    std::string value, last;
    while (last.empty())
    {
        ASSERT_TRUE(watcher.nextValue(item, value)) << "the client ended";
        if (item == 0)
            last = value;
    }
    for (int change = 0; change < 3; ++change)
    {
        int passes = 0;
        for (;;)
        {
            ASSERT_TRUE(watcher.nextValue(item, value)) << "the client ended";
            if (item == 1)
                ++passes;
            else if (value != last)
                break;
        }
        // The pass of the value before and the one that kept it, and the new value's own pass
        // when its marker comes first.
        EXPECT_LE(passes, 3) << last << " to " << value;
        last = value;
    }
}

TEST_F(RunScriptDevice, AWriteFromAnotherProcessReachesTheSubscription)
{
    Watcher watcher(m_root.path(), m_url, {kUInt32});
    EXPECT_NE(watcher.intervals().find("\"sampling\":[500]"), std::string::npos) << watcher.intervals();
    long item = -1;
    std::string value;
    ASSERT_TRUE(watcher.nextValue(item, value));
    EXPECT_EQ(value, "4000000000");
    // Another process writes the entry through Profilelink, having read "Boot Counter" (87) first.
    ostest::ChildProcess peer({"0x8061", "7", "1", "777777", "0x8022", "3", "87"},
                              os::programDirectory() + "/profilelink_peer");
    const int status = peer.wait(60000);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(watcher.nextValue(item, value));
    EXPECT_EQ(value, "777777");
}

// Processes the test starts itself on a device root of its own: the device manager, the Vos
// router (started by the first Vos user) and Opcwatch from a program folder in the root.
class OwnProcesses : public OpcwatchNodeTest
{
protected:
    void SetUp() override
    {
        startDeviceManager();
        const std::string folder = m_root.Path() + "/Opcwatch";
        for (const char* pki : {"certs", "private", "crl"})
            fs::create_directories(folder + "/PKI/CA/" + pki);
        fs::copy_file(os::programDirectory() + "/opcwatch", folder + "/opcwatch");
        m_port = uaservertest::freePort();
        std::ifstream in(os::programDirectory() + "/Opcwatch.xml");
        const std::string configuration(std::istreambuf_iterator<char>(in), {});
        std::ofstream(folder + "/Opcwatch.xml") << std::regex_replace(
            configuration, std::regex("<Url>4840</Url>"), "<Url>" + std::to_string(m_port) + "</Url>");
        // The copy finds its libraries, Profilelink among them, in the build's folder.
        ::setenv("LD_LIBRARY_PATH", os::programDirectory().c_str(), 1);
        m_opcwatch = std::make_unique<ostest::ChildProcess>(std::vector<std::string>{}, folder + "/opcwatch");
        ::unsetenv("LD_LIBRARY_PATH");
        ASSERT_TRUE(waitUntil([this] { return listens(m_port); }));
        m_url = "opc.tcp://localhost:" + std::to_string(m_port);
    }
    void TearDown() override
    {
        if (m_opcwatch)
        {
            m_opcwatch->signal(SIGTERM);
            const int status = m_opcwatch->wait(60000);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        stopDeviceManager();
    }

    void startDeviceManager()
    {
        fs::remove(m_root.Path() + "/devmgr.sock");
        m_manager = std::make_unique<ostest::ChildProcess>(std::vector<std::string>{},
                                                           os::programDirectory() + "/devmgr");
        ASSERT_TRUE(waitUntil([this] { return fs::exists(m_root.Path() + "/devmgr.sock"); }));
    }
    void stopDeviceManager()
    {
        if (!m_manager)
            return;
        m_manager->signal(SIGTERM);
        EXPECT_NE(m_manager->wait(60000), -1);
        m_manager.reset();
    }
    long readStatus() { return jsonField(client({"read", m_url, kInt16}), "status"); }

    vostest::DeviceRoot m_root;
    int m_port = 0;
    std::unique_ptr<ostest::ChildProcess> m_manager;
    std::unique_ptr<ostest::ChildProcess> m_opcwatch;
};

TEST_F(OwnProcesses, ADeviceManagerRestartGivesBadReadsUntilTheDeviceIsBack)
{
    ASSERT_EQ(readStatus(), 0);
    stopDeviceManager();
    // BadInternalError while the device is away.
    EXPECT_EQ(readStatus(), 0x80020000);
    startDeviceManager();
    EXPECT_TRUE(waitUntil([this] { return readStatus() == 0; }));
    EXPECT_EQ(jsonField(client({"read", m_url, kInt16}), "value"), -1234);
}

TEST_F(OwnProcesses, AVosRestartBuildsTheSameAddressSpace)
{
    const std::string before = treeOf(client({"dump", m_url}));
    ASSERT_NE(before.find("Modules|General|Data Store|0x8nn1|0x03"), std::string::npos) << before;
    std::string out;
    ASSERT_EQ(vostest::Run("vostool", {"--port", "Opcwatch", "write", "1", "0"}, out), 0) << out;
    ASSERT_TRUE(waitUntil([this] { return listens(m_port); }));
    EXPECT_EQ(treeOf(client({"dump", m_url})), before);
}

// The shipped configuration sets MaxSessionCount and MaxSessionTimeout to 0: that stands for the
// server's ceilings (100 sessions, one hour), not for no limit. A connection creating 120 sessions
// and activating none pushes its own oldest out, and a fresh client is served.
TEST_F(OwnProcesses, AMaximumOfZeroSessionsIsTheServersCeilingNotNoLimit)
{
    const ProcessResult result = runNodeScript({}, "../uaserver/node/hostile_clients.js",
                                               {m_url, "flood", "120"}, {"HOME=" + m_root.Path()}, 300);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(jsonText(result.output, "created"), "Good:120") << result.output;
    EXPECT_EQ(jsonField(result.output, "revisedTimeout"), 3600000) << result.output;
    EXPECT_EQ(jsonText(result.output, "fresh"), "Good") << result.output;
    EXPECT_EQ(jsonText(result.output, "firstOfFlood"), "BadSessionIdInvalid") << result.output;
}

// The outside client under each policy of the default configuration. The first secured contact
// is refused and the client's certificate kept with the rejected ones; once an administrator moves
// it into the trust list with the README's steps, every policy and mode opens an anonymous session. A user
// name is not offered, so such a session is refused, by the outside client itself and by the server.
TEST_F(OwnProcesses, EveryPolicyServesAnAnonymousSessionWithBuildInfoAndTheCompanionModels)
{
    const std::string home = m_root.Path() + "/home";
    const std::string pki = m_root.Path() + "/Opcwatch/PKI/CA/";
    fs::create_directories(home);
    const auto session =
        [&](const std::string& policy, const std::string& mode, const std::vector<std::string>& identity)
    {
        std::vector<std::string> options;
        if (policy == "Basic128Rsa15")
            options.push_back("--security-revert=CVE-2023-46809"); // PKCS #1 v1.5 decryption
        std::vector<std::string> args = {m_url, policy, mode};
        args.insert(args.end(), identity.begin(), identity.end());
        const ProcessResult result = runNodeScript(options, "opcwatch_session.js", args, {"HOME=" + home});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    };
    const auto certificatesIn = [](const std::string& folder)
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() != ".crl")
                found.push_back(entry.path());
        return found;
    };

    const std::string refused = session("Basic256", "SignAndEncrypt", {"anonymous"});
    EXPECT_EQ(jsonField(refused, "session"), -1) << refused;
    const std::vector<fs::path> rejected = certificatesIn(pki + "crl");
    ASSERT_EQ(rejected.size(), 1u);
    // The administrator's steps as the README gives them: list, check, move.
    const std::string thumbprint = rejected[0].stem().string();
    const std::vector<std::string> steps = readmeTrustSteps();
    ASSERT_EQ(steps.size(), 3u);
    int status = -1;
    EXPECT_EQ(shell(steps[0], status), rejected[0].string() + "\n");
    EXPECT_EQ(status, 0);
    std::string checked = shell(std::regex_replace(steps[1], std::regex("THUMBPRINT"), thumbprint), status);
    EXPECT_EQ(status, 0) << checked;
    checked.erase(std::remove(checked.begin(), checked.end(), ':'), checked.end());
    EXPECT_NE(checked.find("Fingerprint=" + thumbprint + "\n"), std::string::npos) << checked;
    EXPECT_NE(checked.find("subject="), std::string::npos) << checked;
    EXPECT_EQ(shell(std::regex_replace(steps[2], std::regex("THUMBPRINT"), thumbprint), status), "");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(certificatesIn(pki + "crl").empty());

    const std::pair<const char*, const char*> rows[] = {{"None", "None"},
                                                        {"Basic128Rsa15", "Sign"},
                                                        {"Basic128Rsa15", "SignAndEncrypt"},
                                                        {"Basic256", "Sign"},
                                                        {"Basic256", "SignAndEncrypt"}};
    for (const auto& [policy, mode] : rows)
    {
        SCOPED_TRACE(std::string(policy) + " " + mode);
        const std::string out = session(policy, mode, {"anonymous"});
        EXPECT_EQ(jsonField(out, "session"), 1) << out;
        EXPECT_EQ(jsonField(out, "closed"), 1) << out;
        for (const char* part :
             {"\"tokens\":[\"Anonymous\"]", "\"manufacturerName\":\"Corvanta\"",
              "\"productName\":\"QbOpcUaServer\"",
              "\"http://opcfoundation.org/UA/DI/\",\"http://PLCopen.org/OpcUa/IEC61131-3/\",\"GKT\"]",
              "\"nsu=http://opcfoundation.org/UA/DI/;i=5001 DeviceSet\"", "\"nsu=GKT;s=GKT GKT\"",
              "\"nsu=http://PLCopen.org/OpcUa/IEC61131-3/;i=5030 CtrlTypes\""})
            EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
    }
    for (const auto& [policy, mode] : {rows[0], rows[4]})
    {
        SCOPED_TRACE(std::string(policy) + " " + mode + " user name");
        const std::string out = session(policy, mode, {"user", "operator", "secret"});
        EXPECT_EQ(jsonField(out, "session"), -1) << out;
        EXPECT_NE(out.find("\"error\""), std::string::npos) << out;
    }
    // The outside client stops at the offer by itself; the server refuses a client that sends a
    // user name anyway, though Opcwatch's logon would take it.
    ASSERT_EQ(0, UaPlatformLayer::init());
    {
        uaservertest::StackClient stack;
        ASSERT_EQ(OpcUa_Good, stack.connect(m_url));
        ASSERT_EQ(OpcUa_Good, stack.createSession());
        EXPECT_EQ(OpcUa_BadIdentityTokenInvalid, stack.activateWithUserName("operator", "secret"));
        EXPECT_EQ(OpcUa_Good, stack.activateSession());
        EXPECT_EQ(OpcUa_Good, stack.closeSession());
        stack.disconnect();
    }
    UaPlatformLayer::cleanup();
}
} // namespace
