// The radius correction's state: modes and their transitions, reading the
// element and its partner, the look-ahead over short elements and the main
// step. The corner handlers are in rc_corners.cpp.
#include "nc_radius_correction.h"

#include <cmath>
#include <numbers>

#include "geo_codes.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"
#include "trans_table.h"
#include "transformer.h"

namespace
{
constexpr int NoSuccessor = -665;
constexpr int NotAllowed = -552;
constexpr int BadValue = -553;
constexpr int Discontinued = -555;
constexpr int KindNotAllowed = -773;
constexpr int NoEntry = -775;
constexpr int NotGeometry = -774;
constexpr int PlaneDiffers = 16722;
constexpr int BadToolNumber = 16723;
constexpr int BadRadius = 16724;
constexpr int RadiusChanged = 16725;
constexpr double Tolerance = 0.01;

bool Near(double a, double b)
{
    return std::fabs(a - b) <= Tolerance;
}

bool FullCircle(const CEntryGeo_3D& entry)
{
    return GeoKindOf(entry) != GeoKind::Line &&
           std::fabs(entry.m_rotation.Length() - 2.0 * std::numbers::pi) <= 1e-4;
}

CEntryGeo_3D* GeometryOf(CTransElement* node)
{
    return static_cast<CEntryGeo_3D*>(node->m_entry);
}

// -775 without an entry, -774 for one that is no geometry, else 0.
int CheckNode(const CTransElement* node)
{
    if (!node->m_entry)
        return NoEntry;
    return node->IsGeometry() ? 0 : NotGeometry;
}
} // namespace

CBNcRadiusCorrection::CBNcRadiusCorrection(CTransTable& table) : m_table(table), m_planes(table.Host())
{
    Reset();
}

void CBNcRadiusCorrection::Reset()
{
    m_plane = -1;
    m_approach = -1;
    m_radius = 0.0;
    m_status = 0;
    m_mode = ModeOff;
    m_side = 255;
    m_connect = 255;
    m_switchPending = 0;
    m_transition = 0;
    m_kept = false;
    m_node = m_nextNode = m_stopNode = nullptr;
    m_skipped.clear();
    m_reversalAllowed = false;
    m_bridge = 0;
    // A later program must not inherit a construction of this one.
    m_connectPending = false;
}

int CBNcRadiusCorrection::SetMode(int mode)
{
    if (mode < 0 || mode > 5)
        return BadValue;
    if (mode == m_mode)
        return 0;
    static const int allowed[][2] = {{0, 2}, {2, 1}, {1, 4}, {4, 5}, {5, 1}, {1, 3}, {3, 0}};
    for (const auto& step : allowed)
        if (step[0] == m_mode && step[1] == mode)
        {
            m_mode = mode;
            m_transition =
                mode == ModeSwitchOn ? 1 : (mode == ModeSideLeaving || mode == ModeSideChanging ? 0 : 2);
            return 0;
        }
    return NotAllowed;
}

int CBNcRadiusCorrection::SetRadius(double radius)
{
    if (radius <= 0.0)
        return BadValue;
    if (m_radius == 0.0)
    {
        if (m_mode != ModeSwitchOn)
            return NotAllowed;
        m_radius = radius;
        return 0;
    }
    return radius < Tolerance ? NotAllowed : 0;
}

int CBNcRadiusCorrection::SetApproach(int kind)
{
    if (kind != 0 && kind != 1)
        return BadValue;
    m_approach = kind;
    return 0;
}

int CBNcRadiusCorrection::SetPlane(int plane)
{
    if (plane < 0 || plane > 2)
        return BadValue;
    if (m_plane < 0)
        m_plane = plane;
    return 0;
}

int CBNcRadiusCorrection::SetSide(int value)
{
    if (value < -1 || value > 1)
        return BadValue;
    if (m_side == 255)
    {
        if (value == 0)
            return m_mode == ModeSwitchOn ? 0 : NotAllowed;
        if (m_mode != ModeSwitchOn)
            return NotAllowed;
    }
    else if (value == 0)
    {
        if (m_mode != ModeSwitchOff)
            return NotAllowed;
        m_side = 255;
        return 0;
    }
    m_side = value > 0 ? RcSide::Left : RcSide::Right;
    return 0;
}

int CBNcRadiusCorrection::SetNodeState(CTransElement* node, int state)
{
    if (!node)
        return CorrectionResult::NoNode;
    if ((state != CTransElement::Ready && state != CTransElement::Waiting) || m_mode == ModeOff)
        return BadValue;
    node->m_state = state;
    return 0;
}

int CBNcRadiusCorrection::CheckKind(const CEntryGeo_3D& entry, int kind) const
{
    return kind < 3 && GeoKindOf(entry) == kind ? 0 : BadValue;
}

bool CBNcRadiusCorrection::IsShort(int& status, const CEntryGeo_3D& entry)
{
    status = entry.m_prep.m_planeTransformed ? 0 : NotAllowed;
    if (status != 0 || FullCircle(entry))
        return false;
    const CVec3d d = entry.m_target - entry.m_start;
    const bool isShort = std::fabs(d.GetX()) <= Tolerance && std::fabs(d.GetY()) <= Tolerance &&
                         std::fabs(d.GetZ()) <= Tolerance;
    if (isShort)
        m_switchPending = 1;
    return isShort;
}

bool CBNcRadiusCorrection::IsZeroLength(int& status, const CEntryGeo_3D& entry) const
{
    status = entry.m_prep.m_planeTransformed ? 0 : NotAllowed;
    if (status != 0)
        return false;
    return Near(entry.m_start.GetX(), entry.m_target.GetX()) &&
           Near(entry.m_start.GetY(), entry.m_target.GetY());
}

int CBNcRadiusCorrection::Plane(int forward, CEntryGeo_3D& entry)
{
    return m_planes.Plane(forward, entry);
}

int CBNcRadiusCorrection::Permute(int forward, int plane, CVec3d& point)
{
    return m_planes.Permute(forward, plane, point);
}

void CBNcRadiusCorrection::PrepareElement(CEntryGeo_3D& entry)
{
    if (entry.m_prep.m_prepared)
        return;
    entry.m_prep.m_programmedStart = entry.m_start;
    entry.m_prep.m_programmedEnd = entry.m_target;
    const int kind = GeoKindOf(entry);
    if (kind == GeoKind::Line)
    {
        const CVec3d d = PlaneOf(entry.m_target - entry.m_start);
        double angle = 0.0;
        if (d.Length() <= 1e-9 || TurnAngle(angle, CVec3d(1, 0, 0), d) != 0)
            return;
        entry.m_prep.m_programmedDirection = angle;
    }
    else if (kind == GeoKind::Arc)
        entry.m_prep.m_programmedDirection =
            entry.m_rotation.GetZ() < 0.0 ? -entry.m_rotation.Length() : entry.m_rotation.Length();
    else
        return;
    entry.m_prep.m_prepared = 1;
}

bool CBNcRadiusCorrection::IsSideChange(const CEntryGeo_3D& entry) const
{
    const int s = entry.m_korrStart.m_value;
    const int e = entry.m_korrEnd.m_value;
    return (s == -1 && e == 1) || (s == 1 && e == -1) || entry.m_prep.m_sideChange;
}

int CBNcRadiusCorrection::CheckRadii(const CEntryGeo_3D& entry)
{
    const double start = entry.m_korrStart.m_radius;
    const double end = entry.m_korrEnd.m_radius;
    if (start < 0.0 || end < 0.0)
        return BadRadius;
    if (Near(start, end))
    {
        if (Near(start, 0.0) && Near(end, 0.0))
            return BadRadius;
        return m_mode == ModeSwitchOn ? SetRadius(end) : 0;
    }
    if (m_mode == ModeSwitchOn)
        return SetRadius(end);
    return m_mode == ModeSwitchOff ? 0 : RadiusChanged;
}

int CBNcRadiusCorrection::ReadElement(CEntryGeo_3D*& entry, CTransElement* node)
{
    entry = nullptr;
    if (!node)
        return CorrectionResult::NoNode;
    if (const int rc = CheckNode(node); rc != 0)
        return rc;
    if (!node->m_next)
        return CorrectionResult::NeedsLookAhead;
    CEntryGeo_3D& e = *GeometryOf(node);
    const int startPlane = static_cast<int>(e.m_korrStart.m_plane);
    const int endPlane = static_cast<int>(e.m_korrEnd.m_plane);
    if (startPlane < 0 || startPlane > 2 || endPlane < 0 || endPlane > 2)
        return BadValue;
    if (startPlane != endPlane && m_mode != ModeOff)
        return PlaneDiffers;
    if (const int rc = SetPlane(static_cast<int>(e.m_plane)); rc != 0)
        return rc;
    entry = &e;
    Plane(1, e);
    PrepareElement(e);
    int status = 0;
    if (IsZeroLength(status, e) && m_mode != ModeOff)
        return 0;
    const int s = e.m_korrStart.m_value;
    const int v = e.m_korrEnd.m_value;
    int rc = 0;
    if (s < -1 || s > 1 || v < -1 || v > 1)
        return BadValue;
    if (s != 0 && s == v)
    {
        if (m_mode == ModeSideLeaving && e.m_prep.m_sideChange)
            rc = SetMode(ModeSideChanging);
        else if (m_mode != ModeActive)
            rc = SetMode(ModeActive);
    }
    else if (s != 0 && v != 0)
    {
        if (m_mode != ModeSideChanging)
        {
            rc = SetMode(ModeSideChanging);
            if (rc == 0)
                rc = SetSide(v);
        }
    }
    else if (s != 0)
        rc = SetMode(ModeSwitchOff);
    else if (v != 0)
    {
        if (e.m_korrEnd.m_toolNumber < 1 || e.m_korrEnd.m_toolNumber > 255)
            return BadToolNumber;
        if (m_mode != ModeSwitchOn)
            rc = SetMode(ModeSwitchOn);
        if (rc == 0)
            rc = SetSide(v);
    }
    else
        return NotAllowed;
    if (rc != 0)
        return rc;
    if ((rc = CheckRadii(e)) != 0)
        return rc;
    if (e.m_korrStart.m_approach > 1 || e.m_korrEnd.m_approach > 1)
        return BadValue;
    SetApproach(static_cast<int>(e.m_korrEnd.m_approach));
    if (m_mode == ModeSwitchOn || m_mode == ModeSwitchOff || m_mode == ModeSideChanging)
        return CheckKind(e, GeoKind::Line);
    return 0;
}

int CBNcRadiusCorrection::ReadNext(CEntryGeo_3D*& entry, CTransElement* node)
{
    entry = nullptr;
    CTransElement* next = node->m_nextGeo;
    if (!next)
        return CorrectionResult::NeedsLookAhead;
    if (next->m_state == CTransElement::Waiting)
        return NotAllowed;
    if (next->m_state != CTransElement::InWork && next->m_state != CTransElement::Ready)
        return BadValue;
    if (const int rc = CheckNode(next); rc != 0)
        return rc;
    const CEntryGeo_3D& first = *GeometryOf(node);
    CEntryGeo_3D& partner = *GeometryOf(next);
    if (first.m_korrEnd.m_value != partner.m_korrStart.m_value ||
        !Near(first.m_korrEnd.m_radius, partner.m_korrStart.m_radius) ||
        first.m_korrEnd.m_approach != partner.m_korrStart.m_approach)
        return Discontinued;
    if (first.m_korrEnd.m_plane != partner.m_korrStart.m_plane)
        return PlaneDiffers;
    m_nextNode = next;
    entry = &partner;
    int rc = 0;
    if (IsSideChange(partner))
    {
        if (m_mode == ModeSideLeaving)
        {
            rc = SetMode(ModeSideChanging);
            if (rc == 0)
                rc = SetSide(partner.m_korrEnd.m_value);
        }
        else
            rc = SetMode(ModeSideLeaving);
    }
    else if (partner.m_korrEnd.m_value == 0)
    {
        rc = SetMode(ModeSwitchOff);
        if (rc == 0)
            rc = CheckKind(partner, GeoKind::Line);
    }
    return rc;
}

int CBNcRadiusCorrection::LookAhead(CEntryGeo_3D*& entry, CTransElement*& node)
{
    CTransElement* at = m_node ? m_node->m_nextGeo : nullptr;
    const CEntryGeo_3D& first = *GeometryOf(m_node);
    m_skipped.clear();
    for (; at; at = at->m_nextGeo)
    {
        if (const int rc = CheckNode(at); rc != 0)
            return rc;
        CEntryGeo_3D& e = *GeometryOf(at);
        Plane(1, e);
        PrepareElement(e);
        int status = 0;
        const bool isShort = IsShort(status, e);
        m_switchPending = 0;
        if (isShort && GeoKindOf(e) != GeoKind::Line)
            return NotAllowed;
        const bool keeps = e.m_korrEnd.m_value == 0 && e.m_korrStart.m_value != 0 && e.m_prep.m_sideChange;
        if (isShort && !keeps)
        {
            m_skipped.push_back(at);
            continue;
        }
        if (!Near(e.m_korrStart.m_radius, first.m_korrEnd.m_radius))
            return Discontinued;
        if (e.m_korrStart.m_plane != first.m_korrEnd.m_plane)
            return PlaneDiffers;
        if (static_cast<int>(e.m_korrStart.m_approach) != m_approach)
            return Discontinued;
        int rc = 0;
        if (IsSideChange(e))
        {
            rc = CheckKind(e, GeoKind::Line);
            if (rc == 0)
                rc = SetMode(ModeSideLeaving);
        }
        else if (e.m_korrEnd.m_value == 0)
        {
            if (m_mode != ModeSwitchOff)
                rc = SetMode(ModeSwitchOff);
            if (rc == 0)
                rc = CheckKind(e, GeoKind::Line);
        }
        if (rc != 0)
            return rc;
        entry = &e;
        node = at;
        return 0;
    }
    return CorrectionResult::NeedsLookAhead;
}

int CBNcRadiusCorrection::SkipShort(const CEntryGeo_3D& before)
{
    for (CTransElement* node : m_skipped)
    {
        if (!node->m_entry)
            return NoEntry;
        CEntryGeo_3D& e = *GeometryOf(node);
        e.m_start = before.m_target;
        e.m_target = before.m_target;
        Plane(0, e);
        node->m_state = CTransElement::Ready;
    }
    m_skipped.clear();
    return 0;
}

int CBNcRadiusCorrection::HandlerFor(int firstKind, int secondKind) const
{
    const bool lineFirst = firstKind == GeoKind::Line;
    const bool lineSecond = secondKind == GeoKind::Line;
    switch (m_mode)
    {
    case ModeSwitchOn:
        return lineFirst ? (lineSecond ? 0 : 1) : BadValue;
    case ModeSwitchOff:
        if (!lineSecond)
            return BadValue;
        return lineFirst ? 2 : (firstKind == GeoKind::Arc ? 3 : 12);
    case ModeActive:
        if (lineFirst)
            return lineSecond ? 6 : (secondKind == GeoKind::Arc ? 7 : 10);
        if (lineSecond)
            return firstKind == GeoKind::Arc ? 8 : 11;
        return 9;
    case ModeSideLeaving:
        return lineFirst && lineSecond ? 4 : KindNotAllowed;
    case ModeSideChanging:
        return lineFirst && lineSecond ? 5 : KindNotAllowed;
    default:
        return NotAllowed;
    }
}

void CBNcRadiusCorrection::Finish(int error)
{
    if (error != 0)
        m_switchPending = 0;
    m_node = m_nextNode = m_stopNode = nullptr;
}

bool CBNcRadiusCorrection::EndsBehind(const CTransElement* node) const
{
    for (const CTransElement* at = node->m_next; at; at = at->m_next)
        if (CTransformer::EndsProgram(at->m_entry))
            return true;
    return false;
}

int CBNcRadiusCorrection::EndWithoutDeparture(CEntryGeo_3D& last, CTransElement* node)
{
    // The program ends with the correction on: the tool stops at the offset end.
    if (m_mode == ModeSwitchOn)
    {
        std::unique_ptr<CBDiffRcGeoObj> offset;
        if (MakeOffset(offset, last, true, -537) == 0)
            Keep(*offset);
    }
    if (CBDiffRcGeoObj* kept = Kept(last))
    {
        last.m_target.SetX(kept->End().GetX());
        last.m_target.SetY(kept->End().GetY());
    }
    Plane(0, last);
    node->m_state = CTransElement::Ready;
    Reset();
    return 0;
}

int CBNcRadiusCorrection::Step(CTransElement* node)
{
    if (m_status == CorrectionResult::NeedsLookAhead)
        m_status = 0;
    else if (m_status != 0)
        return m_status;
    if (!node)
        return CorrectionResult::NoNode;
    m_node = node;
    m_skipped.clear();
    CEntryGeo_3D* first = nullptr;
    CEntryGeo_3D* partner = nullptr;
    const int savedMode = m_mode;
    const std::uint8_t savedSide = m_side;
    auto fail = [&](int rc)
    {
        // Waiting for look-ahead leaves the correction as it was.
        if (rc == CorrectionResult::NeedsLookAhead)
        {
            m_mode = savedMode;
            m_side = savedSide;
        }
        m_status = rc;
        Finish(rc);
        return rc;
    };
    int rc = ReadElement(first, node);
    if (rc == 0 && first && m_mode == ModeOff)
    {
        Plane(0, *first);
        node->m_state = CTransElement::Ready;
        Finish(0);
        return 0;
    }
    if (rc == 0)
        rc = ReadNext(partner, node);
    if (rc == CorrectionResult::NeedsLookAhead && first && !node->m_nextGeo && EndsBehind(node))
        return EndWithoutDeparture(*first, node);
    if (rc != 0)
        return fail(rc);
    Plane(1, *partner);
    PrepareElement(*partner);
    m_stopNode = m_nextNode;
    int status = 0;
    if (m_mode == ModeSwitchOn && IsShort(status, *first))
        return fail(KindNotAllowed);
    m_switchPending = 0;
    if (IsShort(status, *partner) && GeoKindOf(*partner) != GeoKind::Helix)
    {
        m_switchPending = 0;
        CTransElement* stop = nullptr;
        if ((rc = LookAhead(partner, stop)) != 0)
            return fail(rc);
        m_stopNode = stop;
    }
    const int slot = HandlerFor(GeoKindOf(*first), GeoKindOf(*partner));
    if (slot < 0)
        return fail(slot);
    static const Handler handlers[Handlers] = {
        &CBNcRadiusCorrection::SwitchOnCorner,  &CBNcRadiusCorrection::SwitchOnCorner,
        &CBNcRadiusCorrection::SwitchOffCorner, &CBNcRadiusCorrection::SwitchOffCorner,
        &CBNcRadiusCorrection::LeavingSide,     &CBNcRadiusCorrection::ReachingSide,
        &CBNcRadiusCorrection::LineLine,        &CBNcRadiusCorrection::LineArc,
        &CBNcRadiusCorrection::ArcLine,         &CBNcRadiusCorrection::ArcArc,
        &CBNcRadiusCorrection::LineArc,         &CBNcRadiusCorrection::ArcLine,
        &CBNcRadiusCorrection::SwitchOffCorner,
    };
    int warning = 0;
    rc = m_connectPending ? LeaveCollapsed(*first, *partner) : (this->*handlers[slot])(*first, *partner);
    if (rc == CorrectionResult::Reversal || rc == CorrectionResult::Bridged)
        warning = rc;
    else if (rc != 0)
        return fail(rc);
    SkipShort(*first);
    Plane(0, *first);
    node->m_state = CTransElement::Ready;
    if (m_mode == ModeSwitchOff)
    {
        // The departure is complete with this corner: the correction is off.
        Plane(0, *partner);
        m_stopNode->m_state = CTransElement::Ready;
        Reset();
        return warning;
    }
    if (m_stopNode->m_state != CTransElement::Ready)
        m_stopNode->m_state = CTransElement::Waiting;
    Finish(0);
    return warning;
}
