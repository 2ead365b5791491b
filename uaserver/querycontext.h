#ifndef UASERVER_QUERYCONTEXT_H
#define UASERVER_QUERYCONTEXT_H

#include <opcua.h>

// The state of one query, parked on the session as a query continuation point between QueryFirst
// and QueryNext: the QueryFirst request's view, node types and filter (owned) and its two maxima.
class QueryContext
{
public:
    QueryContext();
    // Takes the request's View, NodeTypes and Filter over: the request is left without them, so that
    // deleting it no longer frees them.
    explicit QueryContext(OpcUa_QueryFirstRequest& request);
    virtual ~QueryContext();
    QueryContext(const QueryContext&) = delete;
    QueryContext& operator=(const QueryContext&) = delete;

    const OpcUa_ViewDescription& view() const { return m_view; }
    OpcUa_Int32 noOfNodeTypes() const { return m_noOfNodeTypes; }
    const OpcUa_NodeTypeDescription* nodeTypes() const { return m_pNodeTypes; }
    const OpcUa_ContentFilter& filter() const { return m_filter; }
    OpcUa_UInt32 maxDataSetsToReturn() const { return m_maxDataSetsToReturn; }
    OpcUa_UInt32 maxReferencesToReturn() const { return m_maxReferencesToReturn; }

    // The check value the session gives a parked context.
    OpcUa_Byte checkValue() const { return m_checkValue; }
    void setCheckValue(OpcUa_Byte checkValue) { m_checkValue = checkValue; }
    // Whether the query has returned all it found; an unfinished one is continued by QueryNext.
    bool isFinished() const { return m_finished; }
    void setFinished(bool finished) { m_finished = finished; }

private:
    OpcUa_ViewDescription m_view;
    OpcUa_Int32 m_noOfNodeTypes = 0;
    OpcUa_NodeTypeDescription* m_pNodeTypes = nullptr;
    OpcUa_ContentFilter m_filter;
    OpcUa_UInt32 m_maxDataSetsToReturn = 0;
    OpcUa_UInt32 m_maxReferencesToReturn = 0;
    OpcUa_Byte m_checkValue = 0;
    bool m_finished = false;
};

#endif
