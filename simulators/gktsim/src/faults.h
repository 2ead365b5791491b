// Faults that tests inject into the simulated driver, and what it counts.
#pragma once

#include <gktsim/control.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace gktsim
{

class FaultTable
{
public:
    void set(const FaultRequest& request);

    // Takes one use of a fault of `kind` that applies to `code`; its value, if any.
    std::optional<uint32_t> take(FaultKind kind, uint32_t code);

    // Waits until the held calls are released (or a minute has passed).
    void hold();
    void releaseHeld();

    void noteCall(uint32_t code, const uint8_t* in, uint32_t inSize, uint32_t outSize);
    void noteOpen(int change);
    DriverStats stats() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_released;
    uint64_t m_releaseGeneration = 0;
    std::vector<FaultRequest> m_faults;
    DriverStats m_stats{};
};

} // namespace gktsim
