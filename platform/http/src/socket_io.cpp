#include "socket_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace http::detail
{
namespace
{
// 1 ready, 0 deadline passed, -1 stopped or failed.
int waitFor(int socket, short events, std::chrono::steady_clock::time_point deadline, int stopFd)
{
    for (;;)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        pollfd descriptors[2] = {{socket, events, 0}, {stopFd, POLLIN, 0}};
        const int result =
            poll(descriptors, 2, static_cast<int>(std::min<long long>(left.count() + 1, 60000)));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 || (descriptors[1].revents & POLLIN))
            return -1;
        if (result > 0)
            return 1;
    }
}
} // namespace

ssize_t receiveBefore(int socket, void* buffer, size_t size, std::chrono::steady_clock::time_point deadline,
                      int stopFd)
{
    const int ready = waitFor(socket, POLLIN, deadline, stopFd);
    if (ready <= 0)
        return ready == 0 ? kTimedOut : -1;
    for (;;)
    {
        const ssize_t n = recv(socket, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

ssize_t sendSomeBefore(int socket, const char* data, size_t size,
                       std::chrono::steady_clock::time_point deadline, int stopFd)
{
    if (waitFor(socket, POLLOUT, deadline, stopFd) <= 0)
        return -1;
    for (;;)
    {
        const ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool sendAllBefore(int socket, std::string_view data, std::chrono::steady_clock::time_point deadline,
                   int stopFd)
{
    while (!data.empty())
    {
        const ssize_t n = sendSomeBefore(socket, data.data(), data.size(), deadline, stopFd);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}
} // namespace http::detail
