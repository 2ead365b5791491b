#include "image_version.h"

namespace setupdesk
{
namespace
{
bool digit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

bool openImageKey(RegKey& key)
{
    for (const char16_t* path :
         {u"Drivers\\BuiltIn\\ZrDisplay", u"Drivers\\BuiltIn\\ZrDevice", u"Drivers\\BuiltIn\\KxDevice"})
    {
        if (key.open(path, KEY_READ))
            return true;
    }
    return false;
}

std::optional<ImageVersion> parseImageVersion(const std::string& line1)
{
    const size_t dot = line1.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 2 >= line1.size() || !digit(line1[dot - 1]) ||
        !digit(line1[dot + 1]) || !digit(line1[dot + 2]))
        return std::nullopt;
    return ImageVersion{line1[dot - 1] - '0', (line1[dot + 1] - '0') * 10 + (line1[dot + 2] - '0')};
}
} // namespace setupdesk
