#include "vec3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace
{
constexpr double pi = std::numbers::pi;
constexpr double inf = std::numeric_limits<double>::infinity();

void ExpectVec(const CVec3d& v, double x, double y, double z, double tol = 1e-12)
{
    EXPECT_NEAR(v.GetX(), x, tol);
    EXPECT_NEAR(v.GetY(), y, tol);
    EXPECT_NEAR(v.GetZ(), z, tol);
}
} // namespace

TEST(Vec3d, ConstructionAndAxisAccess)
{
    CVec3d zero;
    ExpectVec(zero, 0, 0, 0, 0);

    CVec3d v(1, 2, 3);
    EXPECT_EQ(v.GetAxis(0), 1);
    EXPECT_EQ(v.GetAxis(1), 2);
    EXPECT_EQ(v.GetAxis(2), 3);
    EXPECT_EQ(v.GetAxis(3), 0.0);
    EXPECT_EQ(v.GetAxis(-1), 0.0);

    v.SetAxis(3, 99);
    ExpectVec(v, 1, 2, 3, 0);
    v.SetAxis(1, 7);
    v.Component(2) = 8;
    ExpectVec(v, 1, 7, 8, 0);

    double raw[3] = {};
    v.ToArray(raw);
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[1], 7);
    EXPECT_EQ(raw[2], 8);
    CVec3d w;
    const double in[3] = {4, 5, 6};
    w.FromArray(in);
    ExpectVec(w, 4, 5, 6, 0);
    w.Assign(v);
    ExpectVec(w, 1, 7, 8, 0);
}

TEST(Vec3d, Arithmetic)
{
    const CVec3d a(1, 2, 3);
    const CVec3d b(4, -5, 6);
    ExpectVec(a + b, 5, -3, 9);
    ExpectVec(a - b, -3, 7, -3);
    ExpectVec(-a, -1, -2, -3);
    ExpectVec(a * 2, 2, 4, 6);
    ExpectVec(2 * a, 2, 4, 6);
    ExpectVec(a / 4, 0.25, 0.5, 0.75);
    ExpectVec(Cross(a, b), 2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4);
    EXPECT_DOUBLE_EQ(Dot(a, b), 4 - 10 + 18);
    EXPECT_DOUBLE_EQ(CVec3d(3, 4, 0).Length(), 5);
    ExpectVec(CVec3d(0, 0, -2).Unit(), 0, 0, -1);
    EXPECT_DOUBLE_EQ(Distance(CVec3d(1, 1, 1), CVec3d(1, 4, 5)), 5);

    CVec3d c(1, 2, 3);
    CVec3d& r = c.Scale(2).Add(CVec3d(1, 1, 1)).Subtract(CVec3d(0, 0, 7)).Divide(0.5);
    EXPECT_EQ(&r, &c);
    ExpectVec(c, 6, 10, 0);
    // Operands of value operations stay unchanged.
    ExpectVec(a, 1, 2, 3, 0);
}

struct AngleCase
{
    CVec3d a;
    CVec3d b;
    std::uint32_t result;
    double expected; // NaN when the output must stay untouched
};

TEST(Vec3d, AngleTable)
{
    const double untouched = std::numeric_limits<double>::quiet_NaN();
    const AngleCase cases[] = {
        {CVec3d(1, 0, 0), CVec3d(0, 0, 0), VEC_ERR_NO_COSINE, untouched},
        {CVec3d(0, 0, 0), CVec3d(0, 1, 0), VEC_ERR_NO_COSINE, untouched},
        {CVec3d(1, 0, 0), CVec3d(-2, 0, 0), 0, pi},
        {CVec3d(1, 0, 0), CVec3d(0, 3, 0), 0, pi / 2},
        {CVec3d(1, 1, 0), CVec3d(5, 0, 0), 0, pi / 4},
        {CVec3d(0, 0, 2), CVec3d(0, 0, 3), 0, 0.0},
    };
    for (const auto& c : cases)
    {
        double out = -42.0;
        EXPECT_EQ(Angle(out, c.a, c.b), c.result);
        if (std::isnan(c.expected))
        {
            EXPECT_EQ(out, -42.0);
        }
        else
        {
            EXPECT_NEAR(out, c.expected, 1e-15);
        }
    }
}

TEST(Vec3d, AngleOfEqualVectorsIsExactlyZeroWhereCosineOvershoots)
{
    // Find a vector whose cosine with itself exceeds 1 so that the clamp is exercised.
    bool found = false;
    for (int i = 1; i < 200 && !found; ++i)
    {
        const CVec3d v(0.1 * i, 0.37 * i + 0.01, 0.013 * i);
        double c = 0.0;
        ASSERT_EQ(CosAngle(c, v, v), 0u);
        if (c > 1.0)
        {
            found = true;
            double out = -1.0;
            ASSERT_EQ(Angle(out, v, v), 0u);
            EXPECT_EQ(out, 0.0);
        }
    }
    EXPECT_TRUE(found);
}

TEST(Vec3d, CosAngleZeroVectorLeavesOutput)
{
    double out = 5.0;
    EXPECT_EQ(CosAngle(out, CVec3d(), CVec3d(1, 0, 0)), VEC_ERR_ZERO_LENGTH);
    EXPECT_EQ(out, 5.0);
    EXPECT_EQ(CosAngle(out, CVec3d(2, 0, 0), CVec3d(0, -3, 0)), 0u);
    EXPECT_EQ(out, 0.0);
}

struct UnaryCase
{
    double (*fn)(double);
    double x;
    double expected;
};

TEST(Vec3d, SafeAcosAsinTable)
{
    const UnaryCase cases[] = {
        {SafeAcos, 1.0000001, 0.0}, {SafeAcos, -1.5, pi},    {SafeAcos, 0.5, pi / 3},
        {SafeAsin, -3, -pi / 2},    {SafeAsin, 1.2, pi / 2}, {SafeAsin, 0.5, pi / 6},
    };
    for (const auto& c : cases)
    {
        EXPECT_NEAR(c.fn(c.x), c.expected, 1e-15) << c.x;
    }
}

TEST(Vec3d, SafePowTable)
{
    struct
    {
        double a, b, expected;
    } cases[] = {
        {0, 0, 1},  {0, 2, 0},     {0, -1, -inf}, {-8, 1.0 / 3, inf}, {-8, -2, -inf},
        {-8, 0, 1}, {2, 10, 1024}, {4, 0.5, 2},   {2, -1, 0.5},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(SafePow(c.a, c.b), c.expected) << c.a << " ^ " << c.b;
    }
}

TEST(Vec3d, RotateInPlaneIsRightHanded)
{
    struct
    {
        CVec3d b, c;
        double theta;
        CVec3d expected;
    } cases[] = {
        {CVec3d(1, 0, 0), CVec3d(0, 0, 1), 0.0, CVec3d(1, 0, 0)},
        {CVec3d(1, 0, 0), CVec3d(0, 0, 1), pi / 2, CVec3d(0, 1, 0)},   // c x b
        {CVec3d(1, 0, 0), CVec3d(0, 0, -1), pi / 2, CVec3d(0, -1, 0)}, // clockwise about -z
        {CVec3d(0, 2, 0), CVec3d(0, 0, 1), pi, CVec3d(0, -2, 0)},
        {CVec3d(0, 1, 0), CVec3d(1, 0, 0), pi / 2, CVec3d(0, 0, 1)},
        {CVec3d(3, 4, 0), CVec3d(0, 0, 1), -pi / 2, CVec3d(4, -3, 0)},
    };
    for (const auto& c : cases)
    {
        const CVec3d r = RotateInPlane(c.b, c.c, c.theta);
        ExpectVec(r, c.expected.GetX(), c.expected.GetY(), c.expected.GetZ());
        CVec3d inPlace = c.b;
        inPlace.RotateInPlane(c.c, c.theta);
        ExpectVec(inPlace, r.GetX(), r.GetY(), r.GetZ(), 0);
    }
}
