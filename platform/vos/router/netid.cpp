#include "netid.h"

#include <windows.h>

namespace vos
{

namespace
{
bool ReadFrom(LPCWSTR keyName, OrxNetId& id)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    BYTE data[sizeof id];
    DWORD type = 0, size = sizeof data;
    LONG result = RegQueryValueEx(key, u"OrxNetId", nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_BINARY || size != sizeof data)
        return false;
    for (size_t i = 0; i < sizeof data; ++i)
        id.b[i] = data[i];
    return true;
}
} // namespace

OrxNetId ReadLocalNetId()
{
    OrxNetId id{};
    if (!ReadFrom(u"Software\\Corvanta\\Quberon3\\System", id))
        ReadFrom(u"Software\\Corvanta\\Quberon\\System", id);
    return id;
}

} // namespace vos
