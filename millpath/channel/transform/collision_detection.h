// The last stage of the transformer chain: every entry leaves through it to
// the group's output table. While the detection is switched on (by the
// collision word of an interpolation-rules entry) corrected geometry entries
// are held in a look-ahead table, and each new element is checked against
// the elements before it in the working plane: a crossing or a reversed
// element means the corrected path runs into itself (a bottleneck). By the
// collision mode the loop is cut out (1), a warning is given (2) or the
// channel stops with an error (0).
#pragma once

#include <atomic>
#include <cstdint>

#include "base_geo_calc.h"
#include "base_table.h"

class CTransformerHost;

class CCollisionDetection : public CBaseGeoCalc
{
public:
    static constexpr int MaxDepth = 25;
    static constexpr int StartDepth = 3;

    explicit CCollisionDetection(CTransformerHost& host);
    ~CCollisionDetection() override;

    virtual CCollisionDetectionTable& GetTable() { return m_table; }
    virtual int GetDepth() const { return m_depthPlusOne - 1; }
    virtual int HeldCount() const { return m_table.Count(); }
    virtual int FreePlaces() const { return m_table.Free(); }
    virtual void Init();
    // 1 when the stage took the entry (it then owns it), 0 when it could not.
    virtual int Accept(CEntry* entry);
    virtual bool IsIdle() const { return m_table.IsEmpty(); }
    // Drops every held entry and switches the detection off; the depth stays.
    virtual void Reset();
    // Depths 0 to 25 are taken (1); others are refused (0).
    virtual int SetDepth(int depth);
    // Checks while geometry entries are held, releasing as it goes.
    virtual void CheckAll();
    // The intersection check of the newest element against those before it.
    virtual void Check(int release);
    // 1 when the corrected element runs against its programmed direction.
    virtual int DirectionMatches(const CEntryGeo_3D& entry) const;
    // Passes held entries on up to the given place, and the one there.
    virtual void ReleaseUpTo(int place);
    virtual void ReleaseAll();
    // Passes on the entries before the place and deletes the one there.
    virtual void DropAt(int place);
    // Joins the elements at the two places at the point; those between are dropped.
    virtual void CutLoop(int firstPlace, int lastPlace, const CVec3d& point);
    // Joins the element at the first place with the next directed element after
    // the from place, while elements stay reversed. False when two elements
    // to be joined do not meet: the loop cannot be removed.
    virtual bool RemoveLoop(int firstPlace, int fromPlace);
    // The direction of the path at the entry as the detection sees it; false
    // when it has none.
    virtual bool EntryDirection(const CEntry& entry, CVec3d& direction) const;

    virtual bool Active() const { return m_active != 0; }
    // The transformer's collision mode: 0 error, 1 cut the loop, 2 warn.
    void SetCollisionMode(int mode) { m_collisionMode = mode; }
    // The newest held entry's block number, 0 when none is held.
    std::uint32_t NewestBlockNo() const;
    int HeldGeometry() const { return m_count; }

private:
    bool PushOut(CEntry* entry);
    // Hands the entry on (or holds it behind those the output refused before).
    int Forward(CEntry* entry);
    // Pops the oldest held entry and passes it on.
    void ReleaseFirst();
    void ReportRelease(const CEntry& entry);
    // With the detection off, a corrected element that runs against its
    // programmed direction (the tool cuts the contour) is passed on with a
    // warning naming its block.
    void WarnGouge(CEntryGeo_3D& entry);
    // A bottleneck that is not removed stops the channel; the entries stay.
    void StopAtBottleneck(const CEntryGeo_3D& newest);

    CTransformerHost& m_trans;
    CCollisionDetectionTable m_table;
    std::atomic<std::int32_t> m_active{0};
    std::int32_t m_report = 1;
    std::int32_t m_depthPlusOne = StartDepth + 1;
    std::int32_t m_count = 0;
    std::int32_t m_checkCount = 0;
    std::int32_t m_loop[2] = {0, 0};
    std::atomic<int> m_collisionMode{0};
    bool m_stopped = false; // a finding stopped the channel: entries stay where they are
};
