// Fixed-capacity stack of doubles: the operand stack of the stack language.
#pragma once

#include <cstdint>
#include <memory>

class COperandStack
{
public:
    // Only the low 8 bits of capacity count; a failed allocation leaves capacity 0.
    explicit COperandStack(unsigned capacity);

    bool push(double value);
    bool top(double& out) const;
    bool pop(double& out);
    bool empty() const { return m_depth == 0; }
    bool full() const { return m_depth == m_capacity; }
    void clear() { m_depth = 0; }

    unsigned capacity() const { return m_capacity; }
    unsigned depth() const { return m_depth; }

private:
    std::uint8_t m_capacity = 0;
    std::uint8_t m_depth = 0;
    std::unique_ptr<double[]> m_values;
};
