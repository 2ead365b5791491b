// For the device-profile tests: the device manager on a fresh device root,
// and a control handle on the simulated driver for faults and counters.
#pragma once

#include <device_manager_process.h>
#include <gktsim/control.h>
#include <profilelink.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace gkttest
{

class DeviceTest : public ::testing::Test
{
protected:
    // The device's description; empty keeps the shipped default.
    virtual std::string description() const
    {
        return R"(
object 0x1000 VAR "Device Type"
  0 UINT32 ro 0x00001389 "Device Type"
object 0x2000 RECORD "Test Values"
  0 UINT16  ro 5 "Number of Entries"
  1 UINT32  rw 7 "Value A"
  2 UINT32  rw 8 "Value B"
  3 INT16   ro -1234 "Fixed"
  4 VSTRING rw "COM3" "Port"
  5 UINT32  wo 0 "Command"
object 0x2010 ARRAY "Counters"
  0 UINT16 ro 2 "Number of Entries"
  1 UINT32 rw 0 "Counter 1"
  2 UINT32 rw 0 "Counter 2"
)";
    }

    void SetUp() override
    {
        if (const std::string text = description(); !text.empty())
            m_manager.writeFile("GktSim.txt", text);
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
        m_control = CreateFileW(u"GKT1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_control, INVALID_HANDLE_VALUE) << GetLastError() << "\n" << m_manager.log();
    }

    void TearDown() override
    {
        // Leave the library closed for the next test of this process.
        while (GKTClose() == 0)
        {
        }
        if (m_control != INVALID_HANDLE_VALUE)
        {
            releaseHeld();
            CloseHandle(m_control);
        }
        EXPECT_EQ(m_manager.stop(), 0) << m_manager.log();
    }

    void setFault(gktsim::FaultKind kind, uint32_t value, uint32_t code = gktsim::kIoctlReadWrite,
                  uint32_t count = 1)
    {
        gktsim::FaultRequest request{static_cast<uint32_t>(kind), code, count, value};
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(m_control, gktsim::kIoctlSetFault, &request, sizeof request, nullptr, 0,
                                    &returned, nullptr));
    }

    gktsim::DriverStats stats()
    {
        gktsim::DriverStats result{};
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(m_control, gktsim::kIoctlGetStats, nullptr, 0, &result, sizeof result,
                                    &returned, nullptr));
        return result;
    }

    void releaseHeld()
    {
        DWORD returned = 0;
        DeviceIoControl(m_control, gktsim::kIoctlReleaseHeld, nullptr, 0, nullptr, 0, &returned, nullptr);
    }

    // Waits (generously) until `count` calls sit in a hold fault.
    bool waitForHeld(uint32_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline)
        {
            if (stats().heldCalls == count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    devmgr::testing::DeviceManagerProcess m_manager;
    HANDLE m_control = INVALID_HANDLE_VALUE;
};

} // namespace gkttest
