#ifndef UASERVER_QUERYCONTEXT_H
#define UASERVER_QUERYCONTEXT_H

#include <opcua.h>

// The state of one query, parked on the session as a query continuation point between QueryFirst
// and QueryNext.
class QueryContext
{
public:
    QueryContext() = default;
    virtual ~QueryContext() = default;
    QueryContext(const QueryContext&) = delete;
    QueryContext& operator=(const QueryContext&) = delete;

    // The check value the session gives a parked context.
    OpcUa_Byte checkValue() const { return m_checkValue; }
    void setCheckValue(OpcUa_Byte checkValue) { m_checkValue = checkValue; }
    // Whether the query has returned all it found; an unfinished one is continued by QueryNext.
    bool isFinished() const { return m_finished; }
    void setFinished(bool finished) { m_finished = finished; }

private:
    OpcUa_Byte m_checkValue = 0;
    bool m_finished = false;
};

#endif
