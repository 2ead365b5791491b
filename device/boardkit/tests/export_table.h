// Every export of Boardkit with the requests it makes, written down from the
// device function families: index group, index offset, request and answer
// sizes, the driver-level flag and the head of the request data.
#pragma once

#include <boardkit.h>

#include <functional>
#include <string>
#include <vector>

namespace boardkit::testing
{

struct ExpectedCall
{
    DWORD group;
    DWORD offset;
    DWORD inputSize;
    DWORD outputSize;
    bool driverLevel;
    std::vector<BYTE> inputHead = {};
};

// An answer the row needs beyond the stand-in's default (every byte asked for).
struct ScriptedAnswer
{
    DWORD group;
    DWORD offset;
    std::vector<BYTE> data;
};

struct ExportRow
{
    std::string symbol; // as exported: the C++ name for the ...ExT forms
    std::vector<ExpectedCall> calls;
    std::function<BOOL()> invoke; // valid arguments
    DWORD error = 0;              // the last error it ends with
    std::vector<ScriptedAnswer> answers = {};
};

const std::vector<ExportRow>& exportTable();

} // namespace boardkit::testing
