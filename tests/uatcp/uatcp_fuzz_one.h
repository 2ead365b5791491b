// One fuzz input through every parser of the connection and chunk layer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace uatcp::test
{
// False when a parser accepted the input but broke its own invariants.
bool parseChunkLayerInput(const uint8_t* data, size_t size);
} // namespace uatcp::test
