// The first stage of the transformer chain: the chamfer and rounding stage
// that the channel hands its entries while its chamfer switch is on. While
// no corner is announced every entry goes straight on to the channel's
// pass-on into the transformer.
#pragma once

#include <cstdint>
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

    CChamferRnd(CTransformerHost& host, CTransformer& transformer);
    ~CChamferRnd() override;

    // Deletes what the stage holds and forgets an announced corner.
    virtual void Reset();
    // 1 taken, 0 not now (the caller keeps the entry and offers it again),
    // -1 an error (the channel stands in state 11).
    virtual int Accept(CEntry* entry);
    virtual bool IsIdle() const { return m_table.IsEmpty(); }
    virtual int Count() const { return m_table.Count(); }
    virtual int Free() const { return m_table.Free(); }

protected:
    struct Corner
    {
        std::int32_t kind = 0; // 1 chamfer by its leg, 2 by its length, 3 rounding
        double size = 0.0;
    };

    CTransformerHost& m_trans;
    CTransformer& m_transformer;
    CFiFoTable m_table{Room};
    std::int32_t m_cornerCount = 0; // geometry elements the announced corner still waits for
    Corner m_first;
    Corner m_second;
    CEntryGeo_3D* m_firstElement = nullptr;
    CEntryGeo_3D* m_secondElement = nullptr;
    CEntryGeo_3D* m_newElement = nullptr;
    std::recursive_mutex m_lock;
};
