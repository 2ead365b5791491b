#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

namespace http::detail
{
// Header names and the like compare ignoring ASCII case.
inline bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) {
                                                  return std::tolower(static_cast<unsigned char>(x)) ==
                                                         std::tolower(static_cast<unsigned char>(y));
                                              });
}
} // namespace http::detail
