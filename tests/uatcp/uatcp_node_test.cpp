// The test server driven by the real outside client (node-opcua-client run by
// Node.js): session and reads over one and several connections at once, and
// token renewals during a run.
#include "uatcp_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace uatcp::test;

namespace
{
struct ProcessResult
{
    int exitCode = -1;
    std::string output;
};

// Runs the client script with its arguments; killed after timeoutSeconds.
ProcessResult runNode(const std::vector<std::string>& args, int timeoutSeconds = 120)
{
    std::vector<std::string> argv = {UATCP_NODE, std::string(UATCP_NODE_SCRIPTS) + "/session.js"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ProcessResult result;
    if (spawned != 0)
    {
        close(pipeFds[0]);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buffer[4096];
    for (;;)
    {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(&p, 1, 200) <= 0)
            continue;
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

long field(const std::string& json, const std::string& name)
{
    size_t at = json.find("\"" + name + "\":");
    if (at == std::string::npos)
        return -1;
    return std::stol(json.substr(at + name.size() + 3));
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
