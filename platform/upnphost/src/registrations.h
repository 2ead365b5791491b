// The registrations of the device host in the registry (see upnphost.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace upnphost
{
struct Registration
{
    std::u16string id;
    std::u16string description;
    std::u16string progId;
    std::u16string initString;
    std::u16string resourcePath;
};

// Every registration with a description and a ProgId, in key order.
std::vector<Registration> readRegistrations();
// Writes its values into its key (created when missing); the registry error otherwise.
LONG writeRegistration(const Registration& registration);
// The UDN assigned to a template UDN of a registered device, made on the first call;
// one named mutex serialises the processes that ask. E_INVALIDARG for an unknown device.
HRESULT uniqueDeviceName(const std::u16string& id, const std::u16string& templateUdn, std::u16string& udn);
// A device identifier names one key below "Comm\UPnPDevices".
bool isDeviceIdentifier(const std::u16string& id);
} // namespace upnphost
