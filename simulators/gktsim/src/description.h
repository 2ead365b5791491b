// Reads the simulated device's description file into a dictionary.
//
// The file is line-based text; '#' starts a comment. An object line opens an
// object, the entry lines below it fill subindex 0, 1, 2, ... in order:
//
//   object 0x8010 RECORD "Module 1"
//     0 UINT16  ro 3                "Number of entries"
//     1 UINT32  rw 100              "Brightness"
//     2 VSTRING rw "COM1"           "Port"
//     3 INT16   ro wave(380,520,60) "Temperature"
//
// Object kinds: VAR, ARRAY, RECORD (or the object code as a number). Entry
// types by name or Gkt type number (see kTypeNames). Access: ro, rw, wo.
// Values: integers (decimal or 0x hex), reals, "text" (\" and \\ escape),
// true/false, hex:0A0B0C (raw bytes, exactly the type's size), and the live
// values wave(low,high,period_s) and ramp(start,per_second), which follow the
// time since the device started.
#pragma once

#include "dictionary.h"

#include <string>

namespace gktsim
{

// Parses `text` into `dictionary`; on failure returns false and a message with
// the line number in `error`.
bool parseDescription(const std::string& text, Dictionary& dictionary, std::string& error);

} // namespace gktsim
