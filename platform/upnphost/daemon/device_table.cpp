#include "device_table.h"

#include "scpd.h"

#include <http/server.h>

#include <cstdio>

namespace upnphost
{
namespace
{
void report(const std::string& text)
{
    std::fprintf(stderr, "upnphostd: %s\n", text.c_str());
}

bool sameRegistration(const Registration& a, const Registration& b)
{
    return a.id == b.id && a.description == b.description && a.progId == b.progId &&
           a.initString == b.initString && a.resourcePath == b.resourcePath;
}

std::string hresultText(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

// Every occurrence of `from` replaced.
std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool loadServices(LoadedDevice& device, std::string& error)
{
    const os::Bstr udn(os::toUtf16(device.info.udn));
    for (const ServiceInfo& info : device.info.services)
    {
        LoadedService service{info,
                              {},
                              {},
                              resolvePath(device.descriptionPath(), info.scpdUrl),
                              http::percentDecode(resolvePath(device.descriptionPath(), info.controlUrl))};
        const os::Bstr serviceId(os::toUtf16(info.serviceId));
        const HRESULT result =
            device.control->GetServiceObject(udn.get(), serviceId.get(), service.object.out());
        const UPnPServiceTable* table =
            SUCCEEDED(result) && service.object ? service.object->serviceTable() : nullptr;
        if (!table)
        {
            error = "no object for service " + info.serviceId + " (" + hresultText(result) + ")";
            return false;
        }
        service.scpd = scpdText(*table);
        device.services.push_back(std::move(service));
    }
    return true;
}
} // namespace

std::string resolvePath(const std::string& basePath, const std::string& url)
{
    const size_t scheme = url.find("://");
    if (scheme != std::string::npos)
    {
        const size_t path = url.find('/', scheme + 3);
        return path == std::string::npos ? "/" : url.substr(path);
    }
    if (!url.empty() && url.front() == '/')
        return url;
    return basePath.substr(0, basePath.rfind('/') + 1) + url;
}

std::shared_ptr<LoadedDevice> loadDevice(const Registration& registration, std::string& error)
{
    auto device = std::make_shared<LoadedDevice>();
    device->registration = registration;
    const std::string text = os::toUtf8(registration.description);
    const auto templateInfo = readDescription(text);
    if (!templateInfo)
    {
        error = "the description cannot be read";
        return nullptr;
    }
    const std::string templateUdn = bareUdn(templateInfo->udn);
    std::u16string udn;
    if (const HRESULT named = uniqueDeviceName(registration.id, os::toUtf16(templateUdn), udn); FAILED(named))
    {
        error = "no unique device name (" + hresultText(named) + ")";
        return nullptr;
    }
    device->udn = os::toUtf8(udn);
    device->description = replaceAll(text, templateUdn, device->udn);
    const auto info = readDescription(device->description);
    if (!info)
    {
        error = "the description cannot be read once its UDN is set";
        return nullptr;
    }
    device->info = *info;

    CLSID clsid{};
    HRESULT result = CLSIDFromProgID(registration.progId.c_str(), &clsid);
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUPnPDeviceControl,
                                  device->control.outVoid());
    if (FAILED(result))
    {
        error = "cannot create " + os::toUtf8(registration.progId) + " (" + hresultText(result) + ")";
        return nullptr;
    }
    const os::Bstr initString(registration.initString);
    const os::Bstr id(registration.id);
    const os::Bstr resourcePath(registration.resourcePath);
    if (result = device->control->Initialize(initString.get(), id.get(), resourcePath.get()); FAILED(result))
    {
        error = "Initialize failed (" + hresultText(result) + ")";
        return nullptr;
    }
    if (!loadServices(*device, error))
        return nullptr;
    return device;
}

void DeviceTable::reload()
{
    std::lock_guard reloading(m_reloading);
    const std::vector<Registration> registrations = readRegistrations();
    std::vector<std::shared_ptr<const LoadedDevice>> kept;
    const auto current = devices();
    for (const Registration& registration : registrations)
    {
        std::shared_ptr<const LoadedDevice> device;
        for (const auto& known : current)
            if (sameRegistration(known->registration, registration))
                device = known;
        if (!device)
        {
            std::string error;
            device = loadDevice(registration, error);
            if (!device)
            {
                report("device " + os::toUtf8(registration.id) + " not loaded: " + error);
                continue;
            }
            report("serving " + device->info.udn + " at " + device->descriptionPath());
        }
        kept.push_back(std::move(device));
    }
    std::lock_guard lock(m_mutex);
    m_devices.swap(kept);
    // The devices no longer registered go with `kept`, outside the lock.
}

void DeviceTable::clear()
{
    std::vector<std::shared_ptr<const LoadedDevice>> released;
    std::lock_guard reloading(m_reloading);
    std::lock_guard lock(m_mutex);
    m_devices.swap(released);
}

std::vector<std::shared_ptr<const LoadedDevice>> DeviceTable::devices() const
{
    std::lock_guard lock(m_mutex);
    return m_devices;
}

std::shared_ptr<const LoadedDevice> DeviceTable::byDescriptionPath(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& device : m_devices)
        if (device->descriptionPath() == path)
            return device;
    return nullptr;
}

DeviceTable::ServiceMatch DeviceTable::byScpdPath(const std::string& path) const
{
    return findService([&](const LoadedService& service) { return service.scpdPath == path; });
}

DeviceTable::ServiceMatch DeviceTable::byControlPath(const std::string& path) const
{
    return findService([&](const LoadedService& service) { return service.controlPath == path; });
}

DeviceTable::ServiceMatch
DeviceTable::findService(const std::function<bool(const LoadedService&)>& wanted) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& device : m_devices)
        for (const LoadedService& service : device->services)
            if (wanted(service))
                return {device, &service};
    return {};
}
} // namespace upnphost
