#include "registration.h"

#include "device_description.h"
#include "identity.h"
#include "mac_id.h"
#include "registry_script.h"
#include "web_files.h"

#include <netherald/netherald.h>

#include <os/regscript.h>

#include <cctype>
#include <vector>

namespace netherald
{
namespace
{
std::u16string deviceKey(const std::u16string& id)
{
    return std::u16string(kUPnPDevicesKey) + u"\\" + id;
}

// The identifier of the device's earlier registration, which the device registers under
// again, so that the host keeps the UDN it assigned and a control point sees the same device
// after a restart; any further registration of ours is removed. Empty when there is none.
// Collects first, then deletes: deleting while enumerating by index skips the key that
// moves into the deleted one's place.
std::u16string takeOverOldRegistration(UPnPLog& log)
{
    HKEY devices = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUPnPDevicesKey, 0, KEY_ALL_ACCESS, &devices) != ERROR_SUCCESS)
        return {};
    std::vector<std::u16string> ours;
    for (const std::u16string& id : os::subkeyNames(devices))
        if (os::registryString(HKEY_LOCAL_MACHINE, deviceKey(id).c_str(), u"ProgId").value_or(u"") == kProgId)
            ours.push_back(id);
    for (size_t i = 0; i < ours.size(); ++i)
    {
        log.write("Found Device");
        if (i > 0 && RegDeleteKeyW(devices, ours[i].c_str()) == ERROR_SUCCESS)
            log.write("Old device removed");
    }
    RegCloseKey(devices);
    return ours.empty() ? std::u16string() : ours.front();
}

// Without an adapter (a host with loopback alone) the MAC identifier is a locally
// administered address made from the UDN: it stays the same as long as the UDN does.
std::string fallbackMacId(const std::u16string& udn)
{
    std::string hex;
    for (const char16_t c : udn)
        if (c < 0x80 && std::isxdigit(static_cast<unsigned char>(c)))
            hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    hex.resize(10, '0');
    std::string macId = "02";
    for (size_t i = 0; i < hex.size(); i += 2)
        macId += "-" + hex.substr(i, 2);
    return macId;
}

// "Hostname" and "MacID" of the settings key; false after a logged failure.
bool writeHostName(const std::u16string& hostName, const std::u16string& udn, UPnPLog& log)
{
    log.write("Writing Hostname");
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
    {
        log.writef("Unable to create key UPnP key: %d", static_cast<int>(result));
        return false;
    }
    bool written = false;
    std::string macId;
    if ((result = os::setRegistryString(key, u"Hostname", hostName)) != ERROR_SUCCESS)
        log.writef("Unable to set value for Hostname: %d", static_cast<int>(result));
    else
    {
        if (!readMacId(macId))
        {
            macId = fallbackMacId(udn);
            log.writef("Unable to get MacID, using %s", macId.c_str());
        }
        if ((result = os::setRegistryString(key, u"MacID", os::toUtf16(macId))) != ERROR_SUCCESS)
            log.writef("Unable to set value for MacID: %d", static_cast<int>(result));
        else
            written = true;
    }
    RegCloseKey(key);
    return written;
}

class ComScope
{
public:
    ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComScope() { CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

// "XMLDesc" in the device's key, then the registration with the host; false after a logged
// failure.
bool storeAndRegister(const std::u16string& id, const std::u16string& description,
                      os::ComPtr<IUPnPRegistrar>& registrar, UPnPLog& log)
{
    HKEY device = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, deviceKey(id).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &device, nullptr) != ERROR_SUCCESS)
    {
        log.write("Unable to open UPnPDevices Reg Key");
        return false;
    }
    const LONG stored = os::setRegistryString(device, u"XMLDesc", description);
    RegCloseKey(device);
    const os::Bstr xml(description);
    const os::Bstr progId(kProgId);
    const os::Bstr initString(kInitString);
    const os::Bstr deviceId(id);
    const os::Bstr resourcePath(kWebFolder);
    bool registered = false;
    if (stored != ERROR_SUCCESS)
        log.write("Unable to write XMLDesc to registry");
    else if (FAILED(CoCreateInstance(CLSID_UPnPRegistrar, nullptr, CLSCTX_SERVER, IID_IUPnPRegistrar,
                                     registrar.outVoid())))
        log.write("Unable to init UPnPRegistrar");
    else if (FAILED(registrar->RegisterDevice(xml.get(), progId.get(), initString.get(), deviceId.get(),
                                              resourcePath.get())))
        log.write("Unable to Register Device");
    else
        registered = true;
    // A key the host never took has no ProgId, so no later registration would remove it.
    if (!registered)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, deviceKey(id).c_str());
    return registered;
}

bool writeState(const std::u16string& id, UPnPLog& log)
{
    const DWORD state = 1;
    HKEY device = nullptr;
    bool written =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, deviceKey(id).c_str(), 0, KEY_ALL_ACCESS, &device) == ERROR_SUCCESS;
    if (written)
    {
        written = RegSetValueExW(device, u"State", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&state),
                                 sizeof state) == ERROR_SUCCESS;
        RegCloseKey(device);
    }
    if (!written)
        log.write("Unable to write State to registry");
    return written;
}

// The UDN the host assigned to the device; empty when it gives none.
std::u16string uniqueDeviceName(IUPnPRegistrar* registrar, const std::u16string& id)
{
    const os::Bstr deviceId(id);
    const os::Bstr templateUdn(kTemplateUdn);
    os::Bstr udn;
    if (FAILED(registrar->GetUniqueDeviceName(deviceId.get(), templateUdn.get(), udn.out())))
        return {};
    return std::u16string(udn.view());
}

// The device's registration with the host, under the identifier of its earlier one when it
// has one; false after a logged failure.
bool registerDevice(const Identity& identity, const std::u16string& earlierId, UPnPLog& log)
{
    const ComScope com;
    const std::u16string id = earlierId.empty() ? os::toUtf16(os::newUuid()) : earlierId;
    if (id.empty())
    {
        log.write("Unable get UDN");
        return false;
    }
    os::ComPtr<IUPnPRegistrar> registrar;
    if (!storeAndRegister(id, deviceDescription(identity), registrar, log) || !writeState(id, log))
        return false;
    const std::u16string udn = uniqueDeviceName(registrar.get(), id);
    if (udn.empty())
    {
        log.write("Unable get UDN");
        return false;
    }
    if (!writeHostName(identity.hostName, udn, log) || !writeDeviceScript(udn, log))
        return false;
    checkDeviceScript(uniqueDeviceName(registrar.get(), id), log);
    log.write("Done");
    return true;
}
} // namespace

HRESULT registerServer(const std::u16string& modulePath)
{
    if (const HRESULT registered = os::registerScript(kRegistryScript, {{u"MODULE", modulePath}});
        FAILED(registered))
        return registered;
    UPnPLog log;
    Identity identity;
    if (!readIdentity(identity, log))
        return S_OK;
    const std::u16string earlierId = takeOverOldRegistration(log);
    log.write("Register Device");
    if (!registerDevice(identity, earlierId, log))
        return S_OK;
    writeRedirectPage(identity.hostName, log);
    log.write("Register Done");
    return S_OK;
}
} // namespace netherald
