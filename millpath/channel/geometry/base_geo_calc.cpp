#include "base_geo_calc.h"

#include "geo_codes.h"
#include "geo_compare.h"
#include "rc_geometry.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace
{
constexpr double kTwoPi = 2.0 * std::numbers::pi;

int PairCode(const CEntryGeo_3D& first, const CEntryGeo_3D& second)
{
    return GeoKindOf(first) * 10 + GeoKindOf(second);
}
constexpr int kLineLine = GeoKind::Line * 10 + GeoKind::Line;
constexpr int kLineArc = GeoKind::Line * 10 + GeoKind::Arc;
constexpr int kArcLine = GeoKind::Arc * 10 + GeoKind::Line;
constexpr int kArcArc = GeoKind::Arc * 10 + GeoKind::Arc;

std::unique_ptr<CBDiffRcGeoObj> MakePlaneElement(const CEntryGeo_3D& entry)
{
    const int kind = GeoKindOf(entry);
    int status = GeoResult::Invalid;
    std::unique_ptr<CBDiffRcGeoObj> element;
    const CVec3d start = PlaneOf(entry.m_start);
    const CVec3d end = PlaneOf(entry.m_target);
    if (kind == GeoKind::Line)
    {
        element = std::make_unique<CDiffRcGeoLine>(status, kind, start, end);
    }
    else if (kind == GeoKind::Arc || kind == GeoKind::Helix)
    {
        element = std::make_unique<CDiffRcGeoCircle>(status, kind, start, end, entry.m_rotation,
                                                     PlaneOf(entry.m_centre));
    }
    if (status != GeoResult::Ok)
    {
        element.reset();
    }
    return element;
}

// Points (x, y, z) of plane 1 become (y, z, x), those of plane 2 (z, x, y).
void PermuteForward(CVec3d& p, int plane)
{
    const CVec3d q = p;
    for (int axis = 0; axis < 3; ++axis)
    {
        p.SetAxis(axis, q.GetAxis((axis + plane) % 3));
    }
}

void PermuteBack(CVec3d& p, int plane)
{
    const CVec3d q = p;
    for (int axis = 0; axis < 3; ++axis)
    {
        p.SetAxis((axis + plane) % 3, q.GetAxis(axis));
    }
}

// Intersection of two plane elements of any kinds; p1 (and p2) as found.
int IntersectElements(const CBDiffRcGeoObj* a, const CBDiffRcGeoObj* b, CVec3d& p1, CVec3d& p2)
{
    const auto* lineA = dynamic_cast<const CDiffRcGeoLine*>(a);
    const auto* lineB = dynamic_cast<const CDiffRcGeoLine*>(b);
    const auto* arcA = dynamic_cast<const CDiffRcGeoCircle*>(a);
    const auto* arcB = dynamic_cast<const CDiffRcGeoCircle*>(b);
    if (lineA && lineB)
    {
        return IntersectLines(p1, *lineA, *lineB);
    }
    if (lineA && arcB)
    {
        return IntersectLineCircle(p1, p2, *lineA, *arcB);
    }
    if (arcA && lineB)
    {
        return IntersectLineCircle(p1, p2, *lineB, *arcA);
    }
    if (arcA && arcB)
    {
        return IntersectCircles(p1, p2, *arcA, *arcB);
    }
    return GeoResult::NoIntersection;
}
} // namespace

int GeoKindOf(const CEntryGeo_3D& entry)
{
    return static_cast<int>(entry.m_geoType & 0xFF);
}

void CBaseGeoCalc::ReportEntry(std::uint32_t flags, std::uint32_t message, const CEntry& entry)
{
    m_host.Report(flags, message, "%d%d", {m_host.ChannelLine(), static_cast<long long>(entry.m_blockNo)});
}

int CBaseGeoCalc::Plane(int forward, CEntryGeo_3D& entry)
{
    const int plane = static_cast<int>(entry.m_plane);
    if (plane < 0 || plane > 2)
    {
        return GeoResult::BadPlane;
    }
    const bool transformed = entry.m_prep.m_planeTransformed != 0;
    if (forward == 1 && !transformed)
    {
        for (CVec3d* p : {&entry.m_start, &entry.m_target, &entry.m_centre, &entry.m_rotation})
        {
            PermuteForward(*p, plane);
        }
        entry.m_prep.m_planeTransformed = 1;
    }
    else if (forward == 0 && transformed)
    {
        for (CVec3d* p : {&entry.m_start, &entry.m_target, &entry.m_centre, &entry.m_rotation})
        {
            PermuteBack(*p, plane);
        }
        entry.m_prep.m_planeTransformed = 0;
    }
    return GeoResult::Ok;
}

int CBaseGeoCalc::Permute(int forward, int plane, CVec3d& point)
{
    if (plane < 0 || plane > 2)
    {
        return GeoResult::BadPlane;
    }
    if (forward)
    {
        PermuteForward(point, plane);
    }
    else
    {
        PermuteBack(point, plane);
    }
    return GeoResult::Ok;
}

CBDiffRcGeoObj* CBaseGeoCalc::PlaneElement(CEntryGeo_3D& entry)
{
    if (!entry.m_prep.m_offset)
    {
        entry.m_prep.m_offset = MakePlaneElement(entry);
    }
    return entry.m_prep.m_offset.get();
}

int CBaseGeoCalc::CalcPair(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    int result = 0;
    switch (PairCode(first, second))
    {
    case kLineLine:
        result = LineLine(first, second, point);
        break;
    case kArcLine:
        result = ArcLine(first, second, point);
        break;
    case kArcArc:
        result = ArcArc(first, second, point);
        break;
    case kLineArc:
        result = LineArc(first, second, point);
        break;
    default:
        ReportEntry(GeoReportFlags::Error, GeoMsg::InvalidPair, second);
        return 0;
    }
    if (result == 0)
    {
        ReportEntry(GeoReportFlags::Error, GeoMsg::PairFailed, second);
    }
    return result;
}

void CBaseGeoCalc::ChoosePoint(const CEntryGeo_3D& first, const CDiffRcGeoCircle& reference, bool fromEnd,
                               const CVec3d& p1, const CVec3d& p2, CVec3d& point)
{
    const CVec3d r = first.m_prep.m_offset ? first.m_prep.m_offset->End() : first.m_target;
    const double d1 = Distance(p1, r);
    const double d2 = Distance(p2, r);
    if (std::fabs(d1 - d2) > 1e-6)
    {
        point = d2 <= d1 ? p2 : p1;
        return;
    }
    // Equally near: the point met first along the reference arc's own sense.
    const CVec3d& ref = fromEnd ? reference.EndRadius() : reference.StartRadius();
    double a[2] = {0.0, 0.0};
    const CVec3d* candidates[2] = {&p1, &p2};
    for (int i = 0; i < 2; ++i)
    {
        const CVec3d v = PlaneOf(*candidates[i] - reference.Centre());
        if (reference.CounterClockwise() ? TurnAngle(a[i], ref, v) : TurnAngle(a[i], v, ref))
        {
            point = p1;
            return;
        }
    }
    point = a[1] <= a[0] ? p2 : p1;
}

int CBaseGeoCalc::Corner(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    const CBDiffRcGeoObj* e1 = PlaneElement(first);
    const CBDiffRcGeoObj* e2 = PlaneElement(second);
    CVec3d p1, p2;
    const int found = IntersectElements(e1, e2, p1, p2);
    if (found == GeoResult::OnePoint)
    {
        point = p1;
        return 1;
    }
    if (found != GeoResult::TwoPoints)
    {
        return 0;
    }
    // The first element's arc from its end, or the second's from its start.
    const auto* arc1 = dynamic_cast<const CDiffRcGeoCircle*>(e1);
    const auto* reference = arc1 ? arc1 : dynamic_cast<const CDiffRcGeoCircle*>(e2);
    ChoosePoint(first, *reference, arc1 != nullptr, p1, p2, point);
    return 1;
}

int CBaseGeoCalc::ArcLine(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Corner(first, second, point);
}

int CBaseGeoCalc::ArcArc(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Corner(first, second, point);
}

int CBaseGeoCalc::LineArc(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Corner(first, second, point);
}

int CBaseGeoCalc::LineLine(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    const auto* line1 = dynamic_cast<const CDiffRcGeoLine*>(PlaneElement(first));
    const auto* line2 = dynamic_cast<const CDiffRcGeoLine*>(PlaneElement(second));
    if (!line1 || !line2)
    {
        return 0;
    }
    return IntersectLines(point, *line1, *line2) == GeoResult::OnePoint ? 1 : 0;
}

int CBaseGeoCalc::PrepareArc(CEntryGeo_3D* entry)
{
    if (GeoKindOf(*entry) != GeoKind::Arc)
    {
        return 1;
    }
    Plane(1, *entry);
    if (entry->m_prep.m_offset)
    {
        return 1;
    }
    int status = GeoResult::Invalid;
    auto arc = std::make_unique<CDiffRcGeoCircle>(status, GeoKind::Arc, PlaneOf(entry->m_start),
                                                  PlaneOf(entry->m_target), entry->m_rotation,
                                                  PlaneOf(entry->m_centre));
    if (status == GeoResult::Invalid || arc->Radius() < 0.0001)
    {
        if (m_host.ReportsWanted())
        {
            ReportEntry(GeoReportFlags::Warning, GeoMsg::ArcVanished, *entry);
        }
        arc.reset();
        delete entry;
        return 0;
    }
    entry->m_prep.m_offset = std::move(arc);
    return 1;
}

int CBaseGeoCalc::CalcPairChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    switch (PairCode(first, second))
    {
    case kLineLine:
        return LineLineChecked(first, second, point);
    case kLineArc:
        return LineArcChecked(first, second, point);
    case kArcLine:
        return ArcLineChecked(first, second, point);
    case kArcArc:
        return ArcArcChecked(first, second, point);
    default:
        ReportEntry(GeoReportFlags::Error, GeoMsg::CheckedPair, second);
        m_host.ChannelError(&second, GeoMsg::ChannelError);
        return 0;
    }
}

int CBaseGeoCalc::WithinElement(const CVec3d& point, const CBDiffRcGeoObj& element)
{
    if (const auto* line = dynamic_cast<const CDiffRcGeoLine*>(&element))
    {
        return PointWithinLine(point, *line);
    }
    if (const auto* arc = dynamic_cast<const CDiffRcGeoCircle*>(&element))
    {
        return PointWithinArc(point, *arc);
    }
    return 0;
}

int CBaseGeoCalc::Crossing(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    const CBDiffRcGeoObj* e1 = PlaneElement(first);
    const CBDiffRcGeoObj* e2 = PlaneElement(second);
    if (!e1 || !e2)
    {
        return 0;
    }
    CVec3d p1, p2;
    const int found = IntersectElements(e1, e2, p1, p2);
    if (found == GeoResult::Coincident)
    {
        const auto* line1 = dynamic_cast<const CDiffRcGeoLine*>(e1);
        const auto* line2 = dynamic_cast<const CDiffRcGeoLine*>(e2);
        if (line1 && line2)
        {
            return CommonStretch(*line1, *line2, point);
        }
        // Arcs of one circle cross where one begins within the other.
        p1 = e2->Start();
        p2 = e1->Start();
    }
    else if (found != GeoResult::OnePoint && found != GeoResult::TwoPoints)
    {
        return 0;
    }
    const CVec3d* candidates[] = {&p1, &p2};
    const int count = found == GeoResult::OnePoint ? 1 : 2;
    for (int i = 0; i < count; ++i)
    {
        if (WithinElement(*candidates[i], *e1) && WithinElement(*candidates[i], *e2))
        {
            point = *candidates[i];
            return 1;
        }
    }
    return 0;
}

int CBaseGeoCalc::ArcLineChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Crossing(first, second, point);
}

int CBaseGeoCalc::LineArcChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Crossing(first, second, point);
}

int CBaseGeoCalc::ArcArcChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Crossing(first, second, point);
}

int CBaseGeoCalc::LineLineChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point)
{
    return Crossing(first, second, point);
}

int CBaseGeoCalc::CommonStretch(const CDiffRcGeoLine& first, const CDiffRcGeoLine& second, CVec3d& point)
{
    const CVec3d s = PlaneOf(first.Start());
    const CVec3d& u = first.Direction();
    const double length = PlaneOf(first.End() - first.Start()).Length();
    const double ta = Dot(PlaneOf(second.Start()) - s, u);
    const double tb = Dot(PlaneOf(second.End()) - s, u);
    const double from = std::max(0.0, std::min(ta, tb));
    const double to = std::min(length, std::max(ta, tb));
    if (to - from <= 1e-9)
    {
        return 0;
    }
    point = s + from * u;
    return 1;
}

int CBaseGeoCalc::StandsStill(const CEntryGeo_3D& entry)
{
    const int kind = GeoKindOf(entry);
    const bool fullCircle = (kind == GeoKind::Arc || kind == GeoKind::Helix) &&
                            NearlyEqual(entry.m_rotation.Length(), kTwoPi, 9e-12);
    const bool samePlace = NearlyEqual(entry.m_start.GetX(), entry.m_target.GetX(), 3e-6) &&
                           NearlyEqual(entry.m_start.GetY(), entry.m_target.GetY(), 3e-6);
    return samePlace && !fullCircle ? 1 : 0;
}

int CBaseGeoCalc::PointWithinArc(const CVec3d& point, const CDiffRcGeoCircle& arc)
{
    if (NearlyEqual(std::fabs(arc.Sweep()), kTwoPi, DefaultTolerance()))
    {
        return 1;
    }
    const int ccw = arc.CounterClockwise() ? 1 : 0;
    double toPoint = 0.0;
    double toEnd = 0.0;
    if (SweepAngle(toPoint, arc.StartRadius(), point - arc.Centre(), ccw) != GeoResult::Ok ||
        SweepAngle(toEnd, arc.StartRadius(), arc.EndRadius(), ccw) != GeoResult::Ok)
    {
        return 0;
    }
    // A point a rounding behind the start still counts as the start.
    return (toPoint <= toEnd + 1e-9 || toPoint >= kTwoPi - 1e-9) ? 1 : 0;
}

bool CBaseGeoCalc::OnSegment(const CVec3d& q, const CVec3d& s, const CVec3d& e, double& t)
{
    t = 0.0;
    const double length = Distance(e, s);
    if (length < 1e-9)
    {
        return false;
    }
    if (Distance(q, s) < 1e-9)
    {
        return true;
    }
    const CVec3d u = (e - s).Unit();
    const CVec3d v = (q - s).Unit();
    const double apart = Distance(v, u);
    if (apart >= 0.001 && !BetweenOrNear(1.999, apart, 2.001))
    {
        return false;
    }
    t = Dot(q - s, u);
    return t >= 0.0 && t <= length;
}

int CBaseGeoCalc::PointWithinLine(const CVec3d& point, const CDiffRcGeoLine& line)
{
    const int axis = std::fabs(line.End().GetX() - line.Start().GetX()) > 1e-9 ? 0 : 1;
    const double a = line.Start().GetAxis(axis);
    const double b = line.End().GetAxis(axis);
    const double p = point.GetAxis(axis);
    return LessOrNear(std::min(a, b), p, 1e-9) && LessOrNear(p, std::max(a, b), 1e-9) ? 1 : 0;
}

int CBaseGeoCalc::SetPoint(CEntryGeo_3D& entry, const CVec3d& point, bool atEnd)
{
    const int kind = GeoKindOf(entry);
    if (kind != GeoKind::Line && kind != GeoKind::Arc)
    {
        ReportEntry(GeoReportFlags::Error, GeoMsg::SetOnHelix, entry);
        m_host.ChannelError(&entry, GeoMsg::ChannelError);
        return 0;
    }
    // An arc keeps its sense: its plane element is made before the point moves.
    auto* arc = kind == GeoKind::Arc ? dynamic_cast<CDiffRcGeoCircle*>(PlaneElement(entry)) : nullptr;
    CVec3d& moved = atEnd ? entry.m_target : entry.m_start;
    moved.SetX(point.GetX());
    moved.SetY(point.GetY());
    if (arc)
    {
        arc->SetEnds(PlaneOf(entry.m_start), PlaneOf(entry.m_target), 3.0, 0);
        entry.m_rotation = arc->Rotation();
    }
    else
    {
        entry.m_prep.m_offset.reset(); // made anew from the moved points when needed
    }
    return 1;
}

int CBaseGeoCalc::SetEnd(CEntryGeo_3D& entry, const CVec3d& point)
{
    return SetPoint(entry, point, true);
}

int CBaseGeoCalc::SetStart(CEntryGeo_3D& entry, const CVec3d& point)
{
    return SetPoint(entry, point, false);
}

int CBaseGeoCalc::SetLine(CEntryGeo_3D& entry, const CVec3d& point, const CEntryGeo_3D& other)
{
    if (GeoKindOf(entry) != GeoKind::Line)
    {
        ReportEntry(GeoReportFlags::Error, GeoMsg::SetLineKind, entry);
        m_host.ChannelError(&entry, GeoMsg::ChannelError);
        return 0;
    }
    entry.m_start.SetX(point.GetX());
    entry.m_start.SetY(point.GetY());
    entry.m_target.SetX(point.GetX());
    entry.m_target.SetY(point.GetY());
    entry.m_target.SetZ(other.m_start.GetZ());
    entry.m_prep.m_offset.reset();
    return 1;
}
