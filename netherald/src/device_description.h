// The device description Netherald registers: UTF-16 text, "\n" line ends, tab indents,
// its UDN the template "DummyUDN" that the host replaces.
#pragma once

#include "identity.h"

#include <string>

namespace netherald
{
std::u16string deviceDescription(const Identity& identity);

// The product page of a device type (by the start of its name, ignoring case), or the
// maker's general page.
std::u16string modelUrl(const std::u16string& deviceType);

// Text made safe for XML content.
std::u16string xmlEscaped(const std::u16string& text);
} // namespace netherald
