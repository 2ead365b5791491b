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
