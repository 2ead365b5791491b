#include "rotation.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;
} // namespace

CVec3d RotateAboutAxis(const CVec3d& v, int axis, double degrees)
{
    CVec3d unit;
    unit.SetAxis(axis, 1.0);
    const CVec3d along = unit * Dot(v, unit);
    return along + RotateInPlane(v - along, unit, degrees * Pi / 180.0);
}

CVec3d RotateByAngles(const CVec3d& v, const double angles[3])
{
    CVec3d r = RotateAboutAxis(v, 2, angles[2]);
    r = RotateAboutAxis(r, 1, angles[1]);
    return RotateAboutAxis(r, 0, angles[0]);
}

CVec3d RotateBackByAngles(const CVec3d& v, const double angles[3])
{
    CVec3d r = RotateAboutAxis(v, 0, -angles[0]);
    r = RotateAboutAxis(r, 1, -angles[1]);
    return RotateAboutAxis(r, 2, -angles[2]);
}
