// CVos: the Vos services over Orx messages. For each service there is a
// request (...Req, sends), an indication (...Ind, a request arrived), a
// response (...Res, answers it) and a confirmation (...Con, an answer arrived).
#pragma once

#include "vos/orx.h"

struct VosVersion
{
    BYTE version;
    BYTE revision;
    USHORT build;
};

// Device names travel as 16 bytes; a name of 16 characters has no terminator on the wire.
constexpr ULONG VOS_DEVICE_NAME_LEN = 16;

// Command ids of the Vos services (messages flagged ORX_STATE_VOSCMD).
constexpr USHORT VOSCMD_READDEVICEINFO = 1;
constexpr USHORT VOSCMD_READ = 2;
constexpr USHORT VOSCMD_WRITE = 3;
constexpr USHORT VOSCMD_READSTATE = 4;
constexpr USHORT VOSCMD_WRITECONTROL = 5;
constexpr USHORT VOSCMD_ADDDEVICENOTIFICATION = 6;
constexpr USHORT VOSCMD_DELDEVICENOTIFICATION = 7;
constexpr USHORT VOSCMD_DEVICENOTIFICATION = 8;
constexpr USHORT VOSCMD_READWRITE = 9;

class CVos
{
public:
    CVos() = default;
    virtual ~CVos() = default;
    CVos(const CVos&) = delete;
    CVos& operator=(const CVos&) = delete;

    // Device info: name and version of the device behind a port.
    virtual LONG VosReadDeviceInfoReq(const OrxAddr* addr, ULONG invokeId);
    virtual void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId);
    virtual LONG VosReadDeviceInfoRes(const OrxAddr* addr, ULONG invokeId, ULONG result, const char* name,
                                      VosVersion version);
    virtual void VosReadDeviceInfoCon(const OrxAddr* addr, ULONG invokeId, ULONG result, const char* name,
                                      VosVersion version);

    // Write control: set the Vos state and device state, with optional data.
    virtual LONG VosWriteControlReq(const OrxAddr* addr, ULONG invokeId, USHORT vosState, USHORT deviceState,
                                    ULONG length, const void* data);
    virtual void VosWriteControlInd(const OrxAddr* addr, ULONG invokeId, USHORT vosState, USHORT deviceState,
                                    ULONG length, const void* data);
    virtual LONG VosWriteControlRes(const OrxAddr* addr, ULONG invokeId, ULONG result);
    virtual void VosWriteControlCon(const OrxAddr* addr, ULONG invokeId, ULONG result);

    // State: read the Vos state and device state.
    virtual LONG VosReadStateReq(const OrxAddr* addr, ULONG invokeId);
    virtual void VosReadStateInd(const OrxAddr* addr, ULONG invokeId);
    virtual LONG VosReadStateRes(const OrxAddr* addr, ULONG invokeId, ULONG result, USHORT vosState,
                                 USHORT deviceState);
    virtual void VosReadStateCon(const OrxAddr* addr, ULONG invokeId, ULONG result, USHORT vosState,
                                 USHORT deviceState);

    // Write: data to index group and offset.
    virtual LONG VosWriteReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                             ULONG length, const void* data);
    virtual void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                             ULONG length, const void* data);
    virtual LONG VosWriteRes(const OrxAddr* addr, ULONG invokeId, ULONG result);
    virtual void VosWriteCon(const OrxAddr* addr, ULONG invokeId, ULONG result);

    // Read: up to length bytes from index group and offset.
    virtual LONG VosReadReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                            ULONG length);
    virtual void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                            ULONG length);
    virtual LONG VosReadRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length,
                            const void* data);
    virtual void VosReadCon(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length,
                            const void* data);

    // Read-write: write data and read up to readLength bytes in one exchange.
    virtual LONG VosReadWriteReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                 ULONG readLength, ULONG writeLength, const void* data);
    virtual void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                 ULONG readLength, ULONG writeLength, const void* data);
    virtual LONG VosReadWriteRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length,
                                 const void* data);
    virtual void VosReadWriteCon(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG length,
                                 const void* data);

    // Notifications: a client asks a device to send it data of an index group
    // and offset (add), cancels that (delete), and the device sends the data.
    virtual LONG VosAddDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup,
                                             ULONG indexOffset, ULONG length, ULONG transMode, ULONG maxDelay,
                                             ULONG cycleTime);
    virtual void VosAddDeviceNotificationInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup,
                                             ULONG indexOffset, ULONG length, ULONG transMode, ULONG maxDelay,
                                             ULONG cycleTime);
    virtual LONG VosAddDeviceNotificationRes(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG handle);
    virtual void VosAddDeviceNotificationCon(const OrxAddr* addr, ULONG invokeId, ULONG result, ULONG handle);
    virtual LONG VosDelDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG handle);
    virtual void VosDelDeviceNotificationInd(const OrxAddr* addr, ULONG invokeId, ULONG handle);
    virtual LONG VosDelDeviceNotificationRes(const OrxAddr* addr, ULONG invokeId, ULONG result);
    virtual void VosDelDeviceNotificationCon(const OrxAddr* addr, ULONG invokeId, ULONG result);
    // A notification is not answered.
    virtual LONG VosDeviceNotificationReq(const OrxAddr* addr, ULONG invokeId, ULONG length,
                                          const void* data);
    virtual void VosDeviceNotificationInd(const OrxAddr* addr, ULONG invokeId, ULONG length,
                                          const void* data);

    // Decodes a received Vos command and calls its ...Ind or ...Con operation.
    // A request too short for its command is answered with VOSERR_INVALID_MESSAGE.
    void VosDispatch(const OrxCmd* cmd);

protected:
    // Sends one message from the port behind this object.
    virtual LONG VosSend(const OrxAddr* target, USHORT cmdId, USHORT stateFlags, ULONG invokeId,
                         const void* data, ULONG length) = 0;

private:
    LONG Request(const OrxAddr* addr, USHORT cmdId, ULONG invokeId, const void* data, ULONG length);
    LONG Response(const OrxAddr* addr, USHORT cmdId, ULONG invokeId, const void* data, ULONG length);
};
