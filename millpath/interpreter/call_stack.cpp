#include "call_stack.h"

#include <new>

CCallStack::CCallStack(unsigned capacity)
{
    const std::uint8_t wanted = static_cast<std::uint8_t>(capacity & 0xFF);
    if (wanted == 0)
        return;
    m_target.reset(new (std::nothrow) std::int32_t[wanted]());
    m_secondTarget.reset(new (std::nothrow) std::int32_t[wanted]());
    m_return.reset(new (std::nothrow) std::int32_t[wanted]());
    m_repeat.reset(new (std::nothrow) std::int32_t[wanted]());
    if (!m_target || !m_secondTarget || !m_return || !m_repeat)
    {
        m_target.reset();
        m_secondTarget.reset();
        m_return.reset();
        m_repeat.reset();
        return;
    }
    m_capacity = wanted;
}

void CCallStack::clear()
{
    m_depth = 0;
    for (unsigned i = 0; i < m_capacity; ++i)
        m_target[i] = m_secondTarget[i] = m_return[i] = m_repeat[i] = 0;
}

bool CCallStack::push(std::int32_t target, std::int32_t secondTarget, std::int32_t returnPos,
                      std::int32_t repeat)
{
    if (full())
        return false;
    m_target[m_depth] = target;
    m_secondTarget[m_depth] = secondTarget;
    m_return[m_depth] = returnPos;
    m_repeat[m_depth] = repeat;
    ++m_depth;
    return true;
}

bool CCallStack::top(std::int32_t* target, std::int32_t* secondTarget, std::int32_t* returnPos,
                     std::int32_t* repeat) const
{
    if (empty())
        return false;
    const unsigned i = m_depth - 1u;
    if (target)
        *target = m_target[i];
    if (secondTarget)
        *secondTarget = m_secondTarget[i];
    if (returnPos)
        *returnPos = m_return[i];
    if (repeat)
        *repeat = m_repeat[i];
    return true;
}

bool CCallStack::pop(std::int32_t* target, std::int32_t* secondTarget, std::int32_t* returnPos,
                     std::int32_t* repeat)
{
    if (!top(target, secondTarget, returnPos, repeat))
        return false;
    --m_depth;
    return true;
}

bool CCallStack::countDown(bool& stillAbove0)
{
    if (empty() || m_repeat[m_depth - 1] == 0)
        return false;
    const std::int32_t left = --m_repeat[m_depth - 1];
    stillAbove0 = left > 0;
    return true;
}
