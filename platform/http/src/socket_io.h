#pragma once

#include <sys/types.h>

#include <chrono>
#include <string_view>

namespace http::detail
{
constexpr ssize_t kTimedOut = -2;

// Waits until the socket has data, the deadline passes (kTimedOut) or stopFd becomes
// readable (-1), then receives once; 0 when the peer closed.
ssize_t receiveBefore(int socket, void* buffer, size_t size, std::chrono::steady_clock::time_point deadline,
                      int stopFd);
// Sends everything before the deadline; false on time-out, stop or a failed send.
bool sendAllBefore(int socket, std::string_view data, std::chrono::steady_clock::time_point deadline,
                   int stopFd);
// Sends as much as the socket takes at once once it is writable before the deadline; -1 on failure.
ssize_t sendSomeBefore(int socket, const char* data, size_t size,
                       std::chrono::steady_clock::time_point deadline, int stopFd);
} // namespace http::detail
