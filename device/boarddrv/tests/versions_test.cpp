// What the firmware API version decides: user calls, the service table or the
// single services, and the events in the log file, in English or German.
#include <board_test_support.h>

namespace
{

using namespace boardtest;
using boardsim::kServiceBusData;
using boardsim::kServiceMapMemory;
using boardsim::kServiceReadMsr;
using boardsim::kServiceUnmapMemory;

constexpr uint32_t kWholeTable = kServiceReadMsr | kServiceBusData | kServiceMapMemory | kServiceUnmapMemory;

TEST(Versions, UserCallsAndServiceRegistration)
{
    struct Case
    {
        const char* version;
        const char* extra;
        bool userCalls;
        uint32_t table;
        uint32_t singleReadMsr;
        uint32_t singleBusData;
        uint32_t handshakes;
    };
    const Case cases[] = {
        {"1.11.0", "", false, 0, 0, 1, 1},
        {"1.12.0", "", true, 0, 1, 1, 1},
        {"1.12.0", "fault status 0 241 1 1793", false, 0, 0, 1, 1},
        {"2.0.0", "", true, kWholeTable, 0, 0, 0},
        {"2.3.1", "", true, 0, 1, 1, 1},
        {"2.4.0", "", true, kWholeTable, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.version) + " " + c.extra);
        BoardDevice device;
        device.describe(boardOfVersion(c.version) + c.extra + "\n");
        ASSERT_TRUE(device.start()) << device.log();
        ASSERT_NE(device.driver(), INVALID_HANDLE_VALUE) << device.log();

        const boardsim::BoardState state = device.state();
        EXPECT_EQ(state.serviceTable, c.table);
        EXPECT_EQ(state.singleReadMsr, c.singleReadMsr);
        EXPECT_EQ(state.singleBusData, c.singleBusData);
        EXPECT_EQ(state.handshakes, c.handshakes);

        const Answer firmware = firmwareCall(device.driver(), 0, 0, {}, 4);
        const Answer driverLevel = driverCall(device.driver(), wmd::kProcessorCount, {}, 4);
        for (const Answer& answer : {firmware, driverLevel})
        {
            EXPECT_EQ(answer.ok, c.userCalls);
            EXPECT_EQ(answer.error, c.userCalls ? 0u : wmd::kErrorApiNotReady);
        }
        if (c.userCalls)
        {
            // The firmware calls the services back, whichever way they were registered.
            const Answer msr = firmwareCall(device.driver(), boardsim::kTestGroup, boardsim::kTestReadMsr,
                                            words({0x1A2}), 12);
            EXPECT_EQ(msr.result, 0u);
            EXPECT_EQ(msr.word(0), 1u);
            EXPECT_EQ(msr.word(1), 0x00640000u);
            EXPECT_EQ(msr.word(2), 0u);
            const Answer bus = firmwareCall(device.driver(), boardsim::kTestGroup, boardsim::kTestBusData,
                                            words({4, 0, 31, 3, 0}), 8);
            EXPECT_EQ(bus.result, 0u);
            EXPECT_EQ(bus.word(0), 4u);
            EXPECT_EQ(bus.word(1), 0x013C1BADu);
        }
        EXPECT_EQ(device.stop(), 0) << device.log();
        const std::string log = device.log();
        const size_t registered = log.find("service table registered: READMSR GETBUSDT MAPMEM UNMAPMEM");
        const size_t withdrawn = log.find("service table withdrawn");
        if (c.table)
        {
            // Boarddrv's end withdraws the table.
            EXPECT_NE(registered, std::string::npos) << log;
            EXPECT_NE(withdrawn, std::string::npos) << log;
            EXPECT_LT(registered, withdrawn);
        }
        else
        {
            EXPECT_EQ(registered, std::string::npos) << log;
            EXPECT_EQ(withdrawn, std::string::npos) << log;
        }
    }
}

TEST(Versions, TheFirmwareCallsTheWholeTableBack)
{
    BoardDevice device;
    device.describe(boardOfVersion("2.4.0") + "ram 0x00080000 hex:0011223344556677\n");
    ASSERT_TRUE(device.start()) << device.log();
    const Answer memory = firmwareCall(device.driver(), boardsim::kTestGroup, boardsim::kTestMapMemory,
                                       words({0x00080002, 0, 4}), 8);
    EXPECT_EQ(memory.result, 0u);
    EXPECT_EQ(memory.count, 4u);
    EXPECT_EQ(std::vector<uint8_t>(memory.data.begin(), memory.data.begin() + 4),
              (std::vector<uint8_t>{0x22, 0x33, 0x44, 0x55}));
    // A physical address above 4 GiB cannot be mapped (it would wrap to the wrong memory).
    const Answer high = firmwareCall(device.driver(), boardsim::kTestGroup, boardsim::kTestMapMemory,
                                     words({0x00080000, 1, 4}), 8);
    EXPECT_EQ(high.result, 1802u | wmd::kFirmwareBit);
    // An empty PCI slot: the bus-data service reports nothing read.
    const Answer empty = firmwareCall(device.driver(), boardsim::kTestGroup, boardsim::kTestBusData,
                                      words({4, 0, 5, 0, 0}), 8);
    EXPECT_EQ(empty.result, 0u);
    EXPECT_EQ(empty.word(0), 0xFFFFFFFFu);
    EXPECT_EQ(device.state().mappings, 1u) << "the service unmapped what it mapped";
    EXPECT_EQ(device.stop(), 0) << device.log();
}

TEST(Versions, ReinitialisationSeesANewVersion)
{
    BoardDevice device;
    device.describe(boardOfVersion("2.3.1"));
    ASSERT_TRUE(device.start()) << device.log();
    device.setVersion(boardsim::packVersion(2, 4, 0));
    EXPECT_EQ(driverCall(device.driver(), wmd::kReinitialize, {}, 0).result, 0u);
    EXPECT_EQ(device.state().serviceTable, kWholeTable);
    device.setVersion(boardsim::packVersion(1, 11, 0));
    EXPECT_EQ(driverCall(device.driver(), wmd::kReinitialize, {}, 0).result, 0u);
    const Answer refused = firmwareCall(device.driver(), 0, 0, {}, 4);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, wmd::kErrorApiNotReady);
    EXPECT_EQ(device.stop(), 0) << device.log();
}

// The event log, as the file holds it (the device's code page).
TEST(Versions, EventsInTheLogFile)
{
    const std::string stopped = "Service stopped.\r\n";
    struct Case
    {
        const char* what;
        const char* version;
        const char* extra;
        bool tjmax;
        bool german;
        std::string expected;
    };
    const Case cases[] = {
        {"all in place", "2.4.0", "", true, false, stopped},
        {"no Tjmax configured", "2.4.0", "", false, false,
         "Missing or invalid CPU Tjmax parameter configuration (maximal junction temperature). Please update "
         "the "
         "\"Corvanta Rodevadido Device Driver\"!\r\n" +
             stopped},
        {"the handshake refused", "1.12.0", "fault status 0 242 1 1793", true, false,
         "Extended PWRCTRL and seconds UPS functions are not supported by existing BIOS version.\r\n" +
             stopped},
        {"the MSR service refused", "1.12.0", "fault status 0 241 1 1793", true, false,
         "The requested device functionality is not supported by existing BIOS version!\r\n" + stopped},
        {"German: no Tjmax and the handshake refused", "2.3.1", "fault status 0 242 1 1793", false, true,
         "Falsche oder fehlende CPU-Tjmax-Parameterkonfiguration (maximal junction temperature). "
         "Aktualisieren "
         "Sie bitte \"Corvanta Rodevadido Device Driver\"!\r\n"
         "Erweiterte PWRCTRL- und Sekunden-USV Funktionen sind in der vorhandenen BIOS-Version nicht "
         "verf\xFC"
         "gbar.\r\n"
         "Dienst wurde beendet.\r\n"},
        {"German: not supported", "1.12.0", "fault status 0 241 1 1793", true, true,
         "Die gew\xFC"
         "schte Ger\xE4"
         "tefunktionalit\xE4"
         "t wird von der vorhandenen BIOS-Version nicht unterst\xFC"
         "tzt!\r\nDienst wurde beendet.\r\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        BoardDevice device;
        device.describe(boardOfVersion(c.version) + c.extra + "\n");
        device.setDriverValue(u"LogLevel", 0x10);
        if (!c.tjmax)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\Boarddrv\\Parameters\\Tjmax");
        if (c.german)
            setNumber(u"Locale", u"SystemLangID", 0x0407);
        device.makeLogFolder();
        ASSERT_TRUE(device.start()) << device.log();
        // "Service started." came before the level was read: it is not in the file.
        EXPECT_EQ(device.stop(), 0) << device.log();
        EXPECT_EQ(device.eventLog(), c.expected);
        // The debug output shows every event, the first start included.
        EXPECT_EQ(occurrences(device.log(), "Boarddrv event 0x400007D2"), 1u);
    }
}

TEST(Versions, NoEventsWithoutTheLevelOrTheFolder)
{
    for (const bool folder : {false, true})
    {
        BoardDevice device;
        device.describe(boardOfVersion("1.12.0") + "fault status 0 241 1 1793\n");
        device.setDriverValue(u"LogLevel", folder ? 0 : 0x10);
        if (folder)
            device.makeLogFolder();
        ASSERT_TRUE(device.start()) << device.log();
        EXPECT_EQ(device.stop(), 0) << device.log();
        EXPECT_EQ(device.eventLog(), "");
        EXPECT_EQ(occurrences(device.log(), "Boarddrv event 0xC0000FA3"), 1u);
    }
}

} // namespace
