// Numeric comparisons with tolerance shared by all geometry code.
#pragma once

bool NearlyEqual(double a, double b, double tol);
bool LessOrNear(double a, double b, double tol);
bool GreaterOrNear(double a, double b, double tol);

// The default tolerance of the two-argument forms (initially 1e-12).
double DefaultTolerance();
void SetDefaultTolerance(double tol);
bool LessOrNear(double a, double b);
bool GreaterOrNear(double a, double b);

// low < x < high, strictly and without tolerance.
bool Between(double low, double x, double high);
// low <= x <= high within the default tolerance.
bool BetweenOrNear(double low, double x, double high);
double Smallest(double x, double a, double b);
bool IsGreater(double x, double limit);
bool IsLess(double x, double limit);
// a > b and not NearlyEqual(a, b, tol).
bool ClearlyGreater(double a, double b, double tol);
// 1, -1 or 0 by the sign of x.
int Sign(double x);
