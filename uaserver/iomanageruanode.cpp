// The transactions of the UaNode I/O manager: begin calls answer at once or queue, and the queued
// items run as one job on the pool.
#include "iomanageruanode.h"

#include "attributeids.h"
#include "iosamplingengine.h"
#include "iovalues.h"
#include "servicecontext.h"
#include "uanodeinterfaces.h"
#include "variablehandle.h"

#include <uatrace.h>

using IOValues::applyIndexRange;
using IOValues::cutToRange;
using IOValues::failValue;
using IOValues::hasText;

namespace
{
bool isValidAttributeId(OpcUa_UInt32 attributeId)
{
    return attributeId >= AttributeId::NodeId && attributeId <= AttributeId::UserExecutable;
}

void applyTimestamps(UaDataValue& dataValue, OpcUa_TimestampsToReturn timestampsToReturn)
{
    const OpcUa_DateTime none{};
    if (timestampsToReturn == OpcUa_TimestampsToReturn_Server ||
        timestampsToReturn == OpcUa_TimestampsToReturn_Neither)
        dataValue.setSourceTimestamp(none, 0);
    if (timestampsToReturn == OpcUa_TimestampsToReturn_Source ||
        timestampsToReturn == OpcUa_TimestampsToReturn_Neither)
        dataValue.setServerTimestamp(none, 0);
}

bool carriesTimestamps(const OpcUa_DataValue& value)
{
    return !UaDateTime(value.SourceTimestamp).isNull() || !UaDateTime(value.ServerTimestamp).isNull() ||
           value.SourcePicoseconds != 0 || value.ServerPicoseconds != 0;
}
} // namespace

// The queued items of one transaction; the job owns the context and ends it.
class IOManagerUaNode::TransactionJob : public UaThreadJob
{
public:
    TransactionJob(IOManagerUaNode& ioManager, IOTransactionContext* context)
        : m_ioManager(ioManager), m_context(context)
    {
    }
    ~TransactionJob() override { delete m_context; }

    void execute() override
    {
        switch (m_context->transactionType())
        {
        case IOTransactionType::Read:
            m_ioManager.runReadJob(*m_context);
            break;
        case IOTransactionType::Write:
            m_ioManager.runWriteJob(*m_context);
            break;
        case IOTransactionType::StartMonitoring:
            m_ioManager.m_pSamplingEngine->runStartJob(*m_context);
            break;
        case IOTransactionType::ModifyMonitoring:
            m_ioManager.m_pSamplingEngine->runModifyJob(*m_context);
            break;
        case IOTransactionType::StopMonitoring:
            m_ioManager.m_pSamplingEngine->runStopJob(*m_context);
            break;
        default:
            break;
        }
    }

private:
    IOManagerUaNode& m_ioManager;
    IOTransactionContext* m_context;
};

IOManagerUaNode::IOManagerUaNode()
    : m_ownPool(new IOThreadPool), m_pJobPool(m_ownPool.get()), m_pSamplingEngine(new IOSamplingEngine(this))
{
}

IOManagerUaNode::~IOManagerUaNode()
{
    m_pSamplingEngine->stop();
}

void IOManagerUaNode::stopSampling()
{
    m_pSamplingEngine->stop();
}

void IOManagerUaNode::parkSamplingItems(UaVariableCache* pVariable)
{
    m_pSamplingEngine->parkSamplingItems(pVariable);
}

void IOManagerUaNode::rebindSamplingItems(UaVariableCache* pVariable)
{
    m_pSamplingEngine->rebindSamplingItems(pVariable);
}

void IOManagerUaNode::setJobPool(IOJobPool* pJobPool)
{
    m_pJobPool = pJobPool ? pJobPool : m_ownPool.get();
}

bool IOManagerUaNode::isQueued(UaNode* pNode, OpcUa_Int32 attributeId)
{
    if (attributeId != AttributeId::Value || pNode->nodeClass() != OpcUa_NodeClass_Variable)
        return false;
    const OpcUa_UInt32 valueHandling = static_cast<UaVariable*>(pNode)->valueHandling();
    return (valueHandling & 0x2) == 0 || (valueHandling & 0x4) != 0;
}

UaStatus IOManagerUaNode::beginTransaction(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                                           OpcUa_UInt32 hTransaction, OpcUa_UInt32 totalItemCountHint,
                                           OpcUa_Double, OpcUa_TimestampsToReturn timestampsToReturn,
                                           OpcUa_UInt32 transactionType, OpcUa_Handle& hIOManagerContext)
{
    UaTrace::traceLevel6("--> IOManagerUaNode::beginTransaction");
    hIOManagerContext = new IOTransactionContext(pCallback, serviceContext, hTransaction, totalItemCountHint,
                                                 timestampsToReturn, transactionType, this);
    UaTrace::traceLevel6("<-- IOManagerUaNode::beginTransaction [ret=0x%lx]",
                         static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

UaStatus IOManagerUaNode::beginStartMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                               IOVariableCallback* pIOVariableCallback,
                                               VariableHandle* pVariableHandle,
                                               MonitoringContext& monitoringContext)
{
    return m_pSamplingEngine->beginStartMonitoring(static_cast<IOTransactionContext*>(hIOManagerContext),
                                                   callbackHandle, pIOVariableCallback, pVariableHandle,
                                                   monitoringContext);
}

UaStatus IOManagerUaNode::beginModifyMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                                OpcUa_UInt32 hIOVariable,
                                                MonitoringContext& monitoringContext)
{
    return m_pSamplingEngine->beginModifyMonitoring(static_cast<IOTransactionContext*>(hIOManagerContext),
                                                    callbackHandle, hIOVariable, monitoringContext);
}

UaStatus IOManagerUaNode::beginStopMonitoring(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                              OpcUa_UInt32 hIOVariable)
{
    return m_pSamplingEngine->beginStopMonitoring(static_cast<IOTransactionContext*>(hIOManagerContext),
                                                  callbackHandle, hIOVariable);
}

UaStatus IOManagerUaNode::startUpSampling(ServerManager* pServerManager)
{
    return m_pSamplingEngine->startUpSampling(pServerManager);
}

UaStatus IOManagerUaNode::beginRead(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                    VariableHandle* pVariableHandle, OpcUa_ReadValueId* pReadValueId)
{
    auto* context = static_cast<IOTransactionContext*>(hIOManagerContext);
    if (!context || !pReadValueId)
        return OpcUa_BadInvalidArgument;
    if (hasText(pReadValueId->DataEncoding.Name))
        return OpcUa_BadDataEncodingUnsupported;
    if (!isValidAttributeId(pReadValueId->AttributeId))
        return OpcUa_BadAttributeIdInvalid;
    UaNode* node = pVariableHandle ? pVariableHandle->pUaNode() : nullptr;
    if (!node)
        return OpcUa_BadNodeIdUnknown;
    const auto attributeId = static_cast<OpcUa_Int32>(pReadValueId->AttributeId);
    UaDataValue dataValue;

    if (isQueued(node, attributeId))
    {
        if (!hasText(pReadValueId->IndexRange))
        {
            context->queueRead(callbackHandle, static_cast<UaVariable*>(node), nullptr);
            return OpcUa_Good;
        }
        UaNumericRange range;
        const OpcUa_StatusCode parsed = range.parse(UaString(&pReadValueId->IndexRange));
        if (OpcUa_IsGood(parsed))
        {
            context->queueRead(callbackHandle, static_cast<UaVariable*>(node), &range);
            return OpcUa_Good;
        }
        // A range that does not parse answers the item now, as a read at once would.
        dataValue.setServerTimestamp(UaDateTime::now());
        failValue(dataValue, parsed);
    }
    else
    {
        node->getAttributeValue(context->pSession(), attributeId, dataValue);
        afterGetAttributeValue(context->pSession(), node, attributeId, dataValue);
        applyIndexRange(dataValue, pReadValueId->AttributeId, pReadValueId->IndexRange);
    }
    applyTimestamps(dataValue, context->timestampsToReturn());
    context->callback()->finishRead(context->hTransaction(), callbackHandle, dataValue, true, false, nullptr);
    return OpcUa_Good;
}

UaStatus IOManagerUaNode::beginWrite(OpcUa_Handle hIOManagerContext, OpcUa_UInt32 callbackHandle,
                                     VariableHandle* pVariableHandle, OpcUa_WriteValue* pWriteValue)
{
    if (!pWriteValue)
        return OpcUa_BadInvalidArgument;
    if ((!m_pSamplingEngine->timestampsWritable() && carriesTimestamps(pWriteValue->Value)) ||
        (!m_pSamplingEngine->statusWritable() && pWriteValue->Value.StatusCode != OpcUa_Good))
        return OpcUa_BadWriteNotSupported;
    auto* context = static_cast<IOTransactionContext*>(hIOManagerContext);
    if (!context)
        return OpcUa_BadInvalidArgument;
    UaNode* node = pVariableHandle ? pVariableHandle->pUaNode() : nullptr;
    if (!node)
        return OpcUa_BadNodeIdUnknown;
    if (!isValidAttributeId(pWriteValue->AttributeId))
        return OpcUa_BadAttributeIdInvalid;
    const auto attributeId = static_cast<OpcUa_Int32>(pWriteValue->AttributeId);
    const bool hasRange = hasText(pWriteValue->IndexRange);
    if (hasRange && attributeId != AttributeId::Value && attributeId != AttributeId::ArrayDimensions)
        return OpcUa_BadIndexRangeInvalid;
    Session* session = context->pSession();
    UaDataValue value(pWriteValue->Value);

    if (hasRange)
    {
        // The new elements go into the current value at the range.
        UaDataValue current;
        node->getAttributeValue(session, attributeId, current);
        afterGetAttributeValue(session, node, attributeId, current);
        if (UaStatusCode(current.statusCode()).isBad())
            return current.statusCode();
        UaNumericRange range;
        OpcUa_StatusCode status = range.parse(UaString(&pWriteValue->IndexRange));
        UaVariant merged = current.value();
        if (OpcUa_IsGood(status))
            status = merged.setRange(range, value.value());
        if (OpcUa_IsBad(status))
            return status;
        value.setValue(merged, true, false);
    }

    bool checkAccessLevel = true;
    UaStatus status;
    if (!beforeSetAttributeValue(session, node, attributeId, value, checkAccessLevel))
        status = OpcUa_BadUserAccessDenied;
    else if (isQueued(node, attributeId))
    {
        if (hasRange)
            return OpcUa_BadIndexRangeInvalid;
        context->queueWrite(callbackHandle, static_cast<UaVariable*>(node), value);
        return OpcUa_Good;
    }
    else
    {
        status = node->setAttributeValue(session, attributeId, value, checkAccessLevel);
        if (status.isGood())
            afterSetAttributeValue(session, node, attributeId, value);
    }
    context->callback()->finishWrite(context->hTransaction(), callbackHandle, status, false);
    return OpcUa_Good;
}

UaStatus IOManagerUaNode::finishTransaction(OpcUa_Handle hIOManagerContext)
{
    UaTrace::traceLevel6("--> IOManagerUaNode::finishTransaction");
    auto* context = static_cast<IOTransactionContext*>(hIOManagerContext);
    if (context && !context->hasQueuedItems())
        delete context;
    else if (context)
    {
        context->trimQueues();
        auto* job = new TransactionJob(*this, context);
        if (OpcUa_IsBad(m_pJobPool->addJob(job)))
        {
            job->execute();
            delete job;
        }
    }
    UaTrace::traceLevel6("<-- IOManagerUaNode::finishTransaction [ret=0x%lx]",
                         static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

void IOManagerUaNode::runReadJob(IOTransactionContext& context)
{
    UaVariableArray variables;
    context.getVariables(variables);
    UaDataValueArray values;
    UaStatus status = readValues(variables, values);
    const OpcUa_UInt32 count = context.queuedCount();
    // A batch that answers a different number of values answers no item: every item fails rather
    // than leave its caller waiting.
    if (status.isGood() && values.length() != count)
        status = OpcUa_BadInternalError;
    if (status.isNotGood())
    {
        UaDataValue failed;
        failed.setStatusCode(status.statusCode());
        failed.setServerTimestamp(UaDateTime::now());
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            UaDataValue answer = failed;
            context.callback()->finishRead(context.hTransaction(), context.callbackHandle(i), answer, false,
                                           true, nullptr);
        }
        return;
    }
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        UaVariable* variable = context.variable(i);
        UaDataValue value(values[i]);
        // The variable keeps the whole value; only the answer is cut to the range.
        if (variable->valueHandling() & 0x1)
            variable->setValue(nullptr, value, false);
        if (const UaNumericRange* range = context.indexRange(i))
            cutToRange(value, *range);
        afterGetAttributeValue(context.pSession(), variable, AttributeId::Value, value);
        applyTimestamps(value, context.timestampsToReturn());
        context.callback()->finishRead(context.hTransaction(), context.callbackHandle(i), value, true, true,
                                       nullptr);
    }
}

void IOManagerUaNode::runWriteJob(IOTransactionContext& context)
{
    UaVariableArray variables;
    context.getVariables(variables);
    UaDataValueArray values;
    context.getDataValues(values);
    UaStatusCodeArray statuses;
    UaStatus status = writeValues(variables, values, statuses);
    const OpcUa_UInt32 count = context.queuedCount();
    if (status.isGood() && statuses.length() != count)
        status = OpcUa_BadInternalError;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        UaStatus answer = status.isGood() ? UaStatus(statuses[i]) : status;
        context.callback()->finishWrite(context.hTransaction(), context.callbackHandle(i), answer, true);
    }
}

UaStatus IOManagerUaNode::readValues(const UaVariableArray& variables, UaDataValueArray& values)
{
    values.create(variables.length());
    for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
        values[i].StatusCode = OpcUa_BadNotImplemented;
    return OpcUa_Good;
}

UaStatus IOManagerUaNode::answerEach(const UaVariableArray& variables, UaDataValueArray& values,
                                     const std::function<OpcUa_StatusCode(UaVariable*, UaVariant&)>& produce)
{
    const OpcUa_StatusCode created = values.create(variables.length());
    if (OpcUa_IsBad(created))
        return created;
    const UaDateTime now = UaDateTime::now();
    for (OpcUa_UInt32 i = 0; i < values.length(); ++i)
    {
        UaVariant value;
        const OpcUa_StatusCode status = produce(variables.data()[i], value);
        UaDataValue answer;
        if (OpcUa_IsGood(status))
        {
            answer.setValue(value, false, false);
            answer.setSourceTimestamp(now);
        }
        else
            answer.setStatusCode(status);
        answer.setServerTimestamp(now);
        answer.copyTo(&values[i]);
    }
    return OpcUa_Good;
}

UaStatus IOManagerUaNode::writeValues(const UaVariableArray&, const UaDataValueArray&, UaStatusCodeArray&)
{
    return OpcUa_BadNotImplemented;
}

bool IOManagerUaNode::beforeSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&,
                                              bool& checkAccessLevel)
{
    checkAccessLevel = true;
    return true;
}

void IOManagerUaNode::afterSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&) {}

void IOManagerUaNode::afterGetAttributeValue(Session*, UaNode*, OpcUa_Int32, UaDataValue&) {}

UaStatus IOManagerUaNode::beforeMonitorAttributeValue(Session*, UaNode*, OpcUa_Int32, bool&)
{
    return OpcUa_Good;
}

void IOManagerUaNode::variableCacheMonitoringChanged(UaNode*, OpcUa_UInt32) {}
