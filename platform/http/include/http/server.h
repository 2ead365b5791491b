// The HTTP server of our programs: a small wrapper over the HTTP library that holds
// every request to limits before the library sees it. Each connection carries one
// request ("Connection: close"); the whole request must arrive within the request
// time-out. One reader thread takes in the requests of all connections; a worker is
// given a connection only once its request is whole, so clients that send slowly or
// not at all keep no one else waiting. Refused at once, with the server serving on:
//   400 a malformed request line or header, 408 a request not complete in time,
//   411 a body without Content-Length, 413 a body over the limit,
//   414 a request line over the header limit, 431 request line and headers over it,
//   503 a connection over the bound of open connections: the one longest waiting for
//       the rest of its request gives way to the newcomer (turned away itself only
//       when every open connection is being answered or parked).
// Routes are matched by the decoded path; a path that decodes to a NUL gives 400, an
// unknown path 404, a known path with another method 405, a handler that throws 500. A
// request that waits for something (a long poll) is parked: it holds its connection but
// no worker.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http
{
struct ServerOptions
{
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 0;                 // 0: any free port, see Server::port()
    size_t maxHeaderBytes = 16 * 1024; // request line and headers with their line ends
    size_t maxBodyBytes = 64 * 1024;
    std::chrono::milliseconds requestTimeout{10000};
    unsigned workers = 8;        // whole requests answered at once (parked ones hold none)
    size_t maxConnections = 256; // open at once, however far their requests are
};

struct Request
{
    std::string method;
    std::string target; // as sent: "/upnpisapi?uuid:x+y"
    std::string path;   // without the query, %XX decoded ("+" stays)
    std::string query;  // as sent, after the "?"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string remoteAddress;

    // The first header of that name, ignoring case; empty when there is none.
    std::string header(std::string_view name) const;
    // A query parameter, %XX and "+" decoded.
    std::optional<std::string> parameter(std::string_view name) const;
};

struct Response;

// What a parked request waits for. The server holds its connection without a worker until
// ready() holds (checked at once and after each Server::notify()), the time-out passes, the
// client closes its side or the server stops; then answer(ready(), response) makes its
// answer on a worker. ready() also runs on the thread that reads the connections: it must
// be quick and never block.
struct Wait
{
    std::function<bool()> ready;
    std::chrono::milliseconds timeout{0};
    std::function<void(bool ready, Response&)> answer;
};

struct Response
{
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    std::vector<std::pair<std::string, std::string>> headers;
    // Set by a handler to park its request; what else it set is not sent.
    std::optional<Wait> wait;
};

// %XX sequences decoded ("%zz" and a cut "%4" stay as they are); with plusIsSpace also
// "+" read as a blank, as in a query.
std::string percentDecode(std::string_view text, bool plusIsSpace = false);

using Handler = std::function<void(const Request&, Response&)>;

class Server
{
public:
    explicit Server(ServerOptions options = {});
    // Stops and waits for the server's threads; never call it from a handler.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Adds a route before start(): an exact path, or a prefix ending in "*" ("/web/*").
    void route(std::string method, std::string path, Handler handler);

    // Binds and serves from its own threads; false when the address cannot be bound or
    // the server ran before.
    bool start();
    // The bound port (the chosen one for port 0); 0 before start().
    uint16_t port() const;

    // Stops accepting, ends the waits of parked requests and the reads in progress. From any thread:
    // from outside the server it returns when the server's threads have ended; from a
    // handler it returns at once and the destructor waits.
    void stop();
    bool stopping() const;

    // Has the parked requests check their condition again. From any thread.
    void notify();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
} // namespace http
