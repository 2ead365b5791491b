#include "ssdp.h"

#include <os/text.h>

#include <arpa/inet.h>

#include <charconv>
#include <ctime>
#include <sstream>

namespace upnphost
{
namespace
{
constexpr const char* kServer = "Linux UPnP/1.0 upnphostd/1.0";

std::string trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}
} // namespace

std::vector<SsdpTarget> ssdpTargets(const DeviceInfo& device)
{
    const std::string udn = "uuid:" + bareUdn(device.udn);
    std::vector<SsdpTarget> targets{{"upnp:rootdevice", udn + "::upnp:rootdevice"}, {udn, udn}};
    if (!device.deviceType.empty())
        targets.push_back({device.deviceType, udn + "::" + device.deviceType});
    for (const ServiceInfo& service : device.services)
    {
        bool known = false;
        for (const SsdpTarget& target : targets)
            known = known || target.nt == service.serviceType;
        if (!known && !service.serviceType.empty())
            targets.push_back({service.serviceType, udn + "::" + service.serviceType});
    }
    return targets;
}

std::string notifyMessage(const SsdpTarget& target, const std::string& location, bool alive)
{
    std::string message =
        std::string("NOTIFY * HTTP/1.1\r\nHOST: ") + kSsdpGroup + ":" + std::to_string(kSsdpPort) + "\r\n";
    if (alive)
        message += "CACHE-CONTROL: max-age=" + std::to_string(kSsdpMaxAge) + "\r\nLOCATION: " + location +
                   "\r\nSERVER: " + kServer + "\r\n";
    message += "NT: " + target.nt + "\r\nNTS: " + (alive ? "ssdp:alive" : "ssdp:byebye") +
               "\r\nUSN: " + target.usn + "\r\n\r\n";
    return message;
}

std::optional<SearchRequest> readSearch(std::string_view datagram)
{
    std::istringstream lines{std::string(datagram)};
    std::string line;
    if (!std::getline(lines, line) || trim(line) != "M-SEARCH * HTTP/1.1")
        return std::nullopt;
    std::optional<std::string> man;
    std::optional<std::string> mx;
    std::optional<std::string> st;
    while (std::getline(lines, line) && !trim(line).empty())
    {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            return std::nullopt;
        const std::string name = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        if (os::equalsNoCase(name, "MAN"))
            man = value;
        else if (os::equalsNoCase(name, "MX"))
            mx = value;
        else if (os::equalsNoCase(name, "ST"))
            st = value;
    }
    if (!man || (*man != "\"ssdp:discover\"" && *man != "ssdp:discover") || !mx || !st || st->empty())
        return std::nullopt;
    int seconds = 0;
    const auto [end, error] = std::from_chars(mx->data(), mx->data() + mx->size(), seconds);
    if (mx->empty() || error != std::errc() || end != mx->data() + mx->size() || seconds < 0)
        return std::nullopt;
    return SearchRequest{*st, std::min(seconds, kLongestSearchDelay)};
}

std::vector<SsdpTarget> matchSearch(const std::string& st, const std::vector<SsdpTarget>& targets)
{
    if (st == "ssdp:all")
        return targets;
    std::vector<SsdpTarget> found;
    for (const SsdpTarget& target : targets)
        if (target.nt == st)
            found.push_back(target);
    return found;
}

std::string searchResponse(const SsdpTarget& target, const std::string& location, const std::string& date)
{
    return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=" + std::to_string(kSsdpMaxAge) + "\r\nDATE: " + date +
           "\r\nEXT:\r\nLOCATION: " + location + "\r\nSERVER: " + kServer + "\r\nST: " + target.nt +
           "\r\nUSN: " + target.usn + "\r\n\r\n";
}

std::string httpDate(int64_t unixSeconds)
{
    const time_t seconds = static_cast<time_t>(unixSeconds);
    tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

bool searchIsLocal(uint32_t source, uint32_t device, uint32_t mask)
{
    const bool loopback = (ntohl(source) >> 24) == 127;
    return loopback || (source & mask) == (device & mask);
}
} // namespace upnphost
