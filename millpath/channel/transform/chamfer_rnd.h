// The first stage of the transformer chain: the chamfer and rounding stage
// that the channel hands its entries while its chamfer switch is on. A
// function entry with code 24 announces a chamfer or a rounding for the next
// corner of the contour: the stage holds the corner's first geometry element
// and the entries after it until the second arrives, shortens both at the
// corner, puts a line (chamfer) or a tangent arc (rounding) between them and
// passes everything on in programme order. While no corner is announced
// every entry goes straight on to the channel's pass-on into the transformer.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "base_geo_calc.h"
#include "fifo_table.h"

class CTransformer;
class CTransformerHost;

class CChamferRnd : public CBaseGeoCalc
{
public:
    // The stage and the transformer's look-ahead hold fewer entries together.
    static constexpr int Room = 49;
    static constexpr std::uint32_t Announcement = 24;
    // Kinds of an announcement.
    static constexpr int ChamferLeg = 1;
    static constexpr int ChamferLength = 2;
    static constexpr int Rounding = 3;

    CChamferRnd(CTransformerHost& host, CTransformer& transformer);
    ~CChamferRnd() override;

    // Deletes what the stage holds and forgets an announced corner.
    virtual void Reset();
    // 1 taken, 0 not now (the caller keeps the entry and offers it again),
    // -1 an error (the channel stands in state 11).
    virtual int Accept(CEntry* entry);
    virtual bool IsIdle() const { return m_table.IsEmpty() && m_leavingCount == 0; }
    virtual int Count() const { return m_table.Count(); }
    virtual int Free() const { return m_table.Free(); }
    // The element's offset element (its plane element): 0, or -1 when none can be built.
    virtual int AttachOffset(CEntryGeo_3D& entry);
    // Shortens both held elements at their corner and makes the new element.
    virtual int InsertCorner();
    // Half the sagitta of the line's chord through the arc's circle: 0 for a
    // touching line; the intersection's result (out untouched without one).
    virtual int HalfSagitta(const CDiffRcGeoLine& line, const CDiffRcGeoCircle& arc, double& out) const;
    // Moves the point by the distance towards the target.
    static void MoveTowards(CVec3d& point, const CVec3d& target, double distance);
    // The chamfer line from the first element's end to the second's start.
    virtual int MakeChamferEntry(const CEntryGeo_3D& first, const CEntryGeo_3D& second, CEntryGeo_3D*& out);
    // The rounding arc about the centre, turning by the sweep.
    virtual CEntryGeo_3D* MakeArcEntry(const CEntryGeo_3D& first, const CEntryGeo_3D& second,
                                       const CVec3d& centre, double radius, double sweep);
    static void SetMoveFlags(CEntryGeo_3D& entry);
    // A copy of the source reduced to a full circle about its start (atStart)
    // or end point, of the given radius (0: a point); the result of
    // AttachOffset, which builds no element for a point.
    virtual int MakePointEntry(CEntryGeo_3D*& out, const CEntryGeo_3D& source, bool atStart,
                               double radius = 0.0);

protected:
    struct Corner
    {
        std::int32_t kind = 0; // 1 chamfer by its leg, 2 by its length, 3 rounding
        double size = 0.0;
    };

    // Chamfer and rounding between two lines, and with arcs.
    int ChamferLines(CEntryGeo_3D& first, CEntryGeo_3D& second);
    int ChamferArc(CEntryGeo_3D& first, CEntryGeo_3D& second);
    int RoundLines(CEntryGeo_3D& first, CEntryGeo_3D& second);
    int RoundArc(CEntryGeo_3D& first, CEntryGeo_3D& second);
    // Where the circle of the chamfer distance about the corner cuts the arc,
    // within the half angle (plus 0.1) from the corner: 0, or -1.
    // The room for a rounding next to an arc: the half sagitta where the
    // other element cuts the arc's circle again; false when it does not.
    bool ArcRoom(const CEntryGeo_3D& first, const CEntryGeo_3D& second, double& room) const;
    int CutArcAtCorner(const CEntryGeo_3D& arc, bool arcFirst, double d, CVec3d& point);
    // The turn at the corner to round: 1 with its angle and side, 0 for
    // none (straight on or back), -1 after a reported failure.
    int RoundingTurn(const CEntryGeo_3D& first, const CEntryGeo_3D& second, double& theta, bool& left);
    // Message, the channel's error from the entry and state 11; -1.
    int Fail(std::uint32_t message, const CEntryGeo_3D& entry, std::uint32_t error);
    int FailRadius(const CEntryGeo_3D& entry, double radius);
    // Hands the entries that leave to the pass-on, in order, while it takes them.
    int Release();
    void Leave(CEntry* entry);

    CTransformerHost& m_trans;
    CTransformer& m_transformer;
    CFiFoTable m_table{Room};
    std::int32_t m_cornerCount = 0; // geometry elements the announced corner still waits for
    Corner m_first;
    Corner m_second;
    CEntryGeo_3D* m_firstElement = nullptr;
    CEntryGeo_3D* m_secondElement = nullptr;
    CEntryGeo_3D* m_newElement = nullptr;
    // Entries that left the corner but that the pass-on has not taken yet.
    std::deque<CEntry*> m_leaving;
    std::atomic<int> m_leavingCount{0}; // read by the group's threads without the lock
    std::recursive_mutex m_lock;
};
