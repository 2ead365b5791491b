#include "wideformat.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vos
{

namespace
{

std::string Utf8(const char16_t* text)
{
    return text ? os::toUtf8(std::u16string_view(text)) : std::string("(null)");
}

template <typename T> void Append(std::string& out, const std::string& spec, T value)
{
    int n = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (n <= 0)
        return;
    std::string piece(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(piece.data(), piece.size(), spec.c_str(), value);
    piece.resize(static_cast<size_t>(n));
    out += piece;
}

enum class Length
{
    None,
    Char,
    Short,
    Long,
    LongLong,
    Size,
    Max,
    Diff,
    LongDouble,
    Wide
};

// An integer argument of the given length, widened to 64 bits (sign-extended when signed).
unsigned long long ReadInteger(va_list& ap, Length length, bool isSigned)
{
    static_assert(sizeof(long) == 8 && sizeof(size_t) == 8 && sizeof(intmax_t) == 8 && sizeof(ptrdiff_t) == 8,
                  "the 64-bit lengths share one argument class");
    switch (length)
    {
    case Length::Long:
    case Length::LongLong:
    case Length::Size:
    case Length::Max:
    case Length::Diff:
        return va_arg(ap, unsigned long long);
    default:
        break;
    }
    unsigned v = va_arg(ap, unsigned);
    if (length == Length::Short)
        return isSigned ? static_cast<unsigned long long>(static_cast<short>(v))
                        : static_cast<unsigned short>(v);
    if (length == Length::Char)
        return isSigned ? static_cast<unsigned long long>(static_cast<signed char>(v))
                        : static_cast<unsigned char>(v);
    return isSigned ? static_cast<unsigned long long>(static_cast<int>(v)) : v;
}

} // namespace

std::string FormatWide(const char16_t* format, va_list args)
{
    std::string out;
    if (!format)
        return out;
    va_list ap;
    va_copy(ap, args);
    const char16_t* p = format;
    while (*p)
    {
        if (*p != u'%')
        {
            const char16_t* start = p;
            while (*p && *p != u'%')
                ++p;
            out += os::toUtf8(std::u16string_view(start, static_cast<size_t>(p - start)));
            continue;
        }
        ++p;
        if (*p == u'%')
        {
            out += '%';
            ++p;
            continue;
        }
        // Flags, width and precision go to the narrow conversion as they are, with '*' resolved.
        std::string spec = "%";
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
            spec += static_cast<char>(*p++);
        // A width or precision: digits, or '*' taken from the arguments.
        auto number = [&]
        {
            if (*p == u'*')
            {
                spec += std::to_string(va_arg(ap, int));
                ++p;
            }
            while (*p >= u'0' && *p <= u'9')
                spec += static_cast<char>(*p++);
        };
        number();
        if (*p == u'.')
        {
            spec += static_cast<char>(*p++);
            number();
        }
        Length length = Length::None;
        if (*p == u'h')
        {
            ++p;
            length = Length::Short;
            if (*p == u'h')
            {
                ++p;
                length = Length::Char;
            }
        }
        else if (*p == u'l')
        {
            ++p;
            length = Length::Long;
            if (*p == u'l')
            {
                ++p;
                length = Length::LongLong;
            }
        }
        else if (*p == u'I' && p[1] == u'6' && p[2] == u'4')
        {
            p += 3;
            length = Length::LongLong;
        }
        else if (*p == u'z')
            ++p, length = Length::Size;
        else if (*p == u'j')
            ++p, length = Length::Max;
        else if (*p == u't')
            ++p, length = Length::Diff;
        else if (*p == u'L')
            ++p, length = Length::LongDouble;
        else if (*p == u'w')
            ++p, length = Length::Wide;
        char16_t conv = *p;
        if (!conv)
            break;
        ++p;
        switch (conv)
        {
        case u'd':
        case u'i':
            spec += "lld";
            Append(out, spec, static_cast<long long>(ReadInteger(ap, length, true)));
            break;
        case u'u':
        case u'o':
        case u'x':
        case u'X':
            spec += "ll";
            spec += static_cast<char>(conv);
            Append(out, spec, ReadInteger(ap, length, false));
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            if (length == Length::LongDouble)
            {
                spec += 'L';
                spec += static_cast<char>(conv);
                Append(out, spec, va_arg(ap, long double));
            }
            else
            {
                spec += static_cast<char>(conv);
                Append(out, spec, va_arg(ap, double));
            }
            break;
        case u'c':
        case u'C':
        {
            int v = va_arg(ap, int);
            spec += 's';
            bool narrow =
                length == Length::Short || (conv == u'C' && length != Length::Long && length != Length::Wide);
            std::u16string wide(1, static_cast<char16_t>(v));
            Append(out, spec,
                   narrow ? std::string(1, static_cast<char>(v)).c_str() : os::toUtf8(wide).c_str());
            break;
        }
        case u's':
        case u'S':
        {
            spec += 's';
            bool narrow =
                length == Length::Short || (conv == u'S' && length != Length::Long && length != Length::Wide);
            if (narrow)
            {
                const char* text = va_arg(ap, const char*);
                Append(out, spec, text ? text : "(null)");
            }
            else
                Append(out, spec, Utf8(va_arg(ap, const char16_t*)).c_str());
            break;
        }
        case u'p':
            spec += 'p';
            Append(out, spec, va_arg(ap, void*));
            break;
        case u'n':
            (void)va_arg(ap, void*); // writes through a pointer: not done for log text
            break;
        default:
            // Unknown conversion: shown as written, and no argument is taken.
            out += '%';
            out += os::toUtf8(std::u16string_view(&conv, 1));
            break;
        }
    }
    va_end(ap);
    return out;
}

} // namespace vos
