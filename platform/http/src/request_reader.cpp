#include "request_reader.h"

#include "text.h"

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

RequestCollector::RequestCollector(size_t maxHeaderBytes, size_t maxBodyBytes)
    : m_maxHeaderBytes(maxHeaderBytes), m_maxBodyBytes(maxBodyBytes)
{
}

int RequestCollector::add(std::string_view data)
{
    if (m_result != kMore)
        return m_result;
    const size_t searchFrom = m_bytes.size() < 3 ? 0 : m_bytes.size() - 3;
    m_bytes.append(data);
    if (m_headEnd == std::string::npos)
    {
        const size_t found = m_bytes.find("\r\n\r\n", searchFrom);
        if (found == std::string::npos)
        {
            if (m_bytes.size() > m_maxHeaderBytes)
                m_result = tooLong();
            return m_result;
        }
        m_headEnd = found + 4;
        if (m_headEnd > m_maxHeaderBytes)
            return m_result = tooLong();
        if (const int status =
                checkHead(m_bytes.substr(0, m_headEnd), m_maxBodyBytes, m_bodyLength, m_expectsContinue))
            return m_result = status;
        m_continueDue = m_expectsContinue && m_bytes.size() - m_headEnd < m_bodyLength;
    }
    if (m_bytes.size() - m_headEnd < m_bodyLength)
        return m_result;
    m_bytes.resize(m_headEnd + m_bodyLength); // a second request on the connection is not served
    // The client had its interim answer from us; the library must not send one more.
    if (m_expectsContinue)
        removeHeader(m_bytes, m_headEnd, "Expect");
    m_continueDue = false;
    return m_result = kComplete;
}

bool RequestCollector::takeContinueDue()
{
    const bool due = m_continueDue;
    m_continueDue = false;
    return due;
}

int RequestCollector::tooLong() const
{
    const size_t lineEnd = m_bytes.find("\r\n");
    return lineEnd == std::string::npos || lineEnd > m_maxHeaderBytes ? 414 : 431;
}
} // namespace http::detail
