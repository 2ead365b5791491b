#include "base64.h"

namespace netherald
{
namespace
{
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::string base64Encode(const uint8_t* data, size_t size)
{
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3)
    {
        const uint32_t group = static_cast<uint32_t>(data[i]) << 16 |
                               (i + 1 < size ? static_cast<uint32_t>(data[i + 1]) << 8 : 0) |
                               (i + 2 < size ? data[i + 2] : 0);
        text.push_back(kAlphabet[group >> 18 & 63]);
        text.push_back(kAlphabet[group >> 12 & 63]);
        text.push_back(i + 1 < size ? kAlphabet[group >> 6 & 63] : '=');
        text.push_back(i + 2 < size ? kAlphabet[group & 63] : '=');
    }
    return text;
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text)
{
    std::string compact;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact.push_back(c);
    if (compact.size() % 4 != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(compact.size() / 4 * 3);
    for (size_t i = 0; i < compact.size(); i += 4)
    {
        const bool last = i + 4 == compact.size();
        const int padding =
            last ? (compact[i + 3] == '=') + (compact[i + 2] == '=' && compact[i + 3] == '=') : 0;
        uint32_t group = 0;
        for (int k = 0; k < 4; ++k)
        {
            const int value = k >= 4 - padding ? 0 : valueOf(compact[i + k]);
            if (value < 0)
                return std::nullopt;
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // Bits the padding leaves out must be zero, so one byte string has one text.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0))
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(group >> 16));
        if (padding < 2)
            bytes.push_back(static_cast<uint8_t>(group >> 8));
        if (padding < 1)
            bytes.push_back(static_cast<uint8_t>(group));
    }
    return bytes;
}
} // namespace netherald
