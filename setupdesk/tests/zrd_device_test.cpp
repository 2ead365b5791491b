// "ZRD1:" end to end: the program's calls through a real device manager to ZrdSim, whose
// state file in the device root they read and change.
#include <zrd_device.h>

#include <device_manager_process.h>
#include <zrdsim/control.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace
{
using namespace setupdesk;

std::vector<uint8_t> modeRecord(uint32_t bitsPerPixel, const std::string& text)
{
    std::vector<uint8_t> record(8 + text.size() + 1);
    const auto length = static_cast<uint32_t>(text.size() + 1);
    std::memcpy(record.data(), &bitsPerPixel, 4);
    std::memcpy(record.data() + 4, &length, 4);
    std::memcpy(record.data() + 8, text.c_str(), length);
    return record;
}

class ZrdDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_manager.writeFile("ZrdSim.txt", "mode 16 640 480 60\nmode 16 800 600 75\nmode 32 800 600 75\n"
                                          "current 16 640 480 60\nrotation 0\ncpu 933\n");
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
    }

    void fault(zrdsim::FaultKind kind, uint32_t code, uint32_t value, uint32_t offset = 0)
    {
        const HANDLE device =
            CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        zrdsim::FaultRequest request{static_cast<uint32_t>(kind), code, 1, value, offset};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, zrdsim::kIoctlSetFault, &request, sizeof request, nullptr, 0,
                                    &returned, nullptr));
        CloseHandle(device);
    }

    std::string stateFile() const
    {
        std::ifstream file(m_manager.root() + "/ZrdSim.txt");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    devmgr::testing::DeviceManagerProcess m_manager;
};

TEST_F(ZrdDeviceTest, EveryCodeReachesTheDriverAndSettingsStay)
{
    DWORD mhz = 0;
    ASSERT_EQ(zrdCpuFrequency(mhz), 0u);
    EXPECT_EQ(mhz, 933u);

    uint8_t list[744] = {};
    ASSERT_EQ(zrdCall(kZrdGetModeList, nullptr, 0, list, sizeof list), 0u);
    uint32_t count = 0;
    std::memcpy(&count, list, 4);
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(reinterpret_cast<const char*>(list + 8 + 8), "640 480 60");

    const std::vector<uint8_t> record = modeRecord(32, "800 600 75");
    ASSERT_EQ(zrdCall(kZrdSetMode, record.data(), static_cast<DWORD>(record.size()), nullptr, 0), 0u);
    uint8_t current[88] = {};
    ASSERT_EQ(zrdCall(kZrdGetMode, nullptr, 0, current, sizeof current), 0u);
    uint32_t depth = 0;
    std::memcpy(&depth, current, 4);
    EXPECT_EQ(depth, 32u);
    EXPECT_STREQ(reinterpret_cast<const char*>(current + 8), "800 600 75");

    const DWORD angle = 270;
    ASSERT_EQ(zrdCall(kZrdSetRotation, &angle, sizeof angle, nullptr, 0), 0u);
    DWORD back = 0;
    ASSERT_EQ(zrdCall(kZrdGetRotation, nullptr, 0, &back, sizeof back), 0u);
    EXPECT_EQ(back, 270u);

    // What was set is in the state file, where a restarted manager finds it.
    const std::string state = stateFile();
    EXPECT_NE(state.find("current 32 800 600 75\n"), std::string::npos) << state;
    EXPECT_NE(state.find("rotation 270\n"), std::string::npos) << state;
    EXPECT_NE(state.find("cpu 933\n"), std::string::npos) << state;
    m_manager.stop();
    ASSERT_TRUE(m_manager.start());
    ASSERT_EQ(zrdCall(kZrdGetRotation, nullptr, 0, &back, sizeof back), 0u);
    EXPECT_EQ(back, 270u);
}

TEST_F(ZrdDeviceTest, FailuresAndShortAnswersAreFailedCalls)
{
    DWORD mhz = 0;
    fault(zrdsim::FaultKind::failIo, kZrdCpuFrequency, ERROR_GEN_FAILURE);
    EXPECT_EQ(zrdCpuFrequency(mhz), kZrdFailed);
    fault(zrdsim::FaultKind::shortAnswer, kZrdCpuFrequency, 3);
    EXPECT_EQ(zrdCpuFrequency(mhz), kZrdFailed);
    fault(zrdsim::FaultKind::refuseOpen, 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(zrdCpuFrequency(mhz), kZrdFailed);
    // Refused by the driver: a mode it does not list, an angle it does not know.
    const std::vector<uint8_t> record = modeRecord(16, "1024 768 60");
    EXPECT_EQ(zrdCall(kZrdSetMode, record.data(), static_cast<DWORD>(record.size()), nullptr, 0), kZrdFailed);
    const DWORD angle = 45;
    EXPECT_EQ(zrdCall(kZrdSetRotation, &angle, sizeof angle, nullptr, 0), kZrdFailed);
    // An answer that a test rewrote arrives as rewritten.
    uint8_t list[744] = {};
    fault(zrdsim::FaultKind::overwrite, kZrdGetModeList, 5000, 4);
    ASSERT_EQ(zrdCall(kZrdGetModeList, nullptr, 0, list, sizeof list), 0u);
    uint32_t total = 0;
    std::memcpy(&total, list + 4, 4);
    EXPECT_EQ(total, 5000u);
    // Every fault was used once: the device answers again.
    EXPECT_EQ(zrdCpuFrequency(mhz), 0u);
    EXPECT_EQ(mhz, 933u);

    m_manager.stop();
    EXPECT_EQ(zrdCpuFrequency(mhz), kZrdFailed);
}

TEST_F(ZrdDeviceTest, ABrokenStateFileFailsTheCallsAndNothingElse)
{
    m_manager.writeFile("ZrdSim.txt", "current 16 640 480\n");
    DWORD mhz = 0;
    EXPECT_EQ(zrdCpuFrequency(mhz), kZrdFailed);
    m_manager.writeFile("ZrdSim.txt", "current 16 640 480 60\n");
    EXPECT_EQ(zrdCpuFrequency(mhz), 0u);
}
} // namespace
