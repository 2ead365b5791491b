// Hex records: what counts as a record, and lines read whole.
#include "hex_file.h"

#include <gtest/gtest.h>

#include <test_support.h>

#include <fstream>

namespace boardkit
{
namespace
{

TEST(HexRecord, ParsesOnlyWholeRecordsWithTheirChecksum)
{
    struct Case
    {
        const char* name;
        std::string line;
        bool record;
        WORD address;
        BYTE type;
        size_t size;
    };
    const Case cases[] = {
        {"data record", ":10001000101112131415161718191A1B1C1D1E1F68", true, 0x0010, 0, 21},
        {"lower-case digits", ":04002000deadbeefa4", true, 0x0020, 0, 9},
        {"end record", ":00000001FF", true, 0, 1, 5},
        {"blanks around it", "  :00000001FF \t", true, 0, 1, 5},
        {"checksum off by one", ":00000001FE", false, 0, 0, 0},
        {"byte count larger than the line", ":05000000010203FA", false, 0, 0, 0},
        {"byte count smaller than the line", ":01000000010203FA", false, 0, 0, 0},
        {"odd number of digits", ":00000001FF0", false, 0, 0, 0},
        {"no colon", "00000001FF", false, 0, 0, 0},
        {"not hex", ":0000000GFF", false, 0, 0, 0},
        {"too short for a record", ":0000FF", false, 0, 0, 0},
        {"only a colon", ":", false, 0, 0, 0},
        {"empty", "", false, 0, 0, 0},
        {"text", "hello", false, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HexRecord record;
        EXPECT_EQ(parseHexRecord(c.line, record), c.record);
        if (!c.record)
            continue;
        EXPECT_EQ(record.address, c.address);
        EXPECT_EQ(record.type, c.type);
        EXPECT_EQ(record.bytes.size(), c.size);
    }
}

TEST(HexRecord, DataTextEndsAtItsFirstZero)
{
    HexRecord record;
    // Type 0xFF, "AB", 0, "C".
    ASSERT_TRUE(parseHexRecord(":040000FF4142004337", record));
    EXPECT_EQ(record.dataText(), "AB");
}

TEST(HexLineReader, ReadsWholeLinesOfAnyEnding)
{
    ostest::TempDeviceRoot root;
    const std::string path = root.path() + "/hex_lines.txt";
    const std::string longLine(600, 'A');
    std::ofstream(path, std::ios::binary) << "one\r\ntwo\n\n" << longLine << "\nlast";
    HANDLE file = CreateFileW(u"\\hex_lines.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HexLineReader reader(file);
    std::string line;
    bool overlong = true;
    struct Expected
    {
        std::string line;
        bool overlong;
    };
    const Expected lines[] = {{"one\r", false},
                              {"two", false},
                              {"", false},
                              {longLine.substr(0, HexLineReader::kMaxLine), true},
                              {"last", false}};
    for (const Expected& expected : lines)
    {
        ASSERT_TRUE(reader.next(line, overlong));
        EXPECT_EQ(line, expected.line);
        EXPECT_EQ(overlong, expected.overlong);
    }
    EXPECT_FALSE(reader.next(line, overlong));
    EXPECT_EQ(reader.error(), 0u);
    EXPECT_EQ(reader.position(), 5 + 4 + 1 + 601 + 4u);
    CloseHandle(file);
}

} // namespace
} // namespace boardkit
