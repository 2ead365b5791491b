// One fuzz input through the decoder; shared by the mutation driver and the libFuzzer entry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uastacktest
{
// Decodes data as a service message and as a variant. Whatever decodes must encode again and
// decode to an equal value; returns false when it does not (crashes and leaks are the sanitizers').
bool decodeOne(const uint8_t* data, size_t size);
} // namespace uastacktest
