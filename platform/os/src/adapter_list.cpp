#include "adapter_list.h"

#include <os/deviceroot.h>
#include <os/iphlpapi.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netpacket/packet.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace os::detail
{
namespace
{
constexpr const char* kFixtureName = "/.adapters";

bool isIpv4(const std::string& text)
{
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

// "00-11-22-33-44-55" or with ":" between the bytes.
bool parseHardwareAddress(const std::string& text, std::vector<BYTE>& address)
{
    address.clear();
    size_t at = 0;
    while (at < text.size())
    {
        if (address.size() == MAX_ADAPTER_ADDRESS_LENGTH || text.size() - at < 2 ||
            !std::isxdigit(static_cast<unsigned char>(text[at])) ||
            !std::isxdigit(static_cast<unsigned char>(text[at + 1])))
            return false;
        address.push_back(static_cast<BYTE>(std::stoi(text.substr(at, 2), nullptr, 16)));
        at += 2;
        if (at < text.size() && text[at] != '-' && text[at] != ':')
            return false;
        if (at < text.size() && ++at == text.size())
            return false;
    }
    return !address.empty();
}

bool readFixture(std::istream& input, std::vector<Adapter>& adapters)
{
    std::string line;
    while (std::getline(input, line))
    {
        std::istringstream fields(line);
        Adapter adapter;
        if (!(fields >> adapter.name) || adapter.name[0] == '#')
            continue;
        std::string hardware;
        Ipv4Entry entry;
        if (!(fields >> hardware >> entry.address >> entry.mask) ||
            adapter.name.size() > MAX_ADAPTER_NAME_LENGTH ||
            !parseHardwareAddress(hardware, adapter.address) || !isIpv4(entry.address) || !isIpv4(entry.mask))
            return false;
        std::string state;
        std::string extra;
        if (fields >> state && (fields >> extra || (state != "up" && state != "down")))
            return false;
        adapter.up = state != "down";
        const auto known = std::find_if(adapters.begin(), adapters.end(),
                                        [&](const Adapter& other) { return other.name == adapter.name; });
        if (known != adapters.end())
        {
            known->ipv4.push_back(entry);
            continue;
        }
        adapter.index = static_cast<unsigned>(adapters.size() + 1);
        adapter.ipv4.push_back(entry);
        adapters.push_back(std::move(adapter));
    }
    return true;
}

std::string dotted(const sockaddr* address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    return text;
}

void readInterfaces(std::vector<Adapter>& adapters)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return;
    std::map<unsigned, Adapter> byIndex;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
    {
        if (!entry->ifa_name || (entry->ifa_flags & IFF_LOOPBACK) || !entry->ifa_addr)
            continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_PACKET && family != AF_INET)
            continue;
        const unsigned index = if_nametoindex(entry->ifa_name);
        Adapter& adapter = byIndex[index];
        adapter.name = entry->ifa_name;
        adapter.index = index;
        adapter.up = (entry->ifa_flags & IFF_UP) != 0;
        if (family == AF_PACKET)
        {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            const size_t length = std::min<size_t>(link->sll_halen, MAX_ADAPTER_ADDRESS_LENGTH);
            adapter.address.assign(link->sll_addr, link->sll_addr + length);
        }
        else
        {
            adapter.ipv4.push_back(
                {dotted(entry->ifa_addr), entry->ifa_netmask ? dotted(entry->ifa_netmask) : "0.0.0.0"});
        }
    }
    freeifaddrs(list);
    for (auto& [index, adapter] : byIndex)
        adapters.push_back(std::move(adapter));
}
} // namespace

bool listAdapters(std::vector<Adapter>& adapters)
{
    adapters.clear();
    std::ifstream fixture(os::deviceRoot() + kFixtureName);
    if (fixture)
        return readFixture(fixture, adapters);
    readInterfaces(adapters);
    return true;
}
} // namespace os::detail
