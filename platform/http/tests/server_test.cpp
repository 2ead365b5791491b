#include "raw_client.h"

#include <http/server.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using httptest::bodyOf;
using httptest::exchange;
using httptest::get;
using httptest::RawClient;
using httptest::statusOf;

namespace
{
constexpr auto kForever = std::chrono::hours(1);

void addRoutes(http::Server& server)
{
    server.route("GET", "/hello",
                 [](const http::Request& request, http::Response& response)
                 { response.body = "hello " + request.remoteAddress; });
    server.route("POST", "/echo",
                 [](const http::Request& request, http::Response& response)
                 {
                     response.body = request.body;
                     response.contentType = "application/octet-stream";
                     response.headers.emplace_back("X-Length", std::to_string(request.body.size()));
                 });
    server.route("GET", "/files/*",
                 [](const http::Request& request, http::Response& response)
                 {
                     response.body = request.path + "|" + request.query + "|" +
                                     request.parameter("x").value_or("<none>") + "|" +
                                     request.header("x-probe");
                 });
    server.route("GET", "/throw",
                 [](const http::Request&, http::Response&) { throw std::runtime_error("broken"); });
}

// Waits, without a tight window, until the condition holds.
bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Whether a server of ours still answers on the port. A refused connection is the usual
// sign of a stopped one, but the port may already serve another process, or a connect to
// a closed port may meet itself: only an answer of our route counts.
bool stillAnswers(uint16_t port)
{
    try
    {
        RawClient client(port);
        client.send("GET /hello HTTP/1.1\r\n\r\n");
        return bodyOf(client.receiveAll(std::chrono::seconds(5))).rfind("hello ", 0) == 0;
    }
    catch (const std::runtime_error&)
    {
        return false;
    }
}

std::string postEcho(size_t bodySize)
{
    return "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(bodySize) +
           "\r\n\r\n" + std::string(bodySize, 'b');
}
} // namespace

TEST(HttpServer, ServesOnAFreePortAndRoutes)
{
    http::Server server;
    addRoutes(server);
    EXPECT_EQ(server.port(), 0);
    ASSERT_TRUE(server.start());
    ASSERT_NE(server.port(), 0);

    struct Row
    {
        const char* request;
        int status;
        const char* body;
    };
    const std::vector<Row> rows = {
        {"GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200, "hello 127.0.0.1"},
        {"GET /hello HTTP/1.0\r\n\r\n", 200, "hello 127.0.0.1"},
        {"GET /files/a%5Cb/c.gif?x=1+2&y=%41 HTTP/1.1\r\nX-Probe: seen\r\n\r\n", 200,
         "/files/a\\b/c.gif|x=1+2&y=%41|1 2|seen"},
        {"GET /files/plain HTTP/1.1\r\n\r\n", 200, "/files/plain||<none>|"},
        {"GET /nothing HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"DELETE /hello HTTP/1.1\r\n\r\n", 405, "Method Not Allowed"},
        {"GET /throw HTTP/1.1\r\n\r\n", 500, "Internal Server Error"},
        {"POST /echo HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde", 200, "abcde"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.request);
        const std::string answer = exchange(server.port(), row.request);
        EXPECT_EQ(statusOf(answer), row.status) << answer;
        EXPECT_EQ(bodyOf(answer), row.body);
        EXPECT_NE(answer.find("Connection: close"), std::string::npos);
    }
    EXPECT_NE(exchange(server.port(), postEcho(3)).find("X-Length: 3"), std::string::npos);
}

TEST(HttpServer, RefusesWhatIsBeyondItsLimitsAndServesOn)
{
    http::ServerOptions options;
    options.maxHeaderBytes = 1024;
    options.maxBodyBytes = 2048;
    http::Server server(options);
    addRoutes(server);
    ASSERT_TRUE(server.start());

    std::string manyHeaders = "GET /hello HTTP/1.1\r\n";
    for (int i = 0; i < 40; ++i)
        manyHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(20, 'f') + "\r\n";
    manyHeaders += "\r\n";
    struct Row
    {
        const char* label;
        std::string request;
        int status;
    };
    const std::vector<Row> rows = {
        {"body at the limit", postEcho(2048), 200},
        {"body over the limit", postEcho(2049), 413},
        {"announced body far over the limit", "POST /echo HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n",
         413},
        {"headers over the limit", manyHeaders, 431},
        {"request line over the limit", "GET /" + std::string(2000, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"no version", "GET /hello\r\n\r\n", 400},
        {"unknown version", "GET /hello HTTP/2.0\r\n\r\n", 400},
        {"empty target", "GET  HTTP/1.1\r\n\r\n", 400},
        {"bad method", "G(T /hello HTTP/1.1\r\n\r\n", 400},
        {"control character in the target", std::string("GET /he\x01llo HTTP/1.1\r\n\r\n"), 400},
        {"NUL in the decoded path", "GET /files/a.js%00.htm HTTP/1.1\r\n\r\n", 400},
        {"header without colon", "GET /hello HTTP/1.1\r\nNoColon\r\n\r\n", 400},
        {"folded header", "GET /hello HTTP/1.1\r\nX-A: 1\r\n continued\r\n\r\n", 400},
        {"bare line feed", "GET /hello HTTP/1.1\r\nX-A: 1\nX-B: 2\r\n\r\n", 400},
        {"control character in a value", std::string("GET /hello HTTP/1.1\r\nX-A: a\x02z\r\n\r\n"), 400},
        {"length no number", "POST /echo HTTP/1.1\r\nContent-Length: 12a\r\n\r\n", 400},
        {"two lengths", "POST /echo HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
        {"chunked body", "POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         411},
        {"unknown method of the library", "BREW /hello HTTP/1.1\r\n\r\n", 400},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        const std::string answer = exchange(server.port(), row.request);
        EXPECT_EQ(statusOf(answer), row.status) << answer.substr(0, 200);
        if (row.status == 200)
        {
            EXPECT_EQ(bodyOf(answer).size(), 2048u);
        }
        EXPECT_EQ(statusOf(get(server.port(), "/hello")), 200) << "the server serves on";
    }
}

TEST(HttpServer, ExpectContinueGetsOneInterimAnswer)
{
    http::Server server;
    addRoutes(server);
    ASSERT_TRUE(server.start());
    RawClient client(server.port());
    ASSERT_TRUE(client.send("POST /echo HTTP/1.1\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n"));
    std::string interim;
    ASSERT_TRUE(eventually(
        [&]
        {
            interim += client.receiveAll(std::chrono::seconds(0));
            return interim.find("\r\n\r\n") != std::string::npos;
        }));
    EXPECT_EQ(interim, "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(client.send("data"));
    const std::string answer = client.receiveAll();
    EXPECT_EQ(statusOf(answer), 200) << answer;
    EXPECT_EQ(bodyOf(answer), "data");
}

TEST(HttpServer, SlowClientsAreCutAtTheTimeOut)
{
    http::ServerOptions options;
    options.requestTimeout = std::chrono::milliseconds(1000);
    options.workers = 3;
    http::Server server(options);
    addRoutes(server);
    ASSERT_TRUE(server.start());

    RawClient slowHead(server.port());
    ASSERT_TRUE(slowHead.send("GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    RawClient slowBody(server.port());
    ASSERT_TRUE(slowBody.send("POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\nhalf"));
    EXPECT_EQ(statusOf(get(server.port(), "/hello")), 200) << "others are served meanwhile";

    for (RawClient* client : {&slowHead, &slowBody})
    {
        const std::string answer = client->receiveAll();
        EXPECT_EQ(statusOf(answer), 408) << answer;
        EXPECT_TRUE(client->closedByServer());
    }
    EXPECT_EQ(statusOf(get(server.port(), "/hello")), 200);
}

TEST(HttpServer, HalfSentRequestsKeepNoOneWaiting)
{
    http::ServerOptions options;
    options.requestTimeout = std::chrono::minutes(2);
    http::Server server(options);
    addRoutes(server);
    ASSERT_TRUE(server.start());
    const auto probe =
        httptest::getAmongIdleConnections(server.port(), "/hello", 64, std::chrono::seconds(30));
    EXPECT_EQ(statusOf(probe.answer), 200) << probe.answer;
    EXPECT_EQ(probe.idleWaiting, 64u) << "the idle ones wait on for the rest of their requests";
}

TEST(HttpServer, OverTheConnectionBoundTheLongestWaitingGivesWay)
{
    http::ServerOptions options;
    options.maxConnections = 4;
    options.workers = 4;
    http::Server server(options);
    addRoutes(server);
    std::atomic<int> held{0};
    std::atomic<bool> release{false};
    server.route("GET", "/hold",
                 [&](const http::Request&, http::Response& response)
                 {
                     ++held;
                     response.wait =
                         http::Wait{[&] { return release.load(); }, kForever,
                                    [](bool, http::Response& answer) { answer.body = "released"; }};
                 });
    ASSERT_TRUE(server.start());

    // Four idle connections fill the bound; a fifth, whole request is answered, and one
    // of the idle ones has made room for it.
    const auto probe =
        httptest::getAmongIdleConnections(server.port(), "/hello", 4, std::chrono::seconds(30));
    EXPECT_EQ(statusOf(probe.answer), 200) << probe.answer;
    EXPECT_EQ(probe.idleWaiting, 3u);

    // With every connection answered or parked, a newcomer is turned away.
    std::vector<std::future<std::string>> holders;
    for (int i = 0; i < 4; ++i)
        holders.push_back(std::async(std::launch::async, [&] { return get(server.port(), "/hold"); }));
    ASSERT_TRUE(eventually([&] { return held == 4; }));
    std::string refused;
    ASSERT_TRUE(eventually(
        [&]
        {
            // An idle connection not yet seen closed may still make room once.
            refused = get(server.port(), "/hello");
            return statusOf(refused) == 503;
        }));
    EXPECT_EQ(bodyOf(refused), "Service Unavailable");
    release = true;
    server.notify();
    for (auto& holder : holders)
        EXPECT_EQ(bodyOf(holder.get()), "released");
    EXPECT_EQ(statusOf(get(server.port(), "/hello")), 200);
}

TEST(HttpServer, ParkedRequestsHoldNoWorkerAndNotifyEndsTheirWait)
{
    http::ServerOptions options;
    options.workers = 2;
    http::Server server(options);
    addRoutes(server);
    std::atomic<int> version{0};
    server.route("GET", "/state",
                 [&](const http::Request& request, http::Response& response)
                 {
                     const int since = std::stoi(request.parameter("since").value_or("0"));
                     response.wait = http::Wait{[&version, since] { return version > since; }, kForever,
                                                [&version](bool changed, http::Response& answer)
                                                {
                                                    answer.status = changed ? 200 : 503;
                                                    answer.body = std::to_string(version.load());
                                                }};
                 });
    ASSERT_TRUE(server.start());

    std::vector<std::unique_ptr<RawClient>> parked;
    for (int i = 0; i < 32; ++i)
    {
        parked.push_back(std::make_unique<RawClient>(server.port()));
        ASSERT_TRUE(parked.back()->send("GET /state?since=0 HTTP/1.1\r\n\r\n"));
    }
    EXPECT_EQ(bodyOf(get(server.port(), "/hello")), "hello 127.0.0.1") << "answered while 32 requests wait";
    for (const auto& client : parked)
    {
        EXPECT_EQ(client->receiveAll(std::chrono::seconds(0)), "");
        EXPECT_FALSE(client->closedByServer());
    }
    version = 1;
    server.notify();
    for (const auto& client : parked)
    {
        const std::string text = client->receiveAll();
        EXPECT_EQ(statusOf(text), 200) << text;
        EXPECT_EQ(bodyOf(text), "1");
    }
    // A condition that already holds answers at once.
    EXPECT_EQ(bodyOf(get(server.port(), "/state?since=0")), "1");
}

TEST(HttpServer, StopWhileARequestIsHeldReturns)
{
    auto server = std::make_unique<http::Server>();
    addRoutes(*server);
    std::atomic<bool> waiting{false};
    std::atomic<bool> woken{false};
    server->route("GET", "/hold",
                  [&](const http::Request&, http::Response& response)
                  {
                      waiting = true;
                      response.wait = http::Wait{[] { return false; }, kForever,
                                                 [&](bool ready, http::Response& answer)
                                                 {
                                                     woken = true;
                                                     answer.status = ready ? 200 : 503;
                                                     answer.body =
                                                         server->stopping() ? "stopping" : "timed out";
                                                 }};
                  });
    ASSERT_TRUE(server->start());
    const uint16_t port = server->port();
    RawClient held(port);
    ASSERT_TRUE(held.send("GET /hold HTTP/1.1\r\n\r\n"));
    RawClient unfinished(port);
    ASSERT_TRUE(unfinished.send("GET /hold HTTP/1.1\r\n"));
    ASSERT_TRUE(eventually([&] { return waiting.load(); }));

    // A wait of an hour and a request that never ends: stop returns only because it ends both.
    server->stop();
    EXPECT_TRUE(woken);
    const std::string answer = held.receiveAll();
    EXPECT_EQ(statusOf(answer), 503);
    EXPECT_EQ(bodyOf(answer), "stopping");
    EXPECT_EQ(unfinished.receiveAll(), "");
    EXPECT_TRUE(unfinished.closedByServer());
    EXPECT_FALSE(stillAnswers(port)) << "no longer accepting";
    server.reset();
}

TEST(HttpServer, StopsFromAHandlerAndFromOtherThreads)
{
    {
        http::Server server;
        addRoutes(server);
        server.route("POST", "/stop",
                     [&](const http::Request&, http::Response& response)
                     {
                         server.stop();
                         response.body = server.stopping() ? "stopping" : "running";
                     });
        ASSERT_TRUE(server.start());
        const std::string answer =
            exchange(server.port(), "POST /stop HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
        EXPECT_EQ(statusOf(answer), 200);
        EXPECT_EQ(bodyOf(answer), "stopping");
        EXPECT_FALSE(stillAnswers(server.port()));
    }
    {
        http::Server server;
        addRoutes(server);
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(stillAnswers(server.port()));
        std::vector<std::thread> stoppers;
        for (int i = 0; i < 4; ++i)
            stoppers.emplace_back([&] { server.stop(); });
        for (std::thread& stopper : stoppers)
            stopper.join();
        EXPECT_TRUE(server.stopping());
        EXPECT_FALSE(stillAnswers(server.port()));
        EXPECT_FALSE(server.start()) << "a stopped server stays stopped";
    }
    {
        http::Server never;
        never.stop(); // before start: start then refuses
        EXPECT_FALSE(never.start());
    }
}

TEST(HttpServer, TwoServersOnTwoPortsInOneProcess)
{
    http::Server first;
    http::Server second;
    first.route("GET", "/name",
                [](const http::Request&, http::Response& response) { response.body = "first"; });
    second.route("GET", "/name",
                 [](const http::Request&, http::Response& response) { response.body = "second"; });
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    EXPECT_NE(first.port(), second.port());
    EXPECT_EQ(bodyOf(get(first.port(), "/name")), "first");
    EXPECT_EQ(bodyOf(get(second.port(), "/name")), "second");

    http::ServerOptions taken;
    taken.port = first.port();
    http::Server third(taken);
    EXPECT_FALSE(third.start()) << "a port in use is not shared";
    EXPECT_EQ(bodyOf(get(first.port(), "/name")), "first");

    first.stop();
    EXPECT_EQ(bodyOf(get(second.port(), "/name")), "second") << "stopping one leaves the other serving";
}
