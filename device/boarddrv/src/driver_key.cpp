#include "driver_key.h"
#include "processor.h"

#include <windows.h>

#include <cstdio>

namespace boarddrv
{

namespace
{

// "%.8X-%.8X-%S" (signature, brand id, brand string), or without the brand.
std::u16string processorName(DWORD signature)
{
    char brand[48];
    const bool hasBrand = processorBrandString(brand);
    char name[80];
    if (hasBrand)
        std::snprintf(name, sizeof name, "%.8X-%.8X-%s", static_cast<unsigned>(signature),
                      static_cast<unsigned>(processorBrandId()), brand);
    else
        std::snprintf(name, sizeof name, "%.8X-%.8X", static_cast<unsigned>(signature),
                      static_cast<unsigned>(processorBrandId()));
    return os::toUtf16(name);
}

} // namespace

std::u16string driverKeyPath(const std::u16string& activeKey)
{
    HKEY active = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, activeKey.c_str(), 0, KEY_QUERY_VALUE, &active) != ERROR_SUCCESS)
        return {};
    WCHAR path[MAX_PATH] = {};
    DWORD type = 0, size = sizeof path - sizeof(WCHAR);
    const LONG result =
        RegQueryValueExW(active, u"Key", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(active);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::u16string(path) : std::u16string();
}

std::optional<DWORD> readDriverNumber(const std::u16string& activeKey, const char16_t* name)
{
    const std::u16string path = driverKeyPath(activeKey);
    HKEY key = nullptr;
    if (path.empty() ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    const auto value = os::queryNumber(key, name);
    RegCloseKey(key);
    return value;
}

DWORD readTjmax(const std::u16string& activeKey)
{
    const DWORD signature = processorSignature();
    if (signature == 0)
        return 0;
    const std::u16string valueName = processorName(signature);
    const std::u16string path = driverKeyPath(activeKey);
    HKEY key = nullptr;
    if (path.empty() || RegOpenKeyExW(HKEY_LOCAL_MACHINE, (path + u"\\Parameters\\Tjmax").c_str(), 0,
                                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    const auto value = os::queryNumber(key, valueName.c_str());
    if (!value)
    {
        const DWORD zero = 0;
        RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                       sizeof zero);
    }
    RegCloseKey(key);
    return value.value_or(0);
}

} // namespace boarddrv
