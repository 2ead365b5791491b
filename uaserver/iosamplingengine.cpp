// The I/O sampling engine's rates, rate groups, tick thread and sampling jobs, and the parking of
// cached items whose variable was deleted.
#include "iosamplingengine.h"

#include "fixedrateticker.h"
#include "iomanageruanode.h"
#include "iovalues.h"
#include "samplingengine.h"
#include "samplingitemcache.h"
#include "serverconfig.h"
#include "servermanager.h"
#include "uanodeinterfaces.h"
#include "uathreadpool.h"
#include "uavariablecache.h"

#include <algorithm>

namespace
{
// The worker pool all engines of the process share: made by the first start-up, gone with the last
// engine. Never destroyed at exit, as engines may outlive static destruction.
struct SharedPool
{
    UaMutex lock;
    std::unique_ptr<UaThreadPool> pool;
    OpcUa_UInt32 engines = 0;
};

SharedPool& sharedPool()
{
    static auto* shared = new SharedPool;
    return *shared;
}

constexpr OpcUa_UInt32 g_defaultMinThreads = 0;
constexpr OpcUa_UInt32 g_defaultMaxThreads = 4;

UaThreadPool* sharedSamplingPool(ServerConfig* config)
{
    SharedPool& shared = sharedPool();
    UaMutexLocker locker(&shared.lock);
    if (!shared.pool)
    {
        OpcUa_UInt32 limits[4] = {0, 0, 0, 0};
        if (config)
            config->getIoLimits(limits[0], limits[1], limits[2], limits[3]);
        OpcUa_UInt32 minThreads = *std::min_element(limits, limits + 4);
        OpcUa_UInt32 maxThreads = *std::max_element(limits, limits + 4);
        if (maxThreads == 0)
        {
            minThreads = g_defaultMinThreads;
            maxThreads = g_defaultMaxThreads;
        }
        shared.pool = std::make_unique<UaThreadPool>(minThreads, maxThreads);
    }
    return shared.pool.get();
}
} // namespace

struct IOSamplingEngine::Group
{
    Group(OpcUa_UInt32 groupRate, OpcUa_UInt32 ticks) : rate(groupRate), reload(ticks), countdown(ticks) {}
    ~Group()
    {
        for (UaVariable* variable : variables)
            variable->releaseReference();
    }

    OpcUa_Double rate;
    UaMutex groupLock;
    bool busy = false;
    OpcUa_UInt32 itemCount = 0;
    UaMutex itemLock;
    std::vector<UaVariable*> variables;
    std::vector<SamplingItemRead*> items;
    std::vector<OpcUa_UInt32> handles;
    // Only the tick thread touches these.
    OpcUa_UInt32 reload;
    OpcUa_UInt32 countdown;
};

// One sampling of one group on a pool thread.
class IOSamplingEngine::SamplingJob : public UaThreadJob
{
public:
    SamplingJob(IOSamplingEngine& engine, OpcUa_UInt32 group) : m_engine(engine), m_group(group) {}
    ~SamplingJob() override { m_engine.samplingJobEnded(); }
    void execute() override { m_engine.sampleGroup(m_group); }

private:
    IOSamplingEngine& m_engine;
    OpcUa_UInt32 m_group;
};

IOSamplingEngine::IOSamplingEngine(IOManagerUaNode* pOwner) : m_pOwner(pOwner)
{
    SharedPool& shared = sharedPool();
    UaMutexLocker locker(&shared.lock);
    ++shared.engines;
}

IOSamplingEngine::~IOSamplingEngine()
{
    stop();
    m_pSamplingEngine.reset();
    {
        SharedPool& shared = sharedPool();
        UaMutexLocker locker(&shared.lock);
        if (--shared.engines == 0)
            shared.pool.reset();
    }
    UaMutexLocker locker(&m_mutex);
    m_parkedItems.clear();
    m_parkedHandles.clear();
    m_items.clear();
    m_groups.clear();
}

UaStatus IOSamplingEngine::startUpSampling(ServerManager* pServerManager)
{
    ServerConfig* config = pServerManager ? pServerManager->getServerConfig() : nullptr;
    UaThreadPool* pool = sharedSamplingPool(config);
    UaMutexLocker locker(&m_mutex);
    if (m_started)
        return OpcUa_BadInternalError;
    m_started = true;
    m_pPool = pool;
    UaUInt32Array configured;
    if (config)
        config->getIoSamplingSettings(configured);
    std::vector<OpcUa_UInt32> rates(configured.data(), configured.data() + configured.length());
    m_rateZeroConfigured = SamplingEngine::normalizeIntervals(rates);
    m_rates = rates;
    m_baseTick = m_rates.front();
    for (OpcUa_UInt32 rate : m_rates)
        m_groups.push_back(std::make_unique<Group>(rate, rate / m_baseTick));
    return OpcUa_Good;
}

void IOSamplingEngine::prepareMonitoring()
{
    if (!m_started)
        startUpSampling(nullptr);
    if (!m_pSamplingEngine)
        m_pSamplingEngine =
            std::make_unique<SamplingEngine>(static_cast<OpcUa_UInt32>(m_rates.size()), m_rates.data());
}

void IOSamplingEngine::stop()
{
    {
        UaMutexLocker jobs(&m_jobMutex);
        m_stopped = true;
    }
    m_stop = true;
    wait(OpcUa_Infinite);
    while (isRunning())
        UaThread::sleep(100);
    // Woken by the last job while it holds the lock, this returns only after that job let go of it.
    std::unique_lock flight(m_flightLock);
    m_jobsEnded.wait(flight, [this] { return m_jobsInFlight == 0; });
}

void IOSamplingEngine::ensureTickThread()
{
    if (m_tickStarted || m_stopped)
        return;
    m_tickStarted = true;
    start();
}

void IOSamplingEngine::run()
{
    FixedRateTicker ticker(m_baseTick, "IOSamplingEngine");
    // Each group samples on the multiples of its rate of the tick count.
    for (auto& group : m_groups)
        group->countdown = ticker.countdownTo(group->reload);
    while (!m_stop)
    {
        ticker.waitForNextPass();
        for (OpcUa_UInt32 g = 0; g < m_groups.size() && !m_stop; ++g)
        {
            Group& group = *m_groups[g];
            if (group.countdown != 0 && --group.countdown != 0)
                continue;
            UaMutexLocker locker(&group.groupLock);
            // A busy group keeps its countdown at 0 and is tried again on the next tick.
            if (group.busy)
                continue;
            if (group.itemCount == 0)
            {
                group.countdown = group.reload;
                continue;
            }
            group.busy = true;
            locker.unlock();
            if (postSamplingJob(g))
                group.countdown = group.reload;
            else
            {
                locker.lock(&group.groupLock);
                group.busy = false;
            }
        }
    }
}

bool IOSamplingEngine::postSamplingJob(OpcUa_UInt32 group)
{
    {
        std::lock_guard flight(m_flightLock);
        ++m_jobsInFlight;
    }
    auto* job = new SamplingJob(*this, group);
    if (OpcUa_IsGood(m_pPool->addJob(job)))
        return true;
    delete job;
    return false;
}

void IOSamplingEngine::samplingJobEnded()
{
    std::lock_guard flight(m_flightLock);
    if (--m_jobsInFlight == 0)
        m_jobsEnded.notify_all();
}

void IOSamplingEngine::sampleGroup(OpcUa_UInt32 g)
{
    Group& group = *m_groups[g];
    {
        UaMutexLocker items(&group.itemLock);
        const auto count = static_cast<OpcUa_UInt32>(group.variables.size());
        UaVariableArray variables;
        variables.create(count);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            variables[i] = group.variables[i];
        UaDataValueArray values;
        const UaStatus status = count > 0 ? m_pOwner->readValues(variables, values) : UaStatus(OpcUa_Good);
        if (status.isNotGood())
        {
            for (SamplingItemRead* item : group.items)
            {
                UaDataValue failed;
                failed.setStatusCode(status.statusCode());
                item->callback()->dataChange(failed);
            }
        }
        // A batch with another number of values than variables delivers nothing this time.
        else if (values.length() == count)
        {
            for (OpcUa_UInt32 i = 0; i < count; ++i)
            {
                SamplingItemRead* item = group.items[i];
                UaDataValue value(values[i]);
                if (item->variable()->valueHandling() & 0x1)
                    item->variable()->setValue(nullptr, value, false);
                if (const UaNumericRange* range = item->indexRange())
                    IOValues::cutToRange(value, *range);
                item->callback()->dataChange(value);
            }
        }
    }
    UaMutexLocker locker(&group.groupLock);
    group.busy = false;
}

void IOSamplingEngine::joinGroup(
    OpcUa_UInt32 g, const std::vector<QueuedItem>& items,
    const std::function<void(const QueuedItem& queued, OpcUa_Double rate)>& answer)
{
    Group& group = *m_groups[g];
    UaMutexLocker locker(&group.itemLock);
    for (const QueuedItem& queued : items)
    {
        SamplingItemRead* item = queued.item;
        item->variable()->addReference();
        item->groupIndex = static_cast<OpcUa_Int32>(g);
        item->position = static_cast<OpcUa_UInt32>(group.items.size());
        group.variables.push_back(item->variable());
        group.items.push_back(item);
        group.handles.push_back(queued.itemHandle);
        answer(queued, group.rate);
    }
    setGroupItemCount(group, group.items.size());
}

void IOSamplingEngine::leaveGroups(const std::vector<SamplingItemRead*>& items)
{
    for (OpcUa_UInt32 g = 0; g < m_groups.size(); ++g)
    {
        Group& group = *m_groups[g];
        std::vector<OpcUa_UInt32> leaving;
        for (SamplingItemRead* item : items)
            if (item->groupIndex == static_cast<OpcUa_Int32>(g))
                leaving.push_back(item->position);
        if (leaving.empty())
            continue;
        UaMutexLocker locker(&group.itemLock);
        std::vector<bool> leaves(group.items.size(), false);
        for (OpcUa_UInt32 position : leaving)
            leaves[position] = true;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < group.items.size(); ++i)
        {
            if (leaves[i])
            {
                group.variables[i]->releaseReference();
                continue;
            }
            group.variables[kept] = group.variables[i];
            group.items[kept] = group.items[i];
            group.handles[kept] = group.handles[i];
            group.items[kept]->position = static_cast<OpcUa_UInt32>(kept);
            ++kept;
        }
        group.variables.resize(kept);
        group.items.resize(kept);
        group.handles.resize(kept);
        group.variables.shrink_to_fit();
        group.items.shrink_to_fit();
        group.handles.shrink_to_fit();
        setGroupItemCount(group, kept);
    }
}

void IOSamplingEngine::setGroupItemCount(Group& group, std::size_t count)
{
    UaMutexLocker locker(&group.groupLock);
    group.itemCount = static_cast<OpcUa_UInt32>(count);
}

void IOSamplingEngine::parkSamplingItems(UaVariableCache* pVariable)
{
    UaMutexLocker locker(&m_mutex);
    std::vector<OpcUa_UInt32> handles;
    pVariable->copySamplingItems(handles);
    if (handles.empty())
        return;
    const UaNodeId nodeId = pVariable->nodeId();
    std::vector<OpcUa_UInt32>& parked = m_parkedItems[nodeId];
    for (OpcUa_UInt32 handle : handles)
    {
        parked.push_back(handle);
        m_parkedHandles[handle] = nodeId;
    }
}

void IOSamplingEngine::rebindSamplingItems(UaVariableCache* pVariable)
{
    UaMutexLocker locker(&m_mutex);
    if (m_parkedItems.empty())
        return;
    auto parked = m_parkedItems.find(pVariable->nodeId());
    if (parked == m_parkedItems.end())
        return;
    for (OpcUa_UInt32 handle : parked->second)
    {
        m_parkedHandles.erase(handle);
        SamplingItem* item = m_items.get(handle);
        if (!item || item->kind() != SamplingItemKind::Cache)
            continue;
        auto* cached = static_cast<SamplingItemCache*>(item);
        if (cached->isAttached())
            continue;
        cached->setVariable(pVariable);
        pVariable->addSamplingItem(cached);
    }
    m_parkedItems.erase(parked);
}

void IOSamplingEngine::unpark(OpcUa_UInt32 itemHandle)
{
    auto parked = m_parkedHandles.find(itemHandle);
    if (parked == m_parkedHandles.end())
        return;
    auto list = m_parkedItems.find(parked->second);
    if (list != m_parkedItems.end())
    {
        list->second.erase(std::remove(list->second.begin(), list->second.end(), itemHandle),
                           list->second.end());
        if (list->second.empty())
            m_parkedItems.erase(list);
    }
    m_parkedHandles.erase(parked);
}

bool IOSamplingEngine::isStarted() const
{
    UaMutexLocker locker(&m_mutex);
    return m_started;
}

bool IOSamplingEngine::isRateZeroConfigured() const
{
    UaMutexLocker locker(&m_mutex);
    return m_rateZeroConfigured;
}

OpcUa_UInt32 IOSamplingEngine::baseTick() const
{
    UaMutexLocker locker(&m_mutex);
    return m_baseTick;
}

std::vector<OpcUa_UInt32> IOSamplingEngine::rates() const
{
    UaMutexLocker locker(&m_mutex);
    return m_rates;
}

SamplingEngine* IOSamplingEngine::samplingEngine() const
{
    UaMutexLocker locker(&m_mutex);
    return m_pSamplingEngine.get();
}

OpcUa_UInt32 IOSamplingEngine::itemCount() const
{
    UaMutexLocker locker(&m_mutex);
    return m_items.inUse();
}

bool IOSamplingEngine::itemKind(OpcUa_UInt32 itemHandle, OpcUa_UInt32& kind) const
{
    UaMutexLocker locker(&m_mutex);
    const SamplingItem* item = m_items.get(itemHandle);
    if (item)
        kind = item->kind();
    return item != nullptr;
}

bool IOSamplingEngine::itemDeadband(OpcUa_UInt32 itemHandle, OpcUa_Double& deadband) const
{
    UaMutexLocker locker(&m_mutex);
    const SamplingItem* item = m_items.get(itemHandle);
    return item && item->kind() == SamplingItemKind::Cache &&
           static_cast<const SamplingItemCache*>(item)->getDeadband(deadband);
}

std::vector<OpcUa_UInt32> IOSamplingEngine::groupMembers(OpcUa_UInt32 group) const
{
    if (group >= m_groups.size())
        return {};
    UaMutexLocker locker(&m_groups[group]->itemLock);
    return m_groups[group]->handles;
}

bool IOSamplingEngine::isGroupBusy(OpcUa_UInt32 group) const
{
    if (group >= m_groups.size())
        return false;
    UaMutexLocker locker(&m_groups[group]->groupLock);
    return m_groups[group]->busy;
}

OpcUa_UInt32 IOSamplingEngine::parkedCount() const
{
    UaMutexLocker locker(&m_mutex);
    return static_cast<OpcUa_UInt32>(m_parkedHandles.size());
}

UaThreadPool* IOSamplingEngine::samplingPool() const
{
    UaMutexLocker locker(&m_mutex);
    return m_pPool;
}
