// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netherald
{
std::string base64Encode(const uint8_t* data, size_t size);
// Nothing for text that is not Base64: a character outside the alphabet, a length that is
// not a multiple of four, padding anywhere but at the end, or bits left over. White space
// (as wrapped lines bring) is skipped.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);
} // namespace netherald
