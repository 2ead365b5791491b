// ZrConfigCore (libZrConfigCore.so, "ZrConfigCore.dll"): the device's configuration core,
// reached through its one entry ZrConfigIO. Here it keeps the firewall's switch, its
// persistence mode and its list of allow rules; it never touches the host's firewall.
//
// Storage: in persistent mode the settings live in "\Windows\ZrFirewall.txt"; otherwise in
// the volatile file "\Temp\ZrFirewallVolatile.txt", which a restart of the device removes
// (ZrConfigTestRestart stands in for one), so that the last persistent settings return.
// Every call reads the stored state afresh, so several processes see one firewall.
#pragma once

#include <windows.h>

// Requests: (code, index, buffer, pointer to the buffer's size in bytes).
#define ZRCONFIG_SET_FIREWALL 0xA0900u   // index 1 enables, 0 disables; size 1
#define ZRCONFIG_GET_FIREWALL 0xA0901u   // 4-byte value out
#define ZRCONFIG_SET_PERSISTENT 0xA0902u // index 1 or 0; size 1
#define ZRCONFIG_GET_PERSISTENT 0xA0903u // 4-byte value out
#define ZRCONFIG_APPEND_RULE 0xA0904u    // one 344-byte rule record in
#define ZRCONFIG_READ_RULE 0xA0905u      // index n: rule n out (344 bytes)
#define ZRCONFIG_DELETE_FIRST 0xA0907u   // removes the first rule; size 1

// A rule record is kept as the bytes it came in.
#define ZRCONFIG_RULE_SIZE 344u
// The most rules the list holds.
#define ZRCONFIG_MAX_RULES 4096u

// Results: 0 is success; failures are negative.
#define ZRCONFIG_E_UNKNOWN_CODE (-1)
#define ZRCONFIG_E_BAD_SIZE (-2)  // null size or buffer, or a size other than the request's
#define ZRCONFIG_E_BAD_VALUE (-3) // a switch other than 0 or 1
#define ZRCONFIG_E_NO_RULE (-4)   // read past the end, delete with no rule
#define ZRCONFIG_E_FULL (-5)      // ZRCONFIG_MAX_RULES rules stored
#define ZRCONFIG_E_STORAGE (-6)   // the settings file could not be written

// One call as the test log keeps it.
struct ZrConfigCall
{
    DWORD code;
    DWORD index;
    LONG result;
};

extern "C"
{
    LONG ZrConfigIO(DWORD code, DWORD index, LPVOID buffer, LPDWORD size);

    // Test exports. They act on the library's state in this process.
    // The nth call of the code from now on (1: the next one) answers `result` and does nothing.
    void ZrConfigTestFailCall(DWORD code, DWORD nth, LONG result);
    // The calls since the last reset, oldest first: how many there were; up to `capacity` copied.
    DWORD ZrConfigTestCallLog(ZrConfigCall* calls, DWORD capacity);
    // Forgets the failures set and the call log.
    void ZrConfigTestReset();
    // A restart of the device: the volatile settings are gone.
    void ZrConfigTestRestart();
}
