// The tool radius correction through the transformer chain: corners by
// intersection and extension, switching on and off, the change of side,
// short elements, reversals and the correction's data errors; its modes,
// setters and the feed at the contour on their own.
#include <algorithm>
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "fake_trans_host.h"
#include "nc_radius_correction.h"
#include "trans_table.h"
#include "transformer.h"

namespace
{
constexpr double Pi = std::numbers::pi;
const double Root2 = std::sqrt(2.0);

struct Corrected
{
    FakeTransHost host;
    CTransformer transformer{host};

    explicit Corrected(double radius = 1.0) { host.tools[1] = {1, radius}; }
    void Add(CEntry* entry) { ASSERT_EQ(transformer.AddEntry(entry), 0); }
    int Process()
    {
        int done = 0;
        return transformer.Process(0, done);
    }
    int Mode() { return transformer.Table().Correction()->Mode(); }
    // The geometry that left, as (start, end) pairs.
    std::vector<std::unique_ptr<CEntryGeo_3D>> Geometry()
    {
        std::vector<std::unique_ptr<CEntryGeo_3D>> out;
        for (auto& e : host.Drain())
            if (e->m_type == ENTRY_GEO_3D)
                out.emplace_back(static_cast<CEntryGeo_3D*>(e.release()));
        return out;
    }
    // A polyline: correction on (value, D1) over its first segment, off over its last.
    void Path(int value, const std::vector<CVec3d>& points, std::uint32_t approach = 0)
    {
        Add(MakeRules(value, 1, approach));
        for (std::size_t i = 1; i < points.size(); ++i)
        {
            if (i + 1 == points.size())
                Add(MakeRules(0, 1, approach));
            Add(MakeLine(points[i - 1], points[i], static_cast<std::uint32_t>(i * 10)));
        }
    }
};

using Segment = std::pair<CVec3d, CVec3d>;

void ExpectSegments(const std::vector<std::unique_ptr<CEntryGeo_3D>>& out,
                    const std::vector<Segment>& expected, const std::string& name)
{
    ASSERT_EQ(out.size(), expected.size()) << name;
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        EXPECT_TRUE(VecNear(out[i]->m_start, expected[i].first, 1e-9))
            << name << " element " << i << " start";
        EXPECT_TRUE(VecNear(out[i]->m_target, expected[i].second, 1e-9))
            << name << " element " << i << " end";
    }
}
} // namespace

TEST(RadiusCorrection, CornersOfLines)
{
    const double h = std::sqrt(0.5);
    struct Case
    {
        const char* name;
        int value; // +1 left, -1 right
        std::vector<CVec3d> path;
        std::vector<Segment> expected;
    } cases[] = {
        {"a left turn on the right is a flat outside corner",
         -1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10, 15, 0}},
         {{{-5, 0, 0}, {0, -1, 0}},
          {{0, -1, 0}, {11, -1, 0}},
          {{11, -1, 0}, {11, 10, 0}},
          {{11, 10, 0}, {10, 15, 0}}}},
        {"the same turn on the left is an inside corner",
         1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10, 15, 0}},
         {{{-5, 0, 0}, {0, 1, 0}},
          {{0, 1, 0}, {9, 1, 0}},
          {{9, 1, 0}, {9, 10, 0}},
          {{9, 10, 0}, {10, 15, 0}}}},
        {"135 degrees on the right: extension and a connecting line",
         -1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {-5, 15, 0}},
         {{{-5, 0, 0}, {0, -1, 0}},
          {{0, -1, 0}, {11, -1, 0}},
          {{11, -1, 0}, {10 + Root2, 0, 0}},
          {{10 + Root2, 0, 0}, {h, 10 + h, 0}},
          {{h, 10 + h, 0}, {-5, 15, 0}}}},
        {"collinear lines join at the first offset end",
         1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {25, 0, 0}},
         {{{-5, 0, 0}, {0, 1, 0}},
          {{0, 1, 0}, {10, 1, 0}},
          {{10, 1, 0}, {20, 1, 0}},
          {{20, 1, 0}, {25, 0, 0}}}},
        {"a zero-length line stands at the corner",
         1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10, 15, 0}},
         {{{-5, 0, 0}, {0, 1, 0}},
          {{0, 1, 0}, {9, 1, 0}},
          {{9, 1, 0}, {9, 1, 0}},
          {{9, 1, 0}, {9, 10, 0}},
          {{9, 10, 0}, {10, 15, 0}}}},
        {"a right-angled approach on the left: offset, connecting line, extended start",
         1,
         {{0, -10, 0}, {0, 0, 0}, {10, 0, 0}, {15, 0, 0}},
         {{{0, -10, 0}, {-1, 0, 0}},
          {{-1, 0, 0}, {-1, 1, 0}},
          {{-1, 1, 0}, {10, 1, 0}},
          {{10, 1, 0}, {15, 0, 0}}}},
        {"an approach into an outside turn of 135 degrees closes by extension",
         -1,
         {{-5, 0, 0}, {0, 0, 0}, {-10, 10, 0}, {-15, 15, 0}},
         {{{-5, 0, 0}, {1, -1, 0}},
          {{1, -1, 0}, {Root2, 0, 0}},
          {{Root2, 0, 0}, {-10 + h, 10 + h, 0}},
          {{-10 + h, 10 + h, 0}, {-15, 15, 0}}}},
        {"a right-angled departure on the right: straight from the inside corner",
         -1,
         {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {10, -10, 0}},
         {{{-5, 0, 0}, {0, -1, 0}}, {{0, -1, 0}, {10, -1, 0}}, {{10, -1, 0}, {10, -10, 0}}}},
    };
    for (const Case& c : cases)
    {
        Corrected chain;
        chain.Path(c.value, c.path);
        EXPECT_EQ(chain.Process(), 0) << c.name;
        ExpectSegments(chain.Geometry(), c.expected, c.name);
        EXPECT_EQ(chain.Mode(), CBNcRadiusCorrection::ModeOff) << c.name;
        EXPECT_TRUE(chain.host.errors.empty()) << c.name;
    }
}

TEST(RadiusCorrection, ReversalWarnsAndTheEntriesLeave)
{
    Corrected chain;
    chain.Path(-1, {{-5, 0, 0}, {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(chain.Process(), 0);
    EXPECT_TRUE(chain.host.Logged(3196));
    EXPECT_TRUE(chain.host.errors.empty());
    ExpectSegments(chain.Geometry(),
                   {{{-5, 0, 0}, {0, -1, 0}},
                    {{0, -1, 0}, {10, -1, 0}},
                    {{10, -1, 0}, {10, 1, 0}},
                    {{10, 1, 0}, {5, 1, 0}},
                    {{5, 1, 0}, {0, 0, 0}}},
                   "reversal");
}

TEST(RadiusCorrection, ChangeOfSidePassesItsModes)
{
    Corrected chain;
    chain.Add(MakeRules(1, 1));
    chain.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
    chain.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
    chain.Add(MakeRules(-1, 1));
    std::vector<int> modes;
    const std::vector<CEntryGeo_3D*> rest = {
        MakeLine({10, 0, 0}, {20, 0, 0}), MakeLine({20, 0, 0}, {30, 0, 0}), MakeLine({30, 0, 0}, {40, 0, 0})};
    for (CEntryGeo_3D* line : rest)
    {
        chain.Add(line);
        EXPECT_EQ(chain.Process(), -1); // the last element waits for its partner
        modes.push_back(chain.Mode());
    }
    EXPECT_EQ(modes, (std::vector<int>{4, 5, 1}));
    chain.Add(MakeRules(0, 1));
    chain.Add(MakeLine({40, 0, 0}, {45, 0, 0}));
    EXPECT_EQ(chain.Process(), 0);
    ExpectSegments(chain.Geometry(),
                   {{{-5, 0, 0}, {0, 1, 0}},
                    {{0, 1, 0}, {10, 1, 0}},
                    {{10, 1, 0}, {20, -1, 0}},
                    {{20, -1, 0}, {30, -1, 0}},
                    {{30, -1, 0}, {40, -1, 0}},
                    {{40, -1, 0}, {45, 0, 0}}},
                   "change of side");
}

TEST(RadiusCorrection, ArcToLineByIntersectionOrExtension)
{
    // A counter-clockwise quarter arc about (0, 10) ends at (0, 0) going +x;
    // on the right its offset has radius 11.
    for (const double turn : {100.0, 120.0})
    {
        Corrected chain;
        const double t = turn * Pi / 180.0;
        const CVec3d d(std::cos(t), std::sin(t), 0);
        chain.Add(MakeRules(-1, 1));
        chain.Add(MakeLine({-10, 20, 0}, {-10, 10, 0}));
        chain.Add(MakeArc({-10, 10, 0}, {0, 0, 0}, {0, 10, 0}, {0, 0, Pi / 2}));
        chain.Add(MakeLine({0, 0, 0}, 10.0 * d));
        chain.Add(MakeRules(0, 1));
        chain.Add(MakeLine(10.0 * d, 15.0 * d));
        EXPECT_EQ(chain.Process(), 0) << turn;
        const auto out = chain.Geometry();
        const std::size_t expected = turn < 110.0 ? 4 : 5;
        ASSERT_EQ(out.size(), expected) << turn;
        const CEntryGeo_3D& arc = *out[1];
        EXPECT_NEAR(Distance(arc.m_start, {0, 10, 0}), 11.0, 1e-9) << turn;
        EXPECT_NEAR(Distance(arc.m_target, {0, 10, 0}), 11.0, 1e-9) << turn;
        const CEntryGeo_3D& line = *out[expected - 2];
        // The offset line lies 1 to the right of the programmed one.
        const CVec3d right(d.GetY(), -d.GetX(), 0);
        EXPECT_NEAR(Dot(line.m_start, right), 1.0, 1e-9) << turn;
        if (turn < 110.0)
            EXPECT_TRUE(VecNear(arc.m_target, line.m_start)) << turn;
        else
        {
            EXPECT_TRUE(VecNear(out[2]->m_start, arc.m_target)) << turn;
            EXPECT_TRUE(VecNear(out[2]->m_target, line.m_start)) << turn;
        }
    }
}

TEST(RadiusCorrection, DataErrorsStopTheChain)
{
    struct Case
    {
        const char* name;
        std::uint32_t tool;
        double arcRadius; // 0: a line follows the approach
        int code;         // the correction's code in the message
        std::uint32_t message;
    } cases[] = {
        {"D0", 0, 0, 16723, 3194},
        {"D256", 256, 0, 16723, 3194},
        {"an inside arc smaller than the tool", 1, 0.5, -525, 3157},
    };
    for (const Case& c : cases)
    {
        Corrected chain;
        chain.host.tools[c.tool] = {1, 1.0};
        chain.Add(MakeRules(1, c.tool));
        chain.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
        if (c.arcRadius > 0)
            chain.Add(MakeArc({0, 0, 0}, {0, 2 * c.arcRadius, 0}, {0, c.arcRadius, 0}, {0, 0, Pi}));
        else
            chain.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
        chain.Add(MakeLine({10, 0, 0}, {10, 10, 0}));
        EXPECT_NE(chain.Process(), 0) << c.name;
        const auto* line = chain.host.Find(c.message);
        ASSERT_NE(line, nullptr) << c.name;
        EXPECT_EQ(line->args.back(), c.code) << c.name;
        EXPECT_TRUE(chain.Geometry().empty()) << c.name;
    }
}

TEST(RadiusCorrection, HalfCircleConnectionOnTheLeft)
{
    Corrected chain;
    chain.Path(1, {{0, -10, 0}, {0, 0, 0}, {10, 0, 0}, {15, 0, 0}}, 1);
    EXPECT_EQ(chain.Process(), 0);
    const auto out = chain.Geometry();
    ASSERT_EQ(out.size(), 4u);
    const CEntryGeo_3D& half = *out[1];
    EXPECT_EQ(half.m_geoType & 0xFF, 1u);
    EXPECT_TRUE(VecNear(half.m_start, {-1, 0, 0}));
    EXPECT_TRUE(VecNear(half.m_target, {-1, 1, 0}));
    EXPECT_TRUE(VecNear(half.m_centre, {-1, 0.5, 0}));
    EXPECT_TRUE(VecNear(half.m_rotation, {0, 0, -Pi}));
}

TEST(RadiusCorrection, ModesSettersAndFeed)
{
    FakeTransHost host;
    CTransTable table(host);
    CBNcRadiusCorrection& c = *table.Correction();
    EXPECT_EQ(c.SetMode(1), -552); // off to active skips switching on
    EXPECT_EQ(c.SetMode(6), -553);
    for (const int mode : {2, 1, 4, 5, 1, 3, 0})
        EXPECT_EQ(c.SetMode(mode), 0) << mode;
    EXPECT_EQ(c.SetRadius(0.0), -553);
    EXPECT_EQ(c.SetRadius(2.0), -552); // a radius is stored only while switching on
    EXPECT_EQ(c.SetPlane(3), -553);
    EXPECT_EQ(c.SetSide(2), -553);
    EXPECT_EQ(c.SetSide(1), -552);
    EXPECT_EQ(c.SetApproach(2), -553);

    struct FeedCase
    {
        std::uint32_t mode;
        double newRadius;
        double feed;
    } feeds[] = {{2, 5, 50}, {2, 15, 100}, {1, 15, 150}, {0, 5, 100}};
    for (const FeedCase& f : feeds)
    {
        std::unique_ptr<CEntryGeo_3D> arc(MakeArc({10, 0, 0}, {-10, 0, 0}, {0, 0, 0}, {0, 0, Pi}));
        arc->m_feed = 100;
        arc->m_feedAdjust = f.mode;
        EXPECT_EQ(c.AdjustFeed(*arc, 10, f.newRadius), 0);
        EXPECT_DOUBLE_EQ(arc->m_feed, f.feed) << f.mode << " " << f.newRadius;
    }
    std::unique_ptr<CEntryGeo_3D> line(MakeLine({0, 0, 0}, {1, 0, 0}));
    EXPECT_EQ(c.AdjustFeed(*line, 10, 5), -556);
}

TEST(RadiusCorrection, ArcTooSmallForTheToolIsBridgedByItsChord)
{
    // An inside half circle of radius 0.5 after a line, with a tool of radius 1.
    for (const int mode : {0, 1})
    {
        Corrected chain;
        EXPECT_EQ(chain.transformer.SetCollisionMode(mode), 0u);
        auto* on = MakeRules(1, 1);
        on->m_channelWord = 1; // the collision detection is on
        chain.Add(on);
        chain.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
        chain.Add(MakeLine({0, 0, 0}, {10, 0, 0}, 10));
        chain.Add(MakeArc({10, 0, 0}, {10, 1, 0}, {10, 0.5, 0}, {0, 0, Pi}, 20));
        chain.Add(MakeLine({10, 1, 0}, {0, 1, 0}, 30));
        const int result = chain.Process();
        if (mode == 0)
        {
            // The error setting refuses a bridged corner.
            EXPECT_EQ(result, 0x415A);
            EXPECT_TRUE(chain.host.Logged(3209));
            continue;
        }
        EXPECT_TRUE(chain.host.Logged(3205)); // warned, and the entries go on
        EXPECT_FALSE(chain.host.Logged(3209));
        const auto& held = chain.transformer.Collision();
        EXPECT_GE(held.HeldGeometry(), 2);
    }
}

TEST(RadiusCorrection, ProgramEndWithTheCorrectionOn)
{
    // Without G40 the last element stops at its offset end when the program ends.
    Corrected chain;
    chain.Add(MakeRules(1, 1));
    chain.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
    chain.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
    chain.Add(MakeM(MFunkKind::Test, 30));
    EXPECT_EQ(chain.Process(), 0);
    ExpectSegments(chain.Geometry(), {{{-5, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {10, 1, 0}}}, "end");
    EXPECT_EQ(chain.Mode(), CBNcRadiusCorrection::ModeOff);
    EXPECT_TRUE(chain.transformer.IsIdle());
}

TEST(RadiusCorrection, InsideArcOfTheToolRadiusCollapsesToItsCentre)
{
    // On the left with r = 1 a counter-clockwise arc of radius 1 is entered
    // tangentially: the tool stands at its centre (10, 1) and leaves from there.
    struct Case
    {
        const char* name;
        CVec3d arcEnd;
        double sweep;
        CVec3d next, last;         // the line after the arc and the departure's end
        std::vector<Segment> from; // what follows the arc's straight line; none: refused
    } cases[] = {
        {"a half circle turns back",
         {10, 2, 0},
         Pi,
         {0, 2, 0},
         {-5, 2, 0},
         {{{10, 1, 0}, {0, 1, 0}}, {{0, 1, 0}, {-5, 2, 0}}}},
        {"a quarter turns left",
         {11, 1, 0},
         Pi / 2,
         {11, 10, 0},
         {11, 15, 0},
         {{{10, 1, 0}, {10, 10, 0}}, {{10, 10, 0}, {11, 15, 0}}}},
        {"a half circle left by a right turn: the tool rounds the arc's end",
         {10, 2, 0},
         Pi,
         {10, 10, 0},
         {10, 15, 0},
         {{{10, 1, 0}, {9, 2, 0}}, {{9, 2, 0}, {9, 10, 0}}, {{9, 10, 0}, {10, 15, 0}}}},
        {"a half circle left by a left turn: no room for the tool",
         {10, 2, 0},
         Pi,
         {10, -5, 0},
         {10, -10, 0},
         {}},
    };
    for (const Case& c : cases)
    {
        Corrected chain;
        chain.Add(MakeRules(1, 1));
        chain.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
        chain.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
        chain.Add(MakeArc({10, 0, 0}, c.arcEnd, {10, 1, 0}, {0, 0, c.sweep}));
        chain.Add(MakeLine(c.arcEnd, c.next));
        chain.Add(MakeRules(0, 1));
        chain.Add(MakeLine(c.next, c.last));
        if (c.from.empty())
        {
            EXPECT_EQ(chain.Process(), 0x4151) << c.name;
            EXPECT_TRUE(chain.host.Logged(3156)) << c.name; // the corner could not be closed
            continue;
        }
        EXPECT_EQ(chain.Process(), 0) << c.name;
        std::vector<Segment> expected = {
            {{-5, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {10, 1, 0}}, {{10, 1, 0}, {10, 1, 0}}};
        expected.insert(expected.end(), c.from.begin(), c.from.end());
        const auto out = chain.Geometry();
        ExpectSegments(out, expected, c.name);
        if (out.size() == expected.size())
        {
            EXPECT_EQ(out[2]->m_geoType & 0xFF, 0u) << c.name; // the arc left as its straight line
            if (out.size() == 6)
            {
                EXPECT_TRUE(VecNear(out[3]->m_centre, c.arcEnd)) << c.name;
                EXPECT_TRUE(VecNear(out[3]->m_rotation, {0, 0, -Pi / 2})) << c.name;
            }
        }
        EXPECT_TRUE(chain.host.errors.empty()) << c.name;
        EXPECT_EQ(chain.Mode(), CBNcRadiusCorrection::ModeOff) << c.name;
    }
}

namespace
{
// The correction's steps on the table alone: the head leaves when ready,
// else the correction treats it; warnings are collected.
struct Stepped
{
    FakeTransHost host;
    CTransTable table{host};
    std::vector<int> warnings;
    std::vector<std::unique_ptr<CEntryGeo_3D>> out;

    Stepped() { host.tools[1] = {1, 1.0}; }
    void Add(CEntry* entry) { ASSERT_EQ(table.Append(entry), 0); }
    int Run()
    {
        while (CTransElement* head = table.Head())
        {
            if (head->m_state == CTransElement::Ready)
            {
                std::unique_ptr<CEntry> e(table.FetchHead());
                if (e->m_type == ENTRY_GEO_3D)
                    out.emplace_back(static_cast<CEntryGeo_3D*>(e.release()));
                continue;
            }
            const int rc = table.Correction()->Step(head);
            if (rc != 0 && rc != -519 && rc != -520)
                return rc;
            if (rc != 0)
                warnings.push_back(rc);
        }
        return 0;
    }
};
} // namespace

TEST(RadiusCorrection, OutsideCornerAtAnArcTooSmallToExtendIsBridgedByACircle)
{
    // On the right with r = 1, a line along +x turns left by 120 degrees into
    // a clockwise arc of radius 1.4: its offset (radius 0.4) cannot be
    // extended by r, so a circle of r about the corner joins (0, -1) to the
    // arc's offset start.
    const CVec3d u(std::cos(2 * Pi / 3), std::sin(2 * Pi / 3), 0); // the arc's start tangent
    const CVec3d n(u.GetY(), -u.GetX(), 0);                        // right of it
    const CVec3d centre = 1.4 * n;
    const CVec3d arcEnd = centre + RotateInPlane(-1.4 * n, {0, 0, 1}, -Pi / 2);
    const CVec3d leave = RotateInPlane(u, {0, 0, 1}, -Pi / 2);
    Stepped s;
    s.Add(MakeRules(-1, 1));
    s.Add(MakeLine({-15, 0, 0}, {-10, 0, 0}));
    s.Add(MakeLine({-10, 0, 0}, {0, 0, 0}));
    s.Add(MakeArc({0, 0, 0}, arcEnd, centre, {0, 0, -Pi / 2}));
    s.Add(MakeLine(arcEnd, arcEnd + 10.0 * leave));
    s.Add(MakeRules(0, 1));
    s.Add(MakeLine(arcEnd + 10.0 * leave, arcEnd + 20.0 * leave));
    ASSERT_EQ(s.Run(), 0);
    EXPECT_EQ(s.warnings, (std::vector<int>{-519}));
    ASSERT_EQ(s.out.size(), 6u);
    const CEntryGeo_3D& line = *s.out[1];
    const CEntryGeo_3D& circle = *s.out[2];
    const CEntryGeo_3D& arc = *s.out[3];
    EXPECT_TRUE(VecNear(line.m_target, {0, -1, 0}));
    EXPECT_EQ(circle.m_geoType & 0xFF, 1u);
    EXPECT_TRUE(VecNear(circle.m_start, {0, -1, 0}));
    EXPECT_TRUE(VecNear(circle.m_target, n));
    EXPECT_TRUE(VecNear(circle.m_centre, {0, 0, 0}));
    EXPECT_TRUE(VecNear(circle.m_rotation, {0, 0, 2 * Pi / 3}));
    EXPECT_TRUE(VecNear(arc.m_start, n));
    EXPECT_NEAR(Distance(arc.m_target, centre), 0.4, 1e-9);
    EXPECT_TRUE(VecNear(s.out[4]->m_start, arc.m_target));
    EXPECT_TRUE(VecNear(s.out[5]->m_target, arcEnd + 20.0 * leave));
}

TEST(RadiusCorrection, ArcAfterAnArcTooSmallForTheToolFollowsItsChord)
{
    // On the left with r = 1: a counter-clockwise arc of radius 10 about
    // (10, 10), then a counter-clockwise notch of radius 0.5 and 60 degrees.
    const CVec3d notchCentre(19.5, 10, 0);
    const CVec3d notchEnd = notchCentre + RotateInPlane({0.5, 0, 0}, {0, 0, 1}, Pi / 3);
    const CVec3d leave(-std::sin(Pi / 3), std::cos(Pi / 3), 0);
    auto program = [&](auto& target)
    {
        target.Add(MakeRules(1, 1));
        target.Add(MakeLine({-5, 0, 0}, {0, 0, 0}));
        target.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
        target.Add(MakeArc({10, 0, 0}, {20, 10, 0}, {10, 10, 0}, {0, 0, Pi / 2}));
        target.Add(MakeArc({20, 10, 0}, notchEnd, notchCentre, {0, 0, Pi / 3}));
        target.Add(MakeLine(notchEnd, notchEnd + 10.0 * leave));
        target.Add(MakeRules(0, 1));
        target.Add(MakeLine(notchEnd + 10.0 * leave, notchEnd + 20.0 * leave));
    };
    Stepped s;
    program(s);
    ASSERT_EQ(s.Run(), 0);
    EXPECT_NE(std::find(s.warnings.begin(), s.warnings.end(), -519), s.warnings.end());
    ASSERT_GE(s.out.size(), 5u);
    const CEntryGeo_3D& arc = *s.out[2];
    const CEntryGeo_3D& chord = *s.out[3];
    // The arc's offset (radius 9) ends where it meets the chord offset 1 to its left.
    const CVec3d along = (notchEnd - CVec3d(20, 10, 0)).Unit();
    const CVec3d left(-along.GetY(), along.GetX(), 0);
    EXPECT_NEAR(Distance(arc.m_target, {10, 10, 0}), 9.0, 1e-9);
    EXPECT_NEAR(Dot(arc.m_target - CVec3d(20, 10, 0), left), 1.0, 1e-9);
    EXPECT_TRUE(VecNear(chord.m_start, arc.m_target));
    EXPECT_EQ(chord.m_geoType & 0xFF, 0u);
    EXPECT_NEAR(Dot(chord.m_target - CVec3d(20, 10, 0), left), 1.0, 1e-9);

    // Without the collision detection's cut setting the bridged corner stops the chain.
    Corrected chain;
    program(chain);
    EXPECT_EQ(chain.Process(), 0x415A);
    EXPECT_TRUE(chain.host.Logged(3209));
}
