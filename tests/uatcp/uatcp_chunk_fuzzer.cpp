// libFuzzer entry for the connection and chunk layer.
#include "uatcp_fuzz_one.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!uatcp::test::parseChunkLayerInput(data, size))
        __builtin_trap();
    return 0;
}
