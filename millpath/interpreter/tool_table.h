// The interpreter's tool table: tools 1 to 255, each with two 16-bit values
// (tool type and a second value) and fourteen tool data values.
#pragma once

#include <cstdint>

struct CToolRecord
{
    static constexpr int DataCount = 14;
    std::uint16_t m_type = 0;
    std::uint16_t m_second = 0;
    double m_data[DataCount] = {};

    bool operator==(const CToolRecord& other) const;
};

class CToolTable
{
public:
    static constexpr int MaxTool = 255;
    // Fields of a record by index: 0 the type, 1 the second value, 2 to 15
    // the tool data 1 to 14.
    static constexpr int FieldCount = 2 + CToolRecord::DataCount;

    static bool validTool(int tool) { return tool >= 1 && tool <= MaxTool; }
    static bool validField(int field) { return field >= 0 && field < FieldCount; }

    // The record of a tool; tool 0 and numbers outside the table give an
    // empty record.
    const CToolRecord& record(int tool) const;
    // false for a tool or field outside the table, or a 16-bit field value
    // that is not an integer from 0 to 0xFFFF; nothing is stored then.
    bool field(int tool, int field, double& value) const;
    bool setField(int tool, int field, double value);

private:
    CToolRecord m_records[MaxTool + 1];
};
