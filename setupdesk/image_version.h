// The device image's version, from the first of the image keys that exists.
#pragma once

#include "registry_values.h"

#include <optional>
#include <string>

namespace setupdesk
{
// "Drivers\BuiltIn\ZrDisplay", "...\ZrDevice" or "...\KxDevice", whichever comes first.
bool openImageKey(RegKey& key);

struct ImageVersion
{
    int major = 0;
    int minor = 0;
};

// The digit before the first "." and the two digits after it ("V1.81 (ZR)" is 1.81);
// nothing when either is missing.
std::optional<ImageVersion> parseImageVersion(const std::string& line1);
} // namespace setupdesk
