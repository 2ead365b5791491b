// SMBus transfers and the boot-loader commands on them, for the exports and
// the firmware update.
#pragma once

#include "families.h"

namespace boardkit
{

// Commands of the boot loader.
constexpr BYTE kBootLoaderGetMode = 0xA0;
constexpr BYTE kBootLoaderSetMode = 0xA1;
constexpr BYTE kBootLoaderGetVersion = 0xA2;
constexpr BYTE kBootLoaderGetName = 0xA3;
constexpr BYTE kBootLoaderRequest = 0xA5;
constexpr BYTE kBootLoaderResponse = 0xA6;

// Waits after a mode change and between a request and its response.
constexpr DWORD kModeSettleMs = 100;
constexpr DWORD kResponseWaitMs = 10;

// Up to `length` bytes into the buffer (zeroed first); `count` is what came.
DWORD smbusRead(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, BYTE* buffer,
                DWORD* count);
DWORD smbusWrite(BYTE segment, BYTE address, BYTE kind, BYTE command, DWORD length, const BYTE* data);

// The boot loader's name: at most 15 characters of its 16-byte answer.
DWORD bootLoaderName(BYTE segment, BYTE address, std::string& name);
// The request, the wait, then the response; `count` is the response's length.
DWORD bootLoaderReadWrite(BYTE segment, BYTE address, const BYTE* request, DWORD requestLength,
                          BYTE* response, DWORD responseLength, DWORD* count);

} // namespace boardkit
