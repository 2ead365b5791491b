// The registrar class of libupnphost.so, created through HKEY_CLASSES_ROOT.
#include "description.h"
#include "host_notice.h"
#include "registrations.h"

#include <upnphost/upnphost.h>

#define UPNPHOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
os::ServerLock g_serverLock;

// A running host answers once it has loaded the registrations; a host that is busy for
// longer loads them anyway, so registering does not wait for it beyond this.
constexpr std::chrono::seconds kNoticeTimeout{30};

std::u16string textOf(BSTR text)
{
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

class Registrar : public os::ComObject<IUPnPRegistrar, IID_IUPnPRegistrar>
{
public:
    Registrar() { g_serverLock.add(); }

    STDMETHODIMP RegisterDevice(BSTR xmlDesc, BSTR progIdDeviceControlClass, BSTR initString,
                                BSTR deviceIdentifier, BSTR resourcePath) override
    {
        const upnphost::Registration registration{textOf(deviceIdentifier), textOf(xmlDesc),
                                                  textOf(progIdDeviceControlClass), textOf(initString),
                                                  textOf(resourcePath)};
        if (!upnphost::isDeviceIdentifier(registration.id) || registration.progId.empty())
            return E_INVALIDARG;
        const auto device = upnphost::readDescription(os::toUtf8(registration.description));
        if (!device)
            return E_INVALIDARG;
        if (const LONG written = upnphost::writeRegistration(registration); written != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(written);
        // The UDN exists before any host loads the device, so every process sees one name.
        std::u16string udn;
        if (const HRESULT named =
                upnphost::uniqueDeviceName(registration.id, os::toUtf16(upnphost::bareUdn(device->udn)), udn);
            FAILED(named))
            return named;
        upnphost::notifyHost(kNoticeTimeout);
        return S_OK;
    }

    STDMETHODIMP GetUniqueDeviceName(BSTR deviceIdentifier, BSTR templateUdn, BSTR* udn) override
    {
        if (!udn)
            return E_POINTER;
        *udn = nullptr;
        std::u16string name;
        const HRESULT result =
            upnphost::uniqueDeviceName(textOf(deviceIdentifier), textOf(templateUdn), name);
        if (FAILED(result))
            return result;
        *udn = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        return *udn ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~Registrar() override { g_serverLock.release(); }
};
} // namespace

UPNPHOST_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (clsid != CLSID_UPnPRegistrar)
        return CLASS_E_CLASSNOTAVAILABLE;
    return os::getClassObject(os::createObject<Registrar>, g_serverLock, iid, object);
}

UPNPHOST_EXPORT HRESULT DllCanUnloadNow()
{
    return g_serverLock.canUnloadNow();
}
