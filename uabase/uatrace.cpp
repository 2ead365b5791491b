#include "uatrace.h"

#define UATRACE_LEVEL_WRITER(number)                                                                         \
    void UaTrace::traceLevel##number(const char* format, ...)                                                \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, format);                                                                         \
        message(number, format, arguments);                                                                  \
        va_end(arguments);                                                                                   \
    }

UATRACE_LEVEL_WRITER(1)
UATRACE_LEVEL_WRITER(2)
UATRACE_LEVEL_WRITER(3)
UATRACE_LEVEL_WRITER(4)
UATRACE_LEVEL_WRITER(5)
UATRACE_LEVEL_WRITER(6)
UATRACE_LEVEL_WRITER(7)
