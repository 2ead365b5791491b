// Functions with rules of their own, against the recording stand-in.
#include "fake_api_test.h"

#include <boardkit.h>

#include <cstring>

namespace boardkit::testing
{
namespace
{

constexpr DWORD kDriver = 0x10000000;

TEST_F(FakeApiTest, VersionsComeInOrderAndAZeroEndsThem)
{
    struct Case
    {
        const char* name;
        DWORD api, drv, dll;
        std::vector<std::string> asked;
        WM_VERSION_INFO filled;
    };
    const Case cases[] = {
        {"all there",
         0x02040000,
         0x1601,
         0x0102,
         {"dll", "drv", "api"},
         {0x02040000, 0x1601, 0x0102, 0x1701}},
        {"no API version", 0, 0x1601, 0x0102, {"dll", "drv", "api"}, {0, 0x1601, 0x0102, 0x1701}},
        {"no driver version", 0x02040000, 0, 0x0102, {"dll", "drv"}, {0, 0, 0x0102, 0x1701}},
        {"no library version", 0x02040000, 0x1601, 0, {"dll"}, {0, 0, 0, 0x1701}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        wmfake::setVersions(c.api, c.drv, c.dll, 5023);
        WM_VERSION_INFO info;
        std::memset(&info, 0xEE, sizeof info);
        const bool complete = c.api != 0 && c.drv != 0 && c.dll != 0;
        EXPECT_EQ(WmGenGetVersion(&info) != FALSE, complete);
        EXPECT_EQ(GetLastError(), complete ? 0u : 5023u) << "the last error as QbWmDevApi left it";
        EXPECT_EQ(wmfake::versionCalls(), c.asked);
        EXPECT_EQ(info.apiVersion, c.filled.apiVersion);
        EXPECT_EQ(info.drvVersion, c.filled.drvVersion);
        EXPECT_EQ(info.dllVersion, c.filled.dllVersion);
        EXPECT_EQ(info.funVersion, c.filled.funVersion);
    }
    EXPECT_FALSE(WmGenGetVersion(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD version = kUntouched;
    wmfake::setVersions(0, 0x1601, 0x0102, 5023);
    EXPECT_FALSE(WmGetApiVersionEx(&version));
    EXPECT_EQ(version, 0u);
    EXPECT_TRUE(WmGetFunVersionEx(&version));
    EXPECT_EQ(version, 0x1701u);
    EXPECT_FALSE(WmGetDrvVersionEx(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FakeApiTest, SUpsStateSplitsTheBytesThatCarryAValue)
{
    struct Case
    {
        BYTE byte;
        DWORD state;
        DWORD value;
    };
    const Case cases[] = {
        {0xC5, 0xC0, 50},  {0x42, 0x42, 0}, {0xC0, 0xC0, 0},
        {0xDF, 0xD0, 150}, {0xBF, 0xBF, 0}, {0xE0, 0xE0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.byte);
        wmfake::answer(0x5000, 1, bytes({c.byte}));
        DWORD state = kUntouched, value = kUntouched;
        EXPECT_TRUE(SUpsGetState(&state, &value));
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(value, c.value);
        EXPECT_TRUE(SUpsGetState(&state, nullptr)) << "the second value is optional";
        EXPECT_EQ(state, c.state);
    }
    wmfake::answer(0x5000, 1, failure(0x20000708));
    DWORD state = kUntouched, value = kUntouched;
    EXPECT_FALSE(SUpsGetState(&state, &value));
    EXPECT_EQ(GetLastError(), 0x20000708u);
    EXPECT_EQ(state, 0u);
    EXPECT_EQ(value, 0u);
}

TEST_F(FakeApiTest, SignedTemperaturesAndMinMaxPairs)
{
    wmfake::answer(0x9000, 54, bytes({0xF6}));
    wmfake::answer(0x9001, 55, bytes({0x80}));
    LONG temperature = 0;
    EXPECT_TRUE(ZrPwrSuppGetTemp(&temperature));
    EXPECT_EQ(temperature, -10);
    EXPECT_TRUE(ZrUpsGetMinTemp(&temperature));
    EXPECT_EQ(temperature, -128);

    wmfake::answer(0x4000, 4, bytes({0xEC, 0x4B}));
    LONG minimum = 0, maximum = 0;
    EXPECT_TRUE(PwrCtrlGetMinMaxTemp(&minimum, &maximum));
    EXPECT_EQ(minimum, -20);
    EXPECT_EQ(maximum, 75);
    EXPECT_FALSE(PwrCtrlGetMinMaxVolt(&minimum, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FakeApiTest, PowerFailTimesComeBackSorted)
{
    struct Case
    {
        DWORD a, b, c;
    };
    for (const Case& c : {Case{30, 10, 20}, Case{3, 2, 1}, Case{5, 5, 1}, Case{0xFFFFFFFF, 0, 7}})
    {
        std::vector<BYTE> answer;
        for (DWORD v : {c.a, c.b, c.c})
        {
            const auto b = wmfake::bytesOf(v);
            answer.insert(answer.end(), b.begin(), b.end());
        }
        wmfake::answer(0x5000, 4, bytes(answer));
        DWORD times[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        ASSERT_TRUE(SUpsGetPowerFailTimes(times));
        DWORD sorted[3] = {c.a, c.b, c.c};
        std::sort(sorted, sorted + 3);
        EXPECT_EQ(times[0], sorted[0]);
        EXPECT_EQ(times[1], sorted[1]);
        EXPECT_EQ(times[2], sorted[2]);
        EXPECT_EQ(times[3], 0u);
    }
}

// The stored battery change date: kept byte 0xA5, bits 8-10 = 0b101, day 17, month 9, year 2021.
constexpr DWORD kStoredDate = 0xA5 | 0x500 | 17u << 11 | 9u << 16 | 2021u << 20;

TEST_F(FakeApiTest, BatteryDateUnpacksTheStoredValue)
{
    wmfake::answer(0x9001, 151, bytes(wmfake::bytesOf(kStoredDate)));
    DWORD day = 0, month = 0, year = 0, raw = 0;
    ASSERT_TRUE(ZrUpsGetLastBattChangeDate(&day, &month, &year, &raw));
    EXPECT_EQ(day, 17u);
    EXPECT_EQ(month, 9u);
    EXPECT_EQ(year, 2021u);
    EXPECT_EQ(raw, kStoredDate);
    EXPECT_TRUE(ZrUpsGetLastBattChangeDate(&day, &month, &year, nullptr)) << "the raw value is optional";
}

TEST_F(FakeApiTest, BatteryDateWritesOnlyAChange)
{
    struct Case
    {
        const char* name;
        DWORD day, month, year;
        int kept; // -1: none given
        DWORD error;
        bool writes;
        DWORD written;
    };
    const DWORD keptBits = 0x500;
    const Case cases[] = {
        {"the stored date", 17, 9, 2021, -1, 0, false, 0},
        {"the stored date and its byte", 17, 9, 2021, 0xA5, 0, false, 0},
        {"another day", 18, 9, 2021, -1, 0, true, 0xA5 | keptBits | 18u << 11 | 9u << 16 | 2021u << 20},
        {"another kept byte", 17, 9, 2021, 0x3C, 0, true,
         0x3C | keptBits | 17u << 11 | 9u << 16 | 2021u << 20},
        {"the largest values", 31, 15, 4095, -1, 0, true,
         0xA5 | keptBits | 31u << 11 | 15u << 16 | 4095u << 20},
        {"day 32", 32, 9, 2021, -1, 87, false, 0},
        {"month 16", 17, 16, 2021, -1, 87, false, 0},
        {"year 4096", 17, 9, 4096, -1, 87, false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        wmfake::answer(0x9001, 151, bytes(wmfake::bytesOf(kStoredDate)));
        const BYTE kept = static_cast<BYTE>(c.kept);
        SetLastError(kUntouched);
        EXPECT_EQ(ZrUpsSetLastBattChangeDate(c.day, c.month, c.year, c.kept >= 0 ? &kept : nullptr) != FALSE,
                  c.error == 0);
        EXPECT_EQ(GetLastError(), c.error);
        const auto calls = wmfake::calls();
        const auto write =
            std::find_if(calls.begin(), calls.end(), [](const auto& call) { return call.offset == 152; });
        ASSERT_EQ(write != calls.end(), c.writes);
        if (c.writes)
        {
            EXPECT_EQ(write->input, wmfake::bytesOf(c.written));
        }
        if (c.error != 0)
        {
            EXPECT_TRUE(calls.empty()) << "a value that does not fit is refused before any request";
        }
    }
}

TEST_F(FakeApiTest, BatteryDateRoundTripNeverFails)
{
    for (DWORD stored : {0u, kStoredDate, 0xFFFFFFFFu, 0x12345678u})
    {
        wmfake::reset();
        wmfake::answer(0x9001, 151, bytes(wmfake::bytesOf(stored)));
        DWORD day = 0, month = 0, year = 0;
        ASSERT_TRUE(ZrUpsGetLastBattChangeDate(&day, &month, &year, nullptr));
        EXPECT_TRUE(ZrUpsSetLastBattChangeDate(day, month, year, nullptr)) << std::hex << stored;
        EXPECT_EQ(wmfake::calls().size(), 2u) << "read twice, written never";
    }
}

TEST_F(FakeApiTest, CpuTjmaxOfZeroIsInvalidData)
{
    wmfake::answer(kDriver, 3, bytes(wmfake::bytesOf(0)));
    DWORD tjmax = kUntouched;
    EXPECT_FALSE(GetCpuTjmax(&tjmax));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(tjmax, 0u);
    EXPECT_TRUE(GetTjmax(&tjmax)) << "the plain reading takes 0 as it is";

    wmfake::answer(kDriver, 3, bytes(wmfake::bytesOf(100)));
    EXPECT_TRUE(GetCpuTjmax(&tjmax));
    EXPECT_EQ(tjmax, 100u);
}

TEST_F(FakeApiTest, RestartModeIsNotSupported)
{
    DWORD mode = kUntouched;
    EXPECT_FALSE(ZrUpsGetRestartMode(&mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(mode, 0u);
    EXPECT_FALSE(ZrUpsSetRestartMode(1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(wmfake::calls().empty());
}

TEST_F(FakeApiTest, EepromSizesAndAddresses)
{
    BYTE data[200] = {};
    struct Case
    {
        const char* name;
        std::function<BOOL()> call;
        DWORD error;
    };
    const Case cases[] = {
        {"write of 0 bytes", [&] { return UEEPROMWrite(data, 0); }, 87},
        {"write of 129 bytes", [&] { return UEEPROMWrite(data, 129); }, 24},
        {"write without data", [&] { return UEEPROMWrite(nullptr, 4); }, 87},
        {"read into 127 bytes", [&] { return UEEPROMRead(data, 127); }, 87},
        {"byte read above the end", [&] { return UEEPROMReadByte(128, data); }, 87},
        {"byte write above the end", [&] { return UEEPROMWriteByte(200, 1); }, 87},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(wmfake::calls().empty());
    }
    EXPECT_TRUE(UEEPROMWrite(data, 128));
    EXPECT_TRUE(UEEPROMWrite(data, 1));
    EXPECT_TRUE(UEEPROMRead(data, 200)) << "a larger buffer takes the 128 bytes";
}

TEST_F(FakeApiTest, ProductionDateFillsItsTwoFields)
{
    wmfake::answer(0x4000, 8, bytes({0x21, 0x07}));
    BYTE record[WM_PWRCTRL_PRODUCTION_DATE_SIZE + 2];
    std::memset(record, 0xEE, sizeof record);
    ASSERT_TRUE(PwrCtrlGetProductionDate(record));
    const BYTE expected[WM_PWRCTRL_PRODUCTION_DATE_SIZE] = {0, 0, 0, 0, 0x07, 0, 0x21, 0};
    EXPECT_EQ(std::memcmp(record, expected, sizeof expected), 0);
    EXPECT_EQ(record[8], 0xEE) << "nothing past the record";
}

TEST_F(FakeApiTest, WatchdogTimeSpanGoesSecondFirst)
{
    ASSERT_TRUE(WDTriggerWTimeSpan(0x11, 0x22));
    ASSERT_EQ(wmfake::calls().size(), 1u);
    EXPECT_EQ(wmfake::calls()[0].input, std::vector<BYTE>({0x22, 0x11}));
}

TEST_F(FakeApiTest, PortsAndMemoryRefuseZeroBeforeAnyCall)
{
    BYTE byte = 0;
    WORD word = 0;
    DWORD value = 0;
    WM_MEMORY_MAPPING mapping{};
    BYTE buffer[8] = {};
    const std::function<BOOL()> calls[] = {
        [&] { return HalReadPortUChar(0, &byte); },
        [&] { return HalReadPortUShort(0, &word); },
        [&] { return HalReadPortULong(0, &value); },
        [&] { return HalWritePortUChar(0, 1); },
        [&] { return HalWritePortUShort(0, 1); },
        [&] { return HalWritePortULong(0, 1); },
        [&] { return HalReadPortUChar(0x61, nullptr); },
        [&] { return HalOsMapPhysMemoryEx(0, 0, 0x1000, &mapping); },
        [&] { return HalOsMapPhysMemoryEx(0x1000, 0, 0, &mapping); },
        [&] { return HalOsMapPhysMemoryEx(0x1000, 0, 0x1000, nullptr); },
        [&] { return HalOsUnMapPhysMemoryEx(0, 0, 16); },
        [&] { return HalOsReadPhysMemoryEx(0x1000, 0, 0, buffer, 8); },
        [&] { return HalOsReadPhysMemoryEx(0x1000, 0, 16, buffer, 0); },
        [&] { return HalOsWritePhysMemoryEx(0x1000, 0, 16, nullptr, 4); },
        [&] { return HalOsGetBusDataByOffset(4, 0, 0, 0, 0, buffer, 0, &value); },
        [&] { return HalOsGetBusDataByOffset(4, 0, 0, 0, 0, buffer, 8, nullptr); },
    };
    for (size_t i = 0; i < std::size(calls); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_FALSE(calls[i]());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(wmfake::calls().empty());
}

TEST_F(FakeApiTest, SixtyFourBitValuesAreLowWordFirst)
{
    wmfake::answer(kDriver, 4, bytes({0x0B, 0, 0, 0, 0x01, 0, 0, 0}));
    wmfake::answer(kDriver, 9, bytes({0x00, 0x00, 0x64, 0x00, 0x02, 0, 0, 0}));
    ULONGLONG mask = 0, msr = 0;
    ASSERT_TRUE(GetActiveProcMask(&mask));
    EXPECT_EQ(mask, 0x10000000Bull);
    ASSERT_TRUE(HalOsReadMsr(0x1A2, &msr));
    EXPECT_EQ(msr, 0x200640000ull);

    wmfake::answer(kDriver, 4, bytes({1, 0, 0, 0}));
    EXPECT_FALSE(GetActiveProcMask(&mask)) << "exactly 8 bytes";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(mask, 0u);
}

TEST_F(FakeApiTest, BusDataCountsWhatCameAndWritesNoFurther)
{
    wmfake::answer(kDriver, 11, bytes({0xAD, 0x1B}));
    BYTE buffer[6];
    std::memset(buffer, 0xEE, sizeof buffer);
    DWORD count = kUntouched;
    ASSERT_TRUE(HalOsGetBusDataByOffset(4, 0, 31, 3, 0, buffer, 4, &count));
    EXPECT_EQ(count, 2u);
    const BYTE expected[6] = {0xAD, 0x1B, 0, 0, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0);
}

} // namespace
} // namespace boardkit::testing
