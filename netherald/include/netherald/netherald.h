// Netherald: the device's UPnP publisher, an in-process COM server ("Netherald.dll").
// `regsvr Netherald.dll` registers the class and the device with the device host; the host
// then creates "Netherald.Device" and routes the actions of its one service to it.
#pragma once

#include <upnphost/upnphost.h>

inline constexpr CLSID CLSID_NetheraldDevice = {
    0x198E2F5D, 0xABB8, 0x4B32, {0xBA, 0x5A, 0x28, 0x61, 0xE9, 0x5E, 0x6E, 0xCB}};
inline constexpr GUID LIBID_Netherald = {
    0xAF4310BD, 0xB106, 0x4CC6, {0x90, 0x24, 0x26, 0x86, 0x36, 0xEA, 0xFC, 0x8C}};
inline constexpr GUID APPID_Netherald = {
    0x7B1B1426, 0xD4E4, 0x40F4, {0xB3, 0xFA, 0x9A, 0xB0, 0x34, 0x56, 0xEE, 0xE0}};
inline constexpr IID IID_INetherald_UPnPService = {
    0x5B0E7C52, 0x8F3D, 0x4A0C, {0xA1, 0x6E, 0x2D, 0x94, 0x47, 0xC3, 0x18, 0x7A}};

namespace netherald
{
inline constexpr const char16_t* kProgId = u"Netherald.Device";
inline constexpr const char16_t* kInitString = u"Netherald";
inline constexpr const char16_t* kTemplateUdn = u"DummyUDN";
inline constexpr const char* kServiceType = "urn:corvanta-com:service:Netherald:1";
inline constexpr const char* kServiceId = "urn:corvanta-com:serviceId:Netherald1";
} // namespace netherald

// The service: reads and writes of the device profile in the shape of Vos requests. The
// index offset holds the Gkt address (index bits 16-31, subindex 8-15, flags 0-7); data
// travel as Base64 text.
struct INetherald_UPnPService : public IUnknown
{
    STDMETHOD(Read)
    (BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen, BSTR* ppData) PURE;
    STDMETHOD(ReadWrite)
    (BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen, BSTR pwrData,
     BSTR* ppRdData) PURE;
    STDMETHOD(ReadWriteEx)
    (BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, LONG cbRdLen, BSTR pwrData, BSTR* ppRdData,
     ULONG* pcbReturn) PURE;
    STDMETHOD(Write)(BSTR netId, LONG nPort, ULONG indexGroup, ULONG indexOffset, BSTR pData) PURE;
    // The result of the last Gkt call, and the text of the last failed action.
    STDMETHOD(get_Int)(LONG* value) PURE;
    STDMETHOD(get_String)(BSTR* value) PURE;

protected:
    ~INetherald_UPnPService() = default;
};
