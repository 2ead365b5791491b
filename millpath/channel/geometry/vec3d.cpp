#include "vec3d.h"

#include <algorithm>
#include <cmath>
#include <limits>

CVec3d& CVec3d::Assign(const CVec3d& other)
{
    m_x = other.m_x;
    m_y = other.m_y;
    m_z = other.m_z;
    return *this;
}

void CVec3d::Set(double x, double y, double z)
{
    m_x = x;
    m_y = y;
    m_z = z;
}

double CVec3d::GetAxis(int axis) const
{
    switch (axis)
    {
    case 0:
        return m_x;
    case 1:
        return m_y;
    case 2:
        return m_z;
    default:
        return 0.0;
    }
}

void CVec3d::SetAxis(int axis, double value)
{
    switch (axis)
    {
    case 0:
        m_x = value;
        break;
    case 1:
        m_y = value;
        break;
    case 2:
        m_z = value;
        break;
    default:
        break;
    }
}

double& CVec3d::Component(int axis)
{
    return axis == 0 ? m_x : (axis == 1 ? m_y : m_z);
}

const double& CVec3d::Component(int axis) const
{
    return axis == 0 ? m_x : (axis == 1 ? m_y : m_z);
}

void CVec3d::ToArray(double* out) const
{
    out[0] = m_x;
    out[1] = m_y;
    out[2] = m_z;
}

void CVec3d::FromArray(const double* in)
{
    m_x = in[0];
    m_y = in[1];
    m_z = in[2];
}

CVec3d& CVec3d::Scale(double s)
{
    m_x *= s;
    m_y *= s;
    m_z *= s;
    return *this;
}

CVec3d& CVec3d::Divide(double s)
{
    return Scale(1.0 / s);
}

CVec3d& CVec3d::Add(const CVec3d& v)
{
    m_x += v.m_x;
    m_y += v.m_y;
    m_z += v.m_z;
    return *this;
}

CVec3d& CVec3d::Subtract(const CVec3d& v)
{
    m_x -= v.m_x;
    m_y -= v.m_y;
    m_z -= v.m_z;
    return *this;
}

CVec3d& CVec3d::RotateInPlane(const CVec3d& c, double theta)
{
    return Assign(::RotateInPlane(*this, c, theta));
}

double CVec3d::Length() const
{
    return std::sqrt(Dot(*this, *this));
}

CVec3d CVec3d::Unit() const
{
    return *this / Length();
}

CVec3d operator+(const CVec3d& a, const CVec3d& b)
{
    return CVec3d(a).Add(b);
}

CVec3d operator-(const CVec3d& a, const CVec3d& b)
{
    return CVec3d(a).Subtract(b);
}

CVec3d operator-(const CVec3d& a)
{
    return CVec3d(-a.GetX(), -a.GetY(), -a.GetZ());
}

CVec3d operator*(const CVec3d& a, double s)
{
    return CVec3d(a).Scale(s);
}

CVec3d operator*(double s, const CVec3d& a)
{
    return CVec3d(a).Scale(s);
}

CVec3d operator/(const CVec3d& a, double s)
{
    return a * (1.0 / s);
}

CVec3d Cross(const CVec3d& a, const CVec3d& b)
{
    return CVec3d(a.GetY() * b.GetZ() - a.GetZ() * b.GetY(), a.GetZ() * b.GetX() - a.GetX() * b.GetZ(),
                  a.GetX() * b.GetY() - a.GetY() * b.GetX());
}

double Dot(const CVec3d& a, const CVec3d& b)
{
    return a.GetX() * b.GetX() + a.GetY() * b.GetY() + a.GetZ() * b.GetZ();
}

double Distance(const CVec3d& a, const CVec3d& b)
{
    return (a - b).Length();
}

CVec3d RotateInPlane(const CVec3d& b, const CVec3d& c, double theta)
{
    return std::cos(theta) * b + std::sin(theta) * Cross(c, b);
}

std::uint32_t CosAngle(double& out, const CVec3d& a, const CVec3d& b)
{
    const double la = a.Length();
    const double lb = b.Length();
    if (la == 0.0 || lb == 0.0)
    {
        return VEC_ERR_ZERO_LENGTH;
    }
    out = Dot(a * (1.0 / la), b * (1.0 / lb));
    return 0;
}

std::uint32_t Angle(double& out, const CVec3d& a, const CVec3d& b)
{
    double c = 0.0;
    if (CosAngle(c, a, b) != 0)
    {
        return VEC_ERR_NO_COSINE;
    }
    out = std::acos(std::clamp(c, -1.0, 1.0));
    return 0;
}

double SafeAcos(double x)
{
    return std::acos(std::clamp(x, -1.0, 1.0));
}

double SafeAsin(double x)
{
    return std::asin(std::clamp(x, -1.0, 1.0));
}

double SafePow(double a, double b)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (a > 0.0)
    {
        return std::pow(a, b);
    }
    if (b == 0.0)
    {
        return 1.0;
    }
    if (a == 0.0 && b > 0.0)
    {
        return 0.0;
    }
    // No real power: an infinity with the sign of the exponent (a zero base
    // with a negative exponent lands here too, giving negative infinity).
    return std::copysign(inf, b);
}
