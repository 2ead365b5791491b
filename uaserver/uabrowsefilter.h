#ifndef UASERVER_UABROWSEFILTER_H
#define UASERVER_UABROWSEFILTER_H

#include <uanodeid.h>

class BrowseContext;
class Session;
class UaNode;

// A node manager's optional say over what a session may browse. Both questions come with the node
// manager's node lock held, so the answers must not wait for another node manager.
class UaBrowseFilter
{
public:
    virtual ~UaBrowseFilter() = default;
    // Whether the starting node is browsed at all.
    virtual bool isBrowsable(Session* session, const BrowseContext& browseContext, UaNode* startingNode) = 0;
    // Whether one reference is shown; farNode is null where the far end is not a local node.
    // A reference refused here still counts as delivered.
    virtual bool isReferenceVisible(Session* session, const UaNodeId& farNodeId, UaNode* farNode) = 0;
};

#endif
