#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace http::detail
{
struct ReadLimits
{
    size_t maxHeaderBytes;
    size_t maxBodyBytes;
    std::chrono::steady_clock::time_point deadline;
    int stopFd; // readable once the server stops
};

// Reads one whole request (head and body) from a connected socket. On success the
// bytes hold exactly that request and the result is 0; else it is the status to answer
// with, or -1 when the connection is to be closed without an answer (client gone, stop).
int readRequest(int socket, const ReadLimits& limits, std::string& bytes);

// The status for a request head ending in its empty line: 0 when it is well formed,
// else 400 (malformed), 411 (a body without length), 413 (body over the limit). Gives
// the body length.
int checkHead(const std::string& head, size_t maxBodyBytes, size_t& bodyLength, bool& expectsContinue);
} // namespace http::detail
