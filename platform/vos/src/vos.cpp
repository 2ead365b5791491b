#include "vos/vos.h"

#include "payload.h"

#include <cstring>

using vos::PayloadReader;
using vos::PayloadWriter;

// Payloads. Requests: read = group, offset, length; write = group, offset,
// length, data; read-write = group, offset, read length, write length, data;
// write control = Vos state, device state, length, data; add notification =
// group, offset, length, mode, delay, cycle; delete notification = handle;
// notification = length, data. Responses begin with the result: read and
// read-write then carry length and data, device info the version and the
// 16-byte name, state the two states, add notification the handle.

LONG CVos::Request(const OrxAddr* addr, USHORT cmdId, ULONG invokeId, const void* data, ULONG length)
{
    if (!addr)
        return VOSERR_INVALID_PARAMETER;
    return VosSend(addr, cmdId, ORX_STATE_VOSCMD, invokeId, data, length);
}

LONG CVos::Response(const OrxAddr* addr, USHORT cmdId, ULONG invokeId, const void* data, ULONG length)
{
    if (!addr)
        return VOSERR_INVALID_PARAMETER;
    return VosSend(addr, cmdId, ORX_STATE_VOSCMD | ORX_STATE_RESPONSE, invokeId, data, length);
}

// ---- device info
LONG CVos::VosReadDeviceInfoReq(const OrxAddr* addr, ULONG invokeId)
{
    return Request(addr, VOSCMD_READDEVICEINFO, invokeId, nullptr, 0);
}
void CVos::VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId)
{
    VosReadDeviceInfoRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED, "", VosVersion{});
}
LONG CVos::VosReadDeviceInfoRes(const OrxAddr* addr, ULONG invokeId, ULONG result, const char* name,
                                VosVersion version)
{
    PayloadWriter w;
    w.U32(result).Raw(&version.version, 1).Raw(&version.revision, 1).U16(version.build);
    vos::PutDeviceName(w, name);
    return Response(addr, VOSCMD_READDEVICEINFO, invokeId, w.Data(), w.Size());
}
void CVos::VosReadDeviceInfoCon(const OrxAddr*, ULONG, ULONG, const char*, VosVersion) {}

// ---- write control
LONG CVos::VosWriteControlReq(const OrxAddr* addr, ULONG invokeId, USHORT vosState, USHORT deviceState,
                              ULONG length, const void* data)
{
    PayloadWriter w;
    w.U16(vosState).U16(deviceState).U32(length).Raw(data, length);
    return Request(addr, VOSCMD_WRITECONTROL, invokeId, w.Data(), w.Size());
}
void CVos::VosWriteControlInd(const OrxAddr* addr, ULONG invokeId, USHORT, USHORT, ULONG, const void*)
{
    VosWriteControlRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED);
}
LONG CVos::VosWriteControlRes(const OrxAddr* addr, ULONG invokeId, ULONG result)
{
    return Response(addr, VOSCMD_WRITECONTROL, invokeId, &result, 4);
}
void CVos::VosWriteControlCon(const OrxAddr*, ULONG, ULONG) {}

// ---- state
LONG CVos::VosReadStateReq(const OrxAddr* addr, ULONG invokeId)
{
    return Request(addr, VOSCMD_READSTATE, invokeId, nullptr, 0);
}
void CVos::VosReadStateInd(const OrxAddr* addr, ULONG invokeId)
{
    VosReadStateRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED, 0, 0);
}
LONG CVos::VosReadStateRes(const OrxAddr* addr, ULONG invokeId, ULONG result, USHORT vosState,
                           USHORT deviceState)
{
    PayloadWriter w;
    w.U32(result).U16(vosState).U16(deviceState);
    return Response(addr, VOSCMD_READSTATE, invokeId, w.Data(), w.Size());
}
void CVos::VosReadStateCon(const OrxAddr*, ULONG, ULONG, USHORT, USHORT) {}

// ---- write
LONG CVos::VosWriteReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset, ULONG length,
                       const void* data)
{
    PayloadWriter w;
    w.U32(indexGroup).U32(indexOffset).U32(length).Raw(data, length);
    return Request(addr, VOSCMD_WRITE, invokeId, w.Data(), w.Size());
}
void CVos::VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG, ULONG, ULONG, const void*)
{
    VosWriteRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED);
}
LONG CVos::VosWriteRes(const OrxAddr* addr, ULONG invokeId, ULONG result)
{
    return Response(addr, VOSCMD_WRITE, invokeId, &result, 4);
}
void CVos::VosWriteCon(const OrxAddr*, ULONG, ULONG) {}

// ---- read
LONG CVos::VosReadReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset, ULONG length)
{
    PayloadWriter w;
    w.U32(indexGroup).U32(indexOffset).U32(length);
    return Request(addr, VOSCMD_READ, invokeId, w.Data(), w.Size());
}
void CVos::VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG, ULONG, ULONG)
{
    VosReadRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED, 0, nullptr);
}
// A device may answer a result code together with data (an NC kernel's
// batch answer names what it took); both travel.
LONG CVos::VosReadRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length, const void* data)
{
    if (!data)
        length = 0;
    PayloadWriter w;
    w.U32(result).U32(length).Raw(data, length);
    return Response(addr, VOSCMD_READ, invokeId, w.Data(), w.Size());
}
void CVos::VosReadCon(const OrxAddr*, ULONG, ULONG, ULONG, const void*) {}

// ---- read-write
LONG CVos::VosReadWriteReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                           ULONG readLength, ULONG writeLength, const void* data)
{
    PayloadWriter w;
    w.U32(indexGroup).U32(indexOffset).U32(readLength).U32(writeLength).Raw(data, writeLength);
    return Request(addr, VOSCMD_READWRITE, invokeId, w.Data(), w.Size());
}
void CVos::VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG, ULONG, ULONG, ULONG, const void*)
{
    VosReadWriteRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED, 0, nullptr);
}
LONG CVos::VosReadWriteRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length, const void* data)
{
    if (!data)
        length = 0;
    PayloadWriter w;
    w.U32(result).U32(length).Raw(data, length);
    return Response(addr, VOSCMD_READWRITE, invokeId, w.Data(), w.Size());
}
void CVos::VosReadWriteCon(const OrxAddr*, ULONG, ULONG, ULONG, const void*) {}

// ---- notifications
LONG CVos::VosAddDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup,
                                       ULONG indexOffset, ULONG length, ULONG transMode, ULONG maxDelay,
                                       ULONG cycleTime)
{
    PayloadWriter w;
    w.U32(indexGroup).U32(indexOffset).U32(length).U32(transMode).U32(maxDelay).U32(cycleTime);
    return Request(addr, VOSCMD_ADDDEVICENOTIFICATION, invokeId, w.Data(), w.Size());
}
void CVos::VosAddDeviceNotificationInd(const OrxAddr* addr, ULONG invokeId, ULONG, ULONG, ULONG, ULONG, ULONG,
                                       ULONG)
{
    VosAddDeviceNotificationRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED, 0);
}
LONG CVos::VosAddDeviceNotificationRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG handle)
{
    PayloadWriter w;
    w.U32(result).U32(handle);
    return Response(addr, VOSCMD_ADDDEVICENOTIFICATION, invokeId, w.Data(), w.Size());
}
void CVos::VosAddDeviceNotificationCon(const OrxAddr*, ULONG, ULONG, ULONG) {}
LONG CVos::VosDelDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG handle)
{
    return Request(addr, VOSCMD_DELDEVICENOTIFICATION, invokeId, &handle, 4);
}
void CVos::VosDelDeviceNotificationInd(const OrxAddr* addr, ULONG invokeId, ULONG)
{
    VosDelDeviceNotificationRes(addr, invokeId, VOSERR_SRV_NOT_SUPPORTED);
}
LONG CVos::VosDelDeviceNotificationRes(const OrxAddr* addr, ULONG invokeId, ULONG result)
{
    return Response(addr, VOSCMD_DELDEVICENOTIFICATION, invokeId, &result, 4);
}
void CVos::VosDelDeviceNotificationCon(const OrxAddr*, ULONG, ULONG) {}
LONG CVos::VosDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG length, const void* data)
{
    PayloadWriter w;
    w.U32(length).Raw(data, length);
    return Request(addr, VOSCMD_DEVICENOTIFICATION, invokeId, w.Data(), w.Size());
}
void CVos::VosDeviceNotificationInd(const OrxAddr*, ULONG, ULONG, const void*) {}

// ---- dispatch
namespace
{

struct Decoded
{
    ULONG a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    USHORT s1 = 0, s2 = 0;
    const BYTE* data = nullptr;
};

// Reads a counted data block whose length is the given field; the whole payload must be used.
bool TakeData(PayloadReader& r, ULONG length, const BYTE*& data)
{
    return r.Take(length, data) && r.Left() == 0;
}

bool DecodeRequest(USHORT cmdId, PayloadReader& r, Decoded& d)
{
    switch (cmdId)
    {
    case VOSCMD_READDEVICEINFO:
    case VOSCMD_READSTATE:
        return r.Left() == 0;
    case VOSCMD_READ:
        return r.U32(d.a) && r.U32(d.b) && r.U32(d.c) && r.Left() == 0;
    case VOSCMD_WRITE:
        return r.U32(d.a) && r.U32(d.b) && r.U32(d.c) && TakeData(r, d.c, d.data);
    case VOSCMD_READWRITE:
        return r.U32(d.a) && r.U32(d.b) && r.U32(d.c) && r.U32(d.d) && TakeData(r, d.d, d.data);
    case VOSCMD_WRITECONTROL:
        return r.U16(d.s1) && r.U16(d.s2) && r.U32(d.c) && TakeData(r, d.c, d.data);
    case VOSCMD_ADDDEVICENOTIFICATION:
        return r.U32(d.a) && r.U32(d.b) && r.U32(d.c) && r.U32(d.d) && r.U32(d.e) && r.U32(d.f) &&
               r.Left() == 0;
    case VOSCMD_DELDEVICENOTIFICATION:
        return r.U32(d.a) && r.Left() == 0;
    case VOSCMD_DEVICENOTIFICATION:
        return r.U32(d.c) && TakeData(r, d.c, d.data);
    default:
        return false;
    }
}

} // namespace

void CVos::VosDispatch(const OrxCmd* cmd)
{
    if (!cmd || !cmd->IsVosCommand())
        return;
    const OrxAddr* from = &cmd->source;
    const ULONG id = cmd->invokeId;
    PayloadReader r(cmd->Data(), cmd->length);
    if (!cmd->IsResponse())
    {
        Decoded d;
        if (!DecodeRequest(cmd->cmdId, r, d))
        {
            if (cmd->cmdId != VOSCMD_DEVICENOTIFICATION)
                VosSend(from, cmd->cmdId, ORX_STATE_VOSCMD | ORX_STATE_RESPONSE, id, nullptr, 0);
            return;
        }
        switch (cmd->cmdId)
        {
        case VOSCMD_READDEVICEINFO:
            return VosReadDeviceInfoInd(from, id);
        case VOSCMD_READSTATE:
            return VosReadStateInd(from, id);
        case VOSCMD_READ:
            return VosReadInd(from, id, d.a, d.b, d.c);
        case VOSCMD_WRITE:
            return VosWriteInd(from, id, d.a, d.b, d.c, d.data);
        case VOSCMD_READWRITE:
            return VosReadWriteInd(from, id, d.a, d.b, d.c, d.d, d.data);
        case VOSCMD_WRITECONTROL:
            return VosWriteControlInd(from, id, d.s1, d.s2, d.c, d.data);
        case VOSCMD_ADDDEVICENOTIFICATION:
            return VosAddDeviceNotificationInd(from, id, d.a, d.b, d.c, d.d, d.e, d.f);
        case VOSCMD_DELDEVICENOTIFICATION:
            return VosDelDeviceNotificationInd(from, id, d.a);
        case VOSCMD_DEVICENOTIFICATION:
            return VosDeviceNotificationInd(from, id, d.c, d.data);
        }
        return;
    }

    // An answer: a transport error or a malformed answer becomes the result, with no data.
    ULONG result = cmd->errorCode;
    if (result == VOSERR_NOERROR && !r.U32(result))
        result = VOSERR_INVALID_MESSAGE;
    ULONG length = 0, handle = 0;
    USHORT s1 = 0, s2 = 0;
    const BYTE* data = nullptr;
    VosVersion version{};
    char name[VOS_DEVICE_NAME_LEN + 1] = {};
    bool ok = true;
    // A device's result code may come with the data of a read (the NC
    // kernel's batch answer); a device that sent none sent a length of 0.
    if (cmd->errorCode == VOSERR_NOERROR && result != VOSERR_NOERROR &&
        (cmd->cmdId == VOSCMD_READ || cmd->cmdId == VOSCMD_READWRITE) && r.Left() > 0)
    {
        if (!r.U32(length) || !TakeData(r, length, data))
        {
            length = 0;
            data = nullptr;
        }
    }
    else if (cmd->errorCode == VOSERR_NOERROR && result == VOSERR_NOERROR)
    {
        switch (cmd->cmdId)
        {
        case VOSCMD_READ:
        case VOSCMD_READWRITE:
            ok = r.U32(length) && TakeData(r, length, data);
            break;
        case VOSCMD_READDEVICEINFO:
            ok = r.Raw(&version.version, 1) && r.Raw(&version.revision, 1) && r.U16(version.build) &&
                 r.Raw(name, VOS_DEVICE_NAME_LEN);
            break;
        case VOSCMD_READSTATE:
            ok = r.U16(s1) && r.U16(s2);
            break;
        case VOSCMD_ADDDEVICENOTIFICATION:
            ok = r.U32(handle);
            break;
        default:
            break;
        }
        if (!ok)
        {
            result = VOSERR_INVALID_MESSAGE;
            length = 0;
            data = nullptr;
        }
    }
    switch (cmd->cmdId)
    {
    case VOSCMD_READDEVICEINFO:
        return VosReadDeviceInfoCon(from, id, result, name, version);
    case VOSCMD_READSTATE:
        return VosReadStateCon(from, id, result, s1, s2);
    case VOSCMD_READ:
        return VosReadCon(from, id, result, length, data);
    case VOSCMD_WRITE:
        return VosWriteCon(from, id, result);
    case VOSCMD_READWRITE:
        return VosReadWriteCon(from, id, result, length, data);
    case VOSCMD_WRITECONTROL:
        return VosWriteControlCon(from, id, result);
    case VOSCMD_ADDDEVICENOTIFICATION:
        return VosAddDeviceNotificationCon(from, id, result, handle);
    case VOSCMD_DELDEVICENOTIFICATION:
        return VosDelDeviceNotificationCon(from, id, result);
    default:
        return;
    }
}
