// libFuzzer entry for the decoder (built with clang only).
#include "fuzz_decode_one.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!uastacktest::decodeOne(data, size))
        std::abort();
    return 0;
}
