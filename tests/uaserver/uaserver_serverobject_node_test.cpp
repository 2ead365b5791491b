// The Server object of uaserver_testserver as the outside client (node-opcua-client) reads it over
// loopback.
#include "test_certificates.h"
#include "testserver_process.h"
#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <string>

using namespace uaservertest;
using uatcp::test::jsonField;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

TEST(ServerObjectOverTheWire, StatusTimeStatisticsAndEveryAttributeBelowTheServer)
{
    TestServerProcess server({"--policy", "None"});
    ASSERT_FALSE(server.url().empty());
    // The client keeps its certificate below its own home.
    const sectest::TempFolder home;
    const ProcessResult r = runNodeScript({}, "server_object.js", {server.url()}, {"HOME=" + home.path()});
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("\"error\"")) << r.output;
    // ServerStatus decodes with its build information; State Running.
    EXPECT_EQ(0, jsonField(r.output, "statusState")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"productName\":\"uaserver_testserver\"")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"manufacturerName\":\"uaserver tests\"")) << r.output;
    EXPECT_EQ(1, jsonField(r.output, "currentTimeAdvances")) << r.output;
    // ObjectStatistics_Session counts the sessions of the connected clients.
    EXPECT_EQ(1, jsonField(r.output, "sessionsWithOne")) << r.output;
    EXPECT_EQ(2, jsonField(r.output, "sessionsWithTwo")) << r.output;
    EXPECT_EQ(8, jsonField(r.output, "stateTexts")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("\"stateText7\":\"Unknown\"")) << r.output;
    EXPECT_LT(50, jsonField(r.output, "nodesBelowServer")) << r.output;
    EXPECT_EQ(0, jsonField(r.output, "unexpectedAttributes")) << r.output;
    EXPECT_EQ(1, jsonField(r.output, "closed")) << r.output;
    EXPECT_EQ(0, server.stop());
}
