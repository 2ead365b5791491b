#include "token_scanners.h"

#include <cctype>
#include <cstring>

#include "nc_text.h"

namespace
{
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}
} // namespace

namespace NcScan
{
void skipBlanks(const char*& p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
}

void skipWhiteSpace(const char*& p)
{
    while (*p && NcIsSpace(static_cast<unsigned char>(*p)))
        ++p;
}

// Values beyond 32 bits fail rather than wrap.
bool unsignedInteger(const char*& p, std::uint32_t& value)
{
    const char* q = p;
    std::uint64_t result = 0;
    while (isDigit(*q))
    {
        result = result * 10 + static_cast<std::uint64_t>(*q - '0');
        if (result > 0xFFFFFFFFull)
            return false;
        ++q;
    }
    if (q == p)
        return false;
    value = static_cast<std::uint32_t>(result);
    p = q;
    return true;
}

bool signedInteger(const char*& p, std::int32_t& value)
{
    const char* q = p;
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-')
        ++q;
    std::uint32_t magnitude = 0;
    if (!unsignedInteger(q, magnitude) || magnitude > 0x7FFFFFFFu)
        return false;
    value = negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
    p = q;
    return true;
}

bool hexNumber(const char*& p, std::uint32_t& value)
{
    if (!isDigit(*p))
        return false;
    const char* q = p;
    std::uint64_t result = 0;
    for (;; ++q)
    {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*q)));
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        result = result * 16 + static_cast<std::uint64_t>(digit);
        if (result > 0xFFFFFFFFull)
            return false;
    }
    value = static_cast<std::uint32_t>(result);
    p = q;
    return true;
}

bool number(const char*& p, double& value)
{
    const char* q = p;
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-')
        ++q;
    double result = 0.0;
    double scale = 0.1;
    bool digits = false;
    bool separator = false;
    for (;; ++q)
    {
        if (isDigit(*q))
        {
            digits = true;
            if (separator)
            {
                result += (*q - '0') * scale;
                scale /= 10.0;
            }
            else
                result = result * 10.0 + (*q - '0');
        }
        else if ((*q == '.' || *q == ',') && !separator)
            separator = true;
        else
            break;
    }
    if (!digits)
        return false;
    value = negative ? -result : result;
    p = q;
    return true;
}

bool number16(const char*& p, std::uint16_t& value)
{
    const char* q = p;
    std::uint32_t result = 0;
    while (isDigit(*q))
    {
        result = result * 10 + static_cast<std::uint32_t>(*q - '0');
        if (result > 0xFFFF)
            return false;
        ++q;
    }
    if (q == p)
        return false;
    value = static_cast<std::uint16_t>(result);
    p = q;
    return true;
}

int axisLetter(const char*& p)
{
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (c < 'X' || c > 'Z')
        return -1;
    ++p;
    return c - 'X';
}

bool qNumber(const char*& p, int& number)
{
    const char* q = p;
    std::uint32_t n = 0;
    if (!letterNumber(q, 'Q', n) || n < 1 || n > 5)
        return false;
    number = static_cast<int>(n);
    p = q;
    return true;
}

bool letterNumber(const char*& p, char letter, std::uint32_t& number)
{
    if (std::toupper(static_cast<unsigned char>(*p)) != letter)
        return false;
    const char* q = p + 1;
    if (!unsignedInteger(q, number))
        return false;
    p = q;
    return true;
}

bool oneOfLetters(const char*& p, const char* letters, char& letter, std::uint32_t& number)
{
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (c == '\0' || !std::strchr(letters, c) || !letterNumber(p, c, number))
        return false;
    letter = c;
    return true;
}

bool skipComment(const char*& p)
{
    if (*p != '(')
        return false;
    const char* q = p + 1;
    while (*q && *q != ')' && !isLineEnd(*q))
        ++q;
    if (*q == ')')
        ++q;
    p = q;
    return true;
}

void trimZeros(char* text)
{
    std::size_t length = std::strlen(text);
    if (length < 2 || text[length - 1] != ' ')
        return;
    std::size_t end = length - 1; // the blank
    while (end >= 2 && length >= 4 && text[end - 1] == '0' && isDigit(text[end - 2]))
    {
        text[end - 1] = ' ';
        text[end] = '\0';
        --end;
        --length;
    }
}

const char16_t* findChar(const char16_t* text, char16_t c)
{
    if (!text)
        return nullptr;
    for (;; ++text)
    {
        if (*text == c)
            return text;
        if (*text == 0)
            return nullptr;
    }
}
} // namespace NcScan
