// A normal request's latency on the HTTP server of our programs (the layer under the UPnP
// host and the dialog pages) with no other connection open, and with 64 connections that
// sent half a request and wait: the median of each and their ratio. Rounds alternate the
// two, so that a busy machine weighs on both alike.
#include "raw_client.h"

#include <http/server.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;
constexpr int kRequestsPerRound = 200;
constexpr size_t kIdleConnections = 64;

// Microseconds of each whole exchange: connect, request, answer, close.
void timeRequests(uint16_t port, std::vector<double>& micros)
{
    for (int i = 0; i < kRequestsPerRound; ++i)
    {
        const Clock::time_point start = Clock::now();
        const std::string answer = httptest::get(port, "/hello");
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (httptest::statusOf(answer) != 200)
        {
            std::fprintf(stderr, "http_idle_bench: no answer\n");
            std::exit(1);
        }
    }
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}
} // namespace

int main()
{
    http::ServerOptions options;
    // The idle connections stay for the whole run instead of being cut at the time-out.
    options.requestTimeout = std::chrono::minutes(10);
    http::Server server(options);
    server.route("GET", "/hello",
                 [](const http::Request&, http::Response& response) { response.body = "hello"; });
    if (!server.start())
    {
        std::fprintf(stderr, "http_idle_bench: cannot serve\n");
        return 1;
    }
    std::vector<double> alone;
    std::vector<double> amongIdle;
    for (int round = 0; round < kRounds; ++round)
    {
        timeRequests(server.port(), alone);
        std::vector<std::unique_ptr<httptest::RawClient>> idle;
        for (size_t i = 0; i < kIdleConnections; ++i)
        {
            idle.push_back(std::make_unique<httptest::RawClient>(server.port()));
            idle.back()->send("GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
        timeRequests(server.port(), amongIdle);
    }
    const double without = median(alone);
    const double with = median(amongIdle);
    std::printf(
        "normal request, median of %zu: %.1f us with 0 idle connections, %.1f us with %zu; ratio %.2f\n",
        alone.size(), without, with, kIdleConnections, with / without);
    return 0;
}
