#include "mac_id.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace netherald
{
namespace
{
constexpr ULONG kFirstBufferSize = 3200;

// The default adapter's name; empty when no key names one.
std::string defaultAdapter()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Corvanta\\Quberon3\\System", 0, KEY_READ, &key) !=
            ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Corvanta\\Quberon\\Remote", 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
        return {};
    WCHAR name[MAX_ADAPTER_NAME_LENGTH + 4] = {};
    DWORD size = sizeof name - sizeof(WCHAR);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, u"DefaultAdapter", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? os::toUtf8(name) : std::string();
}
} // namespace

bool readMacId(std::string& macId)
{
    ULONG size = kFirstBufferSize;
    std::vector<IP_ADAPTER_INFO> buffer(size / sizeof(IP_ADAPTER_INFO) + 1);
    DWORD result = GetAdaptersInfo(buffer.data(), &size);
    if (result == ERROR_BUFFER_OVERFLOW)
    {
        buffer.resize(size / sizeof(IP_ADAPTER_INFO) + 1);
        result = GetAdaptersInfo(buffer.data(), &size);
    }
    if (result != NO_ERROR)
        return false;
    const std::string wanted = defaultAdapter();
    const IP_ADAPTER_INFO* chosen = buffer.data();
    for (const IP_ADAPTER_INFO* adapter = buffer.data(); adapter && !wanted.empty(); adapter = adapter->Next)
    {
        if (wanted == adapter->AdapterName)
        {
            chosen = adapter;
            break;
        }
    }
    if (chosen->AddressLength != 6)
        return false;
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", chosen->Address[0], chosen->Address[1],
                  chosen->Address[2], chosen->Address[3], chosen->Address[4], chosen->Address[5]);
    macId = text;
    return true;
}
} // namespace netherald
