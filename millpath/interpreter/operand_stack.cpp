#include "operand_stack.h"

#include <new>

COperandStack::COperandStack(unsigned capacity)
{
    const std::uint8_t wanted = static_cast<std::uint8_t>(capacity & 0xFF);
    if (wanted == 0)
        return;
    m_values.reset(new (std::nothrow) double[wanted]());
    if (m_values)
        m_capacity = wanted;
}

bool COperandStack::push(double value)
{
    if (full())
        return false;
    m_values[m_depth++] = value;
    return true;
}

bool COperandStack::top(double& out) const
{
    if (empty())
        return false;
    out = m_values[m_depth - 1];
    return true;
}

bool COperandStack::pop(double& out)
{
    if (!top(out))
        return false;
    --m_depth;
    return true;
}
