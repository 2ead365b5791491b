#include "utf8walk.h"

namespace Utf8Walk
{
int announcedLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    if ((lead & 0xFC) == 0xF8)
        return 5;
    if ((lead & 0xFE) == 0xFC)
        return 6;
    return 0;
}

std::size_t step(const char* text, std::size_t available)
{
    int announced = announcedLength(static_cast<unsigned char>(text[0]));
    if (announced == 0 || static_cast<std::size_t>(announced) > available)
        return 1;
    return static_cast<std::size_t>(announced);
}

std::vector<std::uint16_t> toUtf16(const char* text, std::size_t size)
{
    std::vector<std::uint16_t> units;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t pos = 0;
    while (pos < size)
    {
        int announced = announcedLength(bytes[pos]);
        if (announced == 0)
        {
            ++pos;
            continue;
        }
        if (static_cast<std::size_t>(announced) > size - pos)
        {
            // Cut off by the end of the text: one replacement, and nothing past the end is read.
            units.push_back('?');
            break;
        }
        const unsigned char* s = bytes + pos;
        switch (announced)
        {
        case 1:
            units.push_back(s[0]);
            break;
        case 2:
            units.push_back(static_cast<std::uint16_t>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F)));
            break;
        case 3:
            units.push_back(static_cast<std::uint16_t>((s[0] << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F)));
            break;
        default:
            units.push_back('?');
            break;
        }
        pos += static_cast<std::size_t>(announced);
    }
    return units;
}

std::vector<char> fromUtf16(const char16_t* units, std::size_t count)
{
    std::vector<char> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        unsigned unit = units[i];
        if (unit < 0x80)
        {
            out.push_back(static_cast<char>(unit));
        }
        else if (unit < 0x800)
        {
            out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
            out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
        else
        {
            out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
            out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
    return out;
}
} // namespace Utf8Walk
