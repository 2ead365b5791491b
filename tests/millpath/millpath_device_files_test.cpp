// Millpath's files through the real processes: programs, sub-programs, the tool
// and zero-point tables stay below the device root, whatever links the project
// folder holds and whatever folder the registry names; the tables keep every
// digit across a stop.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "millpath_harness.h"

using namespace mptest;

namespace
{
constexpr std::uint32_t FileMissing = 0x4113;
constexpr double OutsideValue = 77.5;

// The line texts the port shows for the first lines and the error line.
std::string LineTexts(Device& device)
{
    std::vector<std::uint8_t> errorLine;
    EXPECT_EQ(device.Read(0x2101, 6, 4, errorLine), 0);
    std::vector<std::uint32_t> indexes{0, 1, 2, 3};
    if (errorLine.size() == 4)
        indexes.push_back(static_cast<std::uint32_t>(errorLine[0] | errorLine[1] << 8 | errorLine[2] << 16 |
                                                     errorLine[3] << 24));
    std::string texts;
    for (const std::uint32_t index : indexes)
    {
        std::vector<std::uint8_t> text;
        if (device.ReadWrite(0x2101, 17, 200, Word(index), text) == 0)
            texts.append(text.begin(), text.end());
    }
    return texts;
}

double ReadValue(Device& device, ULONG offset)
{
    std::vector<std::uint8_t> data;
    EXPECT_EQ(device.Read(0x2001, offset, 8, data), 0);
    double value = 0.0;
    if (data.size() == 8)
        std::memcpy(&value, data.data(), sizeof(value));
    return value;
}

std::string ClimbOutTo(const std::string& hostFolder)
{
    std::string path;
    for (int i = 0; i < 24; ++i)
        path += "../";
    return path + hostFolder.substr(1);
}
} // namespace

// A file of the project folder that is a link out of the root is neither read, run nor
// written: a program is a missing file, a table keeps its values, and the outside file
// stays as it was. A link that stays in the root is followed.
TEST(MillpathDeviceFiles, ALinkOutOfTheRootReachesNothing)
{
    const struct Case
    {
        const char* link;    // the project file that is a link
        const char* load;    // the program loaded; empty: a table file, read at start
        std::string content; // the text of the file it leads to
        std::string marker;  // what of that text must not come back
        bool inside;         // the link leads to a file in the root
    } cases[] = {
        {"pw.nc", "pw.nc", "root:x:0:0:root:/root:/bin/bash\n", "root:x", false},
        {"link.nc", "link.nc", "G90 G1 F600 X77 Y7\nM30\n", "X77", false},
        {"L55.nc", "main.nc", "X77 Y7\nM17\n", "X77", false},
        {"1.WZ", "", "1;0;77.5;77.5;\n", "", false},
        {"1.NP", "", "77.5;77.5;\n77.5;\n", "", false},
        {"inside.nc", "inside.nc", "G90 G1 F600 X77 Y7\nM30\n", "", true},
    };
    Device device;
    const std::string outside = device.Root() + "-outside";
    auto target = [&](const Case& c)
    { return (c.inside ? device.Root() + "/Other" : outside) + "/" + c.link; };
    for (const Case& c : cases)
    {
        std::filesystem::create_directories(std::filesystem::path(target(c)).parent_path());
        std::ofstream(target(c)) << c.content;
        std::filesystem::remove(device.Project() + "/" + c.link);
        std::filesystem::create_symlink(target(c), device.Project() + "/" + c.link);
    }
    std::ofstream(device.Project() + "/main.nc") << "G90 G1 F600 X1 Y1\nL55 P1\nM30\n";
    device.StartSim();
    device.StartMillpath();
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(1, result));
    ASSERT_EQ(result, 0u);

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.link);
        if (c.inside)
        {
            EXPECT_EQ(device.Load(c.load), 0);
        }
        else if (*c.load)
        {
            const std::string eventsBefore = vostest::ReadFile(device.Root() + "/VosEvent.log");
            const std::uint32_t records = device.RecordCount();
            EXPECT_EQ(device.Load(c.load), static_cast<LONG>(FileMissing));
            EXPECT_EQ(device.NcError(), FileMissing);
            EXPECT_EQ(device.StartProgram(), 0x707);
            EXPECT_EQ(device.RecordCount(), records);
            EXPECT_EQ(LineTexts(device).find(c.marker), std::string::npos);
            const std::string events = vostest::ReadFile(device.Root() + "/VosEvent.log");
            const std::string added = events.substr(std::min(events.size(), eventsBefore.size()));
            EXPECT_NE(added.find(std::filesystem::path(c.link).stem().string()), std::string::npos) << added;
            EXPECT_EQ(added.find(c.marker), std::string::npos);
        }
    }
    // Neither table was read at the start, nor is read or written by a file command.
    EXPECT_NE(ReadValue(device, 0x40101), OutsideValue); // tool 1, datum 1
    EXPECT_NE(ReadValue(device, 0x10101), OutsideValue); // axis 1, zero point 1
    for (const ULONG command : {0x20u, 0x21u, 0x22u, 0x23u})
        EXPECT_EQ(device.Write(0x2201, command, {}), 0x707) << command;
    device.StopMillpath();
    for (const Case& c : cases)
        EXPECT_TRUE(vostest::ReadFile(target(c)) == c.content) << c.link << " was written";
    std::filesystem::remove_all(outside);
}

// A project folder from the registry that leaves the root gives way to the root's own
// "Nc" folder: nothing is taken from, or written to, Millpath's working directory.
TEST(MillpathDeviceFiles, ARefusedProjectFolderFallsBackToTheDefaultOne)
{
    Device device;
    const std::string outside = device.Root() + "-outside";
    std::filesystem::create_directories(outside);
    const std::string strayTools = "1;0;77.5;\n";
    std::ofstream(outside + "/stray.nc") << "G90 G1 F600 X77 Y7\nM30\n";
    std::ofstream(outside + "/1.WZ") << strayTools;
    SetProjectPath(ClimbOutTo(outside));
    device.StartSim();
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(outside);
    device.StartMillpath();
    std::filesystem::current_path(here);
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(1, result));

    EXPECT_EQ(device.Load("stray.nc"), static_cast<LONG>(FileMissing));
    EXPECT_EQ(device.Load("loop.nc"), 0);
    EXPECT_EQ(ReadValue(device, 0x40101), 5.0); // the sample table of the root's "Nc"
    device.StopMillpath();
    EXPECT_TRUE(vostest::ReadFile(outside + "/1.WZ") == strayTools) << "the stray table was written";
    EXPECT_FALSE(std::filesystem::exists(outside + "/1.NP"));
    std::filesystem::remove_all(outside);
}

// Tool data and zero points come back after a stop and a start exactly as they were set.
TEST(MillpathDeviceFiles, TableValuesKeepEveryDigitAcrossAStop)
{
    Running run;
    Device& device = run.device;
    const struct
    {
        ULONG offset;
        double value;
    } cases[] = {
        {0x40703, 1.23456789012345},      // tool 7, datum 3
        {0x4070e, -0.000123456789012345}, // tool 7, datum 14
        {0x10102, -9876.54321098765},     // axis 1, zero point 2
        {0x10308, 1e-300},
    };
    for (const auto& c : cases)
        ASSERT_EQ(device.Write(0x2001, c.offset, Doubles({c.value})), 0);
    device.StopMillpath();
    device.StartMillpath();
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(2, result));
    for (const auto& c : cases)
        EXPECT_EQ(ReadValue(device, c.offset), c.value) << std::hex << c.offset;
}
