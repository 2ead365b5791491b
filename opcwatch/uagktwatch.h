// The polling watch: the device tells no changes, so a thread of its own reads every monitored
// device-profile variable 500 ms after the last pass ended and stores what it read in the
// variable, whose sampling items turn it into data changes for the monitored items.
//
// Locks, in this order: the state lock (Init, Start, Stop, Shutdown), the items lock (the
// registrations and each pass), then the I/O manager's device lock and a variable's shared mutex
// inside a pass. A registration removed during a pass waits for the pass to end.
#pragma once

#include <referencecounter.h>
#include <samplingengine.h>
#include <uathread.h>

#include <uastatus.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

class CUaGktIoManager;
class CUaGktItem;
class IOVariableCallback;
class SamplingItemCache;
class Session;

class CUaGktWatch : public UaThread
{
public:
    // The watch polls at this period, and every monitored item is revised to it.
    static constexpr OpcUa_UInt32 PollingInterval = 500;

    CUaGktWatch();
    // Does not stop the thread: the owner stops and shuts the watch down first.
    ~CUaGktWatch() override;

    // State 0 → 1 with the owner whose device access the passes use.
    UaStatus Init(CUaGktIoManager* pOwner);
    // 1 → 2: the thread runs.
    UaStatus Start();
    // 2 → 1: returns once the thread (and a pass it is in) has ended.
    UaStatus Stop();
    // Any state but 0 → 0, stopping first and dropping every registration.
    UaStatus Shutdown();

    // Registers the item for polling and for data changes to the callback; the interval is
    // revised to 500 ms. The handle names the registration for RemoveItem.
    UaStatus AddItem(CUaGktItem* pItem, OpcUa_Int32& samplingInterval, IOVariableCallback* pCallback,
                     Session* pSession, ReferenceCounter* pSessionReference, OpcUa_UInt32& hItem);
    // BadNotFound for a handle that is not (or no longer) registered.
    UaStatus RemoveItem(OpcUa_UInt32 hItem);
    UaStatus RemoveAllItems();

    int state() const;
    std::size_t itemCount() const;
    // One pass over the registrations, as the thread makes every 500 ms (benchmarks call it on a
    // stopped watch).
    void pollOnce();

protected:
    void run() override;

private:
    struct Registration;

    bool waitForStop();
    void signalStop(bool stop);

    mutable std::recursive_mutex m_stateLock;
    mutable std::recursive_mutex m_itemsLock;
    int m_state = 0;
    CUaGktIoManager* m_pOwner = nullptr;
    std::unique_ptr<SamplingEngine> m_pSamplingEngine;
    // Handles are numbers that are never reused, so a stale handle is never taken for a new one.
    std::map<OpcUa_UInt32, std::unique_ptr<Registration>> m_registrations;
    OpcUa_UInt32 m_nextHandle = 1;

    std::mutex m_stopLock;
    std::condition_variable m_stopEvent;
    bool m_stopSignalled = false;
};
