// Requests of the services that answer later, as their entries hand them on: request messages
// built from a few fields, and pending requests on a FakeEndpoint context with the service counted
// on the session.
#pragma once

#include "fake_endpoint.h"
#include "pendingservicerequest.h"
#include "uasession.h"

#include <attributeids.h>
#include <historyreadcontinuationpoint.h>

#include <uanodeid.h>
#include <uavariant.h>

#include <opcua.h>

#include <cstring>
#include <vector>

namespace runtimetest
{
using namespace uaserver::testing;

// A zeroed array of n stack structures from the stack's allocator (the message frees it).
template <class T> T* newArray(std::size_t n)
{
    if (n == 0)
        return nullptr;
    auto* array = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n * sizeof(T))));
    std::memset(static_cast<void*>(array), 0, n * sizeof(T));
    return array;
}

// A request message of type with its request handle.
template <class T> T* newRequest(OpcUa_EncodeableType& type, OpcUa_UInt32 requestHandle)
{
    T* request = newMessage<T>(type);
    request->RequestHeader.RequestHandle = requestHandle;
    return request;
}

struct ReadItem
{
    UaNodeId nodeId;
    OpcUa_Int32 attributeId = AttributeId::Value;
};

inline OpcUa_ReadRequest*
newReadRequest(OpcUa_UInt32 requestHandle, const std::vector<ReadItem>& items,
               OpcUa_TimestampsToReturn timestampsToReturn = OpcUa_TimestampsToReturn_Both,
               OpcUa_UInt32 returnDiagnostics = 0, OpcUa_Double maxAge = 0.0)
{
    auto* request = newRequest<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType, requestHandle);
    request->RequestHeader.ReturnDiagnostics = returnDiagnostics;
    request->MaxAge = maxAge;
    request->TimestampsToReturn = timestampsToReturn;
    request->NoOfNodesToRead = static_cast<OpcUa_Int32>(items.size());
    request->NodesToRead = newArray<OpcUa_ReadValueId>(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        items[i].nodeId.copyTo(&request->NodesToRead[i].NodeId);
        request->NodesToRead[i].AttributeId = static_cast<OpcUa_UInt32>(items[i].attributeId);
    }
    return request;
}

// Writes of a UInt32 value each.
inline OpcUa_WriteRequest* newWriteRequest(OpcUa_UInt32 requestHandle, const std::vector<ReadItem>& items,
                                           OpcUa_UInt32 value = 7)
{
    auto* request = newRequest<OpcUa_WriteRequest>(OpcUa_WriteRequest_EncodeableType, requestHandle);
    request->NoOfNodesToWrite = static_cast<OpcUa_Int32>(items.size());
    request->NodesToWrite = newArray<OpcUa_WriteValue>(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        items[i].nodeId.copyTo(&request->NodesToWrite[i].NodeId);
        request->NodesToWrite[i].AttributeId = static_cast<OpcUa_UInt32>(items[i].attributeId);
        request->NodesToWrite[i].Value.Value.Datatype = OpcUaType_UInt32;
        request->NodesToWrite[i].Value.Value.Value.UInt32 = value + static_cast<OpcUa_UInt32>(i);
    }
    return request;
}

// A continuation point that counts its deletions.
class CountedContinuationPoint : public HistoryReadContinuationPoint
{
public:
    explicit CountedContinuationPoint(int& deleted) : m_deleted(deleted) {}
    ~CountedContinuationPoint() override { ++m_deleted; }

private:
    int& m_deleted;
};

// A session as the entries find it: open and activated on channel.
inline UaSession* newActivatedSession(OpcUa_UInt32 id, const FakeChannel& channel)
{
    auto* session = new UaSession(id, UaNodeId(id, 0));
    session->open(UaString("transactions"), UaByteString(), 60000);
    UaStringArray locales;
    session->activate(channel.id, nullptr, locales);
    return session;
}

// A pending request of kind P for request (taken over) on a new context of endpoint; the service is
// counted on session as the entry counts it.
template <class P, class Request, class... Extra>
P* newPending(FakeEndpoint& endpoint, const FakeChannel& channel, UaSession* session, Request* request,
              OpcUa_EncodeableType& requestType, OpcUa_EncodeableType& responseType, OpcUa_Handle& context,
              Extra... extra)
{
    context = endpoint.openContext(channel, &responseType, request->RequestHeader.RequestHandle);
    session->startingServiceProcessing();
    return new P(endpoint.handle(), context, &requestType, session, request, extra...);
}

} // namespace runtimetest
