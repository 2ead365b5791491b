// Start, modify and stop of monitoring: cached and static items are answered at once, items read in
// rate groups are queued in the transaction and answered by its job.
#include "iosamplingengine.h"

#include "attributeids.h"
#include "deadbandrules.h"
#include "iomanageruanode.h"
#include "iovalues.h"
#include "samplingengine.h"
#include "samplingitemcache.h"
#include "uanodeinterfaces.h"
#include "uavariablecache.h"
#include "variablehandle.h"

#include <cmath>
#include <limits>
#include <set>

namespace
{
// What the monitoring of an attribute other than a cached Value reports as its interval.
constexpr OpcUa_Double g_staticInterval = 5000.0;
constexpr OpcUa_Int32 g_largestInterval = std::numeric_limits<OpcUa_Int32>::max();

// A requested interval as a whole number of milliseconds. NaN and values beyond 32 bits are clamped
// first: converting them is undefined.
OpcUa_Int32 truncatedInterval(OpcUa_Double requested)
{
    if (std::isnan(requested) || requested >= 2147483647.0)
        return g_largestInterval;
    if (requested <= -2147483648.0)
        return std::numeric_limits<OpcUa_Int32>::min();
    return static_cast<OpcUa_Int32>(requested);
}

bool isValidAttributeId(OpcUa_Int32 attributeId)
{
    return attributeId >= static_cast<OpcUa_Int32>(AttributeId::NodeId) &&
           attributeId <= static_cast<OpcUa_Int32>(AttributeId::UserExecutable);
}

// The value a new cached item starts with, as a read of it would answer.
UaDataValue initialValue(UaVariableCache& variable, Session* session)
{
    UaDataValue value;
    if ((variable.accessLevel() & AccessLevelBit::CurrentRead) == 0)
        value.setStatusCode(OpcUa_BadNotReadable);
    else if ((variable.userAccessLevel(session) & AccessLevelBit::CurrentRead) == 0)
        value.setStatusCode(OpcUa_BadUserAccessDenied);
    else
        value = variable.value(session);
    return value;
}

UaVariableCache* asCachedVariable(UaVariable* variable)
{
    return (variable->valueHandling() & 0x2) ? dynamic_cast<UaVariableCache*>(variable) : nullptr;
}
} // namespace

OpcUa_Int32 IOSamplingEngine::cachedInterval(OpcUa_Double requested, const UaVariable& variable) const
{
    const OpcUa_Int32 interval = truncatedInterval(requested);
    if (interval < 0)
        return g_largestInterval;
    if (interval == 0)
        return variable.minimumSamplingInterval() == 0.0 && m_rateZeroConfigured ? 0 : 1;
    return interval;
}

OpcUa_UInt32 IOSamplingEngine::nearestGroup(OpcUa_Double requested) const
{
    return static_cast<OpcUa_UInt32>(SamplingEngine::nearest(m_rates, truncatedInterval(requested)));
}

SamplingItemRead* IOSamplingEngine::findReadItem(OpcUa_UInt32 itemHandle) const
{
    UaMutexLocker locker(&m_mutex);
    SamplingItem* item = m_items.get(itemHandle);
    return item && item->kind() == SamplingItemKind::Read ? static_cast<SamplingItemRead*>(item) : nullptr;
}

void IOSamplingEngine::scheduleCachedItem(SamplingItemCache* item)
{
    OpcUa_Int32 interval = item->samplingInterval();
    if (interval <= 0)
        return;
    m_pSamplingEngine->addItem(item, interval);
    item->setSamplingInterval(interval);
}

void IOSamplingEngine::unscheduleCachedItem(SamplingItemCache* item)
{
    if (item->samplingInterval() > 0)
        m_pSamplingEngine->removeItem(item, item->samplingInterval());
}

UaStatus IOSamplingEngine::beginStartMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                                IOVariableCallback* pCallback,
                                                VariableHandle* pVariableHandle,
                                                MonitoringContext& monitoringContext)
{
    monitoringContext.itemAppliesAbsoluteDeadband = monitoringContext.isAbsoluteDeadband;
    {
        UaMutexLocker locker(&m_mutex);
        prepareMonitoring();
    }
    if (!context)
        return OpcUa_BadInvalidArgument;
    UaNode* node = pVariableHandle ? pVariableHandle->pUaNode() : nullptr;
    if (!node)
        return OpcUa_BadNodeIdUnknown;
    const OpcUa_Int32 attributeId = pVariableHandle->attributeId();
    if (!isValidAttributeId(attributeId))
        return OpcUa_BadAttributeIdInvalid;
    Session* session = context->pSession();

    bool abortMonitoring = false;
    const UaStatus hook = m_pOwner->beforeMonitorAttributeValue(session, node, attributeId, abortMonitoring);
    if (hook.isBad())
    {
        if (abortMonitoring)
            return hook;
        UaDataValue refused;
        refused.setStatusCode(hook.statusCode());
        refused.setServerTimestamp(UaDateTime::now());
        OpcUa_UInt32 handle;
        {
            UaMutexLocker locker(&m_mutex);
            handle = m_items.add(new SamplingItemStatic(callbackHandle, node));
        }
        context->callback()->finishStartMonitoring(context->hTransaction(), callbackHandle, handle,
                                                   g_staticInterval, true, refused, OpcUa_Good);
        return OpcUa_Good;
    }
    if (attributeId == AttributeId::Value && node->nodeClass() != OpcUa_NodeClass_Variable)
        return OpcUa_BadAttributeIdInvalid;
    if (attributeId != AttributeId::Value)
        return startStaticItem(*context, callbackHandle, node, attributeId, monitoringContext);

    auto* variable = static_cast<UaVariable*>(node);
    if (monitoringContext.deadband != 0.0)
    {
        if (!monitoringContext.isAbsoluteDeadband)
        {
            if (!(monitoringContext.deadband >= 0.0 && monitoringContext.deadband <= 100.0))
                return OpcUa_BadDeadbandFilterInvalid;
            // A percentage of nothing: the variable must carry the range it is taken of.
            if (DeadbandRules::euRangeSpan(*variable) <= 0.0)
                return OpcUa_BadFilterNotAllowed;
        }
        if (!DeadbandRules::isNumericDataType(variable->dataType()))
            return OpcUa_BadFilterNotAllowed;
    }
    UaNumericRange range;
    const bool hasRange = monitoringContext.pIndexRange && IOValues::hasText(*monitoringContext.pIndexRange);
    if (hasRange && OpcUa_IsBad(range.parse(UaString(monitoringContext.pIndexRange))))
        return OpcUa_BadIndexRangeInvalid;
    const UaNumericRange* pRange = hasRange ? &range : nullptr;

    if (UaVariableCache* cached = asCachedVariable(variable))
        return startCachedItem(*context, callbackHandle, pCallback, cached, monitoringContext, pRange);
    SamplingItemRead* item = pRange ? new SamplingItemReadIndexRange(variable, pCallback, *pRange)
                                    : new SamplingItemRead(variable, pCallback);
    OpcUa_UInt32 handle;
    {
        UaMutexLocker locker(&m_mutex);
        handle = m_items.add(item);
    }
    context->queueMonitoring(callbackHandle, variable, handle, monitoringContext.samplingInterval);
    return OpcUa_Good;
}

UaStatus IOSamplingEngine::startStaticItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                                           UaNode* pNode, OpcUa_Int32 attributeId,
                                           const MonitoringContext& monitoringContext)
{
    if (monitoringContext.deadband != 0.0)
        return OpcUa_BadFilterNotAllowed;
    Session* session = context.pSession();
    UaDataValue value;
    pNode->getAttributeValue(session, attributeId, value);
    m_pOwner->afterGetAttributeValue(session, pNode, attributeId, value);
    if (monitoringContext.pIndexRange)
        IOValues::applyIndexRange(value, static_cast<OpcUa_UInt32>(attributeId),
                                  *monitoringContext.pIndexRange);
    OpcUa_UInt32 handle;
    {
        UaMutexLocker locker(&m_mutex);
        handle = m_items.add(new SamplingItemStatic(callbackHandle, pNode));
    }
    context.callback()->finishStartMonitoring(context.hTransaction(), callbackHandle, handle,
                                              g_staticInterval, true, value, OpcUa_Good);
    return OpcUa_Good;
}

UaStatus IOSamplingEngine::startCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                                           IOVariableCallback* pCallback, UaVariableCache* pVariable,
                                           const MonitoringContext& monitoringContext,
                                           const UaNumericRange* pIndexRange)
{
    // Only a percent deadband on an analog item with a range becomes the item's own; an absolute
    // one is left to the monitored item.
    OpcUa_Double deadband = 0.0;
    if (monitoringContext.deadband != 0.0 && !monitoringContext.isAbsoluteDeadband)
        deadband = DeadbandRules::euRangeSpan(*pVariable) * monitoringContext.deadband * 0.01;
    Session* session = context.pSession();
    SamplingItemCache* item = SamplingItemCache::create(
        cachedInterval(monitoringContext.samplingInterval, *pVariable), pVariable, pCallback, session,
        context.sessionReference(), pIndexRange, deadband != 0.0, deadband);
    OpcUa_UInt32 handle;
    OpcUa_Int32 revised;
    {
        UaMutexLocker locker(&m_mutex);
        handle = m_items.add(item);
        item->setItemHandle(handle);
        pVariable->addSamplingItem(item);
        scheduleCachedItem(item);
        revised = item->samplingInterval();
    }
    UaDataValue value = initialValue(*pVariable, session);
    m_pOwner->afterGetAttributeValue(session, pVariable, AttributeId::Value, value);
    m_pOwner->variableCacheMonitoringChanged(pVariable, IOTransactionType::StartMonitoring);
    if (pIndexRange)
        IOValues::cutToRange(value, *pIndexRange);
    context.callback()->finishStartMonitoring(context.hTransaction(), callbackHandle, handle, revised, true,
                                              value, OpcUa_Good);
    return OpcUa_Good;
}

UaStatus IOSamplingEngine::beginModifyMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                                 OpcUa_UInt32 itemHandle,
                                                 MonitoringContext& monitoringContext)
{
    OpcUa_UInt32 kind = 0;
    {
        UaMutexLocker locker(&m_mutex);
        if (!m_pSamplingEngine)
            return OpcUa_BadInternalError;
    }
    monitoringContext.itemAppliesAbsoluteDeadband = monitoringContext.isAbsoluteDeadband;
    if (!context)
        return OpcUa_BadInvalidArgument;
    if (!itemKind(itemHandle, kind))
        return OpcUa_BadInternalError;
    switch (kind)
    {
    case SamplingItemKind::Cache:
        return modifyCachedItem(*context, callbackHandle, itemHandle, monitoringContext);
    case SamplingItemKind::Read:
        context->queueMonitoring(callbackHandle, nullptr, itemHandle, monitoringContext.samplingInterval);
        return OpcUa_Good;
    case SamplingItemKind::Static:
        if (monitoringContext.deadband != 0.0 && monitoringContext.isAbsoluteDeadband)
            return OpcUa_BadFilterNotAllowed;
        context->callback()->finishModifyMonitoring(context->hTransaction(), callbackHandle, g_staticInterval,
                                                    OpcUa_Good);
        return OpcUa_Good;
    default:
        return OpcUa_BadInternalError;
    }
}

UaStatus IOSamplingEngine::modifyCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                                            OpcUa_UInt32 itemHandle,
                                            const MonitoringContext& monitoringContext)
{
    ReferenceHolder<UaVariableCache> variable;
    OpcUa_Int32 revised;
    {
        // The whole change runs under the item table's lock, so that no stop or second modify of the
        // same item meets it half done.
        UaMutexLocker locker(&m_mutex);
        SamplingItem* found = m_items.get(itemHandle);
        if (!found || found->kind() != SamplingItemKind::Cache)
            return OpcUa_BadInternalError;
        auto* item = static_cast<SamplingItemCache*>(found);
        variable = item->variable();
        // A parked item has no variable to measure a deadband against: it stays as it is.
        if (!variable)
            return OpcUa_BadNodeIdUnknown;
        if (monitoringContext.deadband != 0.0 &&
            (variable->valueRank() != -1 || !DeadbandRules::isNumericDataType(variable->dataType())))
            return OpcUa_BadFilterNotAllowed;

        OpcUa_Double itemDeadband = 0.0;
        item->getDeadband(itemDeadband);
        const bool percent = !monitoringContext.isAbsoluteDeadband;
        const bool wantsDeadband = percent && monitoringContext.deadband > 0.0;
        const bool dropsDeadband =
            monitoringContext.isAbsoluteDeadband || (percent && monitoringContext.deadband == 0.0);
        const OpcUa_Double span = wantsDeadband ? DeadbandRules::euRangeSpan(*variable) : 0.0;
        const OpcUa_Double deadband = span * monitoringContext.deadband * 0.01;
        if (itemDeadband > 0.0 && wantsDeadband)
            item->setDeadband(deadband);
        else if ((itemDeadband == 0.0 && wantsDeadband) || (itemDeadband > 0.0 && dropsDeadband))
        {
            unscheduleCachedItem(item);
            variable->removeSamplingItem(item);
            SamplingItemCache* replacement = SamplingItemCache::create(
                item->samplingInterval(), variable.get(), item->callback(), context.pSession(),
                context.sessionReference(), item->indexRange(), wantsDeadband, deadband);
            replacement->setItemHandle(itemHandle);
            variable->addSamplingItem(replacement);
            m_items.remove(itemHandle);
            m_items.insertAt(itemHandle, replacement);
            scheduleCachedItem(replacement);
            item = replacement;
        }

        // The requested interval applies to a cached item too.
        const OpcUa_Int32 wanted = cachedInterval(monitoringContext.samplingInterval, *variable);
        if (wanted != item->samplingInterval())
        {
            unscheduleCachedItem(item);
            item->setSamplingInterval(wanted);
            scheduleCachedItem(item);
        }
        revised = item->samplingInterval();
    }
    m_pOwner->variableCacheMonitoringChanged(variable.get(), IOTransactionType::ModifyMonitoring);
    context.callback()->finishModifyMonitoring(context.hTransaction(), callbackHandle, revised, OpcUa_Good);
    return OpcUa_Good;
}

UaStatus IOSamplingEngine::beginStopMonitoring(IOTransactionContext* context, OpcUa_UInt32 callbackHandle,
                                               OpcUa_UInt32 itemHandle)
{
    OpcUa_UInt32 kind = 0;
    {
        UaMutexLocker locker(&m_mutex);
        if (!m_pSamplingEngine)
            return OpcUa_BadInternalError;
    }
    if (!context)
        return OpcUa_BadInvalidArgument;
    if (!itemKind(itemHandle, kind))
        return OpcUa_BadInternalError;
    switch (kind)
    {
    case SamplingItemKind::Cache:
        return stopCachedItem(*context, callbackHandle, itemHandle);
    case SamplingItemKind::Read:
        context->queueMonitoring(callbackHandle, nullptr, itemHandle, 0.0);
        return OpcUa_Good;
    default:
    {
        {
            UaMutexLocker locker(&m_mutex);
            m_items.remove(itemHandle);
        }
        UaStatus stopped(OpcUa_Good);
        context->callback()->finishStopMonitoring(context->hTransaction(), callbackHandle, stopped);
        return OpcUa_Good;
    }
    }
}

UaStatus IOSamplingEngine::stopCachedItem(IOTransactionContext& context, OpcUa_UInt32 callbackHandle,
                                          OpcUa_UInt32 itemHandle)
{
    ReferenceHolder<UaVariableCache> variable;
    {
        UaMutexLocker locker(&m_mutex);
        SamplingItem* found = m_items.get(itemHandle);
        if (!found || found->kind() != SamplingItemKind::Cache)
            return OpcUa_BadInternalError;
        auto* item = static_cast<SamplingItemCache*>(found);
        // Out of the SamplingEngine before it is freed: its thread may be about to tick it.
        unscheduleCachedItem(item);
        variable = item->variable();
        if (variable)
            variable->removeSamplingItem(item);
        unpark(itemHandle);
        m_items.remove(itemHandle);
    }
    if (variable)
        m_pOwner->variableCacheMonitoringChanged(variable.get(), IOTransactionType::StopMonitoring);
    UaStatus stopped(OpcUa_Good);
    context.callback()->finishStopMonitoring(context.hTransaction(), callbackHandle, stopped);
    return OpcUa_Good;
}

void IOSamplingEngine::runStartJob(IOTransactionContext& context)
{
    UaMutexLocker jobs(&m_jobMutex);
    ensureTickThread();
    std::vector<std::vector<QueuedItem>> joining(m_groups.size());
    for (OpcUa_UInt32 i = 0; i < context.queuedCount(); ++i)
    {
        const OpcUa_UInt32 handle = context.itemHandle(i);
        SamplingItemRead* item = findReadItem(handle);
        if (!item)
        {
            UaDataValue none;
            context.callback()->finishStartMonitoring(context.hTransaction(), context.callbackHandle(i), 0,
                                                      0.0, false, none, OpcUa_BadInternalError);
            continue;
        }
        const OpcUa_UInt32 group = nearestGroup(context.samplingInterval(i));
        item->revisedSamplingInterval = m_rates[group];
        joining[group].push_back({i, handle, item});
    }
    for (OpcUa_UInt32 group = 0; group < joining.size(); ++group)
        if (!joining[group].empty())
            joinGroup(group, joining[group],
                      [&context](const QueuedItem& queued, OpcUa_Double rate)
                      {
                          UaDataValue none;
                          context.callback()->finishStartMonitoring(
                              context.hTransaction(), context.callbackHandle(queued.queueIndex),
                              queued.itemHandle, rate, false, none, OpcUa_Good);
                      });
}

void IOSamplingEngine::runModifyJob(IOTransactionContext& context)
{
    UaMutexLocker jobs(&m_jobMutex);
    std::vector<SamplingItemRead*> leaving;
    std::vector<std::vector<QueuedItem>> joining(m_groups.size());
    std::set<SamplingItemRead*> seen;
    std::vector<QueuedItem> repeated;
    for (OpcUa_UInt32 i = 0; i < context.queuedCount(); ++i)
    {
        const OpcUa_UInt32 handle = context.itemHandle(i);
        SamplingItemRead* item = findReadItem(handle);
        if (!item)
        {
            context.callback()->finishModifyMonitoring(context.hTransaction(), context.callbackHandle(i), 0.0,
                                                       OpcUa_BadInternalError);
            continue;
        }
        // The same item twice in one request moves once, by its first entry.
        if (!seen.insert(item).second)
        {
            repeated.push_back({i, handle, item});
            continue;
        }
        const OpcUa_UInt32 group = nearestGroup(context.samplingInterval(i));
        item->revisedSamplingInterval = m_rates[group];
        leaving.push_back(item);
        joining[group].push_back({i, handle, item});
    }
    leaveGroups(leaving);
    for (OpcUa_UInt32 group = 0; group < joining.size(); ++group)
        if (!joining[group].empty())
            joinGroup(group, joining[group],
                      [&context](const QueuedItem& queued, OpcUa_Double rate)
                      {
                          context.callback()->finishModifyMonitoring(
                              context.hTransaction(), context.callbackHandle(queued.queueIndex), rate,
                              OpcUa_Good);
                      });
    for (const QueuedItem& queued : repeated)
        context.callback()->finishModifyMonitoring(context.hTransaction(),
                                                   context.callbackHandle(queued.queueIndex),
                                                   queued.item->revisedSamplingInterval, OpcUa_Good);
}

void IOSamplingEngine::runStopJob(IOTransactionContext& context)
{
    UaMutexLocker jobs(&m_jobMutex);
    std::vector<SamplingItemRead*> leaving;
    std::vector<QueuedItem> stopping;
    std::set<SamplingItemRead*> seen;
    for (OpcUa_UInt32 i = 0; i < context.queuedCount(); ++i)
    {
        const OpcUa_UInt32 handle = context.itemHandle(i);
        SamplingItemRead* item = findReadItem(handle);
        if (!item || !seen.insert(item).second)
        {
            UaStatus unknown(OpcUa_BadInternalError);
            context.callback()->finishStopMonitoring(context.hTransaction(), context.callbackHandle(i),
                                                     unknown);
            continue;
        }
        leaving.push_back(item);
        stopping.push_back({i, handle, item});
    }
    leaveGroups(leaving);
    {
        UaMutexLocker locker(&m_mutex);
        for (const QueuedItem& queued : stopping)
            m_items.remove(queued.itemHandle);
    }
    for (const QueuedItem& queued : stopping)
    {
        UaStatus stopped(OpcUa_Good);
        context.callback()->finishStopMonitoring(context.hTransaction(),
                                                 context.callbackHandle(queued.queueIndex), stopped);
    }
}
