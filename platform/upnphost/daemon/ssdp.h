// The host's SSDP messages: what it announces for a device, how it reads a search and
// what it answers.
#pragma once

#include "description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upnphost
{
constexpr const char* kSsdpGroup = "239.255.255.250";
constexpr uint16_t kSsdpPort = 1900;
constexpr int kSsdpMaxAge = 1800;
// A search is answered within its MX seconds, never later than this.
constexpr int kLongestSearchDelay = 5;

struct SsdpTarget
{
    std::string nt;  // notification type, and search target
    std::string usn; // unique service name
};

// What a device is announced as: the root device, its UDN, its device type and each
// service type.
std::vector<SsdpTarget> ssdpTargets(const DeviceInfo& device);

std::string notifyMessage(const SsdpTarget& target, const std::string& location, bool alive);

struct SearchRequest
{
    std::string st;
    int mx = 0; // cut to kLongestSearchDelay
};

// "M-SEARCH * HTTP/1.1" with MAN "ssdp:discover", a number MX and an ST; nothing for
// anything else.
std::optional<SearchRequest> readSearch(std::string_view datagram);

// The targets a search target asks for ("ssdp:all" asks for all, with its own ST each).
std::vector<SsdpTarget> matchSearch(const std::string& st, const std::vector<SsdpTarget>& targets);

// `date` in the form of an HTTP date.
std::string searchResponse(const SsdpTarget& target, const std::string& location, const std::string& date);
std::string httpDate(int64_t unixSeconds);

// Whether a search from the source is answered: from the device's own subnet, or from the
// device itself over loopback (127/8, which never comes from the wire). IPv4 addresses and
// the mask in network order.
bool searchIsLocal(uint32_t source, uint32_t device, uint32_t mask);
} // namespace upnphost
