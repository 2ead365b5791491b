// Interpolation-rules entries: one before the geometry of the first motion
// after start or reset, and of every motion that changes a rule word.
#include <gtest/gtest.h>

#include <array>

#include "recording_channel.h"

namespace
{
// The rule words at payload offsets 20 to 60 of a rules entry.
using Words = std::array<std::uint32_t, 11>;

Words WordsOf(const CEntrySetIpolRules& r)
{
    return {r.m_feedType, r.m_rule1, r.m_rule2, r.m_channelFlags, r.m_rule3,      r.m_rule4,
            r.m_rule5,    r.m_rule6, r.m_rule7, r.m_ipolMode,     r.m_channelWord};
}

constexpr std::uint32_t Right = 0xFFFFFFFFu; // -1 as the entry carries it

struct Rules
{
    std::uint32_t blockNo;
    Words words;
};

// Words in the order feed type, linear, clockwise, exact stop, corner,
// correction, D, approach, variant, interpolation mode, collision.
struct Case
{
    const char* source;
    std::vector<Rules> expected;
};

// Runs the source and checks that each rules entry stands right before the
// geometry entry of its block, and that there are no others.
void ExpectRules(const Case& c)
{
    InterpreterFixture f;
    ASSERT_EQ(f.interpreter.loadProgramSource(c.source), 0u) << c.source;
    EXPECT_EQ(startProgram(f.interpreter), InterpreterState::Finished) << c.source;
    std::vector<Rules> found;
    const auto& entries = f.channel.entries;
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const auto* rules = dynamic_cast<const CEntrySetIpolRules*>(entries[i].get());
        if (!rules)
            continue;
        found.push_back({rules->m_blockNo, WordsOf(*rules)});
        bool geometryFollows = false;
        for (std::size_t j = i + 1; j < entries.size() && entries[j]->m_blockNo == rules->m_blockNo; ++j)
            geometryFollows = geometryFollows || entries[j]->m_type == ENTRY_GEO_3D;
        EXPECT_TRUE(geometryFollows) << c.source << " block " << rules->m_blockNo;
    }
    ASSERT_EQ(found.size(), c.expected.size()) << c.source;
    for (std::size_t i = 0; i < found.size(); ++i)
    {
        EXPECT_EQ(found[i].blockNo, c.expected[i].blockNo) << c.source << " rules " << i;
        EXPECT_EQ(found[i].words, c.expected[i].words) << c.source << " rules " << i;
    }
}
} // namespace

TEST(InterpreterRules, MadeAtTheFirstMotionAndAtEachChange)
{
    const Case cases[] = {
        // Motion kinds: linear, clockwise, counter-clockwise, rapid; an unchanged block makes none.
        {"N10 G1 F100 X10\nN20 X20\nN30 G2 X30 Y10 I0 J10\nN40 G3 X40 Y20 I10 J0\nN50 G0 X0\n",
         {{10, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
          {30, {0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0}},
          {40, {0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0}},
          {50, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}},
        // G9 holds for its block only, G60 stays.
        {"N10 G1 F100 X10\nN20 G9 X20\nN30 X30\nN40 G60 X40\nN50 X50\n",
         {{10, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
          {20, {0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0}},
          {30, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
          {40, {0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0}}}},
        {"N10 G62 G1 F100 X10\nN20 G64 X20\n",
         {{10, {0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0}}, {20, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}}}},
        // Radius correction: left, right, off; D stays selected.
        {"N10 G1 F100 X0 Y0\nN20 G41 D1 X10\nN30 X20\nN40 G42 X30\nN50 G40 X40\n",
         {{10, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
          {20, {0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0}},
          {40, {0, 1, 0, 0, 0, Right, 1, 0, 0, 1, 0}},
          {50, {0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0}}}},
        {"N10 G1 F100 X10\nN20 cdon X20\nN30 X30\nN40 cdof X40\n",
         {{10, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
          {20, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
          {40, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}}}},
        // Feed per revolution; rapid is rapid whatever the feed mode.
        {"N10 G95 G1 F0.1 X10\nN20 G0 X0\n",
         {{10, {4, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}}, {20, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}},
        // Blocks without a motion make no rules entry of their own.
        {"N10 R1=5\nN20 S500\nN30 G1 F100 X10\n", {{30, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}}}},
    };
    for (const Case& c : cases)
        ExpectRules(c);
}

TEST(InterpreterRules, AResetSendsTheRulesAgain)
{
    InterpreterFixture f;
    ASSERT_EQ(f.interpreter.loadProgramSource("N10 G1 F100 X10\n"), 0u);
    EXPECT_EQ(startProgram(f.interpreter), InterpreterState::Finished);
    f.interpreter.reset();
    EXPECT_EQ(startProgram(f.interpreter), InterpreterState::Finished);
    const auto rules = f.channel.of<CEntrySetIpolRules>();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(WordsOf(*rules[0]), WordsOf(*rules[1]));
}

TEST(InterpreterRules, RulesWaitForRoomAndGoOutBeforeTheirGeometry)
{
    InterpreterFixture f;
    f.channel.room = 0;
    ASSERT_EQ(f.interpreter.loadProgramSource("N10 G1 F100 X10\n"), 0u);
    EXPECT_EQ(startProgram(f.interpreter), InterpreterState::OutputPending);
    EXPECT_TRUE(f.channel.entries.empty());
    f.channel.room = 100;
    EXPECT_EQ(resume(f.interpreter), InterpreterState::Finished);
    // The rules, the modal code of G1, the geometry.
    EXPECT_EQ(f.channel.types(), (std::vector<std::uint32_t>{ENTRY_SETIPOLRULES, ENTRY_FUNK, ENTRY_GEO_3D}));
    for (std::size_t i = 0; i < f.channel.entries.size(); ++i)
        EXPECT_EQ(f.channel.entries[i]->m_entryIdx, i);
}
