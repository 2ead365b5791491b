// The built-in cycle macros: stack-language texts of the pocket cycles G36
// and G37 and the circle cycles G38 and G39, and the entry names by which
// "call" reaches them. The texts are built once and only read afterwards, so
// every channel runs them in place.
#pragma once

#include <cstddef>
#include <string>

namespace BuiltinMacros
{
enum class Entry
{
    ExitHighParam,
    EdgeRadiusValidation,
    CmpSide1Position,
    CmpSide2Position,
    CmpSide3Position,
    CmpSide4Position,
    SetOffsetG36,
    SetOffsetG37,
    MacroG36,
    MacroG37,
    MacroG38,
    MacroG39,
};

// The longest entry name at text (its first letter in either case); false
// when no name matches. nameLength receives the length of the name.
bool findEntry(const char* text, std::size_t available, Entry& entry, std::size_t& nameLength);

// Text ids (1 and up; 0 is the program text of an interpreter).
int exitHighParamText();
int edgeRadiusValidationText();
int sideComparisonText(int side);                  // side 1..4
int startOffsetText(int cycle, int side);          // cycle 36 or 37
int rectangleText(int cycle, int side, bool arcs); // arcs: corner arcs, else plain corners
int circleText(int cycle);                         // cycle 38 or 39
const std::string& text(int id);
} // namespace BuiltinMacros
