// Plane geometry of the radius correction that reads a geometry entry.
#pragma once

#include "entry.h"
#include "vec3d.h"

// Of two intersection points, the one nearer the entry's programmed end point
// (the programmed corner). Points equally near (within 1e-6) are decided along
// the circle about centre: in the given sense (1 counter-clockwise) for a line
// entry, in the sense of the entry's own sweep for an arc or helix. 0, the
// error of SweepAngle, or GeoResult::NoChoice for another kind or no sweep.
int ChooseIntersection(CVec3d& out, const CEntryGeo_3D& entry, const CVec3d& p1, const CVec3d& p2,
                       const CVec3d& centre, int ccw);

// Sets the entry's x, y and z move flags where the end differs from the start.
void MovedAxes(CEntryGeo_3D& entry);
