// Millpath, the NC kernel simulator, the router and the user server as
// processes: programs loaded and started over the service port, the records
// the kernel gets, the port's answers, the configuration and the files.
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "millpath_harness.h"

using namespace mptest;

namespace
{
constexpr double HalfPi = 1.5707963267948966;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> data;
    for (int v : values)
        data.push_back(static_cast<std::uint8_t>(v));
    return data;
}

} // namespace

TEST(MillpathProcess, ContourReachesTheKernelInOrder)
{
    Running run;
    const auto records = RunProgram(run.device, "contour.nc");
    std::vector<LogLine> motion;
    std::vector<LogLine> rules;
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        const LogLine& r = records[i];
        if (r.at("kind") == "8")
        {
            // Each rules record comes before the geometry of its block.
            rules.push_back(r);
            std::size_t next = i + 1;
            while (next < records.size() && records[next].at("kind") != "2")
                ++next;
            ASSERT_LT(next, records.size());
            EXPECT_EQ(records[next].at("block"), r.at("block"));
        }
        else if (r.at("kind") != "4")
            motion.push_back(r);
    }
    // A rules record at each change of the motion: G1, G2, G3, G1 again.
    ASSERT_EQ(rules.size(), 4u);
    const std::vector<std::pair<std::string, std::vector<double>>> changes = {{"40", {0, 1, 0, 0, 0, 0}},
                                                                              {"50", {0, 0, 1, 0, 0, 0}},
                                                                              {"60", {0, 0, 0, 0, 0, 0}},
                                                                              {"70", {0, 1, 0, 0, 0, 0}}};
    for (std::size_t i = 0; i < changes.size(); ++i)
    {
        EXPECT_EQ(rules[i].at("block"), changes[i].first);
        ExpectVec(rules[i].at("rules"), changes[i].second);
    }
    ASSERT_GE(motion.size(), 12u);
    EXPECT_EQ(motion[0].at("kind"), "14");
    EXPECT_EQ(motion[0].at("tool"), "1");
    // M3 resets M4 and M5 before it is set.
    EXPECT_EQ(motion[1].at("kind"), "5");
    EXPECT_EQ(motion[1].at("mkind"), "2");
    ExpectVec(motion[1].at("m"), {4, 5, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(motion[2].at("mkind"), "1");
    ExpectVec(motion[2].at("m"), {3, -1, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(motion[3].at("kind"), "7");
    EXPECT_DOUBLE_EQ(std::stod(motion[3].at("speed")), 1200.0);
    // The spindle speed is the double at byte 28 of the record.
    EXPECT_EQ(motion[3].at("hex").substr(56, 16), "0000000000c09240");

    EXPECT_EQ(motion[4].at("type"), "1");
    ExpectVec(motion[4].at("target"), {60, 0, 0});
    EXPECT_DOUBLE_EQ(std::stod(motion[4].at("velocity")), 600.0 / 60.0);
    EXPECT_EQ(motion[5].at("type"), "2");
    EXPECT_EQ(motion[5].at("plane"), "1");
    ExpectVec(motion[5].at("center"), {60, 20, 0});
    ExpectVec(motion[5].at("turn"), {0, 0, -HalfPi});
    ExpectVec(motion[5].at("target"), {40, 20, 0});
    EXPECT_EQ(motion[6].at("type"), "2");
    ExpectVec(motion[6].at("center"), {40, 40, 0});
    ExpectVec(motion[6].at("turn"), {0, 0, HalfPi});
    ExpectVec(motion[7].at("target"), {0, 40, 0});
    ExpectVec(motion[8].at("target"), {0, 0, 0});
    for (int i = 4; i <= 8; ++i)
        EXPECT_DOUBLE_EQ(std::stod(motion[static_cast<std::size_t>(i)].at("velocity")), 10.0);

    EXPECT_EQ(motion[9].at("mkind"), "2");
    ExpectVec(motion[9].at("m"), {3, 4, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(motion[10].at("mkind"), "1");
    ExpectVec(motion[10].at("m"), {5, -1, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(motion[11].at("kind"), "10");
    // Every record carries the line and block of its block; unnamed bytes are zero.
    EXPECT_EQ(motion[5].at("block"), "50");
    EXPECT_EQ(motion[0].at("hex").substr(48), std::string(312 - 48, '0'));
    // A batch holds records of one kind.
    for (const auto& answer : run.device.Log("answer"))
        EXPECT_EQ(answer.at("result"), "0");
}

TEST(MillpathProcess, CircularSmoothingRoundsTheCorners)
{
    Running run;
    {
        std::ofstream program(run.device.Project() + "/smooth.nc");
        program << "%smooth\n#set param CircularSmoothing(1)#\nN10 G90 G1 F600 X40 Y0\nN20 X40 Y20\n"
                   "N30 X0 Y20\nN40 M30\n";
    }
    RunProgram(run.device, "smooth.nc");
    // The last line waits for a successor until the program has ended.
    std::vector<LogLine> geometry;
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (geometry.size() < 5 && std::chrono::steady_clock::now() < deadline)
    {
        geometry.clear();
        for (const auto& r : run.device.Log("record"))
            if (r.at("kind") == "2")
                geometry.push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Lines end 1 before each corner; an arc tangent to both turns left.
    ASSERT_EQ(geometry.size(), 5u);
    const std::vector<std::vector<double>> targets = {
        {39, 0, 0}, {40, 1, 0}, {40, 19, 0}, {39, 20, 0}, {0, 20, 0}};
    for (std::size_t i = 0; i < targets.size(); ++i)
    {
        EXPECT_EQ(geometry[i].at("type"), i % 2 ? "2" : "1") << i;
        ExpectVec(geometry[i].at("target"), targets[i]);
        EXPECT_DOUBLE_EQ(std::stod(geometry[i].at("velocity")), 10.0) << i;
    }
    ExpectVec(geometry[1].at("center"), {39, 1, 0});
    ExpectVec(geometry[1].at("turn"), {0, 0, HalfPi});
    EXPECT_EQ(geometry[1].at("plane"), "1");
    EXPECT_EQ(geometry[1].at("block"), "10");
    ExpectVec(geometry[3].at("center"), {39, 19, 0});
    ExpectVec(geometry[3].at("turn"), {0, 0, HalfPi});
}

TEST(MillpathProcess, LoopGivesItsTargetsAndRunsAgain)
{
    Running run;
    for (int round = 0; round < 2; ++round)
    {
        std::vector<std::vector<double>> targets;
        for (const auto& r : RunProgram(run.device, "loop.nc"))
            if (r.at("kind") == "2")
                targets.push_back(Numbers(r.at("target")));
        EXPECT_EQ(targets,
                  (std::vector<std::vector<double>>{{10, 5, 0}, {20, 10, 0}, {30, 15, 0}, {0, 0, 0}}));
    }
}

TEST(MillpathProcess, ErrorsLeaveTheErrorState)
{
    Running run;
    // G41 is refused under G2 when the block runs; E5 already when it is translated.
    struct Case
    {
        const char* text;
        bool loads;
    } cases[] = {{"G1 F100 X1\nG2 X2 Y1 I1\nG41\n", true}, {"E5\n", false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        std::ofstream(run.device.Project() + "/bad.nc") << c.text;
        EXPECT_EQ(run.device.Load("bad.nc") == 0, c.loads);
        if (c.loads)
        {
            EXPECT_EQ(run.device.StartProgram(), 0);
        }
        ASSERT_TRUE(run.device.WaitState(11));
        std::vector<std::uint8_t> error;
        ASSERT_EQ(run.device.Read(0x2101, 3, 4, error), 0);
        EXPECT_NE(error, Bytes({0, 0, 0, 0}));
        // The error stands until a new load, which is taken from there.
        EXPECT_EQ(run.device.State(), 11);
        EXPECT_EQ(run.device.Load("loop.nc"), 0);
        EXPECT_EQ(run.device.State(), 2);
    }
}

// A program named by a path is found below the device root or not at all: neither
// ".." nor a host path reaches a program outside it.
TEST(MillpathProcess, ProgramPathsStayBelowTheDeviceRoot)
{
    Running run;
    const std::string outside = run.device.Root() + "-outside";
    std::filesystem::create_directories(outside);
    std::filesystem::copy_file(run.device.Project() + "/loop.nc", outside + "/escape.nc");
    std::string climb;
    for (int i = 0; i < 24; ++i)
        climb += "../";
    const struct
    {
        std::string name;
        bool loads;
    } cases[] = {
        {climb + outside.substr(1) + "/escape.nc", false},
        {outside + "/escape.nc", false},
        {"..\\..\\..\\..\\etc\\passwd", false},
        {"/etc/hostname", false},
        {"\\Nc\\loop.nc", true},
        {"Nc/../Nc/loop.nc", true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run.device.Load(c.name) == 0, c.loads);
    }
    std::filesystem::remove_all(outside);
}

// A project folder from the registry that would leave the device root (climbing out, or through a
// link inside the root that leads out) is not used: its programs are not found.
TEST(MillpathProcess, AProjectFolderOutsideTheDeviceRootIsNotUsed)
{
    for (const bool throughALink : {false, true})
    {
        SCOPED_TRACE(throughALink ? "a link out of the root" : "climbing out of the root");
        Device device;
        const std::string outside = device.Root() + "-outside";
        // The whole project outside, so only the folder's place can stop the load.
        std::filesystem::copy(device.Project(), outside, std::filesystem::copy_options::recursive);
        std::filesystem::copy_file(device.Project() + "/loop.nc", outside + "/escape.nc");
        std::string folder = device.Root() + "/Out";
        std::filesystem::create_directory_symlink(outside, folder);
        if (!throughALink)
        {
            folder.clear();
            for (int i = 0; i < 24; ++i)
                folder += "../";
            folder += outside.substr(1);
        }
        SetProjectPath(folder);
        device.StartSim();
        device.StartMillpath();
        std::uint32_t result = 1;
        EXPECT_TRUE(device.WaitConfigured(1, result));
        EXPECT_NE(device.Load("escape.nc"), 0);
        std::filesystem::remove_all(outside);
    }
}

TEST(MillpathProcess, PortAnswersByTable)
{
    Running run;
    Device& d = run.device;
    const std::vector<double> pair = {1.25, -2.5};
    ASSERT_EQ(d.Write(0x2301, 0x10000000 + 998, Doubles(pair)), 0);
    std::vector<std::uint8_t> back;
    ASSERT_EQ(d.Read(0x2301, 0x10000000 + 998, 16, back), 0);
    EXPECT_EQ(back, Doubles(pair));

    struct Case
    {
        const char* what;
        char op; // r read, w write, x read-write
        ULONG group;
        ULONG offset;
        ULONG length; // read length, or data length of a write
        std::vector<std::uint8_t> data;
        LONG expected;
    };
    const std::vector<std::uint8_t> r16(16, 0);
    const Case cases[] = {
        {"R 1000", 'w', 0x2301, 0x10000000 + 1000, 0, Doubles({1.0}), 0x703},
        {"R 999 with two", 'w', 0x2301, 0x10000000 + 999, 0, r16, 0x703},
        {"R read 999 with two", 'r', 0x2301, 0x10000000 + 999, 16, {}, 0x703},
        {"R 12 bytes", 'w', 0x2301, 0x10000000 + 998, 0, std::vector<std::uint8_t>(12, 0), 0x705},
        {"read commands", 'r', 0x2201, 2, 4, {}, 0x704},
        {"write state", 'w', 0x2101, 1, 0, {1, 0, 0, 0}, 0x704},
        {"channel 9 values", 'r', 0x2009, 4, 4, {}, 0x702},
        {"channel 9 state", 'r', 0x2109, 1, 4, {}, 0x702},
        {"channel 9 command", 'w', 0x2209, 2, 0, {}, 0x702},
        {"channel 9 R", 'r', 0x2309, 0x10000000, 8, {}, 0x702},
        {"channel 9 M table", 'x', 0x2009, 16, 41, {0, 0, 0, 0, 1, 0, 0, 0}, 0x702},
        {"tools past 255", 'r', 0x2001, 0x2FF00, 4, {}, 0x705},
        {"tool data past 255", 'r', 0x2001, 0x4FF01, 16, {}, 0x705},
        {"zero points past 10", 'r', 0x2001, 0x1010A, 16, {}, 0x705},
        {"zero point index 0", 'r', 0x2001, 0x10001, 8, {}, 0x703},
        {"M table of a wrong length", 'x', 0x2001, 16, 41, {0, 0, 0, 0, 2, 0, 0, 0}, 0x705},
        {"M table", 'x', 0x2001, 16, 82, {0, 0, 0, 0, 2, 0, 0, 0}, 0},
        {"unknown command", 'w', 0x2201, 0x99, 0, {}, 0x703},
        {"long run text", 'w', 0x2201, 3, 0, std::vector<std::uint8_t>(501, 'X'), 0x705},
        {"mode 3", 'w', 0x2001, 7, 0, {3, 0, 0, 0}, 0x70B},
        {"mode 2", 'w', 0x2001, 7, 0, {2, 0, 0, 0}, 0},
        {"flag of 2 bytes", 'w', 0x2001, 84, 0, {1, 0}, 0x705},
        {"line text", 'x', 0x2101, 17, 10, {0, 0, 0, 0}, 0},
        {"line text of a short index", 'x', 0x2101, 17, 10, {0, 0}, 0x705},
        {"record of an entry", 'x', 0x2301, 0x20000001, 30, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
    };
    for (const auto& c : cases)
    {
        std::vector<std::uint8_t> answer;
        LONG result = 0;
        if (c.op == 'r')
            result = d.Read(c.group, c.offset, c.length, answer);
        else if (c.op == 'w')
            result = d.Write(c.group, c.offset, c.data);
        else
            result = d.ReadWrite(c.group, c.offset, c.length, c.data, answer);
        EXPECT_EQ(result, c.expected) << c.what;
        if (result == 0 && c.op != 'w')
        {
            EXPECT_EQ(answer.size(), c.length) << c.what;
        }
    }
}

TEST(MillpathProcess, ConfigurationResults)
{
    struct Case
    {
        const char* what;
        std::string config;
        std::uint32_t result;
        int lastChannel; // answers; the next one does not
    };
    std::string many;
    for (int c = 1; c <= 33; ++c)
        many += "channel " + std::to_string(c) + "\n";
    const Case cases[] = {
        {"33 channels", many + "group 1 channel 1\n", 0x4000, 32},
        {"a group of an unknown channel", "channel 1\ngroup 1 channel 5\n", 0x4010, 1},
        {"dialect 3", "channel 1\nchannel 2 dialect 3\n", 0x4108, 1},
        {"a size below 1000", "channel 1 size 999\n", 0x4108, 0},
        {"a group of another type", "channel 1\ngroup 1 type 1\ngroup 2 channel 1\n", 0, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Device device;
        const std::string file = device.Root() + "/kernel.cfg";
        std::ofstream(file) << c.config;
        device.StartSim({"--config", file});
        device.StartMillpath();
        std::uint32_t result = 0;
        ASSERT_TRUE(device.WaitConfigured(1, result));
        EXPECT_EQ(result, c.result);
        // The channels may still be coming up when the result is logged, and a busy machine is slow to
        // make 32 of them: wait for the last one before asking for the one after it.
        if (c.lastChannel > 0)
        {
            EXPECT_TRUE(device.WaitState(1, c.lastChannel)) << "state " << device.State(c.lastChannel);
        }
        EXPECT_EQ(device.State(c.lastChannel + 1), -1);
    }
}

TEST(MillpathProcess, SecondConfigurationRebuilds)
{
    Running run;
    ASSERT_EQ(run.device.Load("contour.nc"), 0);
    EXPECT_EQ(run.device.State(), 2);
    ASSERT_EQ(run.device.WriteTo("NcKernelSim", 1, 0, {}), 0);
    std::uint32_t result = 1;
    ASSERT_TRUE(run.device.WaitConfigured(2, result));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(run.device.State(), 1); // a fresh channel
    // The new channel runs programs as the old one did.
    EXPECT_FALSE(RunProgram(run.device, "loop.nc").empty());
}

TEST(MillpathProcess, UserServerPortDrivesTheService)
{
    Device device;
    device.StartSim();
    device.StartMillpath(false);
    std::vector<std::uint8_t> data;
    // Before any start: 2, 3 and 4 answer 0 and nothing is reachable.
    for (ULONG group : {2u, 3u, 4u})
        EXPECT_EQ(device.WriteTo("UserSrv_Millpath", group, 0, {}), 0) << group;
    EXPECT_EQ(device.Read(0x2001, 4, 4, data), static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));

    ASSERT_EQ(device.WriteTo("UserSrv_Millpath", 1, 0, {}), 0);
    EXPECT_EQ(device.Read(0x2001, 4, 4, data), static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));
    ASSERT_EQ(device.WriteTo("UserSrv_Millpath", 2, 0, {}), 0);
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(1, result));
    ASSERT_TRUE(device.WaitState(1));
    ASSERT_EQ(device.Load("loop.nc"), 0);

    // Group 1 again: a fresh service, reachable after the next service call.
    ASSERT_EQ(device.WriteTo("UserSrv_Millpath", 1, 0, {}), 0);
    EXPECT_EQ(device.Read(0x2001, 4, 4, data), static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));
    ASSERT_EQ(device.WriteTo("UserSrv_Millpath", 2, 0, {}), 0);
    ASSERT_TRUE(device.WaitConfigured(2, result));
    EXPECT_TRUE(device.WaitState(1));

    // Stop and shut down take the service away.
    EXPECT_EQ(device.WriteTo("UserSrv_Millpath", 3, 0, {}), 0);
    EXPECT_EQ(device.Read(0x2001, 4, 4, data), static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));
    EXPECT_EQ(device.WriteTo("UserSrv_Millpath", 4, 0, {}), 0);
}

TEST(MillpathProcess, ZeroPointAndToolFiles)
{
    Running run;
    Device& d = run.device;
    ASSERT_EQ(d.Write(0x2001, 0x10102, Doubles({12.5})), 0);  // axis 1, zero point 2
    ASSERT_EQ(d.Write(0x2001, 0x10308, Doubles({-3.25})), 0); // axis 3, zero point 8
    ASSERT_EQ(d.Write(0x2001, 0x40703, Doubles({7.75})), 0);  // tool 7, datum 3
    ASSERT_EQ(d.Write(0x2001, 0x20700, {9, 0}), 0);           // tool 7, first word
    ASSERT_EQ(d.Write(0x2201, 0x20, {}), 0);
    ASSERT_EQ(d.Write(0x2201, 0x22, {}), 0);
    ASSERT_EQ(d.Write(0x2201, 0x27, {}), 0);
    ASSERT_EQ(d.Write(0x2201, 0x26, {}), 0);
    std::vector<std::uint8_t> value;
    ASSERT_EQ(d.Read(0x2001, 0x10102, 8, value), 0);
    EXPECT_EQ(value, Doubles({0.0}));
    ASSERT_EQ(d.Write(0x2201, 0x21, {}), 0);
    ASSERT_EQ(d.Write(0x2201, 0x23, {}), 0);
    ASSERT_EQ(d.Read(0x2001, 0x10101, 16, value), 0);
    EXPECT_EQ(value, Doubles({0.0, 12.5}));
    ASSERT_EQ(d.Read(0x2001, 0x10308, 8, value), 0);
    EXPECT_EQ(value, Doubles({-3.25}));
    ASSERT_EQ(d.Read(0x2001, 0x40603, 16, value), 0); // tools 6 and 7
    EXPECT_EQ(value, Doubles({0.0, 7.75}));
    ASSERT_EQ(d.Read(0x2001, 0x20700, 2, value), 0);
    EXPECT_EQ(value, Bytes({9, 0}));

    // A short file fills the missing values with 0.0.
    std::ofstream(d.Project() + "/1.NP") << "1.5;2.5;\n";
    ASSERT_EQ(d.Write(0x2201, 0x21, {}), 0);
    ASSERT_EQ(d.Read(0x2001, 0x10101, 24, value), 0);
    EXPECT_EQ(value, Doubles({1.5, 2.5, 0.0}));
    ASSERT_EQ(d.Read(0x2001, 0x10201, 8, value), 0);
    EXPECT_EQ(value, Doubles({0.0}));
    // A missing file answers 0x707 and keeps the values.
    std::filesystem::remove(d.Project() + "/1.WZ");
    EXPECT_EQ(d.Write(0x2201, 0x23, {}), 0x707);
    ASSERT_EQ(d.Read(0x2001, 0x40703, 8, value), 0);
    EXPECT_EQ(value, Doubles({7.75}));
}

TEST(MillpathProcess, ChannelWithoutProjectPathUsesTheWorkingDirectory)
{
    Device device(false);
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(device.Root());
    std::ofstream("3.NP") << "4.5;\n";
    device.StartSim({"--channels", "3"});
    device.StartMillpath();
    std::filesystem::current_path(here);
    std::uint32_t result = 1;
    ASSERT_TRUE(device.WaitConfigured(1, result));
    std::vector<std::uint8_t> value;
    ASSERT_EQ(device.Read(0x2003, 0x10101, 8, value), 0);
    EXPECT_EQ(value, Doubles({4.5}));
    ASSERT_EQ(device.Write(0x2003, 0x10103, Doubles({6.0})), 0);
    ASSERT_EQ(device.Write(0x2203, 0x20, {}), 0);
    std::ifstream written(device.Root() + "/3.NP");
    std::string first;
    std::getline(written, first);
    EXPECT_EQ(first.substr(0, 27), "4.500000;0.000000;6.000000;");
}

TEST(MillpathProcess, SecondKernelAddressGetsTheParameterWrites)
{
    Running run({"--extra-port", "501", "--extra-port", "801"});
    Device& d = run.device;
    struct Case
    {
        int port;
        std::size_t atPort;
        std::size_t atKernel;
    } cases[] = {{501, 1, 0}, {801, 1, 1}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.port);
        std::vector<std::uint8_t> address(16, 0);
        address[6] = static_cast<std::uint8_t>(c.port);
        address[7] = static_cast<std::uint8_t>(c.port >> 8);
        address[8] = 0x10; // index group of the pre-processing
        ASSERT_EQ(d.Write(0x2001, 64, address), 0);
        auto names = [&](int port)
        {
            std::size_t n = 0;
            for (const auto& w : d.Log("write"))
                if (w.at("port") == std::to_string(port) && w.at("group") == "8449" &&
                    w.at("offset") == "7" && w.at("hex") == "6c6f6f702e6e6300") // "loop.nc"
                    ++n;
            return n;
        };
        const std::size_t atPort = names(c.port);
        const std::size_t atKernel = names(500);
        ASSERT_EQ(d.Load("loop.nc"), 0);
        EXPECT_EQ(names(c.port) - atPort, c.atPort);
        EXPECT_EQ(names(500) - atKernel, c.atKernel);
        // The blocks went through the second address's pre-processing.
        EXPECT_FALSE(d.Log("preprocess").empty());
    }
}

TEST(MillpathProcess, ToolTableSurvivesAStopAndServesRightAfterStartUp)
{
    Running run;
    Device& d = run.device;
    const std::string toolFile = d.Project() + "/1.WZ";
    const std::string before = vostest::ReadFile(toolFile);
    ASSERT_NE(before.find("1;0;5.000000;"), std::string::npos);
    std::ofstream(d.Project() + "/g41.nc") << "N10 G90 G1 F600 X0 Y-10\nN20 G41 D1 X0 Y0\nN30 X20 Y0\n"
                                              "N40 G40 X20 Y-10\nM30\n";
    // Tool 1 (radius 5) is known from the start, before any file command.
    for (int round = 0; round < 2; ++round)
    {
        SCOPED_TRACE(round);
        RunProgram(d, "g41.nc");
        EXPECT_EQ(d.NcError(), 0u);
        d.StopMillpath();
        EXPECT_EQ(vostest::ReadFile(toolFile), before);
        d.StartMillpath();
        std::uint32_t result = 1;
        ASSERT_TRUE(d.WaitConfigured(round + 2, result));
        ASSERT_EQ(result, 0u);
    }
}

TEST(MillpathProcess, AProgramThatFailedToLoadIsNotStarted)
{
    Running run;
    Device& d = run.device;
    // The blocks before the error, and the broken one, aim at X77: never a target.
    std::string syntax = "%broken\n";
    for (int n = 1; n <= 6; ++n)
        syntax += "N" + std::to_string(n * 10) + " G1 F600 X77 Y" + std::to_string(n) + "\n";
    syntax += "N70 X77 Y=)(\nM30\n";
    std::string large = "%large\n";
    for (int n = 0; large.size() <= 100000; ++n)
        large += "G1 F600 X77 Y" + std::to_string(n) + "\n";
    large += "M30\n";
    struct Case
    {
        const char* file;
        std::string text;
        std::uint32_t loadResult;
    } cases[] = {{"broken.nc", syntax, 0x4111}, {"large.nc", large, 0x4114}};
    std::ofstream(d.Project() + "/good.nc") << "N10 G90 G1 F600 X5 Y5\nM30\n";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        std::ofstream(d.Project() + "/" + c.file) << c.text;
        const std::size_t before = d.Log("record").size();
        EXPECT_EQ(d.Load(c.file), static_cast<LONG>(c.loadResult));
        EXPECT_EQ(d.State(), 11);
        EXPECT_EQ(d.StartProgram(), 0x707);
        EXPECT_EQ(d.NcError(), c.loadResult);
        // Only the good program that follows reaches the kernel.
        const auto records = RunProgram(d, "good.nc");
        EXPECT_EQ(d.Log("record").size() - before, records.size());
        for (const LogLine& r : records)
            if (r.at("kind") == "2")
                ExpectVec(r.at("target"), {5, 5, 0});
        EXPECT_EQ(d.NcError(), 0u);
    }
    // A name that is no file (none at all, or a folder) fails as a missing file would.
    std::filesystem::create_directory(d.Project() + "/folder.nc");
    for (const char* name : {"", "folder.nc", "\\Nc"})
    {
        SCOPED_TRACE(name);
        EXPECT_EQ(d.Load(name), 0x4113);
        EXPECT_EQ(d.State(), 11);
        EXPECT_EQ(d.StartProgram(), 0x707);
    }
}

TEST(MillpathProcess, EachKernelEventFinishesOneBatch)
{
    Running run;
    Device& d = run.device;
    ASSERT_EQ(d.WriteTo("NcKernelSim", 6, 0, Word(0)), 0); // no event 0 after a batch
    // Blocks of three records of different kinds: a batch each. The end of
    // the program waits for them, then signals its end in one more batch.
    std::ofstream(d.Project() + "/three.nc") << "N10 G90 G1 F600 X10 Y0\nN20 G2 X20 Y0 I5 J0\n"
                                                "N30 G3 X30 Y0 I5 J0\nM30\n";
    const std::size_t before = d.Log("answer").size();
    auto fed = [&] { return d.Log("answer").size() - before; };
    ASSERT_EQ(d.Load("three.nc"), 0);
    ASSERT_EQ(d.StartProgram(), 0);
    ASSERT_TRUE(d.WaitState(6));
    // The feed goes on without events until the table is empty: the wait
    // comes after the last block's geometry, whose batch is answered (its
    // answer line follows its record in the simulator's log).
    auto lastAnswered = [&]
    {
        bool lastFed = false;
        std::ifstream in(d.SimLog());
        for (std::string text; std::getline(in, text);)
        {
            const LogLine line = ParseLine(text);
            const auto event = line.find("event");
            if (event == line.end())
                continue;
            if (event->second == "record" && line.count("target") &&
                Numbers(line.at("target")) == std::vector<double>{30, 0, 0})
                lastFed = true;
            else if (event->second == "answer" && lastFed)
                return true;
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (!lastAnswered() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(lastAnswered());
    const std::size_t batches = fed();
    ASSERT_GE(batches, 3u);
    // Every event but the last leaves the wait standing; a released wait
    // would feed the end signal within a worker step, so a short look shows it.
    for (std::size_t i = 0; i + 1 < batches; ++i)
        ASSERT_EQ(d.Write(0x2201, 0x50, {}), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(fed(), batches);
    EXPECT_EQ(d.State(), 6);
    ASSERT_EQ(d.Write(0x2201, 0x50, {}), 0);
    EXPECT_TRUE(d.WaitLog("answer", before + batches + 1));
    // The end signal's own event ends the program.
    ASSERT_TRUE(d.WaitState(6));
    ASSERT_EQ(d.Write(0x2201, 0x50, {}), 0);
    EXPECT_TRUE(d.WaitState(12)) << "state " << d.State();
}
