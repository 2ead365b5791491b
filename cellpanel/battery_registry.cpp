#include "battery_registry.h"

#include <vector>

namespace cellpanel
{
namespace
{
constexpr const char16_t* kBatteryKey = u"Drivers\\BuiltIn\\Battery";
constexpr const char16_t* kConfigKey = u"Drivers\\BuiltIn\\Battery\\Config";
constexpr DWORD kPortCharacters = 255;

class Key
{
public:
    Key(const char16_t* path, REGSAM access)
    {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// A string value of at most the given length; nothing when it is missing, of another
// type or longer.
std::optional<std::string> readString(const Key& key, const char16_t* name, DWORD maxCharacters)
{
    if (!key)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > (maxCharacters + 1) * sizeof(WCHAR))
        return std::nullopt;
    std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, u'\0');
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return os::toUtf8(text.data());
}

std::optional<DWORD> readDword(const Key& key, const char16_t* name)
{
    if (!key)
        return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

bool writeDword(const Key& key, const char16_t* name, DWORD value)
{
    return RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}
} // namespace

BatterySettings readBatterySettings()
{
    BatterySettings settings;
    const Key battery(kBatteryKey, KEY_READ);
    settings.port = readString(battery, u"Port", kPortCharacters).value_or("");
    const Key config(kConfigKey, KEY_READ);
    const DWORD unlimited = 0xFFFF;
    settings.vendor = readString(config, u"Vendor", unlimited).value_or("");
    settings.model = readString(config, u"Model", unlimited).value_or("");
    settings.wait = readDword(config, u"ShutdownOnBatteryWait");
    settings.unit = readDword(config, u"ShutdownOnBatteryWaitUnit");
    return settings;
}

bool writeShutdownWait(std::optional<DWORD> wait, std::optional<DWORD> unit)
{
    const Key config(kConfigKey, KEY_WRITE);
    if (!config)
        return false;
    bool written = true;
    if (wait)
        written = writeDword(config, u"ShutdownOnBatteryWait", *wait) && written;
    if (unit)
        written = writeDword(config, u"ShutdownOnBatteryWaitUnit", *unit) && written;
    return written;
}
} // namespace cellpanel
