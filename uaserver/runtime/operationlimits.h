#ifndef UASERVER_RUNTIME_OPERATIONLIMITS_H
#define UASERVER_RUNTIME_OPERATIONLIMITS_H

#include <opcua.h>

// The most operations one request of a service may carry. A request with more is refused as a whole
// with BadTooManyOperations before any of its operations is looked at: one request cannot keep a
// thread of the server for long, and its client learns why it was refused.
namespace OperationLimits
{
constexpr OpcUa_UInt32 kMaxNodesPerRead = 10000;
constexpr OpcUa_UInt32 kMaxNodesPerWrite = 10000;
// History read nodes and history update details.
constexpr OpcUa_UInt32 kMaxNodesPerHistory = 1000;
// Node descriptions of a Browse and continuation points of a BrowseNext.
constexpr OpcUa_UInt32 kMaxNodesPerBrowse = 5000;
constexpr OpcUa_UInt32 kMaxBrowsePathsPerTranslate = 5000;
// Nodes of RegisterNodes and UnregisterNodes.
constexpr OpcUa_UInt32 kMaxNodesPerRegister = 10000;
constexpr OpcUa_UInt32 kMaxMethodsPerCall = 1000;
// Items of AddNodes, AddReferences, DeleteNodes and DeleteReferences.
constexpr OpcUa_UInt32 kMaxNodesPerNodeManagement = 1000;
// Items created, modified, deleted or set a monitoring mode, and triggering links added or removed.
constexpr OpcUa_UInt32 kMaxMonitoredItemsPerCall = 10000;

// BadNothingToDo for an empty array, BadTooManyOperations for one longer than limit, else Good.
inline OpcUa_StatusCode countStatus(OpcUa_Int32 count, const void* array, OpcUa_UInt32 limit)
{
    if (count <= 0 || array == nullptr)
        return OpcUa_BadNothingToDo;
    return static_cast<OpcUa_UInt32>(count) > limit ? OpcUa_BadTooManyOperations : OpcUa_Good;
}
} // namespace OperationLimits

#endif
