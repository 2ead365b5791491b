// Requests of a channel to the NC kernel.
#include <cstring>

#include "channel.h"
#include "group.h"
#include "millpath_service.h"

namespace
{
constexpr std::uint32_t OffsetKernelValue22 = 22;
constexpr std::uint32_t OffsetReadParam = 4;
constexpr std::uint32_t OffsetEndOfCommand = 83;
constexpr std::uint32_t GroupAxesBase = 0x3100;
constexpr std::uint32_t OffsetAxisIds = 1360;
constexpr std::uint32_t AxisBase = 0x4100;
constexpr std::uint32_t OffsetAxisPosition = 0x10002;
constexpr std::uint32_t OffsetGroupId = 33;
constexpr std::uint32_t GroupBase = 0x3000;
constexpr std::uint32_t OffsetGroupValue = 1285;
constexpr USHORT KernelPortFirst = 500;
constexpr USHORT KernelPortLast = 511;

// Requests that cannot be made fail with a code the callers see as such,
// never as a success with no data.
constexpr std::uint32_t Disconnected = VOSERR_PORT_NOT_CONNECTED;
} // namespace

std::uint32_t CChannel::KernelWrite(std::uint32_t offset, const void* data, std::size_t length)
{
    if (!Connected())
        return Disconnected;
    // The configured port is the second kernel address when one is kept.
    OrxAddr target = m_kernel;
    if (m_secondKept)
        target = m_second.addr;
    const std::uint32_t group = ChannelParamBase + m_id;
    auto& sync = m_sync[SyncParamWrite];
    std::uint32_t result = static_cast<std::uint32_t>(
        sync.VosSyncWriteReq(&target, group, offset, static_cast<ULONG>(length), data));
    if (target.port < KernelPortFirst || target.port > KernelPortLast)
    {
        OrxAddr kernel = target;
        kernel.port = CMillpathService::KernelPort;
        const auto second = static_cast<std::uint32_t>(
            sync.VosSyncWriteReq(&kernel, group, offset, static_cast<ULONG>(length), data));
        if (result == 0)
            result = second;
    }
    if (result != 0)
        KernelWriteFailedError();
    return result;
}

void CChannel::KernelWriteFailedError()
{
    if (m_service)
        m_service->VosReportLog(148, "sending orx message failed ");
    if (m_interpreter)
    {
        m_interpreter->setError(KernelWriteFailed);
        m_interpreter->setState(InterpreterState::Error);
    }
}

std::uint32_t CChannel::WriteChannelParam(std::uint32_t offset, const void* data, std::size_t length)
{
    return KernelWrite(offset, data, length);
}

std::uint32_t CChannel::ReadChannelParam(std::uint32_t& value)
{
    value = 0;
    if (!Connected())
        return Disconnected;
    std::uint8_t buffer[4] = {};
    const auto result = static_cast<std::uint32_t>(
        m_sync[SyncParamRead].VosSyncReadReq(&m_kernel, ChannelParamBase + m_id, OffsetReadParam, 4, buffer));
    if (result == 0)
        value = GetLe32(buffer);
    return result;
}

std::uint32_t CChannel::ReadKernelValue22(std::uint32_t& value)
{
    value = 0;
    if (!Connected())
        return Disconnected;
    OrxAddr kernel = m_kernel;
    kernel.port = CMillpathService::KernelPort;
    std::uint8_t buffer[4] = {};
    const auto result = static_cast<std::uint32_t>(
        m_sync[SyncValue22].VosSyncReadReq(&kernel, ChannelParamBase + m_id, OffsetKernelValue22, 4, buffer));
    if (result == 0)
        value = GetLe32(buffer);
    return result;
}

std::uint32_t CChannel::SignalEndOfCommand()
{
    if (!Connected())
        return Disconnected;
    return static_cast<std::uint32_t>(m_sync[SyncEndCommand].VosSyncWriteReq(
        &m_kernel, ChannelCommandBase + m_id, OffsetEndOfCommand, 0, nullptr));
}

std::uint32_t CChannel::ReadAxisPositions(double positions[3])
{
    for (int i = 0; i < 3; ++i)
        positions[i] = 0.0;
    CGroup* group = Group();
    if (!Connected() || !group)
        return Disconnected;
    auto& sync = m_sync[SyncAxes];
    std::uint8_t ids[12] = {};
    auto result = static_cast<std::uint32_t>(
        sync.VosSyncReadReq(&m_kernel, GroupAxesBase + group->Id(), OffsetAxisIds, sizeof(ids), ids));
    if (result != 0)
        return result;
    for (int i = 0; i < 3; ++i)
    {
        const std::uint32_t axis = GetLe32(ids + 4 * i);
        if (axis == 0)
            continue;
        std::uint8_t value[8] = {};
        result = static_cast<std::uint32_t>(
            sync.VosSyncReadReq(&m_kernel, AxisBase + axis, OffsetAxisPosition, sizeof(value), value));
        if (result != 0)
            return result;
        std::memcpy(&positions[i], value, sizeof(double));
    }
    return 0;
}

std::uint32_t CChannel::ReadGroupValue(double& value)
{
    value = 0.0;
    if (!Connected())
        return Disconnected;
    auto& sync = m_sync[SyncGroupValue];
    std::uint8_t id[4] = {};
    auto result = static_cast<std::uint32_t>(
        sync.VosSyncReadReq(&m_kernel, ChannelConfigBase + m_id, OffsetGroupId, sizeof(id), id));
    if (result != 0)
        return result;
    std::uint8_t buffer[8] = {};
    result = static_cast<std::uint32_t>(
        sync.VosSyncReadReq(&m_kernel, GroupBase + GetLe32(id), OffsetGroupValue, sizeof(buffer), buffer));
    if (result == 0)
        std::memcpy(&value, buffer, sizeof(value));
    return result;
}

std::uint32_t CChannel::readChannelState(std::uint8_t (&state)[ChannelStateSize])
{
    std::memset(state, 0, sizeof(state));
    if (!Connected())
        return Disconnected;
    std::uint8_t buffer[ChannelStateSize] = {};
    ULONG returned = 0;
    const auto result = static_cast<std::uint32_t>(m_interpreterSync.VosSyncReadWriteReq(
        &m_kernel, ChannelStateGroup, m_id, sizeof(buffer), buffer, 0, nullptr, &returned));
    if (result == 0)
        std::memcpy(state, buffer, sizeof(state));
    return result;
}

std::uint32_t CChannel::preprocessBlock(const std::string& block, std::string& answer)
{
    answer.clear();
    if (!m_secondKept)
        return VOSERR_NOT_READY;
    if (!Connected())
        return Disconnected;
    char buffer[PreprocessAnswerSize + 1] = {};
    ULONG returned = 0;
    const auto result = static_cast<std::uint32_t>(m_interpreterSync.VosSyncReadWriteReq(
        &m_second.addr, m_second.group, m_second.offset, PreprocessAnswerSize, buffer,
        static_cast<ULONG>(block.size() + 1), block.c_str(), &returned));
    if (result == 0)
        answer.assign(buffer,
                      strnlen(buffer, returned < PreprocessAnswerSize ? returned : PreprocessAnswerSize));
    return result;
}
