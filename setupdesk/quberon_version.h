// The running Quberon run-time system's version, asked over Vos.
#pragma once

#include <windows.h>

#include <string>

namespace setupdesk
{
struct QuberonVersion
{
    std::string version = "?"; // "<major>.<minor>"
    std::string build = "?";
    BYTE major = 0; // 0 when unknown
};

// The run-time system runs when its event "QbSYSEXE_SUSPEND_COMPLETE" exists; then its
// device info on port 100 gives the version and build, and from 2.9 build 143 on the
// build comes from port 10000. Requests wait at most `timeoutMs`.
QuberonVersion readQuberonVersion(DWORD timeoutMs);
} // namespace setupdesk
