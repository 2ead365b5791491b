// Plane geometry of the radius correction: line equations, intersections,
// turn and sweep angles and axis rotations, all in the x-y plane.
// Angles are right-handed about +z: counter-clockwise is positive.
#pragma once

#include "vec3d.h"

class CDiffRcGeoLine;
class CDiffRcGeoCircle;
class CBDiffRcGeoObj;

// GeoResult::OnePoint with the point, Coincident or NoIntersection.
int IntersectLines(CVec3d& out, const CDiffRcGeoLine& line1, const CDiffRcGeoLine& line2);
// NoIntersection, OnePoint (touching, p1) or TwoPoints (p1 and p2).
int IntersectLineCircle(CVec3d& p1, CVec3d& p2, const CDiffRcGeoLine& line, const CDiffRcGeoCircle& circle);
// NoIntersection, OnePoint, TwoPoints or Coincident.
int IntersectCircles(CVec3d& p1, CVec3d& p2, const CDiffRcGeoCircle& circle1,
                     const CDiffRcGeoCircle& circle2);

// Counter-clockwise turn in the plane from d1 to d2, 0 up to 2*pi; returns 0
// or the error of Angle for a direction without length in the plane.
std::uint32_t TurnAngle(double& out, const CVec3d& d1, const CVec3d& d2);
// Turn from the end tangent of e1 to the start tangent of e2: 0 straight on,
// pi a reversal, below pi a left turn.
std::uint32_t JunctionAngle(double& out, const CBDiffRcGeoObj& e1, const CBDiffRcGeoObj& e2);
// Angle from r1 to r2 turning counter-clockwise (ccw 1) or clockwise (ccw 0),
// 0 up to 2*pi; GeoResult::Invalid or GeoResult::NoSweep on failure.
int SweepAngle(double& out, const CVec3d& r1, const CVec3d& r2, int ccw);
// Vector in the plane from the point to its foot on the line.
void PerpendicularToLine(CVec3d& out, const CDiffRcGeoLine& line, const CVec3d& point);

// Turns in about axis 1 (x), 2 (y) or 3 (z) by the angle with sine s and
// cosine c; 1 when done, 0 (out untouched) for another axis number.
int RotateVecAboutAxis(CVec3d& out, const CVec3d& in, double s, double c, int axis);
// Turns the point about z, then y, then x by the components of angles (radians).
void RotateByAngles(CVec3d& point, const CVec3d& angles);

// x, y of v with z = 0.
CVec3d PlaneOf(const CVec3d& v);
