// Opcwatch's process with the recording runtime in place of the server library's core and
// module: the start-up, the configuration file, the certificate, the trace, the Vos port and
// the stop on SIGTERM as the program runs them, without an OPC UA endpoint.
#include "recording_runtime.h"

#include "opcwatchmain.h"

int main()
{
    RecordingRuntime runtime;
    return opcwatchMain(runtime, runtime);
}
