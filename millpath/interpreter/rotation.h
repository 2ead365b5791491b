// Turns of a vector by the interpreter's rotation angles (degrees, one per
// coordinate axis), right-handed about each axis.
#pragma once

#include "vec3d.h"

// v turned about coordinate axis 0 (X), 1 (Y) or 2 (Z).
CVec3d RotateAboutAxis(const CVec3d& v, int axis, double degrees);
// About Z, then Y, then X by angles[2], angles[1], angles[0].
CVec3d RotateByAngles(const CVec3d& v, const double angles[3]);
// The inverse turn: the negated angles about X, then Y, then Z.
CVec3d RotateBackByAngles(const CVec3d& v, const double angles[3]);
