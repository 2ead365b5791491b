// End point of a linear block given by an angle in the active plane and
// either a length or one of the two plane coordinates.
#pragma once

#include <cstdint>

#include "block_state.h"

namespace AngleEndPointMsg
{
// "%d%d" (channel, block number): the end point cannot be formed from the
// angle (no angle programming, a wrong set of plane coordinates, or the
// angle runs parallel to the programmed coordinate's line).
constexpr std::uint32_t Refused = 3238;
constexpr std::uint32_t Category = 84;
} // namespace AngleEndPointMsg

// Completes the block's target in the plane and marks both plane axes as
// programmed. 0 on success; -1 on a refusal, with the message number to log.
int AngleEndPoint(CBlockState& block, std::uint32_t& message);
