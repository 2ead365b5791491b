// CVosSync: a blocking Vos client on a port of its own. Each request waits for
// its answer up to the time-out. One object serves one thread at a time; every
// thread that sends requests has its own.
#pragma once

#include "vos/vos.h"

#include <memory>

namespace vos
{
class SyncState;
}

class CVosSync
{
public:
    static constexpr ULONG DEFAULT_TIMEOUT_MS = 5000;

    // connect nonzero opens the port at once; otherwise the first request does.
    CVosSync(USHORT port = 0, BOOL connect = TRUE, LPCSTR portName = nullptr);
    virtual ~CVosSync();
    CVosSync(const CVosSync&) = delete;
    CVosSync& operator=(const CVosSync&) = delete;

    LONG VosSyncConnect();
    void VosSyncDisconnect();
    BOOL VosSyncIsConnected() const;
    // The client's own address; zero when not connected.
    OrxAddr VosSyncGetAddr() const;
    void VosSyncSetTimeout(ULONG milliseconds);
    ULONG VosSyncGetTimeout() const;

    // Each returns 0 or a Vos error code. A nonzero result means that no data
    // arrived, and the caller's buffers are left as they were, unless the
    // device answered its result code together with data: then the data
    // arrive as well (returned gives their length).
    // Read: up to length bytes; returned (optional) gets the number that came.
    LONG VosSyncReadReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length, void* data,
                        ULONG* returned = nullptr);
    LONG VosSyncWriteReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG length,
                         const void* data);
    LONG VosSyncReadWriteReq(const OrxAddr* addr, ULONG indexGroup, ULONG indexOffset, ULONG readLength,
                             void* readData, ULONG writeLength, const void* writeData,
                             ULONG* returned = nullptr);
    // name: room for VOS_DEVICE_NAME_LEN + 1 characters, zero-terminated.
    LONG VosSyncReadDeviceInfoReq(const OrxAddr* addr, char* name, VosVersion* version);
    LONG VosSyncReadStateReq(const OrxAddr* addr, USHORT* vosState, USHORT* deviceState);
    LONG VosSyncWriteControlReq(const OrxAddr* addr, USHORT vosState, USHORT deviceState, ULONG length,
                                const void* data);

private:
    std::unique_ptr<vos::SyncState> m_state;
};
