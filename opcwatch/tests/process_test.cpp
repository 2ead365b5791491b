// Opcwatch's process, copied into a program folder of a fresh device root, once over the
// recording runtime and once as the program itself over the server library: a configuration
// file that cannot be read fails the start and leaves the process serving its Vos port, a Vos
// restart starts the server once the file is there and reads the trace level afresh, and
// SIGTERM stops it in order, also when it comes while the server starts.
#include "opcwatchtrace.h"

#include "freeport.h"

#include "test_support.h"
#include "test_waits.h"
#include "testsupport.h"

#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using uaserver::testing::eventually;

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

    // The configuration with a free port for the server.
    static std::string configuration(int port)
    {
        return std::regex_replace(kConfiguration, std::regex("<Url>4840</Url>"),
                                  "<Url>" + std::to_string(port) + "</Url>");
    }

    vostest::DeviceRoot m_root;
    const std::string m_folder = m_root.Path() + "/Program";
    const std::string m_program = m_folder + "/" + GetParam().name;
};

// Whether a signal sent to the process was taken: no longer pending, or the process has ended
// (a signal that ended it may stay marked pending).
bool signalTaken(int pid, int number)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    bool ended = false;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("State:", 0) == 0)
            ended = line.find('Z') != std::string::npos || line.find('X') != std::string::npos;
        else if (line.rfind("ShdPnd:", 0) == 0)
            return ended || ((std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1) == 0;
    return true;
}

TEST_P(OpcwatchProcessTest, AnUnreadableFileLeavesTheVosPortAndARestartStartsTheServer)
{
    ostest::ChildProcess opcwatch({}, m_program);
    ASSERT_TRUE(vostest::WaitForText(trace(), "Failed to start core module", std::chrono::seconds(60)));
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 6\n");
    EXPECT_EQ(vostool({"info"}), std::string("name: Opcwatch\nversion: ") + GetParam().version + "\n");

    const int port = uaservertest::freePort();
    std::ofstream(m_folder + "/Opcwatch.xml") << configuration(port);
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

TEST_P(OpcwatchProcessTest, ASigtermWhileTheServerStartsStopsItInOrder)
{
    // The configuration is a pipe: its first reading holds the start until the test writes.
    const std::string file = m_folder + "/Opcwatch.xml";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ostest::ChildProcess opcwatch({}, m_program);
    int writer = -1;
    ASSERT_TRUE(eventually([&] { return (writer = ::open(file.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }))
        << "the start did not open its configuration";

    opcwatch.signal(SIGTERM);
    EXPECT_TRUE(eventually([&] { return signalTaken(opcwatch.pid(), SIGTERM); }));
    // The start goes on, with the file or with an empty pipe, and the stop request ends the loop.
    std::ofstream(file + ".new") << configuration(uaservertest::freePort());
    fs::rename(file + ".new", file);
    ::close(writer);
    const int status = opcwatch.wait(60000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The recording runtime opens no port; the program without a device manager runs without GKT.
INSTANTIATE_TEST_SUITE_P(Programs, OpcwatchProcessTest,
                         ::testing::Values(Program{"opcwatch_testserver", "2.3.1234", false},
                                           Program{"opcwatch", "1.0.0", true}),
                         [](const auto& info) { return std::string(info.param.name); });
} // namespace
