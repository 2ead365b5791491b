// The radius correction's corners: the handlers that close the corner
// between two offset elements by intersection or by extension with a
// connecting element, the connecting-element builder and the feed at the
// contour of offset arcs.
#include <cmath>
#include <new>
#include <numbers>

#include "geo_codes.h"
#include "nc_radius_correction.h"
#include "rc_entry_geometry.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_table.h"

namespace
{
constexpr double Pi = std::numbers::pi;
constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double SmallTurnLimit = 110.0 * Pi / 180.0;
// A junction this near 0 continues the path (an arc's tangent is taken 1e-4 of
// its sweep inside it).
constexpr double Tangential = 1e-3;
constexpr int KindNotAllowed = -773;
constexpr int WrongKind = -556;
constexpr int NoConnection = -538;
constexpr int BridgeFailed = -524;

bool IsTangential(double angle)
{
    return angle < Tangential || angle > TwoPi - Tangential;
}

// Whether an offset arc can be extended by the radius r along its circle.
bool Extendable(const CDiffRcGeoCircle& arc, double r)
{
    return r <= 2.0 * arc.Radius();
}

int ExtendElement(CBDiffRcGeoObj& element, int endFlag, double length)
{
    if (auto* line = dynamic_cast<CDiffRcGeoLine*>(&element))
        return line->Extend(endFlag, length);
    if (auto* arc = dynamic_cast<CDiffRcGeoCircle*>(&element))
        return arc->Extend(endFlag, length);
    return GeoResult::Invalid;
}

void SetXY(CVec3d& point, const CVec3d& source)
{
    point.SetX(source.GetX());
    point.SetY(source.GetY());
}

// An offset arc takes the entry's new ends; the entry its sweep and radius.
void UpdateArc(CEntryGeo_3D& entry, CBDiffRcGeoObj* element, double cornerAngle)
{
    auto* arc = dynamic_cast<CDiffRcGeoCircle*>(element);
    if (!arc || GeoKindOf(entry) == GeoKind::Line)
        return;
    if (arc->SetEnds(entry.m_start, entry.m_target, cornerAngle, 0, true) != GeoResult::Ok)
        return;
    entry.m_rotation = arc->Rotation();
    if (entry.m_radius != 0.0)
        entry.m_radius = arc->Radius();
}

// The straight line from the offset start of a departure to its programmed end.
int DepartureLine(std::unique_ptr<CBDiffRcGeoObj>& out, const CBDiffRcGeoObj& offset,
                  const CEntryGeo_3D& partner)
{
    int status = 0;
    auto line = std::make_unique<CDiffRcGeoLine>(status, 0, offset.Start(), partner.m_target);
    if (status != 0)
        return status;
    out = std::move(line);
    return 0;
}
} // namespace

int CBNcRadiusCorrection::MakeOffset(std::unique_ptr<CBDiffRcGeoObj>& out, const CEntryGeo_3D& entry,
                                     bool offset, int failure)
{
    int status = 0;
    const int kind = GeoKindOf(entry);
    if (kind == GeoKind::Line)
        out.reset(new (std::nothrow) CDiffRcGeoLine(status, 0, entry.m_start, entry.m_target));
    else
        out.reset(new (std::nothrow) CDiffRcGeoCircle(status, kind, entry.m_start, entry.m_target,
                                                      entry.m_rotation, entry.m_centre));
    if (!out)
        return failure;
    if (status != 0)
        return status;
    if (!offset)
        return 0;
    if (auto* line = dynamic_cast<CDiffRcGeoLine*>(out.get()))
        return line->Offset(m_side, m_radius);
    auto* arc = static_cast<CDiffRcGeoCircle*>(out.get());
    status = arc->Offset(m_side, m_radius);
    // The tool that just fits an inside arc leaves no arc to follow.
    if (status == 0 && arc->Radius() < 1e-6)
        return GeoResult::RadiusNegative;
    return status;
}

CBDiffRcGeoObj* CBNcRadiusCorrection::Kept(const CEntryGeo_3D& first)
{
    const bool arc = GeoKindOf(first) != GeoKind::Line;
    if (!m_kept || m_keptArc != arc)
    {
        // Nothing kept for this element (the corner before built none): its own offset.
        std::unique_ptr<CBDiffRcGeoObj> made;
        if (MakeOffset(made, first, true, NoConnection) != 0)
            return nullptr;
        Keep(*made);
    }
    return arc ? static_cast<CBDiffRcGeoObj*>(&m_arc) : &m_line;
}

void CBNcRadiusCorrection::Keep(const CBDiffRcGeoObj& element)
{
    if (const auto* line = dynamic_cast<const CDiffRcGeoLine*>(&element))
    {
        m_line.CopyFrom(*line);
        m_keptArc = false;
    }
    else
    {
        m_arc.CopyFrom(static_cast<const CDiffRcGeoCircle&>(element));
        m_keptArc = true;
    }
    m_kept = true;
}

int CBNcRadiusCorrection::Junction(double& angle, const CBDiffRcGeoObj& a, const CBDiffRcGeoObj& b) const
{
    return JunctionAngle(angle, a, b) == 0 ? 0 : GeoResult::Invalid;
}

bool CBNcRadiusCorrection::Inside(double angle, bool lines) const
{
    if (lines)
        return m_side == RcSide::Right ? angle >= Pi : angle <= Pi;
    return m_side == RcSide::Right ? angle > Pi : angle < Pi;
}

bool CBNcRadiusCorrection::FlatOutside(double angle) const
{
    return m_side == RcSide::Right ? angle <= Pi / 2 + 1e-9 : angle >= 1.5 * Pi - 1e-9;
}

bool CBNcRadiusCorrection::SmallTurn(double angle)
{
    return angle <= SmallTurnLimit || angle >= TwoPi - SmallTurnLimit;
}

std::uint32_t CBNcRadiusCorrection::Variant(const CEntry_Korrektur& first, const CEntry_Korrektur& second)
{
    return first.m_variant != 0 ? first.m_variant : second.m_variant;
}

int CBNcRadiusCorrection::Intersect(const CBDiffRcGeoObj& a, const CBDiffRcGeoObj& b,
                                    const CEntryGeo_3D& first, CVec3d& point)
{
    const auto* lineA = dynamic_cast<const CDiffRcGeoLine*>(&a);
    const auto* lineB = dynamic_cast<const CDiffRcGeoLine*>(&b);
    const auto* arcA = dynamic_cast<const CDiffRcGeoCircle*>(&a);
    const auto* arcB = dynamic_cast<const CDiffRcGeoCircle*>(&b);
    CVec3d p1, p2;
    int found = GeoResult::NoIntersection;
    const CDiffRcGeoCircle* circle = arcB ? arcB : arcA;
    if (lineA && lineB)
        found = IntersectLines(p1, *lineA, *lineB);
    else if (lineA && arcB)
        found = IntersectLineCircle(p1, p2, *lineA, *arcB);
    else if (arcA && lineB)
        found = IntersectLineCircle(p1, p2, *lineB, *arcA);
    else if (arcA && arcB)
        found = IntersectCircles(p1, p2, *arcA, *arcB);
    switch (found)
    {
    case GeoResult::OnePoint:
        point = p1;
        return 0;
    case GeoResult::Coincident:
        point = a.End();
        return 0;
    case GeoResult::TwoPoints:
        return ChooseIntersection(point, first, p1, p2, circle->Centre(),
                                  circle->CounterClockwise() ? 1 : 0) == 0
                   ? 0
                   : CorrectionResult::NoIntersection;
    default:
        return CorrectionResult::NoIntersection;
    }
}

void CBNcRadiusCorrection::SetCorner(CEntryGeo_3D& first, CBDiffRcGeoObj* firstOffset, const CVec3d& endPoint,
                                     CEntryGeo_3D& partner, CBDiffRcGeoObj* partnerOffset,
                                     const CVec3d& startPoint)
{
    SetXY(first.m_target, endPoint);
    SetXY(partner.m_start, startPoint);
    double angle = 0.0;
    if (firstOffset && partnerOffset)
        Junction(angle, *firstOffset, *partnerOffset);
    UpdateArc(first, firstOffset, angle);
    if (auto* arc = dynamic_cast<CDiffRcGeoCircle*>(partnerOffset))
    {
        CVec3d end = arc->End();
        end.SetZ(partner.m_target.GetZ());
        if (arc->SetEnds(partner.m_start, end, angle, 0, true) == GeoResult::Ok)
        {
            partner.m_rotation = arc->Rotation();
            if (partner.m_radius != 0.0)
                partner.m_radius = arc->Radius();
        }
    }
}

int CBNcRadiusCorrection::ExtendAndConnect(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset,
                                           CEntryGeo_3D& partner, CBDiffRcGeoObj& partnerOffset)
{
    if (const int rc = ExtendElement(firstOffset, 1, m_radius); rc != 0)
        return rc;
    if (const int rc = ExtendElement(partnerOffset, 0, m_radius); rc != 0)
        return rc;
    SetCorner(first, &firstOffset, firstOffset.End(), partner, &partnerOffset, partnerOffset.Start());
    return ConnectStraight(first, partner);
}

int CBNcRadiusCorrection::ConnectStraight(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    m_connect = 0;
    const int approach = m_approach;
    m_approach = 0;
    const int rc = Switch(first, partner);
    m_approach = approach;
    return rc;
}

int CBNcRadiusCorrection::SwitchOnCorner(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    const bool lines = GeoKindOf(partner) == GeoKind::Line;
    const int failure = lines ? -537 : -536;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, failure); rc != 0)
        return rc;
    std::unique_ptr<CBDiffRcGeoObj> fo;
    if (const int rc = MakeOffset(fo, first, true, failure); rc != 0)
        return rc;
    double a = 0.0;
    int rc = Junction(a, *fo, *po);
    const std::uint32_t variant = Variant(first.m_korrEnd, partner.m_korrStart);
    CVec3d p;
    if (rc != 0)
        return rc;
    if (first.m_prep.m_sideChange || IsTangential(a) || ((variant < 1 || variant > 9) && Inside(a, lines)))
    {
        // The approach runs straight to the partner's offset start.
        SetCorner(first, nullptr, po->Start(), partner, po.get(), po->Start());
    }
    else if (variant >= 1 && variant <= 9)
    {
        if ((rc = Intersect(*fo, *po, first, p)) != 0)
            return rc;
        SetCorner(first, nullptr, p, partner, po.get(), p);
    }
    else if (lines ? FlatOutside(a) : SmallTurn(a))
    {
        const double length = PlaneOf(first.m_target - first.m_start).Length();
        if (length < m_radius)
        {
            if ((rc = Intersect(*fo, *po, first, p)) != 0)
                return rc;
            SetCorner(first, nullptr, p, partner, po.get(), p);
        }
        else
        {
            if ((rc = ExtendElement(*po, 0, m_radius)) != 0)
                return rc;
            SetCorner(first, nullptr, fo->End(), partner, po.get(), po->Start());
            m_connect = 0;
            if ((rc = Switch(first, partner)) != 0)
                return rc;
        }
    }
    else if ((rc = ExtendAndConnect(first, *fo, partner, *po)) != 0)
    {
        // An outside corner above 90 degrees closes as switching off does,
        // so that the next corner finds the partner's offset element.
        return rc;
    }
    Keep(*po);
    return 0;
}

int CBNcRadiusCorrection::SwitchOffCorner(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    const int failure = GeoKindOf(first) == GeoKind::Line ? -534 : -533;
    if (m_bridge)
        return KindNotAllowed;
    CBDiffRcGeoObj* fo = Kept(first);
    if (!fo)
        return failure;
    if (partner.m_prep.m_sideChange)
    {
        SetCorner(first, fo, fo->End(), partner, nullptr, fo->End());
        return 0;
    }
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, failure); rc != 0)
        return rc;
    double a = 0.0;
    int rc = Junction(a, *fo, *po);
    if (rc != 0)
        return rc;
    const std::uint32_t variant = Variant(partner.m_korrStart, first.m_korrEnd);
    const bool lines = GeoKindOf(first) == GeoKind::Line;
    CVec3d p;
    if (IsTangential(a) || ((variant < 1 || variant > 9) && Inside(a, lines)))
        p = fo->End();
    else if (variant >= 1 && variant <= 9)
        rc = Intersect(*fo, *po, first, p);
    else if (lines ? FlatOutside(a) : SmallTurn(a))
    {
        std::unique_ptr<CBDiffRcGeoObj> departure;
        const double length = PlaneOf(partner.m_target - partner.m_start).Length();
        if (length >= m_radius && (rc = DepartureLine(departure, *po, partner)) != 0)
            return rc;
        rc = Intersect(*fo, departure ? *departure : *po, first, p);
    }
    else
    {
        std::unique_ptr<CBDiffRcGeoObj> departure;
        if ((rc = DepartureLine(departure, *po, partner)) != 0)
            return rc;
        return ExtendAndConnect(first, *fo, partner, *departure);
    }
    if (rc != 0)
        return rc;
    SetCorner(first, fo, p, partner, nullptr, p);
    return 0;
}

int CBNcRadiusCorrection::LeavingSide(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    if (!partner.m_prep.m_sideChange)
        return KindNotAllowed;
    CBDiffRcGeoObj* fo = Kept(first);
    if (!fo)
        return -535;
    const CVec3d p = fo->End();
    SetCorner(first, fo, p, partner, nullptr, p);
    // The element that changes sides runs from the old side: kept without an offset.
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (MakeOffset(po, partner, false, -535) == 0)
        Keep(*po);
    return 0;
}

int CBNcRadiusCorrection::ReachingSide(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    if (!first.m_prep.m_sideChange)
        return KindNotAllowed;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -532); rc != 0)
        return rc;
    SetCorner(first, nullptr, po->Start(), partner, po.get(), po->Start());
    Keep(*po);
    return 0;
}

int CBNcRadiusCorrection::LineLine(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    CBDiffRcGeoObj* fo = Kept(first);
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (!fo)
        return -532;
    if (const int rc = MakeOffset(po, partner, true, -532); rc != 0)
        return rc;
    if (first.m_prep.m_sideChange)
    {
        SetCorner(first, fo, po->Start(), partner, po.get(), po->Start());
        Keep(*po);
        return 0;
    }
    double a = 0.0;
    int rc = Junction(a, *fo, *po);
    if (rc != 0)
        return rc;
    CVec3d p;
    bool reversed = false;
    if (IsTangential(a))
        SetCorner(first, fo, fo->End(), partner, po.get(), fo->End());
    else if (Inside(a, true) || FlatOutside(a))
    {
        rc = Intersect(*fo, *po, first, p);
        if (rc == CorrectionResult::NoIntersection && std::fabs(a - Pi) < 1e-9)
        {
            // The path turns straight back: the tool crosses over at the corner.
            SetCorner(first, fo, fo->End(), partner, po.get(), po->Start());
            m_connect = 0;
            reversed = true;
            rc = Switch(first, partner);
        }
        else if (rc == 0)
            SetCorner(first, fo, p, partner, po.get(), p);
        if (rc != 0)
            return rc;
    }
    else if ((rc = ExtendAndConnect(first, *fo, partner, *po)) != 0)
        return rc;
    Keep(*po);
    if (!reversed && !IsTangential(a))
    {
        // The corner point straight back along the first element reverses the path.
        double turn = 0.0;
        const CVec3d direction = first.m_prep.m_programmedEnd - first.m_prep.m_programmedStart;
        const CVec3d offset = first.m_target - partner.m_prep.m_programmedStart;
        reversed = PlaneOf(offset).Length() > 1e-12 && TurnAngle(turn, direction, offset) == 0 &&
                   std::fabs(turn - Pi) <= 1e-4;
    }
    if (!reversed)
        return 0;
    if (m_reversalAllowed)
    {
        m_reversalAllowed = false;
        return 0;
    }
    return CorrectionResult::Reversal;
}

int CBNcRadiusCorrection::LineArc(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    CBDiffRcGeoObj* fo = Kept(first);
    if (!fo)
        return -530;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -530); rc == GeoResult::RadiusNegative)
    {
        auto& line = static_cast<CDiffRcGeoLine&>(*fo);
        return Collapses(partner, line) ? Collapse(first, line, partner)
                                        : BridgeByChord(first, line, partner);
    }
    else if (rc != 0)
        return rc;
    return LineAndArc(first, *fo, partner, *po, false);
}

bool CBNcRadiusCorrection::Collapses(const CEntryGeo_3D& arc, const CDiffRcGeoLine& firstOffset) const
{
    if (GeoKindOf(arc) != GeoKind::Arc)
        return false;
    const double radius = PlaneOf(arc.m_start - arc.m_centre).Length();
    CVec3d toCentre;
    PerpendicularToLine(toCentre, firstOffset, arc.m_centre);
    return std::fabs(radius - m_radius) <= 1e-6 && toCentre.Length() <= 1e-6;
}

int CBNcRadiusCorrection::Collapse(CEntryGeo_3D& first, CDiffRcGeoLine& firstOffset, CEntryGeo_3D& partner)
{
    // Both offset ends of the arc lie at its centre, where the first offset line ends.
    CVec3d centre = partner.m_centre;
    centre.SetZ(first.m_target.GetZ());
    SetCorner(first, &firstOffset, centre, partner, nullptr, centre);
    SetXY(partner.m_target, centre);
    partner.m_geoType &= ~0xFFu;
    partner.m_centre = CVec3d();
    partner.m_rotation = CVec3d();
    partner.m_radius = 0.0;
    m_kept = false;
    m_connectPending = true;
    return 0;
}

int CBNcRadiusCorrection::LeaveCollapsed(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    m_connectPending = false;
    const CVec3d p = first.m_target;
    if (m_mode == ModeSwitchOff)
    {
        // The departure runs from the centre to its programmed end.
        SetCorner(first, nullptr, p, partner, nullptr, p);
        return 0;
    }
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -532); rc != 0)
        return rc;
    if (Distance(PlaneOf(p), PlaneOf(po->Start())) <= 1e-6)
    {
        SetCorner(first, nullptr, p, partner, po.get(), p);
        Keep(*po);
        return 0;
    }
    // The element after the arc turns off at the arc's end E, where the tool
    // at the centre touches it. Turning inwards the tool has no room; turning
    // outwards it rounds E at the tool's radius.
    CVec3d corner = first.m_prep.m_programmedEnd;
    corner.SetZ(p.GetZ());
    const CVec3d travel =
        RotateInPlane(PlaneOf(corner - p), CVec3d(0, 0, 1), m_side == RcSide::Left ? Pi / 2 : -Pi / 2);
    double turn = 0.0;
    if (TurnAngle(turn, travel, po->StartTangent()) != 0 || Inside(turn, false))
        return CorrectionResult::NoIntersection;
    CVec3d end = po->Start();
    end.SetZ(p.GetZ());
    const int ccw = m_side == RcSide::Right ? 1 : 0;
    double sweep = 0.0;
    if (SweepAngle(sweep, p - corner, end - corner, ccw) != GeoResult::Ok)
        return CorrectionResult::NoIntersection;
    auto* e = new (std::nothrow) CEntryGeo_3D(partner);
    if (!e)
        return NoConnection;
    e->m_prep = CEntryGeoPrep{};
    e->m_geoType = (partner.m_geoType & ~0xFFu) | 1u;
    e->m_start = p;
    e->m_target = end;
    e->m_centre = corner;
    e->m_rotation = CVec3d(0, 0, ccw ? sweep : -sweep);
    e->m_radius = m_radius;
    SetCorner(first, nullptr, p, partner, po.get(), po->Start());
    if (const int rc = LinkAdded(e, first, partner, m_stopNode ? m_stopNode : m_nextNode); rc != 1)
        return rc == 0 ? NoConnection : rc;
    Keep(*po);
    return 0;
}

int CBNcRadiusCorrection::BridgeByChord(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset,
                                        CEntryGeo_3D& partner)
{
    // The tool does not fit inside the arc: it follows the arc's chord instead.
    int status = 0;
    CDiffRcGeoLine chord(status, 0, partner.m_start, partner.m_target);
    if (status != 0)
        return status;
    if ((status = chord.Offset(m_side, m_radius)) != 0)
        return status;
    CVec3d p;
    const bool meets = Intersect(firstOffset, chord, first, p) == 0;
    const bool arcFirst = dynamic_cast<CDiffRcGeoCircle*>(&firstOffset) != nullptr;
    if (!meets && !arcFirst)
        return CorrectionResult::NoIntersection;
    partner.m_geoType &= ~0xFFu;
    partner.m_centre = CVec3d();
    partner.m_rotation = CVec3d();
    partner.m_radius = 0.0;
    if (meets)
        SetCorner(first, &firstOffset, p, partner, nullptr, p);
    else
    {
        // The chord passes by the first arc: a connecting line from the arc's end.
        SetCorner(first, &firstOffset, firstOffset.End(), partner, nullptr, chord.Start());
        if (const int rc = ConnectStraight(first, partner); rc != 0)
            return rc;
    }
    Keep(chord);
    return CorrectionResult::Bridged;
}

int CBNcRadiusCorrection::ArcLine(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    if (m_bridge)
        return EndBridge(first, partner);
    CBDiffRcGeoObj* fo = Kept(first);
    if (!fo)
        return -529;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -529); rc != 0)
        return rc;
    return LineAndArc(first, *fo, partner, *po, true);
}

int CBNcRadiusCorrection::LineAndArc(CEntryGeo_3D& first, CBDiffRcGeoObj& fo, CEntryGeo_3D& partner,
                                     CBDiffRcGeoObj& po, bool arcFirst)
{
    auto& arc = static_cast<CDiffRcGeoCircle&>(arcFirst ? fo : po);
    auto& line = static_cast<CDiffRcGeoLine&>(arcFirst ? po : fo);
    double a = 0.0;
    int rc = Junction(a, fo, po);
    if (rc != 0)
        return rc;
    const bool intersects = SmallTurn(a) || Inside(a, false);
    CVec3d p;
    if (IsTangential(a))
        SetCorner(first, &fo, fo.End(), partner, &po, fo.End());
    else if (!intersects)
    {
        // An arc too small to be extended along its circle: bridged about the corner.
        if (!Extendable(arc, m_radius))
            return BridgeByCircle(first, fo, partner, po);
        if ((rc = ExtendAndConnect(first, fo, partner, po)) != 0)
            return rc;
    }
    else if ((rc = Intersect(fo, po, first, p)) == 0)
        SetCorner(first, &fo, p, partner, &po, p);
    else if (rc != CorrectionResult::NoIntersection)
        return rc;
    else
    {
        CVec3d toCentre;
        PerpendicularToLine(toCentre, line, arc.Centre());
        if (toCentre.Length() <= arc.Radius())
            return Inside(a, false) ? rc : BridgeByCircle(first, fo, partner, po);
        // The line passes by the arc: a connection from the arc's end (or to
        // its start) meets the line at the foot of the perpendicular.
        const CVec3d onArc = arcFirst ? arc.End() : arc.Start();
        CVec3d toFoot;
        PerpendicularToLine(toFoot, line, onArc);
        const CVec3d foot = onArc + toFoot;
        SetCorner(first, &fo, arcFirst ? onArc : foot, partner, &po, arcFirst ? foot : onArc);
        m_connect = 1;
        if ((rc = Switch(first, partner)) != 0)
            return rc;
    }
    if (intersects && !arcFirst)
        AdjustFeed(partner, arc.ConstructionRadius(), arc.Radius());
    Keep(po);
    return 0;
}

int CBNcRadiusCorrection::ArcArc(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    if (m_bridge)
        return EndBridge(first, partner);
    CBDiffRcGeoObj* fo = Kept(first);
    if (!fo)
        return -531;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -531); rc == GeoResult::RadiusNegative)
        return BridgeByChord(first, *fo, partner);
    else if (rc != 0)
        return rc;
    auto& arc = static_cast<CDiffRcGeoCircle&>(*po);
    double a = 0.0;
    int rc = Junction(a, *fo, *po);
    if (rc != 0)
        return rc;
    const bool wide = m_side == RcSide::Right ? (a > Pi / 2 && a < Pi) : (a > Pi && a < 1.5 * Pi);
    CVec3d p;
    if (IsTangential(a))
        SetCorner(first, fo, fo->End(), partner, po.get(), fo->End());
    else if (wide)
    {
        // Arcs too small to be extended along their circles: bridged about the corner.
        if (!Extendable(static_cast<CDiffRcGeoCircle&>(*fo), m_radius) || !Extendable(arc, m_radius))
            return BridgeByCircle(first, *fo, partner, *po);
        if ((rc = ExtendAndConnect(first, *fo, partner, *po)) != 0)
            return rc;
    }
    else if ((rc = Intersect(*fo, *po, first, p)) == 0)
        SetCorner(first, fo, p, partner, po.get(), p);
    else if (rc == CorrectionResult::NoIntersection && !Inside(a, false))
        return BridgeByCircle(first, *fo, partner, *po);
    else
        return rc;
    if (!wide)
        AdjustFeed(partner, arc.ConstructionRadius(), arc.Radius());
    Keep(*po);
    return 0;
}

int CBNcRadiusCorrection::BridgeByCircle(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset,
                                         CEntryGeo_3D& partner, const CBDiffRcGeoObj& partnerOffset)
{
    // Both offset ends lie a tool radius from the programmed corner: the
    // circle about it touches both elements there.
    CVec3d corner = first.m_prep.m_programmedEnd;
    const double z = first.m_target.GetZ();
    corner.SetZ(z);
    CVec3d start = firstOffset.End();
    CVec3d end = partnerOffset.Start();
    start.SetZ(z);
    end.SetZ(z);
    if (std::fabs(Distance(PlaneOf(start), PlaneOf(corner)) - m_radius) > 1e-6 ||
        std::fabs(Distance(PlaneOf(end), PlaneOf(corner)) - m_radius) > 1e-6)
        return BridgeFailed;
    // Round the outside of the corner: counter-clockwise on the right, clockwise on the left.
    int status = 0;
    CDiffRcGeoCircle circle(status, 1, start, start, CVec3d(0, 0, m_side == RcSide::Right ? TwoPi : -TwoPi),
                            corner);
    if (status != 0 || circle.SetEnds(start, end, 0.0, 0) != GeoResult::Ok)
        return BridgeFailed;
    CTransElement* before = m_stopNode ? m_stopNode : m_nextNode;
    auto* e = new (std::nothrow) CEntryGeo_3D(partner);
    if (!e)
        return static_cast<int>(TransError::NoMemory);
    e->m_prep = CEntryGeoPrep{};
    e->m_geoType = (partner.m_geoType & ~0xFFu) | 1u;
    e->m_start = start;
    e->m_target = end;
    e->m_centre = corner;
    e->m_rotation = circle.Rotation();
    e->m_radius = m_radius;
    if (LinkAdded(e, first, partner, before) != 1)
        return BridgeFailed;
    // The circle is the first element of the next corner, which ends it on the partner.
    m_stopNode = before->m_prev;
    m_stopNode->m_state = CTransElement::InWork;
    double angle = 0.0;
    Junction(angle, firstOffset, circle);
    SetXY(first.m_target, start);
    UpdateArc(first, &firstOffset, angle);
    Keep(circle);
    m_bridge = 1;
    return 0;
}

int CBNcRadiusCorrection::EndBridge(CEntryGeo_3D& circleEntry, CEntryGeo_3D& partner)
{
    if (m_mode == ModeSwitchOff)
        return KindNotAllowed;
    auto* circle = dynamic_cast<CDiffRcGeoCircle*>(Kept(circleEntry));
    if (!circle)
        return BridgeFailed;
    std::unique_ptr<CBDiffRcGeoObj> po;
    if (const int rc = MakeOffset(po, partner, true, -529); rc != 0)
        return rc;
    CVec3d points[2];
    int found = GeoResult::NoIntersection;
    if (const auto* line = dynamic_cast<const CDiffRcGeoLine*>(po.get()))
        found = IntersectLineCircle(points[0], points[1], *line, *circle);
    else
        found = IntersectCircles(points[0], points[1], *circle, static_cast<const CDiffRcGeoCircle&>(*po));
    if (found != GeoResult::OnePoint && found != GeoResult::TwoPoints)
        return BridgeFailed;
    // The point the circle reaches first from its start.
    CVec3d p = points[0];
    if (found == GeoResult::TwoPoints)
    {
        double t0 = 0.0, t1 = 0.0;
        const int ccw = circle->CounterClockwise() ? 1 : 0;
        SweepAngle(t0, circle->StartRadius(), PlaneOf(points[0] - circle->Centre()), ccw);
        SweepAngle(t1, circle->StartRadius(), PlaneOf(points[1] - circle->Centre()), ccw);
        if (t1 < t0)
            p = points[1];
    }
    p.SetZ(circleEntry.m_target.GetZ());
    SetCorner(circleEntry, circle, p, partner, po.get(), p);
    Keep(*po);
    m_bridge = 0;
    return CorrectionResult::Bridged;
}

int CBNcRadiusCorrection::Switch(CEntryGeo_3D& first, CEntryGeo_3D& partner)
{
    CTransElement* before = m_stopNode ? m_stopNode : m_nextNode;
    if (!before)
        return CorrectionResult::NoNode;
    CVec3d p1 = first.m_target;
    CVec3d p2 = partner.m_start;
    // Switching on, the connection runs at the partner's height; otherwise at the first's end.
    const double z = m_transition == 1 ? partner.m_start.GetZ() : first.m_target.GetZ();
    p1.SetZ(z);
    p2.SetZ(z);
    const CVec3d mid = 0.5 * (p1 + p2);
    const bool arcs = m_approach == 1;
    const int connections = m_connect == 1 ? 2 : 1;
    const double sweep = (m_side == RcSide::Left ? -Pi : Pi) / connections;
    CVec3d points[3] = {p1, mid, p2};
    if (connections == 1)
        points[1] = p2;
    else if (arcs)
    {
        points[1] = mid + RotateInPlane(p1 - mid, CVec3d(0, 0, 1), sweep);
        points[1].SetZ(z);
    }
    for (int i = 0; i < connections; ++i)
    {
        auto* e = new (std::nothrow) CEntryGeo_3D(partner);
        if (!e)
            return NoConnection;
        e->m_prep = CEntryGeoPrep{};
        e->m_geoType = (partner.m_geoType & ~0xFFu) | (arcs ? 1u : 0u);
        e->m_start = points[i];
        e->m_target = points[i + 1];
        e->m_centre = arcs ? mid : CVec3d();
        e->m_rotation = arcs ? CVec3d(0, 0, sweep) : CVec3d();
        e->m_radius = arcs ? Distance(mid, p1) : 0.0;
        if (const int rc = LinkAdded(e, first, partner, before); rc != 1)
            return rc == 0 ? NoConnection : rc;
    }
    return 0;
}

int CBNcRadiusCorrection::LinkAdded(CEntryGeo_3D* e, const CEntryGeo_3D& first, const CEntryGeo_3D& partner,
                                    CTransElement* before)
{
    e->m_helixRise = 0.0;
    e->m_feed = 0.5 * (first.m_feed + partner.m_feed);
    e->m_korrStart = first.m_korrEnd;
    e->m_korrEnd = first.m_korrEnd;
    // The added element keeps the additional axes where the partner starts.
    for (int axis = 0; axis < CEntryGeo_3D::AuxAxes; ++axis)
    {
        e->m_auxStart[axis] = partner.m_auxStart[axis];
        e->m_auxTarget[axis] = partner.m_auxStart[axis];
        e->m_auxMoves[axis] = 0;
    }
    e->m_prep.m_planeTransformed = 1;
    Plane(0, *e);
    MovedAxes(*e);
    const int rc = m_table.InsertBefore(e, before);
    if (rc != 1)
        delete e;
    return rc;
}

int CBNcRadiusCorrection::AdjustFeed(CEntryGeo_3D& entry, double oldRadius, double newRadius)
{
    if (GeoKindOf(entry) == GeoKind::Line)
        return WrongKind;
    const bool adjust = entry.m_feedAdjust == 1 || (entry.m_feedAdjust == 2 && newRadius < oldRadius);
    if (adjust && oldRadius > 0.0)
        entry.m_feed = entry.m_feed / oldRadius * newRadius;
    return 0;
}
