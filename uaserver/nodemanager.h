#ifndef UASERVER_NODEMANAGER_H
#define UASERVER_NODEMANAGER_H

#include "servicecontext.h"

#include <uanodeid.h>
#include <uapointerarray.h>
#include <uastatus.h>
#include <uastructurearrays.h>

class BrowseContext;
class EventManager;
class IOManager;
class MethodHandle;
class NodeManagerConfig;
class NodeManagerCrossReferences;
class NodeManagerUaNode;
class ServerManager;
class Session;
class UaNode;
class UaNodeHandle;
class UaReferenceLists;
class UaRelativePathElements;
class VariableHandle;

// The interface through which the server reaches the node manager of one namespace. Derived node
// managers override by position, so the order of the operations is fixed.
class NodeManager
{
public:
    virtual ~NodeManager() = default;

    virtual UaStatus startUp(ServerManager* pServerManager) = 0;
    virtual UaStatus shutDown() = 0;
    virtual UaStatus sessionOpened(Session* /*session*/) { return OpcUa_Good; }
    virtual UaStatus sessionActivated(Session* /*session*/) { return OpcUa_Good; }
    virtual UaStatus sessionClosed(Session* /*session*/) { return OpcUa_Good; }
    virtual UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                            UaReferenceDescriptionArray& references) = 0;
    virtual UaStatus translateBrowsePathToNodeId(const ServiceContext& context, const UaNodeId& startingNode,
                                                 UaRelativePathElements& relativePath,
                                                 UaBrowsePathTargetArray& targets) = 0;
    // serviceType: 0 Read, 1 Write, 3 RegisterNodes. The handle carries one reference for the caller.
    virtual VariableHandle* getVariableHandle(Session* session, OpcUa_UInt32 serviceType,
                                              const OpcUa_NodeId* pNodeId, OpcUa_Int32 attributeId) = 0;
    // The handle of the node whose manager serves its history; kind 0 events, 1 raw, 2 modified,
    // 3 processed, 4 at time, 5, 7 and 8 the updates. Null: no history here.
    virtual UaNodeHandle* getHistoryHandle(Session* /*session*/, OpcUa_UInt32 /*kind*/,
                                           const OpcUa_NodeId* /*pNodeId*/, UaStatus& /*result*/)
    {
        return nullptr;
    }
    virtual UaStatus getEventManagers(Session* /*session*/, const OpcUa_NodeId* /*pNodeId*/,
                                      const OpcUa_EventFilter* /*pEventFilter*/,
                                      UaPointerArray<EventManager>& /*eventManagers*/)
    {
        return OpcUa_BadNotSupported;
    }
    virtual MethodHandle* getMethodHandle(Session* /*session*/, const OpcUa_NodeId* /*pObjectNodeId*/,
                                          const OpcUa_NodeId* /*pMethodNodeId*/, UaStatus& /*result*/)
    {
        return nullptr;
    }
    // The node-management services, one request item per call; clients may change nothing.
    // addedNodeId: the NodeId of a node added (the caller's, left alone on a refusal).
    virtual UaStatus addNode(const ServiceContext& /*context*/, const OpcUa_ExpandedNodeId& /*parentNodeId*/,
                             const OpcUa_NodeId& /*referenceTypeId*/,
                             const OpcUa_ExpandedNodeId& /*requestedNewNodeId*/,
                             const OpcUa_QualifiedName& /*browseName*/, OpcUa_NodeClass /*nodeClass*/,
                             const OpcUa_ExtensionObject& /*nodeAttributes*/,
                             const OpcUa_ExpandedNodeId& /*typeDefinition*/, OpcUa_NodeId& /*addedNodeId*/)
    {
        return OpcUa_BadUserAccessDenied;
    }
    virtual UaStatus addReference(const ServiceContext& /*context*/, const OpcUa_NodeId& /*sourceNodeId*/,
                                  const OpcUa_NodeId& /*referenceTypeId*/, OpcUa_Boolean /*isForward*/,
                                  const OpcUa_String& /*targetServerUri*/,
                                  const OpcUa_ExpandedNodeId& /*targetNodeId*/,
                                  OpcUa_NodeClass /*targetNodeClass*/)
    {
        return OpcUa_BadUserAccessDenied;
    }
    virtual UaStatus deleteNode(const ServiceContext& /*context*/, const OpcUa_NodeId& /*nodeId*/,
                                OpcUa_Boolean /*deleteTargetReferences*/)
    {
        return OpcUa_BadUserAccessDenied;
    }
    virtual UaStatus deleteReference(const ServiceContext& /*context*/, const OpcUa_NodeId& /*sourceNodeId*/,
                                     const OpcUa_NodeId& /*referenceTypeId*/, OpcUa_Boolean /*isForward*/,
                                     const OpcUa_ExpandedNodeId& /*targetNodeId*/,
                                     OpcUa_Boolean /*deleteBidirectional*/)
    {
        return OpcUa_BadUserAccessDenied;
    }
    // The capability queries: null when the node manager does not offer that view.
    virtual NodeManagerCrossReferences* getNodeManagerCrossReferences() { return nullptr; }
    virtual NodeManagerConfig* getNodeManagerConfig() { return nullptr; }
    virtual NodeManagerUaNode* getNodeManagerUaNode() { return nullptr; }
    // The node with a reference added, which the caller releases; null when unknown.
    virtual UaNode* getNode(const UaNodeId& /*nodeId*/) { return nullptr; }

    // The names the runtime's services know the history and event slots by.
    UaNodeHandle* getHistoryVariableHandle(Session* session, OpcUa_UInt32 kind, const OpcUa_NodeId* pNodeId,
                                           UaStatus& result)
    {
        return getHistoryHandle(session, kind, pNodeId, result);
    }
    UaStatus gatherHandles(Session* session, const OpcUa_NodeId* pNodeId,
                           const OpcUa_EventFilter* pEventFilter, UaPointerArray<EventManager>& eventManagers)
    {
        return getEventManagers(session, pNodeId, pEventFilter, eventManagers);
    }
};

// The interface through which nodes and references enter a node manager.
class NodeManagerConfig
{
public:
    virtual ~NodeManagerConfig() = default;

    virtual UaStatus addUaNode(UaNode* pNewNode) = 0;
    virtual UaStatus deleteUaNode(UaNode* pNode, bool bRemoveForwardAtTargets, bool bRemoveInverseAtSources,
                                  bool bDeleteChildren) = 0;
    virtual UaStatus addNodeAndReference(const UaNodeId& parentNodeId, UaReferenceLists* pNewNode,
                                         const UaNodeId& referenceTypeId) = 0;
    virtual UaStatus addNodeAndReference(UaReferenceLists* pParent, UaReferenceLists* pNewNode,
                                         const UaNodeId& referenceTypeId) = 0;
    virtual UaStatus addUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                                    const UaNodeId& referenceTypeId) = 0;
    virtual UaStatus addUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                                    const UaNodeId& referenceTypeId) = 0;
    virtual UaStatus deleteUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                                       const UaNodeId& referenceTypeId) = 0;
    virtual UaStatus deleteUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                                       const UaNodeId& referenceTypeId) = 0;
    virtual OpcUa_UInt16 getNameSpaceIndex() const = 0;
    // The node manager's event manager; null but for node managers with events.
    virtual EventManager* getEventManager() { return nullptr; }
};

// References that cross from one namespace into another: a node manager that keeps references of a
// foreign node connects to the node's owner, so that browsing the node asks it too.
class NodeManagerCrossReferences
{
public:
    virtual ~NodeManagerCrossReferences() = default;

    virtual UaStatus connectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager,
                                         bool bForward, bool bInverse) = 0;
    virtual UaStatus disconnectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager) = 0;
};

#endif
