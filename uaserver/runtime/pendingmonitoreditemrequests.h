#ifndef UASERVER_RUNTIME_PENDINGMONITOREDITEMREQUESTS_H
#define UASERVER_RUNTIME_PENDINGMONITOREDITEMREQUESTS_H

#include "pendingservicerequest.h"

#include <uastructurearrays.h>
#include <uavariantarrays.h>

#include <opcua.h>

// A CreateMonitoredItems, ModifyMonitoredItems, SetMonitoringMode or DeleteMonitoredItems request
// that its subscription answers once every item has been answered by its I/O or event managers.
class PendingMonitoredItemsRequest : public PendingServiceRequest
{
public:
    enum Kind
    {
        Create = 0,
        SetMonitoringMode = 1,
        Delete = 2,
        Modify = 3
    };

    using PendingServiceRequest::PendingServiceRequest;

    virtual Kind kind() const = 0;
    virtual OpcUa_UInt32 subscriptionId() const = 0;
    // The number of items of the request (0 for a negative count).
    virtual OpcUa_UInt32 requestItemCount() const = 0;
    // One zeroed result per item.
    virtual OpcUa_StatusCode prepareResults() = 0;
    // The answer of item index (from 0); revised values where the service reports them.
    virtual void setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32 monitoredItemId,
                           OpcUa_Double revisedSamplingInterval, OpcUa_UInt32 revisedQueueSize) = 0;
    // The filter result of item index, moved out of filterResult (left empty) where the service
    // reports one.
    virtual void setFilterResult(OpcUa_UInt32 /*index*/, OpcUa_ExtensionObject& /*filterResult*/) {}
};

template <typename Request, PendingMonitoredItemsRequest::Kind K>
class MonitoredItemsRequestOf : public PendingMonitoredItemsRequest
{
public:
    MonitoredItemsRequestOf(OpcUa_Endpoint hEndpoint, OpcUa_Handle hContext,
                            OpcUa_EncodeableType* pRequestType, UaSession* session, Request* pRequest)
        : PendingMonitoredItemsRequest(hEndpoint, hContext, pRequestType, session, pRequest)
    {
    }
    Kind kind() const override { return K; }
    Request* request() const { return static_cast<Request*>(m_pRequest); }
    OpcUa_UInt32 subscriptionId() const override { return request()->SubscriptionId; }
};

class PendingCreateMonitoredItemsRequest
    : public MonitoredItemsRequestOf<OpcUa_CreateMonitoredItemsRequest, PendingMonitoredItemsRequest::Create>
{
public:
    using MonitoredItemsRequestOf::MonitoredItemsRequestOf;
    OpcUa_UInt32 requestItemCount() const override;
    OpcUa_StatusCode prepareResults() override;
    void setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32 monitoredItemId,
                   OpcUa_Double revisedSamplingInterval, OpcUa_UInt32 revisedQueueSize) override;
    void setFilterResult(OpcUa_UInt32 index, OpcUa_ExtensionObject& filterResult) override;
    void sendResponse() override;

    UaMonitoredItemCreateResultArray m_results;
};

class PendingModifyMonitoredItemsRequest
    : public MonitoredItemsRequestOf<OpcUa_ModifyMonitoredItemsRequest, PendingMonitoredItemsRequest::Modify>
{
public:
    using MonitoredItemsRequestOf::MonitoredItemsRequestOf;
    OpcUa_UInt32 requestItemCount() const override;
    OpcUa_StatusCode prepareResults() override;
    void setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32 monitoredItemId,
                   OpcUa_Double revisedSamplingInterval, OpcUa_UInt32 revisedQueueSize) override;
    void setFilterResult(OpcUa_UInt32 index, OpcUa_ExtensionObject& filterResult) override;
    void sendResponse() override;

    UaMonitoredItemModifyResultArray m_results;
};

class PendingSetMonitoringModeRequest
    : public MonitoredItemsRequestOf<OpcUa_SetMonitoringModeRequest,
                                     PendingMonitoredItemsRequest::SetMonitoringMode>
{
public:
    using MonitoredItemsRequestOf::MonitoredItemsRequestOf;
    OpcUa_UInt32 requestItemCount() const override;
    OpcUa_StatusCode prepareResults() override;
    void setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32 monitoredItemId,
                   OpcUa_Double revisedSamplingInterval, OpcUa_UInt32 revisedQueueSize) override;
    void sendResponse() override;

    UaStatusCodeArray m_results;
};

class PendingDeleteMonitoredItemsRequest
    : public MonitoredItemsRequestOf<OpcUa_DeleteMonitoredItemsRequest, PendingMonitoredItemsRequest::Delete>
{
public:
    using MonitoredItemsRequestOf::MonitoredItemsRequestOf;
    OpcUa_UInt32 requestItemCount() const override;
    OpcUa_StatusCode prepareResults() override;
    void setResult(OpcUa_UInt32 index, OpcUa_StatusCode status, OpcUa_UInt32 monitoredItemId,
                   OpcUa_Double revisedSamplingInterval, OpcUa_UInt32 revisedQueueSize) override;
    void sendResponse() override;

    UaStatusCodeArray m_results;
};

#endif
