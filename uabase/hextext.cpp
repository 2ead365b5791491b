#include "hextext.h"

namespace HexText
{
std::string bytes(const unsigned char* data, std::size_t count, bool withBlanks)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i)
    {
        if (withBlanks && i > 0)
            text += ' ';
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}
} // namespace HexText
