// The server trace's settings: its level lives in the registry value "TraceLevel" below
// HKLM "SOFTWARE\Corvanta\Opcwatch\Configuration"; the file lies beside the program.
#pragma once

#include <windows.h>

#include <string>

// The level from the registry; a missing value is written as 0 first. 0 when the key
// cannot be opened or created.
DWORD readTraceLevel();
// Stores the level and applies it; nothing happens when the key cannot be opened.
void writeTraceLevel(DWORD level, const std::u16string& programDirectory);
// Opens the trace on "_Opcwatch.log" at the registry's level (or changes an open one) and
// switches it on; a level of 0 switches it off.
void applyTraceSettings(const std::u16string& programDirectory);
// Closes the trace; the next applyTraceSettings opens it afresh.
void closeServerTrace();
