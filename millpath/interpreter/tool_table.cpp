#include "tool_table.h"

#include <cmath>

bool CToolRecord::operator==(const CToolRecord& other) const
{
    if (m_type != other.m_type || m_second != other.m_second)
        return false;
    for (int i = 0; i < DataCount; ++i)
        if (m_data[i] != other.m_data[i])
            return false;
    return true;
}

const CToolRecord& CToolTable::record(int tool) const
{
    return validTool(tool) ? m_records[tool] : m_records[0];
}

bool CToolTable::field(int tool, int field, double& value) const
{
    if (!validTool(tool) || !validField(field))
        return false;
    const CToolRecord& r = m_records[tool];
    value = field == 0 ? r.m_type : (field == 1 ? r.m_second : r.m_data[field - 2]);
    return true;
}

bool CToolTable::setField(int tool, int field, double value)
{
    if (!validTool(tool) || !validField(field))
        return false;
    CToolRecord& r = m_records[tool];
    if (field >= 2)
    {
        r.m_data[field - 2] = value;
        return true;
    }
    if (value != std::trunc(value) || value < 0 || value > 0xFFFF)
        return false;
    (field == 0 ? r.m_type : r.m_second) = static_cast<std::uint16_t>(value);
    return true;
}
