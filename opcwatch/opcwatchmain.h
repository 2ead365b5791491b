// The program's process entry over the server library's parts: COM for the thread, the
// stack's platform layer, the one server object with its Vos port, and the run of its message
// loop until WM_QUIT (SIGTERM or SIGINT).
#pragma once

#include "opcserverruntime.h"

// The process exit code: 0 after the loop ended; -3 when the run threw (the server object
// is deleted), -2 when making the server object threw, -1 when the platform layer did.
int opcwatchMain(OpcServerRuntime& runtime, OpcNodeManagerFactory& nodeManagers);
