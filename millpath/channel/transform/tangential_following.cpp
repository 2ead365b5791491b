#include "tangential_following.h"

#include "entry.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
constexpr std::uint32_t LookAheadRefused = 3214;
constexpr std::uint32_t LookAheadFull = 0x415E; // 16734
} // namespace

CTangentialFollowing::CTangentialFollowing(CTransformerHost& host) : m_host(host) {}

CTangentialFollowing::~CTangentialFollowing()
{
    Clear();
}

void CTangentialFollowing::Reset()
{
    m_place = -1;
    m_offset = 0.0;
    m_finished = 0;
    m_words[0] = 0;
    m_words[1] = 0;
    m_current = nullptr;
    m_mode = ModeOff;
}

void CTangentialFollowing::Clear()
{
    for (CBaseTable* table : {&m_input, static_cast<CBaseTable*>(&m_lookAhead)})
    {
        CEntry* entry = nullptr;
        while (table->Pop(entry))
            delete entry;
    }
    Reset();
}

void CTangentialFollowing::SetFollowMode(int mode)
{
    if (mode == ModeFirst && m_mode == ModeNext)
        return;
    m_mode = mode;
}

int CTangentialFollowing::Accept(CEntry* entry)
{
    if (!entry)
        return 0;
    if (!m_lookAhead.Push(entry))
    {
        m_host.Report(TransFlags::Error, LookAheadRefused, "%x%d%d",
                      {LookAheadFull, m_host.ChannelLine(), entry->m_blockNo});
        m_host.ChannelError(entry, LookAheadFull);
        return 0;
    }
    TreatStep();
    return 1;
}

int CTangentialFollowing::TreatStep()
{
    return m_mode == ModeOff ? PassAll() : 0;
}

int CTangentialFollowing::PassAll()
{
    CEntry* entry = nullptr;
    while (m_lookAhead.PeekFirst(entry) && entry)
    {
        if (!m_host.OutputTable().Push(entry))
        {
            const long long line = m_host.ChannelLine();
            m_host.Report(TransFlags::Error, TransMsg::TangentialOutput, "%x%d%d",
                          {TransError::CollisionOutput, line, entry->m_blockNo});
            m_host.ChannelError(entry, TransError::CollisionOutput);
            m_host.Report(TransFlags::Error, TransMsg::TangentialOutput, "%d%d%x",
                          {line, entry->m_blockNo, TransError::CollisionOutput});
            m_host.ChannelError(entry, TransError::CollisionOutput);
            return 0;
        }
        m_lookAhead.Pop(entry);
        m_host.EntriesMade();
    }
    m_place = -1;
    m_finished = 1;
    m_words[0] = 0;
    return 1;
}
