// Plain calls over one blocking client of the process: open it, set its
// time-out, ask a device, close it.
#pragma once

#include "vos/vos.h"

extern "C"
{
    // Opens the process's client port; returns its port number, or 0 on failure.
    LONG VosPortOpen();
    // Closes it; 0 or a Vos error code.
    LONG VosPortClose();
    // This device's net id and the client's port.
    LONG VosGetLocalAddress(OrxAddr* addr);
    LONG VosSyncSetTimeout(LONG milliseconds);
    LONG VosSyncReadReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length, void* data);
    // name: room for VOS_DEVICE_NAME_LEN + 1 characters.
    LONG VosSyncReadDeviceInfoReq(const OrxAddr* addr, char* name, VosVersion* version);
}
