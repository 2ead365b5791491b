// Second process for the tests: does one thing with the os layer and reports on stdout.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Holds the mutex until the named release event is set (or forever without one).
int holdMutex(const std::u16string& name, const std::u16string& releaseEvent)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex)
        return 2;
    HANDLE release =
        releaseEvent.empty() ? nullptr : CreateEventW(nullptr, TRUE, FALSE, releaseEvent.c_str());
    const DWORD result = WaitForSingleObject(mutex, INFINITE);
    say("held " + std::to_string(result));
    if (!release)
        for (;;)
            Sleep(1000); // until killed
    WaitForSingleObject(release, INFINITE);
    ReleaseMutex(mutex);
    say("released");
    CloseHandle(release);
    CloseHandle(mutex);
    return 0;
}

int setEvent(const std::u16string& name)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
    if (!event)
        return 2;
    SetEvent(event);
    say("set");
    CloseHandle(event);
    return 0;
}
std::string hex(const std::vector<BYTE>& data)
{
    std::string out;
    char byte[3];
    for (BYTE b : data)
    {
        std::snprintf(byte, sizeof byte, "%02x", b);
        out += byte;
    }
    return out;
}

HKEY openMachineKey(const std::string& path)
{
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, os::toUtf16(path).c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return result == ERROR_SUCCESS ? key : nullptr;
}

int setDword(const std::string& path, const std::string& name, DWORD value)
{
    HKEY key = openMachineKey(path);
    if (!key)
        return 2;
    const LONG result = RegSetValueExW(key, os::toUtf16(name).c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    say("set " + std::to_string(result));
    return 0;
}

// Writes the values PREFIX0..PREFIX(N-1), one write each.
int setMany(const std::string& path, const std::string& prefix, int count)
{
    HKEY key = openMachineKey(path);
    if (!key)
        return 2;
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i)
        if (RegSetValueExW(key, os::toUtf16(prefix + std::to_string(i)).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&i), sizeof i) != ERROR_SUCCESS)
            return 3;
    RegCloseKey(key);
    say("done");
    return 0;
}

// Prints every value of a key as "name type hexdata".
int dumpKey(const std::string& path)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, os::toUtf16(path).c_str(), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS)
    {
        say("error " + std::to_string(result));
        return 0;
    }
    for (DWORD index = 0;; ++index)
    {
        WCHAR name[256];
        DWORD nameSize = 256;
        DWORD type = 0;
        DWORD size = 0;
        result = RegEnumValueW(key, index, name, &nameSize, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size);
        RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        say(os::toUtf8(name) + " " + std::to_string(type) + " " + hex(data));
    }
    say("end " + std::to_string(result));
    RegCloseKey(key);
    return 0;
}

// Rewrites one large value again and again; each write's number is printed once it returned.
int churn(const std::string& path)
{
    HKEY key = openMachineKey(path);
    if (!key)
        return 2;
    std::vector<BYTE> blob(4 + 65536);
    for (DWORD round = 1;; ++round)
    {
        std::memcpy(blob.data(), &round, 4);
        std::memset(blob.data() + 4, static_cast<int>(round & 0xFF), blob.size() - 4);
        if (RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())) !=
            ERROR_SUCCESS)
            return 3;
        say("wrote " + std::to_string(round));
    }
}
// Runs a message loop until WM_QUIT; optionally a worker asks it to end, or the program stays on
// after its loop (until a signal ends it).
int messageLoop(bool quitFromWorker, bool stayAfterLoop = false)
{
    MSG message{};
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // creates the queue
    HANDLE worker = nullptr;
    if (quitFromWorker)
        worker = CreateThread(
            nullptr, 0,
            [](LPVOID) -> DWORD
            {
                Sleep(100);
                PostQuitMessage(5);
                return 0;
            },
            nullptr, 0, nullptr);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 1, 0, 0);
    say("ready");
    BOOL result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
        say("message " + std::to_string(message.message));
    }
    if (worker)
    {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    say("left loop " + std::to_string(result) + " " + std::to_string(message.wParam));
    while (stayAfterLoop)
        Sleep(1000);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 64;
    const std::string command = argv[1];
    if (command == "hold-mutex" && (argc == 3 || argc == 4))
        return holdMutex(os::toUtf16(argv[2]), argc == 4 ? os::toUtf16(argv[3]) : std::u16string());
    if (command == "set-event" && argc == 3)
        return setEvent(os::toUtf16(argv[2]));
    if (command == "message-loop" && argc == 2)
        return messageLoop(false);
    if (command == "message-loop-worker-quits" && argc == 2)
        return messageLoop(true);
    if (command == "message-loop-stays" && argc == 2)
        return messageLoop(false, true);
    if (command == "reg-set-dword" && argc == 5)
        return setDword(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    if (command == "reg-set-many" && argc == 5)
        return setMany(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "reg-dump" && argc == 3)
        return dumpKey(argv[2]);
    if (command == "reg-churn" && argc == 3)
        return churn(argv[2]);
    return 64;
}
