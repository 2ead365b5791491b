#include "notice_listener.h"

#include "host_notice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace upnphost
{
namespace
{
// A client that sends nothing is dropped after this.
constexpr std::chrono::milliseconds kRequestTimeout{10000};
} // namespace

NoticeListener::NoticeListener(std::function<void()> reload) : m_reload(std::move(reload)) {}

NoticeListener::~NoticeListener()
{
    stop();
}

bool NoticeListener::start(std::string& error)
{
    const std::string path = noticeSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
    {
        error = "socket path too long: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_listener < 0 || m_wake < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 8) != 0)
    {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void NoticeListener::stop()
{
    if (m_thread.joinable())
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
        m_thread.join();
        unlink(noticeSocketPath().c_str());
    }
    if (m_listener >= 0)
        close(m_listener);
    if (m_wake >= 0)
        close(m_wake);
    m_listener = m_wake = -1;
}

void NoticeListener::run()
{
    for (;;)
    {
        pollfd descriptors[2] = {{m_listener, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (poll(descriptors, 2, -1) < 0 && errno != EINTR)
            return;
        if (descriptors[1].revents & POLLIN)
            return;
        if (descriptors[0].revents & POLLIN)
        {
            const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0)
            {
                serve(connection);
                close(connection);
            }
        }
    }
}

void NoticeListener::serve(int connection)
{
    if (readLine(connection, kRequestTimeout, 64) != "reload\n")
        return;
    m_reload();
    send(connection, "done\n", 5, MSG_NOSIGNAL);
}
} // namespace upnphost
