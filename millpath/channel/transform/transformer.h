// The transformer chain of one group. Entries enter through the chamfer and
// rounding stage (or straight from the channel's pass-on) into the look-ahead
// table with its radius correction; the main step takes them from there,
// treats each by its type (line pairs through vertex smoothing, geometry
// through the tool offsets) and hands them to the collision detection, which
// pushes them to the group's output table towards the feeder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "chamfer_rnd.h"
#include "collision_detection.h"
#include "fifo_table.h"
#include "geo3d_obj.h"
#include "tangential_following.h"
#include "trans_table.h"

class CTransformerHost;

class CTransformer
{
public:
    static constexpr double MinVertexDistance = 0.0001;
    static constexpr int FifoSize = 5;
    static constexpr int AccurateStopOn = 1;
    static constexpr int AccurateStopOff = 3;
    explicit CTransformer(CTransformerHost& host, const CTransTable::CorrectionFactory& correction = {});
    virtual ~CTransformer();
    CTransformer(const CTransformer&) = delete;
    CTransformer& operator=(const CTransformer&) = delete;

    // The main step. discard: drop everything the chain holds. done is 0
    // when the step left with work it could not do now. The result is 0, -1
    // while the correction needs more look-ahead, or an error.
    virtual int Process(int discard, int& done);
    virtual void Reset();
    virtual void Block() { m_blocked = 1; }
    virtual void SetVertexDistance(double distance) { m_vertexDistance = distance; }
    virtual double GetVertexDistance() const { return m_vertexDistance; }
    virtual void SetAccurateStop(const CEntryFunk& entry);
    // The group's way into the chain: 0 taken, else the look-ahead table's error.
    virtual int AddEntry(CEntry* entry);
    virtual bool AboveLimit() const { return m_table.Count() > m_table.Limit(); }
    virtual bool IsIdle() const;
    virtual int Count() const { return m_table.Count(); }

    // Handlers by entry type; each returns the pass-on's result (1 passed).
    virtual int HandleRules(CEntry* entry) { return PassOn(entry); }
    virtual int HandleDwell(CEntry* entry) { return PassOn(entry); }
    // Feed factor, tool offsets and axis masks, then passed on.
    virtual int GeometryOutput(CEntryGeo_3D* entry);
    virtual int HandleSignal(CEntry* entry) { return PassOn(entry); }
    virtual int HandleSync(CEntry* entry) { return PassOn(entry); }
    virtual int HandleSpindle(CEntry* entry) { return PassOn(entry); }
    virtual int HandleSpindleTest(CEntry* entry) { return PassOn(entry); }
    virtual int HandleMFunction(CEntry* entry) { return PassOn(entry); }
    virtual int HandleHValue(CEntry* entry) { return PassOn(entry); }
    virtual int HandleTool(CEntry* entry) { return PassOn(entry); }
    virtual int HandleStop(CEntry* entry) { return PassOn(entry); }
    virtual int HandleChannelStop(CEntry* entry) { return PassOn(entry); }
    // Codes 16 (vertex distance) and 17 (accurate stop) are taken here.
    virtual int HandleFunction(CEntryFunk* entry);
    virtual int HandleMessage(CEntry* entry) { return PassOn(entry); }
    virtual int HandleMeasMode(CEntry* entry) { return PassOn(entry); }
    virtual int HandleOneAxis(CEntry* entry) { return PassOn(entry); }
    virtual int HandleStepOn(CEntry* entry) { return PassOn(entry); }
    virtual int HandleDefault(CEntry* entry);

    // A stop with the header of the given entry, passed on.
    virtual int InsertStop(const CEntry& cause);
    // pi less the angle between the chain's vector and the path direction
    // the collision detection gives for the entry; pi without one.
    virtual double CornerAngle(const CEntry& entry) const;
    // The line, circle or helix object of a geometry entry; null after an
    // error reported to the channel (0x4105 no object, 0x4107 failed).
    virtual std::unique_ptr<CGeo3dObj> MakeGeoObject(const CEntryGeo_3D& entry);
    // Turns four vectors about axis 1 (x), 2 (y) or 3 (z) by degrees.
    virtual void RotateFour(CVec3d (&vectors)[4], double degrees, int axis) const;
    // Flag bits 0, 1, 2 mirror x, y, z of the points (and the normal's other
    // two components); each set bit also turns the circle's direction round.
    virtual void Mirror(CVec3d (&points)[3], CVec3d& normal, int flags, std::int32_t& direction) const;
    // 0 taken, 1803 for a mode other than 0, 1 and 2.
    virtual std::uint32_t SetCollisionMode(int mode);
    virtual int GetCollisionMode() const { return m_collisionMode; }
    // 0 when the collision detection takes the depth, 1803 when not.
    virtual std::uint32_t CollisionCommand(int value);
    virtual bool CollisionIdle() const { return m_collision ? m_collision->IsIdle() : false; }
    // Hands an entry to the tangential following: 1 taken, 0 refused
    // (message 3212, the channel in state 11).
    virtual int TangentialAccept(CEntry* entry);
    // The smoothing arc between two lines: 0 made (the first line ends and
    // the second begins at the arc's ends), -1 nothing inserted. With a
    // second new entry the arc is split at its middle.
    virtual int VertexSmoothing(CEntryGeo_3D& first, CEntryGeo_3D& second, CEntryGeo_3D& made,
                                CEntryGeo_3D* secondMade);

    // An M function that ends the program ("Test" of M2 or M30).
    static bool EndsProgram(const CEntry* entry);
    // The channel's pass-on into the chain: 1 taken, 0 not now (no radius
    // correction), -1 an error (message 3161, the channel in state 11).
    int ChannelPassOn(CEntry* entry);
    CChamferRnd& ChamferStage() { return *m_chamfer; }
    CTransTable& Table() { return m_table; }
    CCollisionDetection& Collision() { return *m_collision; }
    CTangentialFollowing& Tangential() { return *m_tangential; }
    double AccurateStopAngle() const { return m_accurateStopAngle; }
    int AccurateStopMode() const { return m_accurateStopMode; }
    // Entries the step has treated so far (the worker sees progress by it).
    std::uint64_t Treated() const { return m_treated; }

private:
    // Hands the entry to the collision detection; an entry it cannot take is deleted.
    int PassOn(CEntry* entry);
    int Dispatch(CEntry* entry);
    // A line in hand: paired with the next line for vertex smoothing.
    // Returns false when the pair had to wait (the line stays in hand).
    bool PairLine(CEntryGeo_3D* line, int& result);
    CEntryGeo_3D* MakeArcEntry(const CEntryGeo_3D& first) const;
    bool RoomForLookAhead(int& result);
    void DropEverything();
    void DropPending();

    CTransformerHost& m_host;
    CTransTable m_table;
    std::unique_ptr<CCollisionDetection> m_collision;
    std::int32_t m_collisionMode = 0;
    std::unique_ptr<CTangentialFollowing> m_tangential;
    std::int32_t m_newPair = 0;
    // The entry in hand (a line waiting for its pair stays here); read by
    // IsIdle from the group's other threads.
    std::atomic<CEntry*> m_inHand{nullptr};
    CFiFoTable m_fifo{FifoSize};
    double m_vertexDistance = 0.0;
    double m_minAngle;
    double m_accurateStopAngle = 180.0;
    std::int32_t m_accurateStopMode = AccurateStopOff;
    std::int32_t m_stopSeen = 0;
    CVec3d m_vector;
    std::unique_ptr<CChamferRnd> m_chamfer;
    std::int32_t m_blocked = 0;
    std::uint64_t m_treated = 0;
};
