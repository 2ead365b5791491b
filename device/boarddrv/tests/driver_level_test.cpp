// The driver-level index group: every offset with its sizes and result codes,
// physical memory through the mappings the driver made, I/O ports, and the
// processor's Tjmax from the registry.
#include <board_test_support.h>

#include <optional>

namespace
{

using namespace boardtest;
using namespace wmd;

class DriverLevel : public RunningBoard
{
protected:
    void SetUp() override
    {
        m_device.setDriverValue(u"LogLevel", 0x20);
        m_device.setDriverValue(u"DisableApi", 0);
        m_device.setDriverValue(u"ApiTimeout", 700);
        start("ram 0x00100000 hex:A0A1A2A3A4A5A6A7\n");
    }

    Answer call(uint32_t offset, const std::vector<uint8_t>& input, uint32_t areaSize)
    {
        return driverCall(m_device.driver(), offset, input, areaSize);
    }
};

// One driver-level call: its request and area, the result and the first bytes of the data.
struct OffsetCase
{
    const char* what;
    uint32_t offset;
    std::vector<uint8_t> input;
    uint32_t area;
    uint32_t result;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> text(const char* value, size_t size)
{
    std::vector<uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), value, std::strlen(value));
    return bytes;
}

TEST_F(DriverLevel, EveryOffsetWithItsSizesAndCodes)
{
    struct Case
    {
        const char* what;
        uint32_t offset;
        std::vector<uint8_t> input;
        uint32_t area;
        uint32_t result;
        uint32_t count;
        std::vector<uint8_t> data; // the first bytes of the area, when given
    };
    const std::vector<uint8_t> one64 = {1, 0, 0, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {"log level", kLogLevel, {}, 4, 0, 4, words({0x20})},
        {"log level, area of 3", kLogLevel, {}, 3, kResultInvalidParameter, 0, {}},
        {"log level, no area", kLogLevel, {}, 0, kResultInvalidParameter, 0, {}},
        {"switched-off API", kDisableApi, {}, 8, 0, 4, words({0})},
        {"time-out", kApiTimeout, {}, 4, 0, 4, words({700})},
        {"processor signature", kProcessorSignature, {}, 4, 0, 4, words({0x000906EA})},
        {"Tjmax", kTjmax, {}, 4, 0, 4, words({100})},
        {"active processor mask", kActiveProcessorMask, {}, 8, 0, 8, one64},
        {"active processor mask, area of 7", kActiveProcessorMask, {}, 7, kResultInvalidParameter, 0, {}},
        {"processor count", kProcessorCount, {}, 4, 0, 4, words({1})},
        {"brand id", kBrandId, {}, 4, 0, 4, words({0})},
        {"brand string", kBrandString, {}, 48, 0, 48, text("Simulated Board CPU @ 1.60GHz", 48)},
        {"brand string, area of 47", kBrandString, {}, 47, kResultInvalidParameter, 0, {}},
        {"MSR", kReadMsr, words({0x1A2}), 8, 0, 8, words({0x00640000, 0})},
        {"MSR, both halves", kReadMsr, words({0xC0000080}), 8, 0, 8, words({0x55667788, 0x11223344})},
        {"MSR the board does not have", kReadMsr, words({0x10}), 8, kResultNotSupported, 0, {}},
        {"MSR, request of 3", kReadMsr, {0xA2, 0x01, 0}, 8, kResultInvalidParameter, 0, {}},
        {"MSR, area of 7", kReadMsr, words({0x1A2}), 7, kResultInvalidParameter, 0, {}},
        {"MSR service again", kRegisterReadMsr, {}, 0, 0, 0, {}},
        {"bus data",
         kBusData,
         words({4, 0, 31, 3, 0, 8, 0}),
         8,
         0,
         8,
         {0xAD, 0x1B, 0x3C, 0x01, 3, 0, 0x80, 2}},
        {"bus data, clipped to the area",
         kBusData,
         words({4, 0, 0, 0, 2, 200, 0}),
         4,
         0,
         4,
         {0x10, 0x01, 6, 0}},
        {"bus data, the vendor alone", kBusData, words({4, 0, 0, 0, 0, 2, 0}), 8, 0, 2, {0xAD, 0x1B}},
        {"bus data, empty slot", kBusData, words({4, 0, 9, 0, 0, 4, 0}), 4, kResultNoBusData, 0, {}},
        {"bus data, another bus type", kBusData, words({1, 0, 0, 0, 0, 4, 0}), 4, kResultNoBusData, 0, {}},
        {"bus data, request of 24", kBusData, words({4, 0, 31, 3, 0, 8}), 8, kResultInvalidParameter, 0, {}},
        {"bus data, no area", kBusData, words({4, 0, 31, 3, 0, 8, 0}), 0, kResultInvalidParameter, 0, {}},
        {"bus-data service again", kRegisterBusData, {}, 0, 0, 0, {}},
        {"writing an MSR", kWriteMsr, words({0x1A2, 0, 1, 0}), 0, kResultNotSupported, 0, {}},
        {"writing an MSR, request of 15",
         kWriteMsr,
         std::vector<uint8_t>(15),
         0,
         kResultInvalidParameter,
         0,
         {}},
        {"table already registered", kRegisterTable, {}, 0, kResultTableState, 0, {}},
        {"unknown offset", 99, {}, 16, kResultNotSupported, 0, {}},
        {"unknown offset between the known", 17, {}, 16, kResultNotSupported, 0, {}},
    };
    for (const Case& c : cases)
    {
        const Answer answer = call(c.offset, c.input, c.area);
        expectAnswer(answer, c.result, c.count, c.data, c.what);
        EXPECT_EQ(answer.returned, 24 + (c.result == 0 ? c.count : 0)) << c.what;
    }
    // The driver-level flag with another group names no function.
    const Answer other = apiCall(m_device.driver(), 0x2000, kLogLevel, true, {}, 4);
    EXPECT_EQ(other.result, kResultNotSupported);
    EXPECT_EQ(m_device.state().firmwareCalls, 4u) << "the registrations alone reached the firmware";
}

TEST_F(DriverLevel, TableRegistrationsAndReloadedValues)
{
    struct Step
    {
        const char* what;
        uint32_t offset;
        uint32_t result;
        uint32_t table; // the board's registered services afterwards
    };
    const uint32_t all = 0xF;
    const Step steps[] = {
        {"withdraw", kWithdrawTable, 0, 0},
        {"withdraw again", kWithdrawTable, kResultTableState, 0},
        {"withdraw if registered: nothing to do", kWithdrawTableIfRegistered, 0, 0},
        {"register", kRegisterTable, 0, all},
        {"register again", kRegisterTable, kResultTableState, all},
        {"withdraw if registered", kWithdrawTableIfRegistered, 0, 0},
        {"initialise again", kReinitialize, 0, all},
    };
    for (const Step& step : steps)
    {
        EXPECT_EQ(call(step.offset, {}, 0).result, step.result) << step.what;
        EXPECT_EQ(m_device.state().serviceTable, step.table) << step.what;
    }
    // A firmware that refuses the table.
    call(kWithdrawTable, {}, 0);
    m_device.setFault(boardsim::FaultKind::status, 0, 254, 1, 1793);
    EXPECT_EQ(call(kRegisterTable, {}, 0).result, kResultNotSupported);
    m_device.setFault(boardsim::FaultKind::status, 0, 241, 1, 1793);
    EXPECT_EQ(call(kRegisterReadMsr, {}, 0).result, kResultNotSupported);

    // Values read again from the registry; "ApiTimeout" 0 or absent means 1000.
    struct Reload
    {
        const char16_t* name;
        std::optional<DWORD> value;
        uint32_t offset;
        uint32_t reloaded;
        uint32_t stored; // offsets 0, 1 and 8
    };
    const Reload reloads[] = {
        {u"LogLevel", 0x3, kReloadLogLevel, 0x3, kLogLevel},
        {u"LogLevel", std::nullopt, kReloadLogLevel, 0, kLogLevel},
        {u"DisableApi", 0, kReloadDisableApi, 0, kDisableApi},
        {u"ApiTimeout", 2500, kReloadApiTimeout, 2500, kApiTimeout},
        {u"ApiTimeout", 0, kReloadApiTimeout, 1000, kApiTimeout},
        {u"ApiTimeout", std::nullopt, kReloadApiTimeout, 1000, kApiTimeout},
    };
    for (const Reload& r : reloads)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, 0, &key), ERROR_SUCCESS);
        if (r.value)
            RegSetValueExW(key, r.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*r.value), 4);
        else // a text value counts as absent
            RegSetValueExW(key, r.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"9"), 4);
        RegCloseKey(key);
        EXPECT_EQ(call(r.offset, {}, 4).word(0), r.reloaded) << r.offset;
        EXPECT_EQ(call(r.stored, {}, 4).word(0), r.reloaded) << r.offset;
    }
}

TEST_F(DriverLevel, PhysicalMemoryOnlyThroughItsMappings)
{
    // Map the preset memory twice: both mappings see the same physical bytes.
    const Answer first = call(kMapMemory, wideWords(0x00100000, {8, 0}), 16);
    ASSERT_EQ(first.result, 0u);
    EXPECT_EQ(first.count, 16u);
    const uint64_t address = first.wide(0);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(first.word(2), 8u);
    EXPECT_EQ(first.word(3), 0u);
    const Answer second = call(kMapMemory, wideWords(0x00100000, {8, 0}), 16);
    ASSERT_EQ(second.result, 0u);
    const uint64_t other = second.wide(0);

    using Case = OffsetCase;
    auto write = [](uint64_t at, uint32_t size, uint32_t length, std::vector<uint8_t> bytes)
    {
        std::vector<uint8_t> input = wideWords(at, {size, length});
        input.insert(input.end(), bytes.begin(), bytes.end());
        return input;
    };
    const Case cases[] = {
        {"read all",
         kReadMemory,
         wideWords(address, {8, 0}),
         8,
         0,
         {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}},
        {"read inside", kReadMemory, wideWords(address + 5, {3, 0}), 3, 0, {0xA5, 0xA6, 0xA7}},
        {"read with a size under the area",
         kReadMemory,
         wideWords(address, {2, 0}),
         3,
         kResultSizeMismatch,
         {}},
        {"read past the mapping", kReadMemory, wideWords(address + 6, {8, 0}), 4, kResultSizeMismatch, {}},
        {"read an address never mapped",
         kReadMemory,
         wideWords(0x12345000, {8, 0}),
         4,
         kResultZeroArgument,
         {}},
        {"read just past the mapping",
         kReadMemory,
         wideWords(address + 8, {8, 0}),
         1,
         kResultZeroArgument,
         {}},
        {"read address 0", kReadMemory, wideWords(0, {8, 0}), 4, kResultZeroArgument, {}},
        {"read size 0", kReadMemory, wideWords(address, {0, 0}), 4, kResultZeroArgument, {}},
        {"read, request of 12", kReadMemory, words({1, 2, 3}), 4, kResultInvalidParameter, {}},
        {"read, request of 20", kReadMemory, words({1, 2, 3, 4, 5}), 4, kResultInvalidParameter, {}},
        {"read, no area", kReadMemory, wideWords(address, {8, 0}), 0, kResultInvalidParameter, {}},
        {"write 4 of 20", kWriteMemory, write(address, 8, 4, {1, 2, 3, 4}), 0, 0, {}},
        {"write a length of 5 with 4 bytes",
         kWriteMemory,
         write(address, 8, 5, {1, 2, 3, 4}),
         0,
         kResultSizeMismatch,
         {}},
        {"write more than the size",
         kWriteMemory,
         write(address, 2, 3, {1, 2, 3}),
         0,
         kResultSizeMismatch,
         {}},
        {"write past the mapping",
         kWriteMemory,
         write(address + 6, 8, 4, {1, 2, 3, 4}),
         0,
         kResultSizeMismatch,
         {}},
        {"write an address never mapped",
         kWriteMemory,
         write(0x7000, 8, 4, {1, 2, 3, 4}),
         0,
         kResultZeroArgument,
         {}},
        {"write length 0", kWriteMemory, write(address, 8, 0, {1}), 0, kResultZeroArgument, {}},
        {"write, request of 16", kWriteMemory, wideWords(address, {8, 0}), 0, kResultInvalidParameter, {}},
        {"the other mapping sees the write",
         kReadMemory,
         wideWords(other, {8, 0}),
         6,
         0,
         {1, 2, 3, 4, 0xA4, 0xA5}},
        {"map address 0", kMapMemory, wideWords(0, {8, 0}), 16, kResultZeroArgument, {}},
        {"map size 0", kMapMemory, wideWords(0x1000, {0, 0}), 16, kResultZeroArgument, {}},
        {"map above 4 GiB", kMapMemory, wideWords(0x100001000ull, {8, 0}), 16, kResultNoMapping, {}},
        {"map, area of 15", kMapMemory, wideWords(0x1000, {8, 0}), 15, kResultInvalidParameter, {}},
        {"map, request of 17", kMapMemory, words({0x1000, 0, 8, 0, 0}), 16, kResultInvalidParameter, {}},
        {"unmap an address never mapped",
         kUnmapMemory,
         wideWords(0x7000, {8, 0}),
         16,
         kResultZeroArgument,
         {}},
        {"unmap inside a mapping", kUnmapMemory, wideWords(address + 1, {7, 0}), 16, kResultZeroArgument, {}},
        {"unmap with another size", kUnmapMemory, wideWords(address, {4, 0}), 16, kResultSizeMismatch, {}},
        {"unmap address 0", kUnmapMemory, wideWords(0, {8, 0}), 16, kResultZeroArgument, {}},
        {"unmap, area of 8", kUnmapMemory, wideWords(address, {8, 0}), 8, kResultInvalidParameter, {}},
        {"unmap", kUnmapMemory, wideWords(address, {8, 0}), 16, 0, std::vector<uint8_t>(16, 0)},
        {"read after the unmap", kReadMemory, wideWords(address, {8, 0}), 4, kResultZeroArgument, {}},
        {"unmap twice", kUnmapMemory, wideWords(address, {8, 0}), 16, kResultZeroArgument, {}},
    };
    for (const Case& c : cases)
        expectAnswer(call(c.offset, c.input, c.area), c.result, std::nullopt, c.data, c.what);
    EXPECT_EQ(m_device.state().mappings, 2u) << "the API region and the second mapping";

    // A mapping the board refuses.
    m_device.setFault(boardsim::FaultKind::mapFailure, boardsim::kAny, boardsim::kAny, 1);
    EXPECT_EQ(call(kMapMemory, wideWords(0x1000, {8, 0}), 16).result, kResultNoMapping);
}

TEST_F(DriverLevel, PortsAreSixteenBitsForEveryWidth)
{
    m_device.takePortLog();
    using Case = OffsetCase;
    const Case cases[] = {
        {"read 8 bits", kReadPort8, words({0x61, 0}), 1, 0, {0x20}},
        {"read 16 bits", kReadPort16, words({0xCFC, 0}), 2, 0, {0x34, 0x12}},
        {"read 32 bits", kReadPort32, words({0xCFC, 0}), 4, 0, {0x34, 0x12, 0x00, 0x80}},
        {"read a port that answers nothing", kReadPort16, words({0x2F8, 0}), 2, 0, {0xFF, 0xFF}},
        {"read port 0", kReadPort8, words({0, 0}), 1, kResultZeroArgument, {}},
        {"read above 0xFFFF", kReadPort8, words({0x10061, 0}), 1, kResultZeroArgument, {}},
        {"read 8 bits into 2", kReadPort8, words({0x61, 0}), 2, kResultInvalidParameter, {}},
        {"read, request of 4", kReadPort32, words({0xCFC}), 4, kResultInvalidParameter, {}},
        {"write 8 bits to 0x3F8", kWritePort8, words({0x3F8, 0, 0x41, 0}), 0, 0, {}},
        {"write 8 bits to 0x100", kWritePort8, words({0x100, 0, 0x1FF, 0}), 0, 0, {}},
        {"write 16 bits", kWritePort16, words({0xCF8, 0, 0x12345678, 0}), 0, 0, {}},
        {"write 32 bits", kWritePort32, words({0xCF8, 0, 0x80000010, 0}), 0, 0, {}},
        {"write port 0", kWritePort8, words({0, 0, 1, 0}), 0, kResultZeroArgument, {}},
        {"write above 0xFFFF", kWritePort32, words({0x10000, 0, 1, 0}), 0, kResultZeroArgument, {}},
        {"write, request of 8", kWritePort8, words({0x80, 0}), 0, kResultInvalidParameter, {}},
    };
    for (const Case& c : cases)
        expectAnswer(call(c.offset, c.input, c.area), c.result, uint32_t(c.result == 0 ? c.data.size() : 0),
                     c.data, c.what);
    const std::vector<boardsim::PortWrite> log = m_device.takePortLog();
    ASSERT_EQ(log.size(), 4u);
    const boardsim::PortWrite expected[] = {
        {0x3F8, 1, 0x41}, {0x100, 1, 0xFF}, {0xCF8, 2, 0x5678}, {0xCF8, 4, 0x80000010}};
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(log[i].port, expected[i].port) << i;
        EXPECT_EQ(log[i].width, expected[i].width) << i;
        EXPECT_EQ(log[i].value, expected[i].value) << i;
    }
}

TEST_F(DriverLevel, PostCodeBeforeEachFirmwareCall)
{
    m_device.setDriverValue(u"LogLevel", 0x2);
    EXPECT_EQ(call(kReloadLogLevel, {}, 4).word(0), 2u);
    m_device.takePortLog();
    firmwareCall(m_device.driver(), 0, 0, {}, 4);
    firmwareCall(m_device.driver(), 0x1234, 1, {}, 4); // a failing call writes it too
    call(kProcessorCount, {}, 4);                      // the driver-level group does not
    const std::vector<boardsim::PortWrite> log = m_device.takePortLog();
    ASSERT_EQ(log.size(), 2u);
    for (const boardsim::PortWrite& write : log)
    {
        EXPECT_EQ(write.port, 0x80);
        EXPECT_EQ(write.width, 1);
        EXPECT_EQ(write.value, 0xAAu);
    }
}

// Tjmax as the registry holds it for the simulated processor, for each state
// of the key, and for processors that name themselves differently.
TEST(Tjmax, FromTheProcessorsValue)
{
    const std::u16string parameters = u"Drivers\\BuiltIn\\Boarddrv\\Parameters\\Tjmax";
    enum class Key
    {
        configured,
        noSubkey,
        noValue,
        textValue,
        wideValue
    };
    struct Case
    {
        const char* what;
        const char* processor; // description lines replacing the processor's
        const char16_t* name;  // the value's name for this processor
        Key key;
        uint32_t tjmax;
        bool createdAsZero;
    };
    const char* const noBrand = "cpuid 0x80000000 0x80000003 0 0 0\n";
    const Case cases[] = {
        {"configured", "", kProcessorName, Key::configured, 95, false},
        {"no subkey", "", kProcessorName, Key::noSubkey, 0, false},
        {"no value: created as 0", "", kProcessorName, Key::noValue, 0, true},
        {"a text value counts as absent", "", kProcessorName, Key::textValue, 0, true},
        {"an 8-byte value counts as absent", "", kProcessorName, Key::wideValue, 0, true},
        {"no brand string", noBrand, u"000906EA-00000000", Key::configured, 95, false},
        {"no leaf 1", "cpuid 0 0 0 0 0\n", kProcessorName, Key::configured, 0, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        BoardDevice device;
        device.describe(boardOfVersion("2.4.0") + c.processor);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, parameters.c_str());
        if (c.key != Key::noSubkey)
        {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, 0, 0, nullptr, &key,
                                      nullptr),
                      ERROR_SUCCESS);
            const DWORD value = 95;
            const uint64_t wide = 95;
            if (c.key == Key::configured)
                RegSetValueExW(key, c.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
            else if (c.key == Key::textValue)
                RegSetValueExW(key, c.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"95"), 6);
            else if (c.key == Key::wideValue)
                RegSetValueExW(key, c.name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&wide), 8);
            RegCloseKey(key);
        }
        ASSERT_TRUE(device.start()) << device.log();
        const Answer answer = driverCall(device.driver(), kTjmax, {}, 4);
        EXPECT_EQ(answer.result, 0u);
        EXPECT_EQ(answer.word(0), c.tjmax);

        HKEY key = nullptr;
        const bool subkey =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, 0, &key) == ERROR_SUCCESS;
        EXPECT_EQ(subkey, c.key != Key::noSubkey) << "the subkey is never created";
        if (subkey)
        {
            const std::optional<DWORD> stored = os::queryNumber(key, c.name);
            if (c.createdAsZero)
            {
                EXPECT_EQ(stored, std::optional<DWORD>(0));
            }
            RegCloseKey(key);
        }
        EXPECT_EQ(device.stop(), 0) << device.log();
    }
}

} // namespace
