// The library's entry points ("Netherald.dll").
#include "device.h"
#include "registration.h"

#define NETHERALD_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
os::ServerLock g_serverLock;

// Device objects hold the library while they live.
class ServedDevice : public netherald::Device
{
public:
    ServedDevice() { g_serverLock.add(); }

protected:
    ~ServedDevice() override { g_serverLock.release(); }
};
} // namespace

NETHERALD_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (clsid != CLSID_NetheraldDevice)
        return CLASS_E_CLASSNOTAVAILABLE;
    return os::getClassObject(os::createObject<ServedDevice>, g_serverLock, iid, object);
}

NETHERALD_EXPORT HRESULT DllCanUnloadNow()
{
    return g_serverLock.canUnloadNow();
}

NETHERALD_EXPORT HRESULT DllRegisterServer()
{
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(GetModuleHandleW(u"Netherald.dll"), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return SELFREG_E_CLASS;
    return netherald::registerServer(std::u16string(path, length));
}

// Registrations stay until the device is registered anew (which replaces them).
NETHERALD_EXPORT HRESULT DllUnregisterServer()
{
    return E_NOTIMPL;
}
