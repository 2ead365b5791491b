#include "rc_entry_geometry.h"

#include "base_geo_calc.h"
#include "geo_codes.h"
#include "rc_geometry.h"

#include <cmath>

int ChooseIntersection(CVec3d& out, const CEntryGeo_3D& entry, const CVec3d& p1, const CVec3d& p2,
                       const CVec3d& centre, int ccw)
{
    const double d1 = Distance(p1, entry.m_target);
    const double d2 = Distance(p2, entry.m_target);
    if (std::fabs(d1 - d2) > 1e-6)
    {
        out = d1 <= d2 ? p1 : p2;
        return GeoResult::Ok;
    }
    const int kind = GeoKindOf(entry);
    int sense = ccw;
    if (kind == GeoKind::Arc || kind == GeoKind::Helix)
    {
        const double sweep = entry.m_rotation.GetZ();
        if (sweep == 0.0)
        {
            return GeoResult::NoChoice;
        }
        sense = sweep > 0.0 ? 1 : 0;
    }
    else if (kind != GeoKind::Line)
    {
        return GeoResult::NoChoice;
    }
    // The point met first going on from the programmed corner along the circle.
    const CVec3d corner = PlaneOf(entry.m_target - centre);
    double a1 = 0.0;
    double a2 = 0.0;
    int rc = SweepAngle(a1, corner, PlaneOf(p1 - centre), sense);
    if (rc == GeoResult::Ok)
    {
        rc = SweepAngle(a2, corner, PlaneOf(p2 - centre), sense);
    }
    if (rc != GeoResult::Ok)
    {
        return rc;
    }
    out = a1 <= a2 ? p1 : p2;
    return GeoResult::Ok;
}

void MovedAxes(CEntryGeo_3D& entry)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        entry.m_prep.m_axisMoves[axis] =
            entry.m_target.GetAxis(axis) != entry.m_start.GetAxis(axis) ? 1u : 0u;
    }
}
