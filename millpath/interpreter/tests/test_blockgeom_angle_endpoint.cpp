#include "blockgeom_angle_endpoint.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
CBlockState AngleBlock(int plane, CVec3d start, double angle)
{
    CBlockState b;
    b.m_plane = plane;
    b.m_start = start;
    b.m_target = start;
    b.m_angle = angle;
    b.m_angleProgrammed = true;
    return b;
}

CBlockState WithLength(CBlockState b, double length)
{
    b.m_length = length;
    b.m_lengthGiven = true;
    return b;
}

CBlockState WithAxis(CBlockState b, int axis, double value)
{
    b.m_target.SetAxis(axis, value);
    b.m_axisProgrammed[axis] = true;
    return b;
}
} // namespace

TEST(BlockGeomAngleEndPoint, EndPointTable)
{
    const CVec3d o(0, 0, 0);
    struct
    {
        const char* name;
        CBlockState block;
        int result;
        CVec3d target;
    } cases[] = {
        {"angle 90, length 10", WithLength(AngleBlock(0, o, 90), 10), 0, CVec3d(0, 10, 0)},
        {"angle 45, X10", WithAxis(AngleBlock(0, o, 45), 0, 10), 0, CVec3d(10, 10, 0)},
        {"angle 45, Y5 from (1,1)", WithAxis(AngleBlock(0, CVec3d(1, 1, 7), 45), 1, 5), 0, CVec3d(5, 5, 7)},
        {"angle 120, length 2", WithLength(AngleBlock(0, o, 120), 2), 0, CVec3d(-1, std::sqrt(3.0), 0)},
        {"YZ plane, length", WithLength(AngleBlock(1, CVec3d(4, 1, 2), 30), 2), 0,
         CVec3d(4, 1 + std::sqrt(3.0), 3)},
        {"ZX plane, Z given", WithAxis(AngleBlock(2, CVec3d(1, 0, 0), 45), 2, 5), 0, CVec3d(6, 0, 5)},
        {"Z on the length line", WithLength(WithAxis(AngleBlock(0, o, 0), 2, 3), 4), 0, CVec3d(4, 0, 3)},
    };
    for (auto& c : cases)
    {
        std::uint32_t message = 99;
        EXPECT_EQ(AngleEndPoint(c.block, message), c.result) << c.name;
        EXPECT_EQ(message, 0u) << c.name;
        EXPECT_LE(Distance(c.block.m_target, c.target), 1e-9)
            << c.name << ": " << c.block.m_target.GetX() << ", " << c.block.m_target.GetY() << ", "
            << c.block.m_target.GetZ();
        const int u = c.block.m_plane;
        EXPECT_TRUE(c.block.m_axisProgrammed[u] && c.block.m_axisProgrammed[(u + 1) % 3]) << c.name;
        EXPECT_FALSE(c.block.m_lengthGiven) << c.name;
    }
}

TEST(BlockGeomAngleEndPoint, RefusalTable)
{
    const CVec3d o(0, 0, 0);
    CBlockState noAngle = WithLength(AngleBlock(0, o, 30), 5);
    noAngle.m_angleProgrammed = false;
    struct
    {
        const char* name;
        CBlockState block;
    } cases[] = {
        {"angle parallel to the coordinate line", WithAxis(AngleBlock(0, o, 90), 0, 10)},
        {"ZX plane, angle along Z with X given", WithAxis(AngleBlock(2, o, 0), 0, 4)},
        {"length with a plane coordinate", WithAxis(WithLength(AngleBlock(0, o, 30), 5), 0, 1)},
        {"no length, no coordinate", AngleBlock(0, o, 30)},
        {"no length, both coordinates", WithAxis(WithAxis(AngleBlock(0, o, 30), 0, 1), 1, 1)},
        {"no angle programming", noAngle},
    };
    for (auto& c : cases)
    {
        const CVec3d before = c.block.m_target;
        std::uint32_t message = 0;
        EXPECT_EQ(AngleEndPoint(c.block, message), -1) << c.name;
        EXPECT_EQ(message, AngleEndPointMsg::Refused) << c.name;
        EXPECT_EQ(Distance(c.block.m_target, before), 0.0) << c.name;
    }
}
