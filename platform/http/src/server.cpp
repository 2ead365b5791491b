#include <http/server.h>

#include "buffered_stream.h"
#include "request_reader.h"
#include "socket_io.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace http
{
namespace
{
// The server whose connection this thread serves, so that stop() from a handler
// does not wait for its own thread.
thread_local const void* t_servingServer = nullptr;

// What a refused client may still send is read and dropped for this long (at most this
// much), so that closing does not reset the connection before it has read the answer.
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr size_t kDrainBytes = 1 << 20;

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
    default:
        return "Error";
    }
}

void refuse(int socket, int status, int stopFd)
{
    const std::string reason = reasonText(status);
    const std::string answer =
        "HTTP/1.1 " + std::to_string(status) + " " + reason +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(reason.size()) +
        "\r\nConnection: close\r\n\r\n" + reason;
    const auto deadline = std::chrono::steady_clock::now() + kDrainTime;
    if (!detail::sendAllBefore(socket, answer, deadline, stopFd))
        return;
    shutdown(socket, SHUT_WR);
    char chunk[4096];
    size_t drained = 0;
    while (drained < kDrainBytes)
    {
        const ssize_t n = detail::receiveBefore(socket, chunk, sizeof chunk, deadline, stopFd);
        if (n <= 0)
            break;
        drained += static_cast<size_t>(n);
    }
}

struct Route
{
    std::string method;
    std::string path; // without the "*" of a prefix
    bool prefix = false;
    Handler handler;
};
} // namespace

struct Server::Impl
{
    // The library's server with our reading of each connection in front of its own.
    class GuardedServer final : public httplib::Server
    {
    public:
        explicit GuardedServer(Impl& owner) : m_owner(owner) {}

    private:
        bool process_and_close_socket(socket_t socket) override
        {
            t_servingServer = &m_owner;
            const ServerOptions& options = m_owner.m_options;
            const detail::ReadLimits limits{options.maxHeaderBytes, options.maxBodyBytes,
                                            std::chrono::steady_clock::now() + options.requestTimeout,
                                            m_owner.m_stopFd};
            std::string request;
            const int status = detail::readRequest(socket, limits, request);
            bool served = false;
            if (status == 0)
            {
                detail::BufferedStream stream(socket, request, options.requestTimeout);
                bool closed = false;
                served = process_request(stream, true, closed, nullptr);
            }
            else if (status > 0)
            {
                refuse(socket, status, m_owner.m_stopFd);
            }
            close(socket);
            t_servingServer = nullptr;
            return served;
        }

        Impl& m_owner;
    };

    explicit Impl(ServerOptions options) : m_options(std::move(options)), m_http(*this)
    {
        m_stopFd = eventfd(0, EFD_CLOEXEC);
    }

    void dispatch(const httplib::Request& in, httplib::Response& out);
    const Route* findRoute(const std::string& method, const std::string& path, bool& pathKnown) const;

    ServerOptions m_options;
    GuardedServer m_http;
    std::vector<Route> m_routes;
    int m_stopFd = -1;
    std::atomic<uint16_t> m_port{0};
    std::atomic<bool> m_stopping{false};

    std::mutex m_lifeMutex; // start against stop
    bool m_started = false;
    bool m_libraryStopped = false;
    std::thread m_listener;
    std::atomic<bool> m_listenerEnded{false};
    std::mutex m_joinMutex;

    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    uint64_t m_generation = 0;
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
    bool pathKnown = false;
    if (const Route* route = findRoute(request.method, request.path, pathKnown))
    {
        try
        {
            route->handler(request, response);
        }
        catch (...)
        {
            response = Response{};
            response.status = 500;
            response.body = "Internal Server Error";
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

Server::Server(ServerOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

Server::~Server()
{
    stop();
    std::lock_guard lock(m_impl->m_joinMutex);
    if (m_impl->m_listener.joinable())
        m_impl->m_listener.join();
    if (m_impl->m_stopFd >= 0)
        close(m_impl->m_stopFd);
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
    if (impl.m_started || impl.m_stopping || impl.m_stopFd < 0)
        return false;
    impl.m_started = true;
    httplib::Server& library = impl.m_http;
    // Address reuse only: two servers must not share one port unnoticed.
    library.set_socket_options(
        [](socket_t socket)
        {
            int yes = 1;
            setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
    const unsigned workers = std::max(1u, impl.m_options.workers);
    library.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
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

    const std::string& address = impl.m_options.bindAddress;
    const int port = impl.m_options.port == 0
                         ? library.bind_to_any_port(address)
                         : (library.bind_to_port(address, impl.m_options.port) ? impl.m_options.port : -1);
    if (port <= 0)
        return false;
    impl.m_port = static_cast<uint16_t>(port);
    impl.m_listener = std::thread(
        [&impl]
        {
            impl.m_http.listen_after_bind();
            impl.m_listenerEnded = true;
        });
    // The library ignores a stop before it runs; stop() waits for this lock.
    while (!library.is_running() && !impl.m_listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !impl.m_listenerEnded;
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
    notify();
    {
        std::lock_guard lock(impl.m_lifeMutex);
        if (impl.m_started && !impl.m_libraryStopped && impl.m_http.is_running())
        {
            impl.m_libraryStopped = true;
            impl.m_http.stop();
        }
    }
    if (t_servingServer == &impl)
        return;
    std::lock_guard lock(impl.m_joinMutex);
    if (impl.m_listener.joinable() && impl.m_listener.get_id() != std::this_thread::get_id())
        impl.m_listener.join();
}

bool Server::stopping() const
{
    return m_impl->m_stopping;
}

bool Server::waitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout)
{
    Impl& impl = *m_impl;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(impl.m_waitMutex);
    for (;;)
    {
        const uint64_t seen = impl.m_generation;
        // The condition may take the caller's own locks: never under ours.
        lock.unlock();
        if (ready())
            return true;
        lock.lock();
        if (impl.m_stopping)
            return false;
        if (!impl.m_wake.wait_until(lock, deadline,
                                    [&] { return impl.m_generation != seen || impl.m_stopping; }))
        {
            lock.unlock();
            return ready();
        }
    }
}

void Server::notify()
{
    {
        std::lock_guard lock(m_impl->m_waitMutex);
        ++m_impl->m_generation;
    }
    m_impl->m_wake.notify_all();
}
} // namespace http
