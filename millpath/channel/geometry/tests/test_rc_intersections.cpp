#include "diff_rc_geo.h"
#include "geo_codes.h"
#include "geo_test_util.h"
#include "rc_geometry.h"

#include <cmath>

namespace
{
// The line y = m x + b, from x = 0 to x = 1.
CDiffRcGeoLine SlopedLine(double m, double b)
{
    int status = 99;
    CDiffRcGeoLine line(status, 0, CVec3d(0, b, 0), CVec3d(1, m + b, 0));
    EXPECT_EQ(status, 0);
    return line;
}

CDiffRcGeoLine VerticalLine(double x)
{
    int status = 99;
    CDiffRcGeoLine line(status, 0, CVec3d(x, 0, 0), CVec3d(x, 1, 0));
    EXPECT_EQ(status, 0);
    return line;
}

// A counter-clockwise half circle about centre with radius r.
CDiffRcGeoCircle Circle(double cx, double cy, double r)
{
    int status = 99;
    CDiffRcGeoCircle c(status, 1, CVec3d(cx + r, cy, 0), CVec3d(cx - r, cy, 0), CVec3d(0, 0, kPi),
                       CVec3d(cx, cy, 0));
    EXPECT_EQ(status, 0);
    return c;
}
} // namespace

TEST(RcIntersections, LineLineTable)
{
    struct
    {
        const char* name;
        CDiffRcGeoLine l1, l2;
        int result;
        CVec3d point;
    } cases[] = {
        {"crossing", SlopedLine(1, 0), SlopedLine(-1, 2), GeoResult::OnePoint, CVec3d(1, 1, 0)},
        {"vertical and sloped", VerticalLine(2), SlopedLine(3, 1), GeoResult::OnePoint, CVec3d(2, 7, 0)},
        {"sloped and vertical", SlopedLine(3, 1), VerticalLine(2), GeoResult::OnePoint, CVec3d(2, 7, 0)},
        {"coincident, first pass", SlopedLine(1, 0), SlopedLine(1 + 1e-10, 5e-8), GeoResult::Coincident, {}},
        {"coincident, second pass", SlopedLine(1, 0), SlopedLine(1 + 1e-10, 5e-6), GeoResult::Coincident, {}},
        {"parallel", SlopedLine(1, 0), SlopedLine(1 + 1e-10, 1e-4), GeoResult::NoIntersection, {}},
        {"verticals coincide", VerticalLine(2), VerticalLine(2 + 5e-6), GeoResult::Coincident, {}},
        {"verticals apart", VerticalLine(2), VerticalLine(3), GeoResult::NoIntersection, {}},
    };
    for (const auto& c : cases)
    {
        CVec3d out(-9, -9, -9);
        EXPECT_EQ(IntersectLines(out, c.l1, c.l2), c.result) << c.name;
        if (c.result == GeoResult::OnePoint)
        {
            EXPECT_TRUE(VecNear(out, c.point)) << c.name;
        }
        else
        {
            EXPECT_TRUE(VecNear(out, CVec3d(-9, -9, -9), 0)) << c.name;
        }
    }
}

TEST(RcIntersections, NearlyVerticalLineHasNoSlope)
{
    int status = 99;
    const CDiffRcGeoLine line(status, 0, CVec3d(4, 0, 0), CVec3d(4 + 1e-6, 1, 0));
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(line.HasSlope());
    EXPECT_EQ(line.Intercept(), 4);
    const CDiffRcGeoLine sloped = SlopedLine(2, 0);
    EXPECT_TRUE(sloped.HasSlope());
    EXPECT_DOUBLE_EQ(sloped.YAt(3), 6);
}

TEST(RcIntersections, LineCircleTable)
{
    struct
    {
        const char* name;
        CDiffRcGeoLine line;
        CDiffRcGeoCircle circle;
        int result;
        CVec3d p1, p2;
    } cases[] = {
        {"touching", SlopedLine(0, 0), Circle(0, 1, 1), GeoResult::OnePoint, CVec3d(0, 0, 0), {}},
        {"touching within -1e-7",
         SlopedLine(0, 0),
         Circle(0, 1 + 1e-8, 1),
         GeoResult::OnePoint,
         CVec3d(0, 0, 0),
         {}},
        {"two points", SlopedLine(0, 0), Circle(1, 0, 2), GeoResult::TwoPoints, CVec3d(3, 0, 0),
         CVec3d(-1, 0, 0)},
        {"vertical line", VerticalLine(1), Circle(0, 0, std::sqrt(2.0)), GeoResult::TwoPoints,
         CVec3d(1, 1, 0), CVec3d(1, -1, 0)},
        {"missing", SlopedLine(0, 0), Circle(0, 5, 1), GeoResult::NoIntersection, {}, {}},
        {"just missing", SlopedLine(0, 0), Circle(0, 1 + 1e-6, 1), GeoResult::NoIntersection, {}, {}},
    };
    for (const auto& c : cases)
    {
        CVec3d p1(-9, -9, -9);
        CVec3d p2(-9, -9, -9);
        EXPECT_EQ(IntersectLineCircle(p1, p2, c.line, c.circle), c.result) << c.name;
        if (c.result >= GeoResult::OnePoint)
        {
            EXPECT_TRUE(VecNear(p1, c.p1, 1e-7)) << c.name;
        }
        if (c.result == GeoResult::TwoPoints)
        {
            EXPECT_TRUE(VecNear(p2, c.p2, 1e-9)) << c.name;
        }
        if (c.result != GeoResult::TwoPoints)
        {
            EXPECT_TRUE(VecNear(p2, CVec3d(-9, -9, -9), 0)) << c.name;
        }
    }
}

TEST(RcIntersections, CircleCircleTable)
{
    const double s = 2.0 * std::sqrt(15.0) / 8.0; // crossing of radius 2 at 0 and radius 1 at 2
    struct
    {
        const char* name;
        CDiffRcGeoCircle c1, c2;
        int result;
        CVec3d p1, p2;
    } cases[] = {
        {"equal radii, two points", Circle(0, 0, 2), Circle(2, 0, 2), GeoResult::TwoPoints,
         CVec3d(1, std::sqrt(3.0), 0), CVec3d(1, -std::sqrt(3.0), 0)},
        {"equal radii, touching", Circle(0, 0, 1), Circle(2, 0, 1), GeoResult::OnePoint, CVec3d(1, 0, 0), {}},
        {"coincident", Circle(3, 3, 1), Circle(3, 3, 1), GeoResult::Coincident, {}, {}},
        {"apart", Circle(0, 0, 1), Circle(5, 0, 1), GeoResult::NoIntersection, {}, {}},
        {"inner touch", Circle(0, 0, 3), Circle(2, 0, 1), GeoResult::OnePoint, CVec3d(3, 0, 0), {}},
        {"inner touch, small first",
         Circle(2, 0, 1),
         Circle(0, 0, 3),
         GeoResult::OnePoint,
         CVec3d(3, 0, 0),
         {}},
        {"outer touch", Circle(0, 0, 2), Circle(3, 0, 1), GeoResult::OnePoint, CVec3d(2, 0, 0), {}},
        {"different radii cross", Circle(0, 0, 2), Circle(2, 0, 1), GeoResult::TwoPoints, CVec3d(1.75, s, 0),
         CVec3d(1.75, -s, 0)},
        {"second pass", Circle(0, 0, 2), Circle(3 + 5e-6, 0, 1), GeoResult::TwoPoints, CVec3d(2, 0, 0),
         CVec3d(2, 0, 0)},
        {"beyond second pass", Circle(0, 0, 2), Circle(3 + 1e-4, 0, 1), GeoResult::NoIntersection, {}, {}},
        {"concentric", Circle(0, 0, 2), Circle(0, 0, 1), GeoResult::NoIntersection, {}, {}},
    };
    for (const auto& c : cases)
    {
        CVec3d p1(-9, -9, -9);
        CVec3d p2(-9, -9, -9);
        EXPECT_EQ(IntersectCircles(p1, p2, c.c1, c.c2), c.result) << c.name;
        if (c.result == GeoResult::OnePoint || c.result == GeoResult::TwoPoints)
        {
            EXPECT_TRUE(VecNear(p1, c.p1, 1e-6)) << c.name;
        }
        if (c.result == GeoResult::TwoPoints)
        {
            EXPECT_TRUE(VecNear(p2, c.p2, 1e-6)) << c.name;
            // Both points lie on both circles.
            for (const CVec3d& p : {p1, p2})
            {
                EXPECT_NEAR(Distance(p, c.c1.Centre()), c.c1.Radius(), 1e-5) << c.name;
                EXPECT_NEAR(Distance(p, c.c2.Centre()), c.c2.Radius(), 1e-5) << c.name;
            }
        }
    }
}
