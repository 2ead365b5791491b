#ifndef UABASE_PLACEHOLDERS_H
#define UABASE_PLACEHOLDERS_H

#include "uachar.h"

#include <cstddef>
#include <string>

// Numbered placeholders ("%1" to "%99") in texts, filled one number at a time.
namespace Placeholders
{
// Replaces every occurrence of the lowest-numbered placeholder by `arg`, padded with `fill` to
// |fieldWidth| bytes (right-aligned for a positive width, left-aligned for a negative one).
// Without a placeholder the text is returned unchanged.
std::string fill(const char* text, std::size_t size, const std::string& arg, int fieldWidth,
                 const UaChar& fill);

// Numbers in base 2 to 36 with upper-case letter digits; another base is taken as 10.
std::string numberText(int value, int base);
std::string numberText(unsigned value, int base);
} // namespace Placeholders

#endif
