// The device's identity as the description shows it.
#pragma once

#include "upnp_log.h"

#include <string>

namespace netherald
{
struct Identity
{
    std::u16string hostName;   // HKLM "Ident" "Name"
    std::u16string deviceType; // HKLM "Ident" "DeviceType"
    std::u16string friendlyName;
    std::u16string modelDescription;
};

// Reads "Name" and "DeviceType" of "Ident" (up to 255 characters each), logging a failed or
// empty one; false after such an error. A missing "Ident" key leaves both empty and is no
// error. A non-empty "FriendlyName" or "Comment" of the settings key stand in for the host
// name as friendly name and for the device type as model description.
bool readIdentity(Identity& identity, UPnPLog& log);
} // namespace netherald
