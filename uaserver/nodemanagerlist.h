#ifndef UASERVER_NODEMANAGERLIST_H
#define UASERVER_NODEMANAGERLIST_H

#include <uastatus.h>
#include <uastring.h>

class NodeManager;

// The root node manager's register of the node managers by namespace index, through which a node
// manager registers itself and finds the owner of another namespace.
class NodeManagerList
{
public:
    virtual ~NodeManagerList() = default;

    // Null when no node manager serves the namespace.
    virtual NodeManager* getNodeManagerByNamespace(OpcUa_UInt16 namespaceIndex) const = 0;
    // Assigns (or gives back) the namespace index of the URI and writes it to namespaceIndex.
    virtual UaStatus addNodeManager(NodeManager* pNodeManager, const UaString& namespaceUri,
                                    OpcUa_UInt16& namespaceIndex) = 0;
    virtual UaStatus removeNodeManager(OpcUa_UInt16 namespaceIndex) = 0;
};

#endif
