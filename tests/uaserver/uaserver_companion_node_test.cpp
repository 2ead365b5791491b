// uaserver_testserver with the DI and PLCopen models, driven by the outside client over loopback:
// both models browsed from Root, the namespace table, every attribute of every node of both, and a
// refused Call on a MethodSet that leaves the session working.
#include "testserver_process.h"
#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using uaservertest::TestServerProcess;
using uatcp::test::jsonField;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

namespace
{
bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
} // namespace

TEST(CompanionModelsOnTheWire, AClientBrowsesReadsAndCallsBothModels)
{
    TestServerProcess server({"--models", "companion"});
    ASSERT_FALSE(server.url().empty());
    // The client keeps its PKI below a home of its own.
    char home[] = "/tmp/uaserver_companion_XXXXXX";
    ASSERT_NE(::mkdtemp(home), nullptr);
    const ProcessResult r =
        runNodeScript({}, "companion_models.js", {server.url()}, {std::string("HOME=") + home});
    std::filesystem::remove_all(home);
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_FALSE(contains(r.output, "\"error\"")) << r.output;

    EXPECT_TRUE(contains(r.output, "\"deviceSet\":\"ns=2;i=5001\"")) << r.output;
    EXPECT_TRUE(contains(r.output, "\"ctrlTypes\":\"ns=3;i=5030\"")) << r.output;
    EXPECT_EQ(0, jsonField(r.output, "ctrlTypesChildren")) << r.output;
    EXPECT_TRUE(contains(r.output,
                         "\"subtypePath\":[\"ns=2;i=1001\",\"ns=2;i=1003\",\"ns=3;i=1003\",\"ns=3;i=1004\"]"))
        << r.output;
    EXPECT_TRUE(contains(r.output, "\"deviceTypeProperties\":[\"DeviceManual\",\"DeviceRevision\","
                                   "\"HardwareRevision\",\"Manufacturer\",\"Model\",\"RevisionCounter\","
                                   "\"SerialNumber\",\"SoftwareRevision\"]"))
        << r.output;
    EXPECT_TRUE(contains(r.output, "\"methods\":[\"Start\",\"Stop\"]")) << r.output;
    EXPECT_TRUE(contains(r.output, "\"namespaceArray\":[\"http://opcfoundation.org/UA/\",\"urn:"))
        << r.output;
    EXPECT_TRUE(
        contains(r.output, "\"http://opcfoundation.org/UA/DI/\",\"http://PLCopen.org/OpcUa/IEC61131-3/\"]"))
        << r.output;

    // 24 DI and 34 PLCopen nodes, 22 attributes each, every one Good or BadAttributeIdInvalid.
    EXPECT_EQ(58, jsonField(r.output, "companionNodes")) << r.output;
    EXPECT_EQ(58 * 22, jsonField(r.output, "attributesRead")) << r.output;
    EXPECT_TRUE(contains(r.output, "\"unexpected\":[]")) << r.output;

    EXPECT_TRUE(contains(r.output, "\"callStatus\":\"BadMethodInvalid\"")) << r.output;
    EXPECT_TRUE(contains(r.output, "\"afterCall\":\"Good\"")) << r.output;
    EXPECT_EQ(0, server.stop());
}
