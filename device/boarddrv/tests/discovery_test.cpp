// Finding the firmware API: where the header may lie, which headers are passed
// over, and what the driver does when there is none or the firmware cannot be mapped.
#include <board_test_support.h>

namespace
{

using namespace boardtest;

TEST(Discovery, HeaderPlacesAndHeadersPassedOver)
{
    struct Case
    {
        const char* what;
        const char* signatures;
        bool found;
    };
    const Case cases[] = {
        {"position 0 modulo 16", "signature 0x1000 0x100", true},
        {"position 7 modulo 16", "signature 0x12347 0x800", true},
        {"position 15 modulo 16", "signature 0x10000F 0x20", true},
        {"the first position", "signature 0 0x40", true},
        {"the last position whose entry fits", "signature 0x1FEFF3 0xD", true},
        {"one byte past the firmware", "signature 0x1FEFF3 0xE", false},
        {"the last position scanned", "signature 0x1FFFF3 0x10", false},
        {"entry offset 0, then a good header", "signature 0x2000 0\nsignature 0x3000 0x100", true},
        {"entry past the firmware, then a good header at another start offset",
         "signature 0x1000 0x300000\nsignature 0x5008 0x100", true},
        {"entry offset 0 alone", "signature 0x2000 0", false},
        {"no header at all", "", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        BoardDevice device;
        device.describe(boardWith(std::string("firmware-version 2.4.0\n") + c.signatures));
        ASSERT_TRUE(device.start()) << device.log();
        ASSERT_NE(device.driver(), INVALID_HANDLE_VALUE) << device.log();

        const Answer version = firmwareCall(device.driver(), 0, 0, {}, 4);
        const Answer driverLevel = driverCall(device.driver(), wmd::kProcessorCount, {}, 4);
        if (c.found)
        {
            EXPECT_TRUE(version.ok);
            EXPECT_EQ(version.result, 0u);
            EXPECT_EQ(version.count, 4u);
            EXPECT_EQ(version.data, versionBytes(2, 4, 0));
            EXPECT_TRUE(driverLevel.ok);
            // The API region stays mapped; the scan's mapping is gone.
            EXPECT_EQ(device.state().mappings, 1u);
            EXPECT_EQ(occurrences(device.log(), "event 0xC0000FA2"), 0u);
        }
        else
        {
            for (const Answer& answer : {version, driverLevel})
            {
                EXPECT_FALSE(answer.ok);
                EXPECT_EQ(answer.error, wmd::kErrorApiNotReady);
            }
            EXPECT_EQ(device.state().mappings, 0u);
            EXPECT_EQ(device.state().firmwareCalls, 0u);
            EXPECT_EQ(occurrences(device.log(), "Boarddrv event 0xC0000FA2: BIOS interface to \"Corvanta "
                                                "Rodevadido Device Driver\" not found!"),
                      1u)
                << device.log();
        }
        // The driver version answers either way.
        DWORD driverVersion = 0, returned = 0;
        EXPECT_TRUE(DeviceIoControl(device.driver(), wmd::kIoctlDriverVersion, nullptr, 0, &driverVersion, 4,
                                    &returned, nullptr));
        EXPECT_EQ(driverVersion, wmd::kDriverVersion);
        EXPECT_EQ(device.stop(), 0) << device.log();
    }
}

TEST(Discovery, AFirmwareThatCannotBeMappedLeavesTheDriverOut)
{
    BoardDevice device;
    device.describe(boardWith("signature 0x1F0000 0x1000\nfault map-failure * * 1"));
    ASSERT_TRUE(device.start()) << device.log();
    EXPECT_EQ(device.driver(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(device.log().find("WMD_Init of Boarddrv.dll failed"), std::string::npos) << device.log();
    // The board itself still serves, with nothing left mapped.
    EXPECT_EQ(device.state().mappings, 0u);
    EXPECT_EQ(device.stop(), 0) << device.log();
}

} // namespace
