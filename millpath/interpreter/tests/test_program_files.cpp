// Part programs loaded from files in a project folder, with their
// sub-program files, run into entries.
#include <cmath>

#include <gtest/gtest.h>

#include "recording_channel.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;

// A channel, its interpreter and a project folder with the M definitions
// and a zero-point file.
struct Project
{
    TempFolder folder;
    InterpreterFixture f;

    Project()
    {
        folder.write("m_defs.t00", "/ M3 sets, M4 and M5 reset\n3 2 4 5\n4 2 3 5\n5 8 3 4\n");
        folder.write("1.NP", "1;2;3;4;5;6;7;8;\n0;0;0;0;0;0;0;0;\n0;0;0;0;0;0;0;0;\n");
        f.interpreter.setProjectDirectory(folder.str());
        EXPECT_TRUE(f.interpreter.loadMDefinitions(folder.str()));
        f.interpreter.loadTableFiles(folder.str());
        f.channel.labelLoader = &f.interpreter;
    }

    void answerEndOfProgram(std::uint8_t fill = 0x5a)
    {
        f.channel.channelStateAnswers.push_back({0, std::vector<std::uint8_t>(112, fill), ""});
    }

    // Loads the file and runs it to its end.
    InterpreterState run(const std::string& name)
    {
        answerEndOfProgram();
        EXPECT_EQ(f.interpreter.loadProgramFile(folder.file(name)), 0u) << name;
        return startProgram(f.interpreter);
    }

    std::vector<std::pair<double, double>> targets() const
    {
        std::vector<std::pair<double, double>> result;
        for (const auto* g : f.channel.of<CEntryGeo_3D>())
            result.emplace_back(g->m_target.GetX(), g->m_target.GetY());
        return result;
    }
};

using Targets = std::vector<std::pair<double, double>>;

std::vector<int> mNumbers(const CEntryMFunk* m)
{
    std::vector<int> numbers;
    for (int n : m->m_mNumbers)
        if (n >= 0)
            numbers.push_back(n);
    return numbers;
}
} // namespace

TEST(ProgramFiles, ContourRunsIntoEntries)
{
    Project p;
    p.folder.write("contour.nc", "%contour\n"
                                 "T1 M3 S1200 (tool, spindle on)\n"
                                 "G0 X40 Y20\n"
                                 "G2 X60 Y40 I20 F600\n"
                                 // The executor takes a radius only before the end point.
                                 "G3 U20 X40 Y60\n"
                                 "M5\n"
                                 "M30\n");
    std::vector<std::uint8_t> state(112);
    for (std::size_t i = 0; i < state.size(); ++i)
        state[i] = static_cast<std::uint8_t>(0x10 + i);
    p.f.channel.channelStateAnswers.push_back({0, state, ""});
    ASSERT_EQ(p.f.interpreter.loadProgramFile(p.folder.file("contour.nc")), 0u);
    EXPECT_EQ(p.f.channel.openedFiles, std::vector<std::string>{p.folder.file("contour.nc")});
    EXPECT_EQ(startProgram(p.f.interpreter), InterpreterState::Finished);
    EXPECT_TRUE(p.f.channel.messages.empty());

    const auto& entries = p.f.channel.entries;
    ASSERT_GE(entries.size(), 4u);
    const auto* tool = dynamic_cast<const CEntryToolNr*>(entries[0].get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->m_tool, 1);
    const auto* reset = dynamic_cast<const CEntryMFunk*>(entries[1].get());
    const auto* set = dynamic_cast<const CEntryMFunk*>(entries[2].get());
    ASSERT_TRUE(reset && set);
    EXPECT_EQ(reset->m_kind, static_cast<std::uint16_t>(MFunkKind::Reset));
    EXPECT_EQ(mNumbers(reset), (std::vector<int>{4, 5}));
    EXPECT_EQ(set->m_kind, static_cast<std::uint16_t>(MFunkKind::Set));
    EXPECT_EQ(mNumbers(set), std::vector<int>{3});
    const auto spindles = p.f.channel.of<CEntrySpindel>();
    ASSERT_EQ(spindles.size(), 1u);
    EXPECT_EQ(spindles[0]->m_speed, 1200.0);

    const auto geo = p.f.channel.of<CEntryGeo_3D>();
    ASSERT_EQ(geo.size(), 3u);
    EXPECT_EQ(geo[1]->m_geoType, 1u);
    EXPECT_EQ(geo[1]->m_feed, 600.0);
    EXPECT_NEAR(geo[1]->m_centre.GetX(), 60.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_centre.GetY(), 20.0, 1e-9);
    EXPECT_NEAR(geo[1]->m_rotation.GetZ(), -Pi / 2, 1e-9);
    EXPECT_NEAR(geo[2]->m_centre.GetX(), 40.0, 1e-9);
    EXPECT_NEAR(geo[2]->m_centre.GetY(), 40.0, 1e-9);
    EXPECT_NEAR(geo[2]->m_rotation.GetZ(), Pi / 2, 1e-9);
    // The block's source line goes with its entries.
    EXPECT_STREQ(p.f.channel.store.getLine(static_cast<std::int32_t>(geo[2]->m_textIdx)), "G3 U20 X40 Y60\n");
    EXPECT_EQ(p.f.channel.store.lineNumber(static_cast<std::int32_t>(geo[2]->m_textIdx)), 5u);

    // M5 resets M3 and M4 after the motion and sets itself; then the signal.
    const auto ms = p.f.channel.of<CEntryMFunk>();
    ASSERT_EQ(ms.size(), 4u);
    EXPECT_EQ(ms[2]->m_kind, static_cast<std::uint16_t>(MFunkKind::Reset));
    EXPECT_EQ(mNumbers(ms[2]), (std::vector<int>{3, 4}));
    EXPECT_EQ(mNumbers(ms[3]), std::vector<int>{5});
    const auto signals = p.f.channel.of<CEntryORXsignal>();
    ASSERT_EQ(signals.size(), 1u);
    ASSERT_EQ(signals[0]->m_length, 112u);
    EXPECT_TRUE(std::equal(state.begin(), state.end(), signals[0]->m_data));
    EXPECT_EQ(dynamic_cast<const CEntryORXsignal*>(entries.back().get()), signals[0]);
}

TEST(ProgramFiles, ZeroPointsFromTheProjectFolder)
{
    Project p;
    p.folder.write("shift.nc", "G0 X10\nG54 X10\nG55 X10\nG53 X10\nM30\n");
    EXPECT_EQ(p.run("shift.nc"), InterpreterState::Finished);
    EXPECT_EQ(p.targets(), (Targets{{10, 0}, {11, 0}, {12, 0}, {10, 0}}));
}

TEST(ProgramFiles, SubProgramFromItsFileRepeats)
{
    Project p;
    p.folder.write("main.nc", "G90 G1 F100\nR1=0\nL500 P2\n@124 R1 K4 K40\nX45 Y25\nN40 X50 Y30\nM30\n");
    p.folder.write("L500.nc", "L500\nR1=R1+1\nX=R1*10 Y=R1*5\nR1=R1+1\nX=R1*10 Y=R1*5\nM17\n");
    EXPECT_EQ(p.run("main.nc"), InterpreterState::Finished);
    EXPECT_EQ(p.targets(), (Targets{{10, 5}, {20, 10}, {30, 15}, {40, 20}, {45, 25}, {50, 30}}));
    EXPECT_EQ(p.f.channel.openedFiles,
              (std::vector<std::string>{p.folder.file("main.nc"), p.folder.file("L500.nc")}));

    // With R1 short of 4 the comparison fails and the jump skips (45,25).
    Project q;
    q.folder.write("main.nc", "G90 G1 F100\nR1=0\nL500 P1\n@124 R1 K4 K40\nX45 Y25\nN40 X50 Y30\nM30\n");
    q.folder.write("L500.nc", "L500\nR1=R1+1\nX=R1*10 Y=R1*5\nR1=R1+1\nX=R1*10 Y=R1*5\nM17\n");
    EXPECT_EQ(q.run("main.nc"), InterpreterState::Finished);
    EXPECT_EQ(q.targets(), (Targets{{10, 5}, {20, 10}, {50, 30}}));
}

TEST(ProgramFiles, SubProgramsOfTheSameFile)
{
    Project p;
    // Defined after M30, called before its definition; a file without its
    // label line is the sub-program from its start.
    p.folder.write("main.nc", "G1 F100\nL20 P2\nX1\nL21 P1\nM30\nL20\nG91 X5\nG90\nM17\n");
    p.folder.write("L21.nc", "(no label line)\nY7\nM17\n");
    EXPECT_EQ(p.run("main.nc"), InterpreterState::Finished);
    EXPECT_EQ(p.targets(), (Targets{{5, 0}, {10, 0}, {1, 0}, {1, 7}}));
    EXPECT_TRUE(p.f.channel.messages.empty());
}

TEST(ProgramFiles, SubProgramFolderComesFirst)
{
    struct Case
    {
        bool inSub;
        bool inProject;
        bool subSet;
        double x; // the target the sub-program gives; 0 when none is found
    } cases[] = {
        {true, true, true, 1},  {false, true, true, 2},  {true, false, true, 1},
        {true, true, false, 2}, {false, false, true, 0},
    };
    for (const Case& c : cases)
    {
        Project p;
        TempFolder sub;
        if (c.subSet)
            p.f.interpreter.setSubProgramDirectory(sub.str());
        if (c.inSub)
            sub.write("L7.nc", "X1\nM17\n");
        if (c.inProject)
            p.folder.write("L7.nc", "X2\nM17\n");
        p.folder.write("main.nc", "G1 F100\nX9\nL7 P1\nM30\n");
        p.answerEndOfProgram();
        const std::uint32_t error = p.f.interpreter.loadProgramFile(p.folder.file("main.nc"));
        if (c.x == 0)
        {
            EXPECT_EQ(error, NcError::LabelNotFound);
            EXPECT_EQ(p.f.interpreter.getState(), InterpreterState::Error);
            ASSERT_TRUE(p.f.channel.logged(0x405));
            EXPECT_EQ(p.f.channel.messages.back().args, (std::vector<std::string>{"1", "L7"}));
            continue;
        }
        ASSERT_EQ(error, 0u);
        EXPECT_EQ(startProgram(p.f.interpreter), InterpreterState::Finished);
        EXPECT_EQ(p.targets(), (Targets{{9, 0}, {c.x, 0}}));
    }
}

TEST(ProgramFiles, IndirectCallsLoadTheirFileAtRunTime)
{
    Project p;
    p.folder.write("main.nc", "G1 F100\nR5=9\nL=R5 P2\nY1\nM30\n");
    p.folder.write("L9.nc", "L9\nG91 X3\nG90\nM17\n");
    EXPECT_EQ(p.run("main.nc"), InterpreterState::Finished);
    EXPECT_EQ(p.targets(), (Targets{{3, 0}, {6, 0}, {6, 1}}));

    Project missing;
    missing.folder.write("main.nc", "G1 F100\nR5=8\nL=R5\nM30\n");
    EXPECT_EQ(missing.run("main.nc"), InterpreterState::Error);
    EXPECT_TRUE(missing.f.channel.logged(0x405));
    EXPECT_TRUE(missing.f.channel.logged(0xC65));
    EXPECT_EQ(missing.f.interpreter.ncError(), NcError::LabelNotFound);
}

TEST(ProgramFiles, LoadErrorsMarkTheLine)
{
    struct Case
    {
        const char* text;
        std::uint32_t error;
        std::int32_t errorLine; // index in the text store
    } cases[] = {
        {"X1\nY2 E\nZ3\n", NcError::Syntax, 4 + 10},
        {"X1\nG36\n", NcError::CycleParameter, 4 + 10},
        {"L1\nL2\nL3\n", NcError::LabelNotFound, 2 * (4 + 10)}, // the table holds two labels
        {"L1\nL1\n", NcError::Syntax, 4 + 10},
    };
    for (const Case& c : cases)
    {
        TempFolder folder;
        folder.write("p.nc", c.text);
        RecordingChannel channel;
        CCorvantaInterpreter interpreter(channel, 65536, 2);
        EXPECT_EQ(interpreter.loadProgramFile(folder.file("p.nc")), c.error) << c.text;
        EXPECT_EQ(interpreter.getState(), InterpreterState::Error) << c.text;
        EXPECT_EQ(interpreter.errorLine(), c.errorLine) << c.text;
        EXPECT_EQ(interpreter.ncError(), c.error) << c.text;
        // Once the worker's step has taken the error, a new load starts afresh.
        interpreter.step();
        folder.write("q.nc", "X1\n");
        EXPECT_EQ(interpreter.loadProgramFile(folder.file("q.nc")), 0u) << c.text;
        EXPECT_EQ(interpreter.getState(), InterpreterState::Ready);
        EXPECT_EQ(interpreter.errorLine(), -1);
    }
    InterpreterFixture f;
    EXPECT_EQ(f.interpreter.loadProgramFile("/nonexistent/p.nc"), NcError::LabelNotFound);
    EXPECT_TRUE(f.channel.logged(0x405));
    // A program that is running is not replaced.
    InterpreterFixture busy;
    busy.interpreter.setState(InterpreterState::Running);
    EXPECT_EQ(busy.interpreter.loadProgramSource("X1\n"), NcResult::NotAllowed);
}
