#include "base_geo_calc.h"
#include "geo_codes.h"
#include "geo_entry_util.h"
#include "geo_test_util.h"
#include "rc_entry_geometry.h"

#include <cmath>

namespace
{
const double kRoot3 = std::sqrt(3.0);

class BaseGeoCalcTest : public ::testing::Test
{
protected:
    RecordingHost m_host;
    CBaseGeoCalc m_calc{m_host};
};

// Two entries, the expected result of pairing them and the point found.
struct PairCase
{
    const char* name;
    std::unique_ptr<CEntryGeo_3D> first, second;
    int result;
    CVec3d point;
};
} // namespace

TEST_F(BaseGeoCalcTest, PlaneBringsEntriesIntoXyAndBack)
{
    struct
    {
        int plane;
        CVec3d rotation, inPlane;
    } cases[] = {
        {0, CVec3d(0, 0, 2), CVec3d(1, 2, 3)},
        {1, CVec3d(2, 0, 0), CVec3d(2, 3, 1)},
        {2, CVec3d(0, 2, 0), CVec3d(3, 1, 2)},
    };
    for (const auto& c : cases)
    {
        auto e = ArcEntry(CVec3d(1, 2, 3), CVec3d(1, 2, 3), CVec3d(1, 2, 3), c.rotation);
        e->m_plane = c.plane;
        ASSERT_EQ(m_calc.Plane(1, *e), 0);
        EXPECT_TRUE(VecNear(e->m_start, c.inPlane, 0)) << c.plane;
        EXPECT_TRUE(VecNear(e->m_target, c.inPlane, 0));
        EXPECT_TRUE(VecNear(e->m_centre, c.inPlane, 0));
        EXPECT_TRUE(VecNear(e->m_rotation, CVec3d(0, 0, 2), 0)) << c.plane; // the normal becomes z
        EXPECT_EQ(e->m_prep.m_planeTransformed, 1u);
        ASSERT_EQ(m_calc.Plane(1, *e), 0); // already in the plane: unchanged
        EXPECT_TRUE(VecNear(e->m_start, c.inPlane, 0));
        ASSERT_EQ(m_calc.Plane(0, *e), 0);
        EXPECT_TRUE(VecNear(e->m_start, CVec3d(1, 2, 3), 0));
        EXPECT_TRUE(VecNear(e->m_rotation, c.rotation, 0));
        EXPECT_EQ(e->m_prep.m_planeTransformed, 0u);

        CVec3d p(1, 2, 3);
        ASSERT_EQ(m_calc.Permute(1, c.plane, p), 0);
        EXPECT_TRUE(VecNear(p, c.inPlane, 0));
        ASSERT_EQ(m_calc.Permute(0, c.plane, p), 0);
        EXPECT_TRUE(VecNear(p, CVec3d(1, 2, 3), 0));
    }
    auto bad = LineEntry(CVec3d(1, 2, 3), CVec3d());
    bad->m_plane = 3;
    EXPECT_EQ(m_calc.Plane(1, *bad), GeoResult::BadPlane);
    EXPECT_TRUE(VecNear(bad->m_start, CVec3d(1, 2, 3), 0));
    CVec3d p(1, 2, 3);
    EXPECT_EQ(m_calc.Permute(1, 3, p), GeoResult::BadPlane);
}

TEST_F(BaseGeoCalcTest, CalcPairTable)
{
    const CVec3d o;
    PairCase cases[] = {
        {"line-line", LineEntry(o, CVec3d(2, 0, 0)), LineEntry(CVec3d(3, -1, 0), CVec3d(3, 1, 0)), 1,
         CVec3d(3, 0, 0)},
        {"arc-line, nearer to the arc's end",
         ArcEntry(CVec3d(1, 0, 0), CVec3d(0, 1, 0), o, CVec3d(0, 0, kPi / 2)),
         LineEntry(CVec3d(0.5, -5, 0), CVec3d(0.5, 5, 0)), 1, CVec3d(0.5, std::sqrt(0.75), 0)},
        {"arc-line tie, ccw arc", ArcEntry(CVec3d(0, -1, 0), CVec3d(0, 1, 0), o, CVec3d(0, 0, kPi)),
         LineEntry(CVec3d(-5, 0, 0), CVec3d(5, 0, 0)), 1, CVec3d(-1, 0, 0)},
        {"arc-line tie, cw arc", ArcEntry(CVec3d(0, -1, 0), CVec3d(0, 1, 0), o, CVec3d(0, 0, -kPi)),
         LineEntry(CVec3d(-5, 0, 0), CVec3d(5, 0, 0)), 1, CVec3d(1, 0, 0)},
        {"line-arc, nearer to the line's end", LineEntry(CVec3d(-5, 0, 0), CVec3d(5, 0, 0)),
         ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 0), o, CVec3d(0, 0, kPi)), 1, CVec3d(1, 0, 0)},
        {"line-arc tie, from the arc's start", LineEntry(CVec3d(0, -5, 0), CVec3d(0, 0, 0)),
         ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 0), o, CVec3d(0, 0, kPi)), 1, CVec3d(0, 1, 0)},
        {"line-arc touching", LineEntry(CVec3d(-5, 1, 0), CVec3d(5, 1, 0)),
         ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 0), o, CVec3d(0, 0, kPi)), 1, CVec3d(0, 1, 0)},
        {"arc-arc", ArcEntry(CVec3d(2, 0, 0), CVec3d(0, 2, 0), o, CVec3d(0, 0, kPi / 2)),
         ArcEntry(CVec3d(4, 0, 0), CVec3d(0, 0, 0), CVec3d(2, 0, 0), CVec3d(0, 0, kPi)), 1,
         CVec3d(1, kRoot3, 0)},
    };
    for (auto& c : cases)
    {
        CVec3d point(9, 9, 9);
        EXPECT_EQ(m_calc.CalcPair(*c.first, *c.second, point), c.result) << c.name;
        EXPECT_TRUE(VecNear(point, c.point, 1e-9)) << c.name;
        EXPECT_NE(c.first->m_prep.m_offset, nullptr) << c.name; // made and kept with the entry
    }
    EXPECT_TRUE(m_host.m_lines.empty());
}

TEST_F(BaseGeoCalcTest, CalcPairFailuresAreReported)
{
    auto line = LineEntry(CVec3d(), CVec3d(2, 0, 0), 5);
    auto parallel = LineEntry(CVec3d(0, 1, 0), CVec3d(2, 1, 0), 6);
    auto helix = ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 4), CVec3d(), CVec3d(0, 0, kPi), 2, 7);
    CVec3d point;
    EXPECT_EQ(m_calc.CalcPair(*line, *parallel, point), 0);
    EXPECT_EQ(m_calc.CalcPair(*helix, *line, point), 0);
    ASSERT_EQ(m_host.m_lines.size(), 2u);
    EXPECT_EQ(m_host.m_lines[0].message, GeoMsg::PairFailed);
    EXPECT_EQ(m_host.m_lines[0].args, (std::vector<long long>{77, 6}));
    EXPECT_EQ(m_host.m_lines[1].message, GeoMsg::InvalidPair);
    EXPECT_EQ(m_host.m_error, 0u); // no channel error from the plain pair
}

TEST_F(BaseGeoCalcTest, CheckedPairTable)
{
    const CVec3d o;
    PairCase cases[] = {
        {"lines cross", LineEntry(o, CVec3d(2, 2, 0)), LineEntry(CVec3d(0, 2, 0), CVec3d(2, 0, 0)), 1,
         CVec3d(1, 1, 0)},
        {"lines cross beyond",
         LineEntry(o, CVec3d(0.5, 0.5, 0)),
         LineEntry(CVec3d(0, 2, 0), CVec3d(2, 0, 0)),
         0,
         {}},
        {"vertical lines cross", LineEntry(CVec3d(1, -1, 0), CVec3d(1, 1, 0)),
         LineEntry(CVec3d(0, 0, 0), CVec3d(2, 0, 0)), 1, CVec3d(1, 0, 0)},
        {"coincident, overlapping", LineEntry(o, CVec3d(2, 0, 0)),
         LineEntry(CVec3d(3, 0, 0), CVec3d(1, 0, 0)), 1, CVec3d(1, 0, 0)},
        {"coincident, apart",
         LineEntry(o, CVec3d(2, 0, 0)),
         LineEntry(CVec3d(3, 0, 0), CVec3d(4, 0, 0)),
         0,
         {}},
        {"line-arc, one point within", LineEntry(CVec3d(-2, 0, 0), CVec3d(2, 0, 0)),
         ArcEntry(CVec3d(0, 1, 0), CVec3d(0, -1, 0), o, CVec3d(0, 0, kPi)), 1, CVec3d(-1, 0, 0)},
        {"line-arc, line too short",
         LineEntry(CVec3d(2, 0, 0), CVec3d(3, 0, 0)),
         ArcEntry(CVec3d(0, 1, 0), CVec3d(0, -1, 0), o, CVec3d(0, 0, kPi)),
         0,
         {}},
        {"arc-line, cw arc", ArcEntry(CVec3d(0, 1, 0), CVec3d(0, -1, 0), o, CVec3d(0, 0, -kPi)),
         LineEntry(CVec3d(-2, 0, 0), CVec3d(2, 0, 0)), 1, CVec3d(1, 0, 0)},
        {"arc-arc crossing", ArcEntry(CVec3d(2, 0, 0), CVec3d(-2, 0, 0), o, CVec3d(0, 0, kPi)),
         ArcEntry(CVec3d(4, 0, 0), CVec3d(0, 0, 0), CVec3d(2, 0, 0), CVec3d(0, 0, kPi)), 1,
         CVec3d(1, kRoot3, 0)},
        {"arc-arc, crossings off the arcs",
         ArcEntry(CVec3d(-2, 0, 0), CVec3d(2, 0, 0), o, CVec3d(0, 0, kPi)),
         ArcEntry(CVec3d(4, 0, 0), CVec3d(0, 0, 0), CVec3d(2, 0, 0), CVec3d(0, 0, kPi)),
         0,
         {}},
        {"arcs of one circle overlapping", ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 0), o, CVec3d(0, 0, kPi)),
         ArcEntry(CVec3d(0, 1, 0), CVec3d(0, -1, 0), o, CVec3d(0, 0, kPi)), 1, CVec3d(0, 1, 0)},
    };
    for (auto& c : cases)
    {
        CVec3d point;
        EXPECT_EQ(m_calc.CalcPairChecked(*c.first, *c.second, point), c.result) << c.name;
        if (c.result)
        {
            EXPECT_TRUE(VecNear(point, c.point, 1e-9)) << c.name;
        }
    }
    EXPECT_TRUE(m_host.m_lines.empty());

    auto line = LineEntry(o, CVec3d(1, 0, 0), 3);
    auto helix = ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 4), o, CVec3d(0, 0, kPi), 2, 9);
    CVec3d point;
    EXPECT_EQ(m_calc.CalcPairChecked(*line, *helix, point), 0);
    ASSERT_EQ(m_host.m_lines.size(), 1u);
    EXPECT_EQ(m_host.m_lines[0].message, GeoMsg::CheckedPair);
    EXPECT_EQ(m_host.m_lines[0].args, (std::vector<long long>{77, 9}));
    EXPECT_EQ(m_host.m_error, 0x4159u);
    EXPECT_EQ(m_host.m_errorEntry, helix.get());
}

TEST_F(BaseGeoCalcTest, PrepareArc)
{
    auto line = LineEntry(CVec3d(), CVec3d(1, 0, 0));
    EXPECT_EQ(m_calc.PrepareArc(line.get()), 1);
    EXPECT_EQ(line->m_prep.m_offset, nullptr);

    auto arc = ArcEntry(CVec3d(0, 0, 1), CVec3d(0, 0, -1), CVec3d(), CVec3d(2, 0, 0));
    arc->m_plane = 1; // y-z plane, normal x
    arc->m_start.Set(0, 1, 0);
    arc->m_target.Set(0, -1, 0);
    ASSERT_EQ(m_calc.PrepareArc(arc.get()), 1);
    ASSERT_NE(arc->m_prep.m_offset, nullptr);
    EXPECT_EQ(arc->m_prep.m_planeTransformed, 1u);
    const auto* element = dynamic_cast<const CDiffRcGeoCircle*>(arc->m_prep.m_offset.get());
    ASSERT_NE(element, nullptr);
    EXPECT_DOUBLE_EQ(element->Radius(), 1);
    EXPECT_TRUE(element->CounterClockwise());

    struct
    {
        const char* name;
        CVec3d start, rotation;
        bool reports;
    } vanishing[] = {
        {"radius below 0.0001", CVec3d(0.00005, 0, 0), CVec3d(0, 0, 1), true},
        {"no sweep", CVec3d(1, 0, 0), CVec3d(0, 0, 0), true},
        {"quietly", CVec3d(0.00005, 0, 0), CVec3d(0, 0, 1), false},
    };
    for (const auto& c : vanishing)
    {
        m_host.m_lines.clear();
        m_host.m_wantReports = c.reports;
        int deleted = 0;
        auto* e = new DeletionCounted<CEntryGeo_3D>(deleted);
        e->m_geoType = 1;
        e->m_start = c.start;
        e->m_target = c.start;
        e->m_rotation = c.rotation;
        e->m_blockNo = 12;
        EXPECT_EQ(m_calc.PrepareArc(e), 0) << c.name;
        EXPECT_EQ(deleted, 1) << c.name;
        if (c.reports)
        {
            ASSERT_EQ(m_host.m_lines.size(), 1u) << c.name;
            EXPECT_EQ(m_host.m_lines[0].message, GeoMsg::ArcVanished);
            EXPECT_EQ(m_host.m_lines[0].flags, GeoReportFlags::Warning);
            EXPECT_EQ(m_host.m_lines[0].args, (std::vector<long long>{77, 12}));
        }
        else
        {
            EXPECT_TRUE(m_host.m_lines.empty());
        }
    }
}

TEST_F(BaseGeoCalcTest, StandsStillTable)
{
    struct
    {
        const char* name;
        std::unique_ptr<CEntryGeo_3D> entry;
        int result;
    } cases[] = {
        {"pure z move", LineEntry(CVec3d(1, 1, 0), CVec3d(1, 1, 5)), 1},
        {"within 3e-6", LineEntry(CVec3d(1, 1, 0), CVec3d(1 + 2e-6, 1 - 2e-6, 0)), 1},
        {"moves 4e-6", LineEntry(CVec3d(1, 1, 0), CVec3d(1 + 4e-6, 1, 0)), 0},
        {"full circle", ArcEntry(CVec3d(1, 0, 0), CVec3d(1, 0, 0), CVec3d(), CVec3d(0, 0, 2 * kPi)), 0},
        {"full helix", ArcEntry(CVec3d(1, 0, 0), CVec3d(1, 0, 3), CVec3d(), CVec3d(0, 0, -2 * kPi), 2), 0},
        {"closed arc short of a full turn",
         ArcEntry(CVec3d(1, 0, 0), CVec3d(1, 0, 0), CVec3d(), CVec3d(0, 0, 6)), 1},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(m_calc.StandsStill(*c.entry), c.result) << c.name;
    }
}

TEST_F(BaseGeoCalcTest, PointWithinArcTable)
{
    int status = 0;
    const CDiffRcGeoCircle ccw(status, 1, CVec3d(1, 0, 0), CVec3d(0, 1, 0), CVec3d(0, 0, kPi / 2), CVec3d());
    const CDiffRcGeoCircle cw(status, 1, CVec3d(1, 0, 0), CVec3d(0, -1, 0), CVec3d(0, 0, -kPi / 2), CVec3d());
    const CDiffRcGeoCircle full(status, 1, CVec3d(1, 0, 0), CVec3d(1, 0, 0), CVec3d(0, 0, 2 * kPi), CVec3d());
    const CDiffRcGeoCircle wrap(status, 1, CVec3d(0, -1, 0), CVec3d(0, 1, 0), CVec3d(0, 0, kPi), CVec3d());
    const double h = std::sqrt(0.5);
    struct
    {
        const char* name;
        const CDiffRcGeoCircle& arc;
        CVec3d point;
        int result;
    } cases[] = {
        {"ccw middle", ccw, CVec3d(h, h, 0), 1},
        {"ccw start", ccw, CVec3d(1, 0, 0), 1},
        {"ccw end", ccw, CVec3d(0, 1, 0), 1},
        {"ccw outside", ccw, CVec3d(h, -h, 0), 0},
        {"cw middle", cw, CVec3d(h, -h, 0), 1},
        {"cw outside", cw, CVec3d(h, h, 0), 0},
        {"full circle", full, CVec3d(-1, 0, 0), 1},
        {"across angle 0", wrap, CVec3d(1, 0, 0), 1},
        {"left of a right half", wrap, CVec3d(-1, 0, 0), 0},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(m_calc.PointWithinArc(c.point, c.arc), c.result) << c.name;
    }
}

TEST_F(BaseGeoCalcTest, OnSegmentAndWithinLine)
{
    const CVec3d s(0, 0, 0);
    const CVec3d e(4, 0, 0);
    struct
    {
        const char* name;
        CVec3d q, end;
        bool result;
        double t;
    } cases[] = {
        {"middle", CVec3d(1, 0, 0), e, true, 1},
        {"at the start", CVec3d(0, 0, 0), e, true, 0},
        {"at the end", CVec3d(4, 0, 0), e, true, 4},
        {"beyond the end", CVec3d(5, 0, 0), e, false, 5},
        {"behind the start", CVec3d(-2, 0, 0), e, false, -2},
        {"off the line", CVec3d(2, 1, 0), e, false, 0},
        {"no segment", CVec3d(1, 0, 0), s, false, 0},
    };
    for (const auto& c : cases)
    {
        double t = 99;
        EXPECT_EQ(m_calc.OnSegment(c.q, s, c.end, t), c.result) << c.name;
        EXPECT_NEAR(t, c.t, 1e-12) << c.name;
    }

    int status = 0;
    const CDiffRcGeoLine across(status, 0, CVec3d(3, 5, 0), CVec3d(1, 0, 0));
    EXPECT_EQ(m_calc.PointWithinLine(CVec3d(2, 99, 0), across), 1); // tested in x
    EXPECT_EQ(m_calc.PointWithinLine(CVec3d(3.5, 2, 0), across), 0);
    const CDiffRcGeoLine up(status, 0, CVec3d(1, 0, 0), CVec3d(1, 5, 0));
    EXPECT_EQ(m_calc.PointWithinLine(CVec3d(7, 2, 0), up), 1); // vertical: tested in y
    EXPECT_EQ(m_calc.PointWithinLine(CVec3d(1, 6, 0), up), 0);
}

TEST_F(BaseGeoCalcTest, SetEndStartAndLine)
{
    auto line = LineEntry(CVec3d(0, 0, 1), CVec3d(4, 0, 2));
    CVec3d point;
    ASSERT_EQ(m_calc.LineLine(*line, *LineEntry(CVec3d(2, -1, 0), CVec3d(2, 1, 0)), point), 1);
    ASSERT_NE(line->m_prep.m_offset, nullptr);
    ASSERT_EQ(m_calc.SetEnd(*line, CVec3d(3, 3, 9)), 1);
    EXPECT_TRUE(VecNear(line->m_target, CVec3d(3, 3, 2), 0)); // z stays
    ASSERT_EQ(m_calc.SetStart(*line, CVec3d(-1, 3, 9)), 1);
    EXPECT_TRUE(VecNear(line->m_start, CVec3d(-1, 3, 1), 0));
    // The plane element follows the moved points.
    ASSERT_EQ(m_calc.LineLine(*line, *LineEntry(CVec3d(2, -1, 0), CVec3d(2, 1, 0)), point), 1);
    EXPECT_TRUE(VecNear(point, CVec3d(2, 3, 0), 1e-12));

    auto arc = ArcEntry(CVec3d(1, 0, 0), CVec3d(0, 1, 0), CVec3d(), CVec3d(0, 0, kPi / 2));
    ASSERT_EQ(m_calc.SetEnd(*arc, CVec3d(-1, 0, 0)), 1);
    EXPECT_TRUE(VecNear(arc->m_rotation, CVec3d(0, 0, kPi), 1e-12));
    ASSERT_EQ(m_calc.SetStart(*arc, CVec3d(0, -1, 0)), 1);
    EXPECT_TRUE(VecNear(arc->m_rotation, CVec3d(0, 0, 1.5 * kPi), 1e-12));

    auto helix = ArcEntry(CVec3d(1, 0, 0), CVec3d(-1, 0, 3), CVec3d(), CVec3d(0, 0, kPi), 2, 4);
    EXPECT_EQ(m_calc.SetEnd(*helix, CVec3d()), 0);
    EXPECT_TRUE(VecNear(helix->m_target, CVec3d(-1, 0, 3), 0));
    ASSERT_EQ(m_host.m_lines.size(), 1u);
    EXPECT_EQ(m_host.m_lines[0].message, GeoMsg::SetOnHelix);
    EXPECT_EQ(m_host.m_errorEntry, helix.get());

    auto other = LineEntry(CVec3d(0, 0, 7), CVec3d(1, 1, 1));
    ASSERT_EQ(m_calc.SetLine(*line, CVec3d(5, 6, 0), *other), 1);
    EXPECT_TRUE(VecNear(line->m_start, CVec3d(5, 6, 1), 0));
    EXPECT_TRUE(VecNear(line->m_target, CVec3d(5, 6, 7), 0));
    m_host.m_error = 0;
    EXPECT_EQ(m_calc.SetLine(*arc, CVec3d(5, 6, 0), *other), 0);
    EXPECT_EQ(m_host.m_lines.back().message, GeoMsg::SetLineKind);
    EXPECT_EQ(m_host.m_error, 0x4159u);
}

TEST(RcEntryGeometry, ChooseIntersectionTable)
{
    const CVec3d o;
    struct
    {
        const char* name;
        std::unique_ptr<CEntryGeo_3D> entry;
        CVec3d p1, p2;
        int ccw;
        int result;
        CVec3d chosen;
    } cases[] = {
        {"nearer the corner", LineEntry(o, CVec3d(0, 1, 0)), CVec3d(1, 0, 0), CVec3d(0, 2, 0), 1, 0,
         CVec3d(0, 2, 0)},
        {"tie, line ccw", LineEntry(o, CVec3d(0, 1, 0)), CVec3d(1, 0, 0), CVec3d(-1, 0, 0), 1, 0,
         CVec3d(-1, 0, 0)},
        {"tie, line cw", LineEntry(o, CVec3d(0, 1, 0)), CVec3d(1, 0, 0), CVec3d(-1, 0, 0), 0, 0,
         CVec3d(1, 0, 0)},
        {"tie, arc sense wins", ArcEntry(CVec3d(-1, 0, 0), CVec3d(0, 1, 0), o, CVec3d(0, 0, -kPi / 2)),
         CVec3d(-1, 0, 0), CVec3d(1, 0, 0), 1, 0, CVec3d(1, 0, 0)},
        {"arc without sweep", ArcEntry(CVec3d(1, 0, 0), CVec3d(0, 1, 0), o, CVec3d()), CVec3d(1, 0, 0),
         CVec3d(-1, 0, 0), 1, GeoResult::NoChoice, CVec3d(9, 9, 9)},
        {"tie, bad direction", LineEntry(o, CVec3d(0, 1, 0)), CVec3d(1, 0, 0), CVec3d(-1, 0, 0), 5,
         GeoResult::Invalid, CVec3d(9, 9, 9)},
    };
    for (const auto& c : cases)
    {
        CVec3d out(9, 9, 9);
        EXPECT_EQ(ChooseIntersection(out, *c.entry, c.p1, c.p2, o, c.ccw), c.result) << c.name;
        EXPECT_TRUE(VecNear(out, c.chosen, 1e-12)) << c.name;
    }
    auto other = LineEntry(o, CVec3d(0, 1, 0));
    other->m_geoType = 3;
    CVec3d out;
    EXPECT_EQ(ChooseIntersection(out, *other, CVec3d(1, 0, 0), CVec3d(-1, 0, 0), o, 1), GeoResult::NoChoice);
}

TEST(RcEntryGeometry, MovedAxes)
{
    auto e = LineEntry(CVec3d(1, 2, 3), CVec3d(1, 5, 3 + 1e-15));
    e->m_prep.m_axisMoves[0] = 1;
    MovedAxes(*e);
    EXPECT_EQ(e->m_prep.m_axisMoves[0], 0u);
    EXPECT_EQ(e->m_prep.m_axisMoves[1], 1u);
    EXPECT_EQ(e->m_prep.m_axisMoves[2], 1u); // exact comparison
}
