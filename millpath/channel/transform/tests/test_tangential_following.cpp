// Tangential following: its angles, the tangent's turn along an element,
// and the rotary axis targets, stops and turning moves that the transformer
// chain gives the path while it follows.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "fake_trans_host.h"
#include "transformer.h"

namespace
{
constexpr double Pi = std::numbers::pi;
constexpr int Q1 = 3; // axis numbers count X, Y and Z first

CEntryFunk* Follow(double offset, double limit, int on = 1)
{
    auto* f = MakeFunction(23);
    f->m_word1 = on;
    f->m_word2 = Q1;
    f->m_value2 = offset;
    f->m_value3 = limit;
    f->m_vector = CVec3d(0, 0, 1);
    return f;
}

struct Following
{
    FakeTransHost host;
    CTransformer transformer{host};

    std::vector<std::unique_ptr<CEntry>> Run(const std::vector<CEntry*>& entries)
    {
        for (CEntry* e : entries)
            EXPECT_EQ(transformer.AddEntry(e), 0);
        int done = 0;
        transformer.Process(0, done);
        return host.Drain();
    }
};

const CEntryGeo_3D& Geo(const std::unique_ptr<CEntry>& entry)
{
    return static_cast<const CEntryGeo_3D&>(*entry);
}
} // namespace

TEST(TangentialFollowing, AnglesAndTurns)
{
    for (const auto& [angle, folded] : std::vector<std::pair<double, double>>{
             {-3.5 * Pi, Pi / 2}, {1.5 * Pi, Pi / 2}, {Pi / 3, Pi / 3}, {5 * Pi, Pi}})
        EXPECT_NEAR(CTangentialFollowing::Normalize(angle), folded, 1e-12) << angle;

    FakeTransHost host;
    CTangentialFollowing stage(host);
    double a = 0.0;
    ASSERT_EQ(stage.AngleAbout(a, {1, 0, 0}, {0, -1, 0}), 0u);
    EXPECT_NEAR(a, 1.5 * Pi, 1e-12);

    struct Case
    {
        const char* name;
        CEntryGeo_3D* entry;
        double turn;
    } cases[] = {
        {"a line", MakeLine({0, 0, 0}, {1, 0, 0}), 0.0},
        {"a left quarter", MakeArc({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, Pi / 2}), Pi / 2},
        {"a right quarter", MakeArc({1, 0, 0}, {0, -1, 0}, {0, 0, 0}, {0, 0, -Pi / 2}), -Pi / 2},
        {"a full circle", MakeArc({1, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 2 * Pi}), 2 * Pi},
        {"a full circle against the normal", MakeArc({1, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, -2 * Pi}),
         -2 * Pi},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<CEntryGeo_3D> entry(c.entry);
        ASSERT_EQ(stage.MakeTfGeoObj(*entry), 0) << c.name;
        double turn = 99.0;
        EXPECT_EQ(stage.TangentTurn(turn, *entry), 1) << c.name;
        EXPECT_NEAR(turn, c.turn, 1e-9) << c.name;
    }
    std::unique_ptr<CEntryGeo_3D> up(MakeLine({0, 0, 0}, {0, 0, 5}));
    EXPECT_EQ(stage.MakeTfGeoObj(*up), CTfGeoObj::AlongNormal);
}

TEST(TangentialFollowing, FirstElementTakesTheShorterWayRound)
{
    // An offset of 190 degrees along +x: -170, beyond a limit of 0 a corner.
    Following f;
    const auto out = f.Run({Follow(190.0, 0.0), MakeLine({0, 0, 0}, {10, 0, 0}, 10)});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]->m_type, ENTRY_STOP);
    EXPECT_EQ(out[0]->m_blockNo, 10u);
    const CEntryGeo_3D& turn = Geo(out[1]);
    EXPECT_EQ(turn.m_geoType & 0xFF, 3u);
    EXPECT_NEAR(turn.m_auxTarget[0] - turn.m_auxStart[0], -170.0, 1e-9);
    EXPECT_EQ(turn.m_auxMoves[0], 1u);
    EXPECT_NEAR(Geo(out[2]).m_auxStart[0], -170.0, 1e-9);
    EXPECT_NEAR(Geo(out[2]).m_auxTarget[0], -170.0, 1e-9);
}

TEST(TangentialFollowing, CornersAgainstTheLimit)
{
    struct Case
    {
        const char* name;
        double limit;
        CVec3d second; // the end of the second line from (10, 0)
        bool corner;
        double target; // the second line's rotary target
    } cases[] = {
        {"a left turn of exactly the limit", 90.0, {10, 10, 0}, true, 90.0},
        {"a left turn below the limit", 90.0, {20, 10, 0}, false, 45.0},
        {"a right turn below the limit", 90.0, {20, -10, 0}, false, -45.0},
        {"a right turn beyond the limit", 30.0, {20, -10, 0}, true, -45.0},
    };
    for (const Case& c : cases)
    {
        Following f;
        const auto out = f.Run({Follow(0.0, c.limit), MakeLine({0, 0, 0}, {10, 0, 0}, 10),
                                MakeLine({10, 0, 0}, c.second, 20), Follow(0.0, 0.0, 0)});
        ASSERT_EQ(out.size(), c.corner ? 4u : 2u) << c.name;
        const CEntryGeo_3D& second = Geo(out.back());
        EXPECT_NEAR(second.m_auxTarget[0], c.target, 1e-9) << c.name;
        if (c.corner)
        {
            EXPECT_EQ(out[1]->m_type, ENTRY_STOP) << c.name;
            EXPECT_NEAR(Geo(out[2]).m_auxTarget[0], c.target, 1e-9) << c.name;
            EXPECT_NEAR(second.m_auxStart[0], c.target, 1e-9) << c.name;
        }
        else
            EXPECT_NEAR(second.m_auxStart[0], 0.0, 1e-9) << c.name;
        EXPECT_EQ(f.transformer.Tangential().Mode(), CTangentialFollowing::ModeOff) << c.name;
    }
}

TEST(TangentialFollowing, ALineAlongTheNormalKeepsTheAxis)
{
    Following f;
    const auto out = f.Run({Follow(0.0, 90.0), MakeLine({0, 0, 0}, {10, 0, 0}, 10),
                            MakeLine({10, 0, 0}, {10, 0, -5}, 20), MakeLine({10, 0, -5}, {20, 10, -5}, 30)});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_NEAR(Geo(out[1]).m_auxStart[0], 0.0, 1e-9);
    EXPECT_NEAR(Geo(out[1]).m_auxTarget[0], 0.0, 1e-9);
    // The next element decides: it turns by 45 degrees from the first.
    EXPECT_NEAR(Geo(out[2]).m_auxTarget[0], 45.0, 1e-9);
}

TEST(TangentialFollowing, EntriesWaitForRoomInTheOutput)
{
    // A corner at every junction: each element pushes a stop, a turn and itself.
    Following f;
    f.host.SetOutputCapacity(10);
    std::vector<CEntry*> program = {Follow(0.0, 10.0)};
    for (int i = 0; i < 8; ++i)
        program.push_back(MakeLine({10.0 * i, 0, 0}, {10.0 * (i + 1), i % 2 ? -10.0 : 10.0, 0},
                                   static_cast<std::uint32_t>(10 * (i + 1))));
    std::vector<std::unique_ptr<CEntry>> out = f.Run(program);
    for (int round = 0; round < 20 && !f.transformer.IsIdle(); ++round)
    {
        int done = 0;
        EXPECT_EQ(f.transformer.Process(0, done), 0);
        for (auto& e : f.host.Drain())
            out.push_back(std::move(e));
    }
    EXPECT_TRUE(f.transformer.IsIdle());
    EXPECT_TRUE(f.host.errors.empty());
    // Nothing lost, in order, and each element starts where the turn before it ended.
    std::vector<std::uint32_t> blocks;
    double axis = 0.0;
    for (const auto& e : out)
        if (e->m_type == ENTRY_GEO_3D && (Geo(e).m_geoType & 0xFF) == 0)
        {
            blocks.push_back(e->m_blockNo);
            EXPECT_NEAR(Geo(e).m_auxStart[0], axis, 1e-9) << e->m_blockNo;
            axis = Geo(e).m_auxTarget[0];
        }
        else if (e->m_type == ENTRY_GEO_3D)
        {
            EXPECT_NEAR(Geo(e).m_auxStart[0], axis, 1e-9) << e->m_blockNo;
            axis = Geo(e).m_auxTarget[0];
        }
    EXPECT_EQ(blocks, (std::vector<std::uint32_t>{10, 20, 30, 40, 50, 60, 70, 80}));
}

TEST(TangentialFollowing, AnEmptyOutputWithoutRoomStopsTheChannel)
{
    Following f;
    f.host.SetOutputCapacity(4);
    EXPECT_EQ(f.transformer.AddEntry(Follow(0.0, 10.0)), 0);
    EXPECT_EQ(f.transformer.AddEntry(MakeLine({0, 0, 0}, {10, 0, 0}, 10)), 0);
    int done = 0;
    f.transformer.Process(0, done);
    EXPECT_EQ(f.transformer.Process(0, done), 0x415E);
    const auto* line = f.host.Find(3214);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->args, (std::vector<long long>{0x415E, 7, 10}));
    ASSERT_FALSE(f.host.errors.empty());
    EXPECT_EQ(f.host.errors.back().code, 0x415Eu);
    EXPECT_EQ(f.host.state, 11);
    EXPECT_TRUE(f.host.Drain().empty()); // the element is held, not lost
}
