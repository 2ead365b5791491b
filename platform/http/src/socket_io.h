#pragma once

#include <sys/types.h>

#include <chrono>

namespace http::detail
{
// Sends as much as the socket takes once it is writable before the deadline (or until
// stopFd, when not -1, becomes readable); -1 on time-out, stop or failure.
ssize_t sendSomeBefore(int socket, const char* data, size_t size,
                       std::chrono::steady_clock::time_point deadline, int stopFd);
} // namespace http::detail
