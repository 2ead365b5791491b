#ifndef UASERVER_RUNTIME_VIEWSERVICES_H
#define UASERVER_RUNTIME_VIEWSERVICES_H

#include <uastatus.h>

#include <opcua.h>

class NodeManager;
class ServerManager;
class ServiceContext;
class UaTransactionManager;

// The work of the view services once their entry has checked the request and obtained the
// response: every operation runs at once, node by node through the root node manager, and fills
// the response. Browse continuation points are parked on the context's session.
namespace ViewServices
{
// One browse per node; a node with references left keeps a continuation point on the session, at
// most the session's maximum per request. The results and, when the request asks for them, the
// DiagnosticInfos go into the response. Bad (the view status) only when every node failed with a
// view status: the caller then answers with that fault.
UaStatus browse(const ServiceContext& context, NodeManager& root, ServerManager& serverManager,
                const OpcUa_BrowseRequest& request, OpcUa_BrowseResponse& response);
// Continues or releases the session's continuation points, one result per point.
UaStatus browseNext(const ServiceContext& context, NodeManager& root, const OpcUa_BrowseNextRequest& request,
                    OpcUa_BrowseNextResponse& response);
// One translation per browse path; a path whose status is not Good has no targets. Always Good.
UaStatus translateBrowsePaths(const ServiceContext& context, NodeManager& root,
                              const OpcUa_TranslateBrowsePathsToNodeIdsRequest& request,
                              OpcUa_TranslateBrowsePathsToNodeIdsResponse& response);
// Through the transaction manager, on the request's NodeIds as they are.
UaStatus registerNodes(const ServiceContext& context, UaTransactionManager& transactionManager,
                       const OpcUa_RegisterNodesRequest& request, OpcUa_RegisterNodesResponse& response);
UaStatus unregisterNodes(const ServiceContext& context, UaTransactionManager& transactionManager,
                         const OpcUa_UnregisterNodesRequest& request);

// Whether a Browse may filter by this reference type: a numeric namespace-0 id must be References
// or one of its subtypes; any other id must name a ReferenceType node. A null id passes.
bool isBrowsableReferenceType(const ServiceContext& context, ServerManager& serverManager,
                              const OpcUa_NodeId& referenceTypeId);
} // namespace ViewServices

#endif
