#include "blockgeom_centre.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace
{
constexpr double kPi = std::numbers::pi;
const double kRoot3 = std::sqrt(3.0);

::testing::AssertionResult VecNear(const CVec3d& a, const CVec3d& b, double tol = 1e-9)
{
    if (Distance(a, b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << a.GetX() << ", " << a.GetY() << ", " << a.GetZ() << ") vs (" << b.GetX() << ", "
           << b.GetY() << ", " << b.GetZ() << ")";
}

// The arc's own consistency: the start radius turned right-handedly about the
// rotation vector's direction by its length lands on the end radius.
::testing::AssertionResult ArcReachesEnd(const CBlockState& b)
{
    const CVec3d centre = b.m_start + b.m_centre;
    const double angle = b.m_rotation.Length();
    if (angle == 0.0)
        return ::testing::AssertionFailure() << "no rotation";
    const CVec3d turned = RotateInPlane(b.m_start - centre, b.m_rotation.Unit(), angle);
    return VecNear(turned, b.m_target - centre, 1e-7);
}

CBlockState Block(int plane, bool ccw, CVec3d start, CVec3d target)
{
    CBlockState b;
    b.m_plane = plane;
    b.m_ccw = ccw;
    b.m_start = start;
    b.m_target = target;
    b.m_motionProgrammed = true;
    b.m_ipolMode = ccw ? 3 : 2;
    return b;
}

CBlockState RadiusBlock(int plane, bool ccw, CVec3d start, CVec3d target, double r)
{
    CBlockState b = Block(plane, ccw, start, target);
    b.m_radius = r;
    b.m_radiusProgrammed = true;
    return b;
}

CBlockState OffsetBlock(bool ccw, CVec3d start, CVec3d target, double i, double j)
{
    CBlockState b = Block(0, ccw, start, target);
    b.m_centre.Set(i, j, 0);
    b.m_centreProgrammed[0] = b.m_centreProgrammed[1] = true;
    return b;
}
} // namespace

TEST(BlockGeomCentre, FromRadiusTable)
{
    const CVec3d o(0, 0, 0);
    const CVec3d x2(2, 0, 0);
    const double shortR = std::sqrt(1.0 - 0.05); // falls short by less than the precision
    struct
    {
        const char* name;
        CBlockState block;
        CVec3d centre;
        CVec3d rotation;
        double radius;
    } cases[] = {
        {"G2 half circle", RadiusBlock(0, false, o, x2, 1), CVec3d(1, 0, 0), CVec3d(0, 0, -kPi), 1},
        {"G3 short arc", RadiusBlock(0, true, o, x2, 2), CVec3d(1, kRoot3, 0), CVec3d(0, 0, kPi / 3), 2},
        {"G3 long arc", RadiusBlock(0, true, o, x2, -2), CVec3d(1, -kRoot3, 0),
         CVec3d(0, 0, 2 * kPi - kPi / 3), 2},
        {"G2 short arc", RadiusBlock(0, false, o, x2, 2), CVec3d(1, -kRoot3, 0), CVec3d(0, 0, -kPi / 3), 2},
        {"G2 long arc", RadiusBlock(0, false, o, x2, -2), CVec3d(1, kRoot3, 0),
         CVec3d(0, 0, -(2 * kPi - kPi / 3)), 2},
        {"short within precision", RadiusBlock(0, true, o, x2, shortR), CVec3d(1, 0, 0), CVec3d(0, 0, kPi),
         shortR},
        {"YZ plane", RadiusBlock(1, true, o, CVec3d(0, 2, 0), 1), CVec3d(0, 1, 0), CVec3d(kPi, 0, 0), 1},
        {"ZX plane", RadiusBlock(2, true, o, CVec3d(0, 0, 2), 2), CVec3d(kRoot3, 0, 1), CVec3d(0, kPi / 3, 0),
         2},
        {"helix keeps its rise", RadiusBlock(0, false, CVec3d(0, 0, 1), CVec3d(2, 0, 5), 1), CVec3d(1, 0, 0),
         CVec3d(0, 0, -kPi), 1},
    };
    for (auto& c : cases)
    {
        int pending = 0;
        BlockGeomFault fault;
        ASSERT_EQ(CentreFromRadius(c.block, 0.1, pending, fault), 1) << c.name;
        EXPECT_EQ(fault.m_message, 0u) << c.name;
        EXPECT_TRUE(VecNear(c.block.m_centre, c.centre)) << c.name;
        EXPECT_TRUE(VecNear(c.block.m_rotation, c.rotation)) << c.name;
        EXPECT_NEAR(c.block.m_radius, c.radius, 1e-12) << c.name;
        if (c.block.m_plane == 0 && c.block.m_start.GetZ() == c.block.m_target.GetZ())
        {
            EXPECT_TRUE(ArcReachesEnd(c.block)) << c.name;
        }
        EXPECT_EQ(pending, 1) << c.name;
        EXPECT_EQ(c.block.m_changedCount, 2) << c.name; // u and v newly set
    }
}

TEST(BlockGeomCentre, FromRadiusRefusals)
{
    const CVec3d o(0, 0, 0);
    struct
    {
        const char* name;
        CBlockState block;
        double precision;
        std::uint32_t message;
        int valueCount;
        double v0, v1;
    } cases[] = {
        {"radius 0", RadiusBlock(0, true, o, CVec3d(2, 0, 0), 0), 0.1, BlockGeomMsg::RadiusZero, 0, 0, 0},
        {"ends coincide", RadiusBlock(0, true, o, CVec3d(0, 0, 3), 1), 0.1, BlockGeomMsg::EndsCoincide, 0, 0,
         0},
        {"plane 3", RadiusBlock(3, true, o, CVec3d(2, 0, 0), 1), 0.1, BlockGeomMsg::BadPlane, 0, 0, 0},
        {"radius too short", RadiusBlock(0, true, o, CVec3d(2, 0, 0), 0.5), 0.1, BlockGeomMsg::RadiusShort, 2,
         0.5, 2},
        {"short beyond a finer precision", RadiusBlock(0, true, o, CVec3d(2, 0, 0), std::sqrt(0.95)), 0.01,
         BlockGeomMsg::RadiusShort, 2, std::sqrt(0.95), 2},
    };
    for (auto& c : cases)
    {
        int pending = 0;
        BlockGeomFault fault;
        EXPECT_EQ(CentreFromRadius(c.block, c.precision, pending, fault), 0) << c.name;
        EXPECT_EQ(fault.m_message, c.message) << c.name;
        ASSERT_EQ(fault.m_valueCount, c.valueCount) << c.name;
        EXPECT_STREQ(fault.m_format, c.valueCount ? "%d%d%f%f" : "%d%d") << c.name;
        if (c.valueCount)
        {
            EXPECT_DOUBLE_EQ(fault.m_values[0], c.v0) << c.name;
            EXPECT_DOUBLE_EQ(fault.m_values[1], c.v1) << c.name;
        }
        EXPECT_EQ(pending, 0) << c.name;
    }
}

TEST(BlockGeomCentre, FromOffsetsTable)
{
    const CVec3d o(0, 0, 0);
    struct
    {
        const char* name;
        CBlockState block;
        CVec3d rotation;
        double radius;
    } cases[] = {
        {"G3 half circle", OffsetBlock(true, o, CVec3d(2, 0, 0), 1, 0), CVec3d(0, 0, kPi), 1},
        {"G2 half circle", OffsetBlock(false, o, CVec3d(2, 0, 0), 1, 0), CVec3d(0, 0, -kPi), 1},
        {"G3 quarter", OffsetBlock(true, CVec3d(1, 0, 0), CVec3d(0, 1, 0), -1, 0), CVec3d(0, 0, kPi / 2), 1},
        {"G2 three quarters", OffsetBlock(false, CVec3d(1, 0, 0), CVec3d(0, 1, 0), -1, 0),
         CVec3d(0, 0, -3 * kPi / 2), 1},
        {"radii differ by 0.05", OffsetBlock(true, o, CVec3d(2.05, 0, 0), 1, 0), CVec3d(0, 0, kPi),
         std::sqrt((1.0 + 1.05 * 1.05) / 2)},
        {"G2 full circle", OffsetBlock(false, CVec3d(1, 1, 0), CVec3d(1, 1, 0), 5, 0), CVec3d(0, 0, -2 * kPi),
         5},
        {"G3 full circle", OffsetBlock(true, CVec3d(1, 1, 0), CVec3d(1, 1, 0), 5, 0), CVec3d(0, 0, 2 * kPi),
         5},
    };
    for (auto& c : cases)
    {
        int pending = 0;
        BlockGeomFault fault;
        ASSERT_EQ(CentreFromOffsets(c.block, 0.1, pending, fault), 1) << c.name;
        EXPECT_TRUE(VecNear(c.block.m_rotation, c.rotation, 1e-9)) << c.name;
        EXPECT_NEAR(c.block.m_radius, c.radius, 1e-12) << c.name;
        if (c.block.m_start.GetX() != c.block.m_target.GetX() && c.block.m_radius == 1)
        {
            EXPECT_TRUE(ArcReachesEnd(c.block)) << c.name;
        }
        EXPECT_TRUE(c.block.m_centreSet[0] && c.block.m_centreSet[1]) << c.name;
        EXPECT_FALSE(c.block.m_centreSet[2]) << c.name;
        EXPECT_FALSE(c.block.m_centreProgrammed[0] || c.block.m_centreProgrammed[1]) << c.name;
        EXPECT_EQ(c.block.m_changedCount, 2) << c.name;
        EXPECT_EQ(pending, 1) << c.name;
    }
}

TEST(BlockGeomCentre, FromOffsetsRefusalsReportThePrecisionInForce)
{
    const CVec3d o(0, 0, 0);
    struct
    {
        const char* name;
        CBlockState block;
        double precision;
        int result;
        std::uint32_t message;
    } cases[] = {
        {"differ by 0.2", OffsetBlock(true, o, CVec3d(2.2, 0, 0), 1, 0), 0.1, 0, BlockGeomMsg::RadiiDiffer},
        {"differ by 0.2, coarse precision", OffsetBlock(true, o, CVec3d(2.2, 0, 0), 1, 0), 0.3, 1, 0},
        {"differ by 0.2, finer precision", OffsetBlock(true, o, CVec3d(2.2, 0, 0), 1, 0), 0.15, 0,
         BlockGeomMsg::RadiiDiffer},
        {"centre on the ends", OffsetBlock(true, CVec3d(1, 1, 0), CVec3d(1, 1, 0), 0.00005, 0), 0.1, 0,
         BlockGeomMsg::CentreOnEnds},
    };
    for (auto& c : cases)
    {
        int pending = 0;
        BlockGeomFault fault;
        EXPECT_EQ(CentreFromOffsets(c.block, c.precision, pending, fault), c.result) << c.name;
        EXPECT_EQ(fault.m_message, c.message) << c.name;
        if (c.message == BlockGeomMsg::RadiiDiffer)
        {
            ASSERT_EQ(fault.m_valueCount, 2);
            EXPECT_NEAR(fault.m_values[0], 0.2, 1e-12) << c.name;
            EXPECT_EQ(fault.m_values[1], c.precision) << c.name;
        }
    }
    CBlockState bad = OffsetBlock(true, o, CVec3d(2, 0, 0), 1, 0);
    bad.m_plane = 7;
    int pending = 0;
    BlockGeomFault fault;
    EXPECT_EQ(CentreFromOffsets(bad, 0.1, pending, fault), 0);
    EXPECT_EQ(fault.m_message, BlockGeomMsg::BadPlane);
}

TEST(BlockGeomCentre, CentreCorrectionMovesOntoTheBisector)
{
    CBlockState b = OffsetBlock(true, CVec3d(0, 0, 0), CVec3d(2, 0, 0), 1.03, 0.5);
    b.m_centreCorrection = true;
    int pending = 0;
    BlockGeomFault fault;
    ASSERT_EQ(CentreFromOffsets(b, 0.1, pending, fault), 1);
    const double r = std::sqrt((1.03 * 1.03 + 0.25 + 0.97 * 0.97 + 0.25) / 2);
    EXPECT_TRUE(VecNear(b.m_centre, CVec3d(1, std::sqrt(r * r - 1), 0), 1e-12));
    EXPECT_NEAR(b.m_radius, r, 1e-12);
    EXPECT_TRUE(ArcReachesEnd(b));

    CBlockState plain = OffsetBlock(true, CVec3d(0, 0, 0), CVec3d(2, 0, 0), 1.03, 0.5);
    ASSERT_EQ(CentreFromOffsets(plain, 0.1, pending, fault), 1);
    EXPECT_TRUE(VecNear(plain.m_centre, CVec3d(1.03, 0.5, 0), 0));
}

TEST(BlockGeomCentre, ThreePointCircleTable)
{
    struct
    {
        const char* name;
        CVec3d p1, p2, p3;
        int result;
        CVec3d centre, rotation;
        double radius;
    } cases[] = {
        {"over the top", CVec3d(1, 0, 0), CVec3d(0, 1, 0), CVec3d(-1, 0, 0), 0, CVec3d(), CVec3d(0, 0, kPi),
         1},
        {"under the bottom", CVec3d(1, 0, 0), CVec3d(0, -1, 0), CVec3d(-1, 0, 0), 0, CVec3d(),
         CVec3d(0, 0, -kPi), 1},
        {"end beyond the middle", CVec3d(1, 0, 0), CVec3d(0, -1, 0), CVec3d(0, 1, 0), 0, CVec3d(),
         CVec3d(0, 0, -1.5 * kPi), 1},
        {"middle opposite the start", CVec3d(1, 0, 0), CVec3d(-1, 0, 0), CVec3d(0, 1, 0), 0, CVec3d(),
         CVec3d(0, 0, -1.5 * kPi), 1},
        {"tilted plane", CVec3d(1, 0, 0), CVec3d(0, 1, 0), CVec3d(0, 0, 1), 0, CVec3d(1, 1, 1) / 3.0,
         CVec3d(1, 1, 1).Unit() * (4 * kPi / 3), std::sqrt(6.0) / 3},
        {"collinear", CVec3d(0, 0, 0), CVec3d(1, 1, 0), CVec3d(2, 2, 0), -1, {}, {}, 0},
        {"points too close", CVec3d(0, 0, 0), CVec3d(0.0005, 0.0005, 0), CVec3d(1, 0, 0), -1, {}, {}, 0},
        {"no minor", CVec3d(0, 0, 0), CVec3d(1, 0, 0), CVec3d(2, 0.99e-8, 0.99e-8), -2, {}, {}, 0},
    };
    for (const auto& c : cases)
    {
        CVec3d centre(9, 9, 9);
        CVec3d rotation(9, 9, 9);
        double radius = 9;
        EXPECT_EQ(ThreePointCircle(c.p1, c.p2, c.p3, centre, rotation, radius), c.result) << c.name;
        if (c.result == 0)
        {
            EXPECT_TRUE(VecNear(centre, c.centre, 1e-12)) << c.name;
            EXPECT_TRUE(VecNear(rotation, c.rotation, 1e-12)) << c.name;
            EXPECT_NEAR(radius, c.radius, 1e-12) << c.name;
            // The intermediate point lies on the arc: it is reached before the end.
            const CVec3d axis = rotation.Unit();
            double toMiddle = 0;
            for (; toMiddle < rotation.Length(); toMiddle += 1e-4)
                if (Distance(RotateInPlane(c.p1 - centre, axis, toMiddle), c.p2 - centre) < 1e-3)
                    break;
            EXPECT_LT(toMiddle, rotation.Length()) << c.name;
            EXPECT_TRUE(VecNear(RotateInPlane(c.p1 - centre, axis, rotation.Length()), c.p3 - centre, 1e-9))
                << c.name;
        }
        else
        {
            EXPECT_TRUE(VecNear(centre, CVec3d(9, 9, 9), 0)) << c.name;
            EXPECT_EQ(radius, 9) << c.name;
        }
    }
}

TEST(BlockGeomCentre, FromThreePointsOnTheBlock)
{
    CBlockState b = OffsetBlock(false, CVec3d(1, 0, 0), CVec3d(-1, 0, 0), -1, 1); // intermediate (0, 1)
    b.m_pendingChange = true;
    int pending = 0;
    BlockGeomFault fault;
    ASSERT_EQ(CentreFromThreePoints(b, pending, fault), 1);
    EXPECT_TRUE(VecNear(b.m_centre, CVec3d(-1, 0, 0), 1e-12)); // centre relative to the start
    EXPECT_TRUE(VecNear(b.m_rotation, CVec3d(0, 0, kPi), 1e-12));
    EXPECT_DOUBLE_EQ(b.m_radius, 1);
    for (int axis = 0; axis < 3; ++axis)
    {
        EXPECT_TRUE(b.m_centreSet[axis]);
        EXPECT_FALSE(b.m_centreProgrammed[axis]);
    }
    EXPECT_EQ(b.m_changedCount, 3);
    EXPECT_EQ(pending, 1);

    CBlockState line = OffsetBlock(false, CVec3d(0, 0, 0), CVec3d(2, 0, 0), 1, 0);
    EXPECT_EQ(CentreFromThreePoints(line, pending, fault), 0);
    EXPECT_EQ(fault.m_message, BlockGeomMsg::ThreePoints);
}

TEST(BlockGeomCentre, BlockStepChoosesTheForm)
{
    const CVec3d o(0, 0, 0);
    const CVec3d x2(2, 0, 0);
    CentreContext context;
    int pending = 0;
    BlockGeomFault fault;
    bool threePoint = true;

    // No motion: the requests are dropped and nothing is computed.
    CBlockState still = RadiusBlock(0, true, o, x2, 2);
    still.m_motionProgrammed = false;
    still.m_centreProgrammed[0] = true;
    EXPECT_EQ(BlockCentreStep(still, context, pending, fault, threePoint), 1);
    EXPECT_FALSE(threePoint);
    EXPECT_FALSE(still.m_radiusProgrammed || still.m_centreProgrammed[0]);
    EXPECT_TRUE(VecNear(still.m_rotation, CVec3d(), 0));

    CBlockState byRadius = RadiusBlock(0, true, o, x2, 2);
    EXPECT_EQ(BlockCentreStep(byRadius, context, pending, fault, threePoint), 1);
    EXPECT_TRUE(VecNear(byRadius.m_rotation, CVec3d(0, 0, kPi / 3)));

    CBlockState byOffsets = OffsetBlock(false, o, x2, 1, 0);
    EXPECT_EQ(BlockCentreStep(byOffsets, context, pending, fault, threePoint), 1);
    EXPECT_FALSE(threePoint);
    EXPECT_TRUE(VecNear(byOffsets.m_rotation, CVec3d(0, 0, -kPi)));

    context.m_threePoint = true;
    CBlockState byPoints = OffsetBlock(false, CVec3d(1, 0, 0), CVec3d(-1, 0, 0), -1, -1);
    EXPECT_EQ(BlockCentreStep(byPoints, context, pending, fault, threePoint), 1);
    EXPECT_TRUE(threePoint);
    EXPECT_TRUE(VecNear(byPoints.m_rotation, CVec3d(0, 0, -kPi)));

    // A circular block without centre or radius is refused.
    CBlockState bare = Block(0, false, o, x2);
    EXPECT_EQ(BlockCentreStep(bare, context, pending, fault, threePoint), 0);
    EXPECT_EQ(fault.m_message, BlockGeomMsg::NoCentre);

    // A failing form ends the step with its own message.
    CBlockState zero = RadiusBlock(0, true, o, x2, 0);
    EXPECT_EQ(BlockCentreStep(zero, context, pending, fault, threePoint), 0);
    EXPECT_EQ(fault.m_message, BlockGeomMsg::RadiusZero);

    // A linear block without output drops its requests.
    CBlockState linear = Block(0, false, o, x2);
    linear.m_ipolMode = 1;
    EXPECT_EQ(BlockCentreStep(linear, context, pending, fault, threePoint), 1);
    EXPECT_FALSE(linear.m_motionProgrammed);
}
