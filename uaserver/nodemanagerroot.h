#ifndef UASERVER_NODEMANAGERROOT_H
#define UASERVER_NODEMANAGERROOT_H

#include "iomanageruanode.h"
#include "nodemanagerlist.h"
#include "nodemanageruanode.h"

#include <uamutex.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

class UaFolder;
class UaObjectServer;
class UaReferenceLists;

// The node manager of namespace 0 and the register of every other node manager by namespace
// index. It keeps the standard nodes itself and passes each NodeId-addressed call to the node
// manager of the NodeId's namespace. One exists per process (instance()); its destructor clears
// the singleton, so the next server builds a fresh one.
//
// Locks: m_registerMutex guards registration, removal and the shutting-down flag. Lookups by
// namespace index, dispatch and the fan-outs read the table without a lock: a table that grows
// is copied and the old copy kept until destruction, since a reader may still hold it.
class NodeManagerRoot : public NodeManagerUaNode, public NodeManagerList, public IOManagerUaNode
{
public:
    // Made on first use; the server manager's constructor makes the first call, before other
    // threads run.
    static NodeManagerRoot* instance();
    // Whether the process holds a root now (false after the last one was deleted).
    static bool hasInstance();
    ~NodeManagerRoot() override;
    NodeManagerRoot(const NodeManagerRoot&) = delete;
    NodeManagerRoot& operator=(const NodeManagerRoot&) = delete;

    // NodeManagerList
    NodeManager* getNodeManagerByNamespace(OpcUa_UInt16 namespaceIndex) const override;
    UaStatus addNodeManager(NodeManager* pNodeManager, const UaString& namespaceUri,
                            OpcUa_UInt16& namespaceIndex) override;
    UaStatus removeNodeManager(OpcUa_UInt16 namespaceIndex) override;

    // NodeManager: namespace 0 is served here, every other namespace by its node manager.
    UaStatus startUp(ServerManager* pServerManager) override;
    UaStatus sessionOpened(Session* session) override;
    UaStatus sessionActivated(Session* session) override;
    UaStatus sessionClosed(Session* session) override;
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    UaStatus translateBrowsePathToNodeId(const ServiceContext& context, const UaNodeId& startingNode,
                                         UaRelativePathElements& relativePath,
                                         UaBrowsePathTargetArray& targets) override;
    VariableHandle* getVariableHandle(Session* session, OpcUa_UInt32 serviceType, const OpcUa_NodeId* pNodeId,
                                      OpcUa_Int32 attributeId) override;
    UaNodeHandle* getHistoryHandle(Session* session, OpcUa_UInt32 kind, const OpcUa_NodeId* pNodeId,
                                   UaStatus& result) override;
    // Asks every registered node manager and collects what the good answers give.
    UaStatus getEventManagers(Session* session, const OpcUa_NodeId* pNodeId,
                              const OpcUa_EventFilter* pEventFilter,
                              UaPointerArray<EventManager>& eventManagers) override;
    MethodHandle* getMethodHandle(Session* session, const OpcUa_NodeId* pObjectNodeId,
                                  const OpcUa_NodeId* pMethodNodeId, UaStatus& result) override;
    UaStatus addNode(const ServiceContext& context, const OpcUa_ExpandedNodeId& parentNodeId,
                     const OpcUa_NodeId& referenceTypeId, const OpcUa_ExpandedNodeId& requestedNewNodeId,
                     const OpcUa_QualifiedName& browseName, OpcUa_NodeClass nodeClass,
                     const OpcUa_ExtensionObject& nodeAttributes, const OpcUa_ExpandedNodeId& typeDefinition,
                     OpcUa_NodeId& addedNodeId) override;
    UaStatus addReference(const ServiceContext& context, const OpcUa_NodeId& sourceNodeId,
                          const OpcUa_NodeId& referenceTypeId, OpcUa_Boolean isForward,
                          const OpcUa_String& targetServerUri, const OpcUa_ExpandedNodeId& targetNodeId,
                          OpcUa_NodeClass targetNodeClass) override;
    UaStatus deleteNode(const ServiceContext& context, const OpcUa_NodeId& nodeId,
                        OpcUa_Boolean deleteTargetReferences) override;
    UaStatus deleteReference(const ServiceContext& context, const OpcUa_NodeId& sourceNodeId,
                             const OpcUa_NodeId& referenceTypeId, OpcUa_Boolean isForward,
                             const OpcUa_ExpandedNodeId& targetNodeId,
                             OpcUa_Boolean deleteBidirectional) override;
    UaNode* getNode(const UaNodeId& nodeId) override;
    // Builds the standard folders, the types of namespace 0 and the Server object, and enters the
    // namespace-1 node manager.
    UaStatus afterStartUp() override;
    // Refuses further registrations and shuts the registered node managers down.
    UaStatus beforeShutDown() override;
    IOManager* getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const override;
    IOManagerUaNode* getIOManagerUaNode() override { return this; }

    // IOManagerUaNode: CurrentTime is the only value read in a batch; nothing is written.
    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override;
    UaStatus writeValues(const UaVariableArray& variables, const UaDataValueArray& values,
                         UaStatusCodeArray& statuses) override;

    // The supertypes of a type up the HasSubtype hierarchy, the direct one first. Good also when a
    // later step fails; only a failing first step gives its status (and no array).
    UaStatus collectSuperTypes(const UaNodeId& typeId, UaNodeIdArray& superTypes);

    UaObjectServer* getServerObject() const { return m_pServerObject; }
    // The highest namespace index in the table (namespace 0 not counted).
    OpcUa_UInt16 namespaceCount() const { return m_namespaceCount.load(std::memory_order_acquire); }
    // The registered URI of a namespace; empty for a free slot or an index past the count.
    UaString namespaceUri(OpcUa_UInt16 namespaceIndex) const;
    // The namespace index of a registered URI; false when the URI is not registered.
    bool namespaceIndexOf(const UaString& namespaceUri, OpcUa_UInt16& namespaceIndex) const;

    // The builders of namespace 0, each returning the status of its last linking step.
    UaStatus addTypeNodes(UaReferenceLists* pTypesFolder);
    UaStatus addVariableTypes(UaReferenceLists* pVariableTypesFolder);
    UaStatus addObjectTypes(UaReferenceLists* pObjectTypesFolder);
    UaStatus addReferenceTypes(UaReferenceLists* pReferenceTypesFolder);
    UaStatus addDataTypes(UaReferenceLists* pDataTypesFolder);

protected:
    NodeManagerRoot();

private:
    using Slot = std::atomic<NodeManager*>;

    // Links the node below the parent; a node namespace 0 refuses is released.
    UaStatus link(UaReferenceLists* pParent, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId);
    UaStatus link(OpcUa_UInt32 parentId, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId);
    // A folder below the parent, linked by Organizes; null when namespace 0 refused it.
    UaFolder* addFolder(UaReferenceLists* pParent, const char* name, OpcUa_UInt32 id, UaStatus& status);
    // The node manager of a namespace other than 0; null when none.
    NodeManager* dispatchTarget(OpcUa_UInt16 namespaceIndex) const;
    // Grows the table by 100 slots and reserves namespace 99; the caller holds m_registerMutex.
    UaStatus growTable();
    // Puts the node manager in the slot of that index; the caller holds m_registerMutex.
    void enter(OpcUa_UInt16 namespaceIndex, NodeManager* pNodeManager, const UaString& namespaceUri);
    template <typename Call> void fanOut(const char* operation, Call call) const;
    // A session event passed to every registered node manager, with the entry and exit traces.
    UaStatus sessionEvent(const char* operation, UaStatus (NodeManager::*event)(Session*), Session* session);

    mutable UaMutex m_registerMutex;
    UaFolder* m_pRootFolder = nullptr;
    UaObjectServer* m_pServerObject = nullptr;
    UaReferenceLists* m_pBaseObjectType = nullptr;
    bool m_shuttingDown = false;
    std::atomic<OpcUa_UInt16> m_namespaceCount{0};
    OpcUa_UInt16 m_capacity;
    std::atomic<Slot*> m_pNodeManagers;
    // Tables left behind by growth; a lock-free reader may still hold one.
    std::vector<Slot*> m_retiredTables;
    std::vector<std::string> m_namespaceUris;
    std::map<std::string, OpcUa_UInt16> m_namespaceIndexByUri;
};

#endif
