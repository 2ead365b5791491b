// A second process for Boarddrv's tests.
//   boarddrv_peer hold-mutex   holds the firmware API's named mutex ("held"),
//                              until SIGUSR1, then releases it ("released")
//   boarddrv_peer calls <n>    makes n rounds of API calls on "WMD1:"; exit 0 when all succeeded
#include <boarddrv/wmd.h>

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

int holdMutex()
{
    sigset_t release;
    sigemptyset(&release);
    sigaddset(&release, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &release, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Corvanta_Bios_API_File_Mutex");
    if (!mutex || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0)
        return 3;
    std::printf("held\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&release, &signal);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    std::printf("released\n");
    std::fflush(stdout);
    return 0;
}

// One call; true when the control and the call succeeded with `expected` bytes.
bool call(HANDLE device, uint32_t group, uint32_t offset, bool driverLevel, uint32_t expected)
{
    wmd::WmdCallHeader header{};
    header.indexGroup = group;
    header.indexOffset = offset;
    header.flags = driverLevel ? wmd::kFlagDriverLevel : 0;
    std::vector<uint8_t> output(sizeof header + 8);
    DWORD returned = 0;
    if (!DeviceIoControl(device, wmd::kIoctlApiCall, &header, sizeof header, output.data(),
                         DWORD(output.size()), &returned, nullptr))
        return false;
    uint32_t result = 0, count = 0;
    std::memcpy(&result, output.data(), 4);
    std::memcpy(&count, output.data() + 4, 4);
    return result == 0 && count == expected && returned == sizeof header + expected;
}

int calls(int rounds)
{
    HANDLE device =
        CreateFileW(u"WMD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 3;
    int failures = 0;
    for (int i = 0; i < rounds; ++i)
    {
        failures += !call(device, 0, 0, false, 4);
        failures += !call(device, wmd::kDriverGroup, wmd::kProcessorSignature, true, 4);
        failures += !call(device, wmd::kDriverGroup, wmd::kApiTimeout, true, 4);
    }
    CloseHandle(device);
    std::printf("failures %d\n", failures);
    return failures == 0 ? 0 : 4;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "hold-mutex") == 0)
        return holdMutex();
    if (argc == 3 && std::strcmp(argv[1], "calls") == 0)
        return calls(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: %s hold-mutex | calls <rounds>\n", argv[0]);
    return 2;
}
