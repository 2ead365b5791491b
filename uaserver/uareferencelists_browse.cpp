// Browse of one node's references: matches are gathered under the node lock into a continuation
// point, pages are cut from it, and everything that calls into other node managers (their
// references, far-node names) runs with the lock released.
#include "browsecontext.h"
#include "browsecontinuationpoint.h"
#include "farnodenames.h"
#include "nodemanager.h"
#include "servicecontext.h"
#include "uabrowsefilter.h"
#include "uareferencelists.h"

#include <uatrace.h>

#include <algorithm>
#include <cstring>

namespace
{
constexpr OpcUa_UInt32 g_maxReferencesPerCall = 1000;

bool isTypeMatch(const UaReference& reference, const UaNodeId& filter, bool includeSubtypes)
{
    return filter.isNull() || reference.referenceTypeId() == filter ||
           (includeSubtypes && reference.isSubtypeOf(filter));
}

bool passesClassMask(OpcUa_UInt32 mask, OpcUa_UInt32 nodeClass)
{
    return mask == 0 || (mask & nodeClass) != 0;
}

void addNodeManager(BrowseContinuationPoint& continuationPoint, const UaReference& marker)
{
    NodeManager* nodeManager = static_cast<const UaReferenceToNodeManager&>(marker).pNodeManager();
    for (NodeManager* known : continuationPoint.m_nodeManagers)
        if (known == nodeManager)
            return;
    continuationPoint.m_nodeManagers.push_back(nodeManager);
}

// The implicit HasTypeDefinition and HasModellingRule references of an object, variable or method.
void gatherImplicit(BrowseContinuationPoint& continuationPoint, const BrowseContext& browseContext,
                    UaNode& node)
{
    const UaNodeId filter = browseContext.referenceTypeId();
    const bool includeSubtypes = browseContext.includeSubtypes();
    const OpcUa_UInt32 mask = browseContext.nodeClassMask();
    const OpcUa_NodeClass nodeClass = node.nodeClass();
    const bool isInstance = nodeClass == OpcUa_NodeClass_Object || nodeClass == OpcUa_NodeClass_Variable;
    if (isInstance && isReferenceTypeMatch(filter, ReferenceTypeId::HasTypeDefinition, includeSubtypes))
    {
        const OpcUa_NodeClass typeClass =
            nodeClass == OpcUa_NodeClass_Object ? OpcUa_NodeClass_ObjectType : OpcUa_NodeClass_VariableType;
        if (passesClassMask(mask, typeClass))
            continuationPoint.m_forward.push_back({UaNodeId(ReferenceTypeId::HasTypeDefinition, 0),
                                                   true,
                                                   node.typeDefinitionId(),
                                                   typeClass,
                                                   {}});
    }
    // The far end of HasModellingRule is a ModellingRule object, so the mask is asked for Object.
    if ((isInstance || nodeClass == OpcUa_NodeClass_Method) &&
        isReferenceTypeMatch(filter, ReferenceTypeId::HasModellingRule, includeSubtypes) &&
        passesClassMask(mask, OpcUa_NodeClass_Object))
    {
        const UaNodeId modellingRule = node.modellingRuleId();
        if (!modellingRule.isNull())
            continuationPoint.m_forward.push_back({UaNodeId(ReferenceTypeId::HasModellingRule, 0),
                                                   true,
                                                   modellingRule,
                                                   OpcUa_NodeClass_Object,
                                                   {}});
    }
}

void gatherList(BrowseContinuationPoint& continuationPoint, const BrowseContext& browseContext,
                UaReference* first, bool forward)
{
    const UaNodeId filter = browseContext.referenceTypeId();
    const bool includeSubtypes = browseContext.includeSubtypes();
    const OpcUa_UInt32 mask = browseContext.nodeClassMask();
    std::vector<BrowseMatch>& matches = forward ? continuationPoint.m_forward : continuationPoint.m_inverse;
    for (UaReference* reference = first; reference;
         reference = forward ? reference->pNextForward() : reference->pNextInverse())
    {
        if (reference->referenceKind() == UaReference::NodeManagerMarker)
        {
            addNodeManager(continuationPoint, *reference);
            continue;
        }
        if (!isTypeMatch(*reference, filter, includeSubtypes))
            continue;
        if (reference->referenceKind() == UaReference::ByNodeId)
        {
            const auto& byNodeId = static_cast<const UaReferenceByNodeId&>(*reference);
            if (forward && passesClassMask(mask, byNodeId.targetNodeClass()))
                matches.push_back({byNodeId.referenceTypeId(),
                                   true,
                                   byNodeId.targetNodeId(),
                                   byNodeId.targetNodeClass(),
                                   {}});
            continue;
        }
        UaNode* farNode = forward ? reference->pTargetNode() : reference->pSourceNode();
        if (!farNode || !passesClassMask(mask, farNode->nodeClass()))
            continue;
        BrowseMatch match{reference->referenceTypeId(), forward, farNode->nodeId(), farNode->nodeClass(), {}};
        match.farNode = farNode;
        matches.push_back(std::move(match));
    }
}

// One page of results: entries are written in place, dropped ones are squeezed out at the end. The
// page takes room as entries come, up to its limit, so that a node with few references costs few.
class Page
{
public:
    Page(UaReferenceDescriptionArray& results, OpcUa_UInt32 limit, OpcUa_UInt32 resultMask)
        : m_results(results), m_limit(limit), m_resultMask(resultMask)
    {
        m_results.clear();
    }

    bool isFull() const { return m_count == m_limit; }

    // Room for up to more entries beyond those written, within the limit.
    void reserve(std::size_t more)
    {
        const auto wanted = static_cast<OpcUa_UInt32>(std::min<std::size_t>(m_limit, m_count + more));
        if (wanted > m_results.length() && m_results.resize(wanted) == OpcUa_Good)
            m_dropped.resize(wanted, false);
    }

    // A matched reference; its names come from the far node, or are read by NodeId later.
    void add(const BrowseMatch& match, Session* session, UaBrowseFilter* filter)
    {
        if (!makeRoom())
            return;
        OpcUa_ReferenceDescription& description = m_results[m_count];
        match.farNodeId.copyTo(&description.NodeId.NodeId);
        if (m_resultMask & OpcUa_BrowseResultMask_ReferenceTypeId)
            match.referenceTypeId.copyTo(&description.ReferenceTypeId);
        if (m_resultMask & OpcUa_BrowseResultMask_IsForward)
            description.IsForward = match.isForward ? OpcUa_True : OpcUa_False;
        if (m_resultMask & OpcUa_BrowseResultMask_NodeClass)
            description.NodeClass = match.farNodeClass;
        if (UaNode* farNode = match.farNode.get())
        {
            if (m_resultMask & OpcUa_BrowseResultMask_BrowseName)
                farNode->browseName().copyTo(&description.BrowseName);
            if (m_resultMask & OpcUa_BrowseResultMask_DisplayName)
                farNode->displayName(session).copyTo(&description.DisplayName);
            if (m_resultMask & OpcUa_BrowseResultMask_TypeDefinition)
                farNode->typeDefinitionId().copyTo(&description.TypeDefinition.NodeId);
        }
        else
        {
            m_namesToRead.push_back(m_count);
            m_farNodeIds.push_back(match.farNodeId);
        }
        m_dropped[m_count] =
            filter && !filter->isReferenceVisible(session, match.farNodeId, match.farNode.get());
        ++m_count;
    }

    // A reference another node manager delivered, moved out of the continuation point.
    void add(OpcUa_ReferenceDescription& foreign, Session* session, UaBrowseFilter* filter)
    {
        if (!makeRoom())
            return;
        m_results[m_count] = foreign;
        std::memset(&foreign, 0, sizeof foreign);
        m_dropped[m_count] = filter && !filter->isReferenceVisible(
                                           session, UaNodeId(m_results[m_count].NodeId.NodeId), nullptr);
        ++m_count;
    }

    // Reads the names of the entries without a local far node; no node lock may be held.
    void readFarNodeNames(const ServiceContext& context)
    {
        const bool withBrowseNames = (m_resultMask & OpcUa_BrowseResultMask_BrowseName) != 0;
        const bool withDisplayNames = (m_resultMask & OpcUa_BrowseResultMask_DisplayName) != 0;
        if (m_namesToRead.empty() || (!withBrowseNames && !withDisplayNames))
            return;
        FarNodeNames names;
        names.read(context, m_farNodeIds, withBrowseNames, withDisplayNames);
        for (std::size_t i = 0; i < m_namesToRead.size(); ++i)
        {
            OpcUa_ReferenceDescription& description = m_results[m_namesToRead[i]];
            if (withBrowseNames)
                names.browseNames[i].copyTo(&description.BrowseName);
            if (withDisplayNames)
                names.displayNames[i].copyTo(&description.DisplayName);
        }
    }

    // Squeezes out the dropped entries and the unused room.
    void finish()
    {
        OpcUa_UInt32 kept = 0;
        for (OpcUa_UInt32 i = 0; i < m_count; ++i)
        {
            if (m_dropped[i])
            {
                OpcUa_ReferenceDescription_Clear(&m_results[i]);
                continue;
            }
            if (kept != i)
            {
                m_results[kept] = m_results[i];
                std::memset(&m_results[i], 0, sizeof m_results[i]);
            }
            ++kept;
        }
        m_results.resize(kept);
    }

private:
    // Room for one more entry; false when the storage cannot be had.
    bool makeRoom()
    {
        if (m_count == m_results.length())
            reserve(std::max<std::size_t>(m_count, 8));
        return m_count < m_results.length();
    }

    UaReferenceDescriptionArray& m_results;
    OpcUa_UInt32 m_limit;
    OpcUa_UInt32 m_resultMask;
    OpcUa_UInt32 m_count = 0;
    std::vector<bool> m_dropped;
    std::vector<OpcUa_UInt32> m_namesToRead;
    std::vector<UaNodeId> m_farNodeIds;
};

void takeMatches(Page& page, std::vector<BrowseMatch>& matches, std::size_t& delivered, Session* session,
                 UaBrowseFilter* filter)
{
    for (; delivered < matches.size() && !page.isFull(); ++delivered)
    {
        page.add(matches[delivered], session, filter);
        // Delivered matches let go of their far node at once, under the node lock.
        matches[delivered].farNode.reset();
    }
}

// The references that another node manager keeps for the node, without its HasTypeDefinition (the
// implicit one stands first); all of them, page after page of that node manager.
void fetchForeign(const ServiceContext& context, const BrowseContext& browseContext, const UaNodeId& nodeId,
                  NodeManager& nodeManager, UaReferenceDescriptionArray& foreign)
{
    OpcUa_BrowseDescription description;
    OpcUa_BrowseDescription_Initialize(&description);
    description.NodeId = *nodeId.toOpcUaNodeId();
    description.BrowseDirection = static_cast<OpcUa_BrowseDirection>(browseContext.browseDirection());
    const UaNodeId filter = browseContext.referenceTypeId();
    description.ReferenceTypeId = *filter.toOpcUaNodeId();
    description.IncludeSubtypes = browseContext.includeSubtypes() ? OpcUa_True : OpcUa_False;
    description.NodeClassMask = browseContext.nodeClassMask();
    // The type is needed to drop HasTypeDefinition; it is cleared again where the client did not ask.
    description.ResultMask = browseContext.resultMask() | OpcUa_BrowseResultMask_ReferenceTypeId;
    BrowseContext foreignContext(&browseContext.view(), description, 0);

    std::vector<OpcUa_ReferenceDescription> gathered;
    auto clearGathered = [&gathered]
    {
        for (OpcUa_ReferenceDescription& entry : gathered)
            OpcUa_ReferenceDescription_Clear(&entry);
        gathered.clear();
    };
    for (;;)
    {
        UaReferenceDescriptionArray part;
        if (nodeManager.browse(context, foreignContext, part).isBad())
        {
            UaTrace::traceLevel1("UaReferenceLists::browseReferences FAILED for registered NodeManager");
            clearGathered();
            return;
        }
        for (OpcUa_UInt32 i = 0; i < part.length(); ++i)
        {
            gathered.push_back(part[i]);
            std::memset(&part[i], 0, sizeof part[i]);
        }
        if (!foreignContext.hasContinuationPoint() || part.length() == 0)
            break;
    }

    const bool keepType = (browseContext.resultMask() & OpcUa_BrowseResultMask_ReferenceTypeId) != 0;
    const UaNodeId hasTypeDefinition(ReferenceTypeId::HasTypeDefinition, 0);
    OpcUa_UInt32 next = foreign.length();
    foreign.resize(next + static_cast<OpcUa_UInt32>(gathered.size()));
    for (OpcUa_ReferenceDescription& entry : gathered)
    {
        if (hasTypeDefinition == entry.ReferenceTypeId)
        {
            OpcUa_ReferenceDescription_Clear(&entry);
            continue;
        }
        if (!keepType)
            OpcUa_NodeId_Clear(&entry.ReferenceTypeId);
        foreign[next++] = entry;
    }
    gathered.clear();
    foreign.resize(next);
}
} // namespace

UaStatus UaReferenceLists::browseReferences(const ServiceContext& context, BrowseContext& browseContext,
                                            UaReferenceDescriptionArray& references)
{
    UaTrace::traceLevel6("--> UaReferenceLists::browseReferences");
    references.clear();
    const UaNodeId filter = browseContext.referenceTypeId();
    if (filter.namespaceIndex() != 0 && filter.identifierType() != OpcUa_IdentifierType_Numeric)
    {
        UaTrace::traceLevel6("<-- UaReferenceLists::browseReferences [ret=Bad_ReferenceTypeIdInvalid]");
        return OpcUa_BadReferenceTypeIdInvalid;
    }
    OpcUa_UInt32 maxReferences = browseContext.maxReferencesPerNode();
    if (maxReferences == 0 || maxReferences > g_maxReferencesPerCall)
        maxReferences = g_maxReferencesPerCall;

    UaNode* node = getUaNode();
    const UaNodeId nodeId = node->nodeId();
    Session* session = context.pSession();
    UaBrowseFilter* browseFilter = browseContext.browseFilter();
    auto continuationPoint =
        ReferenceHolder<BrowseContinuationPoint>::adopt(browseContext.takeContinuationPoint());
    const bool fresh = !continuationPoint;
    Page page(references, maxReferences, browseContext.resultMask());

    UaMutexLocker locker(context.nodeLock(nodeId.namespaceIndex()));
    if (fresh)
    {
        continuationPoint = ReferenceHolder<BrowseContinuationPoint>::adopt(new BrowseContinuationPoint);
        const OpcUa_UInt32 direction = browseContext.browseDirection();
        if (direction != OpcUa_BrowseDirection_Inverse)
        {
            gatherImplicit(*continuationPoint, browseContext, *node);
            gatherList(*continuationPoint, browseContext, m_pFirstForward, true);
        }
        if (direction != OpcUa_BrowseDirection_Forward)
            gatherList(*continuationPoint, browseContext, m_pFirstInverse, false);
    }
    page.reserve(continuationPoint->m_forward.size() - continuationPoint->m_forwardDelivered +
                 continuationPoint->m_inverse.size() - continuationPoint->m_inverseDelivered);
    takeMatches(page, continuationPoint->m_forward, continuationPoint->m_forwardDelivered, session,
                browseFilter);
    takeMatches(page, continuationPoint->m_inverse, continuationPoint->m_inverseDelivered, session,
                browseFilter);
    locker.unlock();

    if (fresh)
        for (NodeManager* nodeManager : continuationPoint->m_nodeManagers)
            fetchForeign(context, browseContext, nodeId, *nodeManager, continuationPoint->m_foreign);
    continuationPoint->m_nodeManagers.clear();
    page.reserve(continuationPoint->m_foreign.length() - continuationPoint->m_foreignDelivered);
    for (; continuationPoint->m_foreignDelivered < continuationPoint->m_foreign.length() && !page.isFull();
         ++continuationPoint->m_foreignDelivered)
        page.add(continuationPoint->m_foreign[continuationPoint->m_foreignDelivered], session, browseFilter);
    page.readFarNodeNames(context);
    page.finish();

    if (continuationPoint->hasMore())
    {
        browseContext.setContinuationPoint(continuationPoint.detach());
        UaTrace::traceLevel6("<-- UaReferenceLists::browseReferences [ret=OpcUa_Good] - CP set");
        return OpcUa_Good;
    }
    UaTrace::traceLevel6("<-- UaReferenceLists::browseReferences [ret=0x%lx]",
                         static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}
