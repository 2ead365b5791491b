// Faults that tests ask the simulated board for, by index group and offset.
#pragma once

#include <boardsim/control.h>

#include <mutex>
#include <optional>
#include <vector>

namespace boardsim
{

class FaultTable
{
public:
    void set(const FaultRequest& request);
    // Takes one use of a fault of `kind` that applies to the call; its value, if any.
    std::optional<uint32_t> take(FaultKind kind, uint32_t group = kAny, uint32_t offset = kAny);

private:
    std::mutex m_lock;
    std::vector<FaultRequest> m_faults;
};

} // namespace boardsim
