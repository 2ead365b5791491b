#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <vector>

namespace
{
void writeFixture(const ostest::TempDeviceRoot& root, const std::string& text)
{
    std::ofstream(root.path() + "/.adapters") << text;
}

void setMachineValue(const char16_t* keyPath, const char16_t* name, const BYTE* data, DWORD size, DWORD type)
{
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, data, size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void setHostAddress(std::u16string_view text)
{
    setMachineValue(u"Platform", u"HostAddress", reinterpret_cast<const BYTE*>(text.data()),
                    static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)), REG_SZ);
}

void setDhcp(const char16_t* adapter, DWORD value)
{
    const std::u16string key = u"Comm\\" + std::u16string(adapter) + u"\\Parms\\TcpIp";
    setMachineValue(key.c_str(), u"EnableDHCP", reinterpret_cast<const BYTE*>(&value), sizeof value,
                    REG_DWORD);
}

std::string machineName()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

std::string hex(const IP_ADAPTER_INFO& info)
{
    std::string text;
    char byte[4];
    for (UINT i = 0; i < info.AddressLength; ++i)
    {
        std::snprintf(byte, sizeof byte, i ? "-%02X" : "%02X", info.Address[i]);
        text += byte;
    }
    return text;
}

// The retry the programs make: a first fixed buffer, then the size asked for.
std::vector<BYTE> adapterList(ULONG firstSize, ULONG& neededSize)
{
    std::vector<BYTE> buffer(firstSize);
    neededSize = firstSize;
    DWORD result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &neededSize);
    if (result == ERROR_BUFFER_OVERFLOW)
    {
        buffer.resize(neededSize);
        result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &neededSize);
    }
    EXPECT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS));
    return buffer;
}
} // namespace

TEST(Adapters, SixFixtureAdaptersForceTheRetryAndKeepTheirOrder)
{
    ostest::TempDeviceRoot root;
    writeFixture(root, "# name address ip mask state\n"
                       "eth0 00-11-22-33-44-55 192.168.10.5 255.255.255.0\n"
                       "eth1 00:11:22:33:44:66 10.0.0.7 255.0.0.0 down\n"
                       "\n"
                       "wlan0 02-00-00-00-00-01 0.0.0.0 0.0.0.0\n"
                       "usb0 AA-BB-CC-DD-EE-FF 172.16.1.1 255.255.0.0 up\n"
                       "eth0 00-11-22-33-44-55 192.168.20.5 255.255.255.128\n"
                       "br0 0A-0B-0C-0D-0E-0F 192.0.2.1 255.255.255.0\n"
                       "tun0 01-02 198.51.100.9 255.255.255.255\n");
    setDhcp(u"eth1", 1);
    setDhcp(u"usb0", 7);
    setDhcp(u"br0", 0);

    ULONG needed = 0;
    const std::vector<BYTE> buffer = adapterList(3200, needed);
    EXPECT_GT(needed, 3200u) << "six adapters do not fit the programs' first buffer";
    struct Row
    {
        const char* name;
        const char* address;
        const char* ip;
        const char* mask;
        UINT dhcp;
    };
    const std::vector<Row> rows = {
        {"eth0", "00-11-22-33-44-55", "192.168.10.5", "255.255.255.0", 0},
        {"eth1", "00-11-22-33-44-66", "10.0.0.7", "255.0.0.0", 1},
        {"wlan0", "02-00-00-00-00-01", "0.0.0.0", "0.0.0.0", 0},
        {"usb0", "AA-BB-CC-DD-EE-FF", "172.16.1.1", "255.255.0.0", 1},
        {"br0", "0A-0B-0C-0D-0E-0F", "192.0.2.1", "255.255.255.0", 0},
        {"tun0", "01-02", "198.51.100.9", "255.255.255.255", 0},
    };
    const auto* info = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->AdapterName, row.name);
        EXPECT_EQ(hex(*info), row.address);
        EXPECT_STREQ(info->IpAddressList.IpAddress.String, row.ip);
        EXPECT_STREQ(info->IpAddressList.IpMask.String, row.mask);
        EXPECT_EQ(info->DhcpEnabled, row.dhcp);
        info = info->Next;
    }
    EXPECT_EQ(info, nullptr);

    // eth0's second address follows its first, inside the buffer.
    const auto* first = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    const IP_ADDR_STRING* second = first->IpAddressList.Next;
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->IpAddress.String, "192.168.20.5");
    EXPECT_STREQ(second->IpMask.String, "255.255.255.128");
    EXPECT_EQ(second->Next, nullptr);
    EXPECT_GE(reinterpret_cast<const BYTE*>(second), buffer.data());
    EXPECT_LE(reinterpret_cast<const BYTE*>(second + 1), buffer.data() + buffer.size());
}

TEST(Adapters, SizeProtocol)
{
    ostest::TempDeviceRoot root;
    writeFixture(root, "eth0 00-11-22-33-44-55 192.168.10.5 255.255.255.0\n"
                       "eth0 00-11-22-33-44-55 192.168.10.6 255.255.255.0\n"
                       "eth1 00-11-22-33-44-66 10.0.0.7 255.0.0.0\n");
    ULONG size = 0;
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING));
    const ULONG needed = size;

    std::vector<BYTE> buffer(needed + 1, 0xEE);
    size = needed - 1;
    EXPECT_EQ(GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size),
              static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], 0xEE) << "a short buffer stays untouched";

    size = needed;
    EXPECT_EQ(GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(buffer[needed], 0xEE) << "nothing written past the size";
    EXPECT_EQ(GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Adapters, EmptyAndUnreadableFixtures)
{
    struct Row
    {
        const char* label;
        const char* fixture;
        DWORD result;
    };
    const std::vector<Row> rows = {
        {"empty", "", ERROR_NO_DATA},
        {"only comments", "# nothing here\n", ERROR_NO_DATA},
        {"missing mask", "eth0 00-11-22-33-44-55 192.168.1.1\n", ERROR_INVALID_DATA},
        {"bad address", "eth0 00-11-22-33-44 192.168.1.300 255.255.255.0\n", ERROR_INVALID_DATA},
        {"bad hardware address", "eth0 00-1G-22 192.168.1.1 255.255.255.0\n", ERROR_INVALID_DATA},
        {"hardware address too long", "eth0 00-11-22-33-44-55-66-77-88 192.168.1.1 255.255.255.0\n",
         ERROR_INVALID_DATA},
        {"unknown state", "eth0 00-11-22-33-44-55 192.168.1.1 255.255.255.0 sideways\n", ERROR_INVALID_DATA},
        {"extra field", "eth0 00-11-22-33-44-55 192.168.1.1 255.255.255.0 up more\n", ERROR_INVALID_DATA},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        ostest::TempDeviceRoot root;
        writeFixture(root, row.fixture);
        ULONG size = 0;
        EXPECT_EQ(GetAdaptersInfo(nullptr, &size), row.result);
    }
}

TEST(Adapters, HostInterfacesLeaveLoopbackOut)
{
    ostest::TempDeviceRoot root; // no fixture: the host's interfaces
    ULONG size = 0;
    const DWORD result = GetAdaptersInfo(nullptr, &size);
    if (result == ERROR_NO_DATA)
        GTEST_SKIP() << "this host has no interface besides loopback";
    ASSERT_EQ(result, static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    std::vector<BYTE> buffer(size);
    ASSERT_EQ(GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size),
              static_cast<DWORD>(ERROR_SUCCESS));
    for (auto* info = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); info; info = info->Next)
    {
        SCOPED_TRACE(info->AdapterName);
        EXPECT_STRNE(info->AdapterName, "lo");
        for (const IP_ADDR_STRING* address = &info->IpAddressList; address; address = address->Next)
            EXPECT_NE(std::string(address->IpAddress.String).rfind("127.", 0), 0u);
    }
}

TEST(HostAddress, ConfiguredAddressWins)
{
    ostest::TempDeviceRoot root;
    writeFixture(root, "eth0 00-11-22-33-44-55 192.168.10.5 255.255.255.0\n");
    EXPECT_EQ(os::hostAddress(), "192.168.10.5");
    setHostAddress(u"192.0.2.77");
    EXPECT_EQ(os::hostAddress(), "192.0.2.77");
    EXPECT_EQ(os::resolveHostName(machineName()), std::vector<std::string>{"192.0.2.77"});
    setHostAddress(u"127.0.0.1"); // tests keep servers on loopback this way
    EXPECT_EQ(os::resolveHostName(machineName()), std::vector<std::string>{"127.0.0.1"});
    setHostAddress(u"not-an-address");
    EXPECT_EQ(os::hostAddress(), "");
    EXPECT_TRUE(os::resolveHostName(machineName()).empty());
    setHostAddress(u"");
    EXPECT_EQ(os::hostAddress(), "192.168.10.5") << "an empty value counts as unset";
}

TEST(HostAddress, FirstUsableAdapterAddress)
{
    struct Row
    {
        const char* label;
        const char* fixture;
        const char* address;
    };
    const std::vector<Row> rows = {
        {"first adapter", "eth0 00-11-22-33-44-55 192.168.10.5 255.255.255.0\n", "192.168.10.5"},
        {"down and unaddressed adapters skipped",
         "eth0 00-11-22-33-44-55 192.168.10.5 255.255.255.0 down\n"
         "eth1 00-11-22-33-44-66 0.0.0.0 0.0.0.0\n"
         "eth2 00-11-22-33-44-77 10.1.2.3 255.0.0.0\n",
         "10.1.2.3"},
        {"never loopback", "eth0 00-11-22-33-44-55 127.0.1.1 255.0.0.0\n", ""},
        {"second address of an adapter",
         "eth0 00-11-22-33-44-55 127.0.1.1 255.0.0.0\neth0 00-11-22-33-44-55 172.16.0.4 255.255.0.0\n",
         "172.16.0.4"},
        {"no adapter", "", ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        ostest::TempDeviceRoot root;
        writeFixture(root, row.fixture);
        EXPECT_EQ(os::hostAddress(), row.address);
        const std::vector<std::string> resolved = os::resolveHostName(machineName());
        EXPECT_EQ(resolved.empty() ? "" : resolved.front(), row.address);
    }
}

TEST(HostAddress, HostInterfacesGiveNoLoopbackAddress)
{
    ostest::TempDeviceRoot root;
    const std::string address = os::hostAddress();
    if (address.empty())
        GTEST_SKIP() << "this host has no interface up besides loopback";
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
    EXPECT_EQ(os::resolveHostName(machineName()), std::vector<std::string>{address});
    // Names spelled in another case are the same machine.
    std::string upper = machineName();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(os::resolveHostName(upper), std::vector<std::string>{address});
}

TEST(HostAddress, OtherNamesResolveAsTheHostDoes)
{
    ostest::TempDeviceRoot root;
    setHostAddress(u"192.0.2.77");
    EXPECT_EQ(os::resolveHostName("198.51.100.3"), std::vector<std::string>{"198.51.100.3"});
    EXPECT_EQ(os::resolveHostName("localhost"), std::vector<std::string>{"127.0.0.1"});
    EXPECT_TRUE(os::resolveHostName("").empty());
    EXPECT_TRUE(os::resolveHostName("no-such-host.invalid").empty());
}
