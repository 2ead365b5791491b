// printf-style formatting of wide (UTF-16) formats with the device's wide
// conventions: "%s" and "%c" take wide text, "%hs", "%S" and "%hc" narrow text,
// "%ls" and "%ws" wide text again. The result is UTF-8.
#pragma once

#include <cstdarg>
#include <string>

namespace vos
{
std::string FormatWide(const char16_t* format, va_list args);
}
