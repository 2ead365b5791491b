// The trace lines of "LogLevel" bits 0, 2 and 3 on the debug output (the
// device manager's log).
#include <board_test_support.h>

#include <regex>
#include <sstream>

namespace
{

using namespace boardtest;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
    }
    return result;
}

// The dump lines after the last line that starts with `title`.
std::vector<std::string> dumpAfter(const std::string& log, const std::string& title)
{
    const std::vector<std::string> all = lines(log);
    size_t at = all.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].rfind(title, 0) == 0)
            at = i;
    std::vector<std::string> dump;
    static const std::regex kDumpLine("([0-9A-F]{2} ){1,16}");
    for (size_t i = at + 1; i < all.size() && std::regex_match(all[i], kDumpLine); ++i)
        dump.push_back(all[i]);
    return dump;
}

class Traces : public RunningBoard
{
protected:
    void SetUp() override { start(); }

    void setLevel(DWORD level)
    {
        reload(u"LogLevel", level, wmd::kReloadLogLevel);
        ASSERT_EQ(driverCall(m_device.driver(), wmd::kLogLevel, {}, 4).word(0), level);
    }
};

TEST_F(Traces, CallsWithTheirDataAtLevelOne)
{
    setLevel(0x1);
    struct Case
    {
        const char* what;
        size_t inputSize;
        size_t lines;
        size_t lastLineBytes;
    };
    // Three characters a byte: the dump ends within 1000 characters, at 333 bytes.
    const Case cases[] = {
        {"one line", 5, 1, 5},
        {"one byte on the second line", 17, 2, 1},
        {"exactly 20 lines", 320, 20, 16},
        {"cut at 1000 characters", 512, 21, 13},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> input(c.inputSize);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = static_cast<uint8_t>(i);
        const Answer answer = firmwareCall(m_device.driver(), 0x1234, 9, input, 4);
        EXPECT_EQ(answer.result, 1793u | wmd::kFirmwareBit);
        const std::string log = m_device.log();
        EXPECT_NE(
            log.find("CBiosApi::BiosIoControl(), InBuffer:[1.." + std::to_string(c.inputSize) + "]\r\n"),
            std::string::npos)
            << c.what;
        const std::vector<std::string> dump = dumpAfter(log, "CBiosApi::BiosIoControl(), InBuffer:");
        ASSERT_EQ(dump.size(), c.lines) << c.what;
        EXPECT_EQ(dump.front().substr(0, 12), "00 01 02 03 ") << c.what;
        EXPECT_EQ(dump.back().size(), 3 * c.lastLineBytes) << c.what;
        size_t characters = 0;
        for (const std::string& line : dump)
            characters += line.size();
        EXPECT_LE(characters, 1000u) << c.what;
    }
    const std::string log = m_device.log();
    EXPECT_NE(log.find("CBiosApi::BiosIoControl(IG:0x1234, IO:0x9)\r\n"), std::string::npos);
    EXPECT_NE(log.find("CBiosApi::BiosIoControl(apiResult:0x701, apiBytesReturned:0)\r\n"),
              std::string::npos);

    // The output: what the firmware delivered.
    firmwareCall(m_device.driver(), 0, 0, {}, 16);
    EXPECT_NE(m_device.log().find("CBiosApi::BiosIoControl(apiResult:0x0, apiBytesReturned:4)\r\n"
                                  "CBiosApi::BiosIoControl() OutBuffer:[1..4]\r\n02 04 00 00 \r\n"),
              std::string::npos)
        << m_device.log();

    driverCall(m_device.driver(), wmd::kReadMsr, words({0x1A2}), 8);
    EXPECT_NE(m_device.log().find("CBiosApi::DriverIoControl(), InBuffer:[1..4]\r\nA2 01 00 00 \r\n"),
              std::string::npos);
    EXPECT_NE(
        m_device.log().find("CBiosApi::DriverIoControl( drvResult:0x0, drvBytesReturned:8)\r\n"
                            "CBiosApi::DriverIoControl() OutBuffer:[1..8]\r\n00 00 64 00 00 00 00 00 \r\n"),
        std::string::npos)
        << m_device.log();
    for (const std::string& line : lines(m_device.log()))
        EXPECT_LT(line.size(), 256u);
    EXPECT_EQ(occurrences(m_device.log(), "nTry:"), 0u);
    EXPECT_EQ(occurrences(m_device.log(), "pIn:"), 0u);
}

TEST_F(Traces, RetriesAndArgumentsAtBitsTwoAndThree)
{
    setLevel(0xC);
    m_device.setFault(boardsim::FaultKind::busy, 0, 0, 2);
    EXPECT_EQ(firmwareCall(m_device.driver(), 0, 0, {}, 4).result, 0u);
    driverCall(m_device.driver(), wmd::kProcessorCount, {}, 4);
    const std::string log = m_device.log();
    EXPECT_EQ(occurrences(log, "CBiosApi::BiosIoControl()->BIOSAPI_ERROR_BUSY, nTry:1\r\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, "CBiosApi::BiosIoControl()->BIOSAPI_ERROR_BUSY, nTry:2\r\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, "nTry:3"), 0u);
    static const std::regex kFirmwareArguments(
        "CBiosApi::BiosIoControl\\(m_pProcAddr_c:0x[0-9A-F]+, IG:0x0, IO:0x0, pIn:0x0, cbIn:0x0, "
        "pOut:0x[0-9A-F]+, cbOut:0x4, pBytesReturned:0x[0-9A-F]+\\)\r");
    static const std::regex kDriverArguments(
        "CBiosApi::DriverIoControl\\(IG:0x10000000, IO:0x5, pIn:0x0, "
        "cbIn:0x0, pOut:0x[0-9A-F]+, cbOut:0x4, pBytesReturned:0x[0-9A-F]+\\)\r");
    EXPECT_TRUE(std::regex_search(log, kFirmwareArguments)) << log;
    EXPECT_TRUE(std::regex_search(log, kDriverArguments)) << log;
    EXPECT_EQ(occurrences(log, "InBuffer:"), 0u) << "bit 0 is not set";
}

TEST_F(Traces, NothingAtLevelZero)
{
    m_device.setFault(boardsim::FaultKind::busy, 0, 0, 1);
    firmwareCall(m_device.driver(), 0, 0, {1, 2, 3}, 4);
    driverCall(m_device.driver(), wmd::kProcessorCount, {}, 4);
    EXPECT_EQ(occurrences(m_device.log(), "CBiosApi::"), 0u) << m_device.log();
}

} // namespace
