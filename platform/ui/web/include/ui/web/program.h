// The frame of a dialog program shown as a local web page:
//   <program> [--port N]
// prints the page's address and runs until the dialog ends, or SIGINT or SIGTERM.
#pragma once

#include <ui/live_host.h>

#include <functional>

namespace ui::web
{
struct Program
{
    const char* name;        // "cellpanel"
    const char* description; // one line for the usage text
};

// Parses the arguments, serves the page on 127.0.0.1 and calls run on this thread with the
// host; run builds the dialog and runs it modally. The exit code: 0, 1 when the port cannot
// be bound, 2 for bad arguments.
int runDialogProgram(int argc, char** argv, const Program& program,
                     const std::function<void(LiveHost&)>& run);
} // namespace ui::web
