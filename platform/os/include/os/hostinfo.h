// The address under which the device publishes itself. The machine keeps its name
// (gethostname); only resolving that name is the device's own: Debian maps it to
// 127.0.1.1, which no peer can reach.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace os
{
// The dotted IPv4 address the device publishes: HKLM "Platform" "HostAddress" when set
// (nothing when that is no IPv4 address), else the first address of an adapter that is
// up (os/iphlpapi.h), never one of 127.0.0.0/8. Empty when there is none.
std::string hostAddress();

// The IPv4 addresses of a host name, dotted: the machine's own name gives hostAddress(),
// a dotted address itself, any other name what the host's resolver finds. Empty when
// the name resolves to nothing.
std::vector<std::string> resolveHostName(std::string_view name);
} // namespace os
