// Three-dimensional vector of doubles (x, y, z) used for every point, direction
// and offset of the interpreter and the path preparation.
#pragma once

#include <cstdint>

// Result codes of the angle helpers (returned, never thrown).
constexpr std::uint32_t VEC_ERR_ZERO_LENGTH = 0x42C1; // CosAngle: an operand of length 0
constexpr std::uint32_t VEC_ERR_NO_COSINE = 0x42C2;   // Angle: cosine could not be formed

class CVec3d
{
public:
    CVec3d() = default;
    CVec3d(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    CVec3d(const CVec3d& other) = default;
    CVec3d& operator=(const CVec3d& other) = default;
    virtual ~CVec3d() = default;

    CVec3d& Assign(const CVec3d& other);

    double GetX() const { return m_x; }
    double GetY() const { return m_y; }
    double GetZ() const { return m_z; }
    void SetX(double v) { m_x = v; }
    void SetY(double v) { m_y = v; }
    void SetZ(double v) { m_z = v; }
    void Set(double x, double y, double z);

    // Axis 0, 1, 2 is x, y, z; other numbers read 0.0 and write nothing.
    double GetAxis(int axis) const;
    void SetAxis(int axis, double value);
    // Array-style access; the caller keeps axis within 0..2.
    double& Component(int axis);
    const double& Component(int axis) const;

    void ToArray(double* out) const;
    void FromArray(const double* in);

    // In-place arithmetic; each returns the vector itself.
    CVec3d& Scale(double s);
    CVec3d& Divide(double s);
    CVec3d& Add(const CVec3d& v);
    CVec3d& Subtract(const CVec3d& v);
    // Turns this vector about c by theta (see the free RotateInPlane).
    CVec3d& RotateInPlane(const CVec3d& c, double theta);

    double Length() const;
    // The caller makes sure that the length is not zero.
    CVec3d Unit() const;

private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
};

CVec3d operator+(const CVec3d& a, const CVec3d& b);
CVec3d operator-(const CVec3d& a, const CVec3d& b);
CVec3d operator-(const CVec3d& a);
CVec3d operator*(const CVec3d& a, double s);
CVec3d operator*(double s, const CVec3d& a);
CVec3d operator/(const CVec3d& a, double s);

CVec3d Cross(const CVec3d& a, const CVec3d& b);
double Dot(const CVec3d& a, const CVec3d& b);
double Distance(const CVec3d& a, const CVec3d& b);

// cos(theta) * b + sin(theta) * (c x b). With c a unit axis and b perpendicular
// to it this turns b about c by theta, right-handed (counter-clockwise seen from
// the tip of c).
CVec3d RotateInPlane(const CVec3d& b, const CVec3d& c, double theta);

// Cosine of the angle between a and b; VEC_ERR_ZERO_LENGTH (out untouched) when
// either has length exactly 0.
std::uint32_t CosAngle(double& out, const CVec3d& a, const CVec3d& b);
// Angle between a and b in 0..pi; VEC_ERR_NO_COSINE (out untouched) on failure.
std::uint32_t Angle(double& out, const CVec3d& a, const CVec3d& b);

// Arc cosine / arc sine with the argument clamped to [-1, 1].
double SafeAcos(double x);
double SafeAsin(double x);
// a to the power b with defined results where no real power exists.
double SafePow(double a, double b);
