// Tool paths end to end: programs with radius correction, chamfers and
// roundings and the collision detection run through Millpath into the NC
// kernel simulator; the geometry records' targets are the corrected path.
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "millpath_harness.h"

using namespace mptest;

namespace
{
constexpr double HalfPi = 1.5707963267948966;
constexpr double Near = 1e-6;
using Point = std::vector<double>;

struct ToolPath
{
    Running run;

    // Tool 1 of the given radius; channel flags 80 to 84 by index.
    explicit ToolPath(double radius)
    {
        EXPECT_EQ(run.device.Write(0x2001, 0x20100, {1, 0}), 0);
        EXPECT_EQ(run.device.Write(0x2001, 0x40101, Doubles({radius})), 0);
    }
    void Flag(int index, std::uint32_t value)
    {
        EXPECT_EQ(run.device.Write(0x2001, 80 + index, Word(value)), 0);
    }
    void Program(const std::string& name, const std::string& text)
    {
        std::ofstream(run.device.Project() + "/" + name) << "%" << name << "\n" << text << "M30\n";
    }
    // The geometry records of the program's run; the feed may still be on
    // its way when the program has ended, so they are awaited.
    std::vector<LogLine> Geometry(const std::string& name, std::size_t expected)
    {
        const std::size_t before = run.device.Log("record").size();
        RunProgram(run.device, name);
        std::vector<LogLine> geometry;
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        do
        {
            geometry.clear();
            const auto records = run.device.Log("record");
            for (std::size_t i = before; i < records.size(); ++i)
                if (records[i].at("kind") == "2")
                    geometry.push_back(records[i]);
            if (geometry.size() >= expected)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return geometry;
    }
    std::string Events() const { return vostest::ReadFile(run.device.Root() + "/VosEvent.log"); }
};

void ExpectTargets(const std::vector<LogLine>& geometry, const std::vector<Point>& targets,
                   const std::string& name)
{
    ASSERT_EQ(geometry.size(), targets.size()) << name;
    for (std::size_t i = 0; i < targets.size(); ++i)
    {
        SCOPED_TRACE(name + " record " + std::to_string(i));
        ExpectVec(geometry[i].at("target"), targets[i], Near);
    }
}

const char* const Rectangle =
    "N10 G90 G1 F600 X20 Y-10\nN20 G4%d D1 X20 Y0\nN30 X40 Y0\nN40 X40 Y20\nN50 X0 Y20\n"
    "N60 X0 Y0\nN70 X20 Y0\nN80 G40 X20 Y-10\n";

std::string Format(const char* format, int value)
{
    char text[512];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}
} // namespace

TEST(MillpathToolPath, RectangleOffsetToEitherSide)
{
    ToolPath t(2.0);
    struct Case
    {
        int g;
        std::vector<Point> targets;
    } cases[] = {
        // Left of a counter-clockwise contour is inside; the approach runs over a
        // connecting line to the extended offset start.
        {41,
         {{20, -10, 0},
          {18, 0, 0},
          {18, 2, 0},
          {38, 2, 0},
          {38, 18, 0},
          {2, 18, 0},
          {2, 2, 0},
          {22.4, 2, 0},
          {20, -10, 0}}},
        {42,
         {{20, -10, 0},
          {20, -2, 0},
          {42, -2, 0},
          {42, 22, 0},
          {-2, 22, 0},
          {-2, -2, 0},
          {20, -2, 0},
          {20, -10, 0}}},
    };
    for (const Case& c : cases)
    {
        const std::string name = "rect" + std::to_string(c.g) + ".nc";
        t.Program(name, Format(Rectangle, c.g % 10));
        const auto geometry = t.Geometry(name, c.targets.size());
        ExpectTargets(geometry, c.targets, name);
        for (const LogLine& r : geometry)
            EXPECT_EQ(r.at("type"), "1") << name;
    }
}

TEST(MillpathToolPath, SlotEndOfTheToolsRadius)
{
    // The slot's end is a half circle of the tool's radius: the tool goes to
    // its centre and comes back, the arc leaving as a line of no length.
    ToolPath t(1.0);
    t.Program("slot.nc", "N10 G90 G1 F600 X-10 Y0\nN20 G41 D1 X0 Y0\nN30 X10 Y0\nN40 G3 X10 Y2 I0 J1\n"
                         "N50 G1 X0 Y2\nN60 G40 X-5 Y2\n");
    const std::vector<Point> targets = {{-10, 0, 0}, {0, 1, 0}, {10, 1, 0},
                                        {10, 1, 0},  {0, 1, 0}, {-5, 2, 0}};
    const auto geometry = t.Geometry("slot.nc", targets.size());
    ExpectTargets(geometry, targets, "slot");
    for (const LogLine& r : geometry)
        EXPECT_EQ(r.at("type"), "1");
}

TEST(MillpathToolPath, ChamfersAndRoundings)
{
    ToolPath t(2.0);
    t.Flag(2, 1); // the chamfer stage
    struct Case
    {
        const char* word;
        std::vector<Point> targets;
        bool arc;
    } cases[] = {
        {"RND=5", {{35, 0, 0}, {40, 5, 0}, {40, 20, 0}}, true},
        {"CHR=5", {{35, 0, 0}, {40, 5, 0}, {40, 20, 0}}, false},
        {"CHF=7.0710678", {{35, 0, 0}, {40, 5, 0}, {40, 20, 0}}, false},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        const std::string name = "corner" + std::to_string(++n) + ".nc";
        // Each program starts from the origin, where the one before did not end.
        t.Program(name, std::string("N5 G90 G0 X0 Y0\nN10 G1 F600 X40 Y0 ") + c.word + "\nN20 X40 Y20\n");
        auto geometry = t.Geometry(name, c.targets.size() + 1);
        geometry.erase(geometry.begin());
        ExpectTargets(geometry, c.targets, c.word);
        if (geometry.size() != 3)
            continue;
        EXPECT_EQ(geometry[1].at("type"), c.arc ? "2" : "1") << c.word;
        if (c.arc)
        {
            ExpectVec(geometry[1].at("center"), {35, 5, 0}, Near);
            ExpectVec(geometry[1].at("turn"), {0, 0, HalfPi}, Near);
        }
    }

    // Under G41 the rounding's offset arc keeps its centre with a radius of 5 - 2.
    t.Program("offsetround.nc", "N10 G90 G1 F600 X0 Y-10\nN20 G41 D1 X0 Y0\nN30 X40 Y0 RND=5\nN40 X40 Y20\n"
                                "N50 X0 Y20\nN60 G40 X0 Y30\n");
    const auto geometry = t.Geometry("offsetround.nc", 8);
    EXPECT_EQ(geometry.size(), 8u);
    int arcs = 0;
    for (const LogLine& r : geometry)
        if (r.at("type") == "2")
        {
            ++arcs;
            ExpectVec(r.at("center"), {35, 5, 0}, Near);
            ExpectVec(r.at("target"), {38, 5, 0}, Near);
            ExpectVec(r.at("turn"), {0, 0, HalfPi}, Near);
        }
    EXPECT_EQ(arcs, 1);

    // A leg of 5 on an arc of radius 10 ends where a circle of 5 about the corner cuts it.
    t.Program("arcchamfer.nc", "N5 G90 G0 X0 Y0\nN10 G1 F600 X20 Y0 CHR=5\nN20 G3 X30 Y10 I0 J10\n");
    auto onArc = t.Geometry("arcchamfer.nc", 4);
    ASSERT_EQ(onArc.size(), 4u);
    onArc.erase(onArc.begin());
    const double phi = 2.0 * std::asin(0.25);
    ExpectTargets(onArc, {{15, 0, 0}, {20 + 10 * std::sin(phi), 10 - 10 * std::cos(phi), 0}, {30, 10, 0}},
                  "arc chamfer");
    EXPECT_EQ(onArc[1].at("type"), "1");
    ExpectVec(onArc[2].at("center"), {20, 10, 0}, Near);
    ExpectVec(onArc[2].at("turn"), {0, 0, HalfPi - phi}, Near);
}

TEST(MillpathToolPath, PocketNarrowerThanTheToolByCollisionMode)
{
    const std::string pocket =
        "N10 G90 G1 F600 X20 Y-10\nN15 cdon\nN20 G41 D1 X20 Y0\nN30 X40 Y0\nN40 X40 Y4\n"
        "N50 X0 Y4\nN60 X0 Y0\nN70 X20 Y0\nN80 G40 X20 Y-10\n";
    const std::vector<Point> whole = {{20, -10, 0}, {17, 0, 0}, {17, 3, 0},   {37, 3, 0},  {37, 1, 0},
                                      {3, 1, 0},    {3, 3, 0},  {23.9, 3, 0}, {20, -10, 0}};
    {
        // Mode 0 stops the channel with a bottleneck error.
        ToolPath t(3.0);
        t.Flag(0, 0);
        t.Program("pocket.nc", pocket);
        EXPECT_EQ(t.run.device.Load("pocket.nc"), 0);
        EXPECT_EQ(t.run.device.StartProgram(), 0);
        EXPECT_TRUE(t.run.device.WaitState(11)) << "state " << t.run.device.State();
        EXPECT_NE(t.Events().find("\t0xC8A\t"), std::string::npos); // 3210
    }
    {
        // Mode 2 warns and leaves the path as it is.
        ToolPath t(3.0);
        t.Flag(0, 2);
        t.Program("pocket.nc", pocket);
        ExpectTargets(t.Geometry("pocket.nc", whole.size()), whole, "warned");
        EXPECT_NE(t.Events().find("\t0xC8B\t"), std::string::npos); // 3211
    }
    {
        // Mode 1 cuts the loop: the connecting line stops where the path crosses itself.
        ToolPath t(3.0);
        t.Flag(0, 1);
        t.Program("pocket.nc", pocket);
        const std::vector<Point> cut = {{20, -10, 0}, {17, 0, 0},   {17, 1, 0},  {3, 1, 0},
                                        {3, 3, 0},    {23.9, 3, 0}, {20, -10, 0}};
        ExpectTargets(t.Geometry("pocket.nc", cut.size()), cut, "cut");
    }
    {
        ToolPath t(3.0);
        // A mode or depth the transformer does not know is refused.
        EXPECT_EQ(t.run.device.Write(0x2001, 80, Word(3)), 0x70B);
        EXPECT_EQ(t.run.device.Write(0x2001, 81, Word(26)), 0x70B);
        EXPECT_EQ(t.run.device.Write(0x2001, 81, Word(0)), 0);
    }
}

TEST(MillpathToolPath, StaircaseRoundedAtEveryCornerUnderCorrection)
{
    // Sixty corners with RND=1 under G41 (radius 0.5): more entries than the
    // chain holds, so the channel's hand-over is refused for room again and
    // again while the group's threads drain it. Every junction is tangent:
    // each corner gives the offset line's end and the offset arc's end.
    ToolPath t(0.5);
    t.Flag(2, 1);
    const int corners = 60;
    std::string text = "N1 G90 G1 F6000 X-10 Y0\nN2 G41 D1 X0 Y0\n";
    // Segment k runs along +x when k is even, else along +y, 10 long.
    auto direction = [](int k) { return k % 2 == 0 ? Point{1, 0, 0} : Point{0, 1, 0}; };
    auto at = [](const Point& p, const Point& d, double s, const Point& n, double o) {
        return Point{p[0] + s * d[0] + o * n[0], p[1] + s * d[1] + o * n[1], 0};
    };
    auto left = [](const Point& d) { return Point{-d[1], d[0], 0}; };
    std::vector<Point> targets = {{-10, 0, 0}, {0, 0.5, 0}};
    Point corner{0, 0, 0};
    for (int k = 0; k <= corners; ++k)
    {
        const Point d = direction(k);
        corner = at(corner, d, 10, d, 0);
        char block[64];
        std::snprintf(block, sizeof(block), "N%d X%g Y%g%s\n", 10 + k, corner[0], corner[1],
                      k < corners ? " RND=1" : "");
        text += block;
        if (k < corners)
        {
            const Point next = direction(k + 1);
            targets.push_back(at(corner, d, -1, left(d), 0.5));
            targets.push_back(at(corner, next, 1, left(next), 0.5));
        }
        else
            targets.push_back(at(corner, d, 0, left(d), 0.5));
    }
    char departure[64];
    std::snprintf(departure, sizeof(departure), "N99 G40 X%g Y%g\n", corner[0] + 10, corner[1]);
    text += departure;
    targets.push_back({corner[0] + 10, corner[1], 0});
    t.Program("stairs.nc", text);
    ExpectTargets(t.Geometry("stairs.nc", targets.size()), targets, "stairs");
}

TEST(MillpathToolPath, CirclesEnteredAndLeftAtAnOutsideCornerKeepTheirTurn)
{
    // A boss of radius 20 about the origin, cut counter-clockwise from (20, 0)
    // with the tool (radius 5) on the right, outside: the lines into and out of
    // it turn left onto it, an outside corner. 60 degrees is closed where the
    // offset elements meet, 150 by extending them.
    constexpr double Pi = 3.141592653589793;
    constexpr double R = 20.0;
    auto turnedLeft = [](const Point& d, double a) {
        return Point{d[0] * std::cos(a) - d[1] * std::sin(a), d[0] * std::sin(a) + d[1] * std::cos(a), 0};
    };
    auto move = [](const Point& p, const Point& d, double s) {
        return Point{p[0] + s * d[0], p[1] + s * d[1], 0};
    };
    auto xy = [](const Point& p)
    {
        char text[96];
        std::snprintf(text, sizeof(text), "X%.9f Y%.9f", p[0], p[1]);
        return std::string(text);
    };
    ToolPath t(5.0);
    int n = 0;
    for (double sweepDegrees : {360.0, 350.0})
        for (double turnDegrees : {60.0, 150.0})
        {
            const std::string name = "boss" + std::to_string(++n) + ".nc";
            SCOPED_TRACE(name + ": sweep " + std::to_string(sweepDegrees) + ", turn " +
                         std::to_string(turnDegrees));
            const double sweep = sweepDegrees * Pi / 180.0;
            const double turn = turnDegrees * Pi / 180.0;
            const Point start{R, 0, 0};
            const Point end{R * std::cos(sweep), R * std::sin(sweep), 0};
            const Point in = turnedLeft({0, 1, 0}, -turn); // the start tangent is +y
            const Point out = turnedLeft({-std::sin(sweep), std::cos(sweep), 0}, turn);
            const Point on = move(start, in, -40);
            const Point away = move(end, out, 40);
            t.Program(name, "N10 G90 G1 F600 " + xy(move(on, in, -20)) + "\nN20 G42 D1 " + xy(on) + "\nN30 " +
                                xy(start) + "\nN40 G3 " + xy(end) + " I" + std::to_string(-R) +
                                " J0\nN50 G1 " + xy(away) + "\nN60 G40 " + xy(move(away, out, 20)) + "\n");
            const auto geometry = t.Geometry(name, 6);
            int arcs = 0;
            for (const LogLine& r : geometry)
                if (r.at("type") == "2")
                {
                    ++arcs;
                    const std::vector<double> v = Numbers(r.at("turn"));
                    ASSERT_EQ(v.size(), 3u);
                    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                    EXPECT_GT(v[2], 0.0);
                    EXPECT_GE(length, sweep - 1e-9);
                    EXPECT_LT(length, sweep + Pi);
                }
            EXPECT_EQ(arcs, 1);
        }
}

namespace
{
// A slot 8 wide, entered along its left wall and left along its right one
// with the tool on the right: a tool of radius 5 does not fit. The element
// across the slot's end runs backwards, and its neighbours, 2 apart, never meet.
std::string NarrowSlot(const std::string& detection)
{
    return "N10 G90 G1 F600 X0 Y-40\n" + detection +
           "N20 G42 D1 X0 Y-20\nN30 X0 Y50\nN40 X8 Y50\nN50 X8 Y-20\nN60 G40 X8 Y-40\n";
}
} // namespace

TEST(MillpathToolPath, ALoopThatCannotBeCutStopsTheChannel)
{
    ToolPath t(5.0);
    t.Flag(0, 1); // remove loops
    t.Program("narrow.nc", NarrowSlot("N15 cdon\n"));
    ASSERT_EQ(t.run.device.Load("narrow.nc"), 0);
    ASSERT_EQ(t.run.device.StartProgram(), 0);
    EXPECT_TRUE(t.run.device.WaitState(11)) << "state " << t.run.device.State();
    EXPECT_EQ(t.run.device.NcError(), 0x415Bu);
    EXPECT_NE(t.Events().find("\t0xC8A\t"), std::string::npos); // 3210
}

TEST(MillpathToolPath, AGougeWithTheDetectionOffIsWarnedOnce)
{
    ToolPath t(5.0);
    t.Program("gouge.nc", NarrowSlot(""));
    // The path goes out as it is, with one warning that names the block across the slot.
    EXPECT_EQ(t.Geometry("gouge.nc", 6).size(), 6u);
    EXPECT_EQ(t.run.device.NcError(), 0u);
    std::vector<std::string> warnings;
    std::istringstream events(t.Events());
    for (std::string line; std::getline(events, line);)
        if (line.find("\t0xC8B\t") != std::string::npos) // 3211
            warnings.push_back(line);
    ASSERT_EQ(warnings.size(), 1u) << t.Events();
    EXPECT_EQ(warnings[0].substr(warnings[0].rfind(' ') + 1), "40");
}

TEST(MillpathToolPath, TangentialFollowingStopsOnlyAtRealCorners)
{
    // Line, arc and line join tangentially; the turn to the last line is a corner.
    ToolPath t(5.0);
    t.Program("knife.nc", "N10 G90 G1 F600 X0 Y0\nN15 Tang(3;0;1)\nN16 TangOn(3;0)\nN20 X10 Y0\n"
                          "N30 G3 X20 Y10 I0 J10\nN40 G1 X20 Y20\nN50 X0 Y20\n");
    const auto geometry = t.Geometry("knife.nc", 6);
    int turns = 0;
    for (const LogLine& r : geometry)
        if (r.at("type") == "4")
            ++turns;
    EXPECT_EQ(turns, 1);
    int stops = 0;
    for (const LogLine& r : t.run.device.Log("record"))
        if (r.at("kind") == "11")
            ++stops;
    EXPECT_EQ(stops, 1);
}
