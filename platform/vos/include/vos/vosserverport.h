// CVosServerPort: a Vos device port whose read, write, read-write, device-info and state
// requests an IQbVosSync2 object answers. The other services keep CVos's answer
// (VOSERR_SRV_NOT_SUPPORTED).
//
// The port is a COM object: it starts with one reference for its creator and deletes
// itself with its last Release, closing the port first. It holds a reference on the
// device object for its whole life.
#pragma once

#include "vos/qbvossync2.h"
#include "vos/vosw32.h"

#include <atomic>

class CVosServerPort : public CVosW32, public IUnknown
{
public:
    // device: not null.
    CVosServerPort(IQbVosSync2* device, LPCSTR portName);

    // Opens the port (0 = any free port); nonzero on success, else OrxGetLastError tells why.
    BOOL Open(USHORT port);

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                    ULONG length) override;
    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset, ULONG length,
                     const void* data) override;
    void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                         ULONG readLength, ULONG writeLength, const void* data) override;
    void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId) override;
    void VosReadStateInd(const OrxAddr* addr, ULONG invokeId) override;

    // The most a read may ask for: the answer has to fit one message of the router.
    static const ULONG LargestRead;

private:
    ~CVosServerPort() override;

    std::atomic<ULONG> m_references{1};
    IQbVosSync2* m_device;
};
