// Base of the plane stages of path preparation (chamfer and rounding,
// collision detection): brings geometry entries into their working plane and
// back and dispatches the calculations between two consecutive elements by
// their kinds. Every element entry may carry its plane element (the offset
// element of its prepared data), which it owns.
#pragma once

#include "diff_rc_geo.h"
#include "entry.h"
#include "geo_calc_host.h"
#include "vec3d.h"

#include <cstdint>

namespace GeoKind
{
constexpr int Line = 0;
constexpr int Arc = 1;
constexpr int Helix = 2;
} // namespace GeoKind

namespace GeoMsg
{
constexpr std::uint32_t ArcVanished = 3202;   // warning: "%d%d" channel line, BlockNo
constexpr std::uint32_t SetOnHelix = 3203;    // "%d%d"
constexpr std::uint32_t SetLineKind = 3204;   // "%d%d"
constexpr std::uint32_t InvalidPair = 3207;   // "%d%d"
constexpr std::uint32_t PairFailed = 3208;    // "%d%d"
constexpr std::uint32_t CheckedPair = 3242;   // "%d%d"
constexpr std::uint32_t ChannelError = 16729; // 0x4159
} // namespace GeoMsg

// The kind byte of a geometry entry.
int GeoKindOf(const CEntryGeo_3D& entry);

class CBaseGeoCalc
{
public:
    explicit CBaseGeoCalc(CGeoCalcHost& host) : m_host(host) {}
    CBaseGeoCalc(const CBaseGeoCalc&) = delete;
    CBaseGeoCalc& operator=(const CBaseGeoCalc&) = delete;
    virtual ~CBaseGeoCalc() = default;

    // forward 1 brings a not yet transformed entry into the x-y plane, 0 back.
    virtual int Plane(int forward, CEntryGeo_3D& entry);
    // The corner point of two consecutive elements' plane elements.
    virtual int CalcPair(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int ArcLine(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int ArcArc(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int LineArc(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int LineLine(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int Permute(int forward, int plane, CVec3d& point);
    // 1 when the element stays, 0 when it vanished: then the entry has been deleted.
    virtual int PrepareArc(CEntryGeo_3D* entry);
    // Whether the two elements cross within their extents (point: where).
    virtual int CalcPairChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int ArcLineChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int ArcArcChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int LineLineChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    virtual int LineArcChecked(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    // Coincident lines: 1 when the segments share a stretch (point: its start).
    virtual int CommonStretch(const CDiffRcGeoLine& first, const CDiffRcGeoLine& second, CVec3d& point);
    virtual int StandsStill(const CEntryGeo_3D& entry);
    virtual int PointWithinArc(const CVec3d& point, const CDiffRcGeoCircle& arc);
    virtual bool OnSegment(const CVec3d& q, const CVec3d& s, const CVec3d& e, double& t);
    virtual int PointWithinLine(const CVec3d& point, const CDiffRcGeoLine& line);
    // x and y of the end (start) become the point's; 1 on success.
    virtual int SetEnd(CEntryGeo_3D& entry, const CVec3d& point);
    virtual int SetStart(CEntryGeo_3D& entry, const CVec3d& point);
    virtual int SetLine(CEntryGeo_3D& entry, const CVec3d& point, const CEntryGeo_3D& other);

protected:
    // The entry's plane element, built from its programmed points (z set to 0)
    // when it has none; null when none can be made.
    CBDiffRcGeoObj* PlaneElement(CEntryGeo_3D& entry);
    // Of two intersection points, the one nearer the first element's offset
    // end, ties decided along the reference arc.
    void ChoosePoint(const CEntryGeo_3D& first, const CDiffRcGeoCircle& reference, bool fromEnd,
                     const CVec3d& p1, const CVec3d& p2, CVec3d& point);
    // Corner point of two elements with an arc among them (operations on pairs).
    int Corner(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    // Whether the two plane elements cross within both (checked pairs).
    int Crossing(CEntryGeo_3D& first, CEntryGeo_3D& second, CVec3d& point);
    int WithinElement(const CVec3d& point, const CBDiffRcGeoObj& element);
    void ReportEntry(std::uint32_t flags, std::uint32_t message, const CEntry& entry);
    int SetPoint(CEntryGeo_3D& entry, const CVec3d& point, bool atEnd);

    CGeoCalcHost& m_host;
};
