#ifndef UABASE_HEXTEXT_H
#define UABASE_HEXTEXT_H

#include <cstddef>
#include <string>

namespace HexText
{
// Two upper-case hexadecimal digits per byte, first byte first; with blanks between the pairs when asked.
std::string bytes(const unsigned char* data, std::size_t count, bool withBlanks = false);
} // namespace HexText

#endif
