// The memory that the connections of one server may hold together in
// messages they are still receiving, so that many large messages at once
// cannot take the process down.
#pragma once
#include <atomic>
#include <cstddef>

namespace uatcp
{
class ReceiveBudget
{
public:
    explicit ReceiveBudget(size_t limit) : m_limit(limit) {}
    ReceiveBudget(const ReceiveBudget&) = delete;
    ReceiveBudget& operator=(const ReceiveBudget&) = delete;

    // Takes bytes from the budget; false (and nothing taken) when that would exceed it.
    bool reserve(size_t bytes)
    {
        size_t used = m_used.load(std::memory_order_relaxed);
        do
        {
            if (bytes > m_limit || used > m_limit - bytes)
                return false;
        } while (!m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
        return true;
    }
    // Takes bytes whatever the budget holds: for memory that other limits bound already.
    void charge(size_t bytes) { m_used.fetch_add(bytes, std::memory_order_relaxed); }
    void release(size_t bytes) { m_used.fetch_sub(bytes, std::memory_order_relaxed); }
    size_t used() const { return m_used.load(std::memory_order_relaxed); }
    size_t limit() const { return m_limit; }

private:
    const size_t m_limit;
    std::atomic<size_t> m_used{0};
};
} // namespace uatcp
