// The notice that makes a running host load the registrations again: a connection on
// "upnphost.sock" in the device root, "reload\n" one way and "done\n" back once the host
// has loaded them.
#pragma once

#include <chrono>
#include <string>

namespace upnphost
{
std::string noticeSocketPath();

// False when no host listens or it did not answer within the time-out.
bool notifyHost(std::chrono::milliseconds timeout);

// What a connection sends up to its first "\n" (at most `limit` bytes), within the time-out.
std::string readLine(int fd, std::chrono::milliseconds timeout, size_t limit);
} // namespace upnphost
