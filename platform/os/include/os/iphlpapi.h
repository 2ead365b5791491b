// The network adapters of the device (only read; nothing here changes the host).
//
// The adapters are the host's interfaces other than loopback, in interface order, or
// the lines of the fixture file ".adapters" in the device root when it exists, so that
// tests can choose them:
//     # name  address            IPv4 address   mask            [up|down]
//     eth0    00-11-22-33-44-55  192.168.0.10   255.255.255.0   up
// A second line of the same name adds an address to that adapter.
// The DHCP flag is HKLM "Comm\<adapter>\Parms\TcpIp" "EnableDHCP" (not 0: on).
#pragma once

#include <os/types.h>

#include <ctime>

#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8

#define MIB_IF_TYPE_OTHER 1
#define MIB_IF_TYPE_ETHERNET 6

#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_NO_DATA 232L

typedef ULONG* PULONG;

struct IP_ADDRESS_STRING
{
    char String[16];
};
typedef IP_ADDRESS_STRING IP_MASK_STRING;

struct IP_ADDR_STRING
{
    IP_ADDR_STRING* Next;
    IP_ADDRESS_STRING IpAddress;
    IP_MASK_STRING IpMask;
    DWORD Context;
};
typedef IP_ADDR_STRING* PIP_ADDR_STRING;

// The record keeps the device's full shape, so that a caller's fixed first buffer
// holds as many adapters as there (3200 bytes: four). Gateway, DHCP server, WINS and
// lease fields stay empty: the host's interfaces do not tell them.
struct IP_ADAPTER_INFO
{
    IP_ADAPTER_INFO* Next;
    DWORD ComboIndex;
    char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
    char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
    UINT AddressLength;
    BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
    DWORD Index;
    UINT Type;
    UINT DhcpEnabled;
    PIP_ADDR_STRING CurrentIpAddress;
    // The first IPv4 address ("0.0.0.0" when none); further ones follow by Next.
    IP_ADDR_STRING IpAddressList;
    IP_ADDR_STRING GatewayList;
    IP_ADDR_STRING DhcpServer;
    BOOL HaveWins;
    IP_ADDR_STRING PrimaryWinsServer;
    IP_ADDR_STRING SecondaryWinsServer;
    time_t LeaseObtained;
    time_t LeaseExpires;
};
typedef IP_ADAPTER_INFO* PIP_ADAPTER_INFO;

extern "C"
{
    // A null or short buffer gives ERROR_BUFFER_OVERFLOW and the size needed in *size;
    // then the list fills the buffer, linked by Next. No adapter: ERROR_NO_DATA. A fixture
    // that cannot be read as above: ERROR_INVALID_DATA.
    DWORD GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG size);
}
