#include "firmware_update_cases.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace boardkit::testing
{

namespace
{

std::string fixtureText(const std::string& name)
{
    std::ifstream file(os::programDirectory() + "/boardkit-fixtures/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The bytes of a line of hex pairs after its colon; empty for any other line.
std::vector<uint8_t> hexBytes(const std::string& line)
{
    std::vector<uint8_t> bytes;
    if (line.size() < 3 || line[0] != ':' || line.size() % 2 == 0 ||
        line.find_first_not_of("0123456789ABCDEFabcdef", 1) != std::string::npos)
        return {};
    for (size_t at = 1; at + 1 < line.size(); at += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(line.substr(at, 2).c_str(), nullptr, 16)));
    return bytes;
}

// The file position after its first `lines` lines.
int64_t positionAfterLines(const std::string& name, size_t lines)
{
    const std::string text = fixtureText(name);
    size_t at = 0;
    for (size_t line = 0; line < lines; ++line)
        at = text.find('\n', at) + 1;
    return static_cast<int64_t>(at);
}

struct UpdateCase
{
    const char* name;
    const char* file;
    DWORD options;
    BusSetup setup;
    DWORD error;
    std::vector<DWORD> codes;
    // The value of the last report; -1 for the file size.
    int64_t lastValue;
    // How many of the file's records reach the boot loader; -1 for all.
    int records;
    Progress progress = {};
};

constexpr DWORD kOptional = WM_FWUPDATE_NAME_OPTIONAL | WM_FWUPDATE_VERSION_OPTIONAL;
constexpr int64_t kFileSize = -1;
constexpr int kAll = -1;

std::vector<UpdateCase> updateCases()
{
    const BusSetup none;
    BusSetup emptyMode{BusSetup::shortenAnswers, 0xA0, 0, 1};
    BusSetup shortThirdAnswer{BusSetup::shortenAnswers, 0xA6, 2, 1, 2};
    BusSetup locked{BusSetup::lockMode};
    BusSetup refused{BusSetup::refuseRecord};
    refused.status = 5;
    return {
        {"a good file", "good.hex", 0, none, 0, {1, 2, 2, 2, 2, 2, 2, 2, 3}, kFileSize, kAll},
        {"lines of 299 characters and CRLF",
         "long_line.hex",
         0,
         none,
         0,
         {1, 2, 2, 2, 2, 2, 3},
         kFileSize,
         kAll},
        {"the end of the file ends it", "no_end_record.hex", 0, none, 0, {1, 2, 2, 2, 2, 3}, kFileSize, kAll},
        {"checks made optional",
         "checks_missing.hex",
         kOptional,
         none,
         0,
         {1, 2, 2, 2, 2, 2, 3},
         kFileSize,
         kAll},
        {"name mismatch", "wrong_name.hex", 0, none, 50, {1, 7}, 50, 0},
        {"boot loader older than the file", "newer_version.hex", 0, none, 50, {1, 2, 8}, 50, 0},
        {"data before a required check", "checks_missing.hex", 0, none, 13, {1, 9}, 0x0000, 0},
        {"empty mode", "good.hex", 0, emptyMode, 13, {1, 2, 2, 4}, 13, 0},
        {"loader mode not reached", "good.hex", 0, locked, 21, {1, 2, 2, 4}, 21, 0},
        {"short answer", "good.hex", 0, shortThirdAnswer, 24, {1, 2, 2, 2, 2, 6}, 0x0010, 3},
        {"record refused", "good.hex", 0, refused, 13, {1, 2, 2, 5}, 5, 0},
        // The fourth report follows the fourth line (the third is blank).
        {"callback stops",
         "good.hex",
         0,
         none,
         ERROR_CANCELLED,
         {1, 2, 2, 2},
         positionAfterLines("good.hex", 4),
         1,
         Progress{{}, {}, 4}},
        {"bad checksum", "bad_checksum.hex", 0, none, 13, {1, 4}, 13, 0},
        {"truncated line", "truncated_line.hex", 0, none, 13, {1, 4}, 13, 0},
        {"line of 300 characters", "line_of_300.hex", 0, none, 13, {1, 4}, 13, 0},
        {"a line that is no record", "not_a_record.hex", 0, none, 13, {1, 4}, 13, 0},
        {"no data records", "no_data.hex", 0, none, 13, {1, 4}, 13, 0},
        {"no such file", "missing.hex", 0, none, ERROR_FILE_NOT_FOUND, {4}, ERROR_FILE_NOT_FOUND, 0},
    };
}

} // namespace

BOOL Progress::collect(DWORD code, LPCVOID value, DWORD size, PVOID context)
{
    auto* progress = static_cast<Progress*>(context);
    EXPECT_EQ(size, 4u);
    DWORD number = 0;
    std::memcpy(&number, value, sizeof number);
    progress->codes.push_back(code);
    progress->values.push_back(number);
    return progress->codes.size() != progress->stopAtReport;
}

std::u16string fixturePath(const std::string& name)
{
    return os::toUtf16(os::programDirectory() + "/boardkit-fixtures/" + name);
}

std::vector<std::vector<uint8_t>> recordsToSend(const std::string& name)
{
    std::istringstream file(fixtureText(name));
    std::vector<std::vector<uint8_t>> records;
    std::string line;
    while (std::getline(file, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const auto bytes = hexBytes(line);
        if (bytes.size() >= 4 && bytes[3] != 0xFE && bytes[3] != 0xFF)
            records.push_back(bytes);
    }
    return records;
}

size_t fixtureSize(const std::string& name)
{
    return fixtureText(name).size();
}

void runUpdateCases(BootLoaderBench& bench)
{
    for (UpdateCase& c : updateCases())
    {
        SCOPED_TRACE(c.name);
        bench.reset();
        bench.apply(c.setup);
        const std::u16string path = fixturePath(c.file);
        SetLastError(0xDEADBEEF);
        const BOOL ok = BootLoaderFwUpdateW(c.options, kLoaderSegment, kLoaderAddress, path.c_str(),
                                            Progress::collect, &c.progress, nullptr, nullptr);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(c.progress.codes, c.codes);
        if (!c.progress.codes.empty() && c.progress.codes[0] == WM_FWUPDATE_FILE_SIZE)
        {
            EXPECT_EQ(c.progress.values[0], fixtureSize(c.file));
        }
        if (!c.progress.values.empty())
        {
            EXPECT_EQ(c.progress.values.back(),
                      c.lastValue == kFileSize ? fixtureSize(c.file) : static_cast<size_t>(c.lastValue));
        }

        // Records reach the boot loader whole and as they stand in the file.
        const auto sent = recordsToSend(c.file);
        const size_t expected = c.records == kAll ? sent.size() : static_cast<size_t>(c.records);
        const auto reached = bench.records();
        ASSERT_EQ(reached.size(), expected);
        for (size_t i = 0; i < expected; ++i)
        {
            EXPECT_EQ(reached[i], sent[i]) << i;
        }
        // A file found malformed leaves the boot loader as it was.
        if (c.codes == std::vector<DWORD>{1, 4} || c.codes == std::vector<DWORD>{4})
        {
            EXPECT_EQ(bench.mode(), 0);
        }
    }
}

} // namespace boardkit::testing
