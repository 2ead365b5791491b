// The device's dial-in (RAS) server control, without a real dial-in server: the
// server's parameters, its lines and the dial-in credentials live in the file
// "RasServer.txt" of the device root, and every request is recorded in
// "RasServer.log" there. Without "RasServer.txt" the RAS server counts as not
// installed: every request fails with ERROR_SERVICE_DOES_NOT_EXIST.
//
// "RasServer.txt", one entry per line, fields separated by tabs ('#' starts a comment):
//   server<TAB>1|0                          the server is enabled
//   addresses<TAB>dhcp|autoip|static        where dial-in clients get their addresses
//   static<TAB>a.b.c.d<TAB>count            the static address pool
//   device<TAB>name<TAB>type                a RAS-capable device (RasEnumDevices lists it)
//   line<TAB>name<TAB>type<TAB>1|0          a device added to the server as a line, enabled or not
//   credential<TAB>user<TAB>domain<TAB>hash a dial-in user's password hash
//   fail<TAB>code<TAB>error                 (tests) every request of that code fails with the error
// "RasServer.log" gets one line per request: code<TAB>subject<TAB>result, the subject
// being the line's device name or the user name, empty for the server's own requests.
#pragma once

#include <os/types.h>

#include <string>

#define ERROR_BUFFER_TOO_SMALL 603L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L

// Request codes of RasIOControl.
#define RASCNTL_SERVER_ENABLE 9
#define RASCNTL_SERVER_DISABLE 10
#define RASCNTL_SERVER_GET_PARAMETERS 11
#define RASCNTL_SERVER_SET_PARAMETERS 12
#define RASCNTL_SERVER_LINE_ADD 13
#define RASCNTL_SERVER_LINE_REMOVE 14
#define RASCNTL_SERVER_LINE_ENABLE 15
#define RASCNTL_SERVER_LINE_DISABLE 16
#define RASCNTL_SERVER_LINE_GET_PARAMETERS 17
#define RASCNTL_SERVER_LINE_SET_PARAMETERS 18
#define RASCNTL_SERVER_USER_SET_CREDENTIALS 19
#define RASCNTL_SERVER_USER_DELETE_CREDENTIALS 20

// The NTLM group that request 19 adds a dial-in user to and request 20 removes it from.
#define RAS_USERS_GROUP u"RasUsers"

#define RAS_MaxDeviceType 16
#define RAS_MaxDeviceName 128

// The server's parameters (requests 11 and 12). Request 12 takes the address fields; the
// server is switched on and off with 9 and 10.
struct RASCNTL_SERVERSTATUS
{
    BOOL bEnable;
    BOOL bUseDhcpAddresses;
    BOOL bUseAutoIpAddresses;
    DWORD dwStaticIpAddrStart; // a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d
    DWORD dwStaticIpAddrCount;
    DWORD dwNumLines; // lines added to the server
    BYTE reserved[532];
};
static_assert(sizeof(RASCNTL_SERVERSTATUS) == 556, "the server status record is 556 bytes");

// One line of the server (requests 13 to 18): the device by name, its type and state.
struct RASCNTL_SERVERLINE
{
    WCHAR szDeviceName[RAS_MaxDeviceName];
    WCHAR szDeviceType[RAS_MaxDeviceType];
    BOOL bEnable;
    DWORD dwFlags;
    BYTE reserved[20];
};
static_assert(sizeof(RASCNTL_SERVERLINE) == 316, "the server line record is 316 bytes");

// A dial-in user's credentials (requests 19 and 20; 20 uses only the user name).
struct RASCNTL_SERVERUSERCREDENTIALS
{
    WCHAR tszUserName[257];  // up to 256 characters and a terminator
    WCHAR tszDomainName[16]; // up to 15 characters and a terminator
    BYTE password[256];      // single-byte text, not terminated
    DWORD cbPassword;        // its length in bytes
};
static_assert(sizeof(RASCNTL_SERVERUSERCREDENTIALS) == 808, "the credentials record is 808 bytes");

struct RASDEVINFOW
{
    DWORD dwSize; // sizeof(RASDEVINFOW)
    WCHAR szDeviceType[RAS_MaxDeviceType + 1];
    WCHAR szDeviceName[RAS_MaxDeviceName + 1];
};
typedef RASDEVINFOW* LPRASDEVINFOW;
typedef RASDEVINFOW RASDEVINFO;
typedef RASDEVINFOW* LPRASDEVINFO;

namespace os::ras
{
// The host paths of the state file and the request record of the current device root.
std::string statePath();
std::string logPath();
// Whether a stored credential matches the user's password.
bool checkCredential(const std::u16string& user, const std::string& password);
} // namespace os::ras

extern "C"
{
    // One request (RASCNTL_...); the connection handle is not used. 0 or an error code;
    // records shorter than their size give ERROR_INSUFFICIENT_BUFFER (output) or
    // ERROR_INVALID_PARAMETER (input), unknown codes ERROR_NOT_SUPPORTED, an unknown device
    // ERROR_DEV_NOT_EXIST, a device not added or a user without credentials ERROR_NOT_FOUND.
    DWORD RasIOControl(LPVOID connection, DWORD code, PBYTE input, DWORD inputSize, PBYTE output,
                       DWORD outputSize, PDWORD returned);
    // The RAS-capable devices. `size` is the buffer's size in bytes (the first entry's dwSize
    // set to sizeof(RASDEVINFOW)); a buffer too small gives ERROR_BUFFER_TOO_SMALL with the
    // size needed. `count` gets the number of devices.
    DWORD RasEnumDevices(LPRASDEVINFOW devices, LPDWORD size, LPDWORD count);
}
