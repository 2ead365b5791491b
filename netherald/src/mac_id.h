// The device's MAC identifier: the address of its default adapter as "XX-XX-XX-XX-XX-XX".
#pragma once

#include <string>

namespace netherald
{
// The adapter named by "DefaultAdapter" of HKLM "\Software\Corvanta\Quberon3\System" (of
// "\Software\Corvanta\Quberon\Remote" when that key is missing), else the first adapter;
// nothing when there is no adapter or its address is not 6 bytes long.
bool readMacId(std::string& macId);
} // namespace netherald
