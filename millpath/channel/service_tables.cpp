// The areas of the service port: channel values (0x2000), channel state and
// line records (0x2100), commands (0x2200) and R parameters (0x2300).
#include <cstring>

#include "channel.h"
#include "le_words.h"
#include "millpath_service.h"

namespace
{
constexpr ULONG AreaValues = 0x2000;
constexpr ULONG AreaState = 0x2100;
constexpr ULONG AreaCommands = 0x2200;
constexpr ULONG AreaR = 0x2300;
constexpr ULONG RBase = 0x10000000;
constexpr ULONG RCount = 1000;
constexpr ULONG OffsetRecord = 1;
constexpr ULONG OffsetRecordOfEntry = 0x20000001;
constexpr ULONG RecordMinimum = 30;
constexpr ULONG OffsetMTable = 16;

// R parameters n to n + k - 1 of offset 0x10000000 + n and a length of k doubles.
ULONG RRange(ULONG offset, ULONG length, ULONG& first, ULONG& count)
{
    if (offset < RBase || offset - RBase >= RCount)
        return VOSERR_INVALID_OFFSET;
    if (length == 0 || length % 8 != 0)
        return VOSERR_INVALID_SIZE;
    first = offset - RBase;
    count = length / 8;
    if (first + count > RCount)
        return VOSERR_INVALID_OFFSET;
    return 0;
}
} // namespace

ULONG CMillpathService::Read(CChannel* channel, ULONG area, ULONG offset, ULONG length, std::uint8_t* answer,
                             ULONG& size)
{
    std::size_t room = length;
    ULONG result = 0;
    switch (area)
    {
    case AreaValues:
        result = channel->ReadValue(offset, answer, room);
        break;
    case AreaState:
        result = channel->ReadState(offset, answer, room);
        break;
    case AreaCommands:
        return VOSERR_SRV_NOT_SUPPORTED;
    case AreaR:
    {
        if (offset == OffsetRecord)
        {
            if (!channel->Ready())
            {
                LogNotReady(channel);
                return VOSERR_CHANNEL_NOT_READY;
            }
            if (length < RecordMinimum)
                return VOSERR_INVALID_SIZE;
            room = RecordMinimum;
            channel->StateRecord(-1, answer, room);
            break;
        }
        ULONG first = 0;
        ULONG count = 0;
        result = RRange(offset, length, first, count);
        if (result == 0)
            result = channel->ReadR(first, count, answer);
        room = count * 8;
        break;
    }
    default:
        return VOSERR_SRV_NOT_SUPPORTED;
    }
    size = static_cast<ULONG>(room < length ? room : length);
    return result;
}

ULONG CMillpathService::Write(CChannel* channel, ULONG area, ULONG offset, ULONG length,
                              const std::uint8_t* data)
{
    switch (area)
    {
    case AreaValues:
        return channel->WriteValue(offset, data, length);
    case AreaState:
        return VOSERR_SRV_NOT_SUPPORTED;
    case AreaCommands:
        if (!channel->Ready())
        {
            LogNotReady(channel);
            return VOSERR_CHANNEL_NOT_READY;
        }
        return channel->Command(offset, data, length);
    case AreaR:
    {
        ULONG first = 0;
        ULONG count = 0;
        const ULONG result = RRange(offset, length, first, count);
        return result != 0 ? result : channel->WriteR(first, count, data);
    }
    default:
        return VOSERR_SRV_NOT_SUPPORTED;
    }
}

ULONG CMillpathService::ReadWrite(CChannel* channel, ULONG area, ULONG offset, ULONG readLength,
                                  ULONG writeLength, const std::uint8_t* data, std::uint8_t* answer,
                                  ULONG& size)
{
    size = 0;
    switch (area)
    {
    case AreaValues:
    {
        if (offset != OffsetMTable)
            return VOSERR_INVALID_OFFSET;
        if (writeLength != 8)
            return VOSERR_INVALID_SIZE;
        const std::uint32_t first = GetLe32(data);
        const std::uint32_t count = GetLe32(data + 4);
        // Computed in 64 bits, so that a huge count cannot wrap to the length.
        if (static_cast<std::uint64_t>(count) * CInterpreter::MTableSlotSize != readLength)
            return VOSERR_INVALID_SIZE;
        const ULONG result = channel->ReadMTable(first, count, answer);
        if (result == 0)
            size = readLength;
        return result;
    }
    case AreaState:
    {
        if (offset < 17 || offset > 21)
            return VOSERR_INVALID_OFFSET;
        if (writeLength != 4)
            return VOSERR_INVALID_SIZE;
        if (!channel->Ready())
        {
            LogNotReady(channel);
            return VOSERR_CHANNEL_NOT_READY;
        }
        std::size_t room = readLength;
        const ULONG result =
            channel->ReadInfo(offset, static_cast<std::int32_t>(GetLe32(data)), answer, room);
        if (result == 0)
            size = static_cast<ULONG>(room);
        return result;
    }
    case AreaR:
    {
        if (offset != OffsetRecordOfEntry)
            return VOSERR_INVALID_OFFSET;
        if (writeLength != 4 || readLength < RecordMinimum)
            return VOSERR_INVALID_SIZE;
        if (!channel->Ready())
        {
            LogNotReady(channel);
            return VOSERR_CHANNEL_NOT_READY;
        }
        channel->StateRecord(static_cast<std::int32_t>(GetLe32(data)), answer, RecordMinimum);
        size = RecordMinimum;
        return 0;
    }
    default:
        return VOSERR_SRV_NOT_SUPPORTED;
    }
}
