#include "opcwatchtrace.h"

#include "opcwatchpaths.h"

#include <uatrace.h>

#include <os/text.h>

#include <mutex>

namespace
{
const WCHAR kKey[] = u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration";
const WCHAR kValue[] = u"TraceLevel";
constexpr unsigned kMaxEntries = 100000;
constexpr unsigned kBackupFiles = 5;

struct TraceState
{
    std::mutex lock;
    // Whether this process opened the trace since the last close.
    bool initialised = false;
};

TraceState& traceState()
{
    static TraceState state;
    return state;
}

void setLevel(HKEY key, DWORD level)
{
    RegSetValueExW(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
}
} // namespace

DWORD readTraceLevel()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    DWORD level = 0;
    DWORD size = sizeof level;
    DWORD type = 0;
    // A value of another type is no level: it is replaced like a missing one.
    if (RegQueryValueExW(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(&level), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof level)
    {
        level = 0;
        setLevel(key, level);
    }
    RegCloseKey(key);
    return level;
}

void writeTraceLevel(DWORD level, const std::u16string& programDirectory)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    setLevel(key, level);
    RegCloseKey(key);
    applyTraceSettings(programDirectory);
}

void applyTraceSettings(const std::u16string& programDirectory)
{
    TraceState& state = traceState();
    std::lock_guard guard(state.lock);
    const DWORD level = readTraceLevel();
    if (level == 0)
    {
        UaTrace::setActive(false);
        return;
    }
    const UaString file(opcwatchTraceFile(programDirectory).c_str());
    // A trace that could not be opened before is opened now, not changed.
    if (!state.initialised ||
        UaTrace::reconfigure(static_cast<int>(level), kMaxEntries, kBackupFiles, file) != 0)
        state.initialised = UaTrace::open(static_cast<int>(level), kMaxEntries, kBackupFiles, file,
                                          UaString("QbOpcUaServer")) == 0;
    UaTrace::setActive(true);
}

void closeServerTrace()
{
    TraceState& state = traceState();
    std::lock_guard guard(state.lock);
    UaTrace::close();
    state.initialised = false;
}
