// The tool radius correction that works on the nodes of the transformer's
// look-ahead table. Its main step treats the node at the head of the table:
// it reads the element and its geometry successor (the partner), decides from
// their correction data whether the correction switches on, is active,
// changes side or switches off, and closes the corner between the two offset
// elements with one of thirteen corner handlers. The table lets an entry
// leave once its node is ready (state 1). All corner geometry is computed in
// the x-y plane; planes 1 and 2 are brought there by permuting the points.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base_geo_calc.h"
#include "diff_rc_geo.h"

class CEntryGeo_3D;
class CTransElement;
class CTransTable;

class CBNcRadiusCorrection
{
public:
    // Modes.
    static constexpr int ModeOff = 0;
    static constexpr int ModeActive = 1;
    static constexpr int ModeSwitchOn = 2;
    static constexpr int ModeSwitchOff = 3;
    static constexpr int ModeSideLeaving = 4;  // the next element changes sides
    static constexpr int ModeSideChanging = 5; // this element changes sides
    static constexpr int Handlers = 13;

    explicit CBNcRadiusCorrection(CTransTable& table);
    CBNcRadiusCorrection(const CBNcRadiusCorrection&) = delete;
    CBNcRadiusCorrection& operator=(const CBNcRadiusCorrection&) = delete;
    virtual ~CBNcRadiusCorrection() = default;

    virtual void Reset();
    // The main step on the node at the head of the table: 0 when the node may
    // leave, -520 or -519 when it may leave with a warning, -666 when more
    // look-ahead is needed, else an error.
    virtual int Step(CTransElement* node);

    // Reads the node's entry and sets the mode from its correction data.
    virtual int ReadElement(CEntryGeo_3D*& entry, CTransElement* node);
    // Reads the node's geometry successor, the partner of the corner.
    virtual int ReadNext(CEntryGeo_3D*& entry, CTransElement* node);
    virtual int CheckKind(const CEntryGeo_3D& entry, int kind) const;
    virtual bool IsShort(int& status, const CEntryGeo_3D& entry);
    virtual bool IsZeroLength(int& status, const CEntryGeo_3D& entry) const;
    // Passes over short elements after the partner; the element that really
    // ends the corner and its node.
    virtual int LookAhead(CEntryGeo_3D*& entry, CTransElement*& node);
    // Finishes the elements the look-ahead passed over: they stand at the end
    // point of the element before them.
    virtual int SkipShort(const CEntryGeo_3D& before);
    virtual int SetNodeState(CTransElement* node, int state);
    virtual int SetMode(int mode);
    virtual int SetRadius(double radius);
    virtual int SetApproach(int kind);
    virtual int SetPlane(int plane);
    virtual int SetSide(int value);
    // forward 1 into the x-y plane, 0 back out of it.
    virtual int Plane(int forward, CEntryGeo_3D& entry);
    virtual int Permute(int forward, int plane, CVec3d& point);
    virtual void PrepareElement(CEntryGeo_3D& entry);
    // Builds and links the connecting element (two with the count at 1)
    // from the first entry's end to the partner's start.
    virtual int Switch(CEntryGeo_3D& first, CEntryGeo_3D& partner);
    // Scales an arc's or helix's feed so that the feed at the contour stays;
    // -556 for a line.
    virtual int AdjustFeed(CEntryGeo_3D& entry, double oldRadius, double newRadius);

    int Mode() const { return m_mode; }
    int Status() const { return m_status; }
    int Side() const { return m_side; }
    double Radius() const { return m_radius; }
    int PlaneInUse() const { return m_plane; }

protected:
    using Handler = int (CBNcRadiusCorrection::*)(CEntryGeo_3D&, CEntryGeo_3D&);
    // Corner handlers by slot (the same construction may serve two slots).
    int SwitchOnCorner(CEntryGeo_3D& first, CEntryGeo_3D& partner);  // 0, 1
    int SwitchOffCorner(CEntryGeo_3D& first, CEntryGeo_3D& partner); // 2, 3, 12
    int LeavingSide(CEntryGeo_3D& first, CEntryGeo_3D& partner);     // 4
    int ReachingSide(CEntryGeo_3D& first, CEntryGeo_3D& partner);    // 5
    int LineLine(CEntryGeo_3D& first, CEntryGeo_3D& partner);        // 6
    int LineArc(CEntryGeo_3D& first, CEntryGeo_3D& partner);         // 7, 10
    int ArcLine(CEntryGeo_3D& first, CEntryGeo_3D& partner);         // 8, 11
    int ArcArc(CEntryGeo_3D& first, CEntryGeo_3D& partner);          // 9
    int HandlerFor(int firstKind, int secondKind) const;
    // The corner between a line and an arc in either order.
    int LineAndArc(CEntryGeo_3D& first, CBDiffRcGeoObj& fo, CEntryGeo_3D& partner, CBDiffRcGeoObj& po,
                   bool arcFirst);
    // An arc the tool does not fit into becomes its offset chord, joined to
    // the first offset element where they meet, else (after an arc) by a
    // connecting line (-519).
    int BridgeByChord(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset, CEntryGeo_3D& partner);
    // An outside corner the offset elements cannot close: an auxiliary
    // circle of the tool radius about the programmed corner, from the first
    // offset end to the partner's offset start, linked in as the first
    // element of the next corner, which ends it on the partner (EndBridge).
    int BridgeByCircle(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset, CEntryGeo_3D& partner,
                       const CBDiffRcGeoObj& partnerOffset);
    int EndBridge(CEntryGeo_3D& circle, CEntryGeo_3D& partner);
    // An inside arc of the tool's radius entered tangentially: the tool stands
    // at its centre, the arc becomes the straight line there, and the corner
    // after it is closed from that point (LeaveCollapsed).
    bool Collapses(const CEntryGeo_3D& arc, const CDiffRcGeoLine& firstOffset) const;
    int Collapse(CEntryGeo_3D& first, CDiffRcGeoLine& firstOffset, CEntryGeo_3D& partner);
    int LeaveCollapsed(CEntryGeo_3D& first, CEntryGeo_3D& partner);
    // Completes an element the correction adds (feed, correction data, axes)
    // and links it before the node; the table's result (1 linked), the
    // element deleted otherwise.
    int LinkAdded(CEntryGeo_3D* e, const CEntryGeo_3D& first, const CEntryGeo_3D& partner,
                  CTransElement* before);
    // Joins the first entry's end to the partner's start with a straight connecting element.
    int ConnectStraight(CEntryGeo_3D& first, CEntryGeo_3D& partner);

    // The partner's offset element, offset by the side and radius unless told not to.
    int MakeOffset(std::unique_ptr<CBDiffRcGeoObj>& out, const CEntryGeo_3D& entry, bool offset, int failure);
    // The first element's offset element kept from the corner before.
    CBDiffRcGeoObj* Kept(const CEntryGeo_3D& first);
    void Keep(const CBDiffRcGeoObj& element);
    // Where two offset elements meet: 0, or -539.
    int Intersect(const CBDiffRcGeoObj& a, const CBDiffRcGeoObj& b, const CEntryGeo_3D& first, CVec3d& point);
    // Writes the corner point into the first entry's end and the partner's
    // start (x and y), with the arcs' sweeps.
    void SetCorner(CEntryGeo_3D& first, CBDiffRcGeoObj* firstOffset, const CVec3d& endPoint,
                   CEntryGeo_3D& partner, CBDiffRcGeoObj* partnerOffset, const CVec3d& startPoint);
    // Extends both offset elements by the radius and joins them with a line.
    int ExtendAndConnect(CEntryGeo_3D& first, CBDiffRcGeoObj& firstOffset, CEntryGeo_3D& partner,
                         CBDiffRcGeoObj& partnerOffset);
    int Junction(double& angle, const CBDiffRcGeoObj& a, const CBDiffRcGeoObj& b) const;
    bool Inside(double angle, bool lines) const;
    bool FlatOutside(double angle) const;
    static bool SmallTurn(double angle);
    // The first entry's approach variant, else the partner's.
    static std::uint32_t Variant(const CEntry_Korrektur& first, const CEntry_Korrektur& second);
    int CheckRadii(const CEntryGeo_3D& entry);
    bool IsSideChange(const CEntryGeo_3D& entry) const;
    void Finish(int error);
    // Whether the program's end follows the node in the table.
    bool EndsBehind(const CTransElement* node) const;
    int EndWithoutDeparture(CEntryGeo_3D& last, CTransElement* node);

    CTransTable& m_table;
    CBaseGeoCalc m_planes;
    std::int32_t m_status = 0;
    std::int32_t m_mode = ModeOff;
    std::uint8_t m_connect = 255; // 0 one connecting element, 1 two
    std::uint8_t m_switchPending = 0;
    std::int32_t m_plane = -1;
    std::int32_t m_approach = -1;
    std::uint8_t m_side = 255;
    double m_radius = 0.0;
    std::int32_t m_transition = 0; // 1 switching on, 2 active or switching off, 0 changing side
    CDiffRcGeoLine m_line;
    CDiffRcGeoCircle m_arc;
    bool m_keptArc = false;
    bool m_kept = false;
    CTransElement* m_node = nullptr;
    CTransElement* m_nextNode = nullptr;
    CTransElement* m_stopNode = nullptr;
    std::vector<CTransElement*> m_skipped; // short elements the look-ahead passed over
    bool m_reversalAllowed = false;
    std::int32_t m_bridge = 0;     // an auxiliary circle waits to be ended on its partner
    bool m_connectPending = false; // the first element is a collapsed arc's straight line
};
