// Setters of "popc" that take several values or fill the one-axis requests,
// and the scaling and modulo rules of the axis words.
#include <algorithm>
#include <cmath>

#include "interpreter.h"
#include "nc_numbers.h"
#include "rotary_target.h"

namespace
{
constexpr double Any = 1e300;
constexpr int MaxByte = 255;

bool isInteger(double v)
{
    return v == std::trunc(v);
}
} // namespace

double CInterpreter::scaled(int axis, double value) const
{
    return m_set.scaling ? value * m_set.scale[axis] : value;
}

double CInterpreter::absoluteTarget(int moduloBit, double value, double current) const
{
    if (m_set.modeMask & (1 << moduloBit))
        return RotaryTarget(value, current);
    return value;
}

bool CInterpreter::popMultiValueSetter(double v)
{
    CEntryFunk f;
    if (take("CfgCreateGrp "))
    {
        // The axis assignment X, Y, Z, Q1..Q5 of the group: the arguments
        // come off the stack last first, each in front of those taken.
        if (!checkRange(v, 0, MaxByte, 0xC95))
            return true;
        const int count = m_set.groupAxisCount;
        if (count >= 8)
        {
            fail(0xC95, "%d%d%f", {v}, NcError::WordOrRange);
            return true;
        }
        if (count == 0)
            std::fill(std::begin(m_set.groupAxes), std::end(m_set.groupAxes), std::uint16_t{0});
        std::copy_backward(m_set.groupAxes, m_set.groupAxes + count, m_set.groupAxes + count + 1);
        m_set.groupAxes[0] = static_cast<std::uint16_t>(v);
        m_set.groupAxisCount = count + 1;
        std::copy(std::begin(m_set.groupAxes), std::end(m_set.groupAxes), f.m_groupAxes);
        queueFunction(20, f);
        return true;
    }
    if (take("VeloDevAngle "))
    {
        // AngleHigh, AngleLow, C0; C0 comes first.
        if (!checkRange(v, 0, Any, m_set.setterIndex == 0 ? 0xC71 : 0xC70))
            return true;
        collectThreeValues(v, 10);
        return true;
    }
    if (take("VMove "))
    {
        if (!checkRange(v, 0, Any, 0xCB6))
            return true;
        f.m_word1 = TruncToInt(v);
        queueFunction(25, f);
        return true;
    }
    if (take("VParams "))
    {
        // Smoothing type and radius; the radius comes first.
        if (m_set.setterIndex == 0 && !checkRange(v, 0, Any, 0xCB4))
            return true;
        if (m_set.setterIndex == 1 && (v < 0 || !isInteger(v) || v > 0x7FFFFFFF))
        {
            fail(0xCB7, "%d%d%d", {v}, NcError::WordOrRange);
            return true;
        }
        if (collectValue(v, 2))
        {
            const auto type = static_cast<std::int32_t>(m_set.setterValues[0]);
            const double radius = m_set.setterValues[1];
            // Type 0 is the spline radius, any other the kernel's vertex smoothing.
            if (type == 0)
            {
                f.m_value1 = radius;
                m_functions[27].pending = false;
                queueFunction(11, f);
            }
            else
            {
                f.m_word1 = type;
                f.m_value2 = radius;
                m_functions[11].pending = false;
                queueFunction(27, f);
            }
        }
        return true;
    }
    return false;
}

void CInterpreter::failPosa()
{
    log(NcMsg::Category, NcMsg::PosaFailed, "Error in channel %d line %d: Unexpected internal error in POSA",
        {channelArg(), lineArg()});
    markErrorLine();
    raiseNcError(NcError::WordOrRange);
    setState(InterpreterState::Error);
}

namespace
{
// The place of the axis when it has one already, else the first free one.
template <class Place> Place* placeFor(Place (&places)[CBlockState::OneAxisPlaces], int axis)
{
    Place* free = nullptr;
    for (Place& p : places)
    {
        if (p.m_axis == axis)
            return &p;
        if (p.m_axis == 0 && free == nullptr)
            free = &p;
    }
    return free;
}
} // namespace

// "POSA" (position) then "ID" (axis) request a one-axis move; "WAITP" (axis)
// then "SOC" (condition) and "SOCParam1" (its value) a step-on condition.
bool CInterpreter::popOneAxisSetter(double v)
{
    if (take("POSA "))
    {
        m_set.posaTarget = v;
        m_set.posaTaken = true;
        return true;
    }
    if (take("ID "))
    {
        const bool taken = m_set.posaTaken;
        m_set.posaTaken = false;
        CBlockState::OneAxisMove* place = nullptr;
        if (taken && v >= 1 && v <= MaxByte && isInteger(v))
            place = placeFor(m_block.m_oneAxis, static_cast<int>(v));
        if (place == nullptr)
        {
            failPosa();
            return true;
        }
        place->m_axis = static_cast<int>(v);
        place->m_target = m_set.posaTarget;
        m_block.m_oneAxisPending = true;
        markOutput();
        return true;
    }
    if (take("WAITP "))
    {
        CBlockState::StepOn* place = nullptr;
        if (v >= 1 && v <= MaxByte && isInteger(v))
            place = placeFor(m_block.m_stepOn, static_cast<int>(v));
        if (place == nullptr)
        {
            fail(0xC96, "%d %d %d", {v}, NcError::WordOrRange);
            return true;
        }
        *place = CBlockState::StepOn{};
        place->m_axis = static_cast<int>(v);
        m_set.stepOnPlace = static_cast<int>(place - m_block.m_stepOn);
        m_block.m_oneAxisPending = true;
        markOutput();
        return true;
    }
    if (take("SOCParam1 "))
    {
        if (m_set.stepOnPlace < 0)
            return false;
        m_block.m_stepOn[m_set.stepOnPlace].m_value = v;
        return true;
    }
    if (take("SOC "))
    {
        if (m_set.stepOnPlace < 0)
            return false;
        if (!isInteger(v) || v < 1 || v > 7)
        {
            fail(0xC97, "%d%d%f", {v}, NcError::WordOrRange);
            return true;
        }
        m_block.m_stepOn[m_set.stepOnPlace].m_mode = static_cast<int>(v);
        return true;
    }
    return false;
}

// Tool parameters: the third argument ("ToolP3": the value; "ToolRP3": the
// index of the R parameter that receives it), then the field 0 to 15
// ("ToolP2") and the tool ("ToolP1"). Fields of a tool record: see CToolTable.
bool CInterpreter::popToolSetter(double v)
{
    if (take("ToolP3 ") || take("ToolRP3 "))
    {
        m_set.toolRead = code()[m_cursor - 4] == 'R';
        m_set.toolValue = v;
        m_set.toolStage = 1;
        return true;
    }
    const std::uint32_t message = m_set.toolRead ? 0xC9A : 0xC99;
    if (take("ToolP2 "))
    {
        if (m_set.toolStage != 1)
            return false;
        if (!isInteger(v) || !CToolTable::validField(TruncToInt(v)))
        {
            fail(message, "%d%d%d", {v}, NcError::WordOrRange);
            return true;
        }
        m_set.toolField = static_cast<int>(v);
        m_set.toolStage = 2;
        return true;
    }
    if (!take("ToolP1 "))
        return false;
    if (m_set.toolStage != 2)
        return false;
    m_set.toolStage = 0;
    const int tool = TruncToInt(v);
    if (!isInteger(v) || !CToolTable::validTool(tool))
    {
        fail(message, "%d%d%d", {v}, NcError::WordOrRange);
        return true;
    }
    if (!m_set.toolRead)
    {
        if (!m_tools.setField(tool, m_set.toolField, m_set.toolValue))
            fail(message, "%d%d%d", {m_set.toolValue}, NcError::WordOrRange);
        return true;
    }
    const double index = m_set.toolValue;
    if (!isInteger(index) || index < 0 || index >= RParams)
    {
        fail(NcMsg::ParameterIndex, "%d%d%d", {index}, NcError::ParameterIndex);
        return true;
    }
    double value = 0.0;
    m_tools.field(tool, m_set.toolField, value);
    setR(static_cast<int>(index), value);
    return true;
}
