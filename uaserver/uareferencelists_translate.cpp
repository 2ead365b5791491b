// One browse path from this node: element after element along the reference lists, handing the
// rest of the path to another node manager where a marker says it keeps further references.
#include "farnodenames.h"
#include "nodemanager.h"
#include "servicecontext.h"
#include "uanode.h"
#include "uareferencelists.h"
#include "uarelativepathelements.h"

namespace
{
bool isTypeMatch(const UaReference& reference, const UaNodeId& filter, bool includeSubtypes)
{
    return filter.isNull() || reference.referenceTypeId() == filter ||
           (includeSubtypes && reference.isSubtypeOf(filter));
}

void addTarget(UaBrowsePathTargetArray& targets, const UaNodeId& nodeId, OpcUa_UInt32 remainingPathIndex)
{
    const OpcUa_UInt32 index = targets.length();
    if (targets.resize(index + 1) != OpcUa_Good)
        return;
    nodeId.copyTo(&targets[index].TargetId.NodeId);
    targets[index].RemainingPathIndex = remainingPathIndex;
}

// The implicit HasTypeDefinition and HasModellingRule targets of an object or variable that pass
// the element's type rule.
std::vector<UaNodeId> implicitTargets(UaNode& node, const UaNodeId& filter, bool includeSubtypes)
{
    std::vector<UaNodeId> targets;
    const OpcUa_NodeClass nodeClass = node.nodeClass();
    if (nodeClass != OpcUa_NodeClass_Object && nodeClass != OpcUa_NodeClass_Variable)
        return targets;
    const UaNodeId typeDefinition = node.typeDefinitionId();
    if (!typeDefinition.isNull() &&
        isReferenceTypeMatch(filter, ReferenceTypeId::HasTypeDefinition, includeSubtypes))
        targets.push_back(typeDefinition);
    const UaNodeId modellingRule = node.modellingRuleId();
    if (!modellingRule.isNull() &&
        isReferenceTypeMatch(filter, ReferenceTypeId::HasModellingRule, includeSubtypes))
        targets.push_back(modellingRule);
    return targets;
}
} // namespace

UaStatus UaReferenceLists::translateBrowsePathElement(const ServiceContext& context,
                                                      UaRelativePathElements& path,
                                                      UaBrowsePathTargetArray& targets)
{
    if (!path.current())
        return OpcUa_BadNothingToDo;
    ReferenceHolder<UaNode> current(getUaNode());
    // Nodes linked by pointer belong to one node manager, so this lock guards the whole walk.
    UaMutex* lock = context.nodeLock(current->nodeId().namespaceIndex());
    UaMutexLocker locker(lock);
    UaStatus foreignStatus = OpcUa_Good;
    for (;;)
    {
        const OpcUa_RelativePathElement& element = *path.current();
        const UaQualifiedName targetName(element.TargetName);
        if (targetName.name().isEmpty())
            return OpcUa_BadBrowseNameInvalid;
        UaReferenceLists* lists = current->getUaReferenceLists();
        if (!lists)
            return OpcUa_BadNodeIdUnknown;
        const UaNodeId filter(element.ReferenceTypeId);
        const bool includeSubtypes = element.IncludeSubtypes != OpcUa_False;
        const bool inverse = element.IsInverse != OpcUa_False;

        ReferenceHolder<UaNode> match;
        std::vector<NodeManager*> markersBefore;
        for (UaReference* reference = inverse ? lists->m_pFirstInverse : lists->m_pFirstForward; reference;
             reference = inverse ? reference->pNextInverse() : reference->pNextForward())
        {
            if (reference->referenceKind() == UaReference::NodeManagerMarker)
            {
                markersBefore.push_back(static_cast<UaReferenceToNodeManager*>(reference)->pNodeManager());
                continue;
            }
            UaNode* farNode = inverse ? reference->pSourceNode() : reference->pTargetNode();
            if (farNode && isTypeMatch(*reference, filter, includeSubtypes) &&
                farNode->browseName() == targetName)
            {
                match = farNode;
                break;
            }
        }

        // Node managers named before the first local match are asked first, with the lock released.
        if (!markersBefore.empty())
        {
            const UaNodeId currentId = current->nodeId();
            locker.unlock();
            for (NodeManager* nodeManager : markersBefore)
            {
                UaRelativePathElements rest = path;
                const UaStatus status =
                    nodeManager->translateBrowsePathToNodeId(context, currentId, rest, targets);
                if (status.isGood())
                    return status;
                foreignStatus = status;
            }
            locker.lock(lock);
        }

        UaNodeId implicitMatch;
        if (!match && !inverse)
        {
            const std::vector<UaNodeId> candidates = implicitTargets(*current, filter, includeSubtypes);
            if (!candidates.empty())
            {
                locker.unlock();
                FarNodeNames names;
                names.read(context, candidates, true, false);
                for (std::size_t i = 0; i < candidates.size() && implicitMatch.isNull(); ++i)
                    if (names.browseNames[i] == targetName)
                        implicitMatch = candidates[i];
                locker.lock(lock);
            }
        }
        if (!match && implicitMatch.isNull())
            return foreignStatus.isGood() ? UaStatus(OpcUa_BadNoMatch) : foreignStatus;

        path.advance();
        if (!path.current())
        {
            addTarget(targets, match ? match->nodeId() : implicitMatch, 0xFFFFFFFFu);
            return OpcUa_Good;
        }
        // The walk cannot follow a node it holds no pointer to: the target names where the rest of
        // the path starts.
        if (!match)
        {
            addTarget(targets, implicitMatch, path.position());
            return OpcUa_Good;
        }
        current = match;
    }
}
