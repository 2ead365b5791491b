// Opcwatch's process, copied into a program folder of a fresh device root, once over the
// recording runtime and once as the program itself over the server library: a configuration
// file that cannot be read fails the start and leaves the process serving its Vos port, a Vos
// restart starts the server once the file is there and reads the trace level afresh, and
// SIGTERM stops it in order, also when it comes while the server starts. Then the program at
// trace level 0 as an operator meets it: every broken configuration tells its cause on the
// standard error and in the event log; SIGTERM ends it in order while the Vos router keeps it
// waiting and on a read-only device root; a full disk during its first start leaves no
// certificate file, and the start after it serves.
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
#include <functional>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <netinet/in.h>
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

// vostool on the port "Opcwatch": its output, or "exit N" when it fails.
std::string vostool(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--port", "Opcwatch"};
    all.insert(all.end(), args.begin(), args.end());
    std::string out;
    const int code = vostest::Run("vostool", all, out);
    return code == 0 ? out : "exit " + std::to_string(code);
}

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

// The program itself at trace level 0 (a new device root's), from a program folder with the
// build's default configuration on a free port. Its standard error goes to a file outside the
// device root, which a test may make read-only for the program.
class OpcwatchOperatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* folder : {"certs", "private", "crl"})
            fs::create_directories(m_folder + "/PKI/CA/" + folder);
        fs::copy_file(os::programDirectory() + "/opcwatch", m_program);
        std::ifstream in(os::programDirectory() + "/Opcwatch.xml");
        const std::string shipped(std::istreambuf_iterator<char>(in), {});
        m_configuration = std::regex_replace(shipped, std::regex("<Url>4840</Url>"),
                                             "<Url>" + std::to_string(m_port) + "</Url>");
        std::ofstream(m_folder + "/Opcwatch.xml") << m_configuration;
        char pattern[] = "/tmp/opcwatch-stderr-XXXXXX";
        const int file = ::mkstemp(pattern);
        ASSERT_GE(file, 0);
        ::close(file);
        m_stderr = pattern;
        ::setenv("LD_LIBRARY_PATH", os::programDirectory().c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("LD_LIBRARY_PATH");
        fs::remove(m_stderr);
    }

    // Whether this machine lets the test give the program a private mount namespace.
    static bool privateMountsWork()
    {
        return std::system("unshare -m --propagation private true 2>/dev/null") == 0;
    }

    // Starts the program; shell commands given run first in a mount namespace of its own.
    void start(const std::string& mounts = "")
    {
        const std::string run = "exec \"$0\" 2>\"$1\"";
        std::vector<std::string> arguments;
        if (!mounts.empty())
            arguments = {"unshare", "-m", "--propagation", "private"};
        arguments.insert(arguments.end(),
                         {"sh", "-c", mounts.empty() ? run : mounts + " && " + run, m_program, m_stderr});
        m_opcwatch = std::make_unique<ostest::ChildProcess>(arguments, "/usr/bin/env");
    }

    // Waits for the text on the program's standard error.
    bool told(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(90)) const
    {
        return vostest::WaitForText(m_stderr, text, timeout);
    }
    std::string stderrText() const { return vostest::ReadFile(m_stderr); }

    int stopWhileTheRouterHoldsTheStart(const std::string& mounts = "");

    // SIGTERM, then its exit status.
    int stop()
    {
        m_opcwatch->signal(SIGTERM);
        return m_opcwatch->wait(90000);
    }

    vostest::DeviceRoot m_root;
    const std::string m_folder = m_root.Path() + "/Program";
    const std::string m_program = m_folder + "/opcwatch";
    const int m_port = uaservertest::freePort();
    std::string m_configuration;
    std::string m_stderr;
    std::unique_ptr<ostest::ChildProcess> m_opcwatch;
};

const char kDidNotStart[] = "opcwatch: the OPC UA server did not start; no endpoint is open";

// Each broken configuration: its cause on the standard error and in the event log, the closing
// line, a stopped server (Vos device state 6) and, on a port nobody else holds, no listener.
TEST_F(OpcwatchOperatorTest, EachBrokenConfigurationTellsItsCauseAndOpensNoEndpoint)
{
    const std::string file = m_folder + "/Opcwatch.xml";
    const std::string port = std::to_string(m_port);
    const auto replace = [&](const std::string& from, const std::string& to)
    {
        const std::string changed = std::regex_replace(m_configuration, std::regex(from), to);
        ASSERT_NE(changed, m_configuration) << from;
        std::ofstream(file, std::ios::trunc) << changed;
    };
    const struct
    {
        const char* what;
        std::function<void()> breakIt;
        std::string cause;
    } rows[] = {
        {"no Opcwatch.xml", [&] { fs::remove(file); }, "Opcwatch.xml, Error 2)"},
        {"Opcwatch.xml cut short",
         [&]
         { std::ofstream(file, std::ios::trunc) << m_configuration.substr(0, m_configuration.size() / 2); },
         file + ", line "},
        {"Url abc", [&] { replace("<Url>" + port + "</Url>", "<Url>abc</Url>"); },
         "Url \"abc\" is no port number from 1 to 65535"},
        {"Url 99999", [&] { replace("<Url>" + port + "</Url>", "<Url>99999</Url>"); },
         "Url \"99999\" is no port number from 1 to 65535"},
        {"port 0", [&] { replace("<Url>" + port + "</Url>", "<Url>opc.tcp://localhost:0</Url>"); },
         "Url \"opc.tcp://localhost:0\" is no opc.tcp URL with a port from 1 to 65535"},
        {"SerializerType Xml", [&] { replace(">Binary<", ">Xml<"); },
         "SerializerType Xml of opc.tcp://localhost:" + port + " is not served, only Binary"},
        {"no PKI folder", [&] { fs::remove_all(m_folder + "/PKI"); },
         m_folder +
             "/PKI/CA/private/Corvanta_Opcwatch.pem.new: Could not open file for writing: No such file or "
             "directory"},
        {"no PKI/CA/private", [&] { fs::remove_all(m_folder + "/PKI/CA/private"); },
         m_folder +
             "/PKI/CA/private/Corvanta_Opcwatch.pem.new: Could not open file for writing: No such file or "
             "directory"},
        {"the port taken", [] {}, "cannot listen on 127.0.0.1 port " + port + ": Address already in use"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        for (const char* folder : {"certs", "private", "crl"})
            fs::create_directories(m_folder + "/PKI/CA/" + folder);
        std::ofstream(file, std::ios::trunc) << m_configuration;
        // The router keeps the event log open: this row's lines are those after its end now.
        const std::string eventLog = m_root.Path() + "/VosEvent.log";
        const size_t logged = vostest::ReadFile(eventLog).size();
        row.breakIt();
        // Another program holds the port on loopback in the last row.
        const bool taken = row.cause.find("Address already in use") != std::string::npos;
        const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
        if (taken)
        {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(m_port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(::listen(holder, 1), 0);
        }
        std::ofstream(m_stderr, std::ios::trunc).close();
        start();
        EXPECT_TRUE(told(kDidNotStart)) << stderrText();
        EXPECT_NE(stderrText().find(row.cause), std::string::npos) << stderrText();
        EXPECT_TRUE(eventually(
            [&] { return vostest::ReadFile(eventLog).find(row.cause, logged) != std::string::npos; }))
            << vostest::ReadFile(eventLog).substr(logged);
        EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 6\n");
        if (!taken)
        {
            EXPECT_FALSE(uaservertest::listens(m_port));
        }
        const int status = stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ::close(holder);
    }
}

// A router that takes the connection and never answers keeps the program waiting for its Vos
// port; SIGTERM then ends it in order once the router is gone, instead of killing it there.
// Returns the program's exit status.
int OpcwatchOperatorTest::stopWhileTheRouterHoldsTheStart(const std::string& mounts)
{
    const std::string path = m_root.Path() + "/vosrouter.sock";
    const int router = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    EXPECT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    EXPECT_EQ(::bind(router, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(router, 4), 0);
    start(mounts);
    pollfd waiting{router, POLLIN, 0};
    EXPECT_EQ(::poll(&waiting, 1, 90000), 1) << "the program did not ask for its Vos port";
    const int connection = ::accept(router, nullptr, nullptr);
    m_opcwatch->signal(SIGTERM);
    EXPECT_TRUE(eventually([&] { return signalTaken(m_opcwatch->pid(), SIGTERM); }));
    // The router goes: the program starts a real one, where it can, and goes on.
    ::close(connection);
    ::close(router);
    fs::remove(path);
    return m_opcwatch->wait(90000);
}

TEST_F(OpcwatchOperatorTest, ASigtermWhileTheVosRouterKeepsTheProgramWaitingEndsItInOrder)
{
    const int status = stopWhileTheRouterHoldsTheStart();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A read-only device root can hold no Vos router: that is told at once, the start goes on
// without the port and fails for want of a certificate, and a SIGTERM that came while the
// program waited for its port ends it in order.
TEST_F(OpcwatchOperatorTest, OnAReadOnlyDeviceRootTheFailuresAreToldAndASigtermEndsTheStartInOrder)
{
    if (!privateMountsWork())
        GTEST_SKIP() << "no private mount namespace here";
    const std::string root = m_root.Path();
    const int status = stopWhileTheRouterHoldsTheStart("mount --bind '" + root + "' '" + root +
                                                       "' && mount -o remount,ro,bind '" + root + "'");
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string told = stderrText();
    for (const std::string& line :
         {"vosrouter: cannot open " + root + "/vosrouter.lock: Read-only file system",
          std::string(
              "opcwatch: Vos port 11600 (Opcwatch) not opened; the server runs without its Vos requests"),
          "opcwatch: Failed to create the server certificate: " + m_folder +
              "/PKI/CA/private/Corvanta_Opcwatch.pem.new: Could not open file for writing: Read-only file "
              "system",
          std::string(kDidNotStart)})
        EXPECT_NE(told.find(line), std::string::npos) << line << "\n" << told;
}

// The first start on a disk that holds the key but not the certificate: told, no file of the
// pair is left (nothing a later start would keep as damaged), and once there is room a restart
// makes both and serves.
TEST_F(OpcwatchOperatorTest, AFullDiskDuringTheFirstStartLeavesNoCertificateFileAndTheNextStartServes)
{
    if (!privateMountsWork())
        GTEST_SKIP() << "no private mount namespace here";
    const std::string store = m_folder + "/PKI/CA";
    // One page: the key fits, the certificate does not.
    start("mount -t tmpfs -o size=4k tmpfs '" + store + "' && mkdir '" + store + "/certs' '" + store +
          "/private' '" + store + "/crl'");
    ASSERT_TRUE(told(kDidNotStart)) << stderrText();
    EXPECT_NE(
        stderrText().find("opcwatch: Failed to create the server certificate: " + store +
                          "/certs/Corvanta_Opcwatch.der.new: Could not write the file: No space left on "
                          "device"),
        std::string::npos)
        << stderrText();
    // The store as the program sees it.
    const std::string seen = "/proc/" + std::to_string(m_opcwatch->pid()) + "/root" + store;
    std::vector<std::string> left;
    for (const char* folder : {"/certs", "/private"})
        for (const auto& entry : fs::directory_iterator(seen + folder))
            left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{});

    std::string out;
    ASSERT_EQ(std::system(("nsenter -t " + std::to_string(m_opcwatch->pid()) +
                           " -m mount -o remount,size=1m '" + store + "'")
                              .c_str()),
              0);
    EXPECT_EQ(vostool({"write", "1", "0"}), "");
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 5\n");
    EXPECT_TRUE(uaservertest::listens(m_port));
    for (const char* file : {"/certs/Corvanta_Opcwatch.der", "/private/Corvanta_Opcwatch.pem"})
        EXPECT_GT(fs::file_size(seen + file), 0u) << file;
    const int status = stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
} // namespace
