// Boarddrv's events: texts from its message table, in English or German by the
// system language, appended to "\Hard Disk\System\BoarddrvLog.txt" while
// "LogLevel" bit 4 is set.
#pragma once

#include <os/types.h>

#include <string>

namespace boarddrv
{

constexpr DWORD kEventServiceStarted = 0x400007D2;
constexpr DWORD kEventServiceStopped = 0x400007D3;
constexpr DWORD kEventTjmaxMissing = 0x80000BBA;
constexpr DWORD kEventCallbacksMissing = 0x80000BBB;
constexpr DWORD kEventApiNotFound = 0xC0000FA2;
constexpr DWORD kEventNotSupported = 0xC0000FA3;

// The message table's text for the identifier, as it stands ("...%0\r\n"); empty when unknown.
std::u16string messageText(DWORD id, bool german);

// Raises an event: one line on the debug output always (events at start-up come
// before "LogLevel" is read), and with bit 4 of `logLevel` one line in the log
// file: the text before "%0", then "\r\n", in the device's code page.
void raiseEvent(DWORD id, DWORD logLevel);

} // namespace boarddrv
