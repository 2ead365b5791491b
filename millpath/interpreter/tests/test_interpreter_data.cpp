// Data access of the interpreter for its channel and the service port.
#include <cstring>

#include <gtest/gtest.h>

#include "le_words.h"
#include "recording_channel.h"

namespace
{
using Fixture = InterpreterFixture;

// One record of the M table as the service port passes it.
std::vector<std::uint8_t> mRecord(std::uint32_t slot, std::uint32_t flagsA, std::uint32_t flagsB,
                                  std::vector<std::int32_t> cancels)
{
    std::vector<std::uint8_t> record(CInterpreter::MTableRecordSize, 0);
    PutLe32(record.data(), slot);
    PutLe32(record.data() + 4, flagsA);
    PutLe32(record.data() + 8, flagsB);
    cancels.resize(10, -1);
    for (int i = 0; i < 10; ++i)
        PutLe32(record.data() + 12 + 4 * i, static_cast<std::uint32_t>(cancels[i]));
    return record;
}

std::string display(Fixture& f, std::int32_t line, std::size_t size, std::size_t* sizeOut = nullptr)
{
    std::vector<char> buffer(size + 1, '#');
    std::size_t n = size;
    f.interpreter.getDisplayText(buffer.data(), n, line);
    if (sizeOut)
        *sizeOut = n;
    return std::string(buffer.data());
}
} // namespace

TEST(InterpreterData, SharedRParametersAcrossInterpreters)
{
    Fixture a;
    Fixture b;
    a.interpreter.setR(950, 3.5);
    a.interpreter.setR(10, 1.0);
    EXPECT_EQ(b.interpreter.getR(950), 3.5);
    EXPECT_EQ(b.interpreter.getR(10), 0.0);
    b.interpreter.setR(999, -2.0);
    EXPECT_EQ(a.interpreter.getR(999), -2.0);
    a.interpreter.setR(1000, 9.0);
    EXPECT_EQ(a.interpreter.getR(1000), 0.0);
    EXPECT_EQ(a.interpreter.getR(-1), 0.0);
}

TEST(InterpreterData, KernelAnswerFillsThePendingParameter)
{
    struct Case
    {
        int kind;
        int r;
        std::uint32_t code;
        bool stored;
    } cases[] = {
        {2, 17, 0x80000002, true},  {2, 950, 0x80000002, true},   {1, 17, 0x80000002, false},
        {2, 17, 0x80000001, false}, {2, 1000, 0x80000002, false},
    };
    for (const Case& c : cases)
    {
        Fixture f;
        f.interpreter.setR(c.r, 1.0);
        f.interpreter.expectKernelRead(c.kind, c.r);
        EXPECT_TRUE(f.interpreter.kernelReadPending());
        f.interpreter.storeKernelAnswer(c.code, 4.5);
        EXPECT_FALSE(f.interpreter.kernelReadPending());
        EXPECT_EQ(f.interpreter.getR(c.r), c.stored ? 4.5 : (c.r < 1000 ? 1.0 : 0.0)) << c.r;
        // Without a pending read an answer changes nothing.
        f.interpreter.storeKernelAnswer(0x80000002, 7.0);
        EXPECT_NE(f.interpreter.getR(c.r), 7.0);
    }
}

TEST(InterpreterData, MTable)
{
    Fixture f;
    std::vector<std::uint8_t> records;
    for (const auto& r : {mRecord(3, 0x02, 0x08, {4, 5}), mRecord(159, 0x01, 0, {})})
        records.insert(records.end(), r.begin(), r.end());
    ASSERT_EQ(f.interpreter.setMTable(records.data(), records.size()), 0u);

    std::uint8_t slots[CInterpreter::MTableSlotSize * 10];
    ASSERT_EQ(f.interpreter.getMTable(0, 4, slots), 0u);
    EXPECT_EQ(slots[0], 0u);
    EXPECT_EQ(GetLe32(slots + 1), 0xFFFFFFFFu); // a cleared slot
    const std::uint8_t* three = slots + 3 * CInterpreter::MTableSlotSize;
    EXPECT_EQ(three[0], 0x0Au); // the two flag fields ORed
    EXPECT_EQ(GetLe32(three + 1), 4u);
    EXPECT_EQ(GetLe32(three + 5), 5u);
    EXPECT_EQ(GetLe32(three + 9), 0xFFFFFFFFu);
    ASSERT_EQ(f.interpreter.getMTable(150, 10, slots), 0u);
    EXPECT_EQ(slots[9 * CInterpreter::MTableSlotSize], 0x01u);
    EXPECT_EQ(f.interpreter.getMTable(150, 11, slots), NcResult::OutOfRange);
    EXPECT_EQ(f.interpreter.getMTable(-1, 1, slots), NcResult::OutOfRange);

    // Refused lists leave the table as it was: slot 160 does not exist.
    for (const auto& bad :
         {mRecord(160, 1, 0, {}), std::vector<std::uint8_t>(161 * CInterpreter::MTableRecordSize),
          std::vector<std::uint8_t>(CInterpreter::MTableRecordSize + 1)})
    {
        std::vector<std::uint8_t> list = records;
        list.insert(list.end(), bad.begin(), bad.end());
        EXPECT_EQ(f.interpreter.setMTable(list.data(), list.size()), NcResult::OutOfRange);
    }
    ASSERT_EQ(f.interpreter.getMTable(3, 1, slots), 0u);
    EXPECT_EQ(slots[0], 0x0Au);

    // The block takes the definitions: M3 resets M4 and M5 before the motion.
    EXPECT_EQ(runProgram(f.interpreter, "M3 \n"), InterpreterState::Finished);
    const auto ms = f.channel.of<CEntryMFunk>();
    ASSERT_GE(ms.size(), 2u);
    EXPECT_EQ(ms[0]->m_kind, static_cast<std::uint16_t>(MFunkKind::Reset));
    EXPECT_EQ(ms[0]->m_mNumbers[0], 4);
    EXPECT_EQ(ms[0]->m_mNumbers[1], 5);
}

TEST(InterpreterData, Tools)
{
    Fixture f;
    double data[14];
    for (int i = 0; i < 14; ++i)
        data[i] = i + 0.5;
    EXPECT_EQ(f.interpreter.setToolRecord(256, 1, 2, data), NcResult::BadToolNumber);
    EXPECT_EQ(f.interpreter.setToolRecord(0, 1, 2, data), NcResult::BadToolNumber);
    EXPECT_EQ(f.interpreter.setToolRecord(5, 1, 0x10000, data), NcResult::OutOfRange);
    EXPECT_EQ(f.interpreter.setToolRecord(5, 0x10000, 1, data), NcResult::OutOfRange);
    EXPECT_EQ(f.interpreter.getToolType(5), 0);
    ASSERT_EQ(f.interpreter.setToolRecord(5, 7, 0xFFFF, data), 0u);

    std::uint8_t record[CInterpreter::ToolRecordSize];
    f.interpreter.getToolRecord(5, record);
    EXPECT_EQ(GetLe32(record), 7u);
    EXPECT_EQ(GetLe32(record + 4), 0xFFFFu);
    double d14 = 0.0;
    std::memcpy(&d14, record + 8 + 13 * 8, 8);
    EXPECT_EQ(d14, 13.5);
    f.interpreter.getToolRecord(256, record);
    EXPECT_TRUE(std::all_of(record, record + sizeof(record), [](std::uint8_t b) { return b == 0; }));

    EXPECT_EQ(f.interpreter.getToolValue(5, 1), 0.5);
    EXPECT_EQ(f.interpreter.getToolValue(5, 15), 0.0);
    EXPECT_EQ(f.interpreter.getToolValue(256, 1), 0.0);
    EXPECT_EQ(f.interpreter.setToolValue(5, 14, -1.0), 1);
    EXPECT_EQ(f.interpreter.getToolValue(5, 14), -1.0);
    EXPECT_EQ(f.interpreter.setToolValue(5, 0, 1.0), 0);
    EXPECT_EQ(f.interpreter.setToolValue(0, 1, 1.0), 0);
    EXPECT_EQ(f.interpreter.setToolType(9, 3), 1);
    EXPECT_EQ(f.interpreter.setToolSecondValue(9, 0x10000), 0);
    EXPECT_EQ(f.interpreter.setToolSecondValue(9, 4), 1);
    EXPECT_EQ(f.interpreter.getToolType(9), 3);
    EXPECT_EQ(f.interpreter.getToolSecondValue(9), 4);
    EXPECT_EQ(f.interpreter.getToolSecondValue(256), 0);
}

TEST(InterpreterData, TableFilesZeroPointsAndLookupTables)
{
    TempFolder folder;
    folder.write("1.NP", "1;2;3;4;5;6;7;8;\n-1;-2;x;-4;-5;-6;-7;-8;\n0.5;0.25;\n");
    folder.write("1.WZ", "3;7;1.5;2.5;3.5;4.5;5.5;6.5;7.5;8.5;9.5;10.5;11.5;12.5;13.5;14.5;\n2;0;\n");
    Fixture f;
    f.interpreter.setZeroPointValue(1, 1, 9, 99.0);
    EXPECT_TRUE(f.interpreter.loadTableFiles(folder.str()));
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 1, 2), 2.0);
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 2, 3), 0.0); // does not scan
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 2, 4), -4.0);
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 3, 2), 0.25);
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 3, 3), 0.0); // missing
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 1, 9), 0.0); // points 9 and 10 are cleared
    EXPECT_EQ(f.interpreter.getToolType(1), 3);
    EXPECT_EQ(f.interpreter.getToolValue(1, 14), 14.5);
    EXPECT_EQ(f.interpreter.getToolType(2), 2);

    f.interpreter.setZeroPointValue(1, 8, 10, 4.0);
    EXPECT_EQ(f.interpreter.getZeroPointValue(1, 8, 10), 4.0);
    for (const auto& [table, index, component] : {std::tuple{2, 1, 1}, {1, 0, 1}, {1, 9, 1}, {1, 1, 11}})
    {
        f.interpreter.setZeroPointValue(table, index, component, 5.0);
        EXPECT_EQ(f.interpreter.getZeroPointValue(table, index, component), 0.0);
    }

    std::uint8_t buffer[128];
    std::size_t size = sizeof(buffer);
    ASSERT_EQ(f.interpreter.getTableRecord(1, 2, buffer, size), 0u);
    EXPECT_EQ(size, 80u);
    double v = 0.0;
    std::memcpy(&v, buffer + 8, 8);
    EXPECT_EQ(v, -2.0); // zero point 2 of the second axis
    size = sizeof(buffer);
    ASSERT_EQ(f.interpreter.getTableRecord(3, 1, buffer, size), 0u);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(GetLe32(buffer), 3u);
    size = 12;
    ASSERT_EQ(f.interpreter.getTableRecord(2, 1, buffer, size), 0u);
    EXPECT_EQ(size, 12u);
    for (const auto& [table, number] : {std::pair{1, 0u}, {1, 11u}, {2, 256u}, {4, 1u}})
    {
        size = sizeof(buffer);
        EXPECT_EQ(f.interpreter.getTableRecord(table, number, buffer, size), NcError::TableRecord);
        EXPECT_EQ(size, 0u);
    }
    Fixture missing;
    EXPECT_FALSE(missing.interpreter.loadTableFiles(folder.str() + "/none"));
}

TEST(InterpreterData, SettingsAndErrors)
{
    Fixture f;
    for (int mode : {0, 1, 2})
        EXPECT_EQ(f.interpreter.setTraceMode(mode), 0u);
    EXPECT_EQ(f.interpreter.setTraceMode(3), NcResult::BadValue);
    EXPECT_EQ(f.interpreter.setTraceMode(-1), NcResult::BadValue);
    EXPECT_EQ(f.interpreter.traceMode(), 2);
    EXPECT_EQ(f.interpreter.setFeedModeCharacter('G'), 1);
    EXPECT_EQ(f.interpreter.setFeedModeCharacter('X'), 0);
    EXPECT_EQ(f.interpreter.feedModeCharacter(), 'G');
    EXPECT_EQ(f.interpreter.setFeedModeCharacter('F'), 1);
    EXPECT_EQ(f.interpreter.feedModeCharacter(), 'F');
    f.interpreter.setError(0x4107);
    EXPECT_EQ(f.interpreter.ncError(), 0x4107u);
}

TEST(InterpreterData, LineAndDisplayTexts)
{
    Fixture f;
    std::int32_t lines[5];
    const char* texts[] = {"X123456789", "A1", "B22", "C333", "D4444"};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(f.channel.store.addLine(texts[i], lines[i]));
    EXPECT_EQ(f.channel.store.nextLine(lines[4]), 0);

    std::size_t size = 0;
    // A first line that does not fit gives what fits with its terminator.
    EXPECT_EQ(display(f, lines[0], 5, &size), "X123");
    EXPECT_EQ(size, 5u);
    struct Case
    {
        std::int32_t line;
        std::size_t size;
        std::string text;
    } cases[] = {
        {lines[1], 100, "A1B22C333"}, // three lines joined
        {lines[3], 100, "C333D4444"}, // no line after the last
        {lines[4], 100, "D4444"},     //
        {lines[1], 8, "A1B22"},       // a line that would not fit is left out
        {lines[1], 7, "A1"},          //
        {lines[1], 3, "A1"},          //
        {-1, 100, ""},                // no line
        {9999, 100, ""},              // unknown line
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(display(f, c.line, c.size, &size), c.text) << c.line << "/" << c.size;
        EXPECT_EQ(size, c.text.size() + 1) << c.line << "/" << c.size;
    }

    char buffer[16];
    size = sizeof(buffer);
    ASSERT_EQ(f.interpreter.getLineText(lines[2], buffer, size), 0u);
    EXPECT_STREQ(buffer, "B22");
    EXPECT_EQ(size, 4u);
    size = 3;
    ASSERT_EQ(f.interpreter.getLineText(lines[0], buffer, size), 0u);
    EXPECT_STREQ(buffer, "X1");
    size = sizeof(buffer);
    EXPECT_EQ(f.interpreter.getLineText(9999, buffer, size), NcResult::BadValue);
    EXPECT_EQ(size, 0u);
}

TEST(InterpreterData, CurrentDisplayTextWhileRunning)
{
    Fixture f;
    f.channel.motion = true;
    ASSERT_EQ(f.interpreter.loadProgramSource("G0 X1\n#wait_idle# X2\nX3\n"), 0u);
    char buffer[64];
    std::size_t size = sizeof(buffer);
    f.interpreter.getCurrentDisplayText(buffer, size);
    EXPECT_STREQ(buffer, ""); // not running
    EXPECT_EQ(size, 1u);
    // The line of a "wait_idle" that waits for the group, and the one after it.
    f.interpreter.setState(InterpreterState::StartRequested);
    for (int i = 0; i < 100 && f.interpreter.getState() != InterpreterState::WaitingForIdle; ++i)
        f.interpreter.step();
    ASSERT_EQ(f.interpreter.getState(), InterpreterState::WaitingForIdle);
    size = sizeof(buffer);
    f.interpreter.getCurrentDisplayText(buffer, size);
    EXPECT_STREQ(buffer, "#wait_idle# X2\nX3\n");
}
