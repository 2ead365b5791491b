#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace http::detail
{
// One request (head and body) gathered from the bytes of a connection as they come, so
// that no thread waits on a client that sends slowly or not at all.
class RequestCollector
{
public:
    static constexpr int kMore = 0;
    static constexpr int kComplete = -1;

    RequestCollector(size_t maxHeaderBytes, size_t maxBodyBytes);

    // Takes the bytes received next: kMore while the request is unfinished, kComplete once
    // it is whole (request() then holds exactly it), else the status to refuse it with.
    // After a result other than kMore further bytes are not taken.
    int add(std::string_view data);
    // True once when the head asked for "100 Continue" and the body is still to come: the
    // caller sends the interim answer.
    bool takeContinueDue();
    std::string& request() { return m_bytes; }

private:
    int tooLong() const;

    size_t m_maxHeaderBytes;
    size_t m_maxBodyBytes;
    std::string m_bytes;
    size_t m_headEnd = std::string::npos;
    size_t m_bodyLength = 0;
    bool m_expectsContinue = false;
    bool m_continueDue = false;
    int m_result = kMore;
};

// The status for a request head ending in its empty line: 0 when it is well formed,
// else 400 (malformed), 411 (a body without length), 413 (body over the limit). Gives
// the body length.
int checkHead(const std::string& head, size_t maxBodyBytes, size_t& bodyLength, bool& expectsContinue);
} // namespace http::detail
