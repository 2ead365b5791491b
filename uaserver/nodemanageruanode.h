#ifndef UASERVER_NODEMANAGERUANODE_H
#define UASERVER_NODEMANAGERUANODE_H

#include "hashtable.h"
#include "nodemanager.h"
#include "readmostlylock.h"

#include <uamutex.h>
#include <uastring.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

class IOManager;
class IOManagerUaNode;
class NodeManagerList;
class UaBrowseFilter;
class UaReference;

// The node manager of one namespace whose nodes are UaNodes held in memory, in a hash table by
// NodeId. It registers with the root under its namespace URI, answers browse, translate and handle
// requests, adds and deletes nodes and references, and keeps alias nodes that stand for nodes of
// other namespaces, so that references can run from those nodes into its own. A derived node
// manager builds its nodes in afterStartUp and names the I/O manager of each node.
//
// Locks: m_mutex (the node lock) guards the table and every node operation; m_aliasMutex guards the
// alias list and is taken inside m_mutex. No node lock is held while calling into the root or
// another node manager: foreign nodes and attributes are resolved first, then the lock is taken.
// m_tableLock lets the lookups of the service paths (getVariableHandle, getNode) run side by side:
// they share it without the node lock, each thread on a part of its own, while adding or removing a
// table entry takes it alone inside m_mutex. So a holder of either lock finds only nodes that stay
// in the table while it holds it.
class NodeManagerUaNode : public NodeManager, public NodeManagerConfig, public NodeManagerCrossReferences
{
public:
    NodeManagerUaNode(const UaString& sNamespaceUri, OpcUa_UInt32 hashTableSize);
    // Releases every node of the table.
    ~NodeManagerUaNode() override;

    // NodeManager
    UaStatus startUp(ServerManager* pServerManager) override;
    UaStatus shutDown() override;
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override;
    UaStatus translateBrowsePathToNodeId(const ServiceContext& context, const UaNodeId& startingNode,
                                         UaRelativePathElements& relativePath,
                                         UaBrowsePathTargetArray& targets) override;
    VariableHandle* getVariableHandle(Session* session, OpcUa_UInt32 serviceType, const OpcUa_NodeId* pNodeId,
                                      OpcUa_Int32 attributeId) override;
    MethodHandle* getMethodHandle(Session* session, const OpcUa_NodeId* pObjectNodeId,
                                  const OpcUa_NodeId* pMethodNodeId, UaStatus& result) override;
    NodeManagerCrossReferences* getNodeManagerCrossReferences() override { return this; }
    NodeManagerConfig* getNodeManagerConfig() override { return this; }
    NodeManagerUaNode* getNodeManagerUaNode() override { return this; }

    // The derived node manager builds its nodes here, once the namespace is registered.
    virtual UaStatus afterStartUp() = 0;
    // The derived node manager's first step of shutDown.
    virtual UaStatus beforeShutDown() = 0;
    // The node of this table with a reference added; null when none.
    UaNode* getNode(const UaNodeId& nodeId) override;
    // The I/O manager that serves that attribute of that node.
    virtual IOManager* getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const = 0;
    // The I/O manager that keeps the sampling items of deleted cached variables; null here.
    virtual IOManagerUaNode* getIOManagerUaNode() { return nullptr; }

    // NodeManagerConfig
    UaStatus addUaNode(UaNode* pNewNode) override;
    UaStatus deleteUaNode(UaNode* pNode, bool bRemoveForwardAtTargets, bool bRemoveInverseAtSources,
                          bool bDeleteChildren) override;
    UaStatus addNodeAndReference(const UaNodeId& parentNodeId, UaReferenceLists* pNewNode,
                                 const UaNodeId& referenceTypeId) override;
    UaStatus addNodeAndReference(UaReferenceLists* pParent, UaReferenceLists* pNewNode,
                                 const UaNodeId& referenceTypeId) override;
    UaStatus addUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                            const UaNodeId& referenceTypeId) override;
    UaStatus addUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                            const UaNodeId& referenceTypeId) override;
    UaStatus deleteUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                               const UaNodeId& referenceTypeId) override;
    UaStatus deleteUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                               const UaNodeId& referenceTypeId) override;
    OpcUa_UInt16 getNameSpaceIndex() const override { return m_nsIndex.load(); }

    // NodeManagerCrossReferences
    UaStatus connectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager, bool bForward,
                                 bool bInverse) override;
    UaStatus disconnectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager) override;

    // The node of this table, borrowed: valid while the caller holds m_mutex or m_tableLock.
    UaNode* findNode(const UaNodeId& nodeId) const;
    UaNode* findNode(const OpcUa_NodeId& nodeId) const;
    // An alias node for a node of another namespace, made once and connected to the node's owner.
    UaStatus createNodeManagerAliasNode(const UaNodeId& foreignNodeId);

    const UaString& getNameSpaceUri() const { return m_sNamespaceUri; }
    const UaString& getDefaultLocaleId() const { return m_defaultLocaleId; }
    bool isStarted() const { return m_isStarted.load(); }
    // The node lock, which the nodes of this namespace share.
    UaMutex& nodeLock() const { return m_mutex; }

protected:
    ServerManager* m_pServerManager = nullptr;
    NodeManagerCrossReferences* m_pRootCrossReferences = nullptr;
    NodeManagerList* m_pNodeManagerList = nullptr;
    UaString m_defaultLocaleId;
    std::atomic<bool> m_isStarted{false};
    std::atomic<bool> m_isAfterStartUpDone{false};
    mutable UaMutex m_mutex;
    mutable ReadMostlyLock m_tableLock;
    std::atomic<OpcUa_UInt16> m_nsIndex{0};
    UaString m_sNamespaceUri;
    HashTable* m_pTable;
    mutable UaMutex m_aliasMutex;
    // The foreign NodeIds this node manager holds alias nodes for; a deleted alias leaves a free
    // slot, which the next alias takes.
    std::vector<std::unique_ptr<UaNodeId>> m_aliasNodeIds;
    UaBrowseFilter* m_pBrowseFilter = nullptr;

private:
    // Nesting of deleteUaNode (children are deleted inside the parent's call) and the aliases whose
    // owners are told when the outermost call ends; both guarded by m_mutex.
    int m_deleteDepth = 0;
    std::vector<UaNodeId> m_pendingDisconnects;

    // The node a request names: from the table for this namespace, through the alias list for a
    // foreign NodeId. Borrowed; the caller holds m_mutex.
    UaNode* findRequestNode(const UaNodeId& nodeId) const;
    // Whether the alias list holds the NodeId; the caller holds m_mutex.
    bool isAlias(const UaNodeId& nodeId) const;
    // Makes the alias of a foreign NodeId when there is none yet; no node lock may be held.
    UaStatus ensureAlias(const UaNodeId& nodeId);
    // Takes the NodeId out of the alias list; true when it was there. The caller holds m_mutex.
    bool forgetAlias(const UaNodeId& nodeId);
    // The owner of a foreign namespace as a cross-reference view; null when none.
    NodeManagerCrossReferences* ownerCrossReferences(OpcUa_UInt16 namespaceIndex) const;
    NodeManager* ownerOf(OpcUa_UInt16 namespaceIndex) const;
    // A node of any namespace with a reference added, through the root when there is one.
    UaNode* getNodeAnywhere(const UaNodeId& nodeId);
    // The reference of that type between the two nodes, unlinked yet; null with status set when the
    // type is refused. Resolves a foreign type through the root: no node lock may be held.
    UaReference* createReference(const UaNodeId& referenceTypeId, UaNode* pSource, UaNode* pTarget,
                                 UaStatus& status);
    UaStatus linkReference(UaReference* reference, UaReferenceLists* pSource, UaReferenceLists* pTarget);
    // Links the reference to the new node and adds the node; undoes the link when that fails.
    UaStatus linkNodeAndReference(UaReference* reference, UaReferenceLists* pParent,
                                  UaReferenceLists* pNewNode, const UaNodeId& referenceTypeId);
    // The null checks of the two ends, with their traces; false when one is missing.
    static bool checkReferenceEnds(const char* operation, UaReferenceLists* pSource,
                                   UaReferenceLists* pTarget);
    // The node class of a node of any namespace, read through the server manager; Unspecified when
    // the read fails. No node lock may be held.
    OpcUa_NodeClass readNodeClass(const UaNodeId& nodeId);
    void disconnectAliases(const std::vector<UaNodeId>& aliases);
};

#endif
