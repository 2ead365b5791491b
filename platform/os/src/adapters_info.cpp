#include <os/iphlpapi.h>
#include <os/text.h>

#include "adapter_list.h"
#include "registry_read.h"

#include <cstring>

namespace
{
void copyText(const std::string& text, char* target, size_t size)
{
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

void fillAddress(IP_ADDR_STRING& target, const os::detail::Ipv4Entry& entry)
{
    copyText(entry.address, target.IpAddress.String, sizeof target.IpAddress.String);
    copyText(entry.mask, target.IpMask.String, sizeof target.IpMask.String);
}

bool dhcpEnabled(const std::string& adapter)
{
    const std::u16string key = u"Comm\\" + os::toUtf16(adapter) + u"\\Parms\\TcpIp";
    return os::detail::machineDword(key.c_str(), u"EnableDHCP").value_or(0) != 0;
}

// Every adapter takes one record; its second and further IPv4 addresses take one
// address record each, placed after all adapter records.
size_t neededSize(const std::vector<os::detail::Adapter>& adapters)
{
    size_t size = adapters.size() * sizeof(IP_ADAPTER_INFO);
    for (const auto& adapter : adapters)
        if (adapter.ipv4.size() > 1)
            size += (adapter.ipv4.size() - 1) * sizeof(IP_ADDR_STRING);
    return size;
}
} // namespace

extern "C" DWORD GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG size)
{
    if (!size)
        return ERROR_INVALID_PARAMETER;
    std::vector<os::detail::Adapter> adapters;
    if (!os::detail::listAdapters(adapters))
        return ERROR_INVALID_DATA;
    if (adapters.empty())
        return ERROR_NO_DATA;
    const size_t needed = neededSize(adapters);
    if (!adapterInfo || *size < needed)
    {
        *size = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(adapterInfo, 0, needed);
    auto* extra = reinterpret_cast<IP_ADDR_STRING*>(adapterInfo + adapters.size());
    for (size_t i = 0; i < adapters.size(); ++i)
    {
        const os::detail::Adapter& adapter = adapters[i];
        IP_ADAPTER_INFO& info = adapterInfo[i];
        info.Next = i + 1 < adapters.size() ? &adapterInfo[i + 1] : nullptr;
        info.ComboIndex = adapter.index;
        info.Index = adapter.index;
        copyText(adapter.name, info.AdapterName, sizeof info.AdapterName);
        copyText(adapter.name, info.Description, sizeof info.Description);
        info.Type = adapter.address.size() == 6 ? MIB_IF_TYPE_ETHERNET : MIB_IF_TYPE_OTHER;
        info.AddressLength = static_cast<UINT>(adapter.address.size());
        std::memcpy(info.Address, adapter.address.data(), adapter.address.size());
        info.DhcpEnabled = dhcpEnabled(adapter.name) ? 1 : 0;
        fillAddress(info.IpAddressList,
                    adapter.ipv4.empty() ? os::detail::Ipv4Entry{"0.0.0.0", "0.0.0.0"} : adapter.ipv4[0]);
        info.CurrentIpAddress = &info.IpAddressList;
        for (IP_ADDR_STRING* empty :
             {&info.GatewayList, &info.DhcpServer, &info.PrimaryWinsServer, &info.SecondaryWinsServer})
            fillAddress(*empty, {"0.0.0.0", "0.0.0.0"});
        IP_ADDR_STRING* last = &info.IpAddressList;
        for (size_t a = 1; a < adapter.ipv4.size(); ++a)
        {
            fillAddress(*extra, adapter.ipv4[a]);
            last->Next = extra;
            last = extra++;
        }
    }
    return ERROR_SUCCESS;
}
