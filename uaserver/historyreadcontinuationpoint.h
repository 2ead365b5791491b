#ifndef UASERVER_HISTORYREADCONTINUATIONPOINT_H
#define UASERVER_HISTORYREADCONTINUATIONPOINT_H

#include <opcua.h>

// Where a history manager stopped a HistoryRead of one node, parked on the session until the
// client continues or releases it. History managers derive their own state from it.
class HistoryReadContinuationPoint
{
public:
    HistoryReadContinuationPoint() = default;
    virtual ~HistoryReadContinuationPoint() = default;
    HistoryReadContinuationPoint(const HistoryReadContinuationPoint&) = delete;
    HistoryReadContinuationPoint& operator=(const HistoryReadContinuationPoint&) = delete;

    // The check value the session gives a parked point.
    OpcUa_UInt16 checkValue() const { return m_checkValue; }
    void setCheckValue(OpcUa_UInt16 checkValue) { m_checkValue = checkValue; }

private:
    OpcUa_UInt16 m_checkValue = 0;
};

#endif
