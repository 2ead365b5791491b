// The registry of the device. One text file in the .reg style ("registry.reg" in the
// device root) holds it for every process: each call sees the changes other processes
// made before it, and each change is written at once and atomically.
//
// Key and value names compare ignoring case; separators are "\", and a leading "\"
// (or doubled ones) are ignored. RegDeleteKey removes the key with all its subkeys,
// unless one of them is protected (os::protectRegistryKey).
// A new device root starts with the *.reg fragments of the folder "registry.d"
// beside the program, merged in name order.
#pragma once

#include <os/file.h>
#include <os/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0
#define REG_OPTION_VOLATILE 1
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

namespace os
{
// The host path of the registry file of the current device root.
std::string registryFilePath();
// A 32-bit number: a REG_DWORD value of exactly 4 bytes; nothing for an absent
// value or one of another type or size.
std::optional<DWORD> queryNumber(HKEY key, LPCWSTR valueName);
// The root key a name stands for: "HKLM" or "HKEY_LOCAL_MACHINE", and so HKCR, HKCU, HKU,
// ignoring case; null for any other name.
HKEY rootKeyNamed(std::u16string_view name);
// One value of a key, for the platform's own settings: nothing when the key or value is
// missing or of another type (a text up to its first zero).
std::optional<DWORD> registryDword(HKEY root, const char16_t* keyPath, const char16_t* name);
std::optional<std::u16string> registryString(HKEY root, const char16_t* keyPath, const char16_t* name);
// The names of an open key's subkeys in order, all read before the caller acts on them (so
// that deleting some of them skips none of the others).
std::vector<std::u16string> subkeyNames(HKEY key);
// Writes a REG_SZ (with its terminator) or a REG_DWORD into an open key; the registry error.
LONG setRegistryString(HKEY key, const char16_t* name, std::u16string_view text);
LONG setRegistryDword(HKEY key, const char16_t* name, DWORD value);
// Marks an existing key as protected (or clears the mark), as the device's system keys
// are: RegDeleteKey of it, or of a key above it, then fails with ERROR_ACCESS_DENIED and
// deletes nothing; its values still change. The mark is kept in the file as a line
// "!protected" below the key's header, so a registry fragment can set it too.
LONG protectRegistryKey(HKEY key, LPCWSTR subKey, bool isProtected);
} // namespace os

extern "C"
{
    LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
    LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                         REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
    LONG RegCloseKey(HKEY key);
    LONG RegFlushKey(HKEY key);
    // A null data pointer asks for the size; a short buffer gives ERROR_MORE_DATA. Both
    // report the value's type and its size in bytes.
    LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                          LPDWORD dataSize);
    LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize);
    LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
    LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
    // Name sizes are in characters; on entry with room for the terminator, on return without it.
    LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                       LPWSTR keyClass, LPDWORD classSize, LPFILETIME lastWriteTime);
    LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                       LPDWORD type, LPBYTE data, LPDWORD dataSize);
    LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                          LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                          LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptor,
                          LPFILETIME lastWriteTime);
}

inline LONG RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return RegOpenKeyExW(key, subKey, options, access, result);
}
inline LONG RegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                           REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    return RegCreateKeyExW(key, subKey, reserved, keyClass, options, access, security, result, disposition);
}
inline LONG RegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD dataSize)
{
    return RegQueryValueExW(key, valueName, reserved, type, data, dataSize);
}
inline LONG RegSetValueEx(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                          DWORD dataSize)
{
    return RegSetValueExW(key, valueName, reserved, type, data, dataSize);
}
inline LONG RegDeleteValue(HKEY key, LPCWSTR valueName)
{
    return RegDeleteValueW(key, valueName);
}
inline LONG RegDeleteKey(HKEY key, LPCWSTR subKey)
{
    return RegDeleteKeyW(key, subKey);
}
inline LONG RegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                         LPWSTR keyClass, LPDWORD classSize, LPFILETIME lastWriteTime)
{
    return RegEnumKeyExW(key, index, name, nameSize, reserved, keyClass, classSize, lastWriteTime);
}
inline LONG RegEnumValue(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                         LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    return RegEnumValueW(key, index, valueName, valueNameSize, reserved, type, data, dataSize);
}
inline LONG RegQueryInfoKey(HKEY key, LPWSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                            LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                            LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptor,
                            LPFILETIME lastWriteTime)
{
    return RegQueryInfoKeyW(key, keyClass, classSize, reserved, subKeys, maxSubKeyLength, maxClassLength,
                            values, maxValueNameLength, maxValueLength, securityDescriptor, lastWriteTime);
}
