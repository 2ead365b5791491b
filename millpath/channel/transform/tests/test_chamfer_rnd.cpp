// The chamfer and rounding stage in front of the transformer: announced
// corners between lines and arcs, the limits of the chamfer distance and the
// rounding radius, the order of what leaves, and refusals inside a corner.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "fake_trans_host.h"
#include "transformer.h"

namespace
{
constexpr double Pi = std::numbers::pi;

CEntryFunk* Announce(int kind, double size)
{
    auto* f = MakeFunction(24);
    f->m_word1 = kind;
    f->m_value2 = size;
    return f;
}

struct Stage
{
    FakeTransHost host;
    CTransformer transformer{host};

    int Accept(CEntry* entry) { return transformer.ChamferStage().Accept(entry); }
    std::vector<std::unique_ptr<CEntry>> Out()
    {
        int done = 0;
        transformer.Process(0, done);
        return host.Drain();
    }
};

struct Element
{
    int kind; // 0 line, 1 arc, -1 any other entry (its type in start.x)
    CVec3d start, end, centre, turn;
};

Element L(const CVec3d& a, const CVec3d& b)
{
    return {0, a, b, {}, {}};
}

void Expect(const std::vector<std::unique_ptr<CEntry>>& out, const std::vector<Element>& expected,
            const std::string& name)
{
    ASSERT_EQ(out.size(), expected.size()) << name;
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        if (expected[i].kind < 0)
        {
            EXPECT_EQ(out[i]->m_type, static_cast<std::uint32_t>(expected[i].start.GetX()))
                << name << " " << i;
            continue;
        }
        ASSERT_EQ(out[i]->m_type, ENTRY_GEO_3D) << name << " " << i;
        const auto& g = static_cast<const CEntryGeo_3D&>(*out[i]);
        EXPECT_EQ(static_cast<int>(g.m_geoType & 0xFF), expected[i].kind) << name << " " << i;
        EXPECT_TRUE(VecNear(g.m_start, expected[i].start, 1e-9)) << name << " " << i << " start";
        EXPECT_TRUE(VecNear(g.m_target, expected[i].end, 1e-9)) << name << " " << i << " end";
        if (expected[i].kind == 1)
        {
            EXPECT_TRUE(VecNear(g.m_centre, expected[i].centre, 1e-9)) << name << " " << i << " centre";
            EXPECT_TRUE(VecNear(g.m_rotation, expected[i].turn, 1e-9)) << name << " " << i << " turn";
        }
    }
}
} // namespace

TEST(ChamferRnd, CornersBetweenLines)
{
    struct Case
    {
        const char* name;
        int kind;
        double size;
        CVec3d a, b, c; // the corner at b
        std::vector<Element> expected;
    } cases[] = {
        {"a leg of 5",
         1,
         5,
         {0, 0, 0},
         {20, 0, 0},
         {20, 20, 0},
         {L({0, 0, 0}, {15, 0, 0}), L({15, 0, 0}, {20, 5, 0}), L({20, 5, 0}, {20, 20, 0})}},
        {"a length L at a right angle goes L / (2 sin 45) along each line",
         2,
         5 * std::sqrt(2.0),
         {0, 0, 0},
         {20, 0, 0},
         {20, 20, 0},
         {L({0, 0, 0}, {15, 0, 0}), L({15, 0, 0}, {20, 5, 0}), L({20, 5, 0}, {20, 20, 0})}},
        {"a leg beyond the first line uses it up",
         1,
         30,
         {10, 0, 0},
         {20, 0, 0},
         {20, 20, 0},
         {L({10, 0, 0}, {20, 10, 0}), L({20, 10, 0}, {20, 20, 0})}},
        {"at most half the second line",
         1,
         8,
         {0, 0, 0},
         {20, 0, 0},
         {20, 10, 0},
         {L({0, 0, 0}, {15, 0, 0}), L({15, 0, 0}, {20, 5, 0}), L({20, 5, 0}, {20, 10, 0})}},
        {"collinear lines stay as they are",
         3,
         5,
         {0, 0, 0},
         {20, 0, 0},
         {40, 0, 0},
         {L({0, 0, 0}, {20, 0, 0}), L({20, 0, 0}, {40, 0, 0})}},
        {"a rounding of 5 at a left turn turns by +pi/2",
         3,
         5,
         {0, 0, 0},
         {40, 0, 0},
         {40, 20, 0},
         {L({0, 0, 0}, {35, 0, 0}),
          {1, {35, 0, 0}, {40, 5, 0}, {35, 5, 0}, {0, 0, Pi / 2}},
          L({40, 5, 0}, {40, 20, 0})}},
        {"a rounding at a right turn turns by -pi/2",
         3,
         5,
         {0, 0, 0},
         {40, 0, 0},
         {40, -20, 0},
         {L({0, 0, 0}, {35, 0, 0}),
          {1, {35, 0, 0}, {40, -5, 0}, {35, -5, 0}, {0, 0, -Pi / 2}},
          L({40, -5, 0}, {40, -20, 0})}},
    };
    for (const Case& c : cases)
    {
        Stage s;
        EXPECT_EQ(s.Accept(Announce(c.kind, c.size)), 1) << c.name;
        EXPECT_EQ(s.Accept(MakeLine(c.a, c.b, 10)), 1) << c.name;
        EXPECT_EQ(s.Accept(MakeLine(c.b, c.c, 20)), 1) << c.name;
        Expect(s.Out(), c.expected, c.name);
        EXPECT_TRUE(s.host.errors.empty()) << c.name;
        EXPECT_TRUE(s.transformer.IsIdle()) << c.name;
    }
}

TEST(ChamferRnd, RoundingNextToAnArcTouchesBoth)
{
    // A line into a clockwise half circle about (30, 0) that leaves it
    // upwards, a left turn: the rounding's centre lies 2 above the line and 2
    // outside the arc.
    Stage s;
    s.Accept(Announce(3, 2));
    s.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    s.Accept(MakeArc({20, 0, 0}, {40, 0, 0}, {30, 0, 0}, {0, 0, -Pi}, 20));
    const auto out = s.Out();
    ASSERT_EQ(out.size(), 3u);
    const auto& line = static_cast<const CEntryGeo_3D&>(*out[0]);
    const auto& round = static_cast<const CEntryGeo_3D&>(*out[1]);
    const auto& arc = static_cast<const CEntryGeo_3D&>(*out[2]);
    EXPECT_TRUE(VecNear(line.m_target, round.m_start));
    EXPECT_TRUE(VecNear(round.m_target, arc.m_start));
    EXPECT_NEAR(Distance(round.m_start, round.m_centre), 2.0, 1e-9);
    EXPECT_NEAR(Distance(round.m_target, round.m_centre), 2.0, 1e-9);
    EXPECT_NEAR(Distance(arc.m_start, {30, 0, 0}), 10.0, 1e-9);
    EXPECT_NEAR(Distance(round.m_centre, {30, 0, 0}), 12.0, 1e-9);
    EXPECT_NEAR(round.m_centre.GetY(), 2.0, 1e-9); // 2 above the line
    EXPECT_LT(arc.m_rotation.GetZ(), 0.0);
    EXPECT_GT(round.m_rotation.GetZ(), 0.0);
}

TEST(ChamferRnd, CornersWithArcs)
{
    // A leg of 5 on an arc of radius 10 ends where a circle of 5 about the
    // corner cuts it: 2 asin(1/4) round from the corner.
    const double phi = 2.0 * std::asin(0.25);
    const double s = 10.0 * std::sin(phi);       // 4.8412...
    const double c = 10.0 * (1 - std::cos(phi)); // 1.25
    const double h = 5.0 / std::sqrt(2.0);
    // Ending at (20, 0) heading +y: a left quarter about (10, 0).
    const Element before{1, {10, -10, 0}, {20, 0, 0}, {10, 0, 0}, {0, 0, Pi / 2}};
    // Starting at (20, 0) heading +x: a left quarter about (20, 10).
    const Element after{1, {20, 0, 0}, {30, 10, 0}, {20, 10, 0}, {0, 0, Pi / 2}};
    const CVec3d onBefore(20 - c, -s, 0);
    const CVec3d onAfter(20 + s, c, 0);
    // The rounding of 8 fits the segment between the line and a clockwise
    // half circle about (30, 0): half its sagitta, 5; its centre lies 5
    // above the line and 15 from the arc's centre.
    const double mx = 30 - std::sqrt(200.0);
    const CVec3d centre(mx, 5, 0);
    const CVec3d touch(30 - 10 * (30 - mx) / 15, 10.0 / 3, 0);
    struct Case
    {
        const char* name;
        int kind;
        double size;
        Element first, second;
        std::vector<Element> expected;
    } cases[] = {
        {"a line into an arc",
         1,
         5,
         L({0, 0, 0}, {20, 0, 0}),
         after,
         {L({0, 0, 0}, {15, 0, 0}),
          L({15, 0, 0}, onAfter),
          {1, onAfter, {30, 10, 0}, {20, 10, 0}, {0, 0, Pi / 2 - phi}}}},
        {"an arc into a line",
         1,
         5,
         before,
         L({20, 0, 0}, {30, 10, 0}),
         {{1, {10, -10, 0}, onBefore, {10, 0, 0}, {0, 0, Pi / 2 - phi}},
          L(onBefore, {20 + h, h, 0}),
          L({20 + h, h, 0}, {30, 10, 0})}},
        {"an arc into an arc",
         1,
         5,
         before,
         after,
         {{1, {10, -10, 0}, onBefore, {10, 0, 0}, {0, 0, Pi / 2 - phi}},
          L(onBefore, onAfter),
          {1, onAfter, {30, 10, 0}, {20, 10, 0}, {0, 0, Pi / 2 - phi}}}},
        {"a rounding next to an arc is limited by half the sagitta",
         3,
         8,
         L({0, 0, 0}, {20, 0, 0}),
         {1, {20, 0, 0}, {40, 0, 0}, {30, 0, 0}, {0, 0, -Pi}},
         {L({0, 0, 0}, {mx, 0, 0}),
          {1, {mx, 0, 0}, touch, centre, {0, 0, std::atan2(-5.0, 30 - mx) + Pi / 2}},
          {1, touch, {40, 0, 0}, {30, 0, 0}, {0, 0, -std::atan2(10.0 / 3, touch.GetX() - 30)}}}},
        {"the same rounding after the arc, the path reversed",
         3,
         8,
         {1, {40, 0, 0}, {20, 0, 0}, {30, 0, 0}, {0, 0, Pi}},
         L({20, 0, 0}, {0, 0, 0}),
         {{1, {40, 0, 0}, touch, {30, 0, 0}, {0, 0, std::atan2(10.0 / 3, touch.GetX() - 30)}},
          {1, touch, {mx, 0, 0}, centre, {0, 0, -std::atan2(-5.0, 30 - mx) - Pi / 2}},
          L({mx, 0, 0}, {0, 0, 0})}},
    };
    auto make = [](const Element& e, std::uint32_t block) -> CEntry* {
        return e.kind == 0 ? MakeLine(e.start, e.end, block)
                           : MakeArc(e.start, e.end, e.centre, e.turn, block);
    };
    for (const Case& k : cases)
    {
        Stage st;
        EXPECT_EQ(st.Accept(Announce(k.kind, k.size)), 1) << k.name;
        EXPECT_EQ(st.Accept(make(k.first, 10)), 1) << k.name;
        EXPECT_EQ(st.Accept(make(k.second, 20)), 1) << k.name;
        Expect(st.Out(), k.expected, k.name);
        EXPECT_TRUE(st.host.errors.empty()) << k.name;
    }

    // A chamfer given by its length has no meaning next to an arc.
    Stage st;
    st.Accept(Announce(2, 5));
    st.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    st.Accept(make(after, 20));
    EXPECT_TRUE(st.host.Logged(3245));
    ASSERT_FALSE(st.host.errors.empty());
    EXPECT_EQ(st.host.errors.back().code, 0x4107u);
}

TEST(ChamferRnd, RoundingBelowTheLeastRadiusIsRefused)
{
    Stage s;
    s.Accept(Announce(3, 0.05));
    s.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    s.Accept(MakeLine({20, 0, 0}, {20, 20, 0}, 20));
    const auto* line = s.host.Find(3249);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->args[1], 10);
    ASSERT_FALSE(s.host.errors.empty());
    EXPECT_EQ(s.host.errors.back().code, 0x4107u);
    // The elements still leave, as they were.
    Expect(s.Out(), {L({0, 0, 0}, {20, 0, 0}), L({20, 0, 0}, {20, 20, 0})}, "refused");
}

TEST(ChamferRnd, OrderOfWaitingEntriesAndASecondAnnouncement)
{
    Stage s;
    s.Accept(Announce(1, 5));
    s.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    s.Accept(MakeM(MFunkKind::Set, 8));
    s.Accept(Announce(1, 2));
    s.Accept(MakeLine({20, 0, 0}, {20, 20, 0}, 20));
    s.Accept(MakeLine({20, 20, 0}, {0, 20, 0}, 30));
    const CVec3d m(ENTRY_MFUNK, 0, 0);
    Expect(s.Out(),
           {L({0, 0, 0}, {15, 0, 0}),
            L({15, 0, 0}, {20, 5, 0}),
            {-1, m, {}, {}, {}},
            L({20, 5, 0}, {20, 18, 0}),
            L({20, 18, 0}, {18, 20, 0}),
            L({18, 20, 0}, {0, 20, 0})},
           "two corners");
}

TEST(ChamferRnd, ARefusalInsideACornerKeepsTheRest)
{
    Stage s;
    s.host.tools[1] = {1, 1.0};
    s.Accept(MakeRules(1, 1));
    s.Accept(Announce(1, 5));
    s.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    auto* other = MakeLine({20, 0, 0}, {20, 20, 0}, 20);
    other->m_plane = 1; // the correction cannot carry its offset into another plane
    EXPECT_EQ(s.Accept(other), -1);
    EXPECT_TRUE(s.host.Logged(3161));
    // The first line and the chamfer went on; the refused element waits in the stage.
    EXPECT_EQ(s.transformer.Count(), 3);
    EXPECT_FALSE(s.transformer.ChamferStage().IsIdle());
    s.transformer.Reset();
    EXPECT_TRUE(s.transformer.IsIdle());
}

TEST(ChamferRnd, ProgramEndClosesAnOpenCorner)
{
    Stage s;
    s.Accept(Announce(3, 5));
    s.Accept(MakeLine({0, 0, 0}, {20, 0, 0}, 10));
    s.Accept(MakeM(MFunkKind::Set, 8));
    EXPECT_EQ(s.Accept(MakeM(MFunkKind::Test, 30)), 1);
    const CVec3d m(ENTRY_MFUNK, 0, 0);
    Expect(s.Out(), {L({0, 0, 0}, {20, 0, 0}), {-1, m, {}, {}, {}}, {-1, m, {}, {}, {}}}, "end");
    EXPECT_TRUE(s.transformer.IsIdle());
    // The next program's elements go straight through.
    s.Accept(MakeLine({0, 0, 0}, {5, 0, 0}, 20));
    s.Accept(MakeLine({5, 0, 0}, {5, 5, 0}, 30));
    Expect(s.Out(), {L({0, 0, 0}, {5, 0, 0}), L({5, 0, 0}, {5, 5, 0})}, "after");
}
