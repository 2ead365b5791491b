// The simulated board on its own: its description file, its physical memory
// and the firmware's function table with the faults tests ask for.
#include "description.h"
#include "firmware.h"
#include "firmware_functions.h"
#include "physical_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace
{

using namespace boardsim;

TEST(BoardSimDescription, LinesAndTheirErrors)
{
    struct Case
    {
        const char* line;
        const char* error; // part of the message; null when the line is good
    };
    const Case cases[] = {
        {"firmware-version 1.12.0", nullptr},
        {"firmware-version 2.3", "<major>.<minor>.<build>"},
        {"firmware-version 1.256.0", "<major>.<minor>.<build>"},
        {"firmware-version 1.2.3x", "<major>.<minor>.<build>"},
        {"signature 0x1FFFF4 0x10", nullptr},
        {"signature 0x1FFFF5 0x10", "inside the image"},
        {"signature 0x100", "takes 2 arguments"},
        {"ram 0x1000 hex:0102", nullptr},
        {"ram 0xFFDFFFFF hex:0102", "below the firmware image"},
        {"ram 0x1000 hex:012", "hex:<bytes>"},
        {"ram 0x1000 \"text\"", "hex:<bytes>"},
        {"fault busy * * 3", nullptr},
        {"fault status 0 241 always 1793", nullptr},
        {"fault sometimes * * 1", "unknown fault kind"},
        {"fault busy x * 1", "a number or *"},
        {"cpuid 1 2 3 4 5", nullptr},
        {"cpuid 1 2 3 4", "takes 5 arguments"},
        {"brand \"Board\"", nullptr},
        {"brand Board", "in quotes"},
        {"msr 0x1A2 0xFFFFFFFFFFFFFFFF", nullptr},
        {"msr 0x1A2 -1", "must be a number"},
        {"pci 0 31 7 hex:AD1B", nullptr},
        {"pci 0 32 0 hex:AD1B", "up to 31"},
        {"pci 0 1 8 hex:AD1B", "up to 7"},
        {"port 0xFFFF 1", nullptr},
        {"port 0x10000 1", "up to 65535"},
        {"voltage 5", "unknown keyword"},
        {"brand \"unterminated", "unterminated text"},
        {"answer 0x9000 54 hex:F6", nullptr},
        {"answer 0x0 1 \"BOARD\" 16", nullptr},
        {"answer 0x0 1 \"BOARD\" 4", "fits its record size"},
        {"answer 0x7000 0 hex:00", "set up function by function"},
        {"answer 0x9000 54", "answer <group> <offset>"},
        {"value 0x9000 54 1 -128", nullptr},
        {"value 0x9000 54 1 -129", "does not fit 1 bytes"},
        {"value 0x9000 48 2 65535", nullptr},
        {"value 0x9000 48 2 65536", "does not fit 2 bytes"},
        {"value 0x9000 48 0 1", "1 to 4 bytes"},
        {"write 0x3000 6 1 2", nullptr},
        {"write 0x3000 6", "write <group> <offset> <size>"},
        {"command 0x5000 9", nullptr},
        {"sensor 1 2 52 0x8000", nullptr},
        {"sensor 1 2 65536 0", "up to 65535"},
        {"eeprom hex:0102", nullptr},
        {"battery-date 31 12 2024 0xA5", nullptr},
        {"battery-date 32 12 2024 0", "up to 31"},
        {"battery-date 1 16 2024 0", "up to 15"},
        {"bootloader 0 0x50 \"PSU-LOADER\" 1.4.2", nullptr},
        {"bootloader 0 0x50 PSU 1.4.2", "in quotes"},
        {"bootloader 0 0x50 \"PSU\" 1.4.256", "of a byte each"},
    };
    for (const Case& c : cases)
    {
        BoardDescription description;
        std::string error;
        const bool parsed =
            parseDescription(std::string("# comment\n\n") + c.line + "  # trailing\n", description, error);
        EXPECT_EQ(parsed, c.error == nullptr) << c.line << ": " << error;
        if (c.error)
        {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
            EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
        }
    }
}

TEST(BoardSimDescription, ValuesAsTheBoardKeepsThem)
{
    BoardDescription description;
    std::string error;
    ASSERT_TRUE(parseDescription("firmware-version 1.12.7\n"
                                 "signature 0x100 0x40\nsignature 0x200 0x80\n"
                                 "fault status 0 241 always 1793\n"
                                 "brand \"ABCDEFGHIJKLMNOPQRS\"\n"
                                 "pci 1 31 7 hex:AD1B\n"
                                 "msr 0x10 0x0123456789ABCDEF\n",
                                 description, error))
        << error;
    EXPECT_EQ(description.version, packVersion(1, 12, 7));
    ASSERT_EQ(description.signatures.size(), 2u);
    EXPECT_EQ(description.signatures[1].position, 0x200u);
    EXPECT_EQ(description.signatures[1].entryOffset, 0x80u);
    ASSERT_EQ(description.faults.size(), 1u);
    EXPECT_EQ(description.faults[0].count, kAlways);
    EXPECT_EQ(description.faults[0].value, 1793u);
    // The brand fills three leaves of 16 bytes and raises the highest extended leaf.
    EXPECT_EQ(description.cpuid.at(0x80000000)[0], 0x80000004u);
    char brand[48] = {};
    for (uint32_t i = 0; i < 3; ++i)
        std::memcpy(brand + 16 * i, description.cpuid.at(0x80000002 + i).data(), 16);
    EXPECT_STREQ(brand, "ABCDEFGHIJKLMNOPQRS");
    const std::vector<uint8_t>& space = description.pci.at(1 << 8 | (31 | 7 << 5));
    EXPECT_EQ(space.size(), 256u);
    EXPECT_EQ(space[1], 0x1B);
    EXPECT_EQ(space[2], 0);
    EXPECT_EQ(description.msrs.at(0x10), 0x0123456789ABCDEFull);
}

TEST(BoardSimDescription, FamiliesAsTheBoardKeepsThem)
{
    BoardDescription description;
    std::string error;
    ASSERT_TRUE(parseDescription("value 0x9000 54 1 -10\n"
                                 "value 0x9000 17 4 100234\n"
                                 "answer 0x0 1 \"AB\" 4\n"
                                 "write 0x3000 6 1 2\n"
                                 "sensor 1 2 52 0x4000\n"
                                 "battery-date 14 3 2022 0x5A\n"
                                 "bootloader 1 0x51 \"FAN\" 2.0.7\n",
                                 description, error))
        << error;
    const families::FamiliesSetup& setup = description.families;
    EXPECT_EQ(setup.reads.at({0x9000, 54}), std::vector<uint8_t>({0xF6}));
    EXPECT_EQ(setup.reads.at({0x9000, 17}), std::vector<uint8_t>({0x8A, 0x87, 0x01, 0x00}));
    EXPECT_EQ(setup.reads.at({0x0, 1}), std::vector<uint8_t>({'A', 'B', 0, 0}));
    EXPECT_EQ(setup.writes.at({0x3000, 6}).size, 1u);
    EXPECT_EQ(setup.writes.at({0x3000, 6}).mirrorOffset, 2);
    ASSERT_EQ(setup.sensors.size(), 1u);
    EXPECT_EQ(setup.sensors[0].flags, 0x4000);
    EXPECT_EQ(setup.batteryDate, 0x5Au | 14u << 11 | 3u << 16 | 2022u << 20);
    EXPECT_EQ(setup.bootLoader.segment, 1);
    EXPECT_EQ(setup.bootLoader.address, 0x51);
    EXPECT_EQ(setup.bootLoader.name, "FAN");
    EXPECT_EQ(setup.bootLoader.version[2], 7);
}

TEST(BoardSimDescription, TheShippedDescriptionParses)
{
    std::ifstream file(BOARDSIM_DEFAULT_DESCRIPTION);
    ASSERT_TRUE(file) << BOARDSIM_DEFAULT_DESCRIPTION;
    std::stringstream text;
    text << file.rdbuf();
    BoardDescription description;
    std::string error;
    ASSERT_TRUE(parseDescription(text.str(), description, error)) << error;
    EXPECT_EQ(description.signatures.size(), 1u);
}

TEST(BoardSimMemory, MappingsShareThePhysicalBytes)
{
    PhysicalMemory memory;
    std::string error;
    ASSERT_TRUE(memory.create(error)) << error;
    const uint8_t bytes[] = {1, 2, 3, 4};
    ASSERT_TRUE(memory.write(0x12FFE, bytes, sizeof bytes)); // across a page boundary
    auto* first = static_cast<uint8_t*>(memory.map(0x12FFE, 4));
    auto* second = static_cast<uint8_t*>(memory.map(0x12FFF, 3));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::memcmp(first, bytes, 4), 0);
    second[0] = 0x99;
    EXPECT_EQ(first[1], 0x99);
    EXPECT_EQ(memory.mappings(), 2u);
    EXPECT_TRUE(memory.unmap(first));
    EXPECT_FALSE(memory.unmap(first)) << "an address is unmapped once";
    EXPECT_FALSE(memory.unmap(second + 1)) << "only the address map() handed out";
    EXPECT_EQ(memory.mappings(), 1u);

    // The top of the 32-bit space is the last that can be mapped.
    EXPECT_NE(memory.map(0xFFFFFFFF, 1), nullptr);
    EXPECT_EQ(memory.map(0xFFFFFFFF, 2), nullptr);
    EXPECT_EQ(memory.map(0x1000, 0), nullptr);
    EXPECT_TRUE(memory.fill(0xFFE00000, 0xFF, 16));
    EXPECT_EQ(memory.mappings(), 2u);
}

class BoardSimFirmware : public ::testing::Test
{
protected:
    BoardSimFirmware() : m_firmware(packVersion(2, 3, 1)) { installFunctions(m_firmware, m_description); }

    // One call; the status, or -1 for a processor exception.
    int64_t call(DWORD group, DWORD offset, std::vector<uint8_t> input, std::vector<uint8_t>& output)
    {
        m_returned = 0;
        const ddk::FirmwareCall call{group,         offset,
                                     input.data(),  static_cast<DWORD>(input.size()),
                                     output.data(), static_cast<DWORD>(output.size()),
                                     &m_returned};
        DWORD status = 0;
        return m_firmware.call(call, status) ? int64_t(status) : -1;
    }

    BoardDescription m_description;
    Firmware m_firmware;
    DWORD m_returned = 0;
};

TEST_F(BoardSimFirmware, VersionRegistrationsAndFaults)
{
    std::vector<uint8_t> out(8, 0xEE), none;
    EXPECT_EQ(call(0, 0, {}, out), 0);
    EXPECT_EQ(m_returned, 4u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4), (std::vector<uint8_t>{2, 3, 1, 0}));
    std::vector<uint8_t> small(3);
    EXPECT_EQ(call(0, 0, {}, small), int64_t(kStatusBadParameter));

    // Single services take the full address; the handshake only 0xAA.
    uint64_t address = 0x00007F0012345678ull;
    std::vector<uint8_t> full(8);
    std::memcpy(full.data(), &address, 8);
    EXPECT_EQ(call(0, 243, full, none), 0);
    EXPECT_EQ(call(0, 241, {1, 2, 3, 4}, none), int64_t(kStatusBadParameter));
    EXPECT_EQ(call(0, 242, {0xAB}, none), int64_t(kStatusBadParameter));
    EXPECT_EQ(call(0, 242, {0xAA}, none), 0);
    const BoardState state = m_firmware.state();
    EXPECT_EQ(state.singleBusData, 1u);
    EXPECT_EQ(state.singleReadMsr, 0u);
    EXPECT_EQ(state.handshakes, 1u);
    EXPECT_EQ(reinterpret_cast<uint64_t>(m_firmware.services().busData), address);

    // Unknown functions, and the faults in the order the firmware takes them.
    EXPECT_EQ(call(0x7777, 1, {}, none), int64_t(kStatusNotSupported));
    m_firmware.faults().set({uint32_t(FaultKind::busy), 0, 0, 2, 0});
    m_firmware.faults().set({uint32_t(FaultKind::exception), kAny, 0, 1, 0});
    m_firmware.faults().set({uint32_t(FaultKind::answerSize), 0, 0, 1, 99});
    EXPECT_EQ(call(0, 0, {}, out), -1);
    EXPECT_EQ(call(0, 0, {}, out), int64_t(kStatusBusy));
    EXPECT_EQ(call(0x5000, 0, {}, out), int64_t(kStatusNotSupported))
        << "the busy fault is for group 0 alone";
    EXPECT_EQ(call(0, 0, {}, out), int64_t(kStatusBusy));
    EXPECT_EQ(call(0, 0, {}, out), 0);
    EXPECT_EQ(m_returned, 99u);
    EXPECT_EQ(call(0, 0, {}, out), 0);
    EXPECT_EQ(m_returned, 4u);
    EXPECT_EQ(m_firmware.state().firmwareCalls, 13u);
}

TEST_F(BoardSimFirmware, TheServiceTable)
{
    std::vector<uint8_t> table(kFirmwareServiceTableSize, 0), none;
    const char* const names[] = {"READMSR", "GETBUSDT", "MAPMEM", "UNMAPMEM"};
    for (uint32_t i = 0; i < 4; ++i)
    {
        FirmwareServiceEntry entry{};
        std::memcpy(entry.name, names[i], std::strlen(names[i]));
        entry.addressLow = 0x1000 * (i + 1);
        entry.addressHigh = 0x7F;
        std::memcpy(table.data() + 16 * i, &entry, sizeof entry);
    }
    EXPECT_EQ(call(0, 254, std::vector<uint8_t>(table.begin(), table.end() - 1), none),
              int64_t(kStatusBadParameter));
    EXPECT_EQ(call(0, 254, table, none), 0);
    EXPECT_EQ(m_firmware.state().serviceTable,
              kServiceReadMsr | kServiceBusData | kServiceMapMemory | kServiceUnmapMemory);
    EXPECT_EQ(reinterpret_cast<uint64_t>(m_firmware.services().mapMemory), 0x7F00003000ull);
    // Without the services the test functions answer "not supported".
    EXPECT_EQ(call(0, 255, {}, none), 0);
    EXPECT_EQ(m_firmware.state().serviceTable, 0u);
    std::vector<uint8_t> out(12);
    EXPECT_EQ(call(kTestGroup, kTestReadMsr, {0xA2, 0x01, 0, 0}, out), int64_t(kStatusNotSupported));
    EXPECT_EQ(call(kTestGroup, kTestMapMemory, std::vector<uint8_t>(12), out), int64_t(kStatusNotSupported));
}

} // namespace
