#ifndef UASERVER_RUNTIME_PENDINGSERVICEREQUEST_H
#define UASERVER_RUNTIME_PENDINGSERVICEREQUEST_H

#include <servicecontext.h>
#include <uathreadjob.h>

#include <uadiagnosticinfo.h>
#include <uamutex.h>
#include <uapointerarray.h>
#include <uaservicediagnostics.h>

#include <opcua.h>

class UaSession;

// A service request that is answered after its entry has returned: it collects the results of its
// items, which may come from any thread, and sends the response once the last one is in. Created
// by the service entry, owned by the transaction manager until the response is sent, and deleted
// by whoever sent it. As a job it sends itself on a worker of the transaction manager's pool.
//
// The mutex guards the results, the diagnostics and the counts; it is never held while sending.
class PendingServiceRequest : public UaThreadJob
{
public:
    // Takes request over. session: the session the entry found, its service count already raised;
    // the sender lowers it once.
    PendingServiceRequest(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext, OpcUa_EncodeableType* pRequestType,
                          UaSession* session, OpcUa_Void* pRequest);
    // Deletes a response obtained but not sent. A request deleted unsent leaves its request message
    // to the entry, which answers with it.
    ~PendingServiceRequest() override;

    void execute() override { sendResponse(); }
    // Obtains the response, moves the results in, sends it (or cancels it on a dead channel) under
    // the session's send lock, ends the service on the session and deletes both messages.
    virtual void sendResponse() = 0;

    UaSession* session() const { return m_pSession; }
    const OpcUa_RequestHeader& requestHeader() const
    {
        return *static_cast<OpcUa_RequestHeader*>(m_pRequest);
    }
    OpcUa_UInt32 requestHandle() const;
    // Whether the request asked for operation-level diagnostics (any bit from 0x20 up).
    bool wantsOperationDiagnostics() const;

    // The number of items whose results complete the request; the diagnostics array gets one slot
    // per item when operation-level diagnostics were asked for.
    OpcUa_StatusCode prepareItems(OpcUa_UInt32 itemCount);
    OpcUa_UInt32 itemCount() const { return m_itemCount; }
    // Stores a record (a reference of its own) at index when the request keeps diagnostics.
    // Caller holds m_mutex.
    void setDiagnosticInfo(OpcUa_UInt32 index, UaDiagnosticInfo* diagnosticInfo);

    // Stores one item's result through store(index) when callbackHandle is from 1 to the item
    // count, and counts the item in every case, all under the mutex. True when this completed the
    // request: the caller then finishes it.
    template <typename Store> bool finishItem(OpcUa_UInt32 callbackHandle, Store store)
    {
        UaMutexLocker lock(&m_mutex);
        if (callbackHandle >= 1 && callbackHandle <= m_itemCount)
            store(callbackHandle - 1);
        return countFinishedLocked();
    }

    // The begin operation holds the request open while it still reads it: results that come in
    // meanwhile cannot complete it. True when the release completed it.
    void holdOpen();
    bool releaseHold();

    OpcUa_UInt32 finishedCount();

    OpcUa_Endpoint m_hEndpoint;
    OpcUa_Handle m_hContext;
    OpcUa_EncodeableType* m_pRequestType;
    ServiceContext m_serviceContext;
    OpcUa_Void* m_pRequest;
    OpcUa_Void* m_pResponse = nullptr;
    OpcUa_EncodeableType* m_pResponseType = nullptr;
    UaMutex m_mutex;
    OpcUa_UInt32 m_finishedCount = 0;
    // Operation-level records, one reference held per record; empty without operation diagnostics.
    UaPointerArray<UaDiagnosticInfo> m_diagnosticInfos;

protected:
    // One zeroed result per item (a negative count of items as none).
    template <typename Results> OpcUa_StatusCode prepareResultsFor(Results& results, OpcUa_Int32 noOfItems)
    {
        const auto n = static_cast<OpcUa_UInt32>(noOfItems > 0 ? noOfItems : 0);
        const OpcUa_StatusCode created = results.create(n);
        return OpcUa_IsBad(created) ? created : prepareItems(n);
    }
    // The response of a service answered with one result per item: obtained, its header and
    // diagnostics filled and the results moved in; null when the stack gave none.
    template <typename Response, typename Results>
    Response* responseWithResults(const char* service, Results& results)
    {
        if (!obtainResponse(service))
            return nullptr;
        auto* response = static_cast<Response*>(m_pResponse);
        fillResponseHeader(response->ResponseHeader, response->NoOfDiagnosticInfos,
                           response->DiagnosticInfos);
        response->NoOfResults = static_cast<OpcUa_Int32>(results.length());
        response->Results = results.data();
        results.detach();
        return response;
    }

    // The steps every sender shares; service is the name in the texts ("Read").
    // Obtains the response object unless there is one. False when the stack gave none: the request
    // is then answered with the failure, its service ended and its message deleted.
    bool obtainResponse(const char* service);
    // The header: now, the request's handle, Good.
    void fillResponseHeader(OpcUa_ResponseHeader& header);
    // The same with the operation diagnostics built into the response (their texts into the
    // header's string table) when any operation has a record.
    void fillResponseHeader(OpcUa_ResponseHeader& header, OpcUa_Int32& noOfDiagnosticInfos,
                            OpcUa_DiagnosticInfo*& diagnosticInfos);
    // Sends, or cancels on a dead channel, under the session's send lock; then ends the service
    // and deletes both messages. namedCancel: the cancel line names the service.
    void sendOrCancel(const char* service, bool namedCancel = false);

private:
    bool countFinishedLocked();
    bool completesLocked();
    void releaseDiagnosticInfos();

    UaSession* m_pSession;
    OpcUa_UInt32 m_itemCount = 0;
    bool m_held = false;
    bool m_completed = false;
};

// The typed view of one service's request message.
template <typename Request> class PendingRequestOf : public PendingServiceRequest
{
public:
    PendingRequestOf(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext, OpcUa_EncodeableType* pRequestType,
                     UaSession* session, Request* pRequest)
        : PendingServiceRequest(hEndpoint, hContext, pRequestType, session, pRequest)
    {
    }

    Request* request() const { return static_cast<Request*>(m_pRequest); }
};

#endif
