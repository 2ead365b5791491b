// The call wrappers every device function is built on, against the recording
// stand-in of QbWmDevApi.
#include "fake_api_test.h"

#include "device_io.h"

#include <functional>

namespace boardkit::testing
{
namespace
{

constexpr DWORD kGroup = 0x4000;
constexpr DWORD kOffset = 7;
// A firmware result as the driver passes it on: busy, with the firmware bit.
constexpr DWORD kFirmwareBusy = 0x20000708;

using Level = boardkit::Level;

// One typed reader: its error and the value it left.
struct ReaderCase
{
    const char* name;
    std::function<DWORD(DWORD& value)> read;
    wmfake::Answer answer;
    DWORD error;
    DWORD value;
};

TEST_F(FakeApiTest, TypedReadersTakeExactlyTheirWidth)
{
    auto read8 = [](DWORD& v) { return DeviceIoRead8(kGroup, kOffset, &v, Level::firmware); };
    auto read16 = [](DWORD& v) { return DeviceIoRead16(kGroup, kOffset, &v, Level::firmware); };
    auto read32 = [](DWORD& v) { return DeviceIoRead32(kGroup, kOffset, &v, Level::firmware); };
    auto read8s = [](DWORD& v)
    {
        LONG signedValue = static_cast<LONG>(v);
        const DWORD error = DeviceIoRead8Signed(kGroup, kOffset, &signedValue, Level::firmware);
        v = static_cast<DWORD>(signedValue);
        return error;
    };
    wmfake::Answer twoClaimed = bytes({0x11});
    twoClaimed.count = 2;
    wmfake::Answer noneDelivered = bytes({});

    const ReaderCase cases[] = {
        {"8-bit", read8, bytes({0x7F}), 0, 0x7F},
        {"8-bit, nothing back", read8, noneDelivered, ERROR_BAD_LENGTH, 0},
        {"8-bit, more claimed than asked", read8, twoClaimed, ERROR_BAD_LENGTH, 0},
        {"16-bit", read16, bytes({0x34, 0x12}), 0, 0x1234},
        {"16-bit answered with 1 byte", read16, bytes({0x34}), ERROR_BAD_LENGTH, 0},
        {"32-bit", read32, bytes({0x78, 0x56, 0x34, 0x12}), 0, 0x12345678},
        {"32-bit answered with 3 bytes", read32, bytes({1, 2, 3}), ERROR_BAD_LENGTH, 0},
        {"signed 8-bit, negative", read8s, bytes({0xF6}), 0, static_cast<DWORD>(-10)},
        {"signed 8-bit, positive", read8s, bytes({0x7F}), 0, 0x7F},
        {"driver error passes unchanged", read16, failure(kFirmwareBusy), kFirmwareBusy, 0},
        {"device not ready passes unchanged", read32, failure(5023), 5023, 0},
    };
    for (const ReaderCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        wmfake::answer(kGroup, kOffset, c.answer);
        DWORD value = kUntouched;
        EXPECT_EQ(c.read(value), c.error);
        EXPECT_EQ(value, c.value);
        const auto calls = wmfake::calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].group, kGroup);
        EXPECT_EQ(calls[0].offset, kOffset);
        EXPECT_TRUE(calls[0].input.empty());
        EXPECT_FALSE(calls[0].options.has_value()) << "firmware requests carry no options";
    }
}

// A check that fails before any call.
struct RefusalCase
{
    const char* name;
    std::function<DWORD()> call;
    DWORD error;
};

TEST_F(FakeApiTest, BadArgumentsAreRefusedBeforeAnyCall)
{
    BYTE buffer[32] = {};
    BYTE record[kRecordSize] = {};
    DWORD value = 0;
    const RefusalCase cases[] = {
        {"buffer below its minimum",
         [&] { return DeviceIoReadBuffer(kGroup, kOffset, buffer, 3, 4, Level::firmware); }, 87},
        {"buffer of size 0",
         [&] { return DeviceIoReadBuffer(kGroup, kOffset, buffer, 0, 0, Level::firmware); }, 87},
        {"no buffer", [&] { return DeviceIoReadBuffer(kGroup, kOffset, nullptr, 4, 0, Level::firmware); },
         87},
        {"record of 25 bytes",
         [&] { return DeviceIoReadRecord(kGroup, kOffset, record, 25, Level::firmware); }, 87},
        {"record of 0 bytes", [&] { return DeviceIoReadRecord(kGroup, kOffset, record, 0, Level::firmware); },
         87},
        {"value of 5 bytes", [&] { return DeviceIoReadValue(kGroup, kOffset, &value, 5, Level::firmware); },
         87},
        {"no value", [&] { return DeviceIoRead32(kGroup, kOffset, nullptr, Level::firmware); }, 87},
        {"no signed value", [&] { return DeviceIoRead8Signed(kGroup, kOffset, nullptr, Level::firmware); },
         87},
        {"write of nothing",
         [&] { return DeviceIoWriteBuffer(kGroup, kOffset, buffer, 0, 0, Level::firmware); }, 87},
        {"write without data",
         [&] { return DeviceIoWriteBuffer(kGroup, kOffset, nullptr, 4, 0, Level::firmware); }, 87},
        {"write above its maximum",
         [&] { return DeviceIoWriteBuffer(kGroup, kOffset, buffer, 17, 16, Level::firmware); }, 24},
        {"write-read of 9 bytes",
         [&] { return DeviceIoWriteRead(kGroup, kOffset, buffer, 4, buffer, 9, Level::firmware); }, 87},
        {"write-read without output",
         [&] { return DeviceIoWriteRead(kGroup, kOffset, buffer, 4, nullptr, 2, Level::firmware); }, 87},
    };
    for (const RefusalCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        EXPECT_EQ(c.call(), c.error);
        EXPECT_TRUE(wmfake::calls().empty());
    }
}

TEST_F(FakeApiTest, ReadBufferLeavesZerosAfterAFailure)
{
    struct Case
    {
        const char* name;
        wmfake::Answer answer;
        DWORD error;
    };
    wmfake::Answer overlong = bytes({1, 2, 3, 4, 5, 6, 7, 8});
    overlong.count = 9;
    const Case cases[] = {
        {"driver error", failure(1793), 1793},
        {"fewer than the minimum", bytes({1, 2, 3}), 24},
        {"more than the buffer holds", overlong, 24},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        wmfake::answer(kGroup, kOffset, c.answer);
        BYTE buffer[8];
        std::memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(DeviceIoReadBuffer(kGroup, kOffset, buffer, sizeof buffer, 4, Level::firmware), c.error);
        for (BYTE b : buffer)
            EXPECT_EQ(b, 0);
    }
}

TEST_F(FakeApiTest, ReadRecordZeroesAll24BytesAndReadsOnlyItsSize)
{
    wmfake::answer(kGroup, kOffset, bytes({'A', 'B'}));
    BYTE record[kRecordSize];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(DeviceIoReadRecord(kGroup, kOffset, record, 16, Level::firmware), 0u);
    EXPECT_EQ(record[0], 'A');
    EXPECT_EQ(record[1], 'B');
    for (size_t i = 2; i < sizeof record; ++i)
        EXPECT_EQ(record[i], 0) << i;
    ASSERT_EQ(wmfake::calls().size(), 1u);
    EXPECT_EQ(wmfake::calls()[0].outputSize, 16u);
}

TEST_F(FakeApiTest, NoDataExpectedMeansNoneMayCome)
{
    wmfake::Answer oneByte = bytes({});
    oneByte.count = 1;
    for (auto call :
         {std::function<DWORD()>([] { return DeviceIoCommand(kGroup, kOffset, Level::firmware); }),
          std::function<DWORD()>([] { return DeviceIoWrite8(kGroup, kOffset, 5, Level::firmware); }),
          std::function<DWORD()>([] { return DeviceIoWrite32(kGroup, kOffset, 5, Level::firmware); })})
    {
        wmfake::reset();
        EXPECT_EQ(call(), 0u);
        wmfake::answer(kGroup, kOffset, oneByte);
        EXPECT_EQ(call(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    }
}

TEST_F(FakeApiTest, WritesSendTheirValueLittleEndian)
{
    EXPECT_EQ(DeviceIoWrite8(kGroup, kOffset, 0xAB, Level::firmware), 0u);
    EXPECT_EQ(DeviceIoWrite32(kGroup, kOffset, 0x12345678, Level::firmware), 0u);
    const auto calls = wmfake::calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].input, std::vector<BYTE>({0xAB}));
    EXPECT_EQ(calls[0].outputSize, 0u);
    EXPECT_EQ(calls[1].input, std::vector<BYTE>({0x78, 0x56, 0x34, 0x12}));
}

TEST_F(FakeApiTest, DriverLevelRequestsCarryTheFlagAndNoMask)
{
    DWORD value = 0;
    EXPECT_EQ(DeviceIoRead32(0x10000000, 5, &value, Level::driver), 0u);
    EXPECT_EQ(DeviceIoCommand(0x10000000, 13, Level::driver), 0u);
    const auto calls = wmfake::calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls)
    {
        ASSERT_TRUE(call.options.has_value());
        EXPECT_EQ(call.options->driverLevel, 1u);
        EXPECT_EQ(call.processorMask(), 0u);
        EXPECT_EQ(call.options->reserved, 0u);
    }
}

TEST_F(FakeApiTest, CheckedCallReportsTheDeliveredCount)
{
    wmfake::answer(kGroup, kOffset, bytes({1, 2, 3}));
    BYTE out[8] = {};
    DWORD delivered = kUntouched;
    EXPECT_EQ(DeviceIoCallChecked(kGroup, kOffset, nullptr, 0, out, sizeof out, nullptr, 0, &delivered), 0u);
    EXPECT_EQ(delivered, 3u);
    EXPECT_EQ(DeviceIoCallChecked(kGroup, kOffset, nullptr, 0, out, sizeof out, nullptr, 4, &delivered),
              static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(delivered, 0u);
}

TEST_F(FakeApiTest, FinishSetsTheLastErrorEitherWay)
{
    EXPECT_FALSE(finish(ERROR_BAD_LENGTH));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_TRUE(finish(0));
    EXPECT_EQ(GetLastError(), 0u);
}

} // namespace
} // namespace boardkit::testing
