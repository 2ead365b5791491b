// The configuration from the NC kernel (command 0x401E).
#include <cstring>
#include <vector>

#include "channel.h"
#include "le_words.h"
#include "group.h"
#include "millpath_service.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
constexpr ULONG ConfigGroup = 0x1100;
constexpr ULONG ChannelBase = 0x2000;
constexpr ULONG GroupBase = 0x3000;
constexpr std::uint32_t InterpolationGroup = 2;

// One value of the kernel; false when the read failed.
bool ReadWord(CVosSync& sync, const OrxAddr& kernel, ULONG group, ULONG offset, ULONG length,
              std::uint32_t& value)
{
    std::uint8_t buffer[4] = {};
    if (sync.VosSyncReadReq(&kernel, group, offset, length, buffer) != 0)
        return false;
    value = length == 2 ? static_cast<std::uint32_t>(buffer[0] | (buffer[1] << 8)) : GetLe32(buffer);
    return true;
}

bool ReadIds(CVosSync& sync, const OrxAddr& kernel, ULONG offset, std::uint32_t count,
             std::vector<std::uint32_t>& ids)
{
    std::vector<std::uint8_t> buffer(count * 4 + 1, 0);
    if (count > 0 && sync.VosSyncReadReq(&kernel, ConfigGroup, offset, count * 4, buffer.data()) != 0)
        return false;
    ids.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
        ids[i] = GetLe32(buffer.data() + 4 * i);
    return true;
}

bool ReadName(CVosSync& sync, const OrxAddr& kernel, ULONG group, std::string& name)
{
    char buffer[101] = {};
    if (sync.VosSyncReadReq(&kernel, group, 2, 100, buffer) != 0)
        return false;
    name.assign(buffer, strnlen(buffer, 100));
    return true;
}
} // namespace

std::uint32_t CMillpathService::Configure()
{
    Lock lock(m_serviceLock);
    // A new configuration replaces the old one whole.
    CChnMan::DeleteAll();
    const OrxAddr kernel = KernelAddress();
    std::uint32_t result = ConfigureChannels(m_configSync, kernel);
    if (result == 0)
        result = ConfigureGroups(m_configSync, kernel);
    VosReportLog(148, "Millpath: configuration with %d channels and %d groups, result 0x%X", m_channelCount,
                 m_groupCount, result);
    return result;
}

std::uint32_t CMillpathService::ConfigureChannels(CVosSync& sync, const OrxAddr& kernel)
{
    std::uint32_t count = 0;
    std::vector<std::uint32_t> ids;
    if (!ReadWord(sync, kernel, ConfigGroup, 1, 2, count) || !ReadIds(sync, kernel, 0x31, count, ids))
        return ConfigFailed;
    for (std::uint32_t id : ids)
    {
        if (m_channelCount > MaxChannels - 1)
            return ConfigFailed;
        auto* channel = new CChannel(this, id, kernel);
        std::string name;
        std::uint32_t size = 0;
        std::uint32_t dialect = 0;
        const ULONG group = ChannelBase + id;
        if (!ReadName(sync, kernel, group, name) || !ReadWord(sync, kernel, group, 5, 4, size) ||
            !ReadWord(sync, kernel, group, 4, 4, dialect))
        {
            delete channel;
            return ConfigFailed;
        }
        channel->SetName(name);
        if (!channel->SetSize(size) || !channel->SetDialect(dialect))
        {
            delete channel;
            return ConfigRefused;
        }
        AddChannel(channel);
        channel->SetFeederLog(FeederLogMode());
        channel->SetCommandLog(LogMsgLevel());
    }
    return 0;
}

std::uint32_t CMillpathService::ConfigureGroups(CVosSync& sync, const OrxAddr& kernel)
{
    std::uint32_t count = 0;
    std::vector<std::uint32_t> ids;
    if (!ReadWord(sync, kernel, ConfigGroup, 2, 2, count) || !ReadIds(sync, kernel, 0x32, count, ids))
        return ConfigFailed;
    for (std::uint32_t id : ids)
    {
        if (m_groupCount > MaxConfiguredGroups)
            return ConfigFailed;
        const ULONG group = GroupBase + id;
        std::uint32_t type = 0;
        if (!ReadWord(sync, kernel, group, 0x23, 4, type))
            return ConfigFailed;
        if (type != InterpolationGroup)
            continue;
        std::uint32_t value = 0;
        if (!ReadWord(sync, kernel, group, 3, 4, value))
            return ConfigFailed;
        auto* created = new CGroup(this, id, static_cast<std::uint16_t>(value), kernel);
        std::string name;
        std::uint32_t channelId = 0;
        std::uint32_t kernelValue = 0;
        if (!ReadName(sync, kernel, group, name) || !ReadWord(sync, kernel, group, 0x21, 4, channelId))
        {
            delete created;
            return ConfigFailed;
        }
        created->SetName(name);
        if (!created->SetChannel(channelId))
        {
            delete created;
            return ConfigUnknownChannel;
        }
        if (!ReadWord(sync, kernel, group, 0x24, 4, kernelValue))
        {
            delete created;
            return ConfigFailed;
        }
        created->SetKernelValue(kernelValue);
        AddGroup(created);
        created->Channel()->AttachGroup(created);
    }
    return 0;
}
