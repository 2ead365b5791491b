#ifndef UASERVER_IOSAMPLINGENGINE_H
#define UASERVER_IOSAMPLINGENGINE_H

#include "handletable.h"
#include "iomanager.h"
#include "samplingitem.h"

#include <uamutex.h>
#include <uanodeid.h>
#include <uathread.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class IOManagerUaNode;
class SamplingEngine;
class SamplingItemCache;
class SamplingItemRead;
class ServerManager;
class UaThreadPool;
class UaVariableCache;

// The monitoring of one UaNode I/O manager. It keeps the sampling items under handles and a fixed
// set of sampling rates with one rate group each. Values that live in a variable's cache are watched
// by cache sampling items, which the variable tells of every new value and a SamplingEngine ticks at
// their interval; values that must be fetched are read in one batch per group through the owner's
// readValues, on the process-wide worker pool, when the tick thread finds the group due. Other
// attributes are reported once when their monitoring starts.
//
// Locks, in the order they may be taken: m_jobMutex (one start, modify or stop job at a time),
// m_mutex (item table, parked items), a group's item lock (its arrays), its group lock (busy flag,
// item count); then the SamplingEngine's mutex and a variable's mutex. The tick thread takes group
// locks only; the owner's hooks and the transaction callbacks are called with none of the first two.
class IOSamplingEngine : public UaThread
{
public:
    explicit IOSamplingEngine(IOManagerUaNode* pOwner);
    ~IOSamplingEngine() override;

    // Pool (first engine of the process), rates and groups. BadInternalError when started before.
    UaStatus startUpSampling(ServerManager* pServerManager);
    // Ends the tick thread and waits for the sampling jobs in flight: on return no sampling worker is
    // inside the engine any more. An owner whose readValues is overridden calls it before its derived
    // part is gone; the destructor calls it too.
    void stop();

    UaStatus beginStartMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                  IOVariableCallback* pCallback, VariableHandle* pVariableHandle,
                                  MonitoringContext& monitoringContext);
    UaStatus beginModifyMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 itemHandle, MonitoringContext& monitoringContext);
    UaStatus beginStopMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                 OpcUa_UInt32 itemHandle);
    // The jobs of the items a transaction queued (items read in rate groups).
    void runStartJob(IOTransactionContext& context);
    void runModifyJob(IOTransactionContext& context);
    void runStopJob(IOTransactionContext& context);

    // A cached variable leaves its node manager: its items wait for a variable of the same NodeId.
    void parkSamplingItems(UaVariableCache* pVariable);
    // A cached variable joined its node manager: items parked for its NodeId move to it.
    void rebindSamplingItems(UaVariableCache* pVariable);

    // Writes that carry time stamps or a status are refused while these are false.
    bool timestampsWritable() const { return m_timestampsWritable; }
    void setTimestampsWritable(bool writable) { m_timestampsWritable = writable; }
    bool statusWritable() const { return m_statusWritable; }
    void setStatusWritable(bool writable) { m_statusWritable = writable; }

    // What the engine holds, for diagnostics.
    bool isStarted() const;
    bool isRateZeroConfigured() const;
    OpcUa_UInt32 baseTick() const;
    std::vector<OpcUa_UInt32> rates() const;
    // Null before the first start of monitoring.
    SamplingEngine* samplingEngine() const;
    OpcUa_UInt32 itemCount() const;
    // The kind of the item under that handle; false when there is none.
    bool itemKind(OpcUa_UInt32 itemHandle, OpcUa_UInt32& kind) const;
    // The absolute deadband of a cached item; false for an item without one.
    bool itemDeadband(OpcUa_UInt32 itemHandle, OpcUa_Double& deadband) const;
    // The handles of a rate group in group order.
    std::vector<OpcUa_UInt32> groupMembers(OpcUa_UInt32 group) const;
    // Whether a sampling job of the group is posted or running.
    bool isGroupBusy(OpcUa_UInt32 group) const;
    OpcUa_UInt32 parkedCount() const;
    // The process-wide pool the sampling jobs run on; null before start-up.
    UaThreadPool* samplingPool() const;

protected:
    // The tick thread.
    void run() override;

private:
    struct Group;
    class SamplingJob;
    struct QueuedItem
    {
        OpcUa_UInt32 queueIndex;
        OpcUa_UInt32 itemHandle;
        SamplingItemRead* item;
    };

    // Under m_mutex: starts sampling when nobody did and builds the SamplingEngine.
    void prepareMonitoring();
    UaStatus startCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                             IOVariableCallback* pCallback, UaVariableCache* pVariable,
                             const MonitoringContext& monitoringContext, const UaNumericRange* pIndexRange);
    UaStatus startStaticItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle, UaNode* pNode,
                             OpcUa_Int32 attributeId, const MonitoringContext& monitoringContext);
    UaStatus modifyCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                              OpcUa_UInt32 itemHandle, const MonitoringContext& monitoringContext);
    UaStatus stopCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                            OpcUa_UInt32 itemHandle);
    // Under m_mutex: the SamplingEngine takes the item at the item's interval, when above 0, and
    // revises it.
    void scheduleCachedItem(SamplingItemCache* item);
    void unscheduleCachedItem(SamplingItemCache* item);
    // The kind-0 interval of a requested interval.
    OpcUa_Int32 cachedInterval(OpcUa_Double requested, const UaVariable& variable) const;
    // The group whose rate is nearest the requested interval.
    OpcUa_UInt32 nearestGroup(OpcUa_Double requested) const;
    // Takes m_mutex: the read item under the handle, null when there is none of that kind.
    SamplingItemRead* findReadItem(OpcUa_UInt32 itemHandle) const;
    // Appends items to a group (each learns its position) and answers each, all under the group's
    // item lock, so that no sample reaches an item before its answer.
    void joinGroup(OpcUa_UInt32 group, const std::vector<QueuedItem>& items,
                   const std::function<void(const QueuedItem& queued, OpcUa_Double rate)>& answer);
    // Takes the items out of their groups, the remaining ones keeping their order.
    void leaveGroups(const std::vector<SamplingItemRead*>& items);
    void setGroupItemCount(Group& group, std::size_t count);
    void ensureTickThread();
    bool postSamplingJob(OpcUa_UInt32 group);
    void sampleGroup(OpcUa_UInt32 group);
    void samplingJobEnded();
    // Under m_mutex: forgets a parked handle.
    void unpark(OpcUa_UInt32 itemHandle);

    std::atomic<bool> m_stop{false};
    bool m_started = false;
    bool m_stopped = false;
    IOManagerUaNode* m_pOwner;
    std::unique_ptr<SamplingEngine> m_pSamplingEngine;
    mutable UaMutex m_mutex;
    HandleTable<SamplingItem> m_items;
    bool m_rateZeroConfigured = false;
    std::atomic<bool> m_timestampsWritable{false};
    std::atomic<bool> m_statusWritable{false};
    OpcUa_UInt32 m_baseTick = 0xFFFFFFFF;
    std::vector<OpcUa_UInt32> m_rates;
    std::vector<std::unique_ptr<Group>> m_groups;
    std::map<UaNodeId, std::vector<OpcUa_UInt32>> m_parkedItems;
    std::map<OpcUa_UInt32, UaNodeId> m_parkedHandles;

    UaMutex m_jobMutex;
    bool m_tickStarted = false;
    UaThreadPool* m_pPool = nullptr;
    // The sampling jobs posted and not yet ended; stop waits on m_jobsEnded until there are none.
    // A job counts itself out under m_flightLock as its very last touch of the engine.
    std::mutex m_flightLock;
    std::condition_variable m_jobsEnded;
    OpcUa_UInt32 m_jobsInFlight = 0;
};

#endif
