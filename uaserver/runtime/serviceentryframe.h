#ifndef UASERVER_RUNTIME_SERVICEENTRYFRAME_H
#define UASERVER_RUNTIME_SERVICEENTRYFRAME_H

#include <servicecontext.h>

#include <uastatus.h>

#include <opcua.h>

#include <utility>

class PendingServiceRequest;
class UaServer;
class UaSession;

// The frame every entry of the attribute, view, node-management, query and history services runs:
// the entry and exit traces, the refusal of a server not started, the session of the request with
// a service counted on it, the request checks (the first failing one wins) and exactly one answer,
// now or through the pending request the transaction manager takes over.
//
// A status passes the frame only when Good: an Uncertain one refuses like a Bad one.
class ServiceEntryFrame
{
public:
    // Traces "==> UaServer::<service> [Request=%d]".
    ServiceEntryFrame(UaServer& server, const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                      OpcUa_Void* request, OpcUa_EncodeableType* requestType);
    ServiceEntryFrame(const ServiceEntryFrame&) = delete;
    ServiceEntryFrame& operator=(const ServiceEntryFrame&) = delete;

    // False when the server is not started: the request is then answered with BadInternalError.
    // Otherwise the secure channel and the session are checked into the status; a session found
    // counts this service until the answer is sent.
    bool enter();
    // A request check: when the status is still Good and fails holds, status becomes it.
    void check(bool fails, OpcUa_StatusCode status);
    static bool isEmpty(OpcUa_Int32 count, const void* array) { return count <= 0 || array == nullptr; }
    // The check of a request's operations: BadNothingToDo when there are none, BadTooManyOperations
    // when there are more than limit.
    void checkOperations(OpcUa_Int32 count, const void* array, OpcUa_UInt32 limit);

    bool isGood() const { return m_status.isGood(); }
    UaSession* session() const { return m_pSession; }
    const OpcUa_RequestHeader& requestHeader() const
    {
        return *static_cast<const OpcUa_RequestHeader*>(m_pRequest);
    }
    // The session and the header's TimeoutHint and ReturnDiagnostics.
    ServiceContext serviceContext() const;

    // Answers with the status as a fault, traced "<== UaServer::<service> [ServiceResult=0x%lx]".
    // Returns Good, the entry's result.
    OpcUa_StatusCode refuse();
    // For the entries answered later: begun Good means the pending request has taken the request,
    // the service count and the answer over, and is not touched again; otherwise it is deleted and
    // the request refused with that status.
    OpcUa_StatusCode handOver(PendingServiceRequest* pending, const UaStatus& begun);
    // The same with a new Pending of the entry's request, handed to begin; a status that is no
    // longer Good is refused instead.
    template <typename Pending, typename Begin> OpcUa_StatusCode handOver(Begin begin)
    {
        if (!isGood())
            return refuse();
        using Request = decltype(std::declval<Pending&>().request());
        auto* pending = new Pending(m_hEndpoint, m_hContext, m_pRequestType, m_pSession,
                                    static_cast<Request>(m_pRequest));
        return handOver(pending, begin(pending));
    }
    // For the entries answered at once: the service's empty response from the stack; null when the
    // status is not Good or the stack gives none (the status is then the stack's).
    template <typename Response> Response* beginResponse()
    {
        return static_cast<Response*>(beginResponseObject());
    }
    // Answers with the response filled, or with a fault when work is not Good. The plain closing
    // trace follows, or the one with the service result when resultTraceWhenBad and it failed.
    OpcUa_StatusCode answer(const UaStatus& work, bool resultTraceWhenBad = false);

private:
    OpcUa_Void* beginResponseObject();
    void traceClosing(bool withResult) const;

    UaServer& m_server;
    const char* m_service;
    OpcUa_Endpoint m_hEndpoint;
    OpcUa_Handle m_hContext;
    OpcUa_Void* m_pRequest;
    OpcUa_EncodeableType* m_pRequestType;
    UaSession* m_pSession = nullptr;
    UaStatus m_status;
    OpcUa_Void* m_pResponse = nullptr;
    OpcUa_EncodeableType* m_pResponseType = nullptr;
};

#endif
