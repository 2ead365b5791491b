// Running a driver's entry point and taking the platform's last error it left,
// the same for calls over the socket and inside the manager's own process.
#pragma once

#include "driver_table.h"

namespace devmgr
{

struct CallResult
{
    uint32_t ok = 0;
    uint32_t error = 0;
};

// Runs a driver entry point with a clean last error and takes the error it left;
// a failure without an error becomes ERROR_GEN_FAILURE.
template <class Call> CallResult runDriver(Call call)
{
    SetLastError(0);
    const bool ok = call();
    CallResult result{ok ? 1u : 0u, static_cast<uint32_t>(GetLastError())};
    if (!ok && result.error == 0)
        result.error = ERROR_GEN_FAILURE;
    return result;
}

// Runs one entry point of a file's driver. Without an open file (closed or
// unknown) the call fails as on a closed handle; a driver without the entry
// point refuses it as an invalid function.
template <class Entry, class Call> CallResult runEntry(const Driver* driver, Entry Driver::*entry, Call call)
{
    return runDriver(
        [&]
        {
            if (!driver)
            {
                SetLastError(ERROR_INVALID_HANDLE);
                return false;
            }
            if (!(driver->*entry))
            {
                SetLastError(ERROR_INVALID_FUNCTION);
                return false;
            }
            return call();
        });
}

} // namespace devmgr
