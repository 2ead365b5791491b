// The device object "Netherald.Device": the host's device control, the service's object
// for the host (IUPnPService) and the service itself (INetherald_UPnPService), in one.
#pragma once

#include "device_actions.h"
#include "ssdp_announcer.h"
#include "upnp_log.h"

#include <netherald/netherald.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace netherald
{
class Device : public IUPnPDeviceControl, public IUPnPService, public INetherald_UPnPService
{
public:
    // With the system clock and the multicast sender.
    Device();
    Device(std::shared_ptr<Clock> clock, std::shared_ptr<DatagramSender> sender);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IUPnPDeviceControl
    STDMETHODIMP Initialize(BSTR initString, BSTR deviceIdentifier, BSTR resourcePath) override;
    STDMETHODIMP GetServiceObject(BSTR udn, BSTR serviceId, IUPnPService** service) override;

    // IUPnPService
    STDMETHODIMP_(const UPnPServiceTable*) serviceTable() override;
    STDMETHODIMP Invoke(UINT action, VARIANT* arguments, BSTR* errorDescription) override;
    STDMETHODIMP GetProperty(UINT property, VARIANT* value) override;

    // INetherald_UPnPService
    STDMETHODIMP Read(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen,
                      BSTR* ppData) override;
    STDMETHODIMP ReadWrite(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen,
                           BSTR pwrData, BSTR* ppRdData) override;
    STDMETHODIMP ReadWriteEx(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen,
                             BSTR pwrData, BSTR* ppRdData, ULONG* pcbReturn) override;
    STDMETHODIMP Write(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, BSTR pData) override;
    STDMETHODIMP get_Int(LONG* value) override;
    STDMETHODIMP get_String(BSTR* value) override;

protected:
    // Released by the last Release: the alive notice still waiting is cancelled, then the
    // byebye notice goes out.
    virtual ~Device();

private:
    HRESULT invokeAction(UINT action, VARIANT* arguments);

    std::atomic<ULONG> m_references{1};
    UPnPLog m_log;
    DeviceActions m_actions;
    SsdpAnnouncer m_announcer;
    std::mutex m_mutex; // the UDN and the initialised flag
    bool m_initialised = false;
    std::u16string m_udn; // bare
};
} // namespace netherald
