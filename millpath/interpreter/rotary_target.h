// Target of a rotary axis positioned modulo 360 degrees: the programmed value
// gives the angle (its magnitude modulo 360), the extra whole turns and, by
// its sign, the direction of the move from the current position.
#pragma once

double RotaryTarget(double programmed, double current);
