// Tracer of the interpolation rules: while enabled, every rule entry of the
// interpreter is recorded with its block counter, so that the group can find
// the rules that held for a block it prepares. Written by the channel's
// thread, read by the group's threads.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

class CIpolRuleTracer
{
public:
    static constexpr int Words = 20;
    using Record = std::array<std::uint32_t, Words>;

    void enable(bool on);
    bool enabled() const;
    // Rule words 1 to 19 (word 0 is the block counter).
    void setWord(int index, std::uint32_t value);
    // Stores the block counter as word 0 and keeps a copy of all words.
    void trace(std::uint32_t blockCounter);
    // The newest record whose block counter is not above blockCounter; the
    // records older than it are dropped. Nothing when there is none.
    std::optional<Record> fetch(std::uint32_t blockCounter);
    std::size_t size() const;

private:
    mutable std::mutex m_lock;
    bool m_enabled = false;
    Record m_words{};
    std::deque<Record> m_records; // rising block counters
};
