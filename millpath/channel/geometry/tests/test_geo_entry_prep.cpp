#include "entry.h"
#include "geo_entry_prep.h"
#include "geo_test_util.h"

#include <memory>

namespace
{
using CountedAttachment = DeletionCounted<CEntryAttachment>;
} // namespace

TEST(GeoEntryPrep, EntryOwnsItsAttachmentsAndCopiesDoNot)
{
    int deleted = 0;
    {
        CEntryGeo_3D original;
        int status = 0;
        original.m_prep.m_offset = std::make_unique<CDiffRcGeoLine>(status, 0, CVec3d(), CVec3d(1, 0, 0));
        original.m_prep.m_tfGeo = std::make_unique<CountedAttachment>(deleted);
        original.m_prep.m_planeTransformed = 1;
        original.m_prep.m_programmedDirection = 0.5;
        original.m_prep.m_axisMoves[2] = 1;

        CEntryGeo_3D copy(original);
        EXPECT_EQ(copy.m_prep.m_offset, nullptr);
        EXPECT_EQ(copy.m_prep.m_tfGeo, nullptr);
        EXPECT_EQ(copy.m_prep.m_planeTransformed, 1u);
        EXPECT_EQ(copy.m_prep.m_programmedDirection, 0.5);
        EXPECT_EQ(copy.m_prep.m_axisMoves[2], 1u);

        // Assigning over an entry gives up what it held.
        CEntryGeo_3D other;
        other.m_prep.m_tfGeo = std::make_unique<CountedAttachment>(deleted);
        other = copy;
        EXPECT_EQ(deleted, 1);
        EXPECT_EQ(other.m_prep.m_tfGeo, nullptr);
        EXPECT_NE(original.m_prep.m_offset, nullptr);
    }
    EXPECT_EQ(deleted, 2); // the original's attachment went with it, once
}
