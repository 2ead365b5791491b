// SMBus transfers, device addresses by name, and the boot-loader commands.
#include "smbus.h"
#include "text_forms.h"
#include "words.h"

#include <boardkit.h>

#include <cstring>
#include <memory>
#include <new>

using namespace boardkit;

namespace
{

constexpr DWORD kHeaderSize = 8;

// Segment, device address, transfer kind, command, then the data length.
std::array<BYTE, kHeaderSize> smbusHeader(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length)
{
    const auto lengthBytes = wordBytes(length);
    return {segment, address, kind, command, lengthBytes[0], lengthBytes[1], lengthBytes[2], lengthBytes[3]};
}

DWORD addressByName(std::string_view name, BYTE* segment, BYTE* address)
{
    const fn::Function& f = fn::SMBusGetAddrByName;
    if (!segment || !address)
        return ERROR_INVALID_PARAMETER;
    *segment = *address = 0;
    if (name.empty() || name.size() > WM_SMBUS_NAME_LENGTH)
        return ERROR_BAD_LENGTH;
    // The name goes out of a zeroed record with its terminating zero.
    BYTE record[24] = {};
    std::memcpy(record, name.data(), name.size());
    BYTE answer[2] = {};
    if (const DWORD error =
            DeviceIoWriteReadBuffer(f.group, f.offset, record, static_cast<DWORD>(name.size() + 1), answer,
                                    sizeof answer, f.minimum, f.level))
        return error;
    *segment = answer[0];
    *address = answer[1];
    return 0;
}

BOOL addressByName(LPCSTR name, BYTE* segment, BYTE* address)
{
    if (!name)
        return finish(ERROR_INVALID_PARAMETER);
    return finish(
        addressByName(std::string_view(name, strnlen(name, WM_SMBUS_NAME_LENGTH + 1)), segment, address));
}

BOOL addressByName(LPCWSTR name, BYTE* segment, BYTE* address)
{
    if (!name)
        return finish(ERROR_INVALID_PARAMETER);
    return finish(addressByName(deviceText(name), segment, address));
}

template <typename Char> BOOL nameForm(BYTE segment, BYTE address, Char* buffer, DWORD size)
{
    if (const DWORD error = clearText(buffer, size))
        return finish(error);
    std::string name;
    if (const DWORD error = bootLoaderName(segment, address, name))
        return finish(error);
    return finish(deliverText(name, buffer, size));
}

} // namespace

namespace boardkit
{

DWORD smbusRead(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, BYTE* buffer, DWORD* count)
{
    const fn::Function& f = fn::SMBusRead;
    if (!count)
        return ERROR_INVALID_PARAMETER;
    *count = 0;
    const auto header = smbusHeader(segment, address, kind, command, length);
    return DeviceIoWriteReadBuffer(f.group, f.offset, header.data(), kHeaderSize, buffer, length, f.minimum,
                                   f.level, nullptr, count);
}

DWORD smbusWrite(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, const BYTE* data)
{
    const fn::Function& f = fn::SMBusWrite;
    if (!data || length == 0)
        return ERROR_INVALID_PARAMETER;
    if (length > 0xFFFFFFFFu - kHeaderSize)
        return ERROR_NOT_ENOUGH_MEMORY;
    const std::unique_ptr<BYTE[]> request(new (std::nothrow) BYTE[kHeaderSize + length]);
    if (!request)
        return ERROR_NOT_ENOUGH_MEMORY;
    const auto header = smbusHeader(segment, address, kind, command, length);
    std::memcpy(request.get(), header.data(), kHeaderSize);
    std::memcpy(request.get() + kHeaderSize, data, length);
    return DeviceIoWriteBuffer(f.group, f.offset, request.get(), kHeaderSize + length, 0, f.level);
}

DWORD bootLoaderName(BYTE segment, BYTE address, std::string& name)
{
    name.clear();
    BYTE answer[WM_BOOTLOADER_NAME_SIZE] = {};
    DWORD count = 0;
    if (const DWORD error =
            smbusRead(segment, address, WM_SMBUS_BLOCK, kBootLoaderGetName, sizeof answer, answer, &count))
        return error;
    name = recordText(answer, count < WM_BOOTLOADER_NAME_SIZE ? count : WM_BOOTLOADER_NAME_SIZE - 1);
    return 0;
}

DWORD bootLoaderReadWrite(BYTE segment, BYTE address, const BYTE* request, DWORD requestLength,
                          BYTE* response, DWORD responseLength, DWORD* count)
{
    if (!count)
        return ERROR_INVALID_PARAMETER;
    *count = 0;
    if (!request || requestLength == 0 || !response || responseLength < 4)
        return ERROR_INVALID_PARAMETER;
    std::memset(response, 0, responseLength);
    if (const DWORD error =
            smbusWrite(segment, address, WM_SMBUS_BLOCK, kBootLoaderRequest, requestLength, request))
        return error;
    Sleep(kResponseWaitMs);
    return smbusRead(segment, address, WM_SMBUS_BLOCK, kBootLoaderResponse, responseLength, response, count);
}

} // namespace boardkit

BOARDKIT_EXPORT BOOL SMBusRead(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length,
                               BYTE* buffer, DWORD* count)
{
    return finish(smbusRead(segment, address, kind, command, length, buffer, count));
}

BOARDKIT_EXPORT BOOL SMBusWrite(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length,
                                const BYTE* data)
{
    return finish(smbusWrite(segment, address, kind, command, length, data));
}

BOARDKIT_EXPORT BOOL SMBusGetAddrByName(LPCSTR name, BYTE* segment, BYTE* address)
{
    return addressByName(name, segment, address);
}

BOARDKIT_EXPORT BOOL SMBusGetAddrByNameExA(LPCSTR name, BYTE* segment, BYTE* address)
{
    return addressByName(name, segment, address);
}

BOARDKIT_EXPORT BOOL SMBusGetAddrByNameExW(LPCWSTR name, BYTE* segment, BYTE* address)
{
    return addressByName(name, segment, address);
}

BOARDKIT_EXPORT_CPP BOOL SMBusGetAddrByNameExT(LPCWSTR name, BYTE* segment, BYTE* address)
{
    return addressByName(name, segment, address);
}

BOARDKIT_EXPORT BOOL BootLoaderGetMode(BYTE segment, BYTE address, BYTE* mode)
{
    if (!mode)
        return finish(ERROR_INVALID_PARAMETER);
    *mode = 0;
    DWORD count = 0;
    if (const DWORD error = smbusRead(segment, address, WM_SMBUS_BYTE, kBootLoaderGetMode, 1, mode, &count))
        return finish(error);
    return finish(count == 1 ? 0 : ERROR_BAD_LENGTH);
}

BOARDKIT_EXPORT BOOL BootLoaderSetMode(BYTE segment, BYTE address, BYTE mode)
{
    if (const DWORD error = smbusWrite(segment, address, WM_SMBUS_BYTE, kBootLoaderSetMode, 1, &mode))
        return finish(error);
    Sleep(kModeSettleMs);
    return finish(0);
}

BOARDKIT_EXPORT BOOL BootLoaderGetVersion(BYTE segment, BYTE address, BYTE* version)
{
    if (!version)
        return finish(ERROR_INVALID_PARAMETER);
    DWORD count = 0;
    if (const DWORD error = smbusRead(segment, address, WM_SMBUS_BLOCK, kBootLoaderGetVersion,
                                      WM_BOOTLOADER_VERSION_SIZE, version, &count))
        return finish(error);
    if (count != WM_BOOTLOADER_VERSION_SIZE)
    {
        std::memset(version, 0, WM_BOOTLOADER_VERSION_SIZE);
        return finish(ERROR_BAD_LENGTH);
    }
    return finish(0);
}

BOARDKIT_EXPORT BOOL BootLoaderGetName(BYTE segment, BYTE address, LPSTR buffer, DWORD size)
{
    return nameForm(segment, address, buffer, size);
}

BOARDKIT_EXPORT BOOL BootLoaderGetNameExA(BYTE segment, BYTE address, LPSTR buffer, DWORD size)
{
    return nameForm(segment, address, buffer, size);
}

BOARDKIT_EXPORT BOOL BootLoaderGetNameExW(BYTE segment, BYTE address, LPWSTR buffer, DWORD size)
{
    return nameForm(segment, address, buffer, size);
}

BOARDKIT_EXPORT_CPP BOOL BootLoaderGetNameExT(BYTE segment, BYTE address, LPWSTR buffer, DWORD size)
{
    return nameForm(segment, address, buffer, size);
}

BOARDKIT_EXPORT BOOL BootLoaderReadWrite(BYTE segment, BYTE address, const BYTE* request, DWORD requestLength,
                                         BYTE* response, DWORD responseLength, DWORD* count)
{
    return finish(
        bootLoaderReadWrite(segment, address, request, requestLength, response, responseLength, count));
}
