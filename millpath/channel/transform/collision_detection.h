// The last stage of the transformer chain: every entry leaves through it to
// the group's output table. While the detection is off it forwards each
// entry at once; an entry the output refuses stays held, and the entries
// after it join it so that the order is kept.
#pragma once

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
    // The direction of the path at the entry as the detection sees it; false
    // when it has none.
    virtual bool EntryDirection(const CEntry& entry, CVec3d& direction) const;

    virtual bool Active() const { return m_active != 0; }
    // The newest held entry's block number, 0 when none is held.
    std::uint32_t NewestBlockNo() const;

private:
    bool PushOut(CEntry* entry);

    CTransformerHost& m_trans;
    CCollisionDetectionTable m_table;
    std::int32_t m_active = 0;
    std::int32_t m_report = 1;
    std::int32_t m_depthPlusOne = StartDepth + 1;
    std::int32_t m_count = 0;
    std::int32_t m_checkCount = 0;
};
