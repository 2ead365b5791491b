// What the plane calculations of path preparation need of their group: the
// report log and the channel's error interface.
#pragma once

#include <cstdint>
#include <vector>

class CEntry;

namespace GeoReportFlags
{
constexpr std::uint32_t Error = 0x54;
constexpr std::uint32_t Warning = 0x51;
} // namespace GeoReportFlags

class CGeoCalcHost
{
public:
    virtual ~CGeoCalcHost() = default;
    // One line of the group's report log.
    virtual void Report(std::uint32_t flags, std::uint32_t message, const char* format,
                        const std::vector<long long>& args) = 0;
    // Whether the channel asks for warnings.
    virtual bool ReportsWanted() const = 0;
    // The channel's current line, the first argument of most messages.
    virtual long long ChannelLine() const = 0;
    // Sets the channel's error entry and error code and puts it in state 11.
    virtual void ChannelError(const CEntry* entry, std::uint32_t error) = 0;
};
