#include <os/text.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace
{
constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 in 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf16(std::u16string& out, char32_t c)
{
    if (c >= 0x10000)
    {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
    else
    {
        out.push_back(static_cast<char16_t>(c));
    }
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80)
    {
        out.push_back(static_cast<char>(c));
    }
    else if (c < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else if (c < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string fromCodePage1252(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
    return out;
}

std::string toCodePage1252(std::u16string_view text, char defaultChar, bool& usedDefault)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text)
    {
        if (c < 0x80 || (c >= 0xA0 && c < 0x100))
        {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const auto* end = kCp1252High + 32;
        const auto* found = std::find(kCp1252High, end, c);
        if (found != end)
        {
            out.push_back(static_cast<char>(0x80 + (found - kCp1252High)));
        }
        else
        {
            out.push_back(defaultChar);
            usedDefault = true;
        }
    }
    return out;
}
} // namespace

namespace os
{
std::u16string toUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size())
    {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80)
        {
            c = lead;
        }
        else if ((lead & 0xE0) == 0xC0)
        {
            extra = 1;
            c = lead & 0x1F;
            minimum = 0x80;
        }
        else if ((lead & 0xF0) == 0xE0)
        {
            extra = 2;
            c = lead & 0x0F;
            minimum = 0x800;
        }
        else if ((lead & 0xF8) == 0xF0)
        {
            extra = 3;
            c = lead & 0x07;
            minimum = 0x10000;
        }
        else
        {
            appendUtf16(out, kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool valid = true;
        for (int k = 0; k < extra; ++k, ++j)
        {
            if (j >= utf8.size() || (static_cast<unsigned char>(utf8[j]) & 0xC0) != 0x80)
            {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
        }
        if (!valid || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        {
            appendUtf16(out, kReplacement);
            i = valid ? j : std::max(j, i + 1);
            continue;
        }
        appendUtf16(out, c);
        i = j;
    }
    return out;
}

std::string toUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i)
    {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000)
        {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        else if (c >= 0xD800 && c < 0xE000)
        {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string toUtf8(const WCHAR* text)
{
    return text ? toUtf8(std::u16string_view(text)) : std::string();
}

size_t wideLength(const WCHAR* text)
{
    return text ? std::char_traits<char16_t>::length(text) : 0;
}

char16_t foldCase(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    return c;
}

int compareNoCase(std::u16string_view a, std::u16string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
    {
        const char16_t x = foldCase(a[i]);
        const char16_t y = foldCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0)
        return true;
    return compareNoCase(toUtf16(a), toUtf16(b)) == 0;
}
} // namespace os

namespace
{
// Copies a converted text into a caller's buffer in the usual way: size 0 asks
// for the length, a short buffer fails with ERROR_INSUFFICIENT_BUFFER.
template <class Char, class Text> int deliver(const Text& text, Char* target, int targetSize)
{
    const int needed = static_cast<int>(text.size());
    if (targetSize == 0)
        return needed;
    if (targetSize < needed || !target)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(text.begin(), text.end(), target);
    return needed;
}
} // namespace

extern "C" int MultiByteToWideChar(UINT codePage, DWORD, const char* source, int sourceLength, WCHAR* target,
                                   int targetSize)
{
    if (!source || sourceLength == 0 || sourceLength < -1 || targetSize < 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    const std::string_view view(source, length);
    if (codePage == CP_UTF8)
        return deliver(os::toUtf16(view), target, targetSize);
    if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == 1252)
        return deliver(fromCodePage1252(view), target, targetSize);
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* source, int sourceLength, char* target,
                                   int targetSize, const char* defaultChar, BOOL* usedDefaultChar)
{
    if (!source || sourceLength == 0 || sourceLength < -1 || targetSize < 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = sourceLength == -1 ? std::char_traits<char16_t>::length(source) + 1
                                             : static_cast<size_t>(sourceLength);
    const std::u16string_view view(source, length);
    if (codePage == CP_UTF8)
        return deliver(os::toUtf8(view), target, targetSize);
    if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == 1252)
    {
        bool usedDefault = false;
        const std::string text = toCodePage1252(view, defaultChar ? *defaultChar : '?', usedDefault);
        if (usedDefaultChar)
            *usedDefaultChar = usedDefault ? TRUE : FALSE;
        return deliver(text, target, targetSize);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

extern "C" int _wtoi(const WCHAR* text)
{
    if (!text)
        return 0;
    while (*text == u' ' || (*text >= u'\t' && *text <= u'\r'))
        ++text;
    const bool negative = *text == u'-';
    if (*text == u'-' || *text == u'+')
        ++text;
    // One past the largest magnitude is enough to know the result is clamped.
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 2;
    int64_t magnitude = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text)
        magnitude = std::min(magnitude * 10 + (*text - u'0'), kLimit);
    const int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}
