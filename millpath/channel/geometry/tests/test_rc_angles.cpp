#include "diff_rc_geo.h"
#include "geo_codes.h"
#include "geo_test_util.h"
#include "rc_geometry.h"

#include <cmath>

TEST(RcAngles, TurnAngleTable)
{
    struct
    {
        CVec3d d1, d2;
        double expected;
    } cases[] = {
        {CVec3d(1, 0, 0), CVec3d(0, 1, 0), kPi / 2},     {CVec3d(1, 0, 0), CVec3d(0, -1, 0), 3 * kPi / 2},
        {CVec3d(1, 0, 0), CVec3d(1, 0, 0), 0.0},         {CVec3d(1, 0, 0), CVec3d(-3, 0, 0), kPi},
        {CVec3d(0, 1, 0), CVec3d(1, 0, 0), 3 * kPi / 2}, {CVec3d(1, 1, 0), CVec3d(-1, 1, 0), kPi / 2},
        {CVec3d(1, 0, 5), CVec3d(0, 2, -1), kPi / 2}, // z does not count
    };
    for (const auto& c : cases)
    {
        double out = -1;
        EXPECT_EQ(TurnAngle(out, c.d1, c.d2), 0u);
        EXPECT_NEAR(out, c.expected, 1e-12) << c.d2.GetX() << "," << c.d2.GetY();
    }
    double out = -1;
    EXPECT_EQ(TurnAngle(out, CVec3d(1, 0, 0), CVec3d(0, 0, 1)), VEC_ERR_NO_COSINE);
    EXPECT_EQ(out, -1);
}

TEST(RcAngles, JunctionAngleOfLines)
{
    int status = 0;
    const CDiffRcGeoLine first(status, 0, CVec3d(0, 0, 0), CVec3d(1, 0, 0));
    const CDiffRcGeoLine left(status, 0, CVec3d(1, 0, 0), CVec3d(1, 1, 0));
    const CDiffRcGeoLine right(status, 0, CVec3d(1, 0, 0), CVec3d(1, -1, 0));
    const CDiffRcGeoLine straight(status, 0, CVec3d(1, 0, 0), CVec3d(2, 0, 0));
    const CDiffRcGeoLine back(status, 0, CVec3d(1, 0, 0), CVec3d(0, 0, 0));
    double a = -1;
    ASSERT_EQ(JunctionAngle(a, first, left), 0u);
    EXPECT_NEAR(a, kPi / 2, 1e-12);
    ASSERT_EQ(JunctionAngle(a, first, right), 0u);
    EXPECT_NEAR(a, 3 * kPi / 2, 1e-12);
    ASSERT_EQ(JunctionAngle(a, first, straight), 0u);
    EXPECT_NEAR(a, 0, 1e-12);
    ASSERT_EQ(JunctionAngle(a, first, back), 0u);
    EXPECT_NEAR(a, kPi, 1e-12);
}

TEST(RcAngles, SweepAngleTable)
{
    struct
    {
        CVec3d r1, r2;
        int ccw;
        int result;
        double expected;
    } cases[] = {
        {CVec3d(1, 0, 0), CVec3d(0, 1, 0), 1, GeoResult::Ok, kPi / 2},
        {CVec3d(1, 0, 0), CVec3d(0, 1, 0), 0, GeoResult::Ok, 3 * kPi / 2},
        {CVec3d(2, 0, 0), CVec3d(0, -3, 0), 1, GeoResult::Ok, 3 * kPi / 2},
        {CVec3d(2, 0, 0), CVec3d(0, -3, 0), 0, GeoResult::Ok, kPi / 2},
        {CVec3d(1, 0, 0), CVec3d(-1, 0, 0), 0, GeoResult::Ok, kPi},
        {CVec3d(1, 0, 0), CVec3d(3, 0, 0), 1, GeoResult::Ok, 0.0},
        {CVec3d(1, 0, 0), CVec3d(0, 1, 0), 2, GeoResult::Invalid, -1},
        {CVec3d(0, 0, 0), CVec3d(0, 1, 0), 1, GeoResult::Invalid, -1},
        {CVec3d(1, 0, 0), CVec3d(0, 0, 4), 1, GeoResult::Invalid, -1},
    };
    for (const auto& c : cases)
    {
        double out = -1;
        EXPECT_EQ(SweepAngle(out, c.r1, c.r2, c.ccw), c.result);
        EXPECT_NEAR(out, c.expected, 1e-12);
    }
    // Parallel directions whose cosine rounds below 1 still give (almost) no sweep.
    double out = -1;
    EXPECT_EQ(SweepAngle(out, CVec3d(1, 1, 0), CVec3d(2, 2, 0), 1), GeoResult::Ok);
    EXPECT_NEAR(out, 0.0, 1e-7);
}

TEST(RcAngles, PerpendicularToLine)
{
    int status = 0;
    const CDiffRcGeoLine line(status, 0, CVec3d(0, 0, 0), CVec3d(10, 0, 0));
    CVec3d out;
    PerpendicularToLine(out, line, CVec3d(3, 4, 0));
    EXPECT_TRUE(VecNear(out, CVec3d(0, -4, 0)));
    const CDiffRcGeoLine diagonal(status, 0, CVec3d(0, 0, 0), CVec3d(1, 1, 0));
    PerpendicularToLine(out, diagonal, CVec3d(2, 0, 0));
    EXPECT_TRUE(VecNear(out, CVec3d(-1, 1, 0)));
    EXPECT_NEAR(out.Length(), std::sqrt(2.0), 1e-12);
}

TEST(RcAngles, RotateAboutAxisTable)
{
    struct
    {
        CVec3d in;
        int axis;
        CVec3d expected;
    } cases[] = {
        {CVec3d(0, 1, 0), 1, CVec3d(0, 0, 1)},
        {CVec3d(0, 0, 1), 2, CVec3d(1, 0, 0)},
        {CVec3d(1, 0, 0), 3, CVec3d(0, 1, 0)},
        {CVec3d(1, 2, 3), 3, CVec3d(-2, 1, 3)},
    };
    for (const auto& c : cases)
    {
        CVec3d out;
        EXPECT_EQ(RotateVecAboutAxis(out, c.in, 1.0, 0.0, c.axis), 1);
        EXPECT_TRUE(VecNear(out, c.expected)) << c.axis;
    }
    CVec3d out(7, 8, 9);
    EXPECT_EQ(RotateVecAboutAxis(out, CVec3d(1, 0, 0), 1.0, 0.0, 4), 0);
    EXPECT_TRUE(VecNear(out, CVec3d(7, 8, 9), 0));

    // z first, then y, then x: (1,0,0) -> (0,1,0) about z -> (0,0,1) about x.
    CVec3d p(1, 0, 0);
    RotateByAngles(p, CVec3d(kPi / 2, 0, kPi / 2));
    EXPECT_TRUE(VecNear(p, CVec3d(0, 0, 1)));
}
