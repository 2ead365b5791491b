#ifndef UASERVER_BROWSECONTINUATIONPOINT_H
#define UASERVER_BROWSECONTINUATIONPOINT_H

#include "referencecounter.h"
#include "uanode.h"

#include <vector>

class NodeManager;

// One reference a browse has matched and not yet delivered. It keeps what the result needs by value,
// and a counted reference to the far node where that node is local, so that it stays valid while
// nodes are deleted and re-added between Browse and BrowseNext.
struct BrowseMatch
{
    UaNodeId referenceTypeId;
    bool isForward = true;
    UaNodeId farNodeId;
    OpcUa_NodeClass farNodeClass = OpcUa_NodeClass_Unspecified;
    // Null for implicit references and references held by NodeId, whose names are read by NodeId.
    ReferenceHolder<UaNode> farNode;
};

// The state of one node's browse between calls: what was matched, how much of it was delivered and
// the references fetched from other node managers.
class BrowseContinuationPoint : public ReferenceCounter
{
public:
    // The implicit references come first, then the node's forward list.
    std::vector<BrowseMatch> m_forward;
    std::size_t m_forwardDelivered = 0;
    std::vector<BrowseMatch> m_inverse;
    std::size_t m_inverseDelivered = 0;
    // The node managers that keep further references of the node; asked once, on the first call.
    std::vector<NodeManager*> m_nodeManagers;
    UaReferenceDescriptionArray m_foreign;
    OpcUa_UInt32 m_foreignDelivered = 0;

    bool hasMore() const
    {
        return m_forwardDelivered < m_forward.size() || m_inverseDelivered < m_inverse.size() ||
               m_foreignDelivered < m_foreign.length();
    }
};

#endif
