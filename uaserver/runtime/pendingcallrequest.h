#ifndef UASERVER_RUNTIME_PENDINGCALLREQUEST_H
#define UASERVER_RUNTIME_PENDINGCALLREQUEST_H

#include "pendingservicerequest.h"

#include <methodmanager.h>

#include <uastructurearrays.h>

// A Call whose methods run on their method managers; one CallMethodResult per method. It is not in
// the transaction table: the method managers report to it directly, and the result that completes
// it sends the response in the reporting thread and deletes the request.
class PendingCallRequest : public PendingRequestOf<OpcUa_CallRequest>, public MethodCallCallback
{
public:
    using PendingRequestOf::PendingRequestOf;

    OpcUa_StatusCode prepareResults();
    // Takes the three arrays over; Good.
    UaStatus callFinished(OpcUa_UInt32 callbackHandle, UaStatusCodeArray& inputArgumentResults,
                          UaDiagnosticInfos& inputArgumentDiagnosticInfos, UaVariantArray& outputArguments,
                          UaStatus& statusCode) override;
    void sendResponse() override;

    UaCallMethodResultArray m_results;
};

#endif
