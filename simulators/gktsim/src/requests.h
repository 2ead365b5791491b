// The device-profile driver's I/O control requests on a dictionary.
#pragma once

#include "dictionary.h"

#include <gktsim/control.h>

#include <cstdint>

namespace gktsim
{

// Platform error codes the driver sets for requests it refuses as a whole.
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorNotFound = 1168;

constexpr uint32_t kHeaderSize = 14;

struct IoRequest
{
    uint32_t code = 0;
    uint8_t* in = nullptr;
    uint32_t inSize = 0;
    uint8_t* out = nullptr;
    uint32_t outSize = 0;
};

struct IoResult
{
    uint32_t error = 0; // 0: success
    uint32_t bytesReturned = 0;
};

IoResult handleRequest(Dictionary& dictionary, const IoRequest& request);

} // namespace gktsim
