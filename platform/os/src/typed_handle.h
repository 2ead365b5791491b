#pragma once

#include <os/handle.h>
#include <os/types.h>

#include <memory>

namespace os::detail
{
// The object behind a handle as a T; null with last error ERROR_INVALID_HANDLE when
// the handle is unknown, closed or of another kind.
template <class T> std::shared_ptr<T> typedHandle(HANDLE handle)
{
    auto object = os::handleObjectAs<T>(handle);
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}
} // namespace os::detail
