// The I/O controls of "WMD1:": the driver version, the API call header and its
// sizes, the errors of the control itself, and the firmware run from its RAM copy.
#include <board_test_support.h>

namespace
{

using namespace boardtest;

class Calls : public RunningBoard
{
protected:
    void SetUp() override { start(); }
};

TEST_F(Calls, DriverVersionAndTheControlsOwnErrors)
{
    HANDLE driver = m_device.driver();
    struct Case
    {
        const char* what;
        DWORD code;
        DWORD outSize;
        bool withCount;
        BOOL ok;
        DWORD error;
        DWORD returned;
    };
    const Case cases[] = {
        {"version in 4 bytes", wmd::kIoctlDriverVersion, 4, true, TRUE, 0, 4},
        {"version in 8 bytes", wmd::kIoctlDriverVersion, 8, true, TRUE, 0, 4},
        {"version in 3 bytes", wmd::kIoctlDriverVersion, 3, true, FALSE, ERROR_INVALID_PARAMETER, 0},
        {"version without a count", wmd::kIoctlDriverVersion, 4, false, FALSE, ERROR_INVALID_PARAMETER, 0},
        {"unknown code", 0x9C402408, 4, true, FALSE, ERROR_NOT_SUPPORTED, 0},
    };
    for (const Case& c : cases)
    {
        uint8_t output[8] = {};
        DWORD returned = 77;
        SetLastError(12345);
        EXPECT_EQ(DeviceIoControl(driver, c.code, nullptr, 0, output, c.outSize,
                                  c.withCount ? &returned : nullptr, nullptr),
                  c.ok)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        if (c.withCount)
        {
            EXPECT_EQ(returned, c.returned) << c.what;
        }
        if (c.ok)
        {
            uint32_t version = 0;
            std::memcpy(&version, output, 4);
            EXPECT_EQ(version, 0x1601u) << c.what;
        }
    }

    // No byte stream: reading and writing fail as invalid functions, seeking gives -1.
    char byte = 0;
    DWORD done = 5;
    EXPECT_FALSE(ReadFile(driver, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(WriteFile(driver, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(SetFilePointer(driver, 0, nullptr, FILE_BEGIN), 0xFFFFFFFFu);
}

TEST_F(Calls, HeaderSizesAndWhereResultsTravel)
{
    HANDLE driver = m_device.driver();
    struct Case
    {
        const char* what;
        DWORD inSize;  // whole input, header included
        DWORD outSize; // whole output
        BOOL ok;
        DWORD error;
    };
    const Case cases[] = {
        {"input under 24 bytes", 23, 28, FALSE, ERROR_INVALID_PARAMETER},
        {"output under 24 bytes", 24, 23, FALSE, ERROR_INVALID_PARAMETER},
        {"no output", 24, 0, FALSE, ERROR_INVALID_PARAMETER},
        {"exactly 24 and 24", 24, 24, TRUE, 0},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> input(std::max<DWORD>(c.inSize, 24), 0),
            output(std::max<DWORD>(c.outSize, 24), 0);
        DWORD returned = 99;
        SetLastError(0);
        EXPECT_EQ(DeviceIoControl(driver, wmd::kIoctlApiCall, input.data(), c.inSize,
                                  c.outSize ? output.data() : nullptr, c.outSize, &returned, nullptr),
                  c.ok)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        EXPECT_EQ(returned, c.ok ? 24u : 0u) << c.what;
    }

    // 24 and 24: the firmware sees no data either way, and the result travels in the header.
    const uint32_t callsBefore = m_device.state().firmwareCalls;
    const Answer version = firmwareCall(driver, 0, 0, {}, 0);
    EXPECT_TRUE(version.ok);
    EXPECT_EQ(version.returned, 24u);
    EXPECT_EQ(version.result, 1797u | wmd::kFirmwareBit) << "the version needs 4 bytes";
    EXPECT_EQ(version.count, 0u);
    const boardsim::BoardState state = m_device.state();
    EXPECT_EQ(state.firmwareCalls, callsBefore + 1);
    EXPECT_EQ(state.lastInSize, 0u);
    EXPECT_EQ(state.lastOutSize, 0u);
    const Answer nothing = driverCall(driver, wmd::kWithdrawTableIfRegistered, {}, 0);
    EXPECT_TRUE(nothing.ok);
    EXPECT_EQ(nothing.returned, 24u);
    EXPECT_EQ(nothing.result, 0u);

    // A firmware failure: the control succeeds with the header alone.
    const Answer unknown = firmwareCall(driver, 0x1234, 7, {1, 2, 3}, 16);
    EXPECT_TRUE(unknown.ok);
    EXPECT_EQ(unknown.error, 0u);
    EXPECT_EQ(unknown.returned, 24u);
    EXPECT_EQ(unknown.result, 1793u | wmd::kFirmwareBit);
    EXPECT_EQ(unknown.count, 0u);
    EXPECT_EQ(m_device.state().lastInSize, 3u);
    EXPECT_EQ(m_device.state().lastIn[2], 3u);

    // A success: 24 bytes and the delivered count; the firmware saw the data area's size.
    const Answer good = firmwareCall(driver, 0, 0, {}, 10);
    EXPECT_TRUE(good.ok);
    EXPECT_EQ(good.returned, 28u);
    EXPECT_EQ(good.count, 4u);
    EXPECT_EQ(m_device.state().lastOutSize, 10u);
    EXPECT_EQ(std::vector<uint8_t>(good.data.begin(), good.data.begin() + 4), versionBytes(2, 4, 0));
    EXPECT_EQ(std::vector<uint8_t>(good.data.begin() + 4, good.data.end()), std::vector<uint8_t>(6, 0))
        << "the rest of the area is zero-filled";
}

TEST_F(Calls, AWrongAnswerSizeIsPassedOnForTheCallerToJudge)
{
    m_device.setFault(boardsim::FaultKind::answerSize, 0, 0, 1, 3);
    const Answer shortVersion = firmwareCall(m_device.driver(), 0, 0, {}, 4);
    EXPECT_TRUE(shortVersion.ok);
    EXPECT_EQ(shortVersion.result, 0u);
    EXPECT_EQ(shortVersion.count, 3u);
    EXPECT_EQ(shortVersion.returned, 27u);
}

TEST_F(Calls, TheFirmwareRunsFromItsRamCopy)
{
    HANDLE driver = m_device.driver();
    m_device.overwriteImage(0xCC);
    // The image itself now holds no header and no entry.
    const Answer window = driverCall(driver, wmd::kMapMemory, wideWords(0xFFFF0000, {0x2000, 0}), 16);
    ASSERT_EQ(window.result, 0u);
    const Answer image = driverCall(driver, wmd::kReadMemory, wideWords(window.wide(0), {0x2000, 0}), 16);
    EXPECT_EQ(image.data, std::vector<uint8_t>(16, 0xCC));
    driverCall(driver, wmd::kUnmapMemory, wideWords(window.wide(0), {0x2000, 0}), 16);

    for (int i = 0; i < 3; ++i)
    {
        const Answer version = firmwareCall(driver, 0, 0, {}, 4);
        EXPECT_EQ(version.result, 0u);
        EXPECT_EQ(version.data, versionBytes(2, 4, 0));
    }
}

} // namespace
