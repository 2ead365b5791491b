// Tangential following: keeps a rotary axis along the tangent of the path.
// The transformer hands it entries while it follows; in mode 3 (off, after a
// reset) it passes every entry it holds on to the group's output.
#pragma once

#include <cstdint>

#include "base_table.h"
#include "vec3d.h"

class CTransformerHost;

class CTangentialFollowing
{
public:
    static constexpr int ModeFirst = 1;
    static constexpr int ModeNext = 2;
    static constexpr int ModeOff = 3;

    explicit CTangentialFollowing(CTransformerHost& host);
    CTangentialFollowing(const CTangentialFollowing&) = delete;
    CTangentialFollowing& operator=(const CTangentialFollowing&) = delete;
    virtual ~CTangentialFollowing();

    // Takes an entry into the look-ahead and treats what it can: 1 taken, 0
    // when the look-ahead is full (message 3214, the channel in state 11).
    virtual int Accept(CEntry* entry);
    // One treatment step by the mode; mode 3 passes everything on.
    virtual int TreatStep();
    // Stores the mode, except that mode 1 does not replace mode 2.
    virtual void SetFollowMode(int mode);
    virtual void Reset();
    // Deletes the entries of both tables, then resets.
    virtual void Clear();
    virtual bool IsIdle() const { return m_input.IsEmpty() && m_lookAhead.IsEmpty(); }

    int Mode() const { return m_mode; }
    bool Finished() const { return m_finished != 0; }

protected:
    // Mode 3: every held entry to the output, in order; 1 when all left.
    int PassAll();

    CTransformerHost& m_host;
    std::int32_t m_finished = 0;
    std::int32_t m_words[2] = {0, 0};
    double m_offset = 0.0;
    double m_length = 0.0;
    std::int32_t m_mode = ModeOff;
    std::int32_t m_place = -1;
    CEntry* m_current = nullptr;
    CBaseTable m_input;
    CTfTable m_lookAhead;
};
