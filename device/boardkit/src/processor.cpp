// Processor data, machine registers (MSRs), bus data, physical memory and
// I/O ports: requests the board driver serves itself.
#include "text_forms.h"
#include "words.h"

#include <boardkit.h>

#include <cstring>
#include <memory>
#include <new>

using namespace boardkit;

namespace
{

constexpr DWORD kMemoryHeaderSize = 16;

// A physical or mapped address of 0, or a size of 0, is refused before any call.
bool validRange(DWORD addressLow, DWORD addressHigh, DWORD size)
{
    return (addressLow != 0 || addressHigh != 0) && size != 0;
}

// A value of `width` bytes read from a port given with that width.
template <typename Value> BOOL readPort(const fn::Function& f, DWORD port, Value* value)
{
    if (!value || port == 0)
        return finish(ERROR_INVALID_PARAMETER);
    *value = 0;
    const auto request = wordBytes(port, 0);
    BYTE answer[sizeof(Value)] = {};
    if (const DWORD error = DeviceIoWriteRead(f.group, f.offset, request.data(), request.size(), answer,
                                              sizeof answer, f.level))
        return finish(error);
    std::memcpy(value, answer, sizeof answer);
    return finish(0);
}

BOOL writePort(const fn::Function& f, DWORD port, DWORD value)
{
    if (port == 0)
        return finish(ERROR_INVALID_PARAMETER);
    const auto request = wordBytes(port, 0, value, 0);
    return finish(DeviceIoWriteBuffer(f.group, f.offset, request.data(), request.size(), 0, f.level));
}

} // namespace

BOARDKIT_EXPORT BOOL GetCpuTjmax(DWORD* tjmax)
{
    const fn::Function& f = fn::GetCpuTjmax;
    if (const DWORD error = DeviceIoRead32(f.group, f.offset, tjmax, f.level))
        return finish(error);
    return finish(*tjmax == 0 ? ERROR_INVALID_DATA : 0);
}

BOARDKIT_EXPORT BOOL GetActiveProcMask(ULONGLONG* mask)
{
    const fn::Function& f = fn::GetActiveProcMask;
    if (!mask)
        return finish(ERROR_INVALID_PARAMETER);
    *mask = 0;
    BYTE answer[8] = {};
    if (const DWORD error = DeviceIoReadBuffer(f.group, f.offset, answer, f.size, f.minimum, f.level))
        return finish(error);
    *mask = quadAt(answer);
    return finish(0);
}

BOARDKIT_EXPORT BOOL GetProcBrandStringExA(LPSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::GetProcBrandString, buffer, size));
}

BOARDKIT_EXPORT BOOL GetProcBrandStringExW(LPWSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::GetProcBrandString, buffer, size));
}

BOARDKIT_EXPORT BOOL HalOsReadMsr(DWORD msr, ULONGLONG* value)
{
    const fn::Function& f = fn::HalOsReadMsr;
    if (!value)
        return finish(ERROR_INVALID_PARAMETER);
    *value = 0;
    const auto request = wordBytes(msr);
    BYTE answer[8] = {};
    if (const DWORD error = DeviceIoWriteRead(f.group, f.offset, request.data(), request.size(), answer,
                                              sizeof answer, f.level))
        return finish(error);
    *value = quadAt(answer);
    return finish(0);
}

BOARDKIT_EXPORT BOOL HalOsWriteMsr(DWORD msr, ULONGLONG value)
{
    const fn::Function& f = fn::HalOsWriteMsr;
    const auto request = wordBytes(msr, static_cast<DWORD>(value), static_cast<DWORD>(value >> 32), 0);
    return finish(DeviceIoWriteBuffer(f.group, f.offset, request.data(), request.size(), 0, f.level));
}

BOARDKIT_EXPORT BOOL HalOsGetBusDataByOffset(DWORD busType, DWORD busNumber, DWORD device, DWORD function,
                                             DWORD offset, PVOID buffer, DWORD length, DWORD* count)
{
    const fn::Function& f = fn::HalOsGetBusDataByOffset;
    if (!count)
        return finish(ERROR_INVALID_PARAMETER);
    *count = 0;
    const auto request = wordBytes(busType, busNumber, device, function, offset, length, 0);
    return finish(DeviceIoWriteReadBuffer(f.group, f.offset, request.data(), request.size(), buffer, length,
                                          f.minimum, f.level, nullptr, count));
}

BOARDKIT_EXPORT BOOL HalOsMapPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size,
                                          WM_MEMORY_MAPPING* mapping)
{
    const fn::Function& f = fn::HalOsMapPhysMemoryEx;
    if (!mapping)
        return finish(ERROR_INVALID_PARAMETER);
    *mapping = {};
    if (!validRange(addressLow, addressHigh, size))
        return finish(ERROR_INVALID_PARAMETER);
    const auto request = wordBytes(addressLow, addressHigh, size, 0);
    return finish(DeviceIoWriteReadBuffer(f.group, f.offset, request.data(), request.size(), mapping, f.size,
                                          f.minimum, f.level));
}

BOARDKIT_EXPORT BOOL HalOsUnMapPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size)
{
    const fn::Function& f = fn::HalOsUnMapPhysMemoryEx;
    if (!validRange(addressLow, addressHigh, size))
        return finish(ERROR_INVALID_PARAMETER);
    const auto request = wordBytes(addressLow, addressHigh, size, 0);
    WM_MEMORY_MAPPING answer{};
    return finish(DeviceIoWriteReadBuffer(f.group, f.offset, request.data(), request.size(), &answer, f.size,
                                          f.minimum, f.level));
}

BOARDKIT_EXPORT BOOL HalOsReadPhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size, PVOID buffer,
                                           DWORD length)
{
    const fn::Function& f = fn::HalOsReadPhysMemoryEx;
    if (!validRange(addressLow, addressHigh, size))
        return finish(ERROR_INVALID_PARAMETER);
    const auto request = wordBytes(addressLow, addressHigh, size, 0);
    return finish(DeviceIoWriteReadBuffer(f.group, f.offset, request.data(), request.size(), buffer, length,
                                          length, f.level));
}

BOARDKIT_EXPORT BOOL HalOsWritePhysMemoryEx(DWORD addressLow, DWORD addressHigh, DWORD size, LPCVOID data,
                                            DWORD length)
{
    const fn::Function& f = fn::HalOsWritePhysMemoryEx;
    if (!validRange(addressLow, addressHigh, size) || !data || length == 0)
        return finish(ERROR_INVALID_PARAMETER);
    if (length > 0xFFFFFFFFu - kMemoryHeaderSize)
        return finish(ERROR_NOT_ENOUGH_MEMORY);
    const std::unique_ptr<BYTE[]> request(new (std::nothrow) BYTE[kMemoryHeaderSize + length]);
    if (!request)
        return finish(ERROR_NOT_ENOUGH_MEMORY);
    const auto header = wordBytes(addressLow, addressHigh, size, length);
    std::memcpy(request.get(), header.data(), header.size());
    std::memcpy(request.get() + kMemoryHeaderSize, data, length);
    return finish(
        DeviceIoWriteBuffer(f.group, f.offset, request.get(), kMemoryHeaderSize + length, 0, f.level));
}

BOARDKIT_EXPORT BOOL HalReadPortUChar(BYTE port, BYTE* value)
{
    return readPort(fn::HalReadPortUChar, port, value);
}

BOARDKIT_EXPORT BOOL HalReadPortUShort(WORD port, WORD* value)
{
    return readPort(fn::HalReadPortUShort, port, value);
}

BOARDKIT_EXPORT BOOL HalReadPortULong(DWORD port, DWORD* value)
{
    return readPort(fn::HalReadPortULong, port, value);
}

BOARDKIT_EXPORT BOOL HalWritePortUChar(BYTE port, BYTE value)
{
    return writePort(fn::HalWritePortUChar, port, value);
}

BOARDKIT_EXPORT BOOL HalWritePortUShort(WORD port, WORD value)
{
    return writePort(fn::HalWritePortUShort, port, value);
}

BOARDKIT_EXPORT BOOL HalWritePortULong(DWORD port, DWORD value)
{
    return writePort(fn::HalWritePortULong, port, value);
}
