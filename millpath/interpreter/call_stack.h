// Fixed-capacity call stack of "call", "return" and repeated parts. A frame holds
// the target position, a second target position, the return position and the
// repeat count; positions are offsets into the program text.
#pragma once

#include <cstdint>
#include <memory>

class CCallStack
{
public:
    // Only the low 8 bits of capacity count; a failed allocation leaves capacity 0.
    explicit CCallStack(unsigned capacity);

    void clear();
    bool push(std::int32_t target, std::int32_t secondTarget, std::int32_t returnPos, std::int32_t repeat);
    // Outputs may be null.
    bool top(std::int32_t* target, std::int32_t* secondTarget, std::int32_t* returnPos,
             std::int32_t* repeat) const;
    bool pop(std::int32_t* target, std::int32_t* secondTarget, std::int32_t* returnPos, std::int32_t* repeat);
    // Lowers the top frame's repeat count; fails when empty or the count is
    // already 0. stillAbove0 tells whether the part runs again.
    bool countDown(bool& stillAbove0);

    bool empty() const { return m_depth == 0; }
    bool full() const { return m_depth == m_capacity; }
    unsigned capacity() const { return m_capacity; }
    unsigned depth() const { return m_depth; }

private:
    std::uint8_t m_capacity = 0;
    std::uint8_t m_depth = 0;
    std::unique_ptr<std::int32_t[]> m_target;
    std::unique_ptr<std::int32_t[]> m_secondTarget;
    std::unique_ptr<std::int32_t[]> m_return;
    std::unique_ptr<std::int32_t[]> m_repeat;
};
