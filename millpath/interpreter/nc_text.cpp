#include "nc_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

std::size_t NcStrLen(const char* text)
{
    return text ? std::strlen(text) : 0;
}

namespace
{
std::size_t formatInto(char (&buffer)[NcFormatLimit], const char* format, va_list args)
{
    const int written = std::vsnprintf(buffer, NcFormatLimit, format, args);
    buffer[NcFormatLimit - 1] = '\0';
    if (written < 0)
    {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(written) >= NcFormatLimit ? NcFormatLimit
                                                              : static_cast<std::size_t>(written);
}
} // namespace

std::size_t NcFormat(char (&buffer)[NcFormatLimit], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::size_t result = formatInto(buffer, format, args);
    va_end(args);
    return result;
}

void NcAppendFormat(std::string& out, const char* format, ...)
{
    char buffer[NcFormatLimit];
    va_list args;
    va_start(args, format);
    const std::size_t length = formatInto(buffer, format, args);
    va_end(args);
    out.append(buffer, length < NcFormatLimit ? length : NcFormatLimit - 1);
}

bool NcNarrowToWide(const char* text, std::u16string& out, UINT codePage)
{
    out.clear();
    if (!text)
        return false;
    const int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (needed <= 1)
        return true;
    out.resize(static_cast<std::size_t>(needed));
    MultiByteToWideChar(codePage, 0, text, -1, out.data(), needed);
    out.resize(static_cast<std::size_t>(needed - 1));
    return true;
}

bool NcWideToNarrow(const WCHAR* text, std::string& out, UINT codePage)
{
    out.clear();
    if (!text)
        return false;
    const int needed = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1)
        return true;
    out.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(codePage, 0, text, -1, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(needed - 1));
    return true;
}

long long NcRound(double value)
{
    return std::llround(value);
}

bool NcIsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

HRESULT NcFormatWide(WCHAR* buffer, std::size_t size, const char* format, ...)
{
    char narrow[NcFormatLimit];
    va_list args;
    va_start(args, format);
    const std::size_t length = formatInto(narrow, format, args);
    va_end(args);
    if (length >= NcFormatLimit)
        return E_FAIL;
    if (!buffer || length + 1 > size)
        return E_INVALIDARG;
    std::u16string wide;
    NcNarrowToWide(narrow, wide);
    if (wide.size() + 1 > size)
        return E_INVALIDARG;
    std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return S_OK;
}
