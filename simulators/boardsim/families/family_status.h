// Statuses that the simulated firmware's device families answer.
#pragma once

#include <cstdint>

namespace boardsim::families
{

constexpr uint32_t kOk = 0;
constexpr uint32_t kNotSupported = 1793; // no such function or device
constexpr uint32_t kBadParameter = 1797; // request or answer buffer of the wrong size

} // namespace boardsim::families
