// What the simulators' description files share: lines split into tokens,
// numbers, hex bytes, and finding the file in the device root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simdesc
{

struct Token
{
    std::string text;
    bool quoted = false;
};

// Splits a line into blank-separated tokens; '#' starts a comment, a text in
// double quotes is one token (\" and \\ escape).
bool tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error);

// Decimal, or hex with 0x; no sign.
bool parseUnsigned(const std::string& text, uint64_t& value);
// "hex:0A0B0C": the bytes; false for an odd or bad digit.
bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes);

// Finds a simulator's description file and gives its host path. Its device path
// is the "Description" value of the driver's own key (named by "Key" in the
// active key), else `defaultName`; a missing file is first copied from the
// default of that name installed beside the simulator's library. On failure the
// message is in `error` and the platform's last error is set.
bool locateDescriptionFile(const std::u16string& activeKey, const char* defaultName, std::string& hostPath,
                           std::string& error);
// Reads that file into `text`, failing as above.
bool readDescriptionFile(const std::u16string& activeKey, const char* defaultName, std::string& text,
                         std::string& error);

} // namespace simdesc
