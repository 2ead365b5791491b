// Zero-shift and rotation tracers: records while active, and the record
// that held for a value.
#include <gtest/gtest.h>

#include "../../geometry/tests/geo_test_util.h"
#include "tracers.h"

namespace
{
struct Source : CZeroShiftSource, CRotationSource
{
    int ActiveZeroShift() const override { return active; }
    CVec3d ZeroShiftComponent(int n, int component) const override
    {
        return CVec3d(n * 100.0 + component, n * 10.0, component);
    }
    CVec3d FurtherVector(int index) const override { return CVec3d(index, -index, 5); }
    CVec3d RotationVector() const override { return rotation; }
    int active = 2;
    CVec3d rotation{0, 0, 90};
};
} // namespace

TEST(Tracers, RecordOnlyWhileActive)
{
    Source source;
    CZeroShiftTracer shifts;
    EXPECT_EQ(shifts.Trace(1, source), 1);
    EXPECT_EQ(shifts.Size(), 0u);
    shifts.SetActive(true);
    EXPECT_EQ(shifts.Trace(1, source), 0);
    source.active = 0; // no zero shift: its sum stays zero
    EXPECT_EQ(shifts.Trace(2, source), 0);
    const ZeroShiftRecord* r = shifts.RecordAt(1);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(VecNear(r->shift, {401, 40, 1}));
    EXPECT_TRUE(VecNear(r->further[1], {1, -1, 5}));
    r = shifts.RecordAt(2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->value, 2u);
    EXPECT_TRUE(VecNear(r->shift, {0, 0, 0}));
    EXPECT_TRUE(VecNear(r->further[0], {0, 0, 5}));

    CRotationTracer rotations;
    rotations.SetActive(true);
    rotations.Trace(7, source);
    rotations.SetActive(false);
    EXPECT_EQ(rotations.Trace(8, source), 1);
    ASSERT_NE(rotations.RecordAt(9), nullptr);
    EXPECT_EQ(rotations.RecordAt(9)->value, 7u);
    EXPECT_TRUE(VecNear(rotations.RecordAt(9)->rotation, {0, 0, 90}));
}

TEST(Tracers, RecordAtDropsWhatCanNoLongerBeAsked)
{
    struct Case
    {
        std::uint32_t asked;
        long long found; // -1 for none
        std::vector<std::uint32_t> left;
    } cases[] = {
        {5, -1, {10, 20, 30, 40}},  {10, 10, {10, 20, 30, 40}},
        {25, 20, {10, 20, 30, 40}}, // the one before stays while a later one follows
        {35, 30, {20, 30, 40}},     {40, 40, {40}},
        {0xFFFFFFFFu, 40, {40}}, // compared unsigned
    };
    Source source;
    for (const Case& c : cases)
    {
        CRotationTracer tracer;
        tracer.SetActive(true);
        for (std::uint32_t v : {10u, 20u, 30u, 40u})
            tracer.Trace(v, source);
        const RotationRecord* r = tracer.RecordAt(c.asked);
        EXPECT_EQ(r ? static_cast<long long>(r->value) : -1, c.found) << c.asked;
        EXPECT_EQ(tracer.Size(), c.left.size()) << c.asked;
        // Asking for the oldest left drops nothing more.
        if (!c.left.empty())
        {
            ASSERT_NE(tracer.RecordAt(c.left.front()), nullptr) << c.asked;
            EXPECT_EQ(tracer.RecordAt(c.left.front())->value, c.left.front()) << c.asked;
            EXPECT_EQ(tracer.Size(), c.left.size()) << c.asked;
        }
    }
    CRotationTracer empty;
    EXPECT_EQ(empty.RecordAt(100), nullptr);
}
