#include "rc_geometry.h"

#include "diff_rc_geo.h"
#include "geo_codes.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace
{
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
const CVec3d kUnitZ(0.0, 0.0, 1.0);

// Difference of two parallel lines' intercepts (or constant x values): near
// enough is coincident, with a coarser second pass.
int ParallelResult(double difference)
{
    // First pass 1e-7, second pass with 100 times that.
    const double d = std::fabs(difference);
    if (d < 1e-7 || d < 1e-7 * 100.0)
    {
        return GeoResult::Coincident;
    }
    return GeoResult::NoIntersection;
}

// Unit normal of the centre line c1 -> c2 in the plane.
CVec3d CentreLineNormal(const CVec3d& unitC1C2)
{
    return Cross(kUnitZ, unitC1C2);
}

int IntersectCirclesOnce(CVec3d& p1, CVec3d& p2, const CDiffRcGeoCircle& a, const CDiffRcGeoCircle& b,
                         double t)
{
    const CDiffRcGeoCircle* c1 = &a;
    const CDiffRcGeoCircle* c2 = &b;
    const double z = a.Centre().GetZ();
    const CVec3d between = PlaneOf(c2->Centre() - c1->Centre());
    const double d = between.Length();
    if (std::fabs(c1->Radius() - c2->Radius()) < t)
    {
        const double r = c1->Radius();
        if (d < t)
        {
            return GeoResult::Coincident;
        }
        const CVec3d u = between / d;
        CVec3d mid = PlaneOf(c1->Centre()) + 0.5 * between;
        mid.SetZ(z);
        if (d <= 2.0 * r - 1e-9)
        {
            const double h = r * std::sin(std::acos(d / (2.0 * r)));
            const CVec3d n = CentreLineNormal(u);
            p1 = mid + h * n;
            p2 = mid - h * n;
            return GeoResult::TwoPoints;
        }
        if (d <= 2.0 * r + 1e-9)
        {
            p1 = mid;
            return GeoResult::OnePoint;
        }
        return GeoResult::NoIntersection;
    }
    if (c2->Radius() > c1->Radius())
    {
        std::swap(c1, c2);
    }
    const double r1 = c1->Radius();
    const double r2 = c2->Radius();
    if (d == 0.0)
    {
        return GeoResult::NoIntersection; // concentric with different radii
    }
    const CVec3d u = PlaneOf(c2->Centre() - c1->Centre()) / d;
    CVec3d base = PlaneOf(c1->Centre());
    base.SetZ(z);
    const double e = d - r1 - r2;
    if (e <= t && (std::fabs(e) < 1e-9 || std::fabs(d - r1 + r2) < 1e-9))
    {
        p1 = base + r1 * u;
        return GeoResult::OnePoint;
    }
    if (e <= t && d >= r1 - r2 - t)
    {
        const double alpha = SafeAcos((d * d + r1 * r1 - r2 * r2) / (2.0 * r1 * d));
        const CVec3d foot = base + r1 * std::cos(alpha) * u;
        const CVec3d n = CentreLineNormal(u);
        p1 = foot + r1 * std::sin(alpha) * n;
        p2 = foot - r1 * std::sin(alpha) * n;
        return GeoResult::TwoPoints;
    }
    return GeoResult::NoIntersection;
}

// Tries the turn of r1 by a, then by 2*pi - a, about axis within tol of r2.
bool TurnFits(double& out, const CVec3d& r1, const CVec3d& r2, const CVec3d& axis, double a, double tol)
{
    if (Distance(RotateInPlane(r1, axis, a), r2) < tol)
    {
        out = a;
        return true;
    }
    if (Distance(RotateInPlane(r1, axis, kTwoPi - a), r2) < tol)
    {
        out = kTwoPi - a;
        return true;
    }
    return false;
}
} // namespace

CVec3d PlaneOf(const CVec3d& v)
{
    return CVec3d(v.GetX(), v.GetY(), 0.0);
}

int IntersectLines(CVec3d& out, const CDiffRcGeoLine& l1, const CDiffRcGeoLine& l2)
{
    double x = 0.0;
    const CDiffRcGeoLine* sloped = nullptr;
    if (l1.HasSlope() && l2.HasSlope())
    {
        if (std::fabs(l1.Slope() - l2.Slope()) < 1e-9)
        {
            return ParallelResult(l1.Intercept() - l2.Intercept());
        }
        x = (l2.Intercept() - l1.Intercept()) / (l1.Slope() - l2.Slope());
        sloped = &l1;
    }
    else if (l1.HasSlope())
    {
        x = l2.Intercept();
        sloped = &l1;
    }
    else if (l2.HasSlope())
    {
        x = l1.Intercept();
        sloped = &l2;
    }
    else
    {
        return ParallelResult(l1.Intercept() - l2.Intercept());
    }
    out.Set(x, sloped->YAt(x), l1.Start().GetZ());
    return GeoResult::OnePoint;
}

int IntersectLineCircle(CVec3d& p1, CVec3d& p2, const CDiffRcGeoLine& line, const CDiffRcGeoCircle& circle)
{
    const CVec3d& p0 = line.Start();
    const CVec3d& u = line.Direction();
    const CVec3d w = PlaneOf(p0 - circle.Centre());
    const double b = Dot(u, w);
    const double r = circle.Radius();
    const double disc = b * b - (Dot(w, w) - r * r);
    if (disc < -1e-7)
    {
        return GeoResult::NoIntersection;
    }
    if (disc < 1e-9)
    {
        p1 = p0 - b * u;
        return GeoResult::OnePoint;
    }
    const double root = std::sqrt(disc);
    p1 = p0 + (root - b) * u;
    p2 = p0 + (-b - root) * u;
    return GeoResult::TwoPoints;
}

int IntersectCircles(CVec3d& p1, CVec3d& p2, const CDiffRcGeoCircle& c1, const CDiffRcGeoCircle& c2)
{
    const int first = IntersectCirclesOnce(p1, p2, c1, c2, 1e-7);
    if (first != GeoResult::NoIntersection)
    {
        return first;
    }
    return IntersectCirclesOnce(p1, p2, c1, c2, 1e-5);
}

std::uint32_t TurnAngle(double& out, const CVec3d& d1, const CVec3d& d2)
{
    const CVec3d p1 = PlaneOf(d1);
    const CVec3d p2 = PlaneOf(d2);
    double a = 0.0;
    const std::uint32_t rc = Angle(a, p1, p2);
    if (rc != 0)
    {
        return rc;
    }
    const CVec3d u1 = p1.Unit();
    const CVec3d u2 = p2.Unit();
    if (TurnFits(out, u1, u2, kUnitZ, a, 1e-9))
    {
        return 0;
    }
    out = (a > kPi - 0.1 && a < kPi + 0.1) ? kPi : 0.0;
    return 0;
}

std::uint32_t JunctionAngle(double& out, const CBDiffRcGeoObj& e1, const CBDiffRcGeoObj& e2)
{
    return TurnAngle(out, e1.EndTangent(), e2.StartTangent());
}

int SweepAngle(double& out, const CVec3d& r1, const CVec3d& r2, int ccw)
{
    const CVec3d p1 = PlaneOf(r1);
    const CVec3d p2 = PlaneOf(r2);
    if ((ccw != 0 && ccw != 1) || p1.Length() == 0.0 || p2.Length() == 0.0)
    {
        return GeoResult::Invalid;
    }
    const CVec3d u1 = p1.Unit();
    const CVec3d u2 = p2.Unit();
    const double a = SafeAcos(Dot(u1, u2));
    if (a == 0.0)
    {
        out = 0.0;
        return GeoResult::Ok;
    }
    const CVec3d axis = ccw == 1 ? kUnitZ : -kUnitZ;
    if (TurnFits(out, u1, u2, axis, a, 1e-8) || TurnFits(out, u1, u2, axis, a, 1e-7))
    {
        return GeoResult::Ok;
    }
    return GeoResult::NoSweep;
}

void PerpendicularToLine(CVec3d& out, const CDiffRcGeoLine& line, const CVec3d& point)
{
    const CVec3d s = PlaneOf(line.Start());
    const CVec3d p = PlaneOf(point);
    const CVec3d& u = line.Direction();
    const CVec3d foot = s + Dot(p - s, u) * u;
    out = foot - p;
}

int RotateVecAboutAxis(CVec3d& out, const CVec3d& in, double s, double c, int axis)
{
    const double x = in.GetX();
    const double y = in.GetY();
    const double z = in.GetZ();
    switch (axis)
    {
    case 1:
        out.Set(x, y * c - z * s, y * s + z * c);
        return 1;
    case 2:
        out.Set(x * c + z * s, y, z * c - x * s);
        return 1;
    case 3:
        out.Set(x * c - y * s, x * s + y * c, z);
        return 1;
    default:
        return 0;
    }
}

void RotateByAngles(CVec3d& point, const CVec3d& angles)
{
    for (int axis = 3; axis >= 1; --axis)
    {
        const double theta = angles.GetAxis(axis - 1);
        const CVec3d in = point;
        RotateVecAboutAxis(point, in, std::sin(theta), std::cos(theta), axis);
    }
}
