// Cycle parameter blocks of G36 to G39 and the built-in cycle macros.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "builtin_macros.h"
#include "recording_channel.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;

std::string clearing()
{
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "pushc0.0 popcG" + std::to_string(i);
    return text;
}

const std::string ContourCalls =
    "callEdgeRadiusValidationpushc1.0 pushc2.0 calc / pushcG6 calc * popcG13 pushc-1.0 pushc2.0 calc / "
    "pushcG7 "
    "calc * popcG14callCmpSide1PositioncallCmpSide2PositioncallCmpSide3PositioncallCmpSide4Position";

struct Point
{
    double x;
    double y;
};

// The x-y targets of the geometry entries from the one at first on.
std::vector<Point> targets(const RecordingChannel& channel, std::size_t first = 0)
{
    std::vector<Point> result;
    const auto geo = channel.of<CEntryGeo_3D>();
    for (std::size_t i = first; i < geo.size(); ++i)
        result.push_back({geo[i]->m_target.GetX(), geo[i]->m_target.GetY()});
    return result;
}

void expectPath(const std::vector<Point>& actual, const std::vector<Point>& expected, const std::string& what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < actual.size(); ++i)
    {
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-9) << what << " #" << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-9) << what << " #" << i;
    }
}

// Runs source (definitions loaded, a channel state for each end of program).
InterpreterState runCycle(InterpreterFixture& f, const std::string& source)
{
    loadMDefinitionText(f.interpreter, "3 2 4 5\n4 2 3 5\n5 8 3 4\n");
    f.channel.channelStateAnswers.push_back({0, std::vector<std::uint8_t>(112, 0), ""});
    EXPECT_EQ(f.interpreter.loadProgramSource(source), 0u) << source;
    return startProgram(f.interpreter);
}

// The rectangle 40 x 20 about (50,30) from the tool at (x,y), with corner radius r.
std::string rectangle(int cycle, double x, double y, double r = 0)
{
    std::string source = "G0 X" + std::to_string(x) + " Y" + std::to_string(y) + " Z0\nG" +
                         std::to_string(cycle) + " P1 5 P2 -10 P3 X50 Y30 Z0 P4 100 P5 X40 P6 Y20 P7 200";
    if (r > 0)
        source += " P8 " + std::to_string(r);
    return source + "\nM30\n";
}
} // namespace

TEST(TranslatorCycles, ParameterBlocksToText)
{
    struct Case
    {
        const char* block;
        std::uint32_t error;
        std::string text; // after the markers
        const char* message;
    } cases[] = {
        {"G36", 0x4170, clearing(), "G36 command no parameters defined"},
        {"G36 P1 5", 0,
         clearing() + "\npushc5.000000 popcG0callExitHighParampushcF popcG5pushcF popcG8" + ContourCalls +
             "callSetXY_OffsetPosSideG36callMacroG36\n",
         ""},
        {"G37 P2 R4 (P1 5)", 0,
         clearing() + "pushcR4 popcG1callExitHighParampushcF popcG5pushcF popcG8" + ContourCalls +
             "callSetXY_OffsetPosSideG37callMacroG37\n",
         ""},
        {"G38 P11 R3", 0,
         clearing() + "pushcR3 popcG12pushcR9 popcG12pushcF popcG5pushcF popcG6callMacroG38\n", ""},
        // The circle feed comes from P5; only without it the current feed stands in.
        {"G38 P5 300 P7 2", 0,
         clearing() +
             "\npushc300.000000 popcG6\npushc2.000000 popcG8callExitHighParampushcF popcG5callMacroG38\n",
         ""},
        {"G39 P7 2", 0,
         clearing() + "\npushc2.000000 popcG8callExitHighParampushcF popcG5pushcF popcG6callMacroG39\n", ""},
        {"G39 P8 1", 0,
         clearing() + "\npushc1.000000 popcG9pushcR9 popcG12pushcF popcG5pushcF popcG6callMacroG39\n", ""},
        {"G37 P3 X=R1 Y=R2 Z0 P4 F P5 X40 P6 Y=R3 P7 R8 P8 2 P9 R1 P10 -3 P11 .5", 0,
         clearing() +
             "pushcR1 popcG2pushcR2 popcG3\npushc0.000000 popcG4pushcF popcG5\npushc40.000000 popcG6pushcR3 "
             "popcG7pushcR8 popcG8\npushc2.000000 popcG9pushcR1 popcG10\npushc-3.000000 "
             "popcG11\npushc0.500000 "
             "popcG12" +
             ContourCalls + "callSetXY_OffsetPosSideG37callMacroG37\n",
         ""},
        {"G36 P5 F P6 7", 0,
         clearing() + "pushcF popcG6\npushc7.000000 popcG7callExitHighParampushcF popcG5pushcF popcG8" +
             ContourCalls + "callSetXY_OffsetPosSideG36callMacroG36\n",
         ""},
        {"G36 P3 X10 Y20", 0x4170,
         clearing() +
             "\npushc10.000000 popcG2\npushc20.000000 popcG3callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P3 parameter (center z coordinate is not defined)"},
        {"G36 P3 X10 Y=5", 0x4170,
         clearing() + "\npushc10.000000 popcG2callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid value of P3 parameter (center y coordinate value is not correct)"},
        {"G36 P1=5", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P1 parameter (value is not defined)"},
        {"G36 P4 X", 0x4170, clearing() + "callExitHighParampushcF popcG8",
         "G36 command: invalid P4 parameter (optional infeed is undefined)"},
        {"G36 P5 Xa", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P5 parameter (invalid x side length value)"},
        {"G36 P5", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P5 parameter (x side length is undefined)"},
        {"G37 P6 Y", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G37 command: invalid P6 parameter (invalid y side length value)"},
        {"G37 P6", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G37 command: invalid P6 parameter (parameter value is undefined)"},
        {"G38 P6", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG6",
         "G38 command: invalid P6 parameter (invalid xy-plane edge rounding value)"},
        {"G36 P7", 0x4170, clearing() + "callExitHighParampushcF popcG5",
         "G36 command: invalid P7 parameter (optional feed is undefined)"},
        {"G39 P7", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG6",
         "G39 command: invalid P7 parameter (invalid xz-plane edge rounding value)"},
        {"G36 P9 X", 0x4170, clearing() + "callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P9 parameter"},
        // Each message goes to the one buffer: the last one stays.
        {"G36 P 5 P1 2", 0x4170,
         clearing() + "\npushc2.000000 popcG0callExitHighParampushcF popcG5pushcF popcG8",
         "G36 command: invalid P-parameter index (index is not defined)"},
        {"G36 P 5", 0x4170, clearing(), "G36 command no parameters defined"},
        // Out-of-range indexes and open comments are syntax errors without a message.
        {"G36 P12 1 P1 2", 0x4111,
         clearing() + "\npushc2.000000 popcG0callExitHighParampushcF popcG5pushcF popcG8", ""},
        {"G36 P0 1", 0x4111, clearing(), "G36 command no parameters defined"},
        {"G36 P1 5 (open", 0x4111,
         clearing() + "\npushc5.000000 popcG0callExitHighParampushcF popcG5pushcF popcG8", ""},
    };
    for (const Case& c : cases)
    {
        InterpreterFixture f;
        ASSERT_EQ(f.interpreter.beginProgram(), 0u);
        std::string message;
        EXPECT_EQ(f.interpreter.translateBlock(c.block, &message), c.error) << c.block;
        EXPECT_EQ(programText(f.interpreter), blockMarkers(0) + c.text) << c.block;
        EXPECT_EQ(message, c.message) << c.block;
        EXPECT_EQ(f.interpreter.ncError(), c.error) << c.block;
    }
}

TEST(TranslatorCycles, EdgeRadiusValidationWrapsTheContour)
{
    InterpreterFixture f;
    ASSERT_EQ(f.interpreter.beginProgram(), 0u);
    ASSERT_EQ(f.interpreter.translateBlock("@402 K5003 K5 K1"), 0u);
    EXPECT_TRUE(f.interpreter.edgeRadiusValidation());
    const std::size_t before = f.interpreter.programTextLength();
    ASSERT_EQ(f.interpreter.translateBlock("G36 P1 5"), 0u);
    const std::string text = programText(f.interpreter).substr(before);
    const std::string start = "pushc5003 pushc5.0 pushc0.0 calc write_md_bit ";
    const std::string end = "pushc5003 pushc5.0 pushc1.0 calc write_md_bit \n";
    EXPECT_EQ(text.substr(10, start.size()), start);
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    // G38 is not wrapped.
    const std::size_t circleStart = f.interpreter.programTextLength();
    ASSERT_EQ(f.interpreter.translateBlock("G38 P1 5"), 0u);
    EXPECT_EQ(programText(f.interpreter).find("write_md_bit", circleStart), std::string::npos);
    // @402 with other words or values leaves the flag alone or clears it.
    ASSERT_EQ(f.interpreter.translateBlock("@402 K5003 K4 K0"), 0u);
    EXPECT_TRUE(f.interpreter.edgeRadiusValidation());
    ASSERT_EQ(f.interpreter.translateBlock("@402 R1 K5 K0"), 0u);
    EXPECT_TRUE(f.interpreter.edgeRadiusValidation());
    ASSERT_EQ(f.interpreter.translateBlock("@402 K5003 K5 K0"), 0u);
    EXPECT_FALSE(f.interpreter.edgeRadiusValidation());
}

TEST(TranslatorCycles, RectangleWithPlainCorners)
{
    struct Case
    {
        int cycle;
        Point start;
        std::vector<Point> path; // after the move to the start
    } cases[] = {
        // Clockwise from the top side, then from each of the others.
        {36, {50, 40}, {{50, 40}, {70, 40}, {70, 20}, {30, 20}, {30, 40}, {50, 40}, {50, 40}}},
        {36, {70, 30}, {{70, 30}, {70, 20}, {30, 20}, {30, 40}, {70, 40}, {70, 30}, {70, 30}}},
        {36, {40, 20}, {{40, 20}, {30, 20}, {30, 40}, {70, 40}, {70, 20}, {40, 20}, {40, 20}}},
        {36, {30, 25}, {{30, 25}, {30, 40}, {70, 40}, {70, 20}, {30, 20}, {30, 25}, {30, 25}}},
        // Counter-clockwise.
        {37, {50, 40}, {{50, 40}, {30, 40}, {30, 20}, {70, 20}, {70, 40}, {50, 40}, {50, 40}}},
        {37, {70, 30}, {{70, 30}, {70, 40}, {30, 40}, {30, 20}, {70, 20}, {70, 30}, {70, 30}}},
    };
    for (const Case& c : cases)
    {
        InterpreterFixture f;
        const std::string source = rectangle(c.cycle, c.start.x, c.start.y);
        EXPECT_EQ(runCycle(f, source), InterpreterState::Finished) << source;
        expectPath(targets(f.channel, 1), c.path, source);
        const auto geo = f.channel.of<CEntryGeo_3D>();
        ASSERT_EQ(geo.size(), 8u) << source;
        // Infeed to G0 + G1 at the infeed feed, the contour at P7's feed,
        // the retract back to the start height.
        EXPECT_NEAR(geo[1]->m_target.GetZ(), -5.0, 1e-9);
        EXPECT_EQ(geo[1]->m_feed, 100.0);
        EXPECT_EQ(geo[3]->m_feed, 200.0);
        EXPECT_NEAR(geo[7]->m_target.GetZ(), 0.0, 1e-9);
        EXPECT_EQ(geo[7]->m_feed, 100.0);
        for (const auto* g : geo)
            EXPECT_EQ(g->m_geoType, 0u) << source;
    }
}

TEST(TranslatorCycles, RectangleWithCornerArcs)
{
    for (int cycle : {36, 37})
    {
        InterpreterFixture f;
        const std::string source = rectangle(cycle, 50, 40, 2);
        EXPECT_EQ(runCycle(f, source), InterpreterState::Finished) << source;
        const auto geo = f.channel.of<CEntryGeo_3D>();
        // Move, rapid approach, infeed, start line, four arcs and four lines, retract.
        ASSERT_EQ(geo.size(), 13u) << source;
        EXPECT_NEAR(geo[1]->m_target.GetZ(), 5.0, 1e-9);
        EXPECT_EQ(geo[1]->m_ipolMode, 0u);
        int arcs = 0;
        for (const auto* g : geo)
            if (g->m_geoType == 1)
            {
                ++arcs;
                EXPECT_NEAR(g->m_radius, 2.0, 1e-9);
                // G36 turns clockwise (negative about z), G37 counter-clockwise.
                EXPECT_NEAR(g->m_rotation.GetZ(), cycle == 36 ? -Pi / 2 : Pi / 2, 1e-9);
            }
        EXPECT_EQ(arcs, 4);
        const double sign = cycle == 36 ? 1 : -1;
        EXPECT_NEAR(geo[3]->m_target.GetX(), 50 + sign * 18, 1e-9);
        EXPECT_NEAR(geo[4]->m_target.GetX(), 50 + sign * 20, 1e-9);
        EXPECT_NEAR(geo[4]->m_target.GetY(), 38, 1e-9);
        EXPECT_NEAR(geo[4]->m_centre.GetX(), 50 + sign * 18, 1e-9);
        EXPECT_NEAR(geo[4]->m_centre.GetY(), 38, 1e-9);
        EXPECT_NEAR(geo[11]->m_target.GetX(), 50, 1e-9);
        EXPECT_NEAR(geo[11]->m_target.GetY(), 40, 1e-9);
        EXPECT_NEAR(geo[12]->m_target.GetZ(), 0, 1e-9);
    }
}

TEST(TranslatorCycles, ToolOffEveryEdgeMakesNoContour)
{
    for (const Point start : {Point{0, 0}, Point{50, 30}, Point{50, 41}})
    {
        InterpreterFixture f;
        const std::string source = rectangle(36, start.x, start.y);
        EXPECT_EQ(runCycle(f, source), InterpreterState::Finished) << source;
        EXPECT_EQ(f.channel.of<CEntryGeo_3D>().size(), 1u) << source;
        EXPECT_TRUE(f.channel.messages.empty());
    }
}

TEST(TranslatorCycles, EarlierComparisonsDoNotSelectASide)
{
    // A failed comparison of the program and a side left from an earlier
    // cycle must not steer the next cycle.
    InterpreterFixture f;
    const std::string source = "R1=1\n@121 R1 K5 K10\nN10 G0 X70 Y30 Z0\n"
                               "G36 P1 5 P2 -10 P3 X50 Y30 Z0 P4 100 P5 X40 P6 Y20 P7 200\n"
                               "G0 X50 Y20\n"
                               "G36 P1 5 P2 -10 P3 X50 Y30 Z0 P4 100 P5 X40 P6 Y20 P7 200\nM30\n";
    EXPECT_EQ(runCycle(f, source), InterpreterState::Finished);
    const auto path = targets(f.channel);
    ASSERT_EQ(path.size(), 16u);
    // The corner (70,20) lies on sides 2 and 3: the first cycle takes side 2.
    EXPECT_NEAR(path[2].x, 70, 1e-9);
    EXPECT_NEAR(path[2].y, 20, 1e-9);
    // From (50,20) on side 3 only: left to (30,20) first.
    EXPECT_NEAR(path[10].x, 30, 1e-9);
    EXPECT_NEAR(path[10].y, 20, 1e-9);
}

TEST(TranslatorCycles, CircleAtTheFeedOfP5)
{
    for (int cycle : {38, 39})
    {
        InterpreterFixture f;
        const std::string source =
            "G0 X30 Y20 Z0\nG" + std::to_string(cycle) + " P1 2 P2 -5 P3 X20 Y20 Z0 P4 100 P5 300\nM30\n";
        EXPECT_EQ(runCycle(f, source), InterpreterState::Finished) << source;
        const auto geo = f.channel.of<CEntryGeo_3D>();
        ASSERT_EQ(geo.size(), 4u) << source;
        EXPECT_NEAR(geo[1]->m_target.GetZ(), -3.0, 1e-9);
        EXPECT_EQ(geo[2]->m_geoType, 1u);
        EXPECT_EQ(geo[2]->m_feed, 300.0);
        EXPECT_NEAR(geo[2]->m_centre.GetX(), 20.0, 1e-9);
        EXPECT_NEAR(geo[2]->m_centre.GetY(), 20.0, 1e-9);
        EXPECT_NEAR(geo[2]->m_rotation.GetZ(), cycle == 38 ? -2 * Pi : 2 * Pi, 1e-9);
        EXPECT_NEAR(geo[3]->m_target.GetZ(), 0.0, 1e-9);
        // G10 keeps the distance from the centre.
        EXPECT_NEAR(f.interpreter.getG(10), 10.0, 1e-9);
    }
}

TEST(TranslatorCycles, EntryNamesTakeTheLongestMatch)
{
    using BuiltinMacros::Entry;
    struct Case
    {
        const char* text;
        bool found;
        Entry entry;
        std::size_t length;
    } cases[] = {
        {"MacroG36", true, Entry::MacroG36, 8},
        {"macroG39pushcF", true, Entry::MacroG39, 8},
        {"ExitHighParampushcF popcG5", true, Entry::ExitHighParam, 13},
        {"exitHighParam", true, Entry::ExitHighParam, 13},
        {"SetXY_OffsetPosSideG37callMacroG37", true, Entry::SetOffsetG37, 22},
        {"CmpSide4Position", true, Entry::CmpSide4Position, 16},
        {"CmpSide5Position", false, Entry::MacroG36, 0},
        {"macroG3", false, Entry::MacroG36, 0},
        {"EXITHighParam", false, Entry::MacroG36, 0},
    };
    for (const Case& c : cases)
    {
        Entry entry = Entry::MacroG36;
        std::size_t length = 0;
        EXPECT_EQ(BuiltinMacros::findEntry(c.text, std::strlen(c.text), entry, length), c.found) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
        if (c.found)
        {
            EXPECT_EQ(entry, c.entry) << c.text;
        }
    }
}
