#ifndef UASERVER_UAREFERENCELISTS_H
#define UASERVER_UAREFERENCELISTS_H

#include "uareference.h"

#include <uaqualifiedname.h>
#include <uastatus.h>
#include <uastructurearrays.h>

class BrowseContext;
class NodeManager;
class NodeManagerConfig;
class ServiceContext;
class UaNode;
class UaRelativePathElements;

// The references of one node: the forward list (references that start at it, appended) and the
// inverse list (references that end at it, prepended). One reference object stands in both lists
// of its two nodes; the forward list owns it, the inverse list only links it. A reference whose
// source let go of it (source pointer null) belongs to the inverse list it still stands in.
//
// The lists have no lock of their own: their writers run under the node manager's lock, and the
// browse and translate walks take the lock that the service context names for the node's namespace.
class UaReferenceLists
{
public:
    UaReferenceLists() = default;
    // Destroys the forward references, taking each out of its target's inverse list, and lets go of
    // the inverse ones, which stay with their sources without a target.
    virtual ~UaReferenceLists();
    UaReferenceLists(const UaReferenceLists&) = delete;
    UaReferenceLists& operator=(const UaReferenceLists&) = delete;

    // The Browse service for this node and one browse description, a page at a time.
    virtual UaStatus browseReferences(const ServiceContext& context, BrowseContext& browseContext,
                                      UaReferenceDescriptionArray& references);
    // TranslateBrowsePathsToNodeIds from this node, starting at the path's current element.
    virtual UaStatus translateBrowsePathElement(const ServiceContext& context, UaRelativePathElements& path,
                                                UaBrowsePathTargetArray& targets);
    virtual UaReference* firstForwardReference() const { return m_pFirstForward; }
    virtual UaReference* firstInverseReference() const { return m_pFirstInverse; }
    // The target of the first forward reference whose target has that browse name; null if none.
    virtual UaNode* findTargetByBrowseName(const UaQualifiedName& browseName) const;
    virtual void addForwardReference(UaReference* reference);
    virtual void addInverseReference(UaReference* reference);
    // Unlinks that very reference from the inverse list and clears its target pointer;
    // BadSourceNodeIdInvalid when it is not there.
    virtual UaStatus removeInverseReference(UaReference* reference);
    // Unlinks that very reference from the inverse list and clears its source pointer.
    virtual bool unlinkInverseReference(UaReference* reference);
    // Deletes the first forward reference of that type to that target. With deleteInverse the
    // target's inverse list loses it too; without, it stays there, detached from both nodes.
    virtual UaStatus deleteReference(const UaNodeId& targetNodeId, const UaNodeId& referenceTypeId,
                                     bool deleteInverse);
    virtual UaStatus deleteReference(UaNode* targetNode, const UaNodeId& referenceTypeId, bool deleteInverse);
    virtual bool unlinkForwardReference(UaReference* reference);
    // Deletes every marker of that node manager from both lists; BadTargetNodeIdInvalid when none.
    virtual UaStatus deleteCrossReferences(NodeManager* nodeManager);
    virtual UaStatus deleteAllInverseReferences(bool deleteInSource);
    virtual UaStatus deleteAllForwardReferences(bool deleteInTarget);
    // Deletes, through the node manager, every child (HasChild or a subtype) that has no other parent.
    virtual UaStatus deleteChildren(NodeManagerConfig* nodeManagerConfig);
    // The node these lists belong to.
    virtual UaNode* getUaNode() = 0;

private:
    UaReference* m_pFirstForward = nullptr;
    UaReference* m_pLastForward = nullptr;
    UaReference* m_pFirstInverse = nullptr;

    // Unlinks the reference that follows previous (the head when previous is null).
    void unlinkForwardAfter(UaReference* previous, UaReference* reference);
    bool unlinkInverseOnly(UaReference* reference);
    UaStatus deleteForwardReference(UaReference* previous, UaReference* reference, bool deleteInverse);
};

#endif
