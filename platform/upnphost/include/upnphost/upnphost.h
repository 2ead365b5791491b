// The device host: devices register with the registrar (class {204810B9-...} in
// libupnphost.so, found through HKEY_CLASSES_ROOT), and the host daemon upnphostd creates
// their device objects, serves their descriptions and routes the actions of their services
// to them.
//
// A registration is the key HKLM "Comm\UPnPDevices\<device identifier>" with "XMLDesc"
// (the description, its UDNs as templates such as "uuid:DummyUDN"), "ProgId" (the device
// object's class), "InitString" and "ResourcePath" (the device's web folder).
#pragma once

#include <windows.h>

#include <vector>

inline constexpr CLSID CLSID_UPnPRegistrar = {
    0x204810B9, 0x73B2, 0x11D4, {0xBF, 0x42, 0x00, 0xB0, 0xD0, 0x11, 0x8B, 0x56}};
inline constexpr IID IID_IUPnPRegistrar = {
    0x204810B6, 0x73B2, 0x11D4, {0xBF, 0x42, 0x00, 0xB0, 0xD0, 0x11, 0x8B, 0x56}};
inline constexpr IID IID_IUPnPDeviceControl = {
    0x204810BA, 0x73B2, 0x11D4, {0xBF, 0x42, 0x00, 0xB0, 0xD0, 0x11, 0x8B, 0x56}};
inline constexpr IID IID_IUPnPService = {
    0x7D4A2E51, 0x3C1B, 0x4F6A, {0x9E, 0x27, 0x51, 0x0C, 0x8B, 0x3D, 0x64, 0x12}};

// The key of all registrations, below HKEY_LOCAL_MACHINE.
inline constexpr const char16_t* kUPnPDevicesKey = u"Comm\\UPnPDevices";

struct IUPnPRegistrar : public IUnknown
{
    // Records the registration under the device identifier (a key name: no "\") and tells
    // a running host to load it; the host loads it at its next start otherwise.
    // E_INVALIDARG for a description without a root device UDN.
    STDMETHOD(RegisterDevice)
    (BSTR xmlDesc, BSTR progIdDeviceControlClass, BSTR initString, BSTR deviceIdentifier,
     BSTR resourcePath) PURE;
    // The UDN the host assigned to a template UDN of a registered device (bare, without
    // "uuid:"): a random UUID made on the first call and kept with the registration.
    // E_INVALIDARG for a device identifier that is not registered.
    STDMETHOD(GetUniqueDeviceName)(BSTR deviceIdentifier, BSTR templateUdn, BSTR* udn) PURE;

protected:
    ~IUPnPRegistrar() = default;
};

// What a service offers, for the host to describe it and to call it. The host generates
// the service description from this table: one state variable per property, and one
// "A_ARG_TYPE_<name>" variable per argument name.
enum class UPnPDataType
{
    string,
    i4,
    ui4,
};

struct UPnPArgument
{
    const char* name;
    UPnPDataType type;
    bool out;
};

struct UPnPAction
{
    const char* name;
    std::vector<UPnPArgument> arguments; // in order; the first out argument is the return value
};

struct UPnPProperty
{
    const char* name;
    UPnPDataType type;
};

struct UPnPServiceTable
{
    std::vector<UPnPAction> actions;
    std::vector<UPnPProperty> properties;
};

struct IUPnPService : public IUnknown
{
    // The table, valid as long as the object.
    STDMETHOD_(const UPnPServiceTable*, serviceTable)() PURE;
    // Runs action `action` (its index in the table). `arguments` holds one VARIANT per
    // argument in table order: the in arguments as VT_BSTR, VT_I4 or VT_UI4 by their type,
    // the out ones VT_EMPTY, which the action sets on success. A failed action may give a
    // text for the caller in *errorDescription (which the caller frees).
    STDMETHOD(Invoke)(UINT action, VARIANT* arguments, BSTR* errorDescription) PURE;
    // The value of property `property` (its index in the table).
    STDMETHOD(GetProperty)(UINT property, VARIANT* value) PURE;

protected:
    ~IUPnPService() = default;
};

struct IUPnPDeviceControl : public IUnknown
{
    // Called once after creation with the registration's init string, device identifier
    // and resource path.
    STDMETHOD(Initialize)(BSTR initString, BSTR deviceIdentifier, BSTR resourcePath) PURE;
    // The object of one service; the UDN as the description gives it ("uuid:...").
    STDMETHOD(GetServiceObject)(BSTR udn, BSTR serviceId, IUPnPService** service) PURE;

protected:
    ~IUPnPDeviceControl() = default;
};
