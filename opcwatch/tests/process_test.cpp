// Opcwatch's process, copied into a program folder of a fresh device root, once over the
// recording runtime and once as the program itself over the server library: a configuration
// file that cannot be read fails the start and leaves the process serving its Vos port, a Vos
// restart starts the server once the file is there and reads the trace level afresh, and
// SIGTERM stops it in order.
#include "opcwatchtrace.h"

#include "freeport.h"

#include "test_support.h"
#include "testsupport.h"

#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace
{
const std::string kConfiguration = R"(<?xml version="1.0"?>
<OpcServerConfig><UaServerConfig>
<ServerInstanceUri>urn:[NodeName]:Corvanta:Opcwatch</ServerInstanceUri>
<UaEndpoint><Url>4840</Url><SerializerType>Binary</SerializerType>
<SecuritySetting><SecurityPolicy>http://opcfoundation.org/UA/SecurityPolicy#None</SecurityPolicy>
<MessageSecurityMode>None</MessageSecurityMode></SecuritySetting></UaEndpoint>
</UaServerConfig></OpcServerConfig>
)";

struct Program
{
    const char* name;
    const char* version; // as vostool shows the version record
    bool serves;         // a running server accepts connections on its port
};

class OpcwatchProcessTest : public ::testing::TestWithParam<Program>
{
protected:
    void SetUp() override
    {
        for (const char* folder : {"certs", "private", "crl"})
            fs::create_directories(m_folder + "/PKI/CA/" + folder);
        fs::copy_file(os::programDirectory() + "/" + GetParam().name, m_program);
        // Every level-6 line of the start reaches the trace.
        readTraceLevel();
        setTraceLevel(6);
        // The copy finds its libraries in the build's folder.
        ::setenv("LD_LIBRARY_PATH", os::programDirectory().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("LD_LIBRARY_PATH"); }

    static void setTraceLevel(DWORD level)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration", 0,
                                KEY_WRITE, &key),
                  ERROR_SUCCESS);
        RegSetValueExW(key, u"TraceLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
        RegCloseKey(key);
    }
    // Whether the trace holds an entry line, which only level 6 writes.
    bool traceHasEntryLines() const
    {
        std::ifstream in(trace());
        const std::string text(std::istreambuf_iterator<char>(in), {});
        return text.find("--> COpcServerConfig::loadConfiguration") != std::string::npos;
    }

    std::string trace() const { return m_folder + "/_Opcwatch.log"; }

    // vostool on the port "Opcwatch": its output, or "exit N" when it fails.
    static std::string vostool(const std::vector<std::string>& args)
    {
        std::vector<std::string> all = {"--port", "Opcwatch"};
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        const int code = vostest::Run("vostool", all, out);
        return code == 0 ? out : "exit " + std::to_string(code);
    }

    // The message of the trace file's last line.
    std::string lastTraceLine() const
    {
        std::ifstream in(trace());
        std::string last;
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                last = line;
        return last.substr(last.find("* ") == std::string::npos ? 0 : last.find("* ") + 2);
    }

    vostest::DeviceRoot m_root;
    const std::string m_folder = m_root.Path() + "/Program";
    const std::string m_program = m_folder + "/" + GetParam().name;
};

TEST_P(OpcwatchProcessTest, AnUnreadableFileLeavesTheVosPortAndARestartStartsTheServer)
{
    ostest::ChildProcess opcwatch({}, m_program);
    ASSERT_TRUE(vostest::WaitForText(trace(), "Failed to start core module", std::chrono::seconds(60)));
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 6\n");
    EXPECT_EQ(vostool({"info"}), std::string("name: Opcwatch\nversion: ") + GetParam().version + "\n");

    const int port = uaservertest::freePort();
    std::ofstream(m_folder + "/Opcwatch.xml") << std::regex_replace(
        kConfiguration, std::regex("<Url>4840</Url>"), "<Url>" + std::to_string(port) + "</Url>");
    EXPECT_EQ(vostool({"write", "1", "0"}), "");
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 5\n");
    EXPECT_EQ(uaservertest::listens(port), GetParam().serves);
    // The first start with the file made the server's certificate.
    EXPECT_TRUE(fs::exists(m_folder + "/PKI/CA/certs/Corvanta_Opcwatch.der"));
    EXPECT_EQ(vostool({"--as", "u32", "read", "5000", "110", "4"}), "2\n");
    std::string path = m_folder + "/Opcwatch.xml";
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_EQ(vostool({"--as", "str", "read", "5000", "120", "400"}), path + "\n");

    // Each restart reads the registry's level afresh: level 2 writes no entry lines, 6 does.
    for (DWORD level : {2u, 6u})
    {
        SCOPED_TRACE(level);
        setTraceLevel(level);
        fs::remove(trace());
        EXPECT_EQ(vostool({"write", "1", "0"}), "");
        EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 5\n");
        EXPECT_EQ(traceHasEntryLines(), level == 6);
    }

    opcwatch.signal(SIGTERM);
    const int status = opcwatch.wait(60000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(lastTraceLine(), "Close trace.");
    EXPECT_FALSE(uaservertest::listens(port));
}

// The recording runtime opens no port; the program without a device manager runs without GKT.
INSTANTIATE_TEST_SUITE_P(Programs, OpcwatchProcessTest,
                         ::testing::Values(Program{"opcwatch_testserver", "2.3.1234", false},
                                           Program{"opcwatch", "1.0.0", true}),
                         [](const auto& info) { return std::string(info.param.name); });
} // namespace
