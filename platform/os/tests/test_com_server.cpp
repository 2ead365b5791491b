// An in-process server found only through the registry: regsvr writes its keys from a
// registry script, and CoCreateInstance loads it by the InprocServer32 path.
#include <os/regscript.h>
#include <windows.h>

#include "test_class.h"

#define SERVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
os::ServerLock g_lock;

// Where the script puts the server, for the tests to compare.
const char16_t kScript[] = uR"(
HKCR
{
    OsTest.ServerCounter.1 = s 'Server Counter'
    {
        CLSID = s '{6A1C3F22-1B2D-4E5F-9011-223344556677}'
    }
    NoRemove CLSID
    {
        ForceRemove {6A1C3F22-1B2D-4E5F-9011-223344556677} = s 'Server Counter'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Free'
            }
        }
    }
}
)";
} // namespace

SERVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (clsid != CLSID_TestServerCounter)
        return CLASS_E_CLASSNOTAVAILABLE;
    return os::getClassObject(os::createObject<ostest::Counter>, g_lock, iid, object);
}

SERVER_EXPORT HRESULT DllCanUnloadNow()
{
    return g_lock.canUnloadNow();
}

SERVER_EXPORT HRESULT DllRegisterServer()
{
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(GetModuleHandleW(u"OsComServer.dll"), path, MAX_PATH);
    if (length == 0)
        return E_FAIL;
    return os::registerScript(kScript, {{u"MODULE", std::u16string_view(path, length)}});
}

SERVER_EXPORT HRESULT DllUnregisterServer()
{
    return E_NOTIMPL;
}
