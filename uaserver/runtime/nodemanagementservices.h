#ifndef UASERVER_RUNTIME_NODEMANAGEMENTSERVICES_H
#define UASERVER_RUNTIME_NODEMANAGEMENTSERVICES_H

#include <uastatus.h>

#include <opcua.h>

class NodeManager;
class ServiceContext;

// The work of the node-management services once their entry has checked the request and obtained
// the response: every item goes, in request order, to the root node manager, which hands it to the
// node manager of its namespace; each item's status goes into Results, and a refused item never
// stops the others. Of an ExpandedNodeId only the NodeId goes on.
namespace NodeManagementServices
{
UaStatus addNodes(const ServiceContext& context, NodeManager& root, const OpcUa_AddNodesRequest& request,
                  OpcUa_AddNodesResponse& response);
UaStatus addReferences(const ServiceContext& context, NodeManager& root,
                       const OpcUa_AddReferencesRequest& request, OpcUa_AddReferencesResponse& response);
UaStatus deleteNodes(const ServiceContext& context, NodeManager& root,
                     const OpcUa_DeleteNodesRequest& request, OpcUa_DeleteNodesResponse& response);
UaStatus deleteReferences(const ServiceContext& context, NodeManager& root,
                          const OpcUa_DeleteReferencesRequest& request,
                          OpcUa_DeleteReferencesResponse& response);
} // namespace NodeManagementServices

#endif
