#include "group.h"

#include "channel.h"
#include "chn_man.h"
#include "entry.h"
#include "interpreter_channel.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
constexpr int IdleWaitMs = 10;
// Free places of the table above which a feed wakes the transformer.
constexpr int TransformerRoom = 10;
} // namespace

CGroup::CGroup(CChnMan* service, std::uint32_t id, std::uint16_t value, const OrxAddr& kernel,
               const CTransTable::CorrectionFactory& correction)
    : m_id(id), m_value(value), m_kernel(kernel), m_service(service)
{
    m_transformer = std::make_unique<CTransformer>(*this, correction);
    if (m_service)
        m_logPath = m_service->ProjectPath();
    m_transformerThread.Start([this] { TransformerWorker(); });
    m_feeder.Start([this] { FeederWorker(); });
}

CGroup::~CGroup()
{
    Stop();
    m_transformer.reset();
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

void CGroup::SetLogPath(const std::string& path)
{
    Lock lock(m_lock);
    m_logPath = path;
}

int CGroup::AddEntry(CEntry* entry)
{
    CChannel* channel = m_channel;
    int result = 0;
    if (channel && channel->Flag(CChannel::FlagChamfer))
        result = m_transformer->ChamferStage().Accept(entry);
    else if (FreePlaces() <= 0)
        return AddEntry::NotNow;
    else
        result = m_transformer->ChannelPassOn(entry);
    if (result == 1)
    {
        WakeTransformer();
        return AddEntry::Taken;
    }
    return result == 0 ? AddEntry::NotNow : -1;
}

int CGroup::FreePlaces() const
{
    const int free = ChannelRoom - m_transformer->Count() - m_transformer->ChamferStage().Count();
    return free < 0 ? 0 : free;
}

bool CGroup::HasUnfinishedMotion() const
{
    return m_finishedBatches != m_sentBatches || !m_cooked.IsEmpty() || !m_transformer->IsIdle();
}

void CGroup::MotionFinished()
{
    std::uint32_t finished = m_finishedBatches.load();
    while (finished != m_sentBatches.load() &&
           !m_finishedBatches.compare_exchange_weak(finished, finished + 1))
    {
    }
}

void CGroup::KernelReset()
{
    Lock lock(m_lock);
    m_resetState = ResetPending;
    m_transformer->Block();
}

void CGroup::DeleteTableEntries()
{
    CEntry* entry = nullptr;
    while (m_cooked.Pop(entry))
        delete entry;
}

// The workers take the same lock for each of their steps, so the chain and
// the table change here between two of their steps, never within one.
void CGroup::ResetWith(CEntry* entry)
{
    {
        Lock lock(m_lock);
        ++m_resets;
        m_firstStep = true;
        m_transformer->Reset();
        DeleteTableEntries();
        m_backup.RemoveAll();
        m_backup.Reset();
        m_resetState = ResetPending;
        m_cooked.Push(entry);
        m_batchCount = 0;
        m_lockActive = false;
        m_lockRequest = false;
        m_orxWait = false;
        m_auxPositionMade = false;
        AllMotionFinished();
        m_resetState = ResetRunning;
    }
    WakeTransformer();
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
    auto slow = [this] { Log(LogError, "CGroup: Thread termination failed!"); };
    if (m_transformerThread.Running())
    {
        m_stopTransformer = true;
        WakeTransformer();
        m_transformerThread.Join(slow);
        m_stopTransformer = false;
    }
    if (m_feeder.Running())
    {
        m_stopFeeder = true;
        WakeFeeder();
        m_feeder.Join(slow);
        m_stopFeeder = false;
    }
}

void CGroup::Log(std::uint32_t type, const std::string& text)
{
    if (m_service)
        m_service->VosReportLog(type, "%s", text.c_str());
}

void CGroup::FeederWorker()
{
    while (!m_stopFeeder)
    {
        bool work = !m_cooked.IsEmpty();
        if (!work)
        {
            Lock lock(m_lock);
            work = m_backup.Active();
        }
        if (work && FeedStep())
        {
            if (m_cooked.Free() > TransformerRoom)
                WakeTransformer();
            continue;
        }
        m_feederEvent.Wait(IdleWaitMs);
    }
}
