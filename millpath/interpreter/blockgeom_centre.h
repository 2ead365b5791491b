// Circle and helix centres of a circular block: from centre offsets, from a
// radius or from three points. The swept angle is right-handed about the
// plane's normal: G3 (counter-clockwise) positive, G2 negative.
// The computations report a failure as a fault (message, format and the
// values after channel and line); the caller logs it, marks the error line,
// raises the block-geometry NC error and sets the error state.
#pragma once

#include <cstdint>

#include "block_state.h"
#include "vec3d.h"

namespace BlockGeomMsg
{
constexpr std::uint32_t ThreePoints = 0xC10;  // "%d%d"
constexpr std::uint32_t RadiiDiffer = 0xC20;  // "%d%d%f%f": |r1 - r2|, precision in force
constexpr std::uint32_t CentreOnEnds = 0xC21; // "%d%d"
constexpr std::uint32_t RadiusZero = 0xC22;   // "%d%d"
constexpr std::uint32_t EndsCoincide = 0xC23; // "%d%d"
constexpr std::uint32_t RadiusShort = 0xC24;  // "%d%d%f%f": R, chord length
constexpr std::uint32_t BadPlane = 0xC25;     // "%d%d"
constexpr std::uint32_t NoCentre = 0xC27;     // "%d%d"
} // namespace BlockGeomMsg

struct BlockGeomFault
{
    std::uint32_t m_message = 0; // 0: none
    const char* m_format = "";
    int m_valueCount = 0;
    double m_values[2] = {0.0, 0.0};
};

// What the block-geometry step needs of its interpreter.
struct CentreContext
{
    double m_radiusPrecision = 0.1;
    bool m_threePoint = false; // the interpreter's three-point switch
};

// Each returns 1 when the centre, radius and rotation vector are set and 0
// after an error (fault filled). pendingOutputs is the interpreter's count.
int CentreFromOffsets(CBlockState& block, double radiusPrecision, int& pendingOutputs, BlockGeomFault& fault);
int CentreFromRadius(CBlockState& block, double radiusPrecision, int& pendingOutputs, BlockGeomFault& fault);
int CentreFromThreePoints(CBlockState& block, int& pendingOutputs, BlockGeomFault& fault);

// Circle through p1 (start), p2 (intermediate) and p3 (end): the absolute
// centre, the rotation vector (unit normal times swept angle, the arc running
// from p1 through p2 to p3) and the radius. 0 on success, -2 when the points
// give no unique circle, -1 for any other failure.
int ThreePointCircle(const CVec3d& p1, const CVec3d& p2, const CVec3d& p3, CVec3d& centre, CVec3d& rotation,
                     double& radius);

// Clears the block's motion, centre and radius requests.
void ClearGeometryRequests(CBlockState& block);

// The centre part of the block-geometry step for a group that has a
// transformer: a block without motion drops its centre and radius requests;
// otherwise the centre is made from the radius, the offsets or three points;
// a circular block with neither offsets nor radius is refused (NoCentre); a
// block without output drops its requests. threePointUsed tells the caller to
// switch its circle-mode code. 1 on success, 0 after an error.
int BlockCentreStep(CBlockState& block, const CentreContext& context, int& pendingOutputs,
                    BlockGeomFault& fault, bool& threePointUsed);
