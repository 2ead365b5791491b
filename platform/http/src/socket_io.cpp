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
        const int result = poll(descriptors, stopFd >= 0 ? 2 : 1,
                                static_cast<int>(std::min<long long>(left.count() + 1, 60000)));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 || (descriptors[1].revents & POLLIN))
            return -1;
        if (result > 0)
            return 1;
    }
}
} // namespace

ssize_t sendSomeBefore(int socket, const char* data, size_t size,
                       std::chrono::steady_clock::time_point deadline, int stopFd)
{
    // The socket does not block: a full send buffer waits here, within the deadline.
    for (;;)
    {
        if (waitFor(socket, POLLOUT, deadline, stopFd) <= 0)
            return -1;
        const ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        return n;
    }
}
} // namespace http::detail
