#include "chamfer_rnd.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>

#include "geo_codes.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"
#include "transformer.h"

namespace
{
constexpr double Pi = std::numbers::pi;
constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double MinRadius = 0.1;
constexpr std::uint32_t NotComputed = 3244;
constexpr std::uint32_t LengthAtArc = 3245;
constexpr std::uint32_t NoHandler = 3243;
constexpr std::uint32_t RadiusTooSmall = 3249;
constexpr std::uint32_t RoundingFailed = 3250;

bool IsGeometry(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_GEO_3D;
}

bool IsAnnouncement(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_FUNK &&
           static_cast<const CEntryFunk*>(entry)->m_code == CChamferRnd::Announcement;
}

CVec3d Flat(const CVec3d& v)
{
    return PlaneOf(v);
}

// The direction of travel at the element's start (atEnd false) or end.
CVec3d Travel(const CEntryGeo_3D& entry, bool atEnd)
{
    if (GeoKindOf(entry) == GeoKind::Line)
        return Flat(entry.m_target - entry.m_start).Unit();
    const CVec3d radius = Flat((atEnd ? entry.m_target : entry.m_start) - entry.m_centre);
    const CVec3d tangent = Cross(CVec3d(0, 0, 1), radius).Unit();
    return entry.m_rotation.GetZ() > 0.0 ? tangent : -tangent;
}

double Length(const CEntryGeo_3D& entry)
{
    if (GeoKindOf(entry) == GeoKind::Line)
        return Flat(entry.m_target - entry.m_start).Length();
    return Flat(entry.m_start - entry.m_centre).Length() * entry.m_rotation.Length();
}

// The tangent point of a circle about m on the element: the foot on a line,
// the point on the arc's circle towards m.
CVec3d TouchPoint(const CEntryGeo_3D& entry, const CVec3d& m)
{
    if (GeoKindOf(entry) == GeoKind::Line)
    {
        const CVec3d u = Travel(entry, false);
        return Flat(entry.m_start) + Dot(Flat(m - entry.m_start), u) * u;
    }
    const CVec3d c = Flat(entry.m_centre);
    const double r = Flat(entry.m_start - entry.m_centre).Length();
    return c + r * Flat(m - c).Unit();
}

// Whether the point lies on the element (its plane element).
bool Within(CBaseGeoCalc& calc, CBDiffRcGeoObj* element, const CVec3d& p)
{
    if (auto* line = dynamic_cast<CDiffRcGeoLine*>(element))
    {
        double t = 0.0;
        return calc.OnSegment(Flat(p), Flat(line->Start()), Flat(line->End()), t) ||
               Distance(Flat(p), Flat(line->Start())) < 1e-9;
    }
    auto* arc = dynamic_cast<CDiffRcGeoCircle*>(element);
    return arc && calc.PointWithinArc(Flat(p), *arc);
}

// The rounding's centre: where both elements, offset by r towards the inside
// of the turn (an arc to arcSide), meet; the point nearest the corner of two.
bool RoundingCentre(const CEntryGeo_3D& first, const CEntryGeo_3D& second, int side, int arcSide, double r,
                    CVec3d& m)
{
    auto offset = [&](const CEntryGeo_3D& e) -> std::unique_ptr<CBDiffRcGeoObj>
    {
        int status = 0;
        std::unique_ptr<CBDiffRcGeoObj> element;
        if (GeoKindOf(e) == GeoKind::Line)
        {
            auto line = std::make_unique<CDiffRcGeoLine>(status, 0, Flat(e.m_start), Flat(e.m_target));
            if (status == 0 && line->Offset(side, r) == 0)
                element = std::move(line);
        }
        else
        {
            auto arc = std::make_unique<CDiffRcGeoCircle>(status, 1, Flat(e.m_start), Flat(e.m_target),
                                                          e.m_rotation, Flat(e.m_centre));
            if (status == 0 && arc->Offset(arcSide, r) == 0 && arc->Radius() > 1e-9)
                element = std::move(arc);
        }
        return element;
    };
    const auto a = offset(first);
    const auto b = offset(second);
    if (!a || !b)
        return false;
    CVec3d p1, p2;
    int found = GeoResult::NoIntersection;
    const auto* lineA = dynamic_cast<const CDiffRcGeoLine*>(a.get());
    const auto* lineB = dynamic_cast<const CDiffRcGeoLine*>(b.get());
    const auto* arcA = dynamic_cast<const CDiffRcGeoCircle*>(a.get());
    const auto* arcB = dynamic_cast<const CDiffRcGeoCircle*>(b.get());
    if (lineA && lineB)
        found = IntersectLines(p1, *lineA, *lineB);
    else if (lineA)
        found = IntersectLineCircle(p1, p2, *lineA, *arcB);
    else if (lineB)
        found = IntersectLineCircle(p1, p2, *lineB, *arcA);
    else
        found = IntersectCircles(p1, p2, *arcA, *arcB);
    if (found == GeoResult::OnePoint)
        m = p1;
    else if (found == GeoResult::TwoPoints)
    {
        const CVec3d corner = Flat(first.m_target);
        m = Distance(p1, corner) <= Distance(p2, corner) ? p1 : p2;
    }
    else
        return false;
    return true;
}
} // namespace

CChamferRnd::CChamferRnd(CTransformerHost& host, CTransformer& transformer)
    : CBaseGeoCalc(host), m_trans(host), m_transformer(transformer)
{
}

CChamferRnd::~CChamferRnd()
{
    Reset();
}

void CChamferRnd::Reset()
{
    CEntry* entry = nullptr;
    while (m_table.Pop(entry))
        delete entry;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (CEntryGeo_3D** held : {&m_firstElement, &m_secondElement, &m_newElement})
    {
        delete *held;
        *held = nullptr;
    }
    for (CEntry* e : m_leaving)
        delete e;
    m_leaving.clear();
    m_leavingCount = 0;
    m_cornerCount = 0;
}

int CChamferRnd::Fail(std::uint32_t message, const CEntryGeo_3D& entry, std::uint32_t error)
{
    m_trans.Report(TransFlags::Error, message, "%d%d",
                   {m_trans.ChannelLine(), static_cast<long long>(entry.m_blockNo)});
    m_trans.ChannelError(&entry, error);
    return -1;
}

int CChamferRnd::FailRadius(const CEntryGeo_3D& entry, double radius)
{
    m_trans.Report(
        TransFlags::Error, RadiusTooSmall, "%d%d%f",
        {m_trans.ChannelLine(), static_cast<long long>(entry.m_blockNo), std::bit_cast<long long>(radius)});
    m_trans.ChannelError(&entry, TransError::ObjectFailed);
    return -1;
}

void CChamferRnd::Leave(CEntry* entry)
{
    if (IsGeometry(entry))
        static_cast<CEntryGeo_3D*>(entry)->m_prep.m_offset.reset();
    m_leaving.push_back(entry);
    ++m_leavingCount;
}

int CChamferRnd::Release()
{
    int result = 1;
    while (!m_leaving.empty())
    {
        // An entry the pass-on refuses stays first in line; nothing after it overtakes it.
        result = m_transformer.ChannelPassOn(m_leaving.front());
        if (result != 1)
            return result;
        m_leaving.pop_front();
        --m_leavingCount;
    }
    return result;
}

int CChamferRnd::Accept(CEntry* entry)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_transformer.Count() + m_table.Count() >= Room)
    {
        if (m_table.Count() < Room)
            return 0;
        m_trans.Report(TransFlags::Error, TransMsg::ChamferTable, "%d", {m_trans.GroupId()});
        m_trans.ChannelError(entry, TransError::ChamferFlow);
        return -1;
    }
    // What an earlier corner could not hand on goes first.
    if (!m_leaving.empty())
    {
        const int released = Release();
        if (released != 1)
            return released;
    }
    if (IsAnnouncement(entry))
    {
        const auto* f = static_cast<const CEntryFunk*>(entry);
        Corner& set = m_cornerCount == 0 ? m_first : m_second;
        set.kind = f->m_word1;
        set.size = f->m_value2;
        m_cornerCount = 2;
        delete entry;
        return 1;
    }
    if (m_cornerCount == 0)
        return m_transformer.ChannelPassOn(entry);
    if (!m_firstElement)
    {
        if (!m_table.IsEmpty())
        {
            m_trans.Report(TransFlags::Error, TransMsg::ChamferTable, "%d", {m_trans.GroupId()});
            m_trans.ChannelError(entry, TransError::ChamferFlow);
            return -1;
        }
        if (!IsGeometry(entry))
            return m_transformer.ChannelPassOn(entry);
        m_firstElement = static_cast<CEntryGeo_3D*>(entry);
        --m_cornerCount;
        return 1;
    }
    if (CTransformer::EndsProgram(entry))
    {
        // No second element can come: the held one leaves as it is.
        Leave(m_firstElement);
        m_firstElement = nullptr;
        CEntry* waiting = nullptr;
        while (m_table.Pop(waiting))
            Leave(waiting);
        Leave(entry);
        m_cornerCount = 0;
        m_first.kind = 0;
        const int released = Release();
        return released == 0 ? 1 : released;
    }
    if (!IsGeometry(entry))
        return m_table.Push(entry) ? 1 : 0;
    m_secondElement = static_cast<CEntryGeo_3D*>(entry);
    // A corner that cannot be built lets its elements leave as they are.
    InsertCorner();
    --m_cornerCount;
    Leave(m_firstElement);
    m_firstElement = nullptr;
    if (m_newElement)
        Leave(m_newElement);
    m_newElement = nullptr;
    CEntry* waiting = nullptr;
    while (m_table.Pop(waiting))
        Leave(waiting);
    if (m_cornerCount == 0)
    {
        Leave(m_secondElement);
        m_first.kind = 0;
    }
    else
    {
        // A second announcement came between the elements: the second opens the next corner.
        m_firstElement = m_secondElement;
        m_first = m_second;
        m_second.kind = 0;
    }
    m_secondElement = nullptr;
    const int released = Release();
    return released == 0 ? 1 : released;
}

int CChamferRnd::AttachOffset(CEntryGeo_3D& entry)
{
    return PlaneElement(entry) ? 0 : -1;
}

int CChamferRnd::InsertCorner()
{
    CEntryGeo_3D& first = *m_firstElement;
    CEntryGeo_3D& second = *m_secondElement;
    const int k1 = GeoKindOf(first);
    const int k2 = GeoKindOf(second);
    if ((k1 != GeoKind::Line && k1 != GeoKind::Arc) || (k2 != GeoKind::Line && k2 != GeoKind::Arc))
        return Fail(NoHandler, second, TransError::ObjectFailed);
    Plane(1, first);
    Plane(1, second);
    int rc = -1;
    if (AttachOffset(first) == 0 && AttachOffset(second) == 0)
    {
        const bool lines = k1 == GeoKind::Line && k2 == GeoKind::Line;
        if (m_first.kind == Rounding)
            rc = lines ? RoundLines(first, second) : RoundArc(first, second);
        else if (m_first.kind == ChamferLeg || m_first.kind == ChamferLength)
            rc = lines ? ChamferLines(first, second) : ChamferArc(first, second);
        else
            rc = Fail(NotComputed, second, TransError::ChamferFlow);
    }
    for (CEntryGeo_3D* e : {&first, &second, m_newElement})
        if (e)
            Plane(0, *e);
    return rc;
}

void CChamferRnd::MoveTowards(CVec3d& point, const CVec3d& target, double distance)
{
    const CVec3d d = target - point;
    if (d.Length() > 1e-9)
        point.Add(distance * d.Unit());
}

int CChamferRnd::ChamferLines(CEntryGeo_3D& first, CEntryGeo_3D& second)
{
    const double len1 = Length(first);
    const double len2 = Length(second);
    double d = m_first.size;
    if (m_first.kind == ChamferLength)
    {
        double between = 0.0;
        if (Angle(between, Travel(first, true), Travel(second, false)) != 0)
            return Fail(NotComputed, first, TransError::ObjectFailed);
        const double alpha = Pi - between; // pi when the path runs straight on
        if (std::fabs(alpha - Pi) < 0.01)
            d = m_first.size * 0.5;
        else if (alpha > 0.01)
            d = m_first.size / (2.0 * std::sin(alpha / 2.0));
        else
            d = len1;
    }
    // The first line may be used up; half the second stays for its next corner.
    d = std::min({d, len1, 0.5 * len2});
    auto* firstLine = static_cast<CDiffRcGeoLine*>(first.m_prep.m_offset.get());
    auto* secondLine = static_cast<CDiffRcGeoLine*>(second.m_prep.m_offset.get());
    const int firstResult = firstLine->Shorten(1, d);
    const bool usedUp = firstResult == GeoResult::Reverses;
    if ((firstResult != 0 && !usedUp) || secondLine->Shorten(0, d) != 0)
        return Fail(NotComputed, first, TransError::ChamferFlow);
    CVec3d start = second.m_start;
    start.SetX(secondLine->Start().GetX());
    start.SetY(secondLine->Start().GetY());
    SetStart(second, start);
    if (usedUp)
    {
        // The whole first line becomes the chamfer.
        SetEnd(first, start);
        return 0;
    }
    const CVec3d end = firstLine->End();
    SetEnd(first, end);
    if (MakeChamferEntry(first, second, m_newElement) != 0)
        return Fail(NotComputed, first, TransError::ChamferFlow);
    return 0;
}

int CChamferRnd::ChamferArc(CEntryGeo_3D& first, CEntryGeo_3D& second)
{
    if (m_first.kind == ChamferLength)
        return Fail(LengthAtArc, second, TransError::ObjectFailed);
    const bool arcFirst = GeoKindOf(first) != GeoKind::Line;
    const bool arcSecond = GeoKindOf(second) != GeoKind::Line;
    double d = m_first.size;
    for (const CEntryGeo_3D* e : {&first, &second})
    {
        if (GeoKindOf(*e) == GeoKind::Line)
            d = std::min(d, Length(*e));
        else
        {
            const double r = Flat(e->m_start - e->m_centre).Length();
            const double half = std::min(e->m_rotation.Length() / 2.0, Pi / 2.0);
            d = std::min({d, r, 2.0 * r * std::sin(half / 2.0)});
        }
    }
    const CVec3d corner = first.m_target;
    CVec3d end = corner;
    CVec3d start = second.m_start;
    if (!arcFirst)
        MoveTowards(end, first.m_start, d);
    else if (CutArcAtCorner(first, true, d, end) != 0)
        return Fail(NotComputed, first, TransError::ChamferFlow);
    if (!arcSecond)
        MoveTowards(start, second.m_target, d);
    else if (CutArcAtCorner(second, false, d, start) != 0)
        return Fail(NotComputed, first, TransError::ChamferFlow);
    end.SetZ(corner.GetZ());
    start.SetZ(second.m_start.GetZ());
    if (Distance(Flat(end), Flat(first.m_start)) < 1e-9)
    {
        // The first element is used up: it becomes the chamfer.
        SetStart(second, start);
        first.m_geoType &= ~0xFFu;
        first.m_rotation = CVec3d();
        first.m_prep.m_offset.reset();
        first.m_target.SetX(start.GetX());
        first.m_target.SetY(start.GetY());
        SetMoveFlags(first);
        return 0;
    }
    if (!SetEnd(first, end) || !SetStart(second, start))
        return Fail(NotComputed, first, TransError::ChamferFlow);
    if (MakeChamferEntry(first, second, m_newElement) != 0)
        return Fail(NotComputed, first, TransError::ChamferFlow);
    return 0;
}

int CChamferRnd::CutArcAtCorner(const CEntryGeo_3D& arc, bool arcFirst, double d, CVec3d& point)
{
    CEntryGeo_3D* made = nullptr;
    MakePointEntry(made, arc, !arcFirst, d);
    const std::unique_ptr<CEntryGeo_3D> circle(made);
    const auto* cut = circle ? dynamic_cast<const CDiffRcGeoCircle*>(circle->m_prep.m_offset.get()) : nullptr;
    const auto* element = dynamic_cast<const CDiffRcGeoCircle*>(arc.m_prep.m_offset.get());
    CVec3d p[2];
    if (!cut || !element || IntersectCircles(p[0], p[1], *element, *cut) != GeoResult::TwoPoints)
        return -1;
    // The chamfer's end lies on the arc, no farther from the corner than its half angle.
    const double reach = std::min(std::fabs(element->Sweep()) / 2.0, Pi / 2.0) + 0.1;
    const int ccw = element->CounterClockwise() ? 1 : 0;
    for (const CVec3d& candidate : p)
    {
        const CVec3d radius = candidate - element->Centre();
        double turned = 0.0;
        const int rc = arcFirst ? SweepAngle(turned, radius, element->EndRadius(), ccw)
                                : SweepAngle(turned, element->StartRadius(), radius, ccw);
        if (rc == GeoResult::Ok && turned <= reach)
        {
            point = candidate;
            point.SetZ((arcFirst ? arc.m_target : arc.m_start).GetZ());
            return 0;
        }
    }
    return -1;
}

int CChamferRnd::RoundingTurn(const CEntryGeo_3D& first, const CEntryGeo_3D& second, double& theta,
                              bool& left)
{
    if (m_first.size < MinRadius)
        return FailRadius(first, m_first.size);
    const CVec3d u1 = Travel(first, true);
    const CVec3d u2 = Travel(second, false);
    if (Angle(theta, u1, u2) != 0)
        return Fail(NotComputed, first, TransError::ObjectFailed);
    // Elements that run straight on or turn back have no corner to round.
    if (theta < 0.001 || (theta > Pi - 0.001 && theta < Pi + 0.001))
        return 0;
    left = Cross(u1, u2).GetZ() > 0.0;
    return 1;
}

int CChamferRnd::RoundLines(CEntryGeo_3D& first, CEntryGeo_3D& second)
{
    double r = m_first.size;
    double theta = 0.0;
    bool left = false;
    if (const int turn = RoundingTurn(first, second, theta, left); turn != 1)
        return turn;
    const int side = left ? RcSide::Left : RcSide::Right;
    const double len1 = Length(first);
    const double len2 = Length(second);
    // The tangent points lie t from the corner on both lines.
    double t = r * std::tan(theta / 2.0);
    const double a1 = t > len1 ? len1 : std::numeric_limits<double>::infinity();
    const double a2 = 0.5 * len2;
    bool usedUp = false;
    if (t > len1 || a2 < t)
    {
        const double room = std::min(a1, a2);
        r = r * room / t;
        if (r < MinRadius)
            return 0;
        usedUp = room == a1;
        t = r * std::tan(theta / 2.0);
    }
    CVec3d m;
    if (!RoundingCentre(first, second, side, side, r, m))
    {
        return Fail(RoundingFailed, first, TransError::ChamferFlow);
    }
    CVec3d t1 = TouchPoint(first, m);
    CVec3d t2 = TouchPoint(second, m);
    t1.SetZ(first.m_target.GetZ());
    t2.SetZ(second.m_start.GetZ());
    // The arc turns the way the path does, by the angle between the lines.
    const double sweep = left ? theta : -theta;
    CEntryGeo_3D* arc = MakeArcEntry(first, second, m, r, left ? TwoPi : -TwoPi);
    if (!arc)
        return Fail(NotComputed, first, TransError::NoMemory);
    arc->m_start = t1;
    arc->m_target = t2;
    arc->m_rotation = CVec3d(0, 0, sweep);
    arc->m_prep.m_offset.reset();
    SetMoveFlags(*arc);
    SetStart(second, t2);
    if (usedUp)
    {
        // The first line's whole length goes into the arc: it takes the arc's place.
        first.m_geoType = (first.m_geoType & ~0xFFu) | 1u;
        first.m_start = arc->m_start;
        first.m_target = arc->m_target;
        first.m_centre = arc->m_centre;
        first.m_rotation = arc->m_rotation;
        first.m_prep.m_offset.reset();
        SetMoveFlags(first);
        delete arc;
        return 0;
    }
    SetEnd(first, t1);
    m_newElement = arc;
    return 0;
}

int CChamferRnd::RoundArc(CEntryGeo_3D& first, CEntryGeo_3D& second)
{
    double r = m_first.size;
    double theta = 0.0;
    bool left = false;
    if (const int turn = RoundingTurn(first, second, theta, left); turn != 1)
        return turn;
    const int side = left ? RcSide::Left : RcSide::Right;
    // Where the other element cuts the arc's circle beyond the corner, the
    // rounding must fit into the segment between them.
    int arcSide = side;
    double room = 0.0;
    if (ArcRoom(first, second, room))
    {
        if (room >= 0.05 * r)
            r = std::min(r, room);
        else if (GeoKindOf(first) == GeoKind::Line || GeoKindOf(second) == GeoKind::Line)
            arcSide = 1 - side; // nearly tangent: the rounding lies beyond the arc's offset
    }
    if (r < MinRadius)
        return 0;
    CVec3d m;
    if (!RoundingCentre(first, second, side, arcSide, r, m))
    {
        return Fail(RoundingFailed, first, TransError::ChamferFlow);
    }
    CVec3d t1 = TouchPoint(first, m);
    CVec3d t2 = TouchPoint(second, m);
    // Elements too short for the rounding keep their corner.
    if (!Within(*this, first.m_prep.m_offset.get(), t1) || !Within(*this, second.m_prep.m_offset.get(), t2))
        return 0;
    t1.SetZ(first.m_target.GetZ());
    t2.SetZ(second.m_start.GetZ());
    double sweep = 0.0;
    if (SweepAngle(sweep, t1 - m, t2 - m, left ? 1 : 0) != GeoResult::Ok)
        return Fail(NotComputed, first, TransError::ObjectFailed);
    CEntryGeo_3D* arc = MakeArcEntry(first, second, m, r, left ? TwoPi : -TwoPi);
    if (!arc)
        return Fail(NotComputed, first, TransError::NoMemory);
    arc->m_start = t1;
    arc->m_target = t2;
    arc->m_rotation = CVec3d(0, 0, left ? sweep : -sweep);
    arc->m_prep.m_offset.reset();
    SetMoveFlags(*arc);
    if (!SetEnd(first, t1) || !SetStart(second, t2))
    {
        delete arc;
        return Fail(RoundingFailed, first, TransError::ChamferFlow);
    }
    m_newElement = arc;
    return 0;
}

int CChamferRnd::HalfSagitta(const CDiffRcGeoLine& line, const CDiffRcGeoCircle& arc, double& out) const
{
    CVec3d p1, p2;
    const int found = IntersectLineCircle(p1, p2, line, arc);
    if (found == GeoResult::OnePoint)
        out = 0.0;
    else if (found == GeoResult::TwoPoints)
    {
        const double half = 0.5 * Distance(p1, p2);
        const double r = arc.Radius();
        out = 0.5 * (r - std::sqrt(std::max(0.0, r * r - half * half)));
    }
    return found;
}

bool CChamferRnd::ArcRoom(const CEntryGeo_3D& first, const CEntryGeo_3D& second, double& room) const
{
    const auto* arc1 = dynamic_cast<const CDiffRcGeoCircle*>(first.m_prep.m_offset.get());
    const auto* arc2 = dynamic_cast<const CDiffRcGeoCircle*>(second.m_prep.m_offset.get());
    if (arc1 && arc2)
    {
        // Two arcs: the smaller circle's half sagitta over the chord to their second meeting point.
        CVec3d p1, p2;
        if (IntersectCircles(p1, p2, *arc1, *arc2) != GeoResult::TwoPoints)
            return false;
        const CVec3d corner = Flat(first.m_target);
        const CVec3d other = Distance(p1, corner) > Distance(p2, corner) ? p1 : p2;
        if (Distance(other, corner) < 0.0001)
            return false;
        const double r = std::min(arc1->Radius(), arc2->Radius());
        const double half = 0.5 * Distance(other, corner);
        room = 0.5 * (r - std::sqrt(std::max(0.0, r * r - half * half)));
        return true;
    }
    const auto* line = dynamic_cast<const CDiffRcGeoLine*>((arc1 ? second : first).m_prep.m_offset.get());
    const auto* arc = arc1 ? arc1 : arc2;
    if (!line || !arc)
        return false;
    const int found = HalfSagitta(*line, *arc, room);
    if (found == GeoResult::OnePoint)
        return true;
    if (found != GeoResult::TwoPoints)
        return false;
    // The segment lies on the rounding's side when the line, carried on past
    // the corner, enters the arc's circle there.
    CVec3d p1, p2;
    IntersectLineCircle(p1, p2, *line, *arc);
    const CVec3d corner = Flat(first.m_target);
    const CVec3d other = Distance(p1, corner) > Distance(p2, corner) ? p1 : p2;
    const double ahead = Dot(other - corner, line->Direction());
    return arc1 ? ahead < 0.0 : ahead > 0.0;
}

int CChamferRnd::MakeChamferEntry(const CEntryGeo_3D& first, const CEntryGeo_3D& second, CEntryGeo_3D*& out)
{
    auto* e = new (std::nothrow) CEntryGeo_3D(first);
    if (!e)
        return -1;
    e->m_feed = 0.5 * (first.m_feed + second.m_feed);
    e->m_korrStart = first.m_korrEnd;
    e->m_geoType &= ~0xFFu;
    e->m_start = first.m_target;
    e->m_target = second.m_start;
    e->m_centre = second.m_start;
    e->m_rotation = CVec3d();
    e->m_prep = CEntryGeoPrep{};
    e->m_prep.m_planeTransformed = first.m_prep.m_planeTransformed;
    SetMoveFlags(*e);
    out = e;
    return 0;
}

CEntryGeo_3D* CChamferRnd::MakeArcEntry(const CEntryGeo_3D& first, const CEntryGeo_3D& second,
                                        const CVec3d& centre, double radius, double sweep)
{
    auto* e = new (std::nothrow) CEntryGeo_3D(first);
    if (!e)
        return nullptr;
    e->m_feed = 0.5 * (first.m_feed + second.m_feed);
    e->m_korrStart = first.m_korrEnd;
    e->m_geoType = (e->m_geoType & ~0xFFu) | 1u;
    e->m_centre = centre;
    e->m_centre.SetZ(first.m_target.GetZ());
    e->m_start = e->m_centre + CVec3d(radius, 0, 0);
    e->m_target = e->m_start;
    e->m_rotation = CVec3d(0, 0, sweep);
    e->m_radius = 0.0;
    e->m_prep = CEntryGeoPrep{};
    e->m_prep.m_planeTransformed = first.m_prep.m_planeTransformed;
    AttachOffset(*e);
    return e;
}

int CChamferRnd::MakePointEntry(CEntryGeo_3D*& out, const CEntryGeo_3D& source, bool atStart, double radius)
{
    out = new (std::nothrow) CEntryGeo_3D(source);
    if (!out)
        return -1;
    out->m_geoType = (out->m_geoType & ~0xFFu) | 1u;
    out->m_centre = atStart ? source.m_start : source.m_target;
    out->m_start = out->m_centre + CVec3d(radius, 0, 0);
    out->m_target = out->m_start;
    out->m_rotation = CVec3d(0, 0, TwoPi);
    out->m_prep = CEntryGeoPrep{};
    out->m_prep.m_planeTransformed = source.m_prep.m_planeTransformed;
    return AttachOffset(*out);
}

void CChamferRnd::SetMoveFlags(CEntryGeo_3D& entry)
{
    const bool arc = GeoKindOf(entry) != GeoKind::Line;
    for (int axis = 0; axis < 3; ++axis)
    {
        bool moves = entry.m_target.GetAxis(axis) != entry.m_start.GetAxis(axis);
        if (arc && axis < 2)
            moves = entry.m_rotation.GetZ() != 0.0;
        entry.m_prep.m_axisMoves[axis] = moves ? 1u : 0u;
    }
}
