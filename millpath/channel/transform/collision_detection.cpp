#include "collision_detection.h"

#include "trans_codes.h"
#include "trans_host.h"

CCollisionDetection::CCollisionDetection(CTransformerHost& host) : CBaseGeoCalc(host), m_trans(host) {}

CCollisionDetection::~CCollisionDetection()
{
    Reset();
}

void CCollisionDetection::Init()
{
    m_active = 0;
    m_count = 0;
    m_checkCount = 0;
}

void CCollisionDetection::Reset()
{
    CEntry* entry = nullptr;
    while (m_table.Pop(entry))
        delete entry;
    Init();
}

int CCollisionDetection::SetDepth(int depth)
{
    if (depth < 0 || depth > MaxDepth)
        return 0;
    m_depthPlusOne = depth + 1;
    return 1;
}

bool CCollisionDetection::EntryDirection(const CEntry&, CVec3d&) const
{
    return false;
}

std::uint32_t CCollisionDetection::NewestBlockNo() const
{
    const CEntry* newest = m_table.Last();
    return newest ? newest->m_blockNo : 0;
}

bool CCollisionDetection::PushOut(CEntry* entry)
{
    if (m_trans.OutputTable().Push(entry))
        return true;
    m_trans.Report(TransFlags::Error, TransMsg::OutputRefused, "%x%d%d",
                   {TransError::CollisionOutput, m_trans.ChannelLine(), entry->m_blockNo});
    m_trans.ChannelError(entry, TransError::CollisionOutput);
    return false;
}

int CCollisionDetection::Accept(CEntry* entry)
{
    if (!entry)
        return 0;
    m_trans.EntriesMade();
    if (!m_table.IsEmpty())
        return m_table.Push(entry);
    if (PushOut(entry))
        return 1;
    // Refused by the output: held here, where the next entries join it.
    return m_table.Push(entry);
}
