// Lines of the layer itself for the device's event log ("VosEvent.log" in the device
// root), in the event logger's own form: time, source, type, "-" for no message id
// and the text, separated by tabs.
#pragma once

#include <os/types.h>

#include <string>

namespace os::detail
{
// The type the event logger gives errors.
constexpr DWORD kEventError = 148;

// Appends one line in one write; false when the log cannot be written.
bool appendEventLine(const std::string& source, DWORD type, const std::string& text);
} // namespace os::detail
