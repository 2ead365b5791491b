// The test server driven by the real outside client (node-opcua-client run by
// Node.js): session and reads over one and several connections at once, and
// token renewals during a run.
#include "uatcp_node_runner.h"
#include "uatcp_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace uatcp::test;

namespace
{
ProcessResult runNode(const std::vector<std::string>& args)
{
    return runNodeScript({}, "session.js", args);
}

long field(const std::string& json, const std::string& name)
{
    return jsonField(json, name);
}

void expectSummary(const ProcessResult& r, const std::string& url)
{
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("\"double\":3.5"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"text\":\"uatcp\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"endpointUrl\":\"" + url + "\""), std::string::npos) << r.output;
    EXPECT_EQ(field(r.output, "endpoints"), 1);
    EXPECT_EQ(field(r.output, "arrayLength"), kBigArrayLength);
    EXPECT_EQ(field(r.output, "arrayLast"), kBigArrayLength - 1);
}

bool waitUntil(const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}
} // namespace

struct UatcpNodeClient : ::testing::Test
{
    TestServer server;
    void SetUp() override { ASSERT_TRUE(server.start()); }
};

TEST_F(UatcpNodeClient, SessionReadsAndDisconnect)
{
    ProcessResult r = runNode({server.url()});
    ASSERT_NO_FATAL_FAILURE(expectSummary(r, server.url()));
    EXPECT_EQ(server.sessionsCreated.load(), 1);
    EXPECT_GE(server.reads.load(), 1);
    // The client's disconnect closes its channels in order.
    EXPECT_TRUE(waitUntil([&] { return server.closed.load() == server.opened.load(); }));
    EXPECT_EQ(server.openFailed.load(), 0);
    EXPECT_EQ(server.unsupported.load(), 0);
    EXPECT_EQ(server.decodeErrors.load(), 0);
}

TEST_F(UatcpNodeClient, SeveralClientsAtOnce)
{
    constexpr int kClients = 4;
    std::vector<ProcessResult> results(kClients);
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back([&, i] { results[i] = runNode({server.url()}); });
    for (auto& t : threads)
        t.join();
    for (const auto& r : results)
        ASSERT_NO_FATAL_FAILURE(expectSummary(r, server.url()));
    EXPECT_EQ(server.sessionsCreated.load(), kClients);
    EXPECT_TRUE(waitUntil([&] { return server.closed.load() == server.opened.load(); }));
}

TEST_F(UatcpNodeClient, ShortTokenLifetimeIsRenewedDuringTheRun)
{
    ProcessResult r = runNode({server.url(), "2000", "3"});
    ASSERT_NO_FATAL_FAILURE(expectSummary(r, server.url()));
    EXPECT_GE(field(r.output, "renewals"), 3);
    EXPECT_GE(server.renewed.load(), 3);
}
