#ifndef UABASE_UATRACE_H
#define UABASE_UATRACE_H

#include "ualog.h"

// The server trace under the names its users know it by: the same process-wide log as UaLog,
// with one writer per level that takes no module code.
class UaTrace : public UaLog
{
public:
    static int getTraceLevel() { return level(); }
    static bool isTraceLevelOn(int n) { return isLevel(n); }

    static void traceLevel1(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel2(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel3(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel4(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel5(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel6(const char* format, ...) UALOG_PRINTF(1, 2);
    static void traceLevel7(const char* format, ...) UALOG_PRINTF(1, 2);
};

#endif
