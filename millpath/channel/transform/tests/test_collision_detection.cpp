// The collision detection at the end of the chain: its switch, the depth,
// the reversal test, vanished arcs, and a loop in the corrected path by the
// three collision modes.
#include <numbers>

#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "collision_detection.h"
#include "fake_trans_host.h"

namespace
{
constexpr double Pi = std::numbers::pi;

CEntrySetIpolRules* Switch(bool on)
{
    auto* rules = MakeRules(0, 0);
    rules->m_channelWord = on ? 1 : 0;
    return rules;
}

// A geometry entry as the radius correction leaves it: corrected at its end.
CEntryGeo_3D* Corrected(CEntryGeo_3D* entry)
{
    entry->m_korrEnd.m_value = 1;
    return entry;
}

struct Detection
{
    FakeTransHost host;
    CCollisionDetection stage{host};

    std::size_t Geometry()
    {
        std::size_t n = 0;
        for (const auto& e : host.Drain())
            n += e->m_type == ENTRY_GEO_3D;
        return n;
    }
};
} // namespace

TEST(CollisionDetection, SwitchAndDepth)
{
    {
        Detection d;
        // Without the switch every entry goes straight through.
        EXPECT_EQ(d.stage.Accept(Corrected(MakeLine({0, 0, 0}, {10, 0, 0}))), 1);
        EXPECT_EQ(d.Geometry(), 1u);
        EXPECT_EQ(d.stage.SetDepth(26), 0);
        EXPECT_EQ(d.stage.GetDepth(), 3);
    }
    for (const int depth : {0, 3})
    {
        Detection d;
        EXPECT_EQ(d.stage.SetDepth(depth), 1);
        d.stage.Accept(Switch(true));
        EXPECT_TRUE(d.stage.Active());
        d.stage.Accept(Corrected(MakeLine({0, 0, 0}, {10, 0, 0})));
        // Depth 0 checks (and releases) each element at once; depth 3 holds it.
        EXPECT_EQ(d.stage.HeldCount(), depth == 0 ? 0 : 1) << depth;
        d.stage.Accept(Switch(false));
        EXPECT_FALSE(d.stage.Active());
        EXPECT_TRUE(d.stage.IsIdle());
    }
}

TEST(CollisionDetection, SwitchedOnWhileHolding)
{
    Detection d;
    d.host.SetOutputCapacity(1);
    CEntryStop occupant;
    d.host.output->Push(&occupant);
    d.stage.Accept(new CEntryHValue); // the output refuses: held
    d.stage.Accept(Switch(true));
    const auto* line = d.host.Find(3199);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->args[0], 0x4157);
    EXPECT_EQ(d.host.errors.back().code, 0x4157u);
    CEntry* out = nullptr;
    d.host.output->Pop(out);
}

TEST(CollisionDetection, ReversalTestAtHalfARadian)
{
    Detection d;
    struct Case
    {
        double programmed;
        CVec3d to;
        int reversed;
    } cases[] = {
        {0.0, {10, 4.5, 0}, 0},   // atan(0.45) = 0.42
        {0.0, {10, 6, 0}, 1},     // atan(0.6) = 0.54
        {0.1, {10, -0.5, 0}, 0},  // across the zero angle
        {Pi / 2, {0, -10, 0}, 1}, // straight back
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<CEntryGeo_3D> line(MakeLine({0, 0, 0}, c.to));
        line->m_prep.m_prepared = 1;
        line->m_prep.m_programmedDirection = c.programmed;
        EXPECT_EQ(d.stage.DirectionMatches(*line), c.reversed) << c.to.GetY();
        line->m_prep.m_prepared = 0;
        EXPECT_EQ(d.stage.DirectionMatches(*line), 0);
    }
    std::unique_ptr<CEntryGeo_3D> arc(MakeArc({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, -Pi / 2}));
    arc->m_prep.m_prepared = 1;
    arc->m_prep.m_programmedDirection = Pi / 2;
    EXPECT_EQ(d.stage.DirectionMatches(*arc), 1);
}

TEST(CollisionDetection, VanishedArcIsDropped)
{
    Detection d;
    d.stage.Accept(Switch(true));
    d.host.Drain();
    d.stage.Accept(Corrected(MakeArc({0.00005, 0, 0}, {0, 0.00005, 0}, {0, 0, 0}, {0, 0, Pi / 2}, 40)));
    EXPECT_TRUE(d.host.Logged(3202));
    EXPECT_EQ(d.stage.HeldCount(), 0);
    EXPECT_EQ(d.Geometry(), 0u);
}

TEST(CollisionDetection, LoopByMode)
{
    // The fifth element crosses the first at (5, 0); the loop holds a pure z move.
    for (const int mode : {0, 1, 2})
    {
        Detection d;
        d.stage.SetCollisionMode(mode);
        d.stage.SetDepth(4);
        d.stage.Accept(Switch(true));
        d.host.Drain();
        d.stage.Accept(Corrected(MakeLine({0, 0, 0}, {10, 0, 0}, 10)));
        d.stage.Accept(Corrected(MakeLine({10, 0, 0}, {10, 5, 0}, 20)));
        d.stage.Accept(Corrected(MakeLine({10, 5, 0}, {10, 5, -2}, 30)));
        d.stage.Accept(Corrected(MakeLine({10, 5, -2}, {5, 5, -2}, 40)));
        d.stage.Accept(Corrected(MakeLine({5, 5, -2}, {5, -5, -2}, 50)));
        d.stage.Accept(Switch(false));
        std::vector<std::unique_ptr<CEntryGeo_3D>> out;
        for (auto& e : d.host.Drain())
            if (e->m_type == ENTRY_GEO_3D)
                out.emplace_back(static_cast<CEntryGeo_3D*>(e.release()));
        if (mode == 0)
        {
            EXPECT_TRUE(d.host.Logged(3210));
            EXPECT_EQ(d.host.errors.back().code, 0x415Bu);
            // The entries stay where they are.
            EXPECT_FALSE(d.stage.IsIdle());
            continue;
        }
        if (mode == 2)
        {
            EXPECT_TRUE(d.host.Logged(3211));
            EXPECT_TRUE(d.host.errors.empty());
            EXPECT_EQ(out.size(), 5u);
            continue;
        }
        EXPECT_TRUE(d.host.errors.empty());
        ASSERT_EQ(out.size(), 3u);
        EXPECT_TRUE(VecNear(out[0]->m_target, {5, 0, 0}));
        EXPECT_TRUE(VecNear(out[1]->m_start, {5, 0, 0}));
        EXPECT_TRUE(VecNear(out[1]->m_target, {5, 0, -2})); // the one vertical move
        EXPECT_TRUE(VecNear(out[2]->m_start, {5, 0, -2}));
        EXPECT_TRUE(VecNear(out[2]->m_target, {5, -5, -2}));
        EXPECT_TRUE(d.stage.IsIdle());
    }
}
