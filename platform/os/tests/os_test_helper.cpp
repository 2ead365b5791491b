// Second process for the tests: does one thing with the os layer and reports on stdout.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int holdMutex(const std::u16string& name, DWORD holdMilliseconds)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex)
        return 2;
    const DWORD result = WaitForSingleObject(mutex, INFINITE);
    say("held " + std::to_string(result));
    if (holdMilliseconds == 0)
        for (;;)
            Sleep(1000); // until killed
    Sleep(holdMilliseconds);
    ReleaseMutex(mutex);
    say("released");
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
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 64;
    const std::string command = argv[1];
    if (command == "hold-mutex" && argc == 4)
        return holdMutex(os::toUtf16(argv[2]), static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    if (command == "set-event" && argc == 3)
        return setEvent(os::toUtf16(argv[2]));
    return 64;
}
