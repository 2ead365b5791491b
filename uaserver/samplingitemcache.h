#ifndef UASERVER_SAMPLINGITEMCACHE_H
#define UASERVER_SAMPLINGITEMCACHE_H

#include "cachesamplingitem.h"
#include "iomanagercallback.h"
#include "referencecounter.h"
#include "samplingengine.h"
#include "samplingitem.h"

#include <uamutex.h>

#include <atomic>

class Session;
class UaVariableCache;

// Watches the Value of one cached variable for one monitored item and hands values to the item's
// callback. The variable tells it of every new value (sample, under the variable's mutex); with an
// interval of 0 or less it reports each change at once, otherwise it marks the change and the
// sampling engine's tick (sendIfChanged) reports it. Without a variable (removed) reports carry
// BadNodeIdUnknown until setVariable binds it to a new one.
//
// The item holds a counted reference to its variable, so that a report on the engine's thread never
// reads a variable that removal freed; variableRemoved gives the reference back.
class SamplingItemCache : public SamplingItem, public SamplingObject, public CacheSamplingItem
{
public:
    // Holds a reference to the variable (which may be null) and to the session.
    SamplingItemCache(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable, IOVariableCallback* pCallback,
                      Session* pSession, ReferenceCounter* pSessionReference);
    // Leaves the variable's list when it is still in it.
    ~SamplingItemCache() override;

    // One of the four classes: with or without index range, with an absolute deadband when
    // withDeadband is set.
    static SamplingItemCache* create(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                     IOVariableCallback* pCallback, Session* pSession,
                                     ReferenceCounter* pSessionReference, const UaNumericRange* pIndexRange,
                                     bool withDeadband, OpcUa_Double deadband);

    // SamplingItem
    OpcUa_UInt32 kind() const override { return SamplingItemKind::Cache; }
    const UaNumericRange* indexRange() const override { return nullptr; }

    // The face the sampling engine calls.
    void sendIfChanged() override;
    // Binds the item to a new variable of the same NodeId (a reference is added).
    void setVariable(UaVariableCache* pVariable);
    void setItemHandle(OpcUa_UInt32 itemHandle) { m_itemHandle = itemHandle; }

    // The face the variable calls.
    void sample() override;
    OpcUa_Int32 samplingInterval() const override { return m_samplingInterval; }
    bool getDeadband(OpcUa_Double& deadband) const override;
    void variableRemoved() override;
    OpcUa_UInt32 itemHandle() const override { return m_itemHandle; }

    // True for the deadband classes, which take the new absolute deadband.
    virtual bool setDeadband(OpcUa_Double deadband);
    // The interval the engine revised it to.
    void setSamplingInterval(OpcUa_Int32 samplingInterval) { m_samplingInterval = samplingInterval; }
    // The variable with a reference for the caller; null when none.
    ReferenceHolder<UaVariableCache> variable() const;
    bool isAttached() const;
    IOVariableCallback* callback() const { return m_pCallback; }
    Session* session() const { return m_pSession; }
    ReferenceCounter* sessionReference() const { return m_sessionReference.get(); }

private:
    void report();
    void markChanged(bool changed);
    // Whether the variable's value moved beyond the deadband from the value delivered last.
    bool beyondDeadband(UaVariableCache& variable, OpcUa_Double deadband);

    std::atomic<OpcUa_Int32> m_samplingInterval;
    mutable UaMutex m_variableLock;
    ReferenceHolder<UaVariableCache> m_variable;
    // A lost update between the two sides only moves a report to the next tick.
    std::atomic<bool> m_changed{true};
    IOVariableCallback* m_pCallback;
    Session* m_pSession;
    ReferenceHolder<ReferenceCounter> m_sessionReference;
    std::atomic<OpcUa_UInt32> m_itemHandle{0};
};

class SamplingItemCacheIndexRange : public SamplingItemCache
{
public:
    SamplingItemCacheIndexRange(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                IOVariableCallback* pCallback, Session* pSession,
                                ReferenceCounter* pSessionReference, const UaNumericRange& range)
        : SamplingItemCache(samplingInterval, pVariable, pCallback, pSession, pSessionReference),
          m_range(range)
    {
    }
    const UaNumericRange* indexRange() const override { return &m_range; }

private:
    UaNumericRange m_range;
};

// Reports only values that moved more than an absolute deadband (converted from the client's
// percent by the I/O manager) from the value the item delivered last.
class SamplingItemCachePercentDeadband : public SamplingItemCache
{
public:
    SamplingItemCachePercentDeadband(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                     IOVariableCallback* pCallback, Session* pSession,
                                     ReferenceCounter* pSessionReference, OpcUa_Double deadband)
        : SamplingItemCache(samplingInterval, pVariable, pCallback, pSession, pSessionReference),
          m_deadband(deadband)
    {
    }
    bool getDeadband(OpcUa_Double& deadband) const override
    {
        deadband = m_deadband;
        return true;
    }
    bool setDeadband(OpcUa_Double deadband) override
    {
        m_deadband = deadband;
        return true;
    }

private:
    std::atomic<OpcUa_Double> m_deadband;
};

class SamplingItemCachePercentDeadbandIndexRange : public SamplingItemCachePercentDeadband
{
public:
    SamplingItemCachePercentDeadbandIndexRange(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                               IOVariableCallback* pCallback, Session* pSession,
                                               ReferenceCounter* pSessionReference, OpcUa_Double deadband,
                                               const UaNumericRange& range)
        : SamplingItemCachePercentDeadband(samplingInterval, pVariable, pCallback, pSession,
                                           pSessionReference, deadband),
          m_range(range)
    {
    }
    const UaNumericRange* indexRange() const override { return &m_range; }

private:
    UaNumericRange m_range;
};

#endif
