// Result codes and message numbers of the transformer chain. Messages go to
// the group's report log: errors with TransFlags::Error, warnings with
// TransFlags::Warning.
#pragma once

#include <cstdint>

namespace TransFlags
{
constexpr std::uint32_t Error = 0x54;
constexpr std::uint32_t Warning = 0x52;
} // namespace TransFlags

namespace TransError
{
constexpr std::uint32_t NoMemory = 0x4105;        // 16645: no node or entry could be made
constexpr std::uint32_t NoCorrection = 0x4106;    // 16646: the table has no radius correction
constexpr std::uint32_t ObjectFailed = 0x4107;    // a geometry object could not compute
constexpr std::uint32_t CorrectionData = 0x4150;  // 16720: correction data that do not fit
constexpr std::uint32_t Correction = 0x4151;      // the radius correction failed
constexpr std::uint32_t PlaneChange = 0x4152;     // 16722: the plane changes under the correction
constexpr std::uint32_t CorrectionLast = 0x4155;  // last of the correction's data errors
constexpr std::uint32_t NoRoom = 0x4156;          // the output table cannot take the look-ahead
constexpr std::uint32_t Bridged = 0x415A;         // an arc corner was bridged
constexpr std::uint32_t CollisionOutput = 0x415C; // 16732: the output table refused an entry
constexpr std::uint32_t Tangential = 0x415D;      // the tangential following refused an entry
constexpr std::uint32_t ChamferFlow = 0x4000;     // the chamfer stage's table is out of order
constexpr std::uint32_t NoCollisionStage = 1799;
constexpr std::uint32_t BadValue = 1803;
} // namespace TransError

namespace TransMsg
{
constexpr std::uint32_t NoNode = 3136;             // "%d": channel line
constexpr std::uint32_t BadCorrectionValue = 3152; // "%d%d": channel line, BlockNo
constexpr std::uint32_t BadApproach = 3153;        // "%d%d"
constexpr std::uint32_t PlaneChanged = 3155;       // "%d%d"
constexpr std::uint32_t CornerFailed = 3156;       // "%d%d": channel line, BlockNo
constexpr std::uint32_t CorrectionFailed = 3157;   // "%d%d%d": channel line, BlockNo, result
constexpr std::uint32_t PassOnFailed = 3161;       // "%d": channel line
constexpr std::uint32_t TransformerFailed = 3162;  // "%d": channel id
constexpr std::uint32_t CorrectionData = 3194;     // "%d%d%x": channel line, BlockNo, error
constexpr std::uint32_t Reversal = 3196;           // warning "%d%d"
constexpr std::uint32_t NoRoom = 3198;             // "%x%d%d": error, channel line, BlockNo
constexpr std::uint32_t BridgeWarned = 3205;       // warning "%d%d"
constexpr std::uint32_t BridgeRefused = 3209;      // "%x%d%d": error, channel line, BlockNo
constexpr std::uint32_t OutputRefused = 3212;      // "%x%d%d": error, channel line, BlockNo
constexpr std::uint32_t TangentialOutput = 3215;   // "%x%d%d": error, channel line, BlockNo
constexpr std::uint32_t ChamferTable = 3241;       // "%d": the group's number
} // namespace TransMsg

// Results of the radius correction's step that the table's fetch tells apart.
namespace CorrectionResult
{
constexpr int Ok = 0;
constexpr int NeedsLookAhead = -666;
constexpr int Reverses = -550;
constexpr int NoIntersection = -539;
constexpr int Reversal = -520;
constexpr int Bridged = -519;
constexpr int NoNode = -776;
} // namespace CorrectionResult
