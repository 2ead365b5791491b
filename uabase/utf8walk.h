#ifndef UABASE_UTF8WALK_H
#define UABASE_UTF8WALK_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Walking UTF-8 text that comes from outside: every step is bounded by the end of the text, so a
// sequence whose continuation bytes are cut off by the end is taken as one stray byte.
namespace Utf8Walk
{
// Byte length announced by a lead byte: 1 to 6, or 0 for a byte that cannot start a sequence
// (a continuation byte, 0xFE, 0xFF).
int announcedLength(unsigned char lead);

// Bytes occupied by the character at `text`, `available` bytes being left (at least 1): the
// announced length when it fits, else 1 (a stray or cut-off byte).
std::size_t step(const char* text, std::size_t available);

// Decodes into UTF-16 units: one unit per one-, two- or three-byte sequence, "?" for longer ones
// and for sequences cut off by the end; stray bytes give nothing.
std::vector<std::uint16_t> toUtf16(const char* text, std::size_t size);

// Encodes UTF-16 units one by one (surrogates are not combined) as one- to three-byte sequences.
std::vector<char> fromUtf16(const char16_t* units, std::size_t count);
} // namespace Utf8Walk

#endif
