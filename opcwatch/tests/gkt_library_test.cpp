// The import when Profilelink cannot be bound: the node manager runs in a helper process whose
// program folder holds an unloadable library, or one that lacks an export.
#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{
namespace fs = std::filesystem;

class GktLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/gktlib-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        fs::copy_file(os::programDirectory() + "/gkt_import_helper", m_folder + "/gkt_import_helper");
        fs::permissions(m_folder + "/gkt_import_helper", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // The helper's trace lines; its libraries come from the build's folder, Profilelink from its own.
    std::string runHelper()
    {
        const std::string command = "DEVICE_ROOT=" + m_folder + " LD_LIBRARY_PATH=" + os::programDirectory() +
                                    " " + m_folder + "/gkt_import_helper";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        EXPECT_EQ(pipe ? ::pclose(pipe) : -1, 0) << output;
        return output;
    }

    std::string m_folder;
};

TEST_F(GktLibraryTest, AnUnloadableLibraryIsReportedWithThePlatformError)
{
    std::ofstream(m_folder + "/libProfilelink.so") << "not a library";
    const std::string output = runHelper();
    EXPECT_NE(output.find("1|CUaGktNodeManager::LoadGkt() - LoadGKTApi failed (0x0000007e)\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("6|<-- CUaGktNodeManager::LoadGkt() [OpcUa_Bad]\n"), std::string::npos) << output;
}

TEST_F(GktLibraryTest, ALibraryWithoutAllExportsIsRefusedByTheImport)
{
    fs::copy_file(os::programDirectory() + "/gktstripped/libProfilelink.so", m_folder + "/libProfilelink.so");
    const std::string output = runHelper();
    EXPECT_NE(output.find("3|CUaGktNodeManager::LoadGkt() - GKT Api successfully loaded\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("1|CUaGktNodeManager::LoadGkt() - GKTInfo import failed with 0xecaf0200\n"),
              std::string::npos)
        << output;
}
} // namespace
