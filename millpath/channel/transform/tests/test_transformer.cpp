// The transformer's main step: entries by type, line pairs through the
// vertex smoothing, the room towards the feeder, and the chain's small
// operations.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "fake_trans_host.h"
#include "scripted_correction.h"
#include "transformer.h"

namespace
{
constexpr double HalfPi = std::numbers::pi / 2.0;

// An entry of a type that no handler knows.
class CEntryUnknown : public CEntry
{
public:
    explicit CEntryUnknown(std::uint32_t type) : CEntry(type) {}
};

struct Chain
{
    FakeTransHost host;
    // Scripted: a correction that lets each element go as it came, for the
    // tests of what the chain does around the correction.
    ScriptedCorrection* correction = nullptr;
    CTransformer transformer;

    explicit Chain(bool scripted = false)
        : transformer(host, scripted ? Scripted(correction) : CTransTable::CorrectionFactory{})
    {
    }

    void Add(CEntry* entry) { ASSERT_EQ(transformer.AddEntry(entry), 0); }
    int Process()
    {
        int done = 0;
        return transformer.Process(0, done);
    }
    void SetDistance(double d)
    {
        Add(MakeFunction(16, d));
        Process();
    }
};

// One expected output entry: its type, and for geometry its kind, points,
// centre and rotation vector.
struct Out
{
    std::uint32_t type;
    int kind = -1;
    CVec3d start{}, end{}, centre{}, turn{};
};

Out Line(const CVec3d& from, const CVec3d& to)
{
    return {ENTRY_GEO_3D, 0, from, to, {}, {}};
}

Out Arc(const CVec3d& from, const CVec3d& to, const CVec3d& centre, const CVec3d& turn)
{
    return {ENTRY_GEO_3D, 1, from, to, centre, turn};
}

Out Of(std::uint32_t type)
{
    return {type};
}

void ExpectOutput(const std::vector<std::unique_ptr<CEntry>>& out, const std::vector<Out>& expected,
                  const std::string& name)
{
    ASSERT_EQ(out.size(), expected.size()) << name;
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        EXPECT_EQ(out[i]->m_type, expected[i].type) << name << " entry " << i;
        if (expected[i].kind < 0 || out[i]->m_type != ENTRY_GEO_3D)
            continue;
        const auto& g = static_cast<const CEntryGeo_3D&>(*out[i]);
        EXPECT_EQ(static_cast<int>(g.m_geoType & 0xFF), expected[i].kind) << name << " entry " << i;
        EXPECT_TRUE(VecNear(g.m_start, expected[i].start)) << name << " entry " << i << " start";
        EXPECT_TRUE(VecNear(g.m_target, expected[i].end)) << name << " entry " << i << " end";
        if (expected[i].kind == 1)
        {
            EXPECT_TRUE(VecNear(g.m_centre, expected[i].centre)) << name << " entry " << i << " centre";
            EXPECT_TRUE(VecNear(g.m_rotation, expected[i].turn)) << name << " entry " << i << " turn";
        }
    }
}
} // namespace

TEST(Transformer, EntriesLeaveInTheirOrderByType)
{
    Chain c;
    c.Add(MakeRules(0, 0));
    c.Add(MakeM(MFunkKind::Set, 3));
    c.Add(new CEntryUnknown(5));
    c.Add(MakeLine({0, 0, 0}, {10, 0, 0}, 10));
    c.Add(new CEntryReset);
    c.Add(MakeFunction(16, 2.0));     // vertex distance: taken by the chain
    c.Add(MakeFunction(17, 45.0, 1)); // accurate stop: taken by the chain
    c.Add(MakeFunction(19, 3000.0));  // any other function goes on
    c.Add(new CEntryStop);
    c.Add(new CEntryChnStop);
    c.Add(new CEntryDelayTime);
    c.Add(new CEntryToolNr);
    c.Add(new CEntryHValue);
    c.Add(new CEntrySpindel);
    c.Add(new CEntrySpindelTest);
    c.Add(new CEntryMeasMode);
    c.Add(new CEntryChnSync);
    c.Add(new CEntryGeo_1D);
    c.Add(new CEntryStepOn);
    c.Add(new CEntryMsg);
    c.Add(new CEntryORXsignal);
    EXPECT_EQ(c.Process(), 0);
    ExpectOutput(c.host.Drain(),
                 {Of(ENTRY_SETIPOLRULES), Of(ENTRY_MFUNK), Line({0, 0, 0}, {10, 0, 0}), Of(ENTRY_FUNK),
                  Of(ENTRY_STOP), Of(ENTRY_CHNSTOP), Of(ENTRY_DELAYTIME), Of(ENTRY_TOOLNR), Of(ENTRY_HVALUE),
                  Of(ENTRY_SPINDEL), Of(ENTRY_SPINDELTEST), Of(ENTRY_MEASMODE), Of(ENTRY_CHNSYNC),
                  Of(ENTRY_GEO_1D), Of(ENTRY_STEPON), Of(ENTRY_MSG), Of(ENTRY_ORXSIGNAL)},
                 "by type");
    EXPECT_EQ(c.transformer.GetVertexDistance(), 2.0);
    EXPECT_EQ(c.transformer.AccurateStopMode(), 1);
    EXPECT_NEAR(c.transformer.AccurateStopAngle(), std::numbers::pi / 4, 1e-12);
    EXPECT_TRUE(c.transformer.IsIdle());
    EXPECT_EQ(c.transformer.Treated(), 21u);
    EXPECT_GT(c.host.made, 0);
}

TEST(Transformer, VertexSmoothingOfLinePairs)
{
    const CVec3d o(0, 0, 0), x10(10, 0, 0);
    struct Case
    {
        const char* name;
        double distance;
        std::vector<CEntry*> (*entries)();
        std::vector<Out> expected;
    } cases[] = {
        {"below 0.0001 lines go straight on",
         0.00009,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 10, 0})};
         },
         {Line(o, x10), Line(x10, {10, 10, 0})}},
        {"d = 1 at a left turn",
         1.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 10, 0})};
         },
         {Line(o, {9, 0, 0}), Arc({9, 0, 0}, {10, 1, 0}, {9, 1, 0}, {0, 0, HalfPi}),
          Line({10, 1, 0}, {10, 10, 0})}},
        {"a right turn turns about -z",
         1.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, -10, 0})};
         },
         {Line(o, {9, 0, 0}), Arc({9, 0, 0}, {10, -1, 0}, {9, -1, 0}, {0, 0, -HalfPi}),
          Line({10, -1, 0}, {10, -10, 0})}},
        {"d above the first line becomes 0.8 of it",
         15.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 20, 0})};
         },
         {Line(o, {2, 0, 0}), Arc({2, 0, 0}, {10, 8, 0}, {2, 8, 0}, {0, 0, HalfPi}),
          Line({10, 8, 0}, {10, 20, 0})}},
        {"a second line shorter than d takes at most 0.4 of it",
         3.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 2, 0})};
         },
         {Line(o, {9.2, 0, 0}), Arc({9.2, 0, 0}, {10, 0.8, 0}, {9.2, 0.8, 0}, {0, 0, HalfPi}),
          Line({10, 0.8, 0}, {10, 2, 0})}},
        {"beyond half the second line d is its half",
         3.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 5, 0})};
         },
         {Line(o, {7.5, 0, 0}), Arc({7.5, 0, 0}, {10, 2.5, 0}, {7.5, 2.5, 0}, {0, 0, HalfPi}),
          Line({10, 2.5, 0}, {10, 5, 0})}},
        {"a turn below one degree stays",
         1.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {20, 0.1, 0})};
         },
         {Line(o, x10), Line(x10, {20, 0.1, 0})}},
        {"a reversal stays",
         1.0,
         [] {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {5, 0, 0})};
         },
         {Line(o, x10), Line(x10, {5, 0, 0})}},
        {"a line before an arc goes alone",
         1.0,
         []
         {
             return std::vector<CEntry*>{
                 MakeLine({0, 0, 0}, {10, 0, 0}),
                 MakeArc({10, 0, 0}, {20, 0, 0}, {15, 0, 0}, {0, 0, -std::numbers::pi})};
         },
         {Line(o, x10), Arc(x10, {20, 0, 0}, {15, 0, 0}, {0, 0, -std::numbers::pi})}},
        {"a stop ends the pair",
         1.0,
         []
         {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), new CEntryStop,
                                         MakeLine({10, 0, 0}, {10, 10, 0})};
         },
         {Line(o, x10), Of(ENTRY_STOP), Line(x10, {10, 10, 0})}},
        {"M30 ends the pair",
         1.0,
         []
         {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeM(MFunkKind::Test, 30),
                                         MakeLine({10, 0, 0}, {10, 10, 0})};
         },
         {Line(o, x10), Of(ENTRY_MFUNK), Line(x10, {10, 10, 0})}},
        {"another M function splits the arc at its middle",
         1.0,
         []
         {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeM(MFunkKind::Set, 8),
                                         MakeLine({10, 0, 0}, {10, 10, 0})};
         },
         {Line(o, {9, 0, 0}),
          Arc({9, 0, 0}, {9 + std::sqrt(0.5), 1 - std::sqrt(0.5), 0}, {9, 1, 0}, {0, 0, HalfPi / 2}),
          Of(ENTRY_MFUNK),
          Arc({9 + std::sqrt(0.5), 1 - std::sqrt(0.5), 0}, {10, 1, 0}, {9, 1, 0}, {0, 0, HalfPi / 2}),
          Line({10, 1, 0}, {10, 10, 0})}},
        {"three corners",
         1.0,
         []
         {
             return std::vector<CEntry*>{MakeLine({0, 0, 0}, {10, 0, 0}), MakeLine({10, 0, 0}, {10, 10, 0}),
                                         MakeLine({10, 10, 0}, {0, 10, 0}), MakeM(MFunkKind::Test, 30)};
         },
         {Line(o, {9, 0, 0}), Arc({9, 0, 0}, {10, 1, 0}, {9, 1, 0}, {0, 0, HalfPi}),
          Line({10, 1, 0}, {10, 9, 0}), Arc({10, 9, 0}, {9, 10, 0}, {9, 9, 0}, {0, 0, HalfPi}),
          Line({9, 10, 0}, {0, 10, 0}), Of(ENTRY_MFUNK)}},
    };
    for (const Case& k : cases)
    {
        Chain c;
        c.SetDistance(k.distance);
        for (CEntry* e : k.entries())
            c.Add(e);
        // A stop after the last line lets it go without a successor.
        c.Add(new CEntryStop);
        std::vector<Out> expected = k.expected;
        expected.push_back(Of(ENTRY_STOP));
        EXPECT_EQ(c.Process(), 0) << k.name;
        ExpectOutput(c.host.Drain(), expected, k.name);
    }
}

TEST(Transformer, SmoothingArcCarriesTheFirstLinesData)
{
    Chain c(true);
    c.SetDistance(1.0);
    auto* first = MakeLine({0, 0, 0}, {10, 0, 0}, 40, 600.0);
    first->m_textIdx = 4;
    first->m_lineIdx = 5;
    first->m_auxTarget[2] = 7.5;
    auto* second = MakeLine({10, 0, 0}, {10, 10, 0}, 50, 300.0);
    c.Add(MakeRules(1, 2));
    c.Add(first);
    c.Add(second);
    c.Add(MakeM(MFunkKind::Test, 30));
    c.Process();
    auto out = c.host.Drain();
    ASSERT_EQ(out.size(), 5u);
    const auto& arc = static_cast<const CEntryGeo_3D&>(*out[2]);
    EXPECT_EQ(arc.m_geoType, 1u);
    EXPECT_EQ(arc.m_plane, 0u);
    EXPECT_EQ(arc.m_feed, 300.0);
    EXPECT_EQ(arc.m_blockNo, 40u);
    EXPECT_EQ(arc.m_textIdx, 4u);
    EXPECT_EQ(arc.m_lineIdx, 5u);
    EXPECT_EQ(arc.m_auxStart[2], 7.5);
    EXPECT_EQ(arc.m_auxTarget[2], 7.5);
    EXPECT_EQ(arc.m_korrStart.m_value, 1);
    EXPECT_EQ(arc.m_korrEnd.m_value, 1);
    EXPECT_EQ(arc.m_korrStart.m_toolNumber, 2u);
    // The moved axes of the arc and of the shortened lines.
    EXPECT_EQ(arc.m_prep.m_axisMoves[0], 1u);
    EXPECT_EQ(arc.m_prep.m_axisMoves[2], 0u);
}

TEST(Transformer, APairWaitsForItsSecondLine)
{
    Chain c;
    c.SetDistance(1.0);
    c.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
    c.Add(MakeM(MFunkKind::Set, 8));
    int done = 1;
    EXPECT_EQ(c.transformer.Process(0, done), 0);
    EXPECT_EQ(done, 0);
    EXPECT_TRUE(c.host.Drain().empty());
    EXPECT_FALSE(c.transformer.IsIdle());
    c.Add(MakeLine({10, 0, 0}, {10, 10, 0}));
    EXPECT_EQ(c.Process(), 0);
    auto out = c.host.Drain();
    // Line, half arc, M function, half arc; the second line waits in turn.
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[2]->m_type, ENTRY_MFUNK);
    EXPECT_FALSE(c.transformer.IsIdle());
    // Once the program has ended nothing will follow: the line goes alone.
    c.host.state = 12;
    EXPECT_EQ(c.Process(), 0);
    ExpectOutput(c.host.Drain(), {Line({10, 1, 0}, {10, 10, 0})}, "after the end");
    EXPECT_TRUE(c.transformer.IsIdle());
}

TEST(Transformer, ManyEntriesBetweenTwoLinesLoseNothing)
{
    Chain c;
    c.SetDistance(1.0);
    c.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
    for (int i = 0; i < 8; ++i)
        c.Add(new CEntryHValue);
    c.Add(MakeLine({10, 0, 0}, {10, 10, 0}));
    c.Add(new CEntryStop);
    c.Process();
    auto out = c.host.Drain();
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(out[0]->m_type, ENTRY_GEO_3D);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(out[static_cast<std::size_t>(i)]->m_type, ENTRY_HVALUE);
    EXPECT_EQ(out[9]->m_type, ENTRY_GEO_3D);
    EXPECT_TRUE(c.transformer.IsIdle());
}

TEST(Transformer, RoomTowardsTheFeeder)
{
    // An output ring of two places can never take the look-ahead: empty, the
    // step fails with 0x4156; holding entries, it waits for the feeder.
    Chain c;
    c.host.SetOutputCapacity(2);
    c.Add(new CEntryHValue);
    EXPECT_EQ(c.Process(), 0x4156);
    const auto* line = c.host.Find(3198);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->flags, 0x54u);
    EXPECT_EQ(line->args, (std::vector<long long>{0x4156, 7, 0}));
    CEntryStop waiting;
    c.host.output->Push(&waiting);
    c.host.lines.clear();
    int done = 1;
    EXPECT_EQ(c.transformer.Process(0, done), 0);
    EXPECT_EQ(done, 0);
    EXPECT_TRUE(c.host.lines.empty());
    EXPECT_EQ(c.transformer.Count(), 1);
    CEntry* out = nullptr;
    c.host.output->Pop(out);
}

TEST(Transformer, HoldsWhileStoppedOrBlocked)
{
    Chain c;
    c.Add(new CEntryHValue);
    c.host.state = 15;
    c.Process();
    EXPECT_EQ(c.transformer.Count(), 1);
    c.host.state = 12; // a finished program still gets its last entries out
    c.Process();
    EXPECT_EQ(c.host.Drain().size(), 1u);
    c.Add(new CEntryHValue);
    c.transformer.Block();
    c.Process();
    EXPECT_EQ(c.transformer.Count(), 1);
    c.transformer.Reset();
    EXPECT_TRUE(c.transformer.IsIdle());
    c.Add(new CEntryHValue);
    c.Process();
    EXPECT_EQ(c.host.Drain().size(), 1u);
}

TEST(Transformer, DiscardDropsEverythingItHolds)
{
    Chain c;
    c.SetDistance(1.0);
    c.Add(MakeLine({0, 0, 0}, {10, 0, 0}));
    c.Add(new CEntryHValue);
    c.Process(); // the line in hand, the H value in the FIFO
    for (int i = 0; i < 12; ++i)
        c.Add(new CEntryHValue);
    int done = 0;
    EXPECT_EQ(c.transformer.Process(1, done), 0);
    EXPECT_TRUE(c.transformer.IsIdle());
    EXPECT_TRUE(c.host.Drain().empty());
}

TEST(Transformer, CorrectionErrorsEndTheStep)
{
    FakeTransHost host;
    ScriptedCorrection* correction = nullptr;
    CTransformer transformer(host, Scripted(correction));
    transformer.AddEntry(MakeRules(1, 1));
    transformer.AddEntry(MakeLine({0, 0, 0}, {1, 0, 0}, 30));
    correction->results = {-666, -539};
    int done = 0;
    EXPECT_EQ(transformer.Process(0, done), -1);
    EXPECT_EQ(host.Drain().size(), 1u); // the rules went, the line waits
    EXPECT_EQ(transformer.Process(0, done), 0x4151);
    EXPECT_TRUE(host.Logged(3156));
    EXPECT_EQ(transformer.Count(), 1);
    EXPECT_EQ(transformer.Process(0, done), 0);
    EXPECT_EQ(host.Drain().size(), 1u);
}

TEST(Transformer, GeometryOutputFeedAndToolOffsets)
{
    // Offsets of the entry: start (1, 0, 0) + (0, 2, 0), end (0, 0, 3).
    struct Case
    {
        const char* name;
        std::uint32_t feedMode;
        double factor;
        std::int32_t correction;
        std::uint16_t toolType;
        std::uint32_t kind;
        int flagged; // axis whose offset flag is set, -1 none
        double feed;
        CVec3d start, end, centre;
        bool error;
    } cases[] = {
        {"feed factor", 4, 2.5, 0, 1, 0, -1, 250, {0, 0, 0}, {10, 0, 0}, {0, 0, 0}, false},
        {"feed factor 0", 4, 0.0, 0, 1, 0, -1, 100, {0, 0, 0}, {10, 0, 0}, {0, 0, 0}, false},
        {"no correction", 0, 0.0, 0, 1, 0, -1, 100, {0, 0, 0}, {10, 0, 0}, {0, 0, 0}, false},
        {"offsets added", 0, 0.0, 1, 1, 1, -1, 100, {1, 2, 0}, {10, 0, 3}, {1, 2, 0}, false},
        {"flagged y subtracts", 0, 0.0, 1, 9, 1, 1, 100, {1, -2, 0}, {10, 0, 3}, {1, -2, 0}, false},
        {"tool type 10", 0, 0.0, 1, 10, 1, -1, 100, {0, 0, 0}, {10, 0, 0}, {0, 0, 0}, false},
        {"thread, flagged z", 0, 0.0, 1, 1, 4, 2, 100, {1, 2, 0}, {10, 0, 0}, {0, 0, 0}, true},
    };
    for (const Case& k : cases)
    {
        Chain c(true);
        c.host.tools[1] = {k.toolType, 2.0};
        c.Add(MakeRules(k.correction, 1));
        auto* g = MakeLine({0, 0, 0}, {10, 0, 0}, 10, 100.0);
        g->m_geoType = k.kind;
        g->m_feedMode = k.feedMode;
        g->m_feedFactor = k.factor;
        if (k.flagged >= 0)
            g->m_toolOffsetFlags[k.flagged] = 1;
        g->m_korrStart.m_vectors[0] = CVec3d(1, 0, 0);
        g->m_korrStart.m_vectors[1] = CVec3d(0, 2, 0);
        g->m_korrEnd.m_vectors[0] = CVec3d(0, 0, 3);
        c.Add(g);
        c.Process();
        auto out = c.host.Drain();
        ASSERT_EQ(out.size(), 2u) << k.name;
        const auto& r = static_cast<const CEntryGeo_3D&>(*out[1]);
        EXPECT_EQ(r.m_feed, k.feed) << k.name;
        EXPECT_TRUE(VecNear(r.m_start, k.start)) << k.name;
        EXPECT_TRUE(VecNear(r.m_target, k.end)) << k.name;
        EXPECT_TRUE(VecNear(r.m_centre, k.centre)) << k.name;
        EXPECT_EQ(!c.host.errors.empty(), k.error) << k.name;
    }
}

TEST(Transformer, AccurateStopSettings)
{
    struct Case
    {
        const char* name;
        int before; // mode word of a first entry, 0 for none
        double beforeValue;
        int mode;
        double value;
        int expectedMode;
        double expectedAngle;
    } cases[] = {
        {"off", 0, 0, 3, 45, 3, std::numbers::pi},
        {"on from off", 0, 0, 1, 45, 1, std::numbers::pi / 4},
        {"another word while off changes nothing", 0, 0, 2, 45, 3, std::numbers::pi},
        {"a new angle while on", 1, 45, 1, 90, 1, HalfPi},
        {"any word but 3 sets the angle while on", 1, 45, 2, 30, 1, std::numbers::pi / 6},
        {"off again", 1, 45, 3, 30, 3, std::numbers::pi},
    };
    for (const Case& k : cases)
    {
        FakeTransHost host;
        CTransformer t(host);
        EXPECT_EQ(t.AccurateStopMode(), 3) << k.name;
        if (k.before)
        {
            std::unique_ptr<CEntryFunk> f(MakeFunction(17, k.beforeValue, k.before));
            t.SetAccurateStop(*f);
        }
        std::unique_ptr<CEntryFunk> f(MakeFunction(17, k.value, k.mode));
        t.SetAccurateStop(*f);
        EXPECT_EQ(t.AccurateStopMode(), k.expectedMode) << k.name;
        EXPECT_NEAR(t.AccurateStopAngle(), k.expectedAngle, 1e-12) << k.name;
    }
}

TEST(Transformer, SmallOperations)
{
    FakeTransHost host;
    CTransformer t(host);
    for (int mode : {0, 1, 2})
    {
        EXPECT_EQ(t.SetCollisionMode(mode), 0u);
        EXPECT_EQ(t.GetCollisionMode(), mode);
        EXPECT_EQ(t.Table().CollisionMode(), mode);
    }
    EXPECT_EQ(t.SetCollisionMode(3), 1803u);
    EXPECT_EQ(t.SetCollisionMode(-1), 1803u);
    EXPECT_EQ(t.GetCollisionMode(), 2);
    EXPECT_EQ(t.CollisionCommand(25), 0u);
    EXPECT_EQ(t.Collision().GetDepth(), 25);
    EXPECT_EQ(t.CollisionCommand(26), 1803u);
    EXPECT_EQ(t.CollisionCommand(0), 0u);
    EXPECT_EQ(t.Collision().GetDepth(), 0);
    EXPECT_EQ(t.CollisionCommand(-1), 1803u);
    EXPECT_TRUE(t.CollisionIdle());
    EXPECT_NEAR(t.CornerAngle(CEntryStop()), std::numbers::pi, 0.0);

    CEntryHValue cause;
    cause.m_textIdx = 3;
    cause.m_lineIdx = 4;
    cause.m_blockNo = 5;
    cause.m_entryIdx = 6;
    EXPECT_EQ(t.InsertStop(cause), 1);
    auto out = host.Drain();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->m_type, ENTRY_STOP);
    EXPECT_EQ(out[0]->m_textIdx, 3u);
    EXPECT_EQ(out[0]->m_lineIdx, 4u);
    EXPECT_EQ(out[0]->m_blockNo, 5u);
    EXPECT_EQ(out[0]->m_entryIdx, 0u);

    // Four vectors about z, x and an axis number that turns nothing.
    CVec3d v[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
    t.RotateFour(v, 90.0, 3);
    EXPECT_TRUE(VecNear(v[0], {0, 1, 0}));
    EXPECT_TRUE(VecNear(v[1], {-1, 0, 0}));
    EXPECT_TRUE(VecNear(v[2], {0, 0, 1}));
    EXPECT_TRUE(VecNear(v[3], {-1, 1, 0}));
    t.RotateFour(v, 90.0, 1);
    EXPECT_TRUE(VecNear(v[0], {0, 0, 1}));
    t.RotateFour(v, 90.0, 4);
    EXPECT_TRUE(VecNear(v[0], {0, 0, 1}));
}

TEST(Transformer, MirrorByFlags)
{
    struct Case
    {
        int flags;
        CVec3d point, normal;
        std::int32_t direction;
    } cases[] = {
        {0, {1, 2, 3}, {4, 5, 6}, 1},     {1, {-1, 2, 3}, {4, -5, -6}, -1}, {2, {1, -2, 3}, {-4, 5, -6}, -1},
        {4, {1, 2, -3}, {-4, -5, 6}, -1}, {3, {-1, -2, 3}, {-4, -5, 6}, 1}, {7, {-1, -2, -3}, {4, 5, 6}, -1},
    };
    FakeTransHost host;
    CTransformer t(host);
    for (const Case& k : cases)
    {
        CVec3d points[3] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
        CVec3d normal(4, 5, 6);
        std::int32_t direction = 1;
        t.Mirror(points, normal, k.flags, direction);
        for (const CVec3d& p : points)
            EXPECT_TRUE(VecNear(p, k.point)) << k.flags;
        EXPECT_TRUE(VecNear(normal, k.normal)) << k.flags;
        EXPECT_EQ(direction, k.direction) << k.flags;
    }
}

TEST(Transformer, GeometryObjectsByKind)
{
    FakeTransHost host;
    CTransformer t(host);
    std::unique_ptr<CEntryGeo_3D> line(MakeLine({0, 0, 0}, {3, 4, 0}));
    auto object = t.MakeGeoObject(*line);
    ASSERT_NE(object, nullptr);
    CVec3d tangent;
    EXPECT_EQ(object->StartTangent(tangent), 0);
    EXPECT_TRUE(VecNear(tangent, {0.6, 0.8, 0}));
    std::unique_ptr<CEntryGeo_3D> arc(MakeArc({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, HalfPi}));
    object = t.MakeGeoObject(*arc);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->EndTangent(tangent), 0);
    EXPECT_TRUE(VecNear(tangent, {-1, 0, 0}));
    arc->m_geoType = 2;
    EXPECT_NE(t.MakeGeoObject(*arc), nullptr);
    EXPECT_TRUE(host.errors.empty());

    std::unique_ptr<CEntryGeo_3D> point(MakeArc({0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, HalfPi}, 8));
    EXPECT_EQ(t.MakeGeoObject(*point), nullptr);
    point->m_geoType = 3;
    EXPECT_EQ(t.MakeGeoObject(*point), nullptr);
    ASSERT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(host.errors[0].code, 0x4107u);
    EXPECT_EQ(host.errors[1].code, 0x4105u);
    EXPECT_EQ(host.errors[1].blockNo, 8u);
    EXPECT_EQ(host.state, 11);
}

TEST(Transformer, ChannelPassOnResults)
{
    {
        FakeTransHost host;
        CTransformer t(host, [](CTransTable&) { return std::unique_ptr<CBNcRadiusCorrection>(); });
        std::unique_ptr<CEntry> h(new CEntryHValue);
        EXPECT_EQ(t.ChannelPassOn(h.get()), 0);
        EXPECT_TRUE(host.lines.empty());
    }
    FakeTransHost host;
    CTransformer t(host);
    EXPECT_EQ(t.ChannelPassOn(new CEntryHValue), 1);
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(t.ChannelPassOn(MakeRules(3, 1)), 1);
    std::unique_ptr<CEntryGeo_3D> refused(MakeLine({0, 0, 0}, {1, 0, 0}, 9));
    EXPECT_EQ(t.ChannelPassOn(refused.get()), -1);
    EXPECT_TRUE(host.Logged(3152));
    const auto* line = host.Find(3161);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->args, (std::vector<long long>{7}));
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].code, 0x4150u);
    EXPECT_EQ(host.errors[0].blockNo, 9u);
}

TEST(Transformer, ChamferStagePassesWhileNoCornerIsAnnounced)
{
    Chain c;
    CChamferRnd& stage = c.transformer.ChamferStage();
    for (int i = 0; i < 49; ++i)
        EXPECT_EQ(stage.Accept(new CEntryHValue), 1) << i;
    // The stage and the look-ahead hold 49: the next waits.
    std::unique_ptr<CEntry> waiting(new CEntryHValue);
    EXPECT_EQ(stage.Accept(waiting.get()), 0);
    EXPECT_TRUE(stage.IsIdle());
    EXPECT_EQ(stage.Count(), 0);
    EXPECT_EQ(stage.Free(), 49);
    // The output keeps three places free for what the collision stage may hold.
    c.Process();
    EXPECT_EQ(c.host.Drain().size(), 48u);
    c.Process();
    EXPECT_EQ(c.host.Drain().size(), 1u);
    EXPECT_EQ(stage.Accept(waiting.release()), 1);
}

TEST(Transformer, OutputRefusalsAreHeldNotLost)
{
    Chain c;
    c.host.SetOutputCapacity(4);
    CEntryStop a, b, d;
    c.host.output->Push(&a);
    c.host.output->Push(&b);
    c.host.output->Push(&d);
    // One place left: the room test waits for the feeder...
    c.Add(new CEntryHValue);
    c.Process();
    EXPECT_EQ(c.transformer.Count(), 1);
    // ...and an entry handed on past it is held by the collision stage.
    EXPECT_EQ(c.transformer.Collision().Accept(new CEntryToolNr), 1);
    EXPECT_EQ(c.transformer.Collision().Accept(new CEntryToolNr), 1);
    EXPECT_EQ(c.transformer.Collision().HeldCount(), 1);
    EXPECT_TRUE(c.host.Logged(3212));
    EXPECT_EQ(c.host.errors[0].code, 0x415Cu);
    EXPECT_FALSE(c.transformer.IsIdle());
    CEntry* out = nullptr;
    for (int i = 0; i < 3; ++i)
        c.host.output->Pop(out);
    c.host.Drain();
}

TEST(Transformer, TangentialFollowingOffPassesItsEntriesOn)
{
    Chain c;
    EXPECT_EQ(c.transformer.Tangential().Mode(), 3);
    EXPECT_EQ(c.transformer.TangentialAccept(new CEntryHValue), 1);
    EXPECT_EQ(c.host.Drain().size(), 1u);
    EXPECT_TRUE(c.transformer.IsIdle());

    // An output that takes nothing more: the stage holds what it gets, up to
    // its 50 places, and refuses the next.
    c.host.SetOutputCapacity(1);
    CEntryStop occupant;
    c.host.output->Push(&occupant);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(c.transformer.TangentialAccept(new CEntryHValue), 1) << i;
    EXPECT_TRUE(c.host.Logged(3215));
    EXPECT_FALSE(c.transformer.IsIdle());
    std::unique_ptr<CEntryHValue> refused(new CEntryHValue);
    refused->m_blockNo = 60;
    EXPECT_EQ(c.transformer.TangentialAccept(refused.get()), 0);
    EXPECT_TRUE(c.host.Logged(3214));
    const auto* line = c.host.Find(3212);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->args, (std::vector<long long>{0x415D, 7, 60}));
    EXPECT_EQ(c.host.errors.back().code, 0x415Du);
    CEntry* out = nullptr;
    c.host.output->Pop(out);
    c.transformer.Reset();
    EXPECT_TRUE(c.transformer.IsIdle());
}
