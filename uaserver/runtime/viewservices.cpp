#include "viewservices.h"

#include "registeredvariablehandle.h"
#include "session.h"
#include "uasession.h"
#include "uatransactionmanager.h"

#include <attributeids.h>
#include <browsecontext.h>
#include <nodemanager.h>
#include <referencetypes.h>
#include <servermanager.h>
#include <servicecontext.h>
#include <uarelativepathelements.h>

#include <uanodeid.h>
#include <uaqualifiedname.h>
#include <uaservicediagnostics.h>
#include <uastructurearrays.h>
#include <uatrace.h>
#include <uavariant.h>

#include <memory>
#include <vector>

namespace
{
constexpr OpcUa_Int32 kNodeClassReferenceType = 32;

OpcUa_UInt32 countOf(OpcUa_Int32 count, const void* array)
{
    return count > 0 && array != nullptr ? static_cast<OpcUa_UInt32>(count) : 0;
}

void traceBrowseDescription(const OpcUa_BrowseDescription& node, OpcUa_UInt32 maxReferencesPerNode)
{
    UaTrace::traceLevel7("  NodeToBrowse         = %s", UaNodeId(node.NodeId).toFullString().toUtf8());
    UaTrace::traceLevel7("  MaxReferencesPerNode = %d", static_cast<int>(maxReferencesPerNode));
    switch (node.BrowseDirection)
    {
    case OpcUa_BrowseDirection_Forward:
        UaTrace::traceLevel7("  BrowseDirection      = Forward");
        break;
    case OpcUa_BrowseDirection_Inverse:
        UaTrace::traceLevel7("  BrowseDirection      = Inverse");
        break;
    case OpcUa_BrowseDirection_Both:
        UaTrace::traceLevel7("  BrowseDirection      = Both");
        break;
    default:
        UaTrace::traceLevel7("  BrowseDirection has invalid value = %d",
                             static_cast<int>(node.BrowseDirection));
        break;
    }
    UaTrace::traceLevel7("  ReferenceTypeId    = %s", UaNodeId(node.ReferenceTypeId).toFullString().toUtf8());
    UaTrace::traceLevel7("  IncludeSubtypes    = %d", static_cast<int>(node.IncludeSubtypes));
    UaTrace::traceLevel7("  NodeClassMask      = %d", static_cast<int>(node.NodeClassMask));
    UaTrace::traceLevel7("  ResultMask         = %d", static_cast<int>(node.ResultMask));
}

void traceReferences(const char* title, const UaReferenceDescriptionArray& references)
{
    UaTrace::traceLevel7(title, static_cast<int>(references.length()));
    for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
        UaTrace::traceLevel7("  Node[%d] %s", static_cast<int>(i),
                             UaNodeId(references[i].NodeId.NodeId).toFullString().toUtf8());
}

void traceBrowsePath(const OpcUa_BrowsePath& path, OpcUa_UInt32 elementCount)
{
    UaTrace::traceLevel7("  Starting Node           = %s",
                         UaNodeId(path.StartingNode).toFullString().toUtf8());
    if (elementCount == 0)
    {
        UaTrace::traceLevel7("  Number of path elements = 0");
        return;
    }
    UaTrace::traceLevel7("  Number of path elements = %d", static_cast<int>(elementCount));
    for (OpcUa_UInt32 k = 0; k < elementCount; ++k)
    {
        const OpcUa_RelativePathElement& element = path.RelativePath.Elements[k];
        UaTrace::traceLevel7("    Path element [%d]", static_cast<int>(k));
        UaTrace::traceLevel7("      TargetName         = %s",
                             UaQualifiedName(element.TargetName).toFullString().toUtf8());
        UaTrace::traceLevel7("      IsInverse          = %d", static_cast<int>(element.IsInverse));
        UaTrace::traceLevel7("      ReferenceTypeId    = %s",
                             UaNodeId(element.ReferenceTypeId).toFullString().toUtf8());
        UaTrace::traceLevel7("      IncludeSubtypes    = %d", static_cast<int>(element.IncludeSubtypes));
    }
}

void moveReferences(UaReferenceDescriptionArray& references, OpcUa_BrowseResult& result)
{
    result.NoOfReferences = static_cast<OpcUa_Int32>(references.length());
    result.References = references.data();
    references.detach();
}

// The DiagnosticInfos of a Browse from the nodes' status records, only when the request asks for
// operation-level diagnostics (bits from 0x20 up) and some node has a record.
void moveDiagnostics(OpcUa_UInt32 returnDiagnostics, const std::vector<UaStatus>& nodeStatus,
                     OpcUa_BrowseResponse& response)
{
    if (returnDiagnostics < 0x20)
        return;
    std::vector<const UaDiagnosticInfo*> records;
    for (const UaStatus& status : nodeStatus)
        records.push_back(status.diagnostics());
    UaDiagnosticInfos diagnosticInfos;
    OpcUa_Boolean hasDiagnostics = OpcUa_False;
    buildDiagnosticInfos(returnDiagnostics, records.data(), static_cast<OpcUa_UInt32>(records.size()),
                         diagnosticInfos, hasDiagnostics, response.ResponseHeader);
    if (!hasDiagnostics)
        return;
    response.NoOfDiagnosticInfos = static_cast<OpcUa_Int32>(diagnosticInfos.length());
    response.DiagnosticInfos = diagnosticInfos.data();
    diagnosticInfos.detach();
}

bool isViewStatus(OpcUa_StatusCode status)
{
    return status == OpcUa_BadViewTimestampInvalid || status == OpcUa_BadViewParameterMismatch ||
           status == OpcUa_BadViewVersionInvalid;
}
} // namespace

namespace ViewServices
{
bool isBrowsableReferenceType(const ServiceContext& context, ServerManager& serverManager,
                              const OpcUa_NodeId& referenceTypeId)
{
    const UaNodeId typeId(referenceTypeId);
    if (typeId.isNull())
        return true;
    if (typeId.namespaceIndex() == 0 && typeId.identifierType() == OpcUa_IdentifierType_Numeric)
        return isReferenceTypeMatch(UaNodeId(ReferenceTypeId::References, 0), typeId.identifierNumeric(),
                                    true);

    // Any other id names a node of some namespace: it must be a ReferenceType.
    UaReadValueIdArray nodesToRead;
    if (OpcUa_IsBad(nodesToRead.create(1)))
        return false;
    typeId.copyTo(&nodesToRead[0].NodeId);
    nodesToRead[0].AttributeId = AttributeId::NodeClass;
    UaDataValueArray values;
    UaDiagnosticInfos diagnosticInfos;
    const UaStatus read = serverManager.read(context, 0.0, OpcUa_TimestampsToReturn_Source, nodesToRead,
                                             values, diagnosticInfos);
    if (read.isNotGood() || values.length() != 1 || !UaStatusCode(values[0].StatusCode).isGood())
        return false;
    OpcUa_Int32 nodeClass = 0;
    return OpcUa_IsGood(UaVariant(values[0].Value).toInt32(nodeClass)) &&
           nodeClass == kNodeClassReferenceType;
}

UaStatus browse(const ServiceContext& context, NodeManager& root, ServerManager& serverManager,
                const OpcUa_BrowseRequest& request, OpcUa_BrowseResponse& response)
{
    const OpcUa_UInt32 n = countOf(request.NoOfNodesToBrowse, request.NodesToBrowse);
    UaBrowseResultArray results;
    UaStatus status = results.create(n);
    if (status.isNotGood())
        return status;
    std::vector<UaStatus> nodeStatus(n);
    Session* session = context.pSession();
    const OpcUa_UInt32 maxContinuationPoints =
        session != nullptr ? session->getMaxBrowseContinuationPoints() : 0;
    OpcUa_UInt32 continuationPointsMade = 0;
    OpcUa_UInt32 viewErrors = 0;
    OpcUa_StatusCode viewStatus = OpcUa_BadViewIdUnknown;

    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const OpcUa_BrowseDescription& node = request.NodesToBrowse[i];
        OpcUa_BrowseResult& result = results[i];
        if (UaTrace::isTraceLevelOn(7))
            traceBrowseDescription(node, request.RequestedMaxReferencesPerNode);
        if (!isBrowsableReferenceType(context, serverManager, node.ReferenceTypeId))
        {
            result.StatusCode = OpcUa_BadReferenceTypeIdInvalid;
            continue;
        }

        // A registered alias is browsed as the node it stands for.
        OpcUa_BrowseDescription aliased = node;
        UaNodeId registeredNodeId;
        if (RegisteredVariableHandle::isAlias(node.NodeId))
        {
            auto* uaSession = dynamic_cast<UaSession*>(session);
            ReferenceHolder<ReferenceCounter> handle;
            if (uaSession != nullptr &&
                uaSession->registeredNode(node.NodeId.Identifier.Numeric, registeredNodeId, handle))
                aliased.NodeId = *registeredNodeId.toOpcUaNodeId();
        }
        auto browseContext =
            std::make_unique<BrowseContext>(&request.View, aliased, request.RequestedMaxReferencesPerNode);
        UaReferenceDescriptionArray references;
        nodeStatus[i] = root.browse(context, *browseContext, references);
        result.StatusCode = nodeStatus[i].statusCode();
        if (nodeStatus[i].isNotGood())
        {
            if (result.StatusCode == OpcUa_BadViewIdUnknown)
                ++viewErrors;
            else if (isViewStatus(result.StatusCode))
            {
                ++viewErrors;
                viewStatus = result.StatusCode;
            }
            continue;
        }
        if (UaTrace::isTraceLevelOn(7))
            traceReferences("  Browse returnes %d nodes:", references);
        if (!browseContext->isDone())
        {
            // Only this request's points count: those the session holds from earlier calls do not.
            if (session != nullptr && continuationPointsMade < maxContinuationPoints)
            {
                session->queueBrowseContext(browseContext.release(), result.ContinuationPoint);
                ++continuationPointsMade;
            }
            else
            {
                result.StatusCode = OpcUa_BadNoContinuationPoints;
                references.clear();
            }
        }
        moveReferences(references, result);
    }

    response.NoOfResults = static_cast<OpcUa_Int32>(results.length());
    response.Results = results.data();
    results.detach();
    moveDiagnostics(context.returnDiagnostics(), nodeStatus, response);
    // A fault only when no node could be browsed in the view; partly failing views are per node.
    if (n > 0 && viewErrors == n)
        return viewStatus;
    return OpcUa_Good;
}

UaStatus browseNext(const ServiceContext& context, NodeManager& root, const OpcUa_BrowseNextRequest& request,
                    OpcUa_BrowseNextResponse& response)
{
    const OpcUa_UInt32 n = countOf(request.NoOfContinuationPoints, request.ContinuationPoints);
    UaBrowseResultArray results;
    UaStatus status = results.create(n);
    if (status.isNotGood())
        return status;
    Session* session = context.pSession();
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        OpcUa_BrowseResult& result = results[i];
        std::unique_ptr<BrowseContext> browseContext(
            session != nullptr ? session->getBrowseContext(request.ContinuationPoints[i]) : nullptr);
        if (!browseContext)
        {
            result.StatusCode = OpcUa_BadContinuationPointInvalid;
            continue;
        }
        if (request.ReleaseContinuationPoints)
            continue;
        UaReferenceDescriptionArray references;
        const UaStatus browsed = root.browse(context, *browseContext, references);
        result.StatusCode = browsed.statusCode();
        if (browsed.isNotGood())
            continue;
        if (UaTrace::isTraceLevelOn(7))
            traceReferences("  BrowseNext returnes %d nodes:", references);
        // The point continued is replaced by a new one; no limit applies here.
        if (!browseContext->isDone())
            session->queueBrowseContext(browseContext.release(), result.ContinuationPoint);
        moveReferences(references, result);
    }
    response.NoOfResults = static_cast<OpcUa_Int32>(results.length());
    response.Results = results.data();
    results.detach();
    return OpcUa_Good;
}

UaStatus translateBrowsePaths(const ServiceContext& context, NodeManager& root,
                              const OpcUa_TranslateBrowsePathsToNodeIdsRequest& request,
                              OpcUa_TranslateBrowsePathsToNodeIdsResponse& response)
{
    const OpcUa_UInt32 n = countOf(request.NoOfBrowsePaths, request.BrowsePaths);
    UaBrowsePathResultArray results;
    UaStatus status = results.create(n);
    if (status.isNotGood())
        return status;
    for (OpcUa_UInt32 i = 0; i < n; ++i)
    {
        const OpcUa_BrowsePath& path = request.BrowsePaths[i];
        const OpcUa_UInt32 elementCount = countOf(path.RelativePath.NoOfElements, path.RelativePath.Elements);
        if (UaTrace::isTraceLevelOn(7))
            traceBrowsePath(path, elementCount);
        UaRelativePathElements elements(path.RelativePath.Elements, static_cast<OpcUa_Int32>(elementCount));
        UaBrowsePathTargetArray targets;
        const UaStatus translated =
            root.translateBrowsePathToNodeId(context, UaNodeId(path.StartingNode), elements, targets);
        results[i].StatusCode = translated.statusCode();
        // Uncertain too gives no targets.
        if (translated.isGood())
        {
            results[i].NoOfTargets = static_cast<OpcUa_Int32>(targets.length());
            results[i].Targets = targets.data();
            targets.detach();
        }
    }
    response.NoOfResults = static_cast<OpcUa_Int32>(results.length());
    response.Results = results.data();
    results.detach();
    return OpcUa_Good;
}

UaStatus registerNodes(const ServiceContext& context, UaTransactionManager& transactionManager,
                       const OpcUa_RegisterNodesRequest& request, OpcUa_RegisterNodesResponse& response)
{
    UaNodeIdArray registered;
    const UaStatus status = transactionManager.registerNodes(context, request.NoOfNodesToRegister,
                                                             request.NodesToRegister, registered);
    if (status.isBad())
        return status;
    response.NoOfRegisteredNodeIds = static_cast<OpcUa_Int32>(registered.length());
    response.RegisteredNodeIds = registered.data();
    registered.detach();
    return status;
}

UaStatus unregisterNodes(const ServiceContext& context, UaTransactionManager& transactionManager,
                         const OpcUa_UnregisterNodesRequest& request)
{
    return transactionManager.unregisterNodes(context, request.NoOfNodesToUnregister,
                                              request.NodesToUnregister);
}
} // namespace ViewServices
