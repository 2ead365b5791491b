#include <ui/web/web_renderer.h>

#include <http/server.h>

#include <sys/random.h>

#include <cctype>
#include <charconv>
#include <cstdio>

namespace ui::web
{
namespace detail
{
extern const char* const kPage;
}

namespace
{
constexpr size_t kMaxBody = 64 * 1024;
// How long an input waits for the UI thread to check it.
constexpr auto kInputWait = std::chrono::seconds(10);

std::string randomToken()
{
    unsigned char bytes[16];
    size_t filled = 0;
    while (filled < sizeof bytes)
    {
        const ssize_t n = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n > 0)
            filled += static_cast<size_t>(n);
    }
    std::string token;
    char hex[3];
    for (unsigned char byte : bytes)
    {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return token;
}

// Compares without stopping at the first difference, so the time taken tells nothing.
bool sameSecret(const std::string& given, const std::string& expected)
{
    if (expected.empty())
        return false;
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return difference == 0;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

void answerJson(http::Response& response, int status, std::string body)
{
    response.status = status;
    response.body = std::move(body);
    response.contentType = "application/json";
    response.headers.emplace_back("Cache-Control", "no-store");
}

void answerError(http::Response& response, int status, const std::string& error)
{
    std::string escaped;
    for (char c : error)
    {
        if (c == '"' || c == '\\')
            escaped += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            escaped += c;
    }
    answerJson(response, status, "{\"error\":\"" + escaped + "\"}");
}

int statusOf(InputStatus status)
{
    switch (status)
    {
    case InputStatus::Accepted:
        return 200;
    case InputStatus::Refused:
        return 400;
    case InputStatus::Inactive:
        return 409;
    case InputStatus::Busy:
        return 503;
    }
    return 500;
}
} // namespace

struct WebRenderer::Impl
{
    Impl(LiveHost& host, Options options)
        : m_host(host), m_options(std::move(options)), m_server(serverOptions(m_options))
    {
        if (m_options.token.empty())
            m_options.token = randomToken();
    }

    static http::ServerOptions serverOptions(const Options& options)
    {
        http::ServerOptions server;
        server.bindAddress = "127.0.0.1";
        server.port = options.port;
        server.maxBodyBytes = kMaxBody;
        return server;
    }

    // Only this machine's own names for the server: a page of another site that a
    // name resolves to 127.0.0.1 sends its own name and is refused.
    bool hostAllowed(const http::Request& request) const
    {
        const std::string host = request.header("Host");
        const std::string port = ":" + std::to_string(m_server.port());
        if (host.size() <= port.size() || host.compare(host.size() - port.size(), port.size(), port) != 0)
            return false;
        const std::string_view name(host.data(), host.size() - port.size());
        return name == "127.0.0.1" || equalsNoCase(name, "localhost");
    }

    bool apiAllowed(const http::Request& request, http::Response& response) const
    {
        if (hostAllowed(request) && sameSecret(request.header("X-Token"), m_options.token))
            return true;
        answerError(response, 403, "forbidden");
        return false;
    }

    void page(const http::Request& request, http::Response& response) const
    {
        if (!hostAllowed(request) || !sameSecret(request.parameter("token").value_or(""), m_options.token))
        {
            response.status = 403;
            response.body = "Forbidden";
            return;
        }
        response.body = detail::kPage;
        response.contentType = "text/html; charset=utf-8";
        response.headers = {{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"X-Frame-Options", "DENY"},
                            {"Referrer-Policy", "no-referrer"},
                            {"Content-Security-Policy", "default-src 'none'; script-src 'unsafe-inline'; "
                                                        "style-src 'unsafe-inline'; connect-src 'self'"}};
    }

    void state(const http::Request& request, http::Response& response)
    {
        if (!apiAllowed(request, response))
            return;
        uint64_t since = 0;
        if (const auto text = request.parameter("since"))
        {
            const char* end = text->data() + text->size();
            const auto [stop, error] = std::from_chars(text->data(), end, since);
            if (text->empty() || error != std::errc() || stop != end)
            {
                answerError(response, 400, "\"since\" is no version");
                return;
            }
        }
        // Parked, the poll holds no worker: the other pages' polls and clicks are answered meanwhile.
        response.wait = http::Wait{[this, since] { return m_host.version() > since; }, m_options.longPoll,
                                   [this](bool, http::Response& answer)
                                   { answerJson(answer, 200, toJson(*m_host.snapshot())); }};
    }

    void input(const http::Request& request, http::Response& response)
    {
        if (!apiAllowed(request, response))
            return;
        std::string error;
        std::optional<Input> input = inputFromJson(request.body, error);
        if (!input)
        {
            answerError(response, 400, error);
            return;
        }
        std::future<InputResult> reply = m_host.submit(std::move(*input));
        InputResult result{InputStatus::Busy, "the dialogs are busy"};
        if (reply.wait_for(kInputWait) == std::future_status::ready)
            result = reply.get();
        if (result.accepted())
            answerJson(response, 200, "{\"ok\":true}");
        else
            answerError(response, statusOf(result.status), result.error);
    }

    LiveHost& m_host;
    Options m_options;
    http::Server m_server;
};

WebRenderer::WebRenderer(LiveHost& host, Options options)
    : m_impl(std::make_unique<Impl>(host, std::move(options)))
{
    Impl& impl = *m_impl;
    impl.m_server.route("GET", "/",
                        [&impl](const http::Request& request, http::Response& response)
                        { impl.page(request, response); });
    impl.m_server.route("GET", "/api/state",
                        [&impl](const http::Request& request, http::Response& response)
                        { impl.state(request, response); });
    impl.m_server.route("POST", "/api/input",
                        [&impl](const http::Request& request, http::Response& response)
                        { impl.input(request, response); });
    host.setPublishListener([&impl] { impl.m_server.notify(); });
}

WebRenderer::~WebRenderer()
{
    m_impl->m_host.setPublishListener(nullptr);
    stop();
}

bool WebRenderer::start()
{
    return m_impl->m_server.start();
}

void WebRenderer::stop()
{
    m_impl->m_server.stop();
}

uint16_t WebRenderer::port() const
{
    return m_impl->m_server.port();
}

const std::string& WebRenderer::token() const
{
    return m_impl->m_options.token;
}

std::string WebRenderer::url() const
{
    return "http://127.0.0.1:" + std::to_string(port()) + "/?token=" + token();
}
} // namespace ui::web
