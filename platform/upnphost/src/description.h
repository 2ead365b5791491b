// What the host reads from a device description.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upnphost
{
struct ServiceInfo
{
    std::string serviceType;
    std::string serviceId;
    std::string scpdUrl;
    std::string controlUrl;
    std::string eventSubUrl;
};

struct DeviceInfo
{
    std::string deviceType;
    std::string udn; // as written: "uuid:DummyUDN"
    std::vector<ServiceInfo> services;
};

// The root device of a description; nothing when the text is not well-formed or the root
// device has no UDN.
std::optional<DeviceInfo> readDescription(std::string_view utf8);

// The UDN without its "uuid:" (ignoring case), as files, URLs and the registrar carry it.
std::string bareUdn(std::string_view udn);
} // namespace upnphost
