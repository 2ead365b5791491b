#include "group.h"

#include "channel.h"
#include "chn_man.h"
#include "entry.h"
#include "interpreter_channel.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
constexpr int IdleWaitMs = 10;
} // namespace

CGroup::CGroup(CChnMan* service, std::uint32_t id, std::uint16_t value, const OrxAddr& kernel)
    : m_id(id), m_value(value), m_kernel(kernel), m_service(service)
{
    m_feeder.Start([this] { FeederWorker(); });
}

CGroup::~CGroup()
{
    Stop();
    DeleteTableEntries();
}

bool CGroup::SetChannel(std::uint32_t channelId)
{
    if (m_id == 0 || !m_service)
        return false;
    CChannel* channel = m_service->FindChannel(channelId);
    if (!channel)
        return false;
    m_channel = channel;
    return true;
}

int CGroup::AddEntry(CEntry* entry)
{
    if (m_cooked.Count() >= ChannelRoom || !m_cooked.Push(entry))
        return AddEntry::NotNow;
    WakeFeeder();
    return AddEntry::Taken;
}

int CGroup::FreePlaces() const
{
    const int free = ChannelRoom - m_cooked.Count();
    return free < 0 ? 0 : free;
}

void CGroup::DeleteTableEntries()
{
    CEntry* entry = nullptr;
    while (m_cooked.Pop(entry))
        delete entry;
}

void CGroup::ResetWith(CEntry* entry)
{
    {
        Lock lock(m_lock);
        DeleteTableEntries();
        m_resetState = ResetPending;
        m_cooked.Push(entry);
        m_batchCount = 0;
        m_lockActive = false;
        m_lockRequest = false;
        m_finishedBatches = m_sentBatches.load();
        m_resetState = ResetRunning;
    }
    WakeFeeder();
}

void CGroup::ResetGroup()
{
    ResetWith(new CEntryReset);
}

void CGroup::StopGroup()
{
    ResetWith(new CEntryChnStop);
}

void CGroup::Stop()
{
    if (!m_feeder.Running())
        return;
    m_stopFeeder = true;
    WakeFeeder();
    m_feeder.Join([this] { Log(148, "CGroup: Thread termination failed!"); });
    m_stopFeeder = false;
}

void CGroup::Log(DWORD type, const std::string& text)
{
    if (m_service)
        m_service->VosReportLog(type, "%s", text.c_str());
}

void CGroup::FeederWorker()
{
    while (!m_stopFeeder)
    {
        if (!m_cooked.IsEmpty() && FeedStep())
            continue;
        m_feederEvent.Wait(IdleWaitMs);
    }
}
