#include "uaserver_wire.h"

#include "test_certificates.h"
#include "uatcp_raw_client.h"

#include "fake_serverconfig.h"
#include "uasession.h"
#include "viewservices.h"

#include <nodemanagerroot.h>
#include <servermanager.h>
#include <servicecontext.h>

#include <uanodeid.h>

#include <opcua_binarycodec.hpp>
#include <opcua_proxystub.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>

namespace uaserver::wire
{
namespace
{
// Browse and BrowseNext answers alike.
template <typename Response, typename Take> void forEachResult(const Response& response, Take take)
{
    for (OpcUa_Int32 i = 0; i < response.NoOfResults; ++i)
        take(response.Results[i]);
}

// "ns=2;s=Name" or "ns=2;i=7".
void parseNodeId(const std::string& text, OpcUa_NodeId& nodeId)
{
    OpcUa_NodeId_Initialize(&nodeId);
    const size_t separator = text.find(';');
    nodeId.NamespaceIndex = static_cast<OpcUa_UInt16>(std::stoul(text.substr(3, separator - 3)));
    const std::string identifier = text.substr(separator + 3);
    if (text[separator + 1] == 'i')
        nodeId.Identifier.Numeric = static_cast<OpcUa_UInt32>(std::stoul(identifier));
    else
    {
        nodeId.IdentifierType = OpcUa_IdentifierType_String;
        OpcUa_String_AttachCopy(&nodeId.Identifier.String, identifier.c_str());
    }
}

void setNumeric(OpcUa_NodeId& nodeId, NodeNumber node)
{
    OpcUa_NodeId_Initialize(&nodeId);
    nodeId.NamespaceIndex = node.ns;
    nodeId.Identifier.Numeric = node.id;
}

void browseDescription(OpcUa_BrowseDescription& description, OpcUa_UInt32 id)
{
    OpcUa_BrowseDescription_Initialize(&description);
    setNumeric(description.NodeId, {0, id});
    description.BrowseDirection = OpcUa_BrowseDirection_Forward;
    setNumeric(description.ReferenceTypeId, {0, 33});
    description.IncludeSubtypes = OpcUa_True;
    description.ResultMask = OpcUa_BrowseResultMask_All;
}

std::vector<std::string> lines(const char* path)
{
    std::vector<std::string> result;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// One walk step shared by the walks in process and over the wire: the references of a result lead
// on to the namespace-0 nodes not reached before; a continuation point is kept for the next round.
void takeResult(const OpcUa_BrowseResult& result, std::set<OpcUa_UInt32>& reached,
                std::deque<OpcUa_UInt32>& queue, std::vector<std::vector<OpcUa_Byte>>& points)
{
    for (OpcUa_Int32 i = 0; i < result.NoOfReferences; ++i)
    {
        const OpcUa_NodeId& target = result.References[i].NodeId.NodeId;
        if (target.NamespaceIndex == 0 && target.IdentifierType == OpcUa_IdentifierType_Numeric &&
            reached.insert(target.Identifier.Numeric).second)
            queue.push_back(target.Identifier.Numeric);
    }
    if (result.ContinuationPoint.Length > 0)
        points.emplace_back(result.ContinuationPoint.Data,
                            result.ContinuationPoint.Data + result.ContinuationPoint.Length);
}

OpcUa_ByteString* pointArray(const std::vector<std::vector<OpcUa_Byte>>& points)
{
    auto* array = allocateArray<OpcUa_ByteString>(static_cast<OpcUa_Int32>(points.size()));
    for (size_t i = 0; i < points.size(); ++i)
    {
        array[i].Length = static_cast<OpcUa_Int32>(points[i].size());
        array[i].Data =
            static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(points[i].size())));
        std::memcpy(array[i].Data, points[i].data(), points[i].size());
    }
    return array;
}

// The breadth-first walk from Root with a browse and a BrowseNext of the caller's.
template <typename Browse, typename BrowseNext>
std::set<OpcUa_UInt32> walk(OpcUa_UInt32 maxReferences, int& continuations, Browse browse,
                            BrowseNext browseNext)
{
    std::set<OpcUa_UInt32> reached{84};
    std::deque<OpcUa_UInt32> queue{84};
    continuations = 0;
    while (!queue.empty())
    {
        auto* request = newRequest<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType);
        request->RequestedMaxReferencesPerNode = maxReferences;
        const OpcUa_Int32 n = static_cast<OpcUa_Int32>(std::min<size_t>(queue.size(), 50));
        request->NoOfNodesToBrowse = n;
        request->NodesToBrowse = allocateArray<OpcUa_BrowseDescription>(n);
        for (OpcUa_Int32 i = 0; i < n; ++i, queue.pop_front())
            browseDescription(request->NodesToBrowse[i], queue.front());
        std::vector<std::vector<OpcUa_Byte>> points;
        if (!browse(request,
                    [&](const OpcUa_BrowseResult& result) { takeResult(result, reached, queue, points); }))
            return {};
        while (!points.empty())
        {
            continuations += static_cast<int>(points.size());
            auto* next = newRequest<OpcUa_BrowseNextRequest>(OpcUa_BrowseNextRequest_EncodeableType);
            next->NoOfContinuationPoints = static_cast<OpcUa_Int32>(points.size());
            next->ContinuationPoints = pointArray(points);
            points.clear();
            if (!browseNext(next, [&](const OpcUa_BrowseResult& result)
                            { takeResult(result, reached, queue, points); }))
                return {};
        }
    }
    return reached;
}
} // namespace

const std::vector<TestVariable>& testVariables()
{
    static const std::vector<TestVariable> variables = {
        {"ns=2;i=3", "Int32", "-123456"},
        {"ns=2;i=2", "Double", "2.25"},
        {"ns=2;i=4", "String", "\"written\""},
    };
    return variables;
}

std::vector<NodeNumber> benchmarkVariables(size_t count)
{
    std::vector<NodeNumber> nodes;
    for (size_t k = 0; k < count; ++k)
        nodes.push_back({2, static_cast<OpcUa_UInt32>(1000 + k)});
    return nodes;
}

// ---------------------------------------------------------------- client

bool Client::open(const std::string& url)
{
    return OpcUa_IsGood(m_session.connect(url)) && m_session.createSession() && m_session.activateSession();
}

bool Client::close()
{
    auto* request = newRequest<OpcUa_CloseSessionRequest>(OpcUa_CloseSessionRequest_EncodeableType);
    request->DeleteSubscriptions = OpcUa_True;
    return call(request, &OpcUa_CloseSessionRequest_EncodeableType, nullptr) == OpcUa_Good;
}

OpcUa_StatusCode Client::call(OpcUa_Void* request, OpcUa_EncodeableType* requestType, OpcUa_Void** response)
{
    OpcUa_Void* answer = nullptr;
    OpcUa_EncodeableType* answerType = nullptr;
    const OpcUa_StatusCode status = m_session.invokeForResult(request, requestType, &answer, &answerType);
    OpcUa_EncodeableObject_Delete(requestType, &request);
    if (response != nullptr && OpcUa_IsGood(status) && answerType != &OpcUa_ServiceFault_EncodeableType)
    {
        *response = answer;
        return status;
    }
    OpcUa_EncodeableObject_Delete(answerType, &answer);
    return status;
}

OpcUa_StatusCode Client::unsupportedServiceStatus()
{
    return call(newRequest<OpcUa_RegisterServerRequest>(OpcUa_RegisterServerRequest_EncodeableType),
                &OpcUa_RegisterServerRequest_EncodeableType, nullptr);
}

int Client::readValues(const std::vector<NodeNumber>& nodes, OpcUa_Int32 attributeId)
{
    auto* request = newRequest<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
    request->NoOfNodesToRead = static_cast<OpcUa_Int32>(nodes.size());
    request->NodesToRead = allocateArray<OpcUa_ReadValueId>(request->NoOfNodesToRead);
    for (size_t i = 0; i < nodes.size(); ++i)
    {
        setNumeric(request->NodesToRead[i].NodeId, nodes[i]);
        request->NodesToRead[i].AttributeId = static_cast<OpcUa_UInt32>(attributeId);
    }
    OpcUa_Void* answer = nullptr;
    if (call(request, &OpcUa_ReadRequest_EncodeableType, &answer) != OpcUa_Good)
        return -1;
    auto* response = static_cast<OpcUa_ReadResponse*>(answer);
    int good = 0;
    for (OpcUa_Int32 i = 0; i < response->NoOfResults; ++i)
        good += OpcUa_IsGood(response->Results[i].StatusCode) ? 1 : 0;
    OpcUa_EncodeableObject_Delete(&OpcUa_ReadResponse_EncodeableType, &answer);
    return good;
}

OpcUa_StatusCode Client::readStatus(OpcUa_Int32 count, NodeNumber node)
{
    auto* request = newRequest<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
    request->NoOfNodesToRead = count;
    request->NodesToRead = allocateArray<OpcUa_ReadValueId>(count);
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        setNumeric(request->NodesToRead[i].NodeId, node);
        request->NodesToRead[i].AttributeId = 13;
    }
    return call(request, &OpcUa_ReadRequest_EncodeableType, nullptr);
}

OpcUa_StatusCode Client::writeInt32(const std::string& stringNodeId, OpcUa_Int32 value)
{
    auto* request = newRequest<OpcUa_WriteRequest>(OpcUa_WriteRequest_EncodeableType);
    request->NoOfNodesToWrite = 1;
    request->NodesToWrite = allocateArray<OpcUa_WriteValue>(1);
    OpcUa_WriteValue& item = request->NodesToWrite[0];
    parseNodeId(stringNodeId, item.NodeId);
    item.AttributeId = 13;
    item.Value.Value.Datatype = OpcUaType_Int32;
    item.Value.Value.Value.Int32 = value;
    OpcUa_Void* answer = nullptr;
    OpcUa_StatusCode status = call(request, &OpcUa_WriteRequest_EncodeableType, &answer);
    if (status == OpcUa_Good)
    {
        auto* response = static_cast<OpcUa_WriteResponse*>(answer);
        status = response->NoOfResults == 1 ? response->Results[0] : OpcUa_BadUnexpectedError;
        OpcUa_EncodeableObject_Delete(&OpcUa_WriteResponse_EncodeableType, &answer);
    }
    return status;
}

OpcUa_StatusCode Client::writeMany(OpcUa_Int32 count, OpcUa_Int32& results)
{
    auto* request = newRequest<OpcUa_WriteRequest>(OpcUa_WriteRequest_EncodeableType);
    request->NoOfNodesToWrite = count;
    request->NodesToWrite = allocateArray<OpcUa_WriteValue>(count);
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        setNumeric(request->NodesToWrite[i].NodeId, {2, 900000000u + static_cast<OpcUa_UInt32>(i)});
        request->NodesToWrite[i].AttributeId = 13;
    }
    OpcUa_Void* answer = nullptr;
    const OpcUa_StatusCode status = call(request, &OpcUa_WriteRequest_EncodeableType, &answer);
    results = status == OpcUa_Good ? static_cast<OpcUa_WriteResponse*>(answer)->NoOfResults : 0;
    OpcUa_EncodeableObject_Delete(&OpcUa_WriteResponse_EncodeableType, &answer);
    return status;
}

int Client::browseCount(NodeNumber node)
{
    auto* request = newRequest<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType);
    request->NoOfNodesToBrowse = 1;
    request->NodesToBrowse = allocateArray<OpcUa_BrowseDescription>(1);
    browseDescription(request->NodesToBrowse[0], node.id);
    request->NodesToBrowse[0].NodeId.NamespaceIndex = node.ns;
    OpcUa_Void* answer = nullptr;
    if (call(request, &OpcUa_BrowseRequest_EncodeableType, &answer) != OpcUa_Good)
        return -1;
    auto* response = static_cast<OpcUa_BrowseResponse*>(answer);
    const int count = response->NoOfResults == 1 && OpcUa_IsGood(response->Results[0].StatusCode)
                          ? response->Results[0].NoOfReferences
                          : -1;
    OpcUa_EncodeableObject_Delete(&OpcUa_BrowseResponse_EncodeableType, &answer);
    return count;
}

int Client::browseEverything(NodeNumber node, OpcUa_Int32 count)
{
    auto* request = newRequest<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType);
    request->NoOfNodesToBrowse = count;
    request->NodesToBrowse = allocateArray<OpcUa_BrowseDescription>(count);
    for (OpcUa_Int32 i = 0; i < count; ++i)
    {
        OpcUa_BrowseDescription& description = request->NodesToBrowse[i];
        OpcUa_BrowseDescription_Initialize(&description);
        setNumeric(description.NodeId, node);
        description.BrowseDirection = OpcUa_BrowseDirection_Both;
        description.IncludeSubtypes = OpcUa_True;
        description.ResultMask = OpcUa_BrowseResultMask_All;
    }
    OpcUa_Void* answer = nullptr;
    if (call(request, &OpcUa_BrowseRequest_EncodeableType, &answer) != OpcUa_Good)
        return -1;
    auto* response = static_cast<OpcUa_BrowseResponse*>(answer);
    int references = response->NoOfResults == count ? 0 : -1;
    for (OpcUa_Int32 i = 0; i < response->NoOfResults && references >= 0; ++i)
        references = OpcUa_IsGood(response->Results[i].StatusCode)
                         ? references + response->Results[i].NoOfReferences
                         : -1;
    OpcUa_EncodeableObject_Delete(&OpcUa_BrowseResponse_EncodeableType, &answer);
    return references;
}

std::vector<OpcUa_Byte> Client::browsePoint(NodeNumber node, OpcUa_UInt32 maxReferences)
{
    auto* request = newRequest<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType);
    request->RequestedMaxReferencesPerNode = maxReferences;
    request->NoOfNodesToBrowse = 1;
    request->NodesToBrowse = allocateArray<OpcUa_BrowseDescription>(1);
    browseDescription(request->NodesToBrowse[0], node.id);
    OpcUa_Void* answer = nullptr;
    if (call(request, &OpcUa_BrowseRequest_EncodeableType, &answer) != OpcUa_Good)
        return {};
    const OpcUa_ByteString& point = static_cast<OpcUa_BrowseResponse*>(answer)->Results[0].ContinuationPoint;
    std::vector<OpcUa_Byte> bytes(point.Data, point.Data + std::max(point.Length, 0));
    OpcUa_EncodeableObject_Delete(&OpcUa_BrowseResponse_EncodeableType, &answer);
    return bytes;
}

OpcUa_StatusCode Client::browseNextStatus(const std::vector<OpcUa_Byte>& point)
{
    auto* request = newRequest<OpcUa_BrowseNextRequest>(OpcUa_BrowseNextRequest_EncodeableType);
    request->NoOfContinuationPoints = 1;
    request->ContinuationPoints = pointArray({point});
    OpcUa_Void* answer = nullptr;
    OpcUa_StatusCode status = call(request, &OpcUa_BrowseNextRequest_EncodeableType, &answer);
    if (status == OpcUa_Good)
    {
        auto* response = static_cast<OpcUa_BrowseNextResponse*>(answer);
        status = response->NoOfResults == 1 ? response->Results[0].StatusCode : OpcUa_BadUnexpectedError;
        OpcUa_EncodeableObject_Delete(&OpcUa_BrowseNextResponse_EncodeableType, &answer);
    }
    return status;
}

std::set<OpcUa_UInt32> Client::walkNamespaceZero(OpcUa_UInt32 maxReferences, int& continuations)
{
    // The answer's results go to take, in order; false when the call failed.
    auto answered = [this](auto* request, OpcUa_EncodeableType& requestType, auto* typedResponse,
                           OpcUa_EncodeableType& responseType, auto take)
    {
        OpcUa_Void* answer = nullptr;
        if (call(request, &requestType, &answer) != OpcUa_Good)
            return false;
        typedResponse = static_cast<decltype(typedResponse)>(answer);
        forEachResult(*typedResponse, take);
        OpcUa_EncodeableObject_Delete(&responseType, &answer);
        return true;
    };
    return walk(
        maxReferences, continuations,
        [&](OpcUa_BrowseRequest* request, auto take)
        {
            return answered(request, OpcUa_BrowseRequest_EncodeableType,
                            static_cast<OpcUa_BrowseResponse*>(nullptr), OpcUa_BrowseResponse_EncodeableType,
                            take);
        },
        [&](OpcUa_BrowseNextRequest* request, auto take)
        {
            return answered(request, OpcUa_BrowseNextRequest_EncodeableType,
                            static_cast<OpcUa_BrowseNextResponse*>(nullptr),
                            OpcUa_BrowseNextResponse_EncodeableType, take);
        });
}

template <typename T>
OpcUa_StatusCode Client::readScalar(NodeNumber node, OpcUa_BuiltInType type, T OpcUa_VariantUnion::*member,
                                    T& value)
{
    auto* request = newRequest<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
    request->NoOfNodesToRead = 1;
    request->NodesToRead = allocateArray<OpcUa_ReadValueId>(1);
    setNumeric(request->NodesToRead[0].NodeId, node);
    request->NodesToRead[0].AttributeId = 13;
    OpcUa_Void* answer = nullptr;
    OpcUa_StatusCode status = call(request, &OpcUa_ReadRequest_EncodeableType, &answer);
    if (OpcUa_IsGood(status))
    {
        auto* response = static_cast<OpcUa_ReadResponse*>(answer);
        if (response->NoOfResults != 1)
            status = OpcUa_BadUnexpectedError;
        else if (OpcUa_IsBad(response->Results[0].StatusCode))
            status = response->Results[0].StatusCode;
        else if (response->Results[0].Value.Datatype != type)
            status = OpcUa_BadTypeMismatch;
        else
            value = response->Results[0].Value.Value.*member;
        OpcUa_EncodeableObject_Delete(&OpcUa_ReadResponse_EncodeableType, &answer);
    }
    return status;
}

OpcUa_StatusCode Client::readUInt32(NodeNumber node, OpcUa_UInt32& value)
{
    return readScalar(node, OpcUaType_UInt32, &OpcUa_VariantUnion::UInt32, value);
}

OpcUa_StatusCode Client::readInt32(NodeNumber node, OpcUa_Int32& value)
{
    return readScalar(node, OpcUaType_Int32, &OpcUa_VariantUnion::Int32, value);
}

OpcUa_StatusCode Client::manyOperations(ManyOperations service, OpcUa_Int32 count, OpcUa_Int32 value)
{
    const NodeNumber objects{0, 85};
    switch (service)
    {
    case ManyOperations::Read:
        return readStatus(count);
    case ManyOperations::Write:
    {
        auto* request = newRequest<OpcUa_WriteRequest>(OpcUa_WriteRequest_EncodeableType);
        request->NoOfNodesToWrite = count;
        request->NodesToWrite = allocateArray<OpcUa_WriteValue>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            OpcUa_WriteValue& item = request->NodesToWrite[i];
            setNumeric(item.NodeId, {2, 3});
            item.AttributeId = 13;
            item.Value.Value.Datatype = OpcUaType_Int32;
            item.Value.Value.Value.Int32 = value;
        }
        return call(request, &OpcUa_WriteRequest_EncodeableType, nullptr);
    }
    case ManyOperations::Browse:
    {
        auto* request = newRequest<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType);
        request->NoOfNodesToBrowse = count;
        request->NodesToBrowse = allocateArray<OpcUa_BrowseDescription>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
            browseDescription(request->NodesToBrowse[i], objects.id);
        return call(request, &OpcUa_BrowseRequest_EncodeableType, nullptr);
    }
    case ManyOperations::BrowseNext:
    {
        auto* request = newRequest<OpcUa_BrowseNextRequest>(OpcUa_BrowseNextRequest_EncodeableType);
        request->NoOfContinuationPoints = count;
        request->ContinuationPoints = pointArray(std::vector<std::vector<OpcUa_Byte>>(count, {1, 2, 3}));
        return call(request, &OpcUa_BrowseNextRequest_EncodeableType, nullptr);
    }
    case ManyOperations::TranslateBrowsePaths:
    {
        auto* request = newRequest<OpcUa_TranslateBrowsePathsToNodeIdsRequest>(
            OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType);
        request->NoOfBrowsePaths = count;
        request->BrowsePaths = allocateArray<OpcUa_BrowsePath>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            OpcUa_BrowsePath& path = request->BrowsePaths[i];
            setNumeric(path.StartingNode, {0, 84});
            path.RelativePath.NoOfElements = 1;
            path.RelativePath.Elements = allocateArray<OpcUa_RelativePathElement>(1);
            setNumeric(path.RelativePath.Elements[0].ReferenceTypeId, {0, 33});
            path.RelativePath.Elements[0].IncludeSubtypes = OpcUa_True;
            OpcUa_String_AttachCopy(&path.RelativePath.Elements[0].TargetName.Name, "Objects");
        }
        return call(request, &OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType, nullptr);
    }
    case ManyOperations::RegisterNodes:
    case ManyOperations::UnregisterNodes:
    {
        const bool registering = service == ManyOperations::RegisterNodes;
        OpcUa_EncodeableType& type = registering ? OpcUa_RegisterNodesRequest_EncodeableType
                                                 : OpcUa_UnregisterNodesRequest_EncodeableType;
        OpcUa_NodeId* nodes = allocateArray<OpcUa_NodeId>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
            setNumeric(nodes[i], objects);
        OpcUa_Void* request = nullptr;
        OpcUa_EncodeableObject_Create(&type, &request);
        if (registering)
        {
            static_cast<OpcUa_RegisterNodesRequest*>(request)->NoOfNodesToRegister = count;
            static_cast<OpcUa_RegisterNodesRequest*>(request)->NodesToRegister = nodes;
        }
        else
        {
            static_cast<OpcUa_UnregisterNodesRequest*>(request)->NoOfNodesToUnregister = count;
            static_cast<OpcUa_UnregisterNodesRequest*>(request)->NodesToUnregister = nodes;
        }
        return call(request, &type, nullptr);
    }
    case ManyOperations::Call:
    {
        auto* request = newRequest<OpcUa_CallRequest>(OpcUa_CallRequest_EncodeableType);
        request->NoOfMethodsToCall = count;
        request->MethodsToCall = allocateArray<OpcUa_CallMethodRequest>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            setNumeric(request->MethodsToCall[i].ObjectId, objects);
            setNumeric(request->MethodsToCall[i].MethodId, {0, 999999});
        }
        return call(request, &OpcUa_CallRequest_EncodeableType, nullptr);
    }
    case ManyOperations::CreateMonitoredItems:
    {
        auto* request =
            newRequest<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType);
        request->NoOfItemsToCreate = count;
        request->ItemsToCreate = allocateArray<OpcUa_MonitoredItemCreateRequest>(count);
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[i];
            OpcUa_MonitoredItemCreateRequest_Initialize(&item);
            setNumeric(item.ItemToMonitor.NodeId, {0, 2255});
            item.ItemToMonitor.AttributeId = 13;
            item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
        }
        return call(request, &OpcUa_CreateMonitoredItemsRequest_EncodeableType, nullptr);
    }
    case ManyOperations::DeleteMonitoredItems:
    {
        auto* request =
            newRequest<OpcUa_DeleteMonitoredItemsRequest>(OpcUa_DeleteMonitoredItemsRequest_EncodeableType);
        request->NoOfMonitoredItemIds = count;
        request->MonitoredItemIds = allocateArray<OpcUa_UInt32>(count);
        return call(request, &OpcUa_DeleteMonitoredItemsRequest_EncodeableType, nullptr);
    }
    case ManyOperations::SetTriggering:
    {
        auto* request = newRequest<OpcUa_SetTriggeringRequest>(OpcUa_SetTriggeringRequest_EncodeableType);
        request->TriggeringItemId = 1;
        request->NoOfLinksToAdd = count;
        request->LinksToAdd = allocateArray<OpcUa_UInt32>(count);
        return call(request, &OpcUa_SetTriggeringRequest_EncodeableType, nullptr);
    }
    }
    return OpcUa_BadInvalidArgument;
}

OpcUa_StatusCode Client::createSubscription(OpcUa_Double& publishingInterval, OpcUa_UInt32& maxKeepAliveCount,
                                            OpcUa_UInt32& lifetimeCount, OpcUa_UInt32& subscriptionId)
{
    auto* request =
        newRequest<OpcUa_CreateSubscriptionRequest>(OpcUa_CreateSubscriptionRequest_EncodeableType);
    request->RequestedPublishingInterval = publishingInterval;
    request->RequestedMaxKeepAliveCount = maxKeepAliveCount;
    request->RequestedLifetimeCount = lifetimeCount;
    request->PublishingEnabled = OpcUa_True;
    OpcUa_Void* answer = nullptr;
    const OpcUa_StatusCode status = call(request, &OpcUa_CreateSubscriptionRequest_EncodeableType, &answer);
    if (OpcUa_IsGood(status))
    {
        auto* response = static_cast<OpcUa_CreateSubscriptionResponse*>(answer);
        publishingInterval = response->RevisedPublishingInterval;
        maxKeepAliveCount = response->RevisedMaxKeepAliveCount;
        lifetimeCount = response->RevisedLifetimeCount;
        subscriptionId = response->SubscriptionId;
        OpcUa_EncodeableObject_Delete(&OpcUa_CreateSubscriptionResponse_EncodeableType, &answer);
    }
    return status;
}

Client::Published Client::publish()
{
    Published published;
    OpcUa_Void* answer = nullptr;
    published.result = call(newRequest<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType),
                            &OpcUa_PublishRequest_EncodeableType, &answer);
    if (OpcUa_IsBad(published.result))
        return published;
    auto* response = static_cast<OpcUa_PublishResponse*>(answer);
    published.subscriptionId = response->SubscriptionId;
    published.notifications = response->NotificationMessage.NoOfNotificationData;
    for (OpcUa_Int32 i = 0; i < published.notifications; ++i)
    {
        const OpcUa_ExtensionObject& data = response->NotificationMessage.NotificationData[i];
        const OpcUa_EncodeableType* type = data.Body.EncodeableObject.Type;
        if (type != nullptr && type->TypeId == OpcUa_StatusChangeNotification_EncodeableType.TypeId)
            published.statusChanges.push_back(
                static_cast<OpcUa_StatusChangeNotification*>(data.Body.EncodeableObject.Object)->Status);
    }
    OpcUa_EncodeableObject_Delete(&OpcUa_PublishResponse_EncodeableType, &answer);
    return published;
}

// ---------------------------------------------------------------- background reader

KeepReading::KeepReading(const std::string& url) : m_opened(m_client.open(url))
{
    if (!m_opened)
        return;
    m_thread = std::thread(
        [this]
        {
            while (!m_stop)
            {
                if (m_client.readValues({{0, 2255}}, 13) == 1)
                    ++m_reads;
                else
                    ++m_failed;
            }
        });
}

KeepReading::~KeepReading()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool KeepReading::stopAndCheck()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    return m_opened && m_failed == 0 && m_reads > 0;
}

// ---------------------------------------------------------------- stack and raw peer

PipelinedSession::Answer::~Answer()
{
    if (message != nullptr)
        OpcUa_EncodeableObject_Delete(type, &message);
}

OpcUa_StatusCode PipelinedSession::Answer::serviceResult() const
{
    // Every response, and the ServiceFault, begins with its response header.
    return message != nullptr ? static_cast<const OpcUa_ResponseHeader*>(message)->ServiceResult
                              : OpcUa_BadUnexpectedError;
}

struct PipelinedSession::Private
{
    uatcp::test::RawClient raw;
    OpcUa_NodeId token;
    uint32_t requestId = 10;

    // The answer to the one request just sent, of type; its service result or why there is none.
    OpcUa_StatusCode answerOf(PipelinedSession& session, uint32_t sent, OpcUa_EncodeableType& type,
                              Answer& answer)
    {
        if (sent == 0 || !session.read(answer))
            return OpcUa_BadCommunicationError;
        if (answer.requestId != sent || (answer.type != &type && answer.type != &OpcUa_ServiceFault_EncodeableType))
            return OpcUa_BadUnknownResponse;
        return answer.serviceResult();
    }
};

PipelinedSession::PipelinedSession() : d(new Private)
{
    OpcUa_NodeId_Initialize(&d->token);
}

PipelinedSession::~PipelinedSession()
{
    OpcUa_NodeId_Clear(&d->token);
    delete d;
}

bool PipelinedSession::connect(uint16_t port)
{
    return d->raw.connect(port) && d->raw.hello() && d->raw.open();
}

void PipelinedSession::limitReceiveBuffer(int bytes)
{
    d->raw.limitReceiveBuffer(bytes);
}

OpcUa_StatusCode PipelinedSession::createSession(OpcUa_Double timeoutMs)
{
    Answer answer;
    const OpcUa_StatusCode result =
        d->answerOf(*this, sendCreateSession(timeoutMs), OpcUa_CreateSessionResponse_EncodeableType, answer);
    if (OpcUa_IsGood(result))
    {
        OpcUa_NodeId_Clear(&d->token);
        OpcUa_NodeId_CopyTo(&static_cast<OpcUa_CreateSessionResponse*>(answer.message)->AuthenticationToken,
                            &d->token);
    }
    return result;
}

OpcUa_StatusCode PipelinedSession::activateSession()
{
    Message<OpcUa_ActivateSessionRequest> activate(OpcUa_ActivateSessionRequest_EncodeableType);
    Answer answer;
    return d->answerOf(*this, send(activate.get(), OpcUa_ActivateSessionRequest_EncodeableType),
                       OpcUa_ActivateSessionResponse_EncodeableType, answer);
}

uint32_t PipelinedSession::send(OpcUa_Void* request, OpcUa_EncodeableType& type)
{
    auto* header = static_cast<OpcUa_RequestHeader*>(request);
    OpcUa_NodeId_Clear(&header->AuthenticationToken);
    OpcUa_NodeId_CopyTo(&d->token, &header->AuthenticationToken);
    const uint32_t requestId = d->requestId++;
    header->RequestHandle = requestId;
    header->TimeoutHint = 60000;
    OpcUa::BinaryEncoder encoder;
    if (OpcUa_IsBad(encoder.writeMessage(&type, request)))
        return 0;
    return d->raw.sendMessage('F', uatcp::Bytes(encoder.data(), encoder.data() + encoder.size()), requestId)
               ? requestId
               : 0;
}

uint32_t PipelinedSession::sendCreateSession(OpcUa_Double timeoutMs)
{
    Message<OpcUa_CreateSessionRequest> create(OpcUa_CreateSessionRequest_EncodeableType);
    create.get()->RequestedSessionTimeout = timeoutMs;
    return send(create.get(), OpcUa_CreateSessionRequest_EncodeableType);
}

uint32_t PipelinedSession::sendRead(const std::vector<NodeNumber>& nodes)
{
    Message<OpcUa_ReadRequest> read(OpcUa_ReadRequest_EncodeableType);
    read.get()->NoOfNodesToRead = static_cast<OpcUa_Int32>(nodes.size());
    read.get()->NodesToRead = allocateArray<OpcUa_ReadValueId>(read.get()->NoOfNodesToRead);
    for (size_t i = 0; i < nodes.size(); ++i)
    {
        setNumeric(read.get()->NodesToRead[i].NodeId, nodes[i]);
        read.get()->NodesToRead[i].AttributeId = 13;
    }
    return send(read.get(), OpcUa_ReadRequest_EncodeableType);
}

uint32_t PipelinedSession::sendCloseSession()
{
    Message<OpcUa_CloseSessionRequest> close(OpcUa_CloseSessionRequest_EncodeableType);
    close.get()->DeleteSubscriptions = OpcUa_True;
    return send(close.get(), OpcUa_CloseSessionRequest_EncodeableType);
}

bool PipelinedSession::read(Answer& answer, int timeoutMs)
{
    const auto message = d->raw.read(timeoutMs);
    uatcp::ChunkInfo info;
    if (!message || message->header.type != uatcp::MessageType::Message ||
        uatcp::parseChunkHeaders(message->bytes, info) != uatcp::status::Good ||
        uatcp::parseSequenceHeader(message->bytes, message->bytes.size(), info) != uatcp::status::Good)
        return false;
    OpcUa::BinaryDecoder decoder(message->bytes.data() + info.bodyOffset, message->bytes.size() - info.bodyOffset);
    OpcUa_UInt32 encodingId = 0;
    if (answer.message != nullptr)
        OpcUa_EncodeableObject_Delete(answer.type, &answer.message);
    answer.type = nullptr;
    if (OpcUa_IsBad(decoder.readMessage(&answer.type, &answer.message, &encodingId)))
    {
        answer.message = nullptr;
        return false;
    }
    answer.requestId = info.requestId;
    return true;
}

struct NonReadingClient::Private
{
    PipelinedSession session;
};

NonReadingClient::NonReadingClient() : d(new Private) {}

NonReadingClient::~NonReadingClient()
{
    delete d;
}

bool NonReadingClient::open(uint16_t port)
{
    if (!d->session.connect(port))
        return false;
    // What it leaves unread stays with the server rather than in this socket.
    d->session.limitReceiveBuffer(64 * 1024);
    return OpcUa_IsGood(d->session.createSession()) && OpcUa_IsGood(d->session.activateSession());
}

bool NonReadingClient::sendRead(const std::vector<NodeNumber>& nodes)
{
    return d->session.sendRead(nodes) != 0;
}

void raiseClientArrayLimit(OpcUa_Int32 limit)
{
    // A client process runs on the stack's defaults until its proxy stub is set up.
    static OpcUa_Handle platform = nullptr;
    if (platform == nullptr)
        OpcUa_P_Initialize(&platform);
    OpcUa_ProxyStubConfiguration configuration;
    OpcUa_ProxyStub_GetConfiguration(&configuration);
    configuration.iSerializer_MaxArrayLength = limit;
    if (OpcUa_ProxyStub_ReInitialize(&configuration) == OpcUa_BadInvalidState)
        OpcUa_ProxyStub_Initialize(platform, &configuration);
}

OpcUa_StatusCode rawUnknownServiceStatus(uint16_t port)
{
    using namespace uatcp;
    test::RawClient raw;
    if (!raw.connect(port) || !raw.hello() || !raw.open())
        return 0;
    Bytes body;
    BinaryWriter w(body);
    // An encoding id no service has, then a request header.
    w.numericNodeId(0, 59999);
    w.numericNodeId(0, 0);
    w.int64(0);
    w.uint32(4711);
    w.uint32(0);
    w.string(std::nullopt);
    w.uint32(10000);
    w.numericNodeId(0, 0);
    w.byte(0);
    if (!raw.sendMessage('F', body))
        return 0;
    const auto answer = raw.read();
    ChunkInfo info;
    if (!answer || answer->header.type != MessageType::Message ||
        parseChunkHeaders(answer->bytes, info) != status::Good ||
        parseSequenceHeader(answer->bytes, answer->bytes.size(), info) != status::Good)
        return 0;
    // The fault's encoding id, its header's time stamp and request handle, then the service result.
    BinaryReader r(answer->bytes.data() + info.bodyOffset, answer->bytes.size() - info.bodyOffset);
    uint16_t encoding = 0;
    uint8_t kind = 0, ns = 0;
    int64_t timestamp = 0;
    uint32_t handle = 0, result = 0;
    if (!r.uint8(kind) || !r.uint8(ns) || !r.uint16(encoding) || encoding != 397 || !r.int64(timestamp) ||
        !r.uint32(handle) || !r.uint32(result))
        return 0;
    return result;
}

// ---------------------------------------------------------------- namespace 0 in process

struct InProcessServer::Private
{
    uaserver::testing::FakeServerConfig config;
    ServerManager serverManager;
    UaSession* session = nullptr;
    ServiceContext context;
};

InProcessServer::InProcessServer() : d(new Private)
{
    if (d->serverManager.startUp(&d->config).isNotGood())
        return;
    // Made after start-up: the session takes its limits from the running configuration.
    d->session = new UaSession(1, UaNodeId(1, 1));
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    d->context.setSession(d->session, header);
}

InProcessServer::~InProcessServer()
{
    d->context = ServiceContext();
    if (d->session != nullptr)
        d->session->releaseReference();
    d->serverManager.shutDown();
    delete d;
}

std::set<OpcUa_UInt32> InProcessServer::walkNamespaceZero(OpcUa_UInt32 maxReferences, int& continuations)
{
    if (d->session == nullptr)
        return {};
    NodeManager& root = *d->serverManager.getNodeManagerRoot();
    // The services' own work on each request, as their entries run it.
    auto inProcess =
        [&](auto* request, OpcUa_EncodeableType& requestType, auto response, auto work, auto take)
    {
        const bool good = work(*request, response).isGood();
        if (good)
            forEachResult(*response, take);
        OpcUa_Void* message = request;
        OpcUa_EncodeableObject_Delete(&requestType, &message);
        return good;
    };
    return walk(
        maxReferences, continuations,
        [&](OpcUa_BrowseRequest* request, auto take)
        {
            Message<OpcUa_BrowseResponse> response(OpcUa_BrowseResponse_EncodeableType);
            return inProcess(
                request, OpcUa_BrowseRequest_EncodeableType, response.get(),
                [&](const OpcUa_BrowseRequest& r, OpcUa_BrowseResponse* out)
                { return ViewServices::browse(d->context, root, d->serverManager, r, *out); },
                take);
        },
        [&](OpcUa_BrowseNextRequest* request, auto take)
        {
            Message<OpcUa_BrowseNextResponse> response(OpcUa_BrowseNextResponse_EncodeableType);
            return inProcess(
                request, OpcUa_BrowseNextRequest_EncodeableType, response.get(),
                [&](const OpcUa_BrowseNextRequest& r, OpcUa_BrowseNextResponse* out)
                { return ViewServices::browseNext(d->context, root, r, *out); },
                take);
        });
}

std::set<OpcUa_UInt32> namespaceZeroWalk()
{
    InProcessServer server;
    int continuations = 0;
    return server.walkNamespaceZero(3, continuations);
}

std::vector<OpcUa_UInt32> nodesNotInTheStandard(const std::set<OpcUa_UInt32>& nodes)
{
    std::set<OpcUa_UInt32> known;
    for (const std::string& line : lines(UASERVER_NS0_ORACLE))
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            known.insert(static_cast<OpcUa_UInt32>(std::stoul(line)));
    if (known.empty())
        return {};
    // The server's deviations: "<id>|absent|..." lines name nodes the standard no longer has.
    for (const std::string& line : lines(UASERVER_NS0_EXPECTATIONS))
        if (line.find("|absent|") != std::string::npos && std::isdigit(static_cast<unsigned char>(line[0])))
            known.insert(static_cast<OpcUa_UInt32>(std::stoul(line)));
    std::vector<OpcUa_UInt32> unknown;
    for (OpcUa_UInt32 node : nodes)
        if (known.count(node) == 0)
            unknown.push_back(node);
    return unknown;
}

// ---------------------------------------------------------------- certificates

struct SecuredClientFiles::Private
{
    sectest::TempFolder folder;
    uatcp::test::ClientCredentials stackClient;
};

SecuredClientFiles::SecuredClientFiles() : d(new Private)
{
    const std::string root = d->folder.path();
    for (const std::string& folder : {root + "/pki/trusted", root + "/pki/crl"})
        std::filesystem::create_directories(folder);
    const sectest::Identity server = sectest::makeIdentity("uaserver test server", 2048, nullptr, false, -1,
                                                           365, "urn:uaserver:testserver");
    const sectest::Identity client = sectest::makeIdentity("uaserver services test", 2048, nullptr, false, -1,
                                                           365, "urn:uaserver-services-test");
    sectest::writeFile(root + "/server.der", server.certificate);
    sectest::writeFile(root + "/server.key", server.privateKeyPem());
    sectest::writeFile(root + "/pki/trusted/client.der", client.certificate);
    sectest::writeFile(root + "/client.pem", client.certificatePem());
    sectest::writeFile(root + "/client_key.pem", client.privateKeyPem());
    sectest::writeFile(root + "/server_key.der", server.privateKeyDer());
    d->stackClient = {client.certificate, client.privateKeyDer(), server.certificate};
    m_ready = !server.certificate.empty() && !client.certificate.empty();
}

SecuredClientFiles::~SecuredClientFiles()
{
    delete d;
}

std::vector<std::string> SecuredClientFiles::serverOptions() const
{
    const std::string root = d->folder.path();
    // The outside client first asks a None endpoint for the server's certificate.
    return {"--policy",      "None",
            "--policy",      "Basic256:SignAndEncrypt",
            "--certificate", root + "/server.der",
            "--key",         root + "/server.key",
            "--pki",         root + "/pki"};
}

uatcp::test::ClientCredentials SecuredClientFiles::stackClientCredentials() const
{
    return d->stackClient;
}

std::string SecuredClientFiles::folder() const
{
    return d->folder.path();
}

std::vector<std::string> SecuredClientFiles::serverEnvironment() const
{
    return {"DEVICE_ROOT=" + d->folder.path()};
}

std::string SecuredClientFiles::clientCertificateFile() const
{
    return d->folder.path() + "/client.pem";
}
std::string SecuredClientFiles::clientKeyFile() const
{
    return d->folder.path() + "/client_key.pem";
}
} // namespace uaserver::wire
