#include "registrations.h"

#include <upnphost/upnphost.h>

namespace upnphost
{
namespace
{
constexpr const char16_t* kUniqueNamesKey = u"UniqueDeviceNames";

std::u16string deviceKey(const std::u16string& id)
{
    return std::u16string(kUPnPDevicesKey) + u"\\" + id;
}

class NamedLock
{
public:
    NamedLock() : m_mutex(CreateMutexW(nullptr, FALSE, u"UPnPHost.UniqueDeviceNames"))
    {
        if (m_mutex)
        {
            const DWORD waited = WaitForSingleObject(m_mutex, INFINITE);
            m_owned = waited == WAIT_OBJECT_0 || waited == static_cast<DWORD>(WAIT_ABANDONED);
        }
    }
    ~NamedLock()
    {
        if (m_owned)
            ReleaseMutex(m_mutex);
        if (m_mutex)
            CloseHandle(m_mutex);
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    bool owned() const { return m_owned; }

private:
    HANDLE m_mutex;
    bool m_owned = false;
};
} // namespace

bool isDeviceIdentifier(const std::u16string& id)
{
    return !id.empty() && id.find(u'\\') == std::u16string::npos && id.find(u'/') == std::u16string::npos;
}

std::vector<Registration> readRegistrations()
{
    HKEY devices = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUPnPDevicesKey, 0, KEY_READ, &devices) != ERROR_SUCCESS)
        return {};
    const std::vector<std::u16string> ids = os::subkeyNames(devices);
    RegCloseKey(devices);

    std::vector<Registration> registrations;
    for (const std::u16string& id : ids)
    {
        const std::u16string key = deviceKey(id);
        Registration registration{
            id, os::registryString(HKEY_LOCAL_MACHINE, key.c_str(), u"XMLDesc").value_or(u""),
            os::registryString(HKEY_LOCAL_MACHINE, key.c_str(), u"ProgId").value_or(u""),
            os::registryString(HKEY_LOCAL_MACHINE, key.c_str(), u"InitString").value_or(u""),
            os::registryString(HKEY_LOCAL_MACHINE, key.c_str(), u"ResourcePath").value_or(u"")};
        if (!registration.description.empty() && !registration.progId.empty())
            registrations.push_back(std::move(registration));
    }
    return registrations;
}

LONG writeRegistration(const Registration& registration)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, deviceKey(registration.id).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    const std::pair<const char16_t*, const std::u16string*> values[] = {
        {u"XMLDesc", &registration.description},
        {u"ProgId", &registration.progId},
        {u"InitString", &registration.initString},
        {u"ResourcePath", &registration.resourcePath}};
    for (const auto& [name, text] : values)
        if (result == ERROR_SUCCESS)
            result = os::setRegistryString(key, name, *text);
    RegCloseKey(key);
    return result;
}

HRESULT uniqueDeviceName(const std::u16string& id, const std::u16string& templateUdn, std::u16string& udn)
{
    if (!isDeviceIdentifier(id) || templateUdn.empty())
        return E_INVALIDARG;
    NamedLock lock;
    if (!lock.owned())
        return E_FAIL;
    HKEY device = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, deviceKey(id).c_str(), 0, KEY_ALL_ACCESS, &device) != ERROR_SUCCESS)
        return E_INVALIDARG;
    HKEY names = nullptr;
    LONG result = RegCreateKeyExW(device, kUniqueNamesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &names, nullptr);
    RegCloseKey(device);
    if (result != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(result);
    const std::u16string namesKey = deviceKey(id) + u"\\" + kUniqueNamesKey;
    if (auto known = os::registryString(HKEY_LOCAL_MACHINE, namesKey.c_str(), templateUdn.c_str());
        known && !known->empty())
    {
        udn = *known;
    }
    else
    {
        udn = os::toUtf16(os::newUuid());
        result = udn.empty() ? ERROR_GEN_FAILURE : os::setRegistryString(names, templateUdn.c_str(), udn);
    }
    RegCloseKey(names);
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}
} // namespace upnphost
