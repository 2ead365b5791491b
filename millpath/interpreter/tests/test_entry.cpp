#include <gtest/gtest.h>

#include "entry.h"

#include <memory>
#include <type_traits>

TEST(Entry, TypeCodesOfEveryKind)
{
    struct Case
    {
        std::unique_ptr<CEntry> entry;
        std::uint32_t code;
    };
    Case cases[] = {
        {std::make_unique<CEntryMFunk>(), 1},     {std::make_unique<CEntrySetIpolRules>(), 2},
        {std::make_unique<CEntryORXsignal>(), 3}, {std::make_unique<CEntryGeo_3D>(), 4},
        {std::make_unique<CEntryDelayTime>(), 6}, {std::make_unique<CEntrySpindel>(), 7},
        {std::make_unique<CEntryStop>(), 8},      {std::make_unique<CEntrySpindelTest>(), 9},
        {std::make_unique<CEntryHValue>(), 10},   {std::make_unique<CEntryReset>(), 11},
        {std::make_unique<CEntryChnStop>(), 12},  {std::make_unique<CEntryFunk>(), 13},
        {std::make_unique<CEntryToolNr>(), 14},   {std::make_unique<CEntryMeasMode>(), 15},
        {std::make_unique<CEntryChnSync>(), 16},  {std::make_unique<CEntryGeo_1D>(), 17},
        {std::make_unique<CEntryStepOn>(), 18},   {std::make_unique<CEntryMsg>(), 19},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.entry->m_type, c.code);
        EXPECT_EQ(c.entry->m_textIdx, 0u);
        EXPECT_EQ(c.entry->m_entryIdx, 0u);
    }
}

TEST(Entry, FreshRecordsHoldNeutralPayloads)
{
    CEntryMFunk m;
    for (int slot : m.m_mNumbers)
        EXPECT_EQ(slot, -1);
    CEntryGeo_3D geo;
    EXPECT_EQ(geo.m_geoType, 0u);
    EXPECT_EQ(geo.m_target.GetX(), 0.0);
    EXPECT_EQ(geo.m_korrEnd.m_vectors[3].Length(), 0.0);
    CEntryGeo_1D one;
    EXPECT_EQ(one.m_mode, 1u);
    CEntryChnSync sync;
    EXPECT_EQ(sync.m_one, 1u);
    CEntryMsg msg;
    EXPECT_EQ(msg.m_text[0], '\0');
    static_assert(std::has_virtual_destructor_v<CEntry>);
    static_assert(std::has_virtual_destructor_v<CEntry_Korrektur>);
}
