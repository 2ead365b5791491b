// The service description (SCPD) the host generates from a service's table.
#pragma once

#include <upnphost/upnphost.h>

#include <string>
#include <string_view>

namespace upnphost
{
const char* dataTypeName(UPnPDataType type);
std::string scpdText(const UPnPServiceTable& table);
// Text made safe for XML content and attribute values.
std::string xmlEscape(std::string_view text);
} // namespace upnphost
