// The devices the host serves: one per registration, with its device object and the
// objects of its services.
#pragma once

#include "description.h"
#include "registrations.h"

#include <upnphost/upnphost.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace upnphost
{
struct LoadedService
{
    ServiceInfo info; // as served, with the device's UDN
    os::ComPtr<IUPnPService> object;
    std::string scpd;
    std::string scpdPath;    // the SCPD URL resolved against the description's path
    std::string controlPath; // the control URL, %XX decoded ("+" stays)
};

struct LoadedDevice
{
    Registration registration;
    std::string udn;         // bare
    std::string description; // as served: UTF-8, template UDNs replaced
    DeviceInfo info;         // of the served description
    os::ComPtr<IUPnPDeviceControl> control;
    std::vector<LoadedService> services;

    std::string descriptionPath() const { return "/upnp/" + udn + ".xml"; }
};

// Loads a registration: its description and UDN, its device object (ProgId, Initialize)
// and its service objects; nothing, and the reason in `error`, when a step fails.
std::shared_ptr<LoadedDevice> loadDevice(const Registration& registration, std::string& error);

// The path of a URL given relative to a base path ("x.xml" beside "/upnp/a.xml" is
// "/upnp/x.xml"); a full "http://host:port/path" URL gives its path.
std::string resolvePath(const std::string& basePath, const std::string& url);

class DeviceTable
{
public:
    // Serves what the registry holds now: unchanged registrations keep their objects, new
    // and changed ones are loaded, the objects of removed ones are released. The devices
    // that could not be loaded are skipped, with their reason on standard error.
    void reload();
    void clear();

    std::vector<std::shared_ptr<const LoadedDevice>> devices() const;

    struct ServiceMatch
    {
        std::shared_ptr<const LoadedDevice> device;
        const LoadedService* service = nullptr;
    };
    std::shared_ptr<const LoadedDevice> byDescriptionPath(const std::string& path) const;
    ServiceMatch byScpdPath(const std::string& path) const;
    ServiceMatch byControlPath(const std::string& path) const;

private:
    ServiceMatch findService(const std::function<bool(const LoadedService&)>& wanted) const;

    std::mutex m_reloading;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<const LoadedDevice>> m_devices;
};
} // namespace upnphost
