// Opcwatch's process, copied into a program folder of a fresh device root: a configuration
// file that cannot be read fails the start and leaves the process serving its Vos port, a
// Vos restart starts the server once the file is there, and SIGTERM stops it in order.
#include "opcwatchtrace.h"

#include "test_support.h"
#include "testsupport.h"

#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

class OpcwatchProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* folder : {"certs", "private", "crl"})
            fs::create_directories(m_folder + "/PKI/CA/" + folder);
        fs::copy_file(os::programDirectory() + "/opcwatch_testserver", m_folder + "/opcwatch_testserver");
        // Every level-6 line of the start reaches the trace.
        readTraceLevel();
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration", 0,
                                KEY_WRITE, &key),
                  ERROR_SUCCESS);
        const DWORD level = 6;
        RegSetValueExW(key, u"TraceLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
        RegCloseKey(key);
        // The copy finds its libraries in the build's folder.
        ::setenv("LD_LIBRARY_PATH", os::programDirectory().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("LD_LIBRARY_PATH"); }

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
};

TEST_F(OpcwatchProcessTest, AnUnreadableFileLeavesTheVosPortAndARestartStartsTheServer)
{
    ostest::ChildProcess opcwatch({}, m_folder + "/opcwatch_testserver");
    ASSERT_TRUE(vostest::WaitForText(trace(), "Failed to start core module", std::chrono::seconds(60)));
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 6\n");
    EXPECT_EQ(vostool({"info"}), "name: Opcwatch\nversion: 2.3.1234\n");

    std::ofstream(m_folder + "/Opcwatch.xml") << kConfiguration;
    EXPECT_EQ(vostool({"write", "1", "0"}), "");
    EXPECT_EQ(vostool({"state"}), "vos state: 5\ndevice state: 5\n");
    // The first start with the file made the server's certificate.
    EXPECT_TRUE(fs::exists(m_folder + "/PKI/CA/certs/Corvanta_Opcwatch.der"));
    EXPECT_EQ(vostool({"--as", "u32", "read", "5000", "110", "4"}), "2\n");
    std::string path = m_folder + "/Opcwatch.xml";
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_EQ(vostool({"--as", "str", "read", "5000", "120", "400"}), path + "\n");

    opcwatch.signal(SIGTERM);
    const int status = opcwatch.wait(60000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(lastTraceLine(), "Close trace.");
}
} // namespace
