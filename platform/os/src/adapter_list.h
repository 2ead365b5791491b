#pragma once

#include <os/types.h>

#include <string>
#include <vector>

namespace os::detail
{
struct Ipv4Entry
{
    std::string address; // dotted
    std::string mask;
};

struct Adapter
{
    std::string name;
    std::vector<BYTE> address; // the hardware address, at most 8 bytes
    std::vector<Ipv4Entry> ipv4;
    bool up = false;
    unsigned index = 0; // the host's interface index
};

// The adapters of os/iphlpapi.h (the fixture file when there is one); false when the
// fixture cannot be read as documented there.
bool listAdapters(std::vector<Adapter>& adapters);
} // namespace os::detail
