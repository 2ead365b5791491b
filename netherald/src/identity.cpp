#include "identity.h"

#include <windows.h>

namespace netherald
{
namespace
{
constexpr DWORD kLongestText = 255;

// Reads one value, logging a failed or empty one; false after such a failure.
bool readRequired(HKEY key, const char16_t* name, std::u16string& text, const char* failed, const char* empty,
                  UPnPLog& log)
{
    WCHAR buffer[kLongestText + 1] = {};
    DWORD size = sizeof buffer - sizeof(WCHAR);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
    {
        log.write(failed);
        return false;
    }
    text = buffer;
    if (text.empty())
        log.write(empty);
    return !text.empty();
}

std::u16string settingOr(const char16_t* name, const std::u16string& fallback)
{
    const auto value = os::registryString(HKEY_LOCAL_MACHINE, kSettingsKey, name);
    return value && !value->empty() ? *value : fallback;
}
} // namespace

bool readIdentity(Identity& identity, UPnPLog& log)
{
    bool valid = true;
    HKEY ident = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, &ident) == ERROR_SUCCESS)
    {
        // Both are read, so that the log names every value that is wrong.
        valid = readRequired(ident, u"Name", identity.hostName, "Unable to read Hostname", "Invalid Hostname",
                             log);
        valid = readRequired(ident, u"DeviceType", identity.deviceType, "Unable to read DeviceType",
                             "Invalid DeviceType", log) &&
                valid;
        RegCloseKey(ident);
    }
    identity.friendlyName = settingOr(u"FriendlyName", identity.hostName);
    identity.modelDescription = settingOr(u"Comment", identity.deviceType);
    return valid;
}
} // namespace netherald
