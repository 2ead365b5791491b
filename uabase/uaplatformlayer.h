#ifndef UABASE_UAPLATFORMLAYER_H
#define UABASE_UAPLATFORMLAYER_H

#include <opcua.h>

// Initialises the stack's platform and proxy/stub layers once per process with one configuration
// record; owners may init and clean up in any nesting. Settings made before init survive it.
class UaPlatformLayer
{
public:
    UaPlatformLayer() = delete;

    // 0, or -1 when the stack cannot be initialised (nothing is then counted).
    static int init();
    // Drops one use; the last one clears the stack.
    static void cleanup();
    // Hands the record to the running stack again: 0 or -1.
    static int reinit();

    static void setTrace(bool enabled, unsigned level);
    static void setSerializerLimits(int maxAlloc, int maxStringLength, int maxByteStringLength,
                                    int maxArrayLength, int maxMessageSize);
    static void setThreadPool(bool enabled, int minThreads, int maxThreads, int maxJobs, bool blockOnAdd,
                              unsigned timeout);

    // The record as it will be handed to the stack.
    static OpcUa_ProxyStubConfiguration configuration();
    static OpcUa_UInt32 useCount();
};

#endif
