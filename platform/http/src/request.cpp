#include <http/server.h>

#include "text.h"

#include <algorithm>
#include <cctype>

namespace http
{
namespace
{
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string percentDecode(std::string_view text, bool plusIsSpace)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '+' && plusIsSpace)
            decoded += ' ';
        else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                 hexValue(text[i + 2]) >= 0)
        {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        }
        else
            decoded += text[i];
    }
    return decoded;
}

std::string Request::header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (detail::equalsNoCase(key, name))
            return value;
    return {};
}

std::optional<std::string> Request::parameter(std::string_view name) const
{
    std::string_view rest = query;
    while (!rest.empty())
    {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const size_t equals = pair.find('=');
        if (percentDecode(pair.substr(0, equals), true) == name)
            return equals == std::string_view::npos ? std::string()
                                                    : percentDecode(pair.substr(equals + 1), true);
    }
    return std::nullopt;
}
} // namespace http
