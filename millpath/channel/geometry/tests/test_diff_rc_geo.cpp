#include "diff_rc_geo.h"
#include "geo_codes.h"
#include "geo_test_util.h"

#include <cmath>
#include <memory>

namespace
{
// Arc about the origin with radius r from angle a0 sweeping by sweep (signed).
std::unique_ptr<CDiffRcGeoCircle> Arc(double r, double a0, double sweep, int kind = 1)
{
    int status = 99;
    auto arc = std::make_unique<CDiffRcGeoCircle>(
        status, kind, CVec3d(r * std::cos(a0), r * std::sin(a0), 0),
        CVec3d(r * std::cos(a0 + sweep), r * std::sin(a0 + sweep), 0), CVec3d(0, 0, sweep), CVec3d(0, 0, 0));
    EXPECT_EQ(status, 0);
    return arc;
}
} // namespace

TEST(DiffRcGeo, LineConstructionRefusals)
{
    struct
    {
        int kind;
        CVec3d start, end;
        int status;
    } cases[] = {
        {0, CVec3d(0, 0, 0), CVec3d(1, 0, 0), GeoResult::Ok},
        {1, CVec3d(0, 0, 0), CVec3d(1, 0, 0), GeoResult::Invalid},
        {0, CVec3d(1, 1, 0), CVec3d(1, 1, 5), GeoResult::Invalid}, // no length in the plane
    };
    for (const auto& c : cases)
    {
        int status = 99;
        const CDiffRcGeoLine line(status, c.kind, c.start, c.end);
        EXPECT_EQ(status, c.status);
    }
}

TEST(DiffRcGeo, LineOffsetTable)
{
    struct
    {
        int side;
        double radius;
        int result;
        double y;
    } cases[] = {
        {RcSide::Left, 2, GeoResult::Ok, 2},       {RcSide::Right, 2, GeoResult::Ok, -2},
        {RcSide::Left, 0, GeoResult::Ok, 0},       {2, 2, GeoResult::Invalid, 0},
        {RcSide::Left, -1, GeoResult::Invalid, 0},
    };
    for (const auto& c : cases)
    {
        int status = 0;
        CDiffRcGeoLine line(status, 0, CVec3d(0, 0, 3), CVec3d(10, 0, 3));
        EXPECT_EQ(line.Offset(c.side, c.radius), c.result);
        EXPECT_TRUE(VecNear(line.Start(), CVec3d(0, c.y, 3)));
        EXPECT_TRUE(VecNear(line.End(), CVec3d(10, c.y, 3)));
        EXPECT_TRUE(line.HasSlope());
        EXPECT_NEAR(line.Intercept(), c.y, 1e-12); // the line y = c.y
        EXPECT_NEAR(line.Slope(), 0, 1e-12);
    }
    // A line parallel to the y axis keeps its constant x in the intercept.
    int status = 0;
    CDiffRcGeoLine up(status, 0, CVec3d(5, 0, 0), CVec3d(5, 10, 0));
    ASSERT_EQ(up.Offset(RcSide::Left, 1), 0);
    EXPECT_FALSE(up.HasSlope());
    EXPECT_NEAR(up.Intercept(), 4, 1e-12);
}

TEST(DiffRcGeo, LineExtendAndShorten)
{
    int status = 0;
    CDiffRcGeoLine line(status, 0, CVec3d(0, 0, 0), CVec3d(10, 0, 0));
    EXPECT_EQ(line.Extend(1, 2), 0);
    EXPECT_TRUE(VecNear(line.End(), CVec3d(12, 0, 0)));
    EXPECT_EQ(line.Extend(0, 1), 0);
    EXPECT_TRUE(VecNear(line.Start(), CVec3d(-1, 0, 0)));
    EXPECT_EQ(line.Shorten(1, 3), 0);
    EXPECT_TRUE(VecNear(line.End(), CVec3d(9, 0, 0)));
    EXPECT_EQ(line.Shorten(0, 1), 0);
    EXPECT_TRUE(VecNear(line.Start(), CVec3d(0, 0, 0)));

    EXPECT_EQ(line.Extend(2, 1), GeoResult::Invalid);
    EXPECT_EQ(line.Extend(1, -1), GeoResult::Invalid);
    // Shortening past the other end reverses, shortening to nothing vanishes:
    // both are refused and leave the line as it was.
    EXPECT_EQ(line.Shorten(1, 12), GeoResult::Reverses);
    EXPECT_EQ(line.Shorten(0, 9), GeoResult::Reverses);
    EXPECT_TRUE(VecNear(line.Start(), CVec3d(0, 0, 0)));
    EXPECT_TRUE(VecNear(line.End(), CVec3d(9, 0, 0)));
}

TEST(DiffRcGeo, ArcConstructionRefusals)
{
    struct
    {
        int kind;
        CVec3d start, rotation, centre;
        int status;
    } cases[] = {
        {1, CVec3d(1, 0, 0), CVec3d(0, 0, 1), CVec3d(), GeoResult::Ok},
        {2, CVec3d(1, 0, 0), CVec3d(0, 0, -1), CVec3d(), GeoResult::Ok},
        {0, CVec3d(1, 0, 0), CVec3d(0, 0, 1), CVec3d(), GeoResult::Invalid},
        {1, CVec3d(0, 0, 0), CVec3d(0, 0, 1), CVec3d(), GeoResult::Invalid}, // no radius
        {1, CVec3d(1, 0, 0), CVec3d(0, 0, 0), CVec3d(), GeoResult::Invalid}, // no sweep
        {1, CVec3d(1, 0, 0), CVec3d(1, 0, 0), CVec3d(), GeoResult::Invalid}, // normal without z
    };
    for (const auto& c : cases)
    {
        int status = 99;
        const CDiffRcGeoCircle arc(status, c.kind, c.start, CVec3d(0, 1, 0), c.rotation, c.centre);
        EXPECT_EQ(status, c.status);
    }
}

TEST(DiffRcGeo, ArcOffsetTable)
{
    struct
    {
        double sweep; // sign gives the sense
        int side;
        double radius;
        int result;
        double newRadius;
    } cases[] = {
        {kPi / 2, RcSide::Left, 2, GeoResult::Ok, 3}, // left of a ccw arc is inside
        {kPi / 2, RcSide::Right, 2, GeoResult::Ok, 7},
        {-kPi / 2, RcSide::Left, 2, GeoResult::Ok, 7}, // left of a cw arc is outside
        {-kPi / 2, RcSide::Right, 2, GeoResult::Ok, 3},
        {kPi / 2, RcSide::Left, 5, GeoResult::Ok, 0},
        {kPi / 2, RcSide::Left, 6, GeoResult::RadiusNegative, 5},
        {kPi / 2, 3, 1, GeoResult::Invalid, 5},
        {kPi / 2, RcSide::Right, -6, GeoResult::Invalid, 5}, // a negative distance is no side
    };
    for (const auto& c : cases)
    {
        auto arc = Arc(5, 0, c.sweep);
        EXPECT_EQ(arc->Offset(c.side, c.radius), c.result);
        EXPECT_DOUBLE_EQ(arc->Radius(), c.newRadius);
        EXPECT_TRUE(VecNear(arc->Start(), CVec3d(c.newRadius, 0, 0)));
        EXPECT_NEAR(Distance(arc->End(), arc->Centre()), c.newRadius, 1e-12);
        EXPECT_DOUBLE_EQ(arc->ConstructionRadius(), 5);
    }
}

TEST(DiffRcGeo, ArcTangentsAndHelixKeepsZ)
{
    auto ccw = Arc(1, 0, kPi / 2);
    EXPECT_TRUE(ccw->CounterClockwise());
    EXPECT_TRUE(VecNear(ccw->StartTangent(), CVec3d(0, 1, 0), 1e-3));
    EXPECT_TRUE(VecNear(ccw->EndTangent(), CVec3d(-1, 0, 0), 1e-3));
    EXPECT_NEAR(ccw->StartTangent().Length(), 1, 1e-12);
    auto cw = Arc(1, 0, -kPi / 2);
    EXPECT_FALSE(cw->CounterClockwise());
    EXPECT_TRUE(VecNear(cw->StartTangent(), CVec3d(0, -1, 0), 1e-3));
    EXPECT_TRUE(VecNear(cw->EndTangent(), CVec3d(-1, 0, 0), 1e-3));

    int status = 99;
    CDiffRcGeoHelix helix(status, 2, CVec3d(4, 0, 0), CVec3d(-4, 0, 10), CVec3d(0, 0, kPi), CVec3d(0, 0, 0));
    ASSERT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(helix.Arc().Radius(), 4); // the rise does not count as radius
    ASSERT_EQ(helix.Offset(RcSide::Right, 1), 0);
    EXPECT_TRUE(VecNear(helix.Start(), CVec3d(5, 0, 0)));
    EXPECT_TRUE(VecNear(helix.End(), CVec3d(-5, 0, 10)));
    EXPECT_TRUE(VecNear(helix.StartTangent(), CVec3d(0, 1, 0), 1e-3));
}

TEST(DiffRcGeo, ArcExtend)
{
    auto arc = Arc(1, 0, kPi / 2);
    // A chord of length sqrt(2) is a quarter turn.
    ASSERT_EQ(arc->Extend(1, std::sqrt(2.0)), 0);
    EXPECT_NEAR(arc->Sweep(), kPi, 1e-12);
    EXPECT_TRUE(VecNear(arc->End(), CVec3d(-1, 0, 0)));
    EXPECT_NEAR(arc->Rotation().GetZ(), kPi, 1e-12);
    ASSERT_EQ(arc->Extend(0, std::sqrt(2.0)), 0);
    EXPECT_TRUE(VecNear(arc->Start(), CVec3d(0, -1, 0)));
    EXPECT_NEAR(arc->Sweep(), 1.5 * kPi, 1e-12);

    auto cw = Arc(1, 0, -kPi / 2);
    ASSERT_EQ(cw->Extend(1, std::sqrt(2.0)), 0);
    EXPECT_TRUE(VecNear(cw->End(), CVec3d(-1, 0, 0)));
    EXPECT_NEAR(cw->Sweep(), -kPi, 1e-12);
    // A negative length and a chord above the diameter have no arc: refused, unchanged.
    for (const double length : {-2.0, 2.0 + 1e-9})
    {
        EXPECT_EQ(cw->Extend(1, length), GeoResult::Invalid) << length;
        EXPECT_NEAR(cw->Sweep(), -kPi, 1e-12);
        EXPECT_TRUE(VecNear(cw->End(), CVec3d(-1, 0, 0)));
    }
    EXPECT_EQ(cw->Extend(2, 1.0), GeoResult::Invalid);
}

TEST(DiffRcGeo, ArcSetEnds)
{
    const CVec3d a0(1, 0, 0);
    const CVec3d a90(0, 1, 0);
    auto arc = Arc(1, 0, kPi);
    ASSERT_EQ(arc->SetEnds(a0, a90, 3.0, 0), 0);
    EXPECT_NEAR(arc->Sweep(), kPi / 2, 1e-12);
    // Equal ends make a full turn.
    ASSERT_EQ(arc->SetEnds(a0, a0, 3.0, 0), 0);
    EXPECT_NEAR(arc->Sweep(), 2 * kPi, 1e-12);
    // A full circle whose end stays keeps its full turn at a straight corner...
    ASSERT_EQ(arc->SetEnds(a90, a0, 0.0, 0), 0);
    EXPECT_NEAR(arc->Sweep(), 2 * kPi, 1e-12);
    // ...but not at a real corner.
    auto full = Arc(1, 0, 2 * kPi);
    ASSERT_EQ(full->SetEnds(a90, a0, 3.0, 0), 0);
    EXPECT_NEAR(full->Sweep(), 1.5 * kPi, 1e-12);

    // An inside corner that moves the end behind the start flips the arc.
    const CVec3d behind(std::cos(-0.1), std::sin(-0.1), 0);
    auto small = Arc(1, 0, 0.1);
    ASSERT_EQ(small->SetEnds(a0, behind, 3.0, 1), 0);
    EXPECT_NEAR(small->Sweep(), -0.1, 1e-12);
    EXPECT_FALSE(small->CounterClockwise());
    EXPECT_LT(small->Rotation().GetZ(), 0);
    auto kept = Arc(1, 0, 0.1);
    ASSERT_EQ(kept->SetEnds(a0, behind, 3.0, 0), 0);
    EXPECT_NEAR(kept->Sweep(), 2 * kPi - 0.1, 1e-12);
    EXPECT_TRUE(kept->CounterClockwise());
}

TEST(DiffRcGeo, RangeBoxTable)
{
    const CVec3d lower(0, 0, 0);
    const CVec3d upper(10, 10, 10);
    int status = 0;
    struct
    {
        CVec3d start, end;
        int skipStart;
        int result;
    } lines[] = {
        {CVec3d(1, 1, 1), CVec3d(9, 9, 9), 0, GeoResult::Ok},
        {CVec3d(1, 1, 1), CVec3d(11, 9, 9), 0, GeoResult::OutOfRange},
        {CVec3d(1, 1, 1), CVec3d(9, 9, -1), 0, GeoResult::OutOfRange},
        {CVec3d(-1, 1, 1), CVec3d(9, 9, 9), 0, GeoResult::OutOfRange},
        {CVec3d(-1, 1, 1), CVec3d(9, 9, 9), 1, GeoResult::Ok},
    };
    for (const auto& c : lines)
    {
        const CDiffRcGeoLine line(status, 0, c.start, c.end);
        EXPECT_EQ(line.CheckRange(lower, upper, c.skipStart), c.result);
        EXPECT_EQ(line.OffsetAgain(lower, upper, c.skipStart), c.result);
    }
    const CDiffRcGeoCircle inside(status, 1, CVec3d(20, 0, 5), CVec3d(0, 20, 5), CVec3d(0, 0, 1), CVec3d());
    EXPECT_EQ(inside.CheckRange(lower, upper, 0), GeoResult::Ok); // only z is tested
    const CDiffRcGeoCircle above(status, 1, CVec3d(1, 0, 11), CVec3d(0, 1, 11), CVec3d(0, 0, 1),
                                 CVec3d(0, 0, 11));
    EXPECT_EQ(above.CheckRange(lower, upper, 0), GeoResult::OutOfRange);
    const CDiffRcGeoCircle tilted(status, 1, CVec3d(1, 0, 11), CVec3d(0, 1, 11), CVec3d(0.5, 0, 1),
                                  CVec3d(0, 0, 11));
    EXPECT_EQ(tilted.CheckRange(lower, upper, 0), GeoResult::Ok);
    const CBDiffRcGeoObj base;
    EXPECT_EQ(base.CheckRange(lower, upper, 0), GeoResult::NoRangeTest);
    CVec3d t(1, 1, 1);
    base.Tangent(t, 1);
    EXPECT_TRUE(VecNear(t, CVec3d(), 0));
}

TEST(DiffRcGeo, CopyFromTakesOwnFields)
{
    auto source = Arc(3, 0, kPi / 3);
    ASSERT_EQ(source->Offset(RcSide::Right, 1), 0);
    CDiffRcGeoCircle copy;
    copy.CopyFrom(*source);
    EXPECT_EQ(copy.Kind(), 1);
    EXPECT_DOUBLE_EQ(copy.Radius(), 4);
    EXPECT_DOUBLE_EQ(copy.ConstructionRadius(), 3);
    EXPECT_DOUBLE_EQ(copy.Sweep(), kPi / 3);
    EXPECT_TRUE(VecNear(copy.Start(), source->Start(), 0));
    EXPECT_TRUE(VecNear(copy.EndTangent(), source->EndTangent(), 0));

    int status = 0;
    CDiffRcGeoLine line(status, 0, CVec3d(0, 0, 0), CVec3d(3, 4, 0));
    CDiffRcGeoLine lineCopy;
    lineCopy.CopyFrom(line);
    EXPECT_TRUE(VecNear(lineCopy.Direction(), CVec3d(0.6, 0.8, 0)));
    EXPECT_DOUBLE_EQ(lineCopy.Slope(), line.Slope());
    EXPECT_TRUE(lineCopy.HasSlope());
}
