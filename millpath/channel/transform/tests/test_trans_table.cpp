// The look-ahead table of the radius correction: correction data of the
// entries, the geometry chain, and what its fetch makes of the correction's
// results.
#include <gtest/gtest.h>

#include "collision_detection.h"
#include "fake_trans_host.h"
#include "scripted_correction.h"
#include "trans_codes.h"
#include "trans_table.h"

namespace
{
std::unique_ptr<CEntry> Take(CTransTable& table)
{
    CEntry* entry = nullptr;
    int error = 0;
    table.Fetch(entry, error);
    return std::unique_ptr<CEntry>(entry);
}

std::vector<CTransElement*> GeoChain(const CTransTable& table)
{
    std::vector<CTransElement*> chain;
    CTransElement* first = table.Head();
    while (first && !first->IsGeometry())
        first = first->m_next;
    for (CTransElement* n = first; n; n = n->m_nextGeo)
        chain.push_back(n);
    return chain;
}
} // namespace

TEST(TransTable, WithoutRadiusCorrectionNothingIsTaken)
{
    FakeTransHost host;
    CTransTable table(host, [](CTransTable&) { return std::unique_ptr<CBNcRadiusCorrection>(); });
    std::unique_ptr<CEntry> line(MakeLine({0, 0, 0}, {1, 0, 0}));
    EXPECT_EQ(table.Append(line.get()), 0x4106);
    EXPECT_EQ(table.Count(), 0);
    CTransElement node(nullptr, &table);
    EXPECT_EQ(table.InsertAfter(line.get(), &node), 0x4106);
    EXPECT_EQ(table.InsertBefore(line.get(), &node), 0x4106);
    CEntry* out = line.get();
    int error = 5;
    EXPECT_EQ(table.Fetch(out, error), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(TransTable, GeometryTakesTheCorrectionDataInForce)
{
    FakeTransHost host;
    host.tools[3] = {2, 1.5};
    host.tools[4] = {0, 2.5}; // a tool without a type keeps the type known before
    CTransTable table(host);
    auto* first = MakeLine({0, 0, 0}, {10, 0, 0}, 10);
    auto* on = MakeLine({10, 0, 0}, {10, 10, 0}, 20);
    auto* active = MakeLine({10, 10, 0}, {0, 10, 0}, 30);
    auto* off = MakeLine({0, 10, 0}, {0, 0, 0}, 40);
    off->m_korrEnd.m_vectors[0] = CVec3d(1, 2, 3); // offsets that the entry brings stay
    EXPECT_EQ(table.Append(first), 0);
    EXPECT_EQ(table.Append(MakeRules(1, 3, 1, 7)), 0);
    EXPECT_EQ(table.Append(on), 0);
    EXPECT_EQ(table.Append(MakeRules(1, 4)), 0);
    EXPECT_EQ(table.Append(active), 0);
    EXPECT_EQ(table.Append(MakeRules(0, 4)), 0);
    EXPECT_EQ(table.Append(off), 0);
    EXPECT_EQ(table.Count(), 7);
    EXPECT_EQ(table.GeoCount(), 4);

    struct End
    {
        std::int32_t value;
        std::uint32_t active, tool, approach, variant, type;
        double radius;
    };
    struct Case
    {
        CEntryGeo_3D* entry;
        End start, end;
        int state;
    } cases[] = {
        {first, {0, 0, 0, 0, 0, 0, 0.0}, {0, 0, 0, 0, 0, 0, 0.0}, CTransElement::Ready},
        {on, {0, 0, 0, 0, 0, 0, 0.0}, {1, 1, 3, 1, 7, 2, 1.5}, CTransElement::InWork},
        {active, {1, 1, 3, 1, 7, 2, 1.5}, {1, 1, 4, 0, 0, 2, 2.5}, CTransElement::InWork},
        {off, {1, 1, 4, 0, 0, 2, 2.5}, {0, 0, 4, 0, 0, 2, 2.5}, CTransElement::InWork},
    };
    auto expectEnd = [](const CEntry_Korrektur& k, const End& e, std::uint32_t blockNo, const char* which)
    {
        EXPECT_EQ(k.m_value, e.value) << blockNo << which;
        EXPECT_EQ(k.m_active, e.active) << blockNo << which;
        EXPECT_EQ(k.m_toolNumber, e.tool) << blockNo << which;
        EXPECT_EQ(k.m_approach, e.approach) << blockNo << which;
        EXPECT_EQ(k.m_variant, e.variant) << blockNo << which;
        EXPECT_EQ(k.m_toolType, e.type) << blockNo << which;
        EXPECT_EQ(k.m_radius, e.radius) << blockNo << which;
    };
    for (CTransElement* n = table.Head(); n; n = n->m_next)
        for (const Case& c : cases)
            if (n->m_entry == c.entry)
            {
                expectEnd(c.entry->m_korrStart, c.start, c.entry->m_blockNo, " start");
                expectEnd(c.entry->m_korrEnd, c.end, c.entry->m_blockNo, " end");
                EXPECT_EQ(n->m_state, c.state) << c.entry->m_blockNo;
            }
    EXPECT_EQ(off->m_korrEnd.m_vectors[0].GetZ(), 3.0);
    // Non-geometry entries are ready at once.
    EXPECT_EQ(table.Head()->m_next->m_state, CTransElement::Ready);
}

TEST(TransTable, CorrectionDataThatDoNotFitAreRefused)
{
    struct Case
    {
        const char* name;
        std::int32_t value;
        std::uint32_t approach;
        bool lineBefore;
        std::uint32_t plane;
        int error;
        std::uint32_t message;
    } cases[] = {
        {"correction value 2", 2, 0, false, 0, 0x4150, 3152},
        {"approach kind 2", 1, 2, false, 0, 0x4150, 3153},
        {"plane change under the correction", 1, 0, true, 1, 0x4152, 3155},
    };
    for (const Case& c : cases)
    {
        FakeTransHost host;
        CTransTable table(host);
        ASSERT_EQ(table.Append(MakeRules(c.value, 1, c.approach)), 0) << c.name;
        if (c.lineBefore)
        {
            ASSERT_EQ(table.Append(MakeLine({0, 0, 0}, {1, 0, 0}, 10)), 0) << c.name;
        }
        std::unique_ptr<CEntryGeo_3D> line(MakeLine({1, 0, 0}, {2, 0, 0}, 20));
        line->m_plane = c.plane;
        const int count = table.Count();
        EXPECT_EQ(table.Append(line.get()), c.error) << c.name;
        EXPECT_EQ(table.Count(), count) << c.name;
        ASSERT_EQ(host.lines.size(), 1u) << c.name;
        EXPECT_EQ(host.lines[0].message, c.message) << c.name;
        EXPECT_EQ(host.lines[0].flags, 0x54u) << c.name;
        EXPECT_EQ(host.lines[0].args, (std::vector<long long>{7, 20})) << c.name;
    }
}

TEST(TransTable, GeometryChainThroughInsertsAndTakes)
{
    FakeTransHost host;
    CTransTable table(host);
    auto* g1 = MakeLine({0, 0, 0}, {1, 0, 0}, 1);
    auto* g2 = MakeLine({1, 0, 0}, {2, 0, 0}, 2);
    auto* g3 = MakeLine({2, 0, 0}, {3, 0, 0}, 3);
    table.Append(g1);
    table.Append(MakeM(MFunkKind::Set, 8));
    table.Append(g2);
    table.Append(new CEntryStop);
    table.Append(g3);
    auto chain = GeoChain(table);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0]->m_entry, g1);
    EXPECT_EQ(chain[1]->m_prevGeo, chain[0]);
    EXPECT_EQ(chain[2]->m_prevGeo, chain[1]);

    // A connecting element after g1 (behind the M function's node) joins the
    // chain between g1 and g2; a non-geometry entry does not.
    auto* connect = MakeLine({1, 0, 0}, {1, 0, 0}, 1);
    EXPECT_EQ(chain[0]->InsertAfter(connect), 1);
    EXPECT_EQ(chain[2]->InsertBefore(new CEntryHValue), 1);
    chain = GeoChain(table);
    ASSERT_EQ(chain.size(), 4u);
    EXPECT_EQ(chain[1]->m_entry, connect);
    EXPECT_EQ(chain[1]->m_prevGeo->m_entry, g1);
    EXPECT_EQ(chain[2]->m_prevGeo->m_entry, connect);
    EXPECT_EQ(table.Count(), 7);
    EXPECT_EQ(table.GeoCount(), 4);

    // Order of the list: g1, connect, M, g2, stop, H, g3.
    const std::vector<std::uint32_t> types = {ENTRY_GEO_3D, ENTRY_GEO_3D, ENTRY_MFUNK, ENTRY_GEO_3D,
                                              ENTRY_STOP,   ENTRY_HVALUE, ENTRY_GEO_3D};
    std::vector<std::uint32_t> listed;
    for (CTransElement* n = table.Head(); n; n = n->m_next)
        listed.push_back(n->m_entry->m_type);
    EXPECT_EQ(listed, types);

    // Taking the head and the tail keeps the chain whole.
    EXPECT_EQ(Take(table).get(), g1);
    std::unique_ptr<CEntry> tail(table.FetchTail());
    EXPECT_EQ(tail.get(), g3);
    chain = GeoChain(table);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0]->m_prevGeo, nullptr);
    EXPECT_EQ(chain[1]->m_nextGeo, nullptr);
    EXPECT_EQ(table.GeoCount(), 2);
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Head(), nullptr);
    EXPECT_EQ(table.Tail(), nullptr);
}

// A collision detection whose switch a test sets.
class SwitchedCollision : public CCollisionDetection
{
public:
    using CCollisionDetection::CCollisionDetection;
    bool Active() const override { return on; }
    bool on = false;
};

TEST(TransTable, FetchByTheCorrectionsResult)
{
    struct Case
    {
        const char* name;
        int result;
        int collisionMode;
        bool collisionOn;
        bool taken;
        int error;
        std::uint32_t message;
        std::uint32_t flags;
        std::vector<long long> args;
    } cases[] = {
        {"treated", 0, 0, false, true, 0, 0, 0, {}},
        {"more look-ahead", -666, 0, false, false, -1, 0, 0, {}},
        {"reverses", -550, 0, false, false, 0x4151, 3156, 0x54, {7, 30}},
        {"no intersection", -539, 0, false, false, 0x4151, 3156, 0x54, {7, 30}},
        {"reversal warned", -520, 0, false, true, 0, 3196, 0x52, {7, 30}},
        {"bridged, cut by the collision detection", -519, 1, true, true, 0, 3205, 0x52, {7, 30}},
        {"bridged, detection off", -519, 1, false, false, 0x415A, 3209, 0x54, {0x415A, 7, 30}},
        {"bridged, warning mode", -519, 2, true, false, 0x415A, 3209, 0x54, {0x415A, 7, 30}},
        {"planes differ", 0x4152, 0, false, false, 0x4152, 3194, 0x54, {7, 30, 0x4152}},
        {"radius changed", 0x4155, 0, false, false, 0x4155, 3194, 0x54, {7, 30, 0x4155}},
        {"other", -553, 0, false, false, 0x4151, 3157, 0x54, {7, 30, -553}},
    };
    for (const Case& c : cases)
    {
        FakeTransHost host;
        ScriptedCorrection* correction = nullptr;
        CTransTable table(host, Scripted(correction));
        SwitchedCollision collision(host);
        collision.on = c.collisionOn;
        table.SetCollisionDetection(&collision);
        table.SetCollisionMode(c.collisionMode);
        table.Append(MakeRules(1, 1));
        table.Append(MakeLine({0, 0, 0}, {1, 0, 0}, 30));
        // The rules entry is ready and leaves without the correction.
        std::unique_ptr<CEntry> rules = Take(table);
        ASSERT_NE(rules, nullptr) << c.name;
        EXPECT_EQ(correction->steps, 0) << c.name;

        correction->results = {c.result};
        CEntry* entry = nullptr;
        int error = 12345;
        EXPECT_EQ(table.Fetch(entry, error), c.taken ? 1 : 0) << c.name;
        std::unique_ptr<CEntry> owned(entry);
        EXPECT_EQ(entry != nullptr, c.taken) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(table.Count(), c.taken ? 0 : 1) << c.name;
        if (c.message == 0)
            EXPECT_TRUE(host.lines.empty()) << c.name;
        else
        {
            ASSERT_EQ(host.lines.size(), 1u) << c.name;
            EXPECT_EQ(host.lines[0].message, c.message) << c.name;
            EXPECT_EQ(host.lines[0].flags, c.flags) << c.name;
            EXPECT_EQ(host.lines[0].args, c.args) << c.name;
        }
    }
}

TEST(TransTable, LookAheadLimitRisesByFiveUpTo200)
{
    // The limit after each fetch that the correction answers with -666,
    // for a table of so many waiting lines.
    auto limits = [](int lines, int fetches)
    {
        FakeTransHost host;
        ScriptedCorrection* correction = nullptr;
        CTransTable table(host, Scripted(correction));
        table.Append(MakeRules(1, 1));
        for (int i = 0; i < lines; ++i)
            table.Append(MakeLine({0, 0, 0}, {1, 0, 0}, static_cast<std::uint32_t>(i)));
        std::unique_ptr<CEntry> rules = Take(table);
        correction->always = -666;
        std::vector<int> seen;
        for (int i = 0; i < fetches; ++i)
        {
            CEntry* entry = nullptr;
            int error = 0;
            EXPECT_EQ(table.Fetch(entry, error), 0);
            EXPECT_EQ(error, -1);
            seen.push_back(table.Limit());
        }
        // A head that leaves brings the limit back.
        correction->always = 0;
        EXPECT_NE(Take(table), nullptr);
        EXPECT_EQ(table.Limit(), 50);
        return seen;
    };
    std::vector<int> rising;
    for (int limit = 55; limit <= 200; limit += 5)
        rising.push_back(limit);
    rising.push_back(200);
    rising.push_back(200);
    EXPECT_EQ(limits(210, 32), rising);
    // No more lines than the limit: it stays.
    EXPECT_EQ(limits(50, 2), (std::vector<int>{50, 50}));
}
