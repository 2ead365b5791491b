#pragma once

#include <os/types.h>

namespace os::detail
{
// The system error code for a host errno.
DWORD errorFromErrno(int error);
} // namespace os::detail
