// DllRegisterServer's work: the COM class, then the device with the device host.
#pragma once

#include <windows.h>

namespace netherald
{
// The result of the class registration; the device's steps only log their failures.
HRESULT registerServer(const std::u16string& modulePath);
} // namespace netherald
