#include "samplingitemcache.h"

#include "iovalues.h"
#include "uavariablecache.h"
#include "attributeids.h"

SamplingItemRead::SamplingItemRead(UaVariable* pVariable, IOVariableCallback* pCallback)
    : m_pVariable(pVariable), m_pCallback(pCallback)
{
    m_pVariable->addReference();
}

SamplingItemRead::~SamplingItemRead()
{
    m_pVariable->releaseReference();
}

SamplingItemCache::SamplingItemCache(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                     IOVariableCallback* pCallback, Session* pSession,
                                     ReferenceCounter* pSessionReference)
    : m_samplingInterval(samplingInterval), m_variable(pVariable), m_pCallback(pCallback),
      m_pSession(pSession), m_sessionReference(pSessionReference)
{
}

SamplingItemCache::~SamplingItemCache()
{
    if (ReferenceHolder<UaVariableCache> attached = variable())
        attached->removeSamplingItem(this);
}

SamplingItemCache* SamplingItemCache::create(OpcUa_Int32 samplingInterval, UaVariableCache* pVariable,
                                             IOVariableCallback* pCallback, Session* pSession,
                                             ReferenceCounter* pSessionReference,
                                             const UaNumericRange* pIndexRange, bool withDeadband,
                                             OpcUa_Double deadband)
{
    if (withDeadband && pIndexRange)
        return new SamplingItemCachePercentDeadbandIndexRange(
            samplingInterval, pVariable, pCallback, pSession, pSessionReference, deadband, *pIndexRange);
    if (withDeadband)
        return new SamplingItemCachePercentDeadband(samplingInterval, pVariable, pCallback, pSession,
                                                    pSessionReference, deadband);
    if (pIndexRange)
        return new SamplingItemCacheIndexRange(samplingInterval, pVariable, pCallback, pSession,
                                               pSessionReference, *pIndexRange);
    return new SamplingItemCache(samplingInterval, pVariable, pCallback, pSession, pSessionReference);
}

ReferenceHolder<UaVariableCache> SamplingItemCache::variable() const
{
    UaMutexLocker locker(&m_variableLock);
    return m_variable;
}

bool SamplingItemCache::isAttached() const
{
    return static_cast<bool>(variable());
}

bool SamplingItemCache::getDeadband(OpcUa_Double& deadband) const
{
    deadband = 0.0;
    return false;
}

bool SamplingItemCache::setDeadband(OpcUa_Double)
{
    return false;
}

void SamplingItemCache::sendIfChanged()
{
    if (m_changed.load(std::memory_order_relaxed))
        report();
}

void SamplingItemCache::markChanged(bool changed)
{
    // The variable's writer calls this for every item of every value: a plain store (no locked
    // exchange) and none when the mark is already right keep the writer from stalling on the line
    // the sampling thread last wrote.
    if (m_changed.load(std::memory_order_relaxed) != changed)
        m_changed.store(changed, std::memory_order_release);
}

void SamplingItemCache::setVariable(UaVariableCache* pVariable)
{
    {
        UaMutexLocker locker(&m_variableLock);
        m_variable = pVariable;
    }
    if (m_samplingInterval <= 0)
        report();
    else
        markChanged(true);
}

void SamplingItemCache::sample()
{
    OpcUa_Double deadband = 0.0;
    const bool hasDeadband = getDeadband(deadband);
    bool changed = true;
    if (hasDeadband)
    {
        ReferenceHolder<UaVariableCache> watched = variable();
        changed = !watched || beyondDeadband(*watched, deadband);
    }
    if (m_samplingInterval > 0)
    {
        // A value back within the deadband before the tick needs no report.
        if (hasDeadband || changed)
            markChanged(changed);
    }
    else if (changed)
        report();
}

bool SamplingItemCache::beyondDeadband(UaVariableCache& variable, OpcUa_Double deadband)
{
    const UaDataValue last = m_pCallback->lastValue();
    UaDataValue current = variable.value(m_pSession);
    OpcUa_StatusCode compared = OpcUa_Good;
    if (const UaNumericRange* range = indexRange())
    {
        IOValues::cutToRange(current, *range);
        if (UaStatusCode(current.statusCode()).isBad())
            compared = OpcUa_BadTypeMismatch;
    }
    bool changed = false;
    if (OpcUa_IsGood(compared))
        compared = UaDataValue::checkDeadband(last, current, deadband, changed);
    return OpcUa_IsBad(compared) || changed;
}

void SamplingItemCache::variableRemoved()
{
    ReferenceHolder<UaVariableCache> removed;
    {
        UaMutexLocker locker(&m_variableLock);
        removed = std::move(m_variable);
    }
    if (m_samplingInterval > 0)
    {
        markChanged(true);
        return;
    }
    UaDataValue gone;
    gone.setStatusCode(OpcUa_BadNodeIdUnknown);
    m_pCallback->dataChange(gone);
}

void SamplingItemCache::report()
{
    // Cleared before the value is read: a change after the read marks the item again.
    m_changed.store(false, std::memory_order_release);
    ReferenceHolder<UaVariableCache> watched = variable();
    UaDataValue dataValue;
    if (!watched)
        dataValue.setStatusCode(OpcUa_BadNodeIdUnknown);
    else if ((watched->accessLevel() & AccessLevelBit::CurrentRead) == 0)
        dataValue.setStatusCode(OpcUa_BadNotReadable);
    else if ((watched->userAccessLevel(m_pSession) & AccessLevelBit::CurrentRead) == 0)
        dataValue.setStatusCode(OpcUa_BadUserAccessDenied);
    else
    {
        // A localized text goes out as the variable holds it.
        dataValue = watched->value(m_pSession);
        if (const UaNumericRange* range = indexRange())
            IOValues::cutToRange(dataValue, *range);
    }
    m_pCallback->dataChange(dataValue);
}
