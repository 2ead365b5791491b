#include "blockgeom_centre.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geo_compare.h"

namespace
{
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// u and v span the plane, n is its normal; (u, v, n) is right-handed.
struct PlaneAxes
{
    int u, v, n;
};

bool AxesOf(int plane, PlaneAxes& axes)
{
    if (plane < 0 || plane > 2)
    {
        return false;
    }
    axes = {plane, (plane + 1) % 3, (plane + 2) % 3};
    return true;
}

int Fail(BlockGeomFault& fault, std::uint32_t message)
{
    fault.m_message = message;
    fault.m_format = "%d%d";
    fault.m_valueCount = 0;
    return 0;
}

int Fail(BlockGeomFault& fault, std::uint32_t message, double a, double b)
{
    fault.m_message = message;
    fault.m_format = "%d%d%f%f";
    fault.m_valueCount = 2;
    fault.m_values[0] = a;
    fault.m_values[1] = b;
    return 0;
}

// Sets an axis's centre-set flag (a newly set one counts as a change of the
// block) and gives the block output.
void MarkCentreSet(CBlockState& block, int axis, int& pendingOutputs)
{
    if (!block.m_centreSet[axis])
    {
        block.m_centreSet[axis] = true;
        ++block.m_changedCount;
    }
    block.markOutput(pendingOutputs);
}

// Before a centre is computed: the offsets not programmed and the rotation
// start from zero.
void ClearUnprogrammedCentre(CBlockState& block)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        if (!block.m_centreProgrammed[axis])
        {
            block.m_centre.SetAxis(axis, 0.0);
        }
    }
    block.m_rotation.Set(0.0, 0.0, 0.0);
}

// Counter-clockwise angle from (au, av) to (bu, bv) in [0, 2*pi).
double CcwAngle(double au, double av, double bu, double bv)
{
    const double a = std::atan2(au * bv - av * bu, au * bu + av * bv);
    return a < 0.0 ? a + kTwoPi : a;
}

// Moves the centre (relative to the start) onto the chord's bisector at the
// given radius from both ends, on the side nearer the programmed centre.
void CorrectCentre(double& pu, double& pv, double du, double dv, double radius)
{
    const double halfChord = 0.5 * std::hypot(du, dv);
    const double toCentre = std::sqrt(std::max(0.0, radius * radius - halfChord * halfChord));
    const double nu = -dv / (2.0 * halfChord);
    const double nv = du / (2.0 * halfChord);
    const double mu = 0.5 * du;
    const double mv = 0.5 * dv;
    const double au = mu + toCentre * nu, av = mv + toCentre * nv;
    const double bu = mu - toCentre * nu, bv = mv - toCentre * nv;
    if (std::hypot(au - pu, av - pv) <= std::hypot(bu - pu, bv - pv))
    {
        pu = au;
        pv = av;
    }
    else
    {
        pu = bu;
        pv = bv;
    }
}
} // namespace

int CentreFromOffsets(CBlockState& block, double radiusPrecision, int& pendingOutputs, BlockGeomFault& fault)
{
    ClearUnprogrammedCentre(block);
    PlaneAxes ax{};
    if (!AxesOf(block.m_plane, ax))
    {
        return Fail(fault, BlockGeomMsg::BadPlane);
    }
    double pu = block.m_centre.GetAxis(ax.u);
    double pv = block.m_centre.GetAxis(ax.v);
    const double du = block.m_target.GetAxis(ax.u) - block.m_start.GetAxis(ax.u);
    const double dv = block.m_target.GetAxis(ax.v) - block.m_start.GetAxis(ax.v);
    const double r1 = std::hypot(pu, pv);
    const double r2 = std::hypot(du - pu, dv - pv);
    if (std::fabs(r1 - r2) > radiusPrecision)
    {
        return Fail(fault, BlockGeomMsg::RadiiDiffer, std::fabs(r1 - r2), radiusPrecision);
    }
    block.m_radius = std::sqrt((r1 * r1 + r2 * r2) / 2.0);

    if (block.m_centreCorrection && (du * du + dv * dv) / 4.0 > 1e-6)
    {
        CorrectCentre(pu, pv, du, dv, block.m_radius);
        block.m_centre.SetAxis(ax.u, pu);
        block.m_centre.SetAxis(ax.v, pv);
        const double s2 = pu * pu + pv * pv;
        const double e2 = (du - pu) * (du - pu) + (dv - pv) * (dv - pv);
        block.m_radius = std::sqrt((s2 + e2) / 2.0);
    }

    double sweep = 0.0;
    if (std::fabs(du) <= 0.0001 && std::fabs(dv) <= 0.0001)
    {
        if (std::fabs(pu) <= 0.0001 && std::fabs(pv) <= 0.0001)
        {
            return Fail(fault, BlockGeomMsg::CentreOnEnds);
        }
        sweep = block.m_ccw ? kTwoPi : -kTwoPi;
    }
    else
    {
        const double ccw = CcwAngle(-pu, -pv, du - pu, dv - pv);
        sweep = block.m_ccw ? ccw : (ccw == 0.0 ? 0.0 : -(kTwoPi - ccw));
    }
    block.m_rotation.SetAxis(ax.n, sweep);

    for (int axis = 0; axis < 3; ++axis)
    {
        if (block.m_centreProgrammed[axis])
        {
            MarkCentreSet(block, axis, pendingOutputs);
            block.m_centreProgrammed[axis] = false;
        }
    }
    return 1;
}

int CentreFromRadius(CBlockState& block, double radiusPrecision, int& pendingOutputs, BlockGeomFault& fault)
{
    const double r = block.m_radius;
    block.m_radius = std::fabs(r);
    if (r == 0.0)
    {
        return Fail(fault, BlockGeomMsg::RadiusZero);
    }
    block.m_centre.Set(0.0, 0.0, 0.0);
    block.m_rotation.Set(0.0, 0.0, 0.0);
    PlaneAxes ax{};
    if (!AxesOf(block.m_plane, ax))
    {
        return Fail(fault, BlockGeomMsg::BadPlane);
    }
    block.m_rotation.SetAxis(ax.n, 1.0);

    const double su = block.m_start.GetAxis(ax.u);
    const double sv = block.m_start.GetAxis(ax.v);
    const double eu = block.m_target.GetAxis(ax.u);
    const double ev = block.m_target.GetAxis(ax.v);
    const double du = eu - su;
    const double dv = ev - sv;
    if (std::fabs(du) < 1e-6 && std::fabs(dv) < 1e-6)
    {
        return Fail(fault, BlockGeomMsg::EndsCoincide);
    }
    const double chord = std::hypot(du, dv);
    // The short arc of G3 has its centre left of the chord, that of G2 right;
    // a negative radius (the long arc) takes the other side.
    double theta = std::atan2(dv, du) + kPi / 2.0;
    if (!block.m_ccw)
    {
        theta += kPi;
    }
    if (r < 0.0)
    {
        theta += kPi;
    }
    theta = std::remainder(theta, kTwoPi);

    double h = r * r - chord * chord / 4.0;
    if (h < -radiusPrecision)
    {
        return Fail(fault, BlockGeomMsg::RadiusShort, r, chord);
    }
    h = std::max(h, 0.0); // short by no more than the precision: a half circle
    const double root = std::sqrt(h);
    block.m_centre.SetAxis(ax.u, std::cos(theta) * root + (eu + su) / 2.0 - su);
    block.m_centre.SetAxis(ax.v, std::sin(theta) * root + (ev + sv) / 2.0 - sv);

    double sweep = 2.0 * std::atan2(chord, 2.0 * root);
    if (r < 0.0)
    {
        sweep = kTwoPi - sweep;
    }
    if (!block.m_ccw)
    {
        sweep = -sweep;
    }
    block.m_rotation.Scale(sweep);

    MarkCentreSet(block, ax.u, pendingOutputs);
    MarkCentreSet(block, ax.v, pendingOutputs);
    return 1;
}

int ThreePointCircle(const CVec3d& p1, const CVec3d& p2, const CVec3d& p3, CVec3d& centre, CVec3d& rotation,
                     double& radius)
{
    const CVec3d a = p2 - p1;
    const CVec3d b = p3 - p1;
    const CVec3d n = Cross(a, b);
    if (n.Length() < 1e-8)
    {
        return -1; // on one line, or points coincide
    }
    if (Smallest(Distance(p1, p2), Distance(p2, p3), Distance(p1, p3)) < 0.001)
    {
        return -1;
    }
    if (std::fabs(n.GetX()) <= 1e-8 && std::fabs(n.GetY()) <= 1e-8 && std::fabs(n.GetZ()) <= 1e-8)
    {
        return -2; // every minor of the system vanishes
    }
    // Equidistant from the three points within their plane.
    const CVec3d c = p1 + Cross(Dot(a, a) * b - Dot(b, b) * a, n) / (2.0 * Dot(n, n));
    const double r = Distance(c, p1);
    if (r < 1e-8 || std::fabs(Distance(c, p2) - r) > 1e-8 || std::fabs(Distance(c, p3) - r) > 1e-8)
    {
        return -1;
    }

    const CVec3d rs = p1 - c;
    const CVec3d rm = p2 - c;
    const CVec3d re = p3 - c;
    CVec3d axis = Cross(rs, rm);
    if (axis.Length() <= 1e-8)
    {
        axis = Cross(rs, re);
    }
    axis = axis.Unit();
    // Angle about the axis from the start radius to a target radius, checked
    // by turning the start radius onto it; -1 or -2 when it cannot be formed.
    auto angleTo = [&](const CVec3d& target, double& angle)
    {
        double unsignedAngle = 0.0;
        if (Angle(unsignedAngle, rs, target) != 0)
        {
            return -1;
        }
        const double turn = std::atan2(Dot(axis, Cross(rs, target)), Dot(rs, target));
        angle = turn < 0.0 ? turn + kTwoPi : turn;
        return Distance(RotateInPlane(rs, axis, angle), target) > 1e-8 ? -2 : 0;
    };
    double toMiddle = 0.0;
    double toEnd = 0.0;
    if (const int rc = angleTo(rm, toMiddle); rc != 0)
    {
        return rc;
    }
    if (const int rc = angleTo(re, toEnd); rc != 0)
    {
        return rc;
    }
    // The arc runs from the start through the intermediate point to the end:
    // about the axis when the intermediate point comes first, else against it.
    rotation = toMiddle <= toEnd ? axis * toEnd : -axis * (kTwoPi - toEnd);
    centre = c;
    radius = r;
    return 0;
}

int CentreFromThreePoints(CBlockState& block, int& pendingOutputs, BlockGeomFault& fault)
{
    ClearUnprogrammedCentre(block);
    CVec3d centre;
    CVec3d rotation;
    double radius = 0.0;
    if (ThreePointCircle(block.m_start, block.m_start + block.m_centre, block.m_target, centre, rotation,
                         radius) < 0)
    {
        return Fail(fault, BlockGeomMsg::ThreePoints);
    }
    block.m_radius = radius;
    block.m_centre = centre - block.m_start;
    block.m_rotation = rotation;
    for (int axis = 0; axis < 3; ++axis)
    {
        MarkCentreSet(block, axis, pendingOutputs);
        block.m_centreProgrammed[axis] = false;
    }
    if (block.m_pendingChange)
    {
        block.markChanged(pendingOutputs);
    }
    return 1;
}

void ClearGeometryRequests(CBlockState& block)
{
    block.m_motionProgrammed = false;
    block.m_radiusProgrammed = false;
    for (bool& programmed : block.m_centreProgrammed)
    {
        programmed = false;
    }
}

int BlockCentreStep(CBlockState& block, const CentreContext& context, int& pendingOutputs,
                    BlockGeomFault& fault, bool& threePointUsed)
{
    threePointUsed = false;
    if (!block.m_motionProgrammed)
    {
        ClearGeometryRequests(block);
    }
    else
    {
        // Taken before the centre is made, which clears the offsets' flags.
        const bool offsets =
            block.m_centreProgrammed[0] || block.m_centreProgrammed[1] || block.m_centreProgrammed[2];
        const bool radius = block.m_radiusProgrammed;
        if (radius)
        {
            if (!CentreFromRadius(block, context.m_radiusPrecision, pendingOutputs, fault))
            {
                return 0;
            }
        }
        else if (offsets)
        {
            threePointUsed = context.m_threePoint;
            const int done = context.m_threePoint
                                 ? CentreFromThreePoints(block, pendingOutputs, fault)
                                 : CentreFromOffsets(block, context.m_radiusPrecision, pendingOutputs, fault);
            if (!done)
            {
                return 0;
            }
        }
        if ((block.m_ipolMode == 2 || block.m_ipolMode == 3) && !offsets && !radius)
        {
            return Fail(fault, BlockGeomMsg::NoCentre);
        }
    }
    if (!block.m_hasOutput)
    {
        ClearGeometryRequests(block);
    }
    return 1;
}
