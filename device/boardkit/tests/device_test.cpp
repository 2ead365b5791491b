// Boardkit end to end: the real device manager with the simulated board and
// Boarddrv behind "WMD1:", reached through QbWmDevApi. The tests run one per
// process and all in one process, where QbWmDevApi's handle outlives the device
// manager of each test before.
#include "export_table.h"
#include "firmware_update_cases.h"

#include <board_test_support.h>
#include <test_support.h>

#include <QbWmDevApi.h>
#include <boardkit.h>

#include <os/deviceroot.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

namespace boardkit::testing
{
namespace
{

using boardtest::BoardDevice;

// The device families of the test board.
const char* const kFamilies = R"(
answer 0x0 1 "SIM-BOARD CX2" 16
sensor 1 2 52 0
sensor 2 1 3312 0
sensor 3 3 2450 0x8000
value 0x3000 2 1 0
write 0x3000 6 1 2
value 0x5000 1 1 0xC5
answer 0x5000 4 hex:2C01000064000000C8000000
value 0x9000 52 2 24105
value 0x9000 54 1 -10
value 0x9000 55 1 -25
value 0x9000 56 1 68
write 0x9000 97 17
value 0x9001 54 1 -5
battery-date 14 3 2022 0x5A
eeprom hex:426F617264
bootloader 0 0x50 "PSU-LOADER" 1.4.2
)";

class BoardkitDevice : public ::testing::Test
{
protected:
    void start(const std::string& version = "2.4.0")
    {
        m_device.describe(boardtest::boardOfVersion(version) + kFamilies);
        ASSERT_TRUE(m_device.start()) << m_device.log();
        ASSERT_NE(m_device.driver(), INVALID_HANDLE_VALUE) << m_device.log();
    }

    void TearDown() override { EXPECT_EQ(m_device.stop(), 0) << m_device.log(); }

    void control(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize)
    {
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(m_device.board(), code, const_cast<void*>(input), inputSize, output,
                                    outputSize, &returned, nullptr))
            << std::hex << code << std::dec << " " << GetLastError();
    }

    // The firmware calls that reached the families since the last take.
    std::vector<boardsim::FamilyCallEntry> takeFamilyLog()
    {
        const auto log = std::make_unique<boardsim::FamilyLog>();
        control(boardsim::kIoctlTakeFamilyLog, nullptr, 0, log.get(), sizeof *log);
        EXPECT_EQ(log->lost, 0u);
        return std::vector<boardsim::FamilyCallEntry>(log->calls, log->calls + log->count);
    }

    BoardDevice m_device;
};

TEST_F(BoardkitDevice, VersionsOfFirmwareDriverAndLibraries)
{
    start();
    WM_VERSION_INFO versions{};
    ASSERT_TRUE(WmGenGetVersion(&versions)) << GetLastError();
    EXPECT_EQ(versions.apiVersion, 0x02040000u);
    EXPECT_EQ(versions.drvVersion, 0x1601u);
    EXPECT_EQ(versions.dllVersion, WmGetDllVersion());
    EXPECT_NE(versions.dllVersion, 0u);
    EXPECT_EQ(versions.funVersion, 0x1701u);
    DWORD version = 0;
    ASSERT_TRUE(WmGetDrvVersionEx(&version));
    EXPECT_EQ(version, 0x1601u);
    ASSERT_TRUE(WmGetApiVersionEx(&version));
    EXPECT_EQ(version, 0x02040000u);
}

TEST_F(BoardkitDevice, ReadingsOfTheBoard)
{
    start();
    DWORD count = 0;
    ASSERT_TRUE(WmSysCountSensors(&count)) << GetLastError();
    EXPECT_EQ(count, 3u);
    takeFamilyLog();

    // The processor sensor is read once more for the board's one processor.
    WM_SENSOR_INFO info{};
    ASSERT_TRUE(WmSysGetSensorInfo(1, &info, 0, 0)) << GetLastError();
    EXPECT_EQ(info.kind, 1u);
    EXPECT_EQ(info.place, 2u);
    EXPECT_EQ(info.value, 52);
    const auto reads = takeFamilyLog();
    ASSERT_EQ(reads.size(), 2u);
    for (const auto& call : reads)
    {
        EXPECT_EQ(call.group, 0x2000u);
        EXPECT_EQ(call.offset, 1u);
        EXPECT_EQ(call.outSize, 56u);
    }

    struct Collected
    {
        std::vector<WORD> values;
    } collected;
    ASSERT_TRUE(WmSysEnumSensors(
        [](const WM_SENSOR_INFO* sensor, PVOID context)
        {
            static_cast<Collected*>(context)->values.push_back(sensor->value);
            return TRUE;
        },
        &collected, 0, 0));
    EXPECT_EQ(collected.values, (std::vector<WORD>{52, 3312, 2450}));

    DWORD volts = 0;
    ASSERT_TRUE(ZrPwrSuppGet24Volt(&volts));
    EXPECT_EQ(volts, 24105u);
    struct Temperature
    {
        BOOL (*read)(LONG*);
        LONG value;
    };
    for (const Temperature& t : {Temperature{ZrPwrSuppGetTemp, -10}, Temperature{ZrPwrSuppGetMinTemp, -25},
                                 Temperature{ZrPwrSuppGetMaxTemp, 68}, Temperature{ZrUpsGetTemp, -5}})
    {
        LONG value = 0;
        ASSERT_TRUE(t.read(&value)) << GetLastError();
        EXPECT_EQ(value, t.value);
    }
    DWORD state = 0, value = 0;
    ASSERT_TRUE(SUpsGetState(&state, &value));
    EXPECT_EQ(state, 0xC0u);
    EXPECT_EQ(value, 50u);
    DWORD times[4] = {};
    ASSERT_TRUE(SUpsGetPowerFailTimes(times));
    EXPECT_EQ(std::vector<DWORD>(times, times + 4), (std::vector<DWORD>{100, 200, 300, 0}));
    WCHAR type[32];
    ASSERT_TRUE(WmGenGetMainboardTypeExW(type, 32));
    EXPECT_EQ(std::u16string(type), u"SIM-BOARD CX2");
}

TEST_F(BoardkitDevice, ProcessorRequestsReachTheDriverItself)
{
    start();
    DWORD processors = 0;
    ULONGLONG mask = 0, msr = 0;
    ASSERT_TRUE(GetActiveProcCount(&processors)) << GetLastError();
    EXPECT_EQ(processors, 1u);
    ASSERT_TRUE(GetActiveProcMask(&mask));
    EXPECT_EQ(mask, 1u);
    char brand[64];
    ASSERT_TRUE(GetProcBrandStringExA(brand, sizeof brand));
    EXPECT_STREQ(brand, "Simulated Board CPU @ 1.60GHz");
    ASSERT_TRUE(HalOsReadMsr(0x1A2, &msr));
    EXPECT_EQ(msr, 0x640000u);
    BYTE port = 0;
    ASSERT_TRUE(HalReadPortUChar(0x61, &port));
    EXPECT_EQ(port, 0x20);
    EXPECT_TRUE(takeFamilyLog().empty()) << "nothing of it reaches the firmware";
}

// Threads of one process share QbWmDevApi's one handle, opened by whichever comes first.
TEST_F(BoardkitDevice, ThreadsCallAtOnce)
{
    start();
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                while (!go)
                    std::this_thread::yield();
                for (int i = 0; i < kRounds; ++i)
                {
                    DWORD volts = 0;
                    LONG temperature = 0;
                    BYTE byte = 0;
                    const bool ok = ZrPwrSuppGet24Volt(&volts) && volts == 24105 &&
                                    ZrPwrSuppGetTemp(&temperature) && temperature == -10 &&
                                    UEEPROMWriteByte(static_cast<BYTE>(t), static_cast<BYTE>(i)) &&
                                    UEEPROMReadByte(static_cast<BYTE>(t), &byte) && byte == i;
                    failures += ok ? 0 : 1;
                }
            });
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
}

// The device manager started again under a running caller: once it is back, every
// request reaches the new manager's driver, QbWmDevApi's handle opened again under it.
TEST_F(BoardkitDevice, CallsGoOnAcrossADeviceManagerRestart)
{
    start();
    DWORD volts = 0;
    ASSERT_TRUE(ZrPwrSuppGet24Volt(&volts)) << GetLastError();
    std::atomic<bool> restarted{false};
    std::atomic<bool> done{false};
    std::atomic<int> successesAfter{0};
    std::atomic<int> failuresAfter{0};
    std::thread caller(
        [&]
        {
            while (!done)
            {
                const bool afterRestart = restarted;
                DWORD value = 0;
                const bool ok = ZrPwrSuppGet24Volt(&value) && value == 24105;
                if (afterRestart)
                    ++(ok ? successesAfter : failuresAfter);
            }
        });
    EXPECT_EQ(m_device.stop(), 0) << m_device.log();
    EXPECT_EQ(WmGetDrvVersion(), 0u) << "no device manager";
    EXPECT_NE(GetLastError(), 0u);
    const bool back = m_device.start();
    restarted = back;
    if (back)
    {
        EXPECT_EQ(WmGetDrvVersion(), 0x1601u) << GetLastError();
        EXPECT_TRUE(boardtest::waitFor([&] { return successesAfter >= 20; }));
    }
    done = true;
    caller.join();
    ASSERT_TRUE(back) << m_device.log();
    EXPECT_EQ(failuresAfter, 0);
    ASSERT_TRUE(ZrPwrSuppGet24Volt(&volts)) << GetLastError();
}

// Every export makes the requests of its family, as they arrive at the
// simulated firmware: the header QbWmDevApi packs and Boarddrv unpacks.
TEST_F(BoardkitDevice, EveryExportReachesTheFirmwareAsWritten)
{
    start();
    for (const ExportRow& row : exportTable())
    {
        if (!row.answers.empty())
            continue; // its requests depend on answers of the stand-in
        SCOPED_TRACE(row.symbol);
        takeFamilyLog();
        row.invoke();
        std::vector<ExpectedCall> expected;
        for (const ExpectedCall& call : row.calls)
            if (!call.driverLevel)
                expected.push_back(call);
        const auto reached = takeFamilyLog();
        ASSERT_EQ(reached.size(), expected.size());
        for (size_t i = 0; i < reached.size(); ++i)
        {
            EXPECT_EQ(reached[i].group, expected[i].group);
            EXPECT_EQ(reached[i].offset, expected[i].offset);
            EXPECT_EQ(reached[i].inSize, expected[i].inputSize);
            EXPECT_EQ(reached[i].outSize, expected[i].outputSize);
            const size_t head = std::min(expected[i].inputHead.size(), sizeof reached[i].in);
            EXPECT_EQ(std::vector<BYTE>(reached[i].in, reached[i].in + head),
                      std::vector<BYTE>(expected[i].inputHead.begin(), expected[i].inputHead.begin() + head));
        }
    }
}

TEST_F(BoardkitDevice, OldFirmwareRefusesEveryCall)
{
    start("1.11.0");
    for (const ExportRow& row : exportTable())
    {
        if (row.calls.empty())
            continue;
        SCOPED_TRACE(row.symbol);
        SetLastError(0);
        EXPECT_FALSE(row.invoke());
        EXPECT_EQ(GetLastError(), 5023u);
    }
    WM_VERSION_INFO versions{};
    EXPECT_FALSE(WmGenGetVersion(&versions));
    EXPECT_EQ(GetLastError(), 5023u);
    EXPECT_EQ(versions.drvVersion, 0x1601u) << "the driver still tells its version";
    EXPECT_EQ(versions.apiVersion, 0u);
    EXPECT_TRUE(takeFamilyLog().empty());
}

TEST_F(BoardkitDevice, EepromKeepsWhatAnotherProcessWrote)
{
    start();
    BYTE content[WM_UEEPROM_SIZE] = {};
    ASSERT_TRUE(UEEPROMRead(content, sizeof content));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(content), 5), "Board");

    std::string pattern;
    for (int i = 0; i < 128; ++i)
    {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", (i * 37 + 11) & 0xFF);
        pattern += pair;
    }
    ostest::ChildProcess writer({"eeprom-write", pattern}, os::programDirectory() + "/boardkit_peer");
    const int written = writer.wait(60000);
    ASSERT_TRUE(WIFEXITED(written) && WEXITSTATUS(written) == 0) << written;

    ostest::ChildProcess reader({"eeprom-read"}, os::programDirectory() + "/boardkit_peer");
    EXPECT_EQ(reader.readLine(60000), pattern);
    const int read = reader.wait(60000);
    EXPECT_TRUE(WIFEXITED(read) && WEXITSTATUS(read) == 0) << read;

    ASSERT_TRUE(UEEPROMRead(content, sizeof content));
    EXPECT_EQ(content[1], (37 + 11) & 0xFF);
    BYTE byte = 0;
    ASSERT_TRUE(UEEPROMReadByte(127, &byte));
    EXPECT_EQ(byte, (127 * 37 + 11) & 0xFF);
    ASSERT_TRUE(UEEPROMWriteByte(127, 0x99));
    ASSERT_TRUE(UEEPROMReadByte(127, &byte));
    EXPECT_EQ(byte, 0x99);
    EXPECT_FALSE(UEEPROMWrite(content, 129));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
}

TEST_F(BoardkitDevice, BatteryDateChangesOnlyWhenItDiffers)
{
    start();
    DWORD day = 0, month = 0, year = 0, raw = 0;
    ASSERT_TRUE(ZrUpsGetLastBattChangeDate(&day, &month, &year, &raw));
    EXPECT_EQ(day, 14u);
    EXPECT_EQ(month, 3u);
    EXPECT_EQ(year, 2022u);
    EXPECT_EQ(raw & 0xFF, 0x5Au);

    takeFamilyLog();
    ASSERT_TRUE(ZrUpsSetLastBattChangeDate(14, 3, 2022, nullptr));
    EXPECT_EQ(takeFamilyLog().size(), 1u) << "read, not written";

    ASSERT_TRUE(ZrUpsSetLastBattChangeDate(29, 2, 2024, nullptr));
    ASSERT_TRUE(ZrUpsGetLastBattChangeDate(&day, &month, &year, &raw));
    EXPECT_EQ(day, 29u);
    EXPECT_EQ(month, 2u);
    EXPECT_EQ(year, 2024u);
    EXPECT_EQ(raw & 0xFF, 0x5Au) << "the kept byte stays";

    takeFamilyLog();
    EXPECT_FALSE(ZrUpsSetLastBattChangeDate(32, 2, 2024, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(takeFamilyLog().empty());
}

TEST_F(BoardkitDevice, AnswersOfTheWrongLengthAndFailuresPassThrough)
{
    start();
    // The firmware claims 8 bytes for a 1-byte reading: 24, and nothing past the byte.
    m_device.setFault(boardsim::FaultKind::answerSize, 0x9000, 54, 1, 8);
    LONG temperature = 77;
    EXPECT_FALSE(ZrPwrSuppGetTemp(&temperature));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(temperature, 0);

    m_device.setFault(boardsim::FaultKind::answerSize, 0x9000, 54, 1, 8);
    BYTE answer[2] = {0xEE, 0xEE};
    DWORD returned = 0;
    EXPECT_EQ(WmDeviceIoControl(0x9000, 54, nullptr, 0, answer, 1, &returned, nullptr), 0u);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(answer[0], 0xF6);
    EXPECT_EQ(answer[1], 0xEE);

    // A firmware status travels unchanged, with the driver's firmware bit.
    m_device.setFault(boardsim::FaultKind::status, 0x9000, 52, 1, 1797);
    DWORD volts = 1;
    EXPECT_FALSE(ZrPwrSuppGet24Volt(&volts));
    EXPECT_EQ(GetLastError(), 0x20000705u);
    EXPECT_EQ(volts, 0u);
    EXPECT_EQ(WmDeviceIoControl(0x9000, 52, nullptr, 0, answer, 2, nullptr, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The boot loader on the simulated board, steered through the board's test controls.
class SimulatedBootLoader : public BootLoaderBench
{
public:
    explicit SimulatedBootLoader(HANDLE board) : m_board(board) {}

    void reset() override { control(boardsim::kIoctlResetFamilies, nullptr, 0, nullptr, 0); }

    void apply(const BusSetup& setup) override
    {
        boardsim::BootLoaderRequest request{};
        switch (setup.kind)
        {
        case BusSetup::none:
            return;
        case BusSetup::shortenAnswers:
            request = {static_cast<uint32_t>(boardsim::BootLoaderAction::shortenAnswers),
                       setup.command,
                       setup.length,
                       setup.times,
                       setup.skip,
                       0};
            break;
        case BusSetup::lockMode:
            request.action = static_cast<uint32_t>(boardsim::BootLoaderAction::lockMode);
            break;
        case BusSetup::refuseRecord:
            request.action = static_cast<uint32_t>(boardsim::BootLoaderAction::refuseRecord);
            request.status = setup.status;
            break;
        }
        control(boardsim::kIoctlSetBootLoader, &request, sizeof request, nullptr, 0);
    }

    std::vector<std::vector<uint8_t>> records() override
    {
        const auto state = takeState();
        std::vector<std::vector<uint8_t>> records;
        for (uint32_t i = 0; i < state->count; ++i)
            records.emplace_back(state->records[i].bytes, state->records[i].bytes + state->records[i].length);
        return records;
    }

    uint8_t mode() override { return static_cast<uint8_t>(takeState()->mode); }

private:
    std::unique_ptr<boardsim::BootLoaderRecords> takeState()
    {
        auto state = std::make_unique<boardsim::BootLoaderRecords>();
        control(boardsim::kIoctlGetBootLoader, nullptr, 0, state.get(), sizeof *state);
        EXPECT_EQ(state->lost, 0u);
        return state;
    }

    void control(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize)
    {
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(m_board, code, const_cast<void*>(input), inputSize, output, outputSize,
                                    &returned, nullptr))
            << std::hex << code << std::dec << " " << GetLastError();
    }

    HANDLE m_board;
};

TEST_F(BoardkitDevice, FirmwareUpdateCasesOnTheSimulatedBootLoader)
{
    start();
    SimulatedBootLoader bench(m_device.board());
    runUpdateCases(bench);
}

} // namespace
} // namespace boardkit::testing
