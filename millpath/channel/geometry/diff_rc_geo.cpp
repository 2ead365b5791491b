#include "diff_rc_geo.h"

#include "geo_codes.h"
#include "rc_geometry.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <numbers>

namespace
{
constexpr double kTwoPi = 2.0 * std::numbers::pi;
const CVec3d kUnitZ(0.0, 0.0, 1.0);

bool OutsideBox(const CVec3d& p, const CVec3d& lower, const CVec3d& upper)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        if (p.GetAxis(axis) < lower.GetAxis(axis) || p.GetAxis(axis) > upper.GetAxis(axis))
        {
            return true;
        }
    }
    return false;
}

// Moves p onto centre + radius in x and y, keeping its z.
void PlaceOnCircle(CVec3d& p, const CVec3d& centre, const CVec3d& radius)
{
    p.SetX(centre.GetX() + radius.GetX());
    p.SetY(centre.GetY() + radius.GetY());
}
} // namespace

// ---- base element ----

int CBDiffRcGeoObj::CheckRange(const CVec3d&, const CVec3d&, int) const
{
    return GeoResult::NoRangeTest;
}

void CBDiffRcGeoObj::Tangent(CVec3d& out, int) const
{
    out.Set(0.0, 0.0, 0.0);
}

void CBDiffRcGeoObj::ComputeTangents()
{
    Tangent(m_startTangent, 1);
    Tangent(m_endTangent, 0);
}

int CBDiffRcGeoObj::OffsetAgain(const CVec3d& lower, const CVec3d& upper, int skipStart) const
{
    return CheckRange(lower, upper, skipStart);
}

void CBDiffRcGeoObj::CopyFrom(const CBDiffRcGeoObj& other)
{
    m_kind = other.m_kind;
    m_start = other.m_start;
    m_end = other.m_end;
    m_startTangent = other.m_startTangent;
    m_endTangent = other.m_endTangent;
}

// ---- line ----

CDiffRcGeoLine::CDiffRcGeoLine(int& status, int kind, const CVec3d& start, const CVec3d& end)
{
    m_kind = kind;
    m_start = start;
    m_end = end;
    const CVec3d d = PlaneOf(end - start);
    if (kind != 0 || d.Length() == 0.0)
    {
        status = GeoResult::Invalid;
        return;
    }
    m_direction = d.Unit();
    ComputeTangents();
    UpdateEquation();
    status = GeoResult::Ok;
}

int CDiffRcGeoLine::CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const
{
    if (skipStart == 0 && OutsideBox(m_start, lower, upper))
    {
        return GeoResult::OutOfRange;
    }
    return OutsideBox(m_end, lower, upper) ? GeoResult::OutOfRange : GeoResult::Ok;
}

void CDiffRcGeoLine::Tangent(CVec3d& out, int) const
{
    out = m_direction;
}

void CDiffRcGeoLine::UpdateEquation()
{
    const CVec3d d = PlaneOf(m_end - m_start);
    const double len = d.Length();
    const CVec3d u = len > std::numeric_limits<double>::min() ? d / len : CVec3d();
    if (std::fabs(u.GetX()) >= 3e-6)
    {
        m_slope = d.GetY() / d.GetX();
        m_intercept = m_start.GetY() - m_start.GetX() * m_slope;
        m_hasSlope = 1;
    }
    else
    {
        m_slope = std::numeric_limits<double>::max();
        m_intercept = m_start.GetX();
        m_hasSlope = 0;
    }
}

int CDiffRcGeoLine::Offset(int side, double radius)
{
    if ((side != RcSide::Right && side != RcSide::Left) || radius < 0.0)
    {
        return GeoResult::Invalid;
    }
    const CVec3d n = Cross(kUnitZ, m_direction);
    const double r = side == RcSide::Right ? -radius : radius;
    m_start.Add(r * n);
    m_end.Add(r * n);
    UpdateEquation();
    return GeoResult::Ok;
}

int CDiffRcGeoLine::CheckDirection(const CVec3d& oldStart, const CVec3d& oldEnd)
{
    const CVec3d d = PlaneOf(m_end - m_start);
    if (d.Length() > 1e-9 && Distance(d.Unit(), m_direction) <= 0.001)
    {
        return GeoResult::Ok;
    }
    m_start = oldStart;
    m_end = oldEnd;
    return GeoResult::Reverses;
}

int CDiffRcGeoLine::MoveEnd(int endFlag, double length, double outward)
{
    if ((endFlag != 0 && endFlag != 1) || length < 0.0)
    {
        return GeoResult::Invalid;
    }
    const CVec3d oldStart = m_start;
    const CVec3d oldEnd = m_end;
    if (endFlag == 1)
    {
        m_end.Add(outward * length * m_direction);
    }
    else
    {
        m_start.Subtract(outward * length * m_direction);
    }
    return CheckDirection(oldStart, oldEnd);
}

int CDiffRcGeoLine::Extend(int endFlag, double length)
{
    return MoveEnd(endFlag, length, 1.0);
}

int CDiffRcGeoLine::Shorten(int endFlag, double length)
{
    return MoveEnd(endFlag, length, -1.0);
}

double CDiffRcGeoLine::YAt(double x) const
{
    return m_hasSlope ? m_slope * x + m_intercept : m_start.GetY();
}

void CDiffRcGeoLine::CopyFrom(const CDiffRcGeoLine& other)
{
    *this = other; // every field is a value
}

// ---- arc ----

CDiffRcGeoCircle::CDiffRcGeoCircle(int& status, int kind, const CVec3d& start, const CVec3d& end,
                                   const CVec3d& rotation, const CVec3d& centre)
{
    m_kind = kind;
    m_start = start;
    m_end = end;
    m_rotation = rotation;
    m_centre = centre;
    // Radius vectors lie in the plane so that a helix's rise does not count as radius.
    m_startRadius = PlaneOf(start - centre);
    m_endRadius = PlaneOf(end - centre);
    m_radius = m_startRadius.Length();
    m_constructionRadius = m_radius;
    m_direction = rotation.GetZ() > 0.0 ? 1 : 0;
    m_sweep = rotation.GetZ() > 0.0 ? rotation.Length() : -rotation.Length();
    if ((kind != 1 && kind != 2) || m_radius == 0.0 || m_sweep == 0.0 || rotation.GetZ() == 0.0)
    {
        status = GeoResult::Invalid;
        return;
    }
    ComputeTangents();
    status = GeoResult::Ok;
}

int CDiffRcGeoCircle::CheckRange(const CVec3d& lower, const CVec3d& upper, int) const
{
    if (m_rotation.GetX() != 0.0 || m_rotation.GetY() != 0.0)
    {
        return GeoResult::Ok;
    }
    for (const CVec3d* p : {&m_start, &m_end})
    {
        if (p->GetZ() < lower.GetZ() || p->GetZ() > upper.GetZ())
        {
            return GeoResult::OutOfRange;
        }
    }
    return GeoResult::Ok;
}

void CDiffRcGeoCircle::Tangent(CVec3d& out, int atStart) const
{
    const double inside = m_sweep * 1e-4;
    const CVec3d r =
        atStart ? RotateInPlane(m_startRadius, kUnitZ, inside) : RotateInPlane(m_endRadius, kUnitZ, -inside);
    const CVec3d t = Cross(kUnitZ, r);
    const double len = t.Length();
    if (len == 0.0)
    {
        out.Set(0.0, 0.0, 0.0);
        return;
    }
    out = (m_direction == 1 ? 1.0 : -1.0) * (t / len);
}

void CDiffRcGeoCircle::SetSweep(double sweep)
{
    m_sweep = sweep;
    const double len = m_rotation.Length();
    m_rotation = len > 0.0 ? m_rotation * (std::fabs(sweep) / len) : CVec3d(0.0, 0.0, sweep);
    if ((sweep > 0.0) != (m_rotation.GetZ() > 0.0))
    {
        m_rotation = -m_rotation;
    }
}

void CDiffRcGeoCircle::PlaceEnds()
{
    PlaceOnCircle(m_start, m_centre, m_startRadius);
    PlaceOnCircle(m_end, m_centre, m_endRadius);
}

int CDiffRcGeoCircle::Offset(int side, double radius)
{
    // A negative distance would move the arc to the other side unnoticed.
    if ((side != RcSide::Right && side != RcSide::Left) || (m_direction != 0 && m_direction != 1) ||
        m_radius == 0.0 || radius < 0.0)
    {
        return GeoResult::Invalid;
    }
    // Left of travel on a counter-clockwise arc is towards the centre.
    const bool inward = (side == RcSide::Left) == (m_direction == 1);
    const double newRadius = inward ? m_radius - radius : m_radius + radius;
    if (newRadius < 0.0)
    {
        return GeoResult::RadiusNegative;
    }
    if (m_kind == 1 || m_kind == 2)
    {
        const double factor = newRadius / m_radius;
        m_radius = newRadius;
        m_startRadius.Scale(factor);
        m_endRadius.Scale(factor);
        PlaceEnds();
    }
    return GeoResult::Ok;
}

int CDiffRcGeoCircle::Extend(int endFlag, double length)
{
    // A chord longer than the diameter has no arc: refused rather than clamped to a full circle.
    if ((endFlag != 0 && endFlag != 1) || length < 0.0 || length > 2.0 * m_radius)
    {
        return GeoResult::Invalid;
    }
    double alpha = 2.0 * SafeAsin(length / (2.0 * m_radius));
    if (m_direction == 0)
    {
        alpha = -alpha;
    }
    const double sweep = m_sweep + alpha;
    // A sweep of 0 has vanished in either sense.
    if ((m_direction == 0 && sweep >= 0.0) || (m_direction == 1 && sweep <= 0.0))
    {
        return GeoResult::Reverses;
    }
    if (endFlag == 1)
    {
        m_endRadius.RotateInPlane(kUnitZ, alpha);
    }
    else
    {
        m_startRadius.RotateInPlane(kUnitZ, -alpha);
    }
    PlaceEnds();
    SetSweep(sweep);
    ComputeTangents();
    return GeoResult::Ok;
}

int CDiffRcGeoCircle::SetEnds(const CVec3d& start, const CVec3d& end, double cornerAngle, int insideFlag,
                              bool keepTurns)
{
    const double previous = m_sweep;
    const CVec3d previousEnd = m_end;
    const std::uint8_t previousDirection = m_direction;
    m_start = start;
    m_end = end;
    m_startRadius = PlaneOf(start - m_centre);
    m_endRadius = PlaneOf(end - m_centre);
    m_radius = m_startRadius.Length();

    double turn = 0.0;
    const std::uint32_t rc = m_direction == 1 ? TurnAngle(turn, m_startRadius, m_endRadius)
                                              : TurnAngle(turn, m_endRadius, m_startRadius);
    if (rc != 0)
    {
        m_direction = previousDirection;
        return GeoResult::NoSweep;
    }
    double sweep = m_direction == 1 ? turn : -turn;
    if (sweep == 0.0)
    {
        sweep = m_direction == 1 ? kTwoPi : -kTwoPi;
    }
    if (keepTurns)
    {
        // A corner moves an end by less than half a turn: the sweep nearest
        // the previous one, never fewer whole turns than it had.
        const double turns = std::floor((std::fabs(previous) - std::fabs(sweep)) / kTwoPi + 0.5);
        if (turns > 0.0)
            sweep += (sweep > 0.0 ? kTwoPi : -kTwoPi) * turns;
    }
    const bool wasFull = std::fabs(std::fabs(previous) - kTwoPi) < 1e-6;
    if (wasFull && Distance(end, previousEnd) < 1e-6 && std::fabs(cornerAngle) < 0.001)
    {
        sweep = previous;
    }
    if (insideFlag != 0 && std::fabs(sweep - previous) > std::numbers::pi)
    {
        sweep += sweep > 0.0 ? -kTwoPi : kTwoPi;
        m_direction = sweep > 0.0 ? 1 : 0;
    }
    SetSweep(sweep);
    ComputeTangents();
    return GeoResult::Ok;
}

void CDiffRcGeoCircle::CopyFrom(const CDiffRcGeoCircle& other)
{
    *this = other; // every field is a value
}

// ---- helix ----

CDiffRcGeoHelix::CDiffRcGeoHelix(int& status, int kind, const CVec3d& start, const CVec3d& end,
                                 const CVec3d& rotation, const CVec3d& centre)
    : m_inner(status, kind, start, end, rotation, centre)
{
    m_kind = kind;
    m_start = start;
    m_end = end;
    if (status == GeoResult::Ok)
    {
        TakeOverArc();
    }
}

void CDiffRcGeoHelix::TakeOverArc()
{
    m_start = m_arc->Start();
    m_end = m_arc->End();
    m_startTangent = m_arc->StartTangent();
    m_endTangent = m_arc->EndTangent();
}

int CDiffRcGeoHelix::CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const
{
    return m_arc->CheckRange(lower, upper, skipStart);
}

void CDiffRcGeoHelix::Tangent(CVec3d& out, int atStart) const
{
    m_arc->Tangent(out, atStart);
}

int CDiffRcGeoHelix::Offset(int side, double radius)
{
    const int rc = m_arc->Offset(side, radius);
    TakeOverArc();
    return rc;
}

int CDiffRcGeoHelix::Extend(int endFlag, double length)
{
    const int rc = m_arc->Extend(endFlag, length);
    TakeOverArc();
    return rc;
}

void CDiffRcGeoHelix::CopyFrom(const CDiffRcGeoHelix& other)
{
    CBDiffRcGeoObj::CopyFrom(other);
    m_inner.CopyFrom(*other.m_arc);
}
