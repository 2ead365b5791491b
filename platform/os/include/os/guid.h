// Globally unique identifiers as the device's COM uses them.
#pragma once

#include <os/types.h>

#include <string>

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef GUID* LPGUID;
typedef CLSID* LPCLSID;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b)
{
    return !(a == b);
}
inline BOOL IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}
inline BOOL IsEqualIID(REFIID a, REFIID b)
{
    return a == b;
}
inline BOOL IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return a == b;
}

extern const GUID GUID_NULL;

namespace os
{
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string guidToString(const GUID& guid);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx": lower case without braces, as UUIDs in URNs and
// UPnP device names are written.
std::string uuidText(const GUID& guid);
// Accepts the form above with or without braces, any case; false for anything else.
bool guidFromString(const std::string& text, GUID& guid);
} // namespace os

extern "C"
{
    // Writes the braced text form; returns the characters written including the terminator, 0 when too small.
    int StringFromGUID2(REFGUID guid, WCHAR* buffer, int size);
    HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid);
    HRESULT IIDFromString(const WCHAR* text, IID* iid);
}
