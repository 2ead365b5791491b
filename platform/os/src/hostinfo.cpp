#include <os/hostinfo.h>
#include <os/text.h>

#include "adapter_list.h"
#include "registry_read.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>

namespace
{
bool isIpv4(const std::string& text, in_addr& parsed)
{
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

bool isLoopback(const std::string& text)
{
    in_addr parsed{};
    return isIpv4(text, parsed) && (ntohl(parsed.s_addr) >> 24) == 127;
}

std::string machineName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}
} // namespace

namespace os
{
std::string hostAddress()
{
    if (const auto configured = detail::machineString(u"Platform", u"HostAddress");
        configured && !configured->empty())
    {
        // A mistyped value publishes nothing rather than an interface nobody chose.
        const std::string text = toUtf8(*configured);
        in_addr parsed{};
        return isIpv4(text, parsed) ? text : std::string();
    }
    std::vector<detail::Adapter> adapters;
    if (!detail::listAdapters(adapters))
        return {};
    for (const detail::Adapter& adapter : adapters)
    {
        if (!adapter.up)
            continue;
        for (const detail::Ipv4Entry& entry : adapter.ipv4)
            if (entry.address != "0.0.0.0" && !isLoopback(entry.address))
                return entry.address;
    }
    return {};
}

std::vector<std::string> resolveHostName(std::string_view name)
{
    const std::string text(name);
    if (text.empty())
        return {};
    in_addr parsed{};
    if (isIpv4(text, parsed))
        return {text};
    if (equalsNoCase(text, machineName()))
    {
        const std::string address = hostAddress();
        return address.empty() ? std::vector<std::string>{} : std::vector<std::string>{address};
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0)
        return {};
    std::vector<std::string> addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
    {
        char dotted[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, dotted,
                  sizeof dotted);
        if (std::find(addresses.begin(), addresses.end(), dotted) == addresses.end())
            addresses.emplace_back(dotted);
    }
    freeaddrinfo(found);
    return addresses;
}
} // namespace os
