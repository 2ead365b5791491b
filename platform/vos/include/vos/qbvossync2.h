// IQbVosSync2: the request interface of a Vos device object. The object answers the
// requests that reach it (through a CVosServerPort, vos/vosserverport.h) with 32-bit
// result codes: 0, COM failure codes or the device's own error codes.
#pragma once

#include "vos/vos.h"

#include <os/com.h>

// {6DCF4049-6F6F-42C8-BA0E-8498EC3F9BA8}
extern const IID IID_IQbVosSync2;

struct IQbVosSync2 : public IUnknown
{
    STDMETHOD(Write)(ULONG indexGroup, ULONG indexOffset, ULONG length, const void* data) PURE;
    STDMETHOD(Read)(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data) PURE;
    // returned: how many bytes of data were filled.
    STDMETHOD(ReadEx)(ULONG indexGroup, ULONG indexOffset, ULONG length, void* data, ULONG* returned) PURE;
    STDMETHOD(ReadWrite)
    (ULONG indexGroup, ULONG indexOffset, ULONG readLength, void* readData, ULONG writeLength,
     const void* writeData, ULONG* returned) PURE;
    STDMETHOD(WriteControl)(USHORT vosState, USHORT deviceState, ULONG length, const void* data) PURE;
    // name: a new COM string that the caller frees (SysFreeString).
    STDMETHOD(ReadDeviceInfo)(BSTR* name, VosVersion* version) PURE;
    STDMETHOD(ReadState)(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4) PURE;
    STDMETHOD(AddDeviceNotification)
    (ULONG indexGroup, ULONG indexOffset, ULONG length, ULONG transMode, ULONG* handle) PURE;
    STDMETHOD(DelDeviceNotification)(ULONG handle) PURE;
    STDMETHOD(DeviceNotification)(ULONG length, const void* data) PURE;

protected:
    ~IQbVosSync2() = default;
};
