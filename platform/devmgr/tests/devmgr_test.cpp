// The device manager program with real drivers: the simulated device-profile
// driver of the shipped registry and the echo driver the tests register.
#include <device_manager_process.h>
#include <gktsim/control.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <future>
#include <sys/wait.h>

namespace
{

using devmgr::testing::DeviceManagerProcess;

void registerEcho(const std::u16string& name, DWORD index, DWORD order, DWORD failInit = 0, DWORD flags = 0,
                  const std::u16string& openAtInit = {})
{
    HKEY key = nullptr;
    const std::u16string path = u"Drivers\\BuiltIn\\" + name;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string dll = u"EchoDrv.dll", prefix = u"ECH";
    RegSetValueExW(key, u"Dll", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   DWORD(2 * dll.size() + 2));
    RegSetValueExW(key, u"Prefix", 0, REG_SZ, reinterpret_cast<const BYTE*>(prefix.c_str()),
                   DWORD(2 * prefix.size() + 2));
    RegSetValueExW(key, u"Index", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index), 4);
    RegSetValueExW(key, u"Order", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&order), 4);
    if (failInit)
        RegSetValueExW(key, u"FailInit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&failInit), 4);
    if (flags)
        RegSetValueExW(key, u"Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), 4);
    if (!openAtInit.empty())
        RegSetValueExW(key, u"OpenAtInit", 0, REG_SZ, reinterpret_cast<const BYTE*>(openAtInit.c_str()),
                       DWORD(2 * openAtInit.size() + 2));
    RegCloseKey(key);
}

HANDLE openDevice(const char16_t* name)
{
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::vector<std::string> activeDeviceNames()
{
    std::vector<std::string> names;
    HKEY active = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active", 0, 0, &active) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i)
    {
        WCHAR sub[64] = {};
        DWORD length = 64;
        if (RegEnumKeyExW(active, i, sub, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        WCHAR name[16] = {};
        DWORD type = 0, size = sizeof name - 2;
        if (RegOpenKeyExW(active, sub, 0, 0, &key) == ERROR_SUCCESS)
        {
            RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
            RegCloseKey(key);
        }
        names.push_back(os::toUtf8(name));
    }
    RegCloseKey(active);
    std::sort(names.begin(), names.end());
    return names;
}

gktsim::DriverStats gktStats(HANDLE device)
{
    gktsim::DriverStats stats{};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, gktsim::kIoctlGetStats, nullptr, 0, &stats, sizeof stats, &returned,
                                nullptr));
    return stats;
}

template <class Condition> bool waitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(DeviceFiles, OpenFailsWithoutTheManager)
{
    DeviceManagerProcess root;
    EXPECT_EQ(openDevice(u"GKT1:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(DeviceFiles, StreamCallsReachTheDriverWithBuffersAndErrors)
{
    DeviceManagerProcess manager;
    registerEcho(u"Echo", 1, 5);
    ASSERT_TRUE(manager.start()) << manager.log();

    HANDLE echo = openDevice(u"ech1:"); // device names ignore case
    ASSERT_NE(echo, INVALID_HANDLE_VALUE) << manager.log();
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(echo, "hello world", 11, &done, nullptr));
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(SetFilePointer(echo, 6, nullptr, FILE_BEGIN), 6u);
    char text[16] = {};
    ASSERT_TRUE(ReadFile(echo, text, sizeof text, &done, nullptr));
    EXPECT_EQ(std::string(text, done), "world");
    EXPECT_EQ(SetFilePointer(echo, -20, nullptr, FILE_CURRENT), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    LONG high = -1; // a 64-bit distance of -5
    EXPECT_EQ(SetFilePointer(echo, -5, &high, FILE_END), 6u);
    EXPECT_EQ(high, 0);
    high = 1; // beyond 32-bit positions
    EXPECT_EQ(SetFilePointer(echo, 0, &high, FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    // What the driver writes into the input buffer reaches the caller too.
    std::array<uint8_t, 4> input{1, 2, 3, 4}, output{};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(echo, 1, input.data(), 4, output.data(), 4, &returned, nullptr));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(output, (std::array<uint8_t, 4>{4, 3, 2, 1}));
    EXPECT_EQ(input[0], 0xEE);
    EXPECT_FALSE(DeviceIoControl(echo, 2, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), 1234u);

    // A second handle shares the driver's store but has its own position.
    HANDLE second = openDevice(u"ECH1:");
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ReadFile(second, text, 5, &done, nullptr));
    EXPECT_EQ(std::string(text, done), "hello");
    EXPECT_TRUE(CloseHandle(second));

    // The device-profile driver has no byte stream: its error comes back.
    HANDLE gkt = openDevice(u"GKT1:");
    ASSERT_NE(gkt, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadFile(gkt, text, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    // Constant input that the driver leaves alone is never written back.
    static const uint8_t kSelector[2] = {0, 0};
    uint8_t lengths[10] = {};
    EXPECT_TRUE(DeviceIoControl(gkt, gktsim::kIoctlObjectList, const_cast<uint8_t*>(kSelector), 2, lengths,
                                10, &returned, nullptr));
    EXPECT_EQ(returned, 10u);
    EXPECT_TRUE(CloseHandle(gkt));

    EXPECT_EQ(openDevice(u"XYZ1:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(CloseHandle(echo));
    EXPECT_EQ(manager.stop(), 0);
}

TEST(DeviceManager, LoadsInOrderLeavesOutFailedInitAndStopsInReverse)
{
    DeviceManagerProcess manager;
    registerEcho(u"EchoFirst", 1, 5);
    registerEcho(u"EchoBroken", 3, 7, 1);
    registerEcho(u"EchoLast", 2, 90);
    registerEcho(u"EchoSwitchedOff", 4, 6, 0, 0x4);
    // A key left by a manager that was killed.
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active\\07", 0, nullptr, 0, 0, nullptr, &stale,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(stale, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"OLD1:"), 12);
    RegCloseKey(stale);
    ASSERT_TRUE(manager.start()) << manager.log();

    // The shipped registry adds the simulated drivers (board, device profile, touch, audio, display)
    // and the board driver.
    EXPECT_EQ(
        activeDeviceNames(),
        (std::vector<std::string>{"ECH1:", "ECH2:", "GKT1:", "MPH1:", "TCH1:", "WAV1:", "WMD1:", "ZRD1:"}));
    EXPECT_EQ(openDevice(u"ECH3:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(openDevice(u"ECH4:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    HANDLE open = openDevice(u"ECH2:");
    ASSERT_NE(open, INVALID_HANDLE_VALUE);

    EXPECT_EQ(manager.stop(), 0) << manager.log();
    std::ifstream log(manager.root() + "/echo.log");
    std::string all((std::istreambuf_iterator<char>(log)), {});
    EXPECT_EQ(all, "init EchoFirst\ninit EchoBroken\ninit EchoLast\ndeinit EchoLast\ndeinit EchoFirst\n");
    EXPECT_TRUE(activeDeviceNames().empty());
    EXPECT_FALSE(std::filesystem::exists(os::devio::managerSocketPath()));

    // With the manager gone, calls on a handle still held fail cleanly.
    DWORD done = 0;
    char byte = 0;
    EXPECT_FALSE(ReadFile(open, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEV_NOT_EXIST));
    CloseHandle(open);
}

TEST(DeviceManager, DriversReachEachOtherInsideTheManager)
{
    DeviceManagerProcess manager;
    // The device-profile driver loads with "Order" 0x20: before the relay, after the early one.
    registerEcho(u"EchoEarly", 1, 5, 0, 0, u"GKT1:");
    registerEcho(u"EchoRelay", 2, 0x40, 0, 0, u"ECH1:");
    registerEcho(u"EchoMissing", 3, 0x41, 0, 0, u"ECH7:");
    ASSERT_TRUE(manager.start()) << manager.log();

    HANDLE relay = openDevice(u"ECH2:");
    ASSERT_NE(relay, INVALID_HANDLE_VALUE);
    struct Case
    {
        const char* what;
        std::string target;
        DWORD code;
        BOOL ok;
        DWORD error;
        std::vector<uint8_t> output;
    };
    const Case cases[] = {
        {"a call that answers", "ECH1:", 1, TRUE, 0, {3, 2, 1}},
        {"the driver's own error", "ECH1:", 2, FALSE, 1234, {}},
        {"a code the driver refuses", "GKT1:", 0x99, FALSE, ERROR_NOT_SUPPORTED, {}},
        {"no such device file", "ECH7:", 1, FALSE, ERROR_FILE_NOT_FOUND, {}},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> input(c.target.begin(), c.target.end());
        input.resize(9);
        std::memcpy(input.data() + 5, &c.code, 4);
        input.insert(input.end(), {1, 2, 3});
        uint8_t output[3] = {};
        DWORD returned = 0;
        SetLastError(0);
        EXPECT_EQ(DeviceIoControl(relay, 3, input.data(), DWORD(input.size()), output, 3, &returned, nullptr),
                  c.ok)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        if (c.ok)
        {
            EXPECT_EQ(std::vector<uint8_t>(output, output + returned), c.output) << c.what;
        }
    }
    CloseHandle(relay);

    // Drivers opened what was loaded before them from their Init, and nothing else.
    EXPECT_EQ(manager.stop(), 0) << manager.log();
    std::ifstream log(manager.root() + "/echo.log");
    const std::string all((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(all.find("init EchoEarly\nopen GKT1: error 2\n"), std::string::npos) << all;
    EXPECT_NE(all.find("init EchoRelay\nopen ECH1: ok\n"), std::string::npos) << all;
    EXPECT_NE(all.find("init EchoMissing\nopen ECH7: error 2\n"), std::string::npos) << all;
}

TEST(DeviceManager, ASecondManagerOnTheSameRootRefusesToStart)
{
    DeviceManagerProcess manager;
    ASSERT_TRUE(manager.start()) << manager.log();
    const std::string second = os::programDirectory() + "/devmgr >/dev/null 2>&1";
    const int status = std::system(second.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The refused manager leaves the running one's active keys alone.
    EXPECT_EQ(activeDeviceNames(),
              (std::vector<std::string>{"GKT1:", "MPH1:", "TCH1:", "WAV1:", "WMD1:", "ZRD1:"}));
    HANDLE device = openDevice(u"GKT1:");
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);
    EXPECT_EQ(manager.stop(), 0) << manager.log();
}

TEST(DeviceManager, ConcurrentCloseWhileCallInProgressWaitsForTheCall)
{
    DeviceManagerProcess manager;
    ASSERT_TRUE(manager.start()) << manager.log();
    HANDLE control = openDevice(u"GKT1:");
    HANDLE device = openDevice(u"GKT1:");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);

    gktsim::FaultRequest hold{uint32_t(gktsim::FaultKind::hold), gktsim::kIoctlObjectList, 1, 0};
    DWORD returned = 0;
    ASSERT_TRUE(
        DeviceIoControl(control, gktsim::kIoctlSetFault, &hold, sizeof hold, nullptr, 0, &returned, nullptr));
    auto call = std::async(std::launch::async,
                           [device]
                           {
                               uint16_t selector = 0;
                               uint8_t lengths[10] = {};
                               DWORD count = 0;
                               const BOOL ok = DeviceIoControl(device, gktsim::kIoctlObjectList, &selector, 2,
                                                               lengths, 10, &count, nullptr);
                               return ok && count == 10 && lengths[0] > 0;
                           });
    ASSERT_TRUE(waitFor([&] { return gktStats(control).heldCalls == 1; }));
    EXPECT_TRUE(CloseHandle(device));
    // The driver's Close waits for the call in progress.
    EXPECT_EQ(gktStats(control).openContexts, 2u);
    ASSERT_TRUE(
        DeviceIoControl(control, gktsim::kIoctlReleaseHeld, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_TRUE(call.get());
    EXPECT_TRUE(waitFor([&] { return gktStats(control).openContexts == 1; }));
    CloseHandle(control);
    EXPECT_EQ(manager.stop(), 0) << manager.log();
}

TEST(DeviceManager, FilesOfAnEndedProcessAreClosed)
{
    DeviceManagerProcess manager;
    ASSERT_TRUE(manager.start()) << manager.log();
    HANDLE control = openDevice(u"GKT1:");
    ASSERT_NE(control, INVALID_HANDLE_VALUE);
    const pid_t child = fork();
    if (child == 0)
    {
        HANDLE left = openDevice(u"GKT1:");
        _exit(left == INVALID_HANDLE_VALUE ? 1 : 0); // ends without closing
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(waitFor([&] { return gktStats(control).openContexts == 1; }));
    CloseHandle(control);
    EXPECT_EQ(manager.stop(), 0) << manager.log();
}

TEST(DeviceManager, ConcurrentCallsOnOneHandleFromManyThreads)
{
    DeviceManagerProcess manager;
    registerEcho(u"Echo", 1, 5);
    ASSERT_TRUE(manager.start()) << manager.log();
    HANDLE echo = openDevice(u"ECH1:");
    ASSERT_NE(echo, INVALID_HANDLE_VALUE);
    std::vector<std::future<int>> workers;
    for (int t = 0; t < 4; ++t)
        workers.push_back(std::async(
            std::launch::async,
            [echo, t]
            {
                int failures = 0;
                for (int i = 0; i < 200; ++i)
                {
                    std::array<uint8_t, 3> input{uint8_t(t), uint8_t(i), 7}, output{};
                    DWORD returned = 0;
                    failures +=
                        !DeviceIoControl(echo, 1, input.data(), 3, output.data(), 3, &returned, nullptr);
                    failures += returned != 3 || output != std::array<uint8_t, 3>{7, uint8_t(i), uint8_t(t)};
                }
                return failures;
            }));
    for (auto& worker : workers)
        EXPECT_EQ(worker.get(), 0);
    EXPECT_TRUE(CloseHandle(echo));
    EXPECT_EQ(manager.stop(), 0) << manager.log();
}

} // namespace
