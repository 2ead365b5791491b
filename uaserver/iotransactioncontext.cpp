#include "iomanager.h"
#include "servicecontext.h"
#include "uanodeinterfaces.h"

IOTransactionContext::IOTransactionContext(IOManagerCallback* pCallback, const ServiceContext& serviceContext,
                                           OpcUa_UInt32 hTransaction, OpcUa_UInt32 countHint,
                                           OpcUa_TimestampsToReturn timestampsToReturn,
                                           OpcUa_UInt32 transactionType, IOManager* pIOManager)
    : m_pCallback(pCallback), m_hTransaction(hTransaction), m_countHint(countHint),
      m_timestampsToReturn(timestampsToReturn), m_transactionType(transactionType),
      m_returnDiagnostics(serviceContext.returnDiagnostics()), m_pIOManager(pIOManager),
      m_pSession(serviceContext.pSession()), m_sessionReference(serviceContext.sessionReference())
{
}

IOTransactionContext::~IOTransactionContext()
{
    for (UaVariable* variable : m_variables)
        if (variable)
            variable->releaseReference();
}

void IOTransactionContext::reserveQueues()
{
    if (!m_callbackHandles.empty())
        return;
    // The hint counts every item of the request, so it bounds what one I/O manager queues.
    const std::size_t capacity = m_countHint > 0 ? m_countHint : 1;
    m_callbackHandles.reserve(capacity);
    m_variables.reserve(capacity);
    if (m_transactionType == IOTransactionType::Write)
        m_dataValues.reserve(capacity);
    else if (m_transactionType == IOTransactionType::Read)
        m_hasIndexRange.reserve(capacity);
    else
    {
        m_itemHandles.reserve(capacity);
        m_samplingIntervals.reserve(capacity);
    }
}

void IOTransactionContext::queueRead(OpcUa_UInt32 callbackHandle, UaVariable* pVariable,
                                     const UaNumericRange* pIndexRange)
{
    reserveQueues();
    pVariable->addReference();
    m_callbackHandles.push_back(callbackHandle);
    m_variables.push_back(pVariable);
    m_hasIndexRange.push_back(pIndexRange != nullptr);
    if (pIndexRange)
    {
        m_indexRanges.resize(m_callbackHandles.size());
        m_indexRanges.back() = *pIndexRange;
    }
}

void IOTransactionContext::queueWrite(OpcUa_UInt32 callbackHandle, UaVariable* pVariable,
                                      const UaDataValue& dataValue)
{
    reserveQueues();
    pVariable->addReference();
    m_callbackHandles.push_back(callbackHandle);
    m_variables.push_back(pVariable);
    m_dataValues.push_back(dataValue);
}

void IOTransactionContext::queueMonitoring(OpcUa_UInt32 callbackHandle, UaVariable* pVariable,
                                           OpcUa_UInt32 itemHandle, OpcUa_Double samplingInterval)
{
    reserveQueues();
    if (pVariable)
        pVariable->addReference();
    m_callbackHandles.push_back(callbackHandle);
    m_variables.push_back(pVariable);
    m_itemHandles.push_back(itemHandle);
    m_samplingIntervals.push_back(samplingInterval);
}

void IOTransactionContext::trimQueues()
{
    m_callbackHandles.shrink_to_fit();
    m_variables.shrink_to_fit();
    m_dataValues.shrink_to_fit();
    m_hasIndexRange.shrink_to_fit();
    m_itemHandles.shrink_to_fit();
    m_samplingIntervals.shrink_to_fit();
}

const UaNumericRange* IOTransactionContext::indexRange(OpcUa_UInt32 i) const
{
    return i < m_hasIndexRange.size() && m_hasIndexRange[i] ? &m_indexRanges[i] : nullptr;
}

void IOTransactionContext::getVariables(UaVariableArray& variables) const
{
    variables.create(queuedCount());
    for (OpcUa_UInt32 i = 0; i < queuedCount(); ++i)
        variables[i] = m_variables[i];
}

void IOTransactionContext::getDataValues(UaDataValueArray& dataValues) const
{
    dataValues.create(static_cast<OpcUa_UInt32>(m_dataValues.size()));
    for (OpcUa_UInt32 i = 0; i < dataValues.length(); ++i)
        m_dataValues[i].copyTo(&dataValues[i]);
}
