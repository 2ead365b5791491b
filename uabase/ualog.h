#ifndef UABASE_UALOG_H
#define UABASE_UALOG_H

#include "uastring.h"

#include <cstdarg>

#if defined(__GNUC__)
#define UALOG_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define UALOG_PRINTF(formatIndex, firstArgument)
#endif

// Receives every trace line up to its level besides the file; a test installs one to see the
// exact texts (UaTraceCapture).
class UaLogSink
{
public:
    virtual ~UaLogSink() = default;
    virtual void write(int level, const char* text) = 0;
};

// The process-wide trace log: numbered-level lines in one file that rotates into numbered backups
// when it reaches its line limit. Levels: 1 error, 2 warning, 3 info, 4 progress, 5 lifetime,
// 6 entry/exit, 7 detail. Callers test level() before they build a message's arguments.
class UaLog
{
public:
    UaLog() = delete;

    // 0, or -1 when a file is already open or the file cannot be opened.
    static int open(int level, unsigned maxLines, unsigned backupCount, const UaString& fileName,
                    const UaString& applicationName);
    // Changes level and limits of the open log; another file name starts that file afresh.
    static int reconfigure(int level, unsigned maxLines, unsigned backupCount, const UaString& fileName);
    static void close();
    static void setActive(bool active);
    static bool isActive();

    // The higher of the file's level and the sink's: callers that test it before they build a
    // message also feed the sink.
    static int level();
    static bool isLevel(int n);

    // Installs the one sink (null removes it) with its own level; the sink gets lines whether or
    // not the log is active or has a file. Returns once no line is being written to the old sink.
    static void setSink(UaLogSink* sink, int level);

    // module is the caller's code; nothing of it is written.
    static void error(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void warning(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void info(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void progress(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void lifetime(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void entryExit(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    static void detail(int module, const char* format, ...) UALOG_PRINTF(2, 3);
    // The common path of the seven message operations.
    static void message(int level, const char* format, va_list arguments);

    // Name of backup file number index of fileName: the number goes before the file name's
    // extension ("trace.log" -> "trace_1.log"), or "_<n>.log" is appended when it has none.
    static UaString backupFileName(const UaString& fileName, unsigned index);
};

#endif
