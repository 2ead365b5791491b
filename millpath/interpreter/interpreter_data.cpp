// Data access for the channel and the service port: kernel answers, the M
// table, tools, lookup tables, zero points, line texts and display texts.
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "interpreter.h"
#include "le_words.h"
#include "nc_files.h"

namespace
{
constexpr std::uint32_t ParameterReadAnswer = 0x80000002;
constexpr int ParameterReadKind = 2;
constexpr std::size_t TableRecordSizes[] = {80, 80, 32};

// Values separated by ";"; a value that does not scan is 0.0.
std::vector<double> values(const std::string& line)
{
    std::vector<double> result;
    std::istringstream in(line);
    std::string item;
    while (std::getline(in, item, ';'))
    {
        if (item.find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        result.push_back(end == item.c_str() ? 0.0 : v);
    }
    return result;
}
} // namespace

void CInterpreter::expectKernelRead(int kind, int rIndex)
{
    m_kernelRead = KernelRead{true, kind, rIndex};
}

void CInterpreter::storeKernelAnswer(std::uint32_t answerCode, double value)
{
    if (m_kernelRead.pending && m_kernelRead.kind == ParameterReadKind && answerCode == ParameterReadAnswer &&
        m_kernelRead.rIndex >= 0 && m_kernelRead.rIndex < RParams)
        setR(m_kernelRead.rIndex, value);
    m_kernelRead.pending = false;
}

// Every record is checked before the table changes, so that a refused list
// leaves the definitions as they were.
std::uint32_t CInterpreter::setMTable(const std::uint8_t* records, std::size_t byteLength)
{
    if (byteLength % MTableRecordSize != 0 || byteLength / MTableRecordSize > MDefCount ||
        (byteLength > 0 && !records))
        return NcResult::OutOfRange;
    const std::size_t count = byteLength / MTableRecordSize;
    for (std::size_t i = 0; i < count; ++i)
        if (GetLe32(records + i * MTableRecordSize) >= static_cast<std::uint32_t>(MDefCount))
            return NcResult::OutOfRange;
    for (auto& def : m_mdefs)
    {
        def.flags = 0;
        for (auto& c : def.cancels)
            c = -1;
    }
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::uint8_t* record = records + i * MTableRecordSize;
        MDefinition& def = m_mdefs[GetLe32(record)];
        def.flags = static_cast<std::uint8_t>(GetLe32(record + 4) | GetLe32(record + 8));
        for (int c = 0; c < MDefCancels; ++c)
            def.cancels[c] = static_cast<std::int32_t>(GetLe32(record + 12 + 4 * c));
    }
    m_mdefsLoaded = true;
    return NcResult::Ok;
}

std::uint32_t CInterpreter::getMTable(int first, int count, std::uint8_t* buffer) const
{
    if (first < 0 || count < 0 || first + count > MDefCount || (count > 0 && !buffer))
        return NcResult::OutOfRange;
    for (int i = 0; i < count; ++i)
    {
        const MDefinition& def = m_mdefs[first + i];
        std::uint8_t* slot = buffer + i * MTableSlotSize;
        slot[0] = def.flags;
        for (int c = 0; c < MDefCancels; ++c)
            PutLe32(slot + 1 + 4 * c, static_cast<std::uint32_t>(def.cancels[c]));
    }
    return NcResult::Ok;
}

double CInterpreter::getToolValue(int tool, int dataIndex) const
{
    double v = 0.0;
    if (dataIndex < 1 || dataIndex > CToolRecord::DataCount || !m_tools.field(tool, dataIndex + 1, v))
        return 0.0;
    return v;
}

int CInterpreter::setToolValue(int tool, int dataIndex, double value)
{
    return dataIndex >= 1 && dataIndex <= CToolRecord::DataCount &&
                   m_tools.setField(tool, dataIndex + 1, value)
               ? 1
               : 0;
}

std::uint16_t CInterpreter::getToolType(int tool) const
{
    return CToolTable::validTool(tool) ? m_tools.record(tool).m_type : 0;
}

std::uint16_t CInterpreter::getToolSecondValue(int tool) const
{
    return CToolTable::validTool(tool) ? m_tools.record(tool).m_second : 0;
}

int CInterpreter::setToolType(int tool, std::uint32_t value)
{
    return value <= 0xFFFF && m_tools.setField(tool, 0, value) ? 1 : 0;
}

int CInterpreter::setToolSecondValue(int tool, std::uint32_t value)
{
    return value <= 0xFFFF && m_tools.setField(tool, 1, value) ? 1 : 0;
}

void CInterpreter::getToolRecord(int tool, std::uint8_t* buffer) const
{
    std::memset(buffer, 0, ToolRecordSize);
    if (!CToolTable::validTool(tool))
        return;
    const CToolRecord& record = m_tools.record(tool);
    PutLe32(buffer, record.m_type);
    PutLe32(buffer + 4, record.m_second);
    std::memcpy(buffer + 8, record.m_data, sizeof(record.m_data));
}

std::uint32_t CInterpreter::setToolRecord(int tool, std::uint32_t type, std::uint32_t second,
                                          const double* data)
{
    if (!CToolTable::validTool(tool))
        return NcResult::BadToolNumber;
    if (type > 0xFFFF || second > 0xFFFF)
        return NcResult::OutOfRange;
    m_tools.setField(tool, 0, type);
    m_tools.setField(tool, 1, second);
    for (int i = 0; i < CToolRecord::DataCount; ++i)
        m_tools.setField(tool, i + 2, data[i]);
    return NcResult::Ok;
}

// The lookup tables are views of the tables loaded from the project's files:
// table 1 holds zero point n of every axis, tables 2 and 3 the two values of
// tool n and its first nine or three tool data.
std::uint32_t CInterpreter::getTableRecord(int table, std::uint32_t number, void* buffer,
                                           std::size_t& size) const
{
    std::uint8_t record[80] = {};
    bool known = false;
    if (table == 1 && number >= 1 && number <= ZeroPointNumbers)
    {
        for (int axis = 0; axis < ZeroPointAxes; ++axis)
            std::memcpy(record + 8 * axis, &m_zeroPoints[axis][number - 1], sizeof(double));
        known = true;
    }
    else if ((table == 2 || table == 3) && CToolTable::validTool(static_cast<int>(number)))
    {
        std::uint8_t full[ToolRecordSize];
        getToolRecord(static_cast<int>(number), full);
        std::memcpy(record, full, TableRecordSizes[table - 1]);
        known = true;
    }
    if (!known)
    {
        size = 0;
        return NcError::TableRecord;
    }
    if (size > TableRecordSizes[table - 1])
        size = TableRecordSizes[table - 1];
    if (size > 0)
        std::memcpy(buffer, record, size);
    return NcResult::Ok;
}

double CInterpreter::getZeroPointValue(int table, int index, int component) const
{
    if (table != 1 || index < 1 || index > ZeroPointAxes || component < 1 || component > ZeroPointNumbers)
        return 0.0;
    return m_zeroPoints[index - 1][component - 1];
}

void CInterpreter::setZeroPointValue(int table, int index, int component, double value)
{
    if (table == 1)
        setZeroPoint(index - 1, component, value);
}

// "<n>.NP": three rows (axes 1 to 3) of zero points 1 to 8, each "%lf;";
// "<n>.WZ": one line per tool, the two values and the fourteen tool data.
bool CInterpreter::loadTableFiles(const std::string& dir)
{
    const std::string base =
        (dir.empty() ? std::string() : dir + "/") + std::to_string(m_channel.channelNumber());
    std::string zeroPoints;
    std::string tools;
    const bool zeroPointsRead = NcReadDeviceFile(base + ".NP", zeroPoints);
    const bool toolsRead = NcReadDeviceFile(base + ".WZ", tools);
    if (zeroPointsRead)
    {
        const std::vector<double> v = values(zeroPoints);
        for (int axis = 0; axis < 3; ++axis)
            for (int number = 1; number <= ZeroPointNumbers; ++number)
            {
                const std::size_t i = static_cast<std::size_t>(axis * 8 + number - 1);
                setZeroPoint(axis, number, number <= 8 && i < v.size() ? v[i] : 0.0);
            }
    }
    if (toolsRead)
    {
        std::istringstream lines(tools);
        std::string line;
        for (int tool = 1; tool <= CToolTable::MaxTool && std::getline(lines, line); ++tool)
        {
            const std::vector<double> v = values(line);
            for (int field = 0; field < CToolTable::FieldCount; ++field)
                m_tools.setField(tool, field, static_cast<std::size_t>(field) < v.size() ? v[field] : 0.0);
        }
    }
    return zeroPointsRead && toolsRead;
}

std::uint32_t CInterpreter::getLineText(std::int32_t lineIndex, char* buffer, std::size_t& size) const
{
    const char* text = m_channel.textStore().getLine(lineIndex);
    if (!text || size == 0 || !buffer)
    {
        size = 0;
        return NcResult::BadValue;
    }
    std::size_t length = std::strlen(text);
    if (length > size - 1)
        length = size - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    size = length + 1;
    return NcResult::Ok;
}

// Up to three lines from the given one on, joined, as far as they fit; the
// display never fails towards its caller: at worst it is empty.
void CInterpreter::getDisplayText(char* buffer, std::size_t& size, std::int32_t lineIndex)
{
    if (!buffer || size == 0)
        return;
    auto empty = [&]
    {
        buffer[0] = '\0';
        size = 1;
    };
    const CProgramTextStore& store = m_channel.textStore();
    const char* first = lineIndex == -1 ? nullptr : store.getLine(lineIndex);
    if (!first)
        return empty();
    const std::size_t firstLength = std::strlen(first);
    if (firstLength + 1 > size)
    {
        std::memset(buffer, 0, size);
        std::memcpy(buffer, first, size - 1);
        return;
    }
    const char* lines[3] = {first, nullptr, nullptr};
    std::size_t lengths[3] = {firstLength, 0, 0};
    std::size_t taken = 1;
    std::size_t total = firstLength;
    std::int32_t index = lineIndex;
    while (taken < 3)
    {
        const std::int32_t next = store.nextLine(index);
        if (next == 0)
            break;
        const char* text = store.getLine(next);
        if (!text)
        {
            log(NcMsg::DisplayTextCategory, 0, "GetDisplayText-getline failed req TextIndex=%d",
                {static_cast<long long>(next)});
            return empty();
        }
        const std::size_t length = std::strlen(text);
        if (total + length + taken + 1 >= size)
            break;
        lines[taken] = text;
        lengths[taken] = length;
        total += length;
        ++taken;
        index = next;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < taken; ++i)
    {
        std::memcpy(buffer + at, lines[i], lengths[i]);
        at += lengths[i];
    }
    buffer[at] = '\0';
    size = at + 1;
}

void CInterpreter::getCurrentDisplayText(char* buffer, std::size_t& size)
{
    const int state = static_cast<int>(getState());
    if ((state >= 5 && state <= 10) || state == 16 || state == 17)
        return getDisplayText(buffer, size, m_lineIndex);
    if (buffer && size > 0)
    {
        buffer[0] = '\0';
        size = 1;
    }
}

int CInterpreter::setFeedModeCharacter(char c)
{
    if (c != 'F' && c != 'G')
        return 0;
    m_feedModeChar = c;
    return 1;
}
