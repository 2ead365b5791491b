#include "vos/vosserverport.h"

#include "wire.h"

#include <os/text.h>

#include <algorithm>
#include <string>
#include <vector>

const IID IID_IQbVosSync2 = {0x6DCF4049, 0x6F6F, 0x42C8, {0xBA, 0x0E, 0x84, 0x98, 0xEC, 0x3F, 0x9B, 0xA8}};

// Result and length go before the data in a read answer.
const ULONG CVosServerPort::LargestRead = static_cast<ULONG>(vos::MAX_FRAME - sizeof(OrxCmd) - 8);

namespace
{
// A buffer for a read of length bytes; never empty, so that the device object always gets a
// buffer and a read of 0 bytes is not taken for a missing one.
std::vector<BYTE> readBuffer(ULONG length)
{
    return std::vector<BYTE>(std::max<ULONG>(length, 1));
}

// The bytes an answer carries: what the device filled, never more than asked for, and none with
// a failure, whose out values COM leaves undefined.
ULONG answered(HRESULT result, ULONG returned, ULONG length)
{
    return FAILED(result) ? 0 : std::min(returned, length);
}
} // namespace

CVosServerPort::CVosServerPort(IQbVosSync2* device, LPCSTR portName)
    : CVosW32(0, FALSE, portName), m_device(device)
{
    m_device->AddRef();
}

CVosServerPort::~CVosServerPort()
{
    // Closed before the device goes, so that no request meets a released device.
    OrxDisconnect();
    m_device->Release();
}

BOOL CVosServerPort::Open(USHORT port)
{
    return OrxConnect(port, 4096, 80);
}

STDMETHODIMP CVosServerPort::QueryInterface(REFIID iid, void** object)
{
    return os::queryInterface<IUnknown>(this, IID_IUnknown, iid, object);
}

STDMETHODIMP_(ULONG) CVosServerPort::AddRef()
{
    return ++m_references;
}

STDMETHODIMP_(ULONG) CVosServerPort::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

void CVosServerPort::VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                ULONG length)
{
    if (length > LargestRead)
    {
        VosReadRes(addr, invokeId, VOSERR_INVALID_SIZE, 0, nullptr);
        return;
    }
    std::vector<BYTE> buffer = readBuffer(length);
    ULONG returned = 0;
    const HRESULT result = m_device->ReadEx(indexGroup, indexOffset, length, buffer.data(), &returned);
    VosReadRes(addr, invokeId, static_cast<ULONG>(result), answered(result, returned, length), buffer.data());
}

void CVosServerPort::VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                 ULONG length, const void* data)
{
    const HRESULT result = m_device->Write(indexGroup, indexOffset, length, data);
    VosWriteRes(addr, invokeId, static_cast<ULONG>(result));
}

void CVosServerPort::VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG indexGroup, ULONG indexOffset,
                                     ULONG readLength, ULONG writeLength, const void* data)
{
    if (readLength > LargestRead)
    {
        VosReadWriteRes(addr, invokeId, VOSERR_INVALID_SIZE, 0, nullptr);
        return;
    }
    std::vector<BYTE> buffer = readBuffer(readLength);
    ULONG returned = 0;
    const HRESULT result =
        m_device->ReadWrite(indexGroup, indexOffset, readLength, buffer.data(), writeLength, data, &returned);
    VosReadWriteRes(addr, invokeId, static_cast<ULONG>(result), answered(result, returned, readLength),
                    buffer.data());
}

void CVosServerPort::VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId)
{
    BSTR name = nullptr;
    VosVersion version{};
    const HRESULT result = m_device->ReadDeviceInfo(&name, &version);
    const std::string text = name ? os::toUtf8(std::u16string_view(name, SysStringLen(name))) : std::string();
    SysFreeString(name);
    VosReadDeviceInfoRes(addr, invokeId, static_cast<ULONG>(result), text.c_str(), version);
}

void CVosServerPort::VosReadStateInd(const OrxAddr* addr, ULONG invokeId)
{
    ULONG vosState = 0;
    ULONG deviceState = 0;
    ULONG value3 = 0;
    ULONG value4 = 0;
    const HRESULT result = m_device->ReadState(&vosState, &deviceState, &value3, &value4);
    // The Vos answer carries both states in 16 bits.
    VosReadStateRes(addr, invokeId, static_cast<ULONG>(result), static_cast<USHORT>(vosState),
                    static_cast<USHORT>(deviceState));
}
