#include "placeholders.h"

#include <climits>
#include <cstdlib>
#include <vector>

namespace
{
struct Occurrence
{
    std::size_t pos;
    std::size_t length;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Finds the occurrences of the lowest placeholder number.
std::vector<Occurrence> lowestPlaceholders(const char* text, std::size_t size)
{
    std::vector<Occurrence> found;
    int lowest = INT_MAX;
    std::size_t pos = 0;
    while (pos < size)
    {
        if (text[pos] != '%' || pos + 1 >= size || !isDigit(text[pos + 1]))
        {
            ++pos;
            continue;
        }
        int number = text[pos + 1] - '0';
        std::size_t length = 2;
        if (pos + 2 < size && isDigit(text[pos + 2]))
        {
            number = number * 10 + (text[pos + 2] - '0');
            length = 3;
        }
        if (number < lowest)
        {
            lowest = number;
            found.clear();
        }
        if (number == lowest)
            found.push_back({pos, length});
        pos += length;
    }
    return found;
}

std::string digits(unsigned magnitude, int base)
{
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (base < 2 || base > 36)
        base = 10;
    std::string reversed;
    do
    {
        reversed += kDigits[magnitude % static_cast<unsigned>(base)];
        magnitude /= static_cast<unsigned>(base);
    } while (magnitude != 0);
    return std::string(reversed.rbegin(), reversed.rend());
}
} // namespace

namespace Placeholders
{
std::string fill(const char* text, std::size_t size, const std::string& arg, int fieldWidth,
                 const UaChar& fillChar)
{
    std::vector<Occurrence> found = lowestPlaceholders(text, size);
    if (found.empty())
        return std::string(text, size);

    std::size_t width = static_cast<std::size_t>(std::abs(static_cast<long>(fieldWidth)));
    std::string padding;
    if (width > arg.size() && fillChar.byteCount() > 0)
    {
        // Whole fill characters only, so a multi-byte fill never overruns the field.
        std::size_t fillLength = static_cast<std::size_t>(fillChar.byteCount());
        for (std::size_t n = (width - arg.size()) / fillLength; n > 0; --n)
            padding.append(fillChar.bytes(), fillLength);
    }
    std::string field = fieldWidth < 0 ? arg + padding : padding + arg;

    std::string out;
    out.reserve(size + found.size() * field.size());
    std::size_t from = 0;
    for (const Occurrence& o : found)
    {
        out.append(text + from, o.pos - from);
        out += field;
        from = o.pos + o.length;
    }
    out.append(text + from, size - from);
    return out;
}

std::string numberText(int value, int base)
{
    if (value < 0)
        return "-" + digits(0u - static_cast<unsigned>(value), base);
    return digits(static_cast<unsigned>(value), base);
}

std::string numberText(unsigned value, int base)
{
    return digits(value, base);
}
} // namespace Placeholders
