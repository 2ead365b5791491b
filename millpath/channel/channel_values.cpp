// Channel values, channel state, line records and R parameters of the
// service port. Every answer is at most its offset's size.
#include <cstring>

#include "channel.h"
#include "group.h"
#include "kernel_record.h"

namespace
{
using Guard = std::lock_guard<std::recursive_mutex>;
using KernelRecord::GetDouble;
using KernelRecord::PutDouble;

constexpr std::uint32_t FamilyZeroPoint = 1;
constexpr std::uint32_t FamilyToolType = 2;
constexpr std::uint32_t FamilyToolSecond = 3;
constexpr std::uint32_t FamilyToolParam = 4;
constexpr std::uint32_t FamilyUnused = 5;
constexpr std::size_t ZeroPointTables = 9;
constexpr std::size_t StateRecordWords = 4;
constexpr std::size_t MTableSlotSize = CInterpreter::MTableSlotSize;

std::uint32_t PutWord(std::uint8_t* data, std::size_t& length, std::uint32_t value)
{
    if (length < 4)
        return VOSERR_INVALID_SIZE;
    PutLe32(data, value);
    length = 4;
    return 0;
}

std::uint32_t PutDoubleValue(std::uint8_t* data, std::size_t& length, double value)
{
    if (length < 8)
        return VOSERR_INVALID_SIZE;
    PutDouble(data, 0, value);
    length = 8;
    return 0;
}

std::uint32_t PutShort(std::uint8_t* data, std::size_t& length, std::uint16_t value)
{
    if (length < 2)
        return VOSERR_INVALID_SIZE;
    // A 16-bit value asked for as 4 bytes comes widened.
    const std::size_t size = length >= 4 ? 4 : 2;
    std::memset(data, 0, size);
    data[0] = static_cast<std::uint8_t>(value);
    data[1] = static_cast<std::uint8_t>(value >> 8);
    length = size;
    return 0;
}
} // namespace

std::uint32_t CChannel::ReadValue(std::uint32_t offset, std::uint8_t* data, std::size_t& length)
{
    Guard lock(m_lock);
    CInterpreter* in = m_interpreter.get();
    const std::uint32_t family = offset >> 16;
    const int index = static_cast<int>((offset >> 8) & 0xFF);
    const int sub = static_cast<int>(offset & 0xFF);
    if (family != 0)
    {
        if (!in)
            return VOSERR_NO_INTERPRETER;
        switch (family)
        {
        case FamilyZeroPoint:
        {
            if (index == 0 || sub == 0)
                return VOSERR_INVALID_OFFSET;
            const std::size_t count = length / 8;
            if (count == 0 || sub + count - 1 > static_cast<std::size_t>(CInterpreter::ZeroPointNumbers))
                return VOSERR_INVALID_SIZE;
            const int table = (index - 1) / static_cast<int>(ZeroPointTables) + 1;
            const int axis = (index - 1) % static_cast<int>(ZeroPointTables) + 1;
            for (std::size_t i = 0; i < count; ++i)
                PutDouble(data, 8 * i, in->getZeroPointValue(table, axis, sub + static_cast<int>(i)));
            length = count * 8;
            return 0;
        }
        case FamilyToolType:
        case FamilyToolSecond:
        {
            if (index == 0)
                return VOSERR_INVALID_OFFSET;
            const std::size_t count = length / 2;
            if (count == 0 || length % 2 != 0 || index + count - 1 > static_cast<std::size_t>(Tools))
                return VOSERR_INVALID_SIZE;
            for (std::size_t i = 0; i < count; ++i)
            {
                const int tool = index + static_cast<int>(i);
                const std::uint16_t v =
                    family == FamilyToolType ? in->getToolType(tool) : in->getToolSecondValue(tool);
                data[2 * i] = static_cast<std::uint8_t>(v);
                data[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            length = count * 2;
            return 0;
        }
        case FamilyToolParam:
        {
            if (index == 0 || sub > ToolParams)
                return VOSERR_INVALID_OFFSET;
            if (sub == 0)
            {
                if (length != CInterpreter::ToolRecordSize)
                    return VOSERR_INVALID_SIZE;
                in->getToolRecord(index, data);
                return 0;
            }
            const std::size_t count = length / 8;
            if (count == 0 || length % 8 != 0 || index + count - 1 > static_cast<std::size_t>(Tools))
                return VOSERR_INVALID_SIZE;
            for (std::size_t i = 0; i < count; ++i)
                PutDouble(data, 8 * i, in->getToolValue(index + static_cast<int>(i), sub));
            length = count * 8;
            return 0;
        }
        case FamilyUnused:
            return PutDoubleValue(data, length, 0.0);
        default:
            return VOSERR_INVALID_OFFSET;
        }
    }
    switch (offset)
    {
    case 4:
        return PutWord(data, length, static_cast<std::uint32_t>(State()));
    case 5:
        return PutWord(data, length, m_size);
    case 7:
        return in ? PutWord(data, length, static_cast<std::uint32_t>(in->traceMode()))
                  : VOSERR_NO_INTERPRETER;
    case 8:
        return in ? PutWord(data, length, in->restrictedMode() ? 1 : 0) : VOSERR_NO_INTERPRETER;
    case 9:
        return in ? PutWord(data, length, in->edgeRadiusValidation() ? 1 : 0) : VOSERR_NO_INTERPRETER;
    case 10:
        return PutWord(data, length, m_feederLog ? 1 : 0);
    case 11:
        return PutWord(data, length, m_commandLog ? 1 : 0);
    case 18:
    case 19:
        return PutDoubleValue(data, length, m_doubles18[offset - 18]);
    case 21:
        return PutShort(data, length, m_values16[1]);
    case 49:
    case 50:
        return PutShort(data, length, m_values16[offset - 47]);
    case 64:
        if (length < 16)
            return VOSERR_INVALID_SIZE;
        std::memset(data, 0, 16);
        std::memcpy(data, m_second.addr.netId.b, 6);
        data[6] = static_cast<std::uint8_t>(m_second.addr.port);
        data[7] = static_cast<std::uint8_t>(m_second.addr.port >> 8);
        PutLe32(data + 8, m_second.group);
        PutLe32(data + 12, m_second.offset);
        length = 16;
        return 0;
    case 80:
    case 81:
    case 82:
    case 83:
    case 84:
        return PutWord(data, length, m_flags[offset - 80]);
    default:
        return VOSERR_INVALID_OFFSET;
    }
}

std::uint32_t CChannel::WriteValue(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    Guard lock(m_lock);
    CInterpreter* in = m_interpreter.get();
    const std::uint32_t family = offset >> 16;
    const int index = static_cast<int>((offset >> 8) & 0xFF);
    const int sub = static_cast<int>(offset & 0xFF);
    auto word = [&]() { return GetLe32(data); };
    if (family != 0)
    {
        if (!in)
            return VOSERR_NO_INTERPRETER;
        switch (family)
        {
        case FamilyZeroPoint:
            if (index == 0 || sub == 0 || sub > CInterpreter::ZeroPointNumbers)
                return VOSERR_INVALID_OFFSET;
            if (length < 8)
                return VOSERR_INVALID_SIZE;
            in->setZeroPointValue((index - 1) / static_cast<int>(ZeroPointTables) + 1,
                                  (index - 1) % static_cast<int>(ZeroPointTables) + 1, sub,
                                  GetDouble(data, 0));
            return 0;
        case FamilyToolType:
        case FamilyToolSecond:
        {
            if (length < 2)
                return VOSERR_INVALID_SIZE;
            const std::uint32_t v = data[0] | (data[1] << 8);
            const int ok =
                family == FamilyToolType ? in->setToolType(index, v) : in->setToolSecondValue(index, v);
            return ok ? 0 : VOSERR_INVALID_OFFSET;
        }
        case FamilyToolParam:
            if (index == 0 || sub > ToolParams)
                return VOSERR_INVALID_OFFSET;
            if (sub == 0)
            {
                if (length != CInterpreter::ToolRecordSize)
                    return VOSERR_INVALID_SIZE;
                double params[ToolParams];
                for (int i = 0; i < ToolParams; ++i)
                    params[i] = GetDouble(data, 8 + 8 * static_cast<std::size_t>(i));
                return in->setToolRecord(index, GetLe32(data), GetLe32(data + 4), params);
            }
            if (length < 8)
                return VOSERR_INVALID_SIZE;
            return in->setToolValue(index, sub, GetDouble(data, 0)) ? 0 : VOSERR_INVALID_OFFSET;
        default:
            return VOSERR_INVALID_OFFSET;
        }
    }
    switch (offset)
    {
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
        if (length < 4)
            return VOSERR_INVALID_SIZE;
        if (offset == 10)
            SetFeederLog(word() != 0);
        else if (offset == 11)
            m_commandLog = word() != 0;
        else if (!in)
            return VOSERR_NO_INTERPRETER;
        else if (offset == 7)
            return in->setTraceMode(static_cast<int>(word())) == 0 ? 0 : VOSERR_INVALID_VALUE;
        else if (offset == 8)
            in->setRestrictedMode(word() != 0);
        else
            in->setEdgeRadiusValidation(word() != 0);
        return 0;
    case 17:
        if (length < CInterpreter::MTableRecordSize)
            return VOSERR_INVALID_SIZE;
        if (!in)
            return VOSERR_NO_INTERPRETER;
        return in->setMTable(data, length - length % CInterpreter::MTableRecordSize);
    case 18:
    case 19:
        if (length < 8)
            return VOSERR_INVALID_SIZE;
        m_doubles18[offset - 18] = GetDouble(data, 0);
        return 0;
    case 20:
        if (length != sizeof(m_value20))
            return VOSERR_INVALID_SIZE;
        std::memcpy(m_value20, data, sizeof(m_value20));
        return 0;
    case 21:
        if (length < 2)
            return VOSERR_INVALID_SIZE;
        m_values16[1] = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
        return 0;
    case 49:
    case 50:
        if (length != 2)
            return VOSERR_INVALID_SIZE;
        m_values16[offset - 47] = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
        return 0;
    case 64:
    {
        if (length != 16)
            return VOSERR_INVALID_SIZE;
        SecondAddress second;
        std::memcpy(second.addr.netId.b, data, 6);
        second.addr.port = static_cast<USHORT>(data[6] | (data[7] << 8));
        second.group = GetLe32(data + 8);
        second.offset = GetLe32(data + 12);
        m_secondKept = second.addr.port != 0 && (second.group != 0 || second.offset != 0);
        m_second = m_secondKept ? second : SecondAddress{};
        return 0;
    }
    case 80:
    case 81:
        if (length != 4)
            return VOSERR_INVALID_SIZE;
        // The collision mode and depth take effect in the group's transformer.
        if (CGroup* group = Group())
        {
            const std::uint32_t value = word();
            const std::uint32_t rc =
                offset == 80 ? group->SetCollisionMode(value) : group->CollisionCommand(value);
            if (rc != 0)
                return rc;
        }
        m_flags[offset - 80] = word();
        return 0;
    case 82:
    case 83:
    case 84:
        if (length != 4)
            return VOSERR_INVALID_SIZE;
        m_flags[offset - 80] = word();
        return 0;
    default:
        return VOSERR_INVALID_OFFSET;
    }
}

std::uint32_t CChannel::ReadState(std::uint32_t offset, std::uint8_t* data, std::size_t& length)
{
    Guard lock(m_lock);
    CInterpreter* in = m_interpreter.get();
    if (length < 4)
        return VOSERR_INVALID_SIZE;
    if (!in)
        return VOSERR_NO_INTERPRETER;
    const std::uint32_t table = (offset >> 8) & 0xFF;
    if ((table == 8 || table == 9) && (offset >> 16) == 0)
    {
        const int tool = static_cast<int>(offset & 0xFF);
        return PutWord(data, length, table == 8 ? in->getToolType(tool) : in->getToolSecondValue(tool));
    }
    switch (offset)
    {
    case 1:
        return PutWord(data, length, static_cast<std::uint32_t>(State()));
    case 3:
        return PutWord(data, length, in->ncError());
    case 6:
        return PutWord(data, length, static_cast<std::uint32_t>(in->errorLine()));
    case 8:
        return PutWord(data, length, static_cast<std::uint32_t>(in->currentLine()));
    case 16:
        if (length != 4)
            return VOSERR_INVALID_SIZE;
        return PutWord(data, length, static_cast<std::uint32_t>(in->blockNumber()));
    case 0x700:
        return PutWord(data, length, in->blockCounter());
    default:
        return VOSERR_INVALID_OFFSET;
    }
}

void CChannel::StateRecord(std::int32_t index, std::uint8_t* data, std::size_t length)
{
    std::memset(data, 0, length);
    if (!m_interpreter || length < StateRecordWords * 4)
        return;
    const bool current = index == -1 || index == m_interpreter->currentLine();
    PutLe32(data, static_cast<std::uint32_t>(current ? m_interpreter->currentLine() : index));
    PutLe32(data + 4, static_cast<std::uint32_t>(current ? m_interpreter->blockNumber() : 0));
    PutLe32(data + 8, static_cast<std::uint32_t>(State()));
    PutLe32(data + 12, m_interpreter->ncError());
}

std::uint32_t CChannel::ReadInfo(std::uint32_t offset, std::int32_t index, std::uint8_t* data,
                                 std::size_t& length)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    std::size_t minimum = 0;
    std::size_t size = 0;
    switch (offset)
    {
    case 17:
    {
        if (length < 10)
            return VOSERR_INVALID_SIZE;
        std::memset(data, 0, length);
        std::size_t room = length;
        m_interpreter->getLineText(index, reinterpret_cast<char*>(data), room);
        return 0;
    }
    case 18:
        minimum = size = 268;
        break;
    case 19:
        minimum = 4;
        size = StateRecordWords * 4;
        break;
    case 20:
        minimum = size = 80;
        break;
    case 21:
        minimum = size = 32;
        break;
    default:
        return VOSERR_INVALID_OFFSET;
    }
    if (length < minimum)
        return VOSERR_INVALID_SIZE;
    length = size < length ? size : length;
    StateRecord(index, data, length);
    return 0;
}

std::uint32_t CChannel::ReadMTable(std::uint32_t first, std::uint32_t count, std::uint8_t* data)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    (void)MTableSlotSize;
    return m_interpreter->getMTable(static_cast<int>(first), static_cast<int>(count), data);
}

std::uint32_t CChannel::ReadR(std::uint32_t first, std::uint32_t count, std::uint8_t* data)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    for (std::uint32_t i = 0; i < count; ++i)
        PutDouble(data, 8 * i, m_interpreter->getR(static_cast<int>(first + i)));
    return 0;
}

std::uint32_t CChannel::WriteR(std::uint32_t first, std::uint32_t count, const std::uint8_t* data)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    for (std::uint32_t i = 0; i < count; ++i)
        m_interpreter->setR(static_cast<int>(first + i), GetDouble(data, 8 * i));
    return 0;
}
