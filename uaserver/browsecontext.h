#ifndef UASERVER_BROWSECONTEXT_H
#define UASERVER_BROWSECONTEXT_H

#include <uanodeid.h>

#include <opcua.h>

class BrowseContinuationPoint;
class UaBrowseFilter;

// The browse request of one node. It borrows the request's view, starting node and reference type
// until it keeps a continuation point, which makes it copy them: the session then parks it
// between Browse and BrowseNext.
class BrowseContext
{
public:
    BrowseContext();
    // view may be null (no view).
    BrowseContext(const OpcUa_ViewDescription* view, const OpcUa_BrowseDescription& description,
                  OpcUa_UInt32 maxReferencesPerNode);
    virtual ~BrowseContext();
    BrowseContext(const BrowseContext&) = delete;
    BrowseContext& operator=(const BrowseContext&) = delete;

    const OpcUa_ViewDescription& view() const { return *m_pView; }
    bool hasView() const;
    UaNodeId startingNodeId() const { return UaNodeId(*m_pStartingNode); }
    const OpcUa_NodeId& startingNode() const { return *m_pStartingNode; }
    // 0 when the client set no limit.
    OpcUa_UInt32 maxReferencesPerNode() const { return m_maxReferencesPerNode; }
    // 0 Forward, 1 Inverse, 2 Both.
    OpcUa_UInt32 browseDirection() const { return m_browseDirection; }
    UaNodeId referenceTypeId() const { return UaNodeId(*m_pReferenceTypeId); }
    bool includeSubtypes() const { return m_includeSubtypes; }
    OpcUa_UInt32 nodeClassMask() const { return m_nodeClassMask; }
    OpcUa_UInt32 resultMask() const { return m_resultMask; }
    void setResultMask(OpcUa_UInt32 resultMask) { m_resultMask = resultMask; }

    // True while the three request structures are borrowed.
    bool isBorrowed() const { return m_isBorrowed; }
    // True while no continuation point is kept: the caller may delete the context after a browse.
    bool isDone() const { return m_isDone; }
    bool hasContinuationPoint() const { return m_pContinuationPoint != nullptr; }
    // Hands the kept continuation point (with its reference) to the caller; null when none.
    BrowseContinuationPoint* takeContinuationPoint();
    // Keeps the continuation point and the caller's reference to it; the first time it copies the
    // borrowed structures.
    void setContinuationPoint(BrowseContinuationPoint* continuationPoint);

    // The browse filter of the node manager that browses the starting node; null when none.
    UaBrowseFilter* browseFilter() const { return m_pBrowseFilter; }
    void setBrowseFilter(UaBrowseFilter* browseFilter) { m_pBrowseFilter = browseFilter; }

    // The check value the session gives a parked context.
    OpcUa_Byte checkValue() const { return m_checkValue; }
    void setCheckValue(OpcUa_Byte checkValue) { m_checkValue = checkValue; }

private:
    void makePersistent();

    const OpcUa_ViewDescription* m_pView;
    const OpcUa_NodeId* m_pStartingNode;
    OpcUa_UInt32 m_maxReferencesPerNode = 0;
    OpcUa_UInt32 m_browseDirection = OpcUa_BrowseDirection_Forward;
    const OpcUa_NodeId* m_pReferenceTypeId;
    bool m_includeSubtypes = false;
    OpcUa_UInt32 m_nodeClassMask = 0;
    OpcUa_UInt32 m_resultMask = 0;
    bool m_isBorrowed = true;
    BrowseContinuationPoint* m_pContinuationPoint = nullptr;
    bool m_isDone = true;
    UaBrowseFilter* m_pBrowseFilter = nullptr;
    OpcUa_Byte m_checkValue = 0;

    // The context's own copies once it is persistent, and the empty structures before.
    OpcUa_ViewDescription m_ownView;
    OpcUa_NodeId m_ownStartingNode;
    OpcUa_NodeId m_ownReferenceTypeId;
};

#endif
