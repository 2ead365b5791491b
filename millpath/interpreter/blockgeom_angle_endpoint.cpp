#include "blockgeom_angle_endpoint.h"

#include <cmath>
#include <numbers>

#include "diff_rc_geo.h"
#include "geo_codes.h"
#include "rc_geometry.h"

namespace
{
int Refuse(std::uint32_t& message)
{
    message = AngleEndPointMsg::Refused;
    return -1;
}
} // namespace

int AngleEndPoint(CBlockState& block, std::uint32_t& message)
{
    message = 0;
    if (!block.m_angleProgrammed || block.m_plane < 0 || block.m_plane > 2)
    {
        return Refuse(message);
    }
    const int u = block.m_plane;           // first axis of the plane
    const int v = (block.m_plane + 1) % 3; // second axis
    const double angle = block.m_angle * std::numbers::pi * 0.005555555555555556;
    const double su = block.m_start.GetAxis(u);
    const double sv = block.m_start.GetAxis(v);
    const bool uGiven = block.m_axisProgrammed[u];
    const bool vGiven = block.m_axisProgrammed[v];

    if (block.m_lengthGiven)
    {
        block.m_lengthGiven = false;
        if (uGiven || vGiven)
        {
            return Refuse(message);
        }
        block.m_target.SetAxis(u, su + block.m_length * std::cos(angle));
        block.m_target.SetAxis(v, sv + block.m_length * std::sin(angle));
    }
    else
    {
        if (uGiven == vGiven)
        {
            return Refuse(message);
        }
        // Both lines in plane coordinates (u as x, v as y).
        int status = 0;
        const CDiffRcGeoLine angleLine(status, 0, CVec3d(su, sv, 0.0),
                                       CVec3d(su + std::cos(angle), sv + std::sin(angle), 0.0));
        const CVec3d through =
            uGiven ? CVec3d(block.m_target.GetAxis(u), sv, 0.0) : CVec3d(su, block.m_target.GetAxis(v), 0.0);
        const CVec3d along = uGiven ? CVec3d(0.0, 1.0, 0.0) : CVec3d(1.0, 0.0, 0.0);
        const CDiffRcGeoLine coordinateLine(status, 0, through, through + along);
        CVec3d meet;
        if (IntersectLines(meet, angleLine, coordinateLine) != GeoResult::OnePoint)
        {
            return Refuse(message);
        }
        block.m_target.SetAxis(u, meet.GetX());
        block.m_target.SetAxis(v, meet.GetY());
    }
    block.m_axisProgrammed[u] = true;
    block.m_axisProgrammed[v] = true;
    return 0;
}
