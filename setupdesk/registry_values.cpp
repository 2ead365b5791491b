#include "registry_values.h"

namespace setupdesk
{
RegKey& RegKey::operator=(RegKey&& other) noexcept
{
    if (this != &other)
    {
        close();
        m_key = other.m_key;
        other.m_key = nullptr;
    }
    return *this;
}

bool RegKey::open(const char16_t* path, REGSAM access)
{
    close();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &m_key) != ERROR_SUCCESS)
        m_key = nullptr;
    return m_key != nullptr;
}

bool RegKey::create(const char16_t* path)
{
    close();
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr) !=
        ERROR_SUCCESS)
        m_key = nullptr;
    return m_key != nullptr;
}

void RegKey::close()
{
    if (m_key)
        RegCloseKey(m_key);
    m_key = nullptr;
}

bool keyExists(const char16_t* path)
{
    RegKey key;
    return key.open(path, KEY_READ);
}

std::optional<DWORD> readDword(HKEY key, const char16_t* name)
{
    return key ? os::queryNumber(key, name) : std::nullopt;
}

std::optional<std::string> readString(HKEY key, const char16_t* name, size_t maxChars)
{
    const auto raw = readRaw(key, name);
    if (!raw || (raw->type != REG_SZ && raw->type != REG_EXPAND_SZ))
        return std::nullopt;
    std::u16string text(raw->bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(raw->bytes[2 * i] | (raw->bytes[2 * i + 1] << 8));
    if (const size_t end = text.find(u'\0'); end != std::u16string::npos)
        text.resize(end);
    if (text.size() > maxChars)
        return std::nullopt;
    return os::toUtf8(text);
}

std::optional<RawValue> readRaw(HKEY key, const char16_t* name)
{
    if (!key)
        return std::nullopt;
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    if (RegQueryValueExW(key, name, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
}

bool writeDword(HKEY key, const char16_t* name, DWORD value)
{
    return key && RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof value) == ERROR_SUCCESS;
}

bool writeString(HKEY key, const char16_t* name, const std::string& value)
{
    const std::u16string wide = os::toUtf16(value);
    return key && RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                 static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

bool writeRaw(HKEY key, const char16_t* name, const RawValue& value)
{
    return key && RegSetValueExW(key, name, 0, value.type, value.bytes.data(),
                                 static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}
std::vector<ActiveDriver> activeDrivers()
{
    std::vector<ActiveDriver> drivers;
    RegKey active;
    if (!active.open(u"Drivers\\Active", KEY_READ))
        return drivers;
    WCHAR sub[256];
    for (DWORD i = 0;; ++i)
    {
        DWORD chars = 256;
        if (RegEnumKeyExW(active.get(), i, sub, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY driver = nullptr;
        if (RegOpenKeyExW(active.get(), sub, 0, KEY_READ, &driver) != ERROR_SUCCESS)
            continue;
        drivers.push_back(
            {readString(driver, u"NAME", 256).value_or(""), readString(driver, u"Key", 256).value_or("")});
        RegCloseKey(driver);
    }
    return drivers;
}
} // namespace setupdesk
