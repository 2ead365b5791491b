// Opcwatch, the device's OPC UA server: the process entry over the server library's core and
// module, with the device-profile address space.
#include "opcwatchmain.h"
#include "opcwatchruntime.h"

int main()
{
    OpcwatchRuntime runtime;
    return opcwatchMain(runtime, runtime);
}
