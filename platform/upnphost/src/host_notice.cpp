#include "host_notice.h"

#include <os/deviceroot.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace upnphost
{
std::string noticeSocketPath()
{
    return os::deviceRoot() + "/upnphost.sock";
}

std::string readLine(int fd, std::chrono::milliseconds timeout, size_t limit)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (line.find('\n') == std::string::npos && line.size() < limit)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd descriptor{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            break;
        char chunk[64];
        const ssize_t n = recv(fd, chunk, std::min(sizeof chunk, limit - line.size()), 0);
        if (n <= 0)
            break;
        line.append(chunk, static_cast<size_t>(n));
    }
    return line;
}

bool notifyHost(std::chrono::milliseconds timeout)
{
    const std::string path = noticeSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool done = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      send(fd, "reload\n", 7, MSG_NOSIGNAL) == 7 && readLine(fd, timeout, 16) == "done\n";
    close(fd);
    return done;
}
} // namespace upnphost
