#include <http/server.h>

#include "buffered_stream.h"
#include "request_reader.h"

#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace http
{
namespace
{
using Clock = std::chrono::steady_clock;

// The server whose connection this thread serves, so that stop() from a handler
// does not wait for its own thread.
thread_local const void* t_servingServer = nullptr;

// The request a thread serves: one whose handler may park it, or a parked one whose wait
// has ended and whose wait's answer answers it.
struct Serving
{
    const Wait* ended = nullptr;
    bool ready = false; // the ended wait's condition
    bool parked = false;
    Wait wait; // what the parked request waits for
};
thread_local Serving* t_serving = nullptr;

// What a refused client may still send is read and dropped for this long (at most this
// much), so that closing does not reset the connection before it has read the answer.
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr size_t kDrainBytes = 1 << 20;
// How much one connection may read in one turn of the reader, so that a fast sender does
// not keep the others waiting.
constexpr size_t kReadPerTurn = 64 * 1024;
// Without a free descriptor, accepting pauses this long.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

const char* reasonText(int status)
{
    switch (status)
    {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

std::string refusalText(int status)
{
    const std::string reason = reasonText(status);
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(reason.size()) +
           "\r\nConnection: close\r\n\r\n" + reason;
}

// A listening socket on the address and port (0: any free one); -1 when it cannot be bound.
int listenOn(const std::string& address, uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int socket = -1;
    for (const addrinfo* entry = found; entry && socket < 0; entry = entry->ai_next)
    {
        socket =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol);
        if (socket < 0)
            continue;
        // Address reuse only: two servers must not share one port unnoticed.
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(socket, entry->ai_addr, entry->ai_addrlen) != 0 || listen(socket, SOMAXCONN) != 0)
        {
            close(socket);
            socket = -1;
        }
    }
    freeaddrinfo(found);
    return socket;
}

uint16_t boundPort(int socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    std::string ip;
    int port = 0;
    detail::addressText(address, ip, port);
    return static_cast<uint16_t>(port);
}

struct Route
{
    std::string method;
    std::string path; // without the "*" of a prefix
    bool prefix = false;
    Handler handler;
};

// A connection the reader holds: its request coming in, or, once refused, what it still
// sends being dropped until it closes.
struct Pending
{
    Pending(const ServerOptions& options, Clock::time_point now)
        : collector(options.maxHeaderBytes, options.maxBodyBytes), opened(now),
          deadline(now + options.requestTimeout)
    {
    }
    detail::RequestCollector collector;
    Clock::time_point opened;
    Clock::time_point deadline;
    bool draining = false;
    size_t drained = 0;
};

// A whole request waiting for a worker, or a parked one: its wait is set.
struct Ready
{
    int socket = -1;
    std::string request;
    std::shared_ptr<const Wait> wait;
    bool ready = false; // the wait's condition when it ended
};

// A condition that throws ends its wait: the answer then tells what went wrong.
bool holds(const Wait& wait)
{
    try
    {
        return wait.ready();
    }
    catch (...)
    {
        return true;
    }
}

// A request the reader holds until its wait ends.
struct Parked
{
    std::string request; // served again to answer it
    std::shared_ptr<const Wait> wait;
    Clock::time_point deadline;
};
} // namespace

struct Server::Impl
{
    // The library parses the requests we took in whole and writes the answers.
    class LibraryServer final : public httplib::Server
    {
    public:
        bool serve(int socket, const std::string& request, std::chrono::milliseconds writeTimeout,
                   const bool& parked)
        {
            detail::BufferedStream stream(socket, request, writeTimeout, parked);
            bool closed = false;
            return process_request(stream, true, closed, nullptr);
        }
    };

    explicit Impl(ServerOptions options) : m_options(std::move(options))
    {
        m_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }

    void dispatch(const httplib::Request& in, httplib::Response& out);
    const Route* findRoute(const std::string& method, const std::string& path, bool& pathKnown) const;

    // The reader: accepts connections and gathers their requests without a worker.
    void read();
    void accept(std::unordered_map<int, Pending>& pending, Clock::time_point& acceptPausedUntil);
    enum class Turn
    {
        keep,     // the request is still coming, or a refused client still sends
        close,    // done with: the reader closes it
        handedOn, // whole: a worker answers it
    };
    // Reads what the connection has.
    Turn receive(int socket, Pending& connection);
    // Answers the status and drains the connection; false when it is to be closed at once.
    bool refuse(int socket, Pending& connection, int status);
    // Closes the connection that is done with, or else the one longest waiting for the rest
    // of its request (answered 503); false when every connection is busy.
    bool makeRoom(std::unordered_map<int, Pending>& pending);
    void closeConnection(int socket);
    void queue(Ready ready);

    // Parked requests: taken in from the workers, checked after each notify(), ended by
    // their condition, time-out or client.
    void takeParked(std::unordered_map<int, Parked>& parked);
    void checkParked(std::unordered_map<int, Parked>& parked);
    // Hands the request to a worker for its answer; the next one.
    std::unordered_map<int, Parked>::iterator endWait(std::unordered_map<int, Parked>& parked,
                                                      std::unordered_map<int, Parked>::iterator it);
    void wakeReader();

    // A worker: answers whole requests one after the other.
    void work();
    // Answers the request, parks it or, once the reader has ended, ends its wait at once.
    void serve(Ready next);

    ServerOptions m_options;
    LibraryServer m_http;
    std::vector<Route> m_routes;
    int m_stopFd = -1;
    int m_wakeFd = -1; // notify() and a newly parked request wake the reader
    int m_listenFd = -1;
    int m_epollFd = -1;
    std::atomic<uint16_t> m_port{0};
    std::atomic<bool> m_stopping{false};
    // Connections open, from accept to close, wherever they are.
    std::atomic<size_t> m_open{0};

    std::mutex m_lifeMutex; // start against stop
    bool m_started = false;
    std::thread m_reader;
    std::vector<std::thread> m_workers;
    std::mutex m_joinMutex;

    std::mutex m_queueMutex;
    std::condition_variable m_queueReady;
    std::deque<Ready> m_queue;

    std::mutex m_parkMutex;
    std::vector<Ready> m_parking; // parked by workers, not yet taken in by the reader
    bool m_readerEnded = false;
};

const Route* Server::Impl::findRoute(const std::string& method, const std::string& path,
                                     bool& pathKnown) const
{
    pathKnown = false;
    for (const Route& route : m_routes)
    {
        const bool matches =
            route.prefix ? path.compare(0, route.path.size(), route.path) == 0 : path == route.path;
        if (!matches)
            continue;
        pathKnown = true;
        if (route.method == method || (method == "HEAD" && route.method == "GET"))
            return &route;
    }
    return nullptr;
}

void Server::Impl::dispatch(const httplib::Request& in, httplib::Response& out)
{
    Request request;
    request.method = in.method;
    request.target = in.target;
    request.path = in.path;
    const size_t question = in.target.find('?');
    if (question != std::string::npos)
        request.query = in.target.substr(question + 1);
    for (const auto& [name, value] : in.headers)
        request.headers.emplace_back(name, value);
    request.body = in.body;
    request.remoteAddress = in.remote_addr;

    Response response;
    // False when it threw: the answer is then 500.
    const auto run = [&response](const std::function<void()>& make)
    {
        try
        {
            make();
            return true;
        }
        catch (...)
        {
            response = Response{};
            response.status = 500;
            response.body = "Internal Server Error";
            return false;
        }
    };
    Serving& serving = *t_serving;
    bool pathKnown = false;
    if (serving.ended)
    {
        run([&] { serving.ended->answer(serving.ready, response); });
        response.wait.reset();
    }
    // A decoded NUL ("%00") would end a name where a file is opened but not where the
    // handler looked at it (its type, its folder): no path holds one.
    else if (request.path.find('\0') != std::string::npos)
    {
        response.status = 400;
        response.body = "Bad Request";
    }
    else if (const Route* route = findRoute(request.method, request.path, pathKnown))
    {
        run([&] { route->handler(request, response); });
        if (response.wait)
        {
            Wait wait = std::move(*response.wait);
            response = Response{};
            bool ready = false;
            if (run([&] { ready = wait.ready(); }))
            {
                if (!ready)
                {
                    serving.parked = true;
                    serving.wait = std::move(wait);
                    return;
                }
                run([&] { wait.answer(true, response); });
                response.wait.reset();
            }
        }
    }
    else
    {
        response.status = pathKnown ? 405 : 404;
        response.body = pathKnown ? "Method Not Allowed" : "Not Found";
    }
    out.status = response.status;
    for (const auto& [name, value] : response.headers)
        out.set_header(name.c_str(), value);
    out.set_content(response.body, response.contentType.c_str());
}

void Server::Impl::closeConnection(int socket)
{
    close(socket);
    --m_open;
}

void Server::Impl::queue(Ready ready)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(std::move(ready));
    }
    m_queueReady.notify_one();
}

bool Server::Impl::makeRoom(std::unordered_map<int, Pending>& pending)
{
    auto chosen = pending.end();
    for (auto it = pending.begin(); it != pending.end(); ++it)
    {
        // One being drained has had its answer: it goes first.
        const auto rank = [](const Pending& p) { return p.draining ? Clock::time_point::min() : p.opened; };
        if (chosen == pending.end() || rank(it->second) < rank(chosen->second))
            chosen = it;
    }
    if (chosen == pending.end())
        return false;
    const int socket = chosen->first;
    if (!chosen->second.draining)
    {
        const std::string answer = refusalText(503);
        [[maybe_unused]] const ssize_t sent = send(socket, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    pending.erase(chosen);
    closeConnection(socket);
    return true;
}

void Server::Impl::accept(std::unordered_map<int, Pending>& pending, Clock::time_point& acceptPausedUntil)
{
    for (;;)
    {
        const int socket = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0)
        {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            {
                // No descriptor left: a waiting connection gives way, or accepting pauses
                // a moment instead of spinning on the listening socket.
                if (makeRoom(pending))
                    continue;
                acceptPausedUntil = Clock::now() + kAcceptPause;
                epoll_event event{};
                event.data.fd = m_listenFd;
                epoll_ctl(m_epollFd, EPOLL_CTL_MOD, m_listenFd, &event);
            }
            return;
        }
        ++m_open;
        // Full: the connection longest waiting for the rest of its request makes room; with
        // every one busy in a worker, the newcomer is turned away.
        if (m_open > std::max<size_t>(1, m_options.maxConnections) && !makeRoom(pending))
        {
            const std::string answer = refusalText(503);
            [[maybe_unused]] const ssize_t sent = send(socket, answer.data(), answer.size(), MSG_NOSIGNAL);
            closeConnection(socket);
            continue;
        }
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.fd = socket;
        if (epoll_ctl(m_epollFd, EPOLL_CTL_ADD, socket, &event) != 0)
        {
            closeConnection(socket);
            continue;
        }
        pending.try_emplace(socket, m_options, Clock::now());
    }
}

bool Server::Impl::refuse(int socket, Pending& connection, int status)
{
    // The answer is small: the socket takes it whole, or the client is gone.
    const std::string answer = refusalText(status);
    if (send(socket, answer.data(), answer.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(answer.size()))
        return false;
    shutdown(socket, SHUT_WR);
    connection.draining = true;
    connection.deadline = Clock::now() + kDrainTime;
    return true;
}

Server::Impl::Turn Server::Impl::receive(int socket, Pending& connection)
{
    char chunk[4096];
    size_t taken = 0;
    while (taken < kReadPerTurn)
    {
        const ssize_t n = recv(socket, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Turn::keep;
        if (n <= 0)
            return Turn::close; // gone before its request was whole, or done with its refusal
        taken += static_cast<size_t>(n);
        if (connection.draining)
        {
            connection.drained += static_cast<size_t>(n);
            if (connection.drained >= kDrainBytes)
                return Turn::close;
            continue;
        }
        const int result = connection.collector.add(std::string_view(chunk, static_cast<size_t>(n)));
        if (connection.collector.takeContinueDue())
        {
            // The client waits for this before it sends the body.
            static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            if (send(socket, kContinue.data(), kContinue.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(kContinue.size()))
                return Turn::close;
        }
        if (result == detail::RequestCollector::kComplete)
        {
            epoll_ctl(m_epollFd, EPOLL_CTL_DEL, socket, nullptr);
            queue({socket, std::move(connection.collector.request()), nullptr, false});
            return Turn::handedOn;
        }
        if (result != detail::RequestCollector::kMore)
            return refuse(socket, connection, result) ? Turn::keep : Turn::close;
    }
    return Turn::keep;
}

void Server::Impl::read()
{
    t_servingServer = this;
    std::unordered_map<int, Pending> pending;
    std::unordered_map<int, Parked> parked;
    Clock::time_point acceptPausedUntil{};
    const auto drop = [&](int socket, bool handedOn)
    {
        pending.erase(socket);
        if (!handedOn)
            closeConnection(socket);
    };
    epoll_event events[64];
    while (!m_stopping)
    {
        Clock::time_point next = Clock::time_point::max();
        for (const auto& [socket, connection] : pending)
            next = std::min(next, connection.deadline);
        for (const auto& [socket, request] : parked)
            next = std::min(next, request.deadline);
        if (acceptPausedUntil != Clock::time_point{})
            next = std::min(next, acceptPausedUntil);
        int timeout = -1;
        if (next != Clock::time_point::max())
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
            timeout = static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 60000));
        }
        const int count = epoll_wait(m_epollFd, events, 64, timeout);
        if (count < 0 && errno != EINTR)
            break;
        for (int i = 0; i < count && !m_stopping; ++i)
        {
            const int socket = events[i].data.fd;
            if (socket == m_stopFd)
                continue;
            if (socket == m_wakeFd)
            {
                uint64_t wakes = 0;
                [[maybe_unused]] const ssize_t taken = ::read(m_wakeFd, &wakes, sizeof wakes);
                takeParked(parked);
                checkParked(parked);
                continue;
            }
            if (socket == m_listenFd)
            {
                accept(pending, acceptPausedUntil);
                continue;
            }
            if (const auto found = pending.find(socket); found != pending.end())
            {
                const Turn turn = receive(socket, found->second);
                if (turn != Turn::keep)
                    drop(socket, turn == Turn::handedOn);
            }
            else if (const auto waiting = parked.find(socket); waiting != parked.end())
            {
                // The client closed its side: it is answered now, if it still reads.
                endWait(parked, waiting);
            }
        }
        const Clock::time_point now = Clock::now();
        if (acceptPausedUntil != Clock::time_point{} && now >= acceptPausedUntil)
        {
            acceptPausedUntil = {};
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = m_listenFd;
            epoll_ctl(m_epollFd, EPOLL_CTL_MOD, m_listenFd, &event);
        }
        std::vector<int> expired;
        for (auto& [socket, connection] : pending)
        {
            if (connection.deadline > now)
                continue;
            if (connection.draining || !refuse(socket, connection, 408))
                expired.push_back(socket);
        }
        for (const int socket : expired)
            drop(socket, false);
        for (auto it = parked.begin(); it != parked.end();)
            it = it->second.deadline <= now ? endWait(parked, it) : std::next(it);
    }
    // Stopping ends the reads in progress without an answer, and new connections are refused.
    for (const auto& [socket, connection] : pending)
        closeConnection(socket);
    close(m_listenFd);
    m_listenFd = -1;
    // The waits end, and their answers go out from here: the workers are ending too.
    {
        std::lock_guard lock(m_parkMutex);
        m_readerEnded = true;
    }
    takeParked(parked);
    for (auto& [socket, request] : parked)
    {
        epoll_ctl(m_epollFd, EPOLL_CTL_DEL, socket, nullptr);
        serve({socket, std::move(request.request), request.wait, holds(*request.wait)});
    }
}

void Server::Impl::takeParked(std::unordered_map<int, Parked>& parked)
{
    std::vector<Ready> taken;
    {
        std::lock_guard lock(m_parkMutex);
        taken.swap(m_parking);
    }
    const Clock::time_point now = Clock::now();
    for (Ready& next : taken)
    {
        const auto timeout = std::max(next.wait->timeout, std::chrono::milliseconds(0));
        const auto room =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
        const Clock::time_point deadline = timeout < room ? now + timeout : Clock::time_point::max();
        // Only the client's close is watched: what it may send after its request is not read.
        epoll_event event{};
        event.events = EPOLLRDHUP;
        event.data.fd = next.socket;
        if (!m_stopping && epoll_ctl(m_epollFd, EPOLL_CTL_ADD, next.socket, &event) != 0)
        {
            queue({next.socket, std::move(next.request), next.wait, holds(*next.wait)});
            continue;
        }
        parked.insert_or_assign(next.socket, Parked{std::move(next.request), std::move(next.wait), deadline});
    }
}

void Server::Impl::checkParked(std::unordered_map<int, Parked>& parked)
{
    for (auto it = parked.begin(); it != parked.end();)
        it = holds(*it->second.wait) ? endWait(parked, it) : std::next(it);
}

std::unordered_map<int, Parked>::iterator Server::Impl::endWait(std::unordered_map<int, Parked>& parked,
                                                                std::unordered_map<int, Parked>::iterator it)
{
    const int socket = it->first;
    epoll_ctl(m_epollFd, EPOLL_CTL_DEL, socket, nullptr);
    Parked& request = it->second;
    queue({socket, std::move(request.request), request.wait, holds(*request.wait)});
    return parked.erase(it);
}

void Server::Impl::work()
{
    t_servingServer = this;
    for (;;)
    {
        Ready next;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        serve(std::move(next));
    }
}

void Server::Impl::serve(Ready next)
{
    for (;;)
    {
        Serving serving;
        serving.ended = next.wait.get();
        serving.ready = next.ready;
        t_serving = &serving;
        m_http.serve(next.socket, next.request, m_options.requestTimeout, serving.parked);
        t_serving = nullptr;
        if (!serving.parked)
            break;
        auto wait = std::make_shared<const Wait>(std::move(serving.wait));
        {
            std::lock_guard lock(m_parkMutex);
            if (!m_readerEnded)
            {
                m_parking.push_back({next.socket, std::move(next.request), std::move(wait)});
                wakeReader();
                return;
            }
        }
        // No reader to hold it any more: the wait ends at once.
        next.ready = holds(*wait);
        next.wait = std::move(wait);
    }
    closeConnection(next.socket);
}

void Server::Impl::wakeReader()
{
    const uint64_t one = 1;
    // The counter only ever counts up; a failed write leaves it readable anyway.
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

Server::Server(ServerOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

Server::~Server()
{
    stop(); // never from a handler: it waits for the server's threads
    Impl& impl = *m_impl;
    for (const Ready& left : impl.m_queue)
        close(left.socket);
    for (const int descriptor : {impl.m_listenFd, impl.m_epollFd, impl.m_stopFd, impl.m_wakeFd})
        if (descriptor >= 0)
            close(descriptor);
}

void Server::route(std::string method, std::string path, Handler handler)
{
    Route route{std::move(method), std::move(path), false, std::move(handler)};
    if (!route.path.empty() && route.path.back() == '*')
    {
        route.path.pop_back();
        route.prefix = true;
    }
    m_impl->m_routes.push_back(std::move(route));
}

bool Server::start()
{
    Impl& impl = *m_impl;
    std::lock_guard lock(impl.m_lifeMutex);
    if (impl.m_started || impl.m_stopping || impl.m_stopFd < 0 || impl.m_wakeFd < 0)
        return false;
    impl.m_started = true;
    httplib::Server& library = impl.m_http;
    library.set_keep_alive_max_count(1);
    library.set_payload_max_length(impl.m_options.maxBodyBytes);
    const auto handler = [&impl](const httplib::Request& in, httplib::Response& out)
    { impl.dispatch(in, out); };
    library.Get(".*", handler);
    library.Post(".*", handler);
    library.Put(".*", handler);
    library.Patch(".*", handler);
    library.Delete(".*", handler);
    library.Options(".*", handler);

    impl.m_listenFd = listenOn(impl.m_options.bindAddress, impl.m_options.port);
    impl.m_epollFd = epoll_create1(EPOLL_CLOEXEC);
    if (impl.m_listenFd < 0 || impl.m_epollFd < 0)
        return false;
    for (const int descriptor : {impl.m_listenFd, impl.m_stopFd, impl.m_wakeFd})
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = descriptor;
        if (epoll_ctl(impl.m_epollFd, EPOLL_CTL_ADD, descriptor, &event) != 0)
            return false;
    }
    impl.m_port = boundPort(impl.m_listenFd);
    impl.m_reader = std::thread([&impl] { impl.read(); });
    const unsigned workers = std::max(1u, impl.m_options.workers);
    for (unsigned i = 0; i < workers; ++i)
        impl.m_workers.emplace_back([&impl] { impl.work(); });
    return true;
}

uint16_t Server::port() const
{
    return m_impl->m_port;
}

void Server::stop()
{
    Impl& impl = *m_impl;
    impl.m_stopping = true;
    const uint64_t one = 1;
    if (impl.m_stopFd >= 0 && write(impl.m_stopFd, &one, sizeof one) < 0)
    {
        // The descriptor only ever counts up; a failed write leaves it readable anyway.
    }
    {
        std::lock_guard lock(impl.m_queueMutex);
    }
    impl.m_queueReady.notify_all();
    {
        // A start in progress has made its threads by then.
        std::lock_guard lock(impl.m_lifeMutex);
    }
    if (t_servingServer == &impl)
        return;
    std::lock_guard lock(impl.m_joinMutex);
    if (impl.m_reader.joinable())
        impl.m_reader.join();
    for (std::thread& worker : impl.m_workers)
        if (worker.joinable())
            worker.join();
}

bool Server::stopping() const
{
    return m_impl->m_stopping;
}

void Server::notify()
{
    m_impl->wakeReader();
}
} // namespace http
