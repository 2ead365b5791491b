#include "registry_read.h"

#include <os/registry.h>

#include <vector>

namespace os::detail
{
namespace
{
// Reads one value of a key, asking for its size first.
std::optional<std::vector<BYTE>> readValue(HKEY root, const char16_t* keyPath, const char16_t* name,
                                           DWORD wantedType)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::vector<BYTE> data;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS)
    {
        data.resize(size);
        result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != wantedType)
        return std::nullopt;
    return data;
}
} // namespace

std::optional<DWORD> machineDword(const char16_t* keyPath, const char16_t* name)
{
    return registryDword(HKEY_LOCAL_MACHINE, keyPath, name);
}

std::optional<std::u16string> machineString(const char16_t* keyPath, const char16_t* name)
{
    return registryString(HKEY_LOCAL_MACHINE, keyPath, name);
}
} // namespace os::detail

namespace os
{
std::optional<DWORD> registryDword(HKEY root, const char16_t* keyPath, const char16_t* name)
{
    const auto data = detail::readValue(root, keyPath, name, REG_DWORD);
    if (!data || data->size() != sizeof(DWORD))
        return std::nullopt;
    DWORD value = 0;
    std::copy(data->begin(), data->end(), reinterpret_cast<BYTE*>(&value));
    return value;
}

std::optional<std::u16string> registryString(HKEY root, const char16_t* keyPath, const char16_t* name)
{
    const auto data = detail::readValue(root, keyPath, name, REG_SZ);
    if (!data)
        return std::nullopt;
    std::u16string text(data->size() / sizeof(char16_t), u'\0');
    std::copy(data->begin(), data->begin() + static_cast<long>(text.size() * sizeof(char16_t)),
              reinterpret_cast<BYTE*>(text.data()));
    const size_t end = text.find(u'\0');
    if (end != std::u16string::npos)
        text.resize(end);
    return text;
}

std::vector<std::u16string> subkeyNames(HKEY key)
{
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index)
    {
        WCHAR name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        names.emplace_back(name, size);
    }
}

LONG setRegistryString(HKEY key, const char16_t* name, std::u16string_view text)
{
    std::u16string terminated(text);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated.c_str()),
                          static_cast<DWORD>((terminated.size() + 1) * sizeof(WCHAR)));
}

LONG setRegistryDword(HKEY key, const char16_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
} // namespace os
