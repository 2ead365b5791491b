// The program directory and the default configuration beside the program.
#include "opcwatch_test_root.h"

#include "opcserverconfigdata.h"
#include "opcwatchpaths.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace
{
std::u16string deviceForm(const std::string& hostPath)
{
    std::u16string path = os::toUtf16(hostPath);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

class ProgramPathsTest : public OpcwatchTestRoot
{
};

TEST_F(ProgramPathsTest, FilesLieInTheProgramsFolder)
{
    const std::u16string directory = opcwatchProgramDirectory();
    EXPECT_EQ(directory, deviceForm(os::programDirectory()));
    EXPECT_EQ(opcwatchConfigurationFile(directory), directory + u"\\Opcwatch.xml");
    EXPECT_EQ(opcwatchTraceFile(directory), directory + u"\\_Opcwatch.log");
    EXPECT_EQ(opcwatchCertificateStoreRoot(directory), directory + u"\\");
}

TEST_F(ProgramPathsTest, ALongProgramPathIsNotCut)
{
    // Deeper than the 260 characters a fixed buffer would hold.
    std::string folder = hostPath("deep");
    while (folder.size() < 400)
        folder += "/a-rather-long-folder-name";
    std::filesystem::create_directories(folder);
    const std::string helper = folder + "/opcwatch_paths_helper";
    std::filesystem::copy_file(os::programDirectory() + "/opcwatch_paths_helper", helper);
    // The copy finds its libraries in the build's folder.
    const char* previous = std::getenv("LD_LIBRARY_PATH");
    const std::string saved = previous ? previous : "";
    ::setenv("LD_LIBRARY_PATH", os::programDirectory().c_str(), 1);
    ostest::ChildProcess child({}, helper);
    const std::string printed = child.readLine();
    const int status = child.wait();
    if (previous)
        ::setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
    else
        ::unsetenv("LD_LIBRARY_PATH");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(os::toUtf16(printed), deviceForm(folder));
}

TEST_F(ProgramPathsTest, TheDefaultConfigurationServesOnePortWithThreePolicies)
{
    OpcServerConfigData config;
    ASSERT_EQ(
        loadOpcServerConfigData(opcwatchConfigurationFile(opcwatchProgramDirectory()), "panel7", config),
        OpcUa_Good);
    EXPECT_EQ(config.m_serverInstanceUri, "urn:panel7:Corvanta:Opcwatch");
    ASSERT_EQ(config.m_endpoints.size(), 1u);
    const OpcEndpointConfig& endpoint = config.m_endpoints[0];
    EXPECT_EQ(endpoint.m_url, "opc.tcp://localhost:4840");
    EXPECT_EQ(endpoint.m_serializerType, OpcSerializerBinary);
    const std::string prefix = "http://opcfoundation.org/UA/SecurityPolicy#";
    const std::vector<std::pair<std::string, OpcUa_UInt32>> expected = {
        {prefix + "None", OpcMessageSecurityNone},
        {prefix + "Basic128Rsa15", OpcMessageSecuritySign | OpcMessageSecuritySignAndEncrypt},
        {prefix + "Basic256", OpcMessageSecuritySign | OpcMessageSecuritySignAndEncrypt},
    };
    std::vector<std::pair<std::string, OpcUa_UInt32>> settings;
    for (const OpcSecuritySettingConfig& setting : endpoint.m_securitySettings)
        settings.emplace_back(setting.m_securityPolicy, setting.m_messageSecurityModes);
    EXPECT_EQ(settings, expected);

    // The values written out in the file are those of a file without them.
    OpcServerConfigData defaults;
    EXPECT_EQ(config.m_maxRequestAge, defaults.m_maxRequestAge);
    EXPECT_EQ(config.m_maxSessionCount, defaults.m_maxSessionCount);
    EXPECT_EQ(config.m_minSessionTimeout, defaults.m_minSessionTimeout);
    EXPECT_EQ(config.m_maxSessionTimeout, defaults.m_maxSessionTimeout);
    EXPECT_EQ(config.m_maxBrowseContinuationPoints, defaults.m_maxBrowseContinuationPoints);
    EXPECT_EQ(config.m_minPublishingInterval, defaults.m_minPublishingInterval);
    EXPECT_EQ(config.m_minKeepAliveInterval, defaults.m_minKeepAliveInterval);
    EXPECT_EQ(config.m_requireUserAuthenticationForSession, defaults.m_requireUserAuthenticationForSession);
    EXPECT_EQ(config.m_defaultSubscriptionMode, defaults.m_defaultSubscriptionMode);
    EXPECT_EQ(config.m_sharedMutexCount, OpcServerConfigData::DefaultSharedMutexCount);
    EXPECT_TRUE(traceMessages().empty());
}
} // namespace
