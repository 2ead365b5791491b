// The second dialect: machine-data bits, its message word and the kernel's
// block pre-processing.
#include <gtest/gtest.h>

#include "recording_channel.h"
#include "siemens_interpreter.h"

namespace
{
struct SiemensFixture
{
    RecordingChannel channel;
    CSiemensInterpreter interpreter{channel, 65536, 64};
};

int functionEntries(const RecordingChannel& channel, std::uint32_t code)
{
    int count = 0;
    for (const auto* f : channel.of<CEntryFunk>())
        count += f->m_code == code ? 1 : 0;
    return count;
}
} // namespace

TEST(SecondDialect, ReadingMachineDataBits)
{
    struct Case
    {
        int word;
        int bit;
        bool ok;
        int value;
        std::uint32_t message;
        std::string argument; // the word or bit reported
    } cases[] = {
        {5003, 4, true, 0, 0, ""},          {5003, 5, true, 1, 0, ""},
        {5000, 0, true, 1, 0, ""},          {5000, 1, true, 0, 0, ""},
        {5003, 8, false, 0, 0xC09, "8"},    {5003, -1, false, 0, 0xC09, "-1"},
        {4000, 1, false, 0, 0xC0A, "4000"}, {4000, 9, false, 0, 0xC09, "9"},
    };
    for (const Case& c : cases)
    {
        SiemensFixture f;
        f.interpreter.setWord5000(1);
        ASSERT_TRUE(f.interpreter.writeMdBit(5003, 5, 1));
        int value = -7;
        EXPECT_EQ(f.interpreter.readMdBit(c.word, c.bit, value), c.ok) << c.word << "/" << c.bit;
        if (c.ok)
        {
            EXPECT_EQ(value, c.value) << c.word << "/" << c.bit;
            EXPECT_TRUE(f.channel.messages.empty());
            continue;
        }
        ASSERT_EQ(f.channel.messages.size(), 1u) << c.word << "/" << c.bit;
        EXPECT_EQ(f.channel.messages[0].number, c.message);
        EXPECT_EQ(f.channel.messages[0].args.back(), c.argument);
        EXPECT_EQ(f.interpreter.ncError(), NcError::MachineDataBit);
        EXPECT_EQ(f.interpreter.getState(), InterpreterState::Error);
    }
}

TEST(SecondDialect, ModeBitRaisesItsFunctionOnChange)
{
    SiemensFixture f;
    // 1 then 1 raises 0x200B once; back to 0 raises 0x200A; other bits of the
    // word are taken and ignored.
    EXPECT_EQ(runProgram(f.interpreter, "pushc5003 pushc5 pushc1 calc write_md_bit \n"
                                        "pushc5003 pushc5 pushc1 calc write_md_bit \n"
                                        "pushc5003 pushc2 pushc1 calc write_md_bit \n"
                                        "pushc5003 pushc5 pushc0 calc write_md_bit \n"
                                        "pushc5003 pushc5 calc read_md_bit popcR1 \n"),
              InterpreterState::Finished);
    EXPECT_EQ(functionEntries(f.channel, 0x200B), 1);
    EXPECT_EQ(functionEntries(f.channel, 0x200A), 1);
    EXPECT_EQ(f.interpreter.getR(1), 0.0);
    // Word 5000 is not written by programs.
    SiemensFixture g;
    EXPECT_EQ(runProgram(g.interpreter, "pushc5000 pushc0 pushc1 calc write_md_bit \n"),
              InterpreterState::Error);
    EXPECT_TRUE(g.channel.logged(0xC0A));
    // The own dialect takes every bit without effect.
    InterpreterFixture own;
    int value = 5;
    EXPECT_TRUE(own.interpreter.readMdBit(4000, 9, value));
    EXPECT_EQ(value, 0);
}

TEST(SecondDialect, ErrorsMarkALine)
{
    SiemensFixture f;
    ASSERT_EQ(f.interpreter.loadProgramSource("X1\nY2\n"), 0u);
    EXPECT_EQ(f.interpreter.errorLine(), -1);
    f.interpreter.raiseNcError(0x4112);
    EXPECT_EQ(f.interpreter.getState(), InterpreterState::Error);
    EXPECT_EQ(f.interpreter.errorLine(), 4 + 10); // the line translated last
    // A line already marked stays.
    f.interpreter.raiseNcError(0x4113);
    EXPECT_EQ(f.interpreter.errorLine(), 14);
}

TEST(SecondDialect, MessageWord)
{
    const std::string hundred(100, 'm');
    struct Case
    {
        std::string block;
        std::uint32_t error;
        std::string text;
    } cases[] = {
        {"MSG(NCK|ITP;STRING;\"hello\")", 0, "MSG level=3 mask=145 size=5 text=hello \n"},
        {"msg( ITP ; STRING|STRING ; \"a b\" ) X1", 0, "MSG level=1 mask=145 size=3 text=a b X11=1.0 \n"},
        {"MSG(NCK;STRING;\"" + hundred + "\")", 0,
         "MSG level=2 mask=145 size=80 text=" + hundred.substr(0, 80) + " \n"},
        {"MSG(FOO;STRING;\"x\")", NcError::Syntax, ""},
        {"MSG(NCK;TEXT;\"x\")", NcError::Syntax, ""},
        {"MSG(NCK;STRING;x)", NcError::Syntax, ""},
        {"MSG(NCK;STRING;\"x\"", NcError::Syntax, ""},
        {"M3", 0, "M3 \n"},
    };
    for (const Case& c : cases)
    {
        SiemensFixture f;
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        EXPECT_EQ(f.interpreter.translateBlock(c.block), c.error) << c.block;
        EXPECT_EQ(programText(f.interpreter), c.text.empty() ? "" : blockMarkers(0) + c.text) << c.block;
    }
    // The own dialect has no such word.
    InterpreterFixture own;
    ASSERT_EQ(own.interpreter.beginProgram(), 0u);
    EXPECT_EQ(own.interpreter.translateBlock("MSG(NCK;STRING;\"x\")"), NcError::Syntax);

    // The message reaches the kernel (NCK) and the log (ITP).
    SiemensFixture run;
    ASSERT_EQ(run.interpreter.loadProgramSource("MSG(NCK|ITP;STRING;\"tool change\")\n"), 0u);
    EXPECT_EQ(startProgram(run.interpreter), InterpreterState::Finished);
    const auto messages = run.channel.of<CEntryMsg>();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_STREQ(messages[0]->m_text, "tool change");
    EXPECT_EQ(messages[0]->m_number, 145u);
    EXPECT_TRUE(run.channel.logged(145));
}

TEST(SecondDialect, BlocksThroughTheKernelPreprocessing)
{
    SiemensFixture f;
    f.channel.secondKernelAddress = true;
    f.channel.preprocessAnswers.push_back({0, {}, "G1 X10 F100\nY20"});
    ASSERT_EQ(f.interpreter.loadProgramSource("N5 G01 X10 Y20 F100\n"), 0u);
    ASSERT_EQ(f.channel.preprocessed.size(), 1u);
    EXPECT_EQ(f.channel.preprocessed[0], "N5 G01 X10 Y20 F100\n");
    // Every answered line belongs to the block's line.
    EXPECT_EQ(programText(f.interpreter),
              blockMarkers(0) + "G1X11=10.0 F=100.0 \n" + blockMarkers(0) + "X12=20.0 \n");
    EXPECT_STREQ(f.channel.store.getLine(0), "N5 G01 X10 Y20 F100\n");
    EXPECT_EQ(startProgram(f.interpreter), InterpreterState::Finished);
    const auto geo = f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 2u);
    EXPECT_EQ(geo[1]->m_textIdx, 0u);

    // A block without its line feed gets one while it fits the kernel's 510 bytes.
    for (std::size_t length : {508u, 509u})
    {
        SiemensFixture g;
        g.channel.secondKernelAddress = true;
        g.channel.preprocessAnswers.push_back({0, {}, "X1\n"});
        ASSERT_EQ(g.interpreter.beginProgram(), 0u);
        const std::string block = "X1" + std::string(length - 2, ' ');
        EXPECT_EQ(g.interpreter.translateBlock(block), 0u);
        EXPECT_EQ(g.channel.preprocessed[0].size(), 509u);
        EXPECT_EQ(g.channel.preprocessed[0].back() == '\n', length == 508);
    }
}

TEST(SecondDialect, RefusedPreprocessingIsASyntaxError)
{
    SiemensFixture f;
    f.channel.secondKernelAddress = true;
    f.channel.preprocessAnswers.push_back({0x604, {}, ""});
    EXPECT_EQ(f.interpreter.loadProgramSource("X1\n"), NcError::Syntax);
    ASSERT_TRUE(f.channel.logged(0xC76));
    EXPECT_EQ(f.channel.messages[0].args, (std::vector<std::string>{"1", "604"}));
    EXPECT_EQ(f.interpreter.ncError(), NcError::Syntax);
    EXPECT_EQ(programText(f.interpreter), "");
    // The own dialect's blocks take the same way when the channel has the address.
    InterpreterFixture own;
    own.channel.secondKernelAddress = true;
    own.channel.preprocessAnswers.push_back({0, {}, "X5\n"});
    EXPECT_EQ(own.interpreter.loadProgramSource("X1\n"), 0u);
    EXPECT_EQ(programText(own.interpreter), blockMarkers(0) + "X11=5.0 \n");
}
