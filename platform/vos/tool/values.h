// Values of the command-line tool: typed numbers, hex bytes and text to bytes,
// and answer bytes back to text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vostool
{

// "hex:0a0B10", "i8:-1" ... "u64:..", "f32:1.5", "f64:2.5", "str:text" (sent with a terminating zero).
// Several values are concatenated in order. nullopt and an error text for a bad value.
std::optional<std::vector<uint8_t>> ParseValues(const std::vector<std::string>& items, std::string& error);

// A number in decimal or with 0x in hex, fitting 32 bits.
std::optional<uint32_t> ParseU32(const std::string& text);

// Bytes as two-digit hex separated by spaces, or as values of a type (one per
// line; text up to the first zero for "str"). nullopt for an unknown type or a
// length that is not a multiple of the type's size.
std::optional<std::string> FormatValues(const std::vector<uint8_t>& bytes, const std::string& type);

} // namespace vostool
