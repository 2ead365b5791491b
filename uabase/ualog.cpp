#include "ualog.h"

#include "uafileengine.h"
#include "uafilepaths.h"
#include "uamutex.h"

#include <opcua.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace
{
const std::size_t g_textSize = 1900;
const std::size_t g_lineSize = 2000;
const std::size_t g_timeSize = 100;

struct LogState
{
    std::atomic<bool> hasSink{false};
    std::atomic<int> sinkLevel{0};
    std::mutex sinkLock;
    UaLogSink* sink = nullptr;
    std::atomic<bool> active{false};
    std::atomic<int> level{0};
    FILE* file = nullptr;
    UaString applicationName;
    UaString fileName;
    bool hasFileName = false;
    UaMutex* lock = nullptr;
    OpcUa_UInt32 lineCount = 0;
    OpcUa_UInt32 maxLines = 100000;
    OpcUa_UInt32 backupCount = 5;
};

LogState& state()
{
    static LogState s;
    return s;
}

// Guards only the creation of the facility lock, which then lives as long as the process.
std::mutex& lockCreation()
{
    static std::mutex m;
    return m;
}

UaMutex* facilityLock(bool create)
{
    std::lock_guard<std::mutex> guard(lockCreation());
    if (!state().lock && create)
        state().lock = new UaMutex;
    return state().lock;
}

// The stack's text of the current UTC time; empty when it cannot be formed.
std::string timeText()
{
    char buffer[g_timeSize] = {};
    if (OpcUa_IsBad(OpcUa_DateTime_GetStringFromDateTime(OpcUa_DateTime_UtcNow(), buffer, sizeof buffer)))
        return std::string();
    return buffer;
}

void writeHeader(LogState& s)
{
    const std::string now = timeText();
    const std::string date = now.substr(0, now.find('T'));
    std::fprintf(s.file, "** %s: start trace\n", s.applicationName.toUtf8());
    std::fprintf(s.file, "** Date:\t%s\n**\n", date.c_str());
    std::fflush(s.file);
}

void openFile(LogState& s)
{
    s.file = uaOpenFile(s.fileName.toUtf8(), "w");
    if (s.file)
        writeHeader(s);
}

// Lock held.
void rotateAndOpen(LogState& s)
{
    if (s.file)
    {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.lineCount = 2;
    for (unsigned i = s.backupCount; i >= 2; --i)
    {
        removeFile(UaLog::backupFileName(s.fileName, i).toUtf8());
        renameFile(UaLog::backupFileName(s.fileName, i - 1).toUtf8(),
                   UaLog::backupFileName(s.fileName, i).toUtf8());
    }
    const UaString first = UaLog::backupFileName(s.fileName, 1);
    removeFile(first.toUtf8());
    renameFile(s.fileName.toUtf8(), first.toUtf8());
    openFile(s);
}

// Lock held.
void writeLine(LogState& s, int level, const char* text)
{
    const std::string now = timeText();
    const std::size_t t = now.find('T');
    const std::string timeOfDay = t == std::string::npos ? now : now.substr(t + 1);
    if (!s.file || level > s.level.load(std::memory_order_relaxed))
        return;
    ++s.lineCount;
    char line[g_lineSize];
    std::snprintf(line, sizeof line, "%s|%d|%04X* %s\n", timeOfDay.c_str(), level,
                  static_cast<unsigned>(OpcUa_Thread_GetCurrentThreadId()), text);
    std::fprintf(s.file, "%s", line);
    std::fflush(s.file);
    if (s.lineCount >= s.maxLines)
        rotateAndOpen(s);
}
} // namespace

#define UALOG_LEVEL_OPERATION(name, number)                                                                  \
    void UaLog::name(int /*module*/, const char* format, ...)                                                \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, format);                                                                         \
        UaLog::message(number, format, arguments);                                                           \
        va_end(arguments);                                                                                   \
    }

UALOG_LEVEL_OPERATION(error, 1)
UALOG_LEVEL_OPERATION(warning, 2)
UALOG_LEVEL_OPERATION(info, 3)
UALOG_LEVEL_OPERATION(progress, 4)
UALOG_LEVEL_OPERATION(lifetime, 5)
UALOG_LEVEL_OPERATION(entryExit, 6)
UALOG_LEVEL_OPERATION(detail, 7)

void UaLog::message(int level, const char* format, va_list arguments)
{
    LogState& s = state();
    if (!format)
        return;
    const bool toSink = s.hasSink.load(std::memory_order_acquire) && level <= s.sinkLevel.load();
    const bool toFile = s.active.load(std::memory_order_relaxed);
    if (!toSink && !toFile)
        return;
    char text[g_textSize];
    OpcUa_StringA_vsnprintf(text, sizeof text, format, arguments);
    text[g_textSize - 1] = '\0';
    if (toSink)
    {
        std::lock_guard<std::mutex> guard(s.sinkLock);
        if (s.sink)
            s.sink->write(level, text);
    }
    if (!toFile || (level >= 4 && s.level.load(std::memory_order_relaxed) < level))
        return;
    UaMutexLocker locker(facilityLock(true));
    writeLine(s, level, text);
}

void UaLog::setSink(UaLogSink* sink, int level)
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.sinkLock);
    s.sink = sink;
    s.sinkLevel.store(sink ? level : 0);
    s.hasSink.store(sink != nullptr, std::memory_order_release);
}

int UaLog::open(int level, unsigned maxLines, unsigned backupCount, const UaString& fileName,
                const UaString& applicationName)
{
    LogState& s = state();
    UaMutexLocker locker(facilityLock(true));
    if (s.file)
        return -1;
    s.applicationName = applicationName;
    s.fileName = fileName;
    s.hasFileName = true;
    s.maxLines = maxLines;
    s.backupCount = backupCount;
    s.lineCount = 2;
    rotateAndOpen(s);
    if (!s.file)
        return -1;
    s.level.store(level, std::memory_order_relaxed);
    return 0;
}

int UaLog::reconfigure(int level, unsigned maxLines, unsigned backupCount, const UaString& fileName)
{
    LogState& s = state();
    UaMutexLocker locker(facilityLock(true));
    if (!s.file || !s.hasFileName)
        return -1;
    s.level.store(level, std::memory_order_relaxed);
    s.maxLines = maxLines;
    s.backupCount = backupCount;
    if (fileName == s.fileName)
        return 0;
    std::fclose(s.file);
    s.file = nullptr;
    s.fileName = fileName;
    openFile(s);
    return s.file ? 0 : -1;
}

void UaLog::close()
{
    LogState& s = state();
    // The lock outlives the file: a writer on another thread may hold it or be about to take it.
    UaMutexLocker locker(facilityLock(true));
    if (s.file)
    {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.level.store(0, std::memory_order_relaxed);
    s.applicationName = UaString();
    s.fileName = UaString();
    s.hasFileName = false;
}

void UaLog::setActive(bool active)
{
    state().active.store(active, std::memory_order_relaxed);
}

bool UaLog::isActive()
{
    return state().active.load(std::memory_order_relaxed);
}

int UaLog::level()
{
    const LogState& s = state();
    const int fileLevel = s.level.load(std::memory_order_relaxed);
    if (!s.hasSink.load(std::memory_order_acquire))
        return fileLevel;
    return std::max(fileLevel, s.sinkLevel.load());
}

bool UaLog::isLevel(int n)
{
    return level() >= n;
}

UaString UaLog::backupFileName(const UaString& fileName, unsigned index)
{
    const std::string name = fileName.toUtf8();
    // Only a dot of the last path element starts an extension: "logs.d/trace" has none.
    const std::size_t lastSeparator = name.find_last_of("/\\");
    const std::size_t elementStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    const std::size_t dot = name.rfind('.');
    char buffer[g_lineSize];
    if (dot != std::string::npos && dot >= elementStart)
    {
        const std::string stem = name.substr(0, std::min<std::size_t>(dot, 1900));
        std::snprintf(buffer, sizeof buffer, "%s_%u%s", stem.c_str(), index, name.c_str() + dot);
    }
    else
        std::snprintf(buffer, sizeof buffer, "%s_%u.log", name.c_str(), index);
    return UaString(buffer);
}
