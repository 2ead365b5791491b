#include "uavariantparse.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace VariantParse
{
namespace
{
bool hasDigitsOnlyAfterBlanks(const char* text, bool allowSign)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (allowSign && (*p == '-' || *p == '+'))
        ++p;
    return std::isdigit(static_cast<unsigned char>(*p)) != 0;
}
} // namespace

bool parseSigned(const char* text, OpcUa_Int64& out)
{
    if (text == nullptr || !hasDigitsOnlyAfterBlanks(text, true))
        return false;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = value;
    return true;
}

bool parseUnsigned(const char* text, OpcUa_UInt64& out)
{
    // The C parser would take "-1" as the largest value; a sign is refused instead.
    if (text == nullptr || !hasDigitsOnlyAfterBlanks(text, false))
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = value;
    return true;
}

bool parseDouble(const char* text, OpcUa_Double& out)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0')
        return false;
    out = value;
    return true;
}
} // namespace VariantParse
