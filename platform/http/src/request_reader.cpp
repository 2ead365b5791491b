#include "request_reader.h"

#include "socket_io.h"
#include "text.h"

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace http::detail
{
namespace
{
bool isTokenChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool checkRequestLine(std::string_view line)
{
    const size_t first = line.find(' ');
    const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos)
        return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    const bool targetOk = !target.empty() && std::all_of(target.begin(), target.end(),
                                                         [](char c) {
                                                             return static_cast<unsigned char>(c) > 0x20 &&
                                                                    static_cast<unsigned char>(c) < 0x7F;
                                                         });
    return isToken(method) && targetOk && (version == "HTTP/1.1" || version == "HTTP/1.0");
}

// Drops the header lines of that name from a head that ends at headEnd.
void removeHeader(std::string& bytes, size_t& headEnd, std::string_view name)
{
    size_t start = bytes.find("\r\n") + 2;
    while (start < headEnd - 2)
    {
        const size_t end = bytes.find("\r\n", start) + 2;
        const std::string_view line(bytes.data() + start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            equalsNoCase(line.substr(0, name.size()), name))
        {
            bytes.erase(start, end - start);
            headEnd -= end - start;
            continue;
        }
        start = end;
    }
}

bool parseLength(std::string_view text, size_t& length)
{
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    length = std::stoull(std::string(text));
    return true;
}
} // namespace

int checkHead(const std::string& head, size_t maxBodyBytes, size_t& bodyLength, bool& expectsContinue)
{
    bodyLength = 0;
    expectsContinue = false;
    bool haveLength = false;
    bool chunked = false;
    size_t start = 0;
    bool firstLine = true;
    while (start < head.size())
    {
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos)
            return 400;
        const std::string_view line(head.data() + start, end - start);
        start = end + 2;
        // A bare CR or LF inside a line lets two parsers split a request differently.
        if (line.find_first_of("\r\n") != std::string_view::npos)
            return 400;
        if (firstLine)
        {
            if (!checkRequestLine(line))
                return 400;
            firstLine = false;
            continue;
        }
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
            return 400;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trim(line.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](char c)
                        { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F; }))
            return 400;
        if (equalsNoCase(name, "Content-Length"))
        {
            size_t length = 0;
            if (!parseLength(value, length) || (haveLength && length != bodyLength))
                return 400;
            haveLength = true;
            bodyLength = length;
        }
        else if (equalsNoCase(name, "Transfer-Encoding"))
        {
            chunked = true;
        }
        else if (equalsNoCase(name, "Expect"))
        {
            expectsContinue = equalsNoCase(value, "100-continue");
        }
    }
    if (chunked)
        return 411;
    if (bodyLength > maxBodyBytes)
        return 413;
    return 0;
}

int readRequest(int socket, const ReadLimits& limits, std::string& bytes)
{
    bytes.clear();
    size_t headEnd = std::string::npos;
    char chunk[4096];
    while (headEnd == std::string::npos)
    {
        if (bytes.size() > limits.maxHeaderBytes)
            return bytes.find("\r\n") == std::string::npos || bytes.find("\r\n") > limits.maxHeaderBytes
                       ? 414
                       : 431;
        const ssize_t n = receiveBefore(socket, chunk, sizeof chunk, limits.deadline, limits.stopFd);
        if (n == kTimedOut)
            return 408;
        if (n <= 0)
            return -1;
        const size_t searchFrom = bytes.size() < 3 ? 0 : bytes.size() - 3;
        bytes.append(chunk, static_cast<size_t>(n));
        const size_t found = bytes.find("\r\n\r\n", searchFrom);
        if (found != std::string::npos)
            headEnd = found + 4;
    }
    if (headEnd > limits.maxHeaderBytes)
        return bytes.find("\r\n") > limits.maxHeaderBytes ? 414 : 431;

    size_t bodyLength = 0;
    bool expectsContinue = false;
    if (const int status =
            checkHead(bytes.substr(0, headEnd), limits.maxBodyBytes, bodyLength, expectsContinue))
        return status;
    if (expectsContinue && bodyLength > bytes.size() - headEnd)
    {
        // The client waits for this before it sends the body; the library must not
        // answer it a second time, so the header goes.
        if (!sendAllBefore(socket, "HTTP/1.1 100 Continue\r\n\r\n", limits.deadline, limits.stopFd))
            return -1;
    }
    while (bytes.size() - headEnd < bodyLength)
    {
        const size_t wanted = std::min(sizeof chunk, bodyLength - (bytes.size() - headEnd));
        const ssize_t n = receiveBefore(socket, chunk, wanted, limits.deadline, limits.stopFd);
        if (n == kTimedOut)
            return 408;
        if (n <= 0)
            return -1;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    bytes.resize(headEnd + bodyLength); // a second request on the connection is not served
    if (expectsContinue)
        removeHeader(bytes, headEnd, "Expect");
    return 0;
}
} // namespace http::detail
