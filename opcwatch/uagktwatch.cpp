#include "uagktwatch.h"

#include "uagktiomanager.h"
#include "uagktnodes.h"

#include <samplingitemcache.h>
#include <uatrace.h>

#include <chrono>

struct CUaGktWatch::Registration
{
    ReferenceHolder<CUaGktItem> item;
    std::unique_ptr<SamplingItemCache> link;
    IOVariableCallback* pCallback;
    OpcUa_Int32 samplingInterval;
};

namespace
{
const char* statusName(const UaStatus& status)
{
    switch (status.statusCode())
    {
    case OpcUa_Good:
        return "OpcUa_Good";
    case OpcUa_BadInvalidState:
        return "OpcUa_BadInvalidState";
    case OpcUa_BadInvalidArgument:
        return "OpcUa_BadInvalidArgument";
    default:
        return nullptr;
    }
}

UaStatus leave(const char* operation, const UaStatus& status);

// The refusal of an item operation while the watch is shut down.
UaStatus refuseNotRunning(const char* operation)
{
    UaTrace::traceLevel1("Invalid state - watch is not running");
    return leave(operation, OpcUa_BadInvalidState);
}

UaStatus leave(const char* operation, const UaStatus& status)
{
    if (const char* name = statusName(status))
        UaTrace::traceLevel6("<-- CUaGktWatch::%s [ret=%s]", operation, name);
    else
        UaTrace::traceLevel6("<-- CUaGktWatch::%s [ret=%i]", operation,
                             static_cast<int>(status.statusCode()));
    return status;
}
} // namespace

CUaGktWatch::CUaGktWatch()
{
    UaTrace::traceLevel5("**CUaGktWatch");
}

CUaGktWatch::~CUaGktWatch()
{
    UaTrace::traceLevel5("~CUaGktWatch");
}

int CUaGktWatch::state() const
{
    std::lock_guard guard(m_stateLock);
    return m_state;
}

std::size_t CUaGktWatch::itemCount() const
{
    std::lock_guard guard(m_itemsLock);
    return m_registrations.size();
}

UaStatus CUaGktWatch::Init(CUaGktIoManager* pOwner)
{
    std::lock_guard guard(m_stateLock);
    if (m_state != 0)
    {
        UaTrace::traceLevel1("Watch is already initialized");
        return leave("Init", OpcUa_BadInvalidState);
    }
    if (!pOwner)
    {
        UaTrace::traceLevel1("Invalid argument");
        return leave("Init", OpcUa_BadInvalidArgument);
    }
    m_pSamplingEngine = std::make_unique<SamplingEngine>();
    m_pOwner = pOwner;
    signalStop(false);
    m_state = 1;
    return leave("Init", OpcUa_Good);
}

UaStatus CUaGktWatch::Start()
{
    std::lock_guard guard(m_stateLock);
    if (m_state != 1)
        return leave("Start", OpcUa_BadInvalidState);
    signalStop(false);
    start();
    m_state = 2;
    return leave("Start", OpcUa_Good);
}

UaStatus CUaGktWatch::Stop()
{
    std::lock_guard guard(m_stateLock);
    if (m_state != 2)
        return leave("Stop", OpcUa_BadInvalidState);
    UaTrace::traceLevel4("BEGIN terminate watch thread");
    signalStop(true);
    wait(OpcUa_Infinite);
    UaTrace::traceLevel4("DONE terminate watch thread");
    m_state = 1;
    return leave("Stop", OpcUa_Good);
}

UaStatus CUaGktWatch::Shutdown()
{
    std::lock_guard guard(m_stateLock);
    if (m_state == 0)
    {
        UaTrace::traceLevel1("Watch is already shutdown");
        return leave("Shutdown", OpcUa_BadInvalidState);
    }
    if (m_state == 2)
    {
        const UaStatus stopped = Stop();
        if (stopped.isNotGood())
            return leave("Shutdown", stopped);
    }
    RemoveAllItems();
    m_pOwner = nullptr;
    m_pSamplingEngine.reset();
    m_state = 0;
    return leave("Shutdown", OpcUa_Good);
}

UaStatus CUaGktWatch::AddItem(CUaGktItem* pItem, OpcUa_Int32& samplingInterval, IOVariableCallback* pCallback,
                              Session* pSession, ReferenceCounter* pSessionReference, OpcUa_UInt32& hItem)
{
    std::lock_guard stateGuard(m_stateLock);
    if (m_state == 0)
        return refuseNotRunning("AddItem");
    if (!pItem || !pCallback)
    {
        UaTrace::traceLevel1("Invalid argument");
        return leave("AddItem", OpcUa_BadInvalidArgument);
    }
    std::lock_guard guard(m_itemsLock);
    auto registration = std::make_unique<Registration>();
    registration->item = pItem;
    registration->pCallback = pCallback;
    // The watch polls every 500 ms whatever the client asked for.
    samplingInterval = PollingInterval;
    registration->link =
        std::make_unique<SamplingItemCache>(samplingInterval, pItem, pCallback, pSession, pSessionReference);
    m_pSamplingEngine->addItem(registration->link.get(), samplingInterval);
    registration->link->setSamplingInterval(samplingInterval);
    registration->samplingInterval = samplingInterval;
    pItem->addSamplingItem(registration->link.get());
    hItem = m_nextHandle++;
    if (m_nextHandle == 0)
        m_nextHandle = 1;
    registration->link->setItemHandle(hItem);
    m_registrations.emplace(hItem, std::move(registration));
    return leave("AddItem", OpcUa_Good);
}

UaStatus CUaGktWatch::RemoveItem(OpcUa_UInt32 hItem)
{
    std::lock_guard stateGuard(m_stateLock);
    if (m_state == 0)
        return refuseNotRunning("RemoveItem");
    std::lock_guard guard(m_itemsLock);
    const auto found = m_registrations.find(hItem);
    if (found == m_registrations.end())
        return leave("RemoveItem", OpcUa_BadNotFound);
    Registration& registration = *found->second;
    registration.item->removeSamplingItem(registration.link.get());
    m_pSamplingEngine->removeItem(registration.link.get(), registration.samplingInterval);
    m_registrations.erase(found);
    return leave("RemoveItem", OpcUa_Good);
}

UaStatus CUaGktWatch::RemoveAllItems()
{
    std::lock_guard stateGuard(m_stateLock);
    if (m_state == 0)
        return refuseNotRunning("RemoveAllItems");
    std::lock_guard guard(m_itemsLock);
    while (!m_registrations.empty())
        RemoveItem(m_registrations.begin()->first);
    return leave("RemoveAllItems", OpcUa_Good);
}

void CUaGktWatch::signalStop(bool stop)
{
    std::lock_guard guard(m_stopLock);
    m_stopSignalled = stop;
    m_stopEvent.notify_all();
}

bool CUaGktWatch::waitForStop()
{
    std::unique_lock lock(m_stopLock);
    return m_stopEvent.wait_for(lock, std::chrono::milliseconds(PollingInterval),
                                [this] { return m_stopSignalled; });
}

void CUaGktWatch::run()
{
    UaTrace::traceLevel6("--> CQbUaPlcWatchPolling enter thread proc");
    while (!waitForStop())
        pollOnce();
    UaTrace::traceLevel6("<-- CQbUaPlcWatchPolling leaving thread proc");
}

void CUaGktWatch::pollOnce()
{
    std::lock_guard guard(m_itemsLock);
    for (auto& [handle, registration] : m_registrations)
    {
        CUaGktItem& item = *registration->item;
        if (CUaGktIoManager::readSize(item) == 0)
            continue;
        // A failed read is stored too: the monitored items see Bad until a read succeeds again.
        item.setValue(nullptr, m_pOwner->readItem(item), false);
    }
}
