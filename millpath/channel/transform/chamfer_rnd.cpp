#include "chamfer_rnd.h"

#include "trans_codes.h"
#include "trans_host.h"
#include "transformer.h"

CChamferRnd::CChamferRnd(CTransformerHost& host, CTransformer& transformer)
    : CBaseGeoCalc(host), m_trans(host), m_transformer(transformer)
{
}

CChamferRnd::~CChamferRnd()
{
    Reset();
}

void CChamferRnd::Reset()
{
    CEntry* entry = nullptr;
    while (m_table.Pop(entry))
        delete entry;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (CEntryGeo_3D** held : {&m_firstElement, &m_secondElement, &m_newElement})
    {
        delete *held;
        *held = nullptr;
    }
    m_cornerCount = 0;
}

int CChamferRnd::Accept(CEntry* entry)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_transformer.Count() + m_table.Count() >= Room)
    {
        if (m_table.Count() < Room)
            return 0;
        m_trans.Report(TransFlags::Error, TransMsg::ChamferTable, "%d", {m_trans.GroupId()});
        m_trans.ChannelError(entry, TransError::ChamferFlow);
        return -1;
    }
    return m_transformer.ChannelPassOn(entry);
}
