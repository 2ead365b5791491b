#ifndef UASERVER_RUNTIME_PENDINGIOREQUESTS_H
#define UASERVER_RUNTIME_PENDINGIOREQUESTS_H

#include "pendingservicerequest.h"

#include <uadatavalue.h>
#include <uastatus.h>
#include <uavariantarrays.h>

// A Read whose values come from the I/O managers of its nodes; one DataValue per node.
class PendingReadRequest : public PendingRequestOf<OpcUa_ReadRequest>
{
public:
    using PendingRequestOf::PendingRequestOf;

    // One zeroed result per node to read.
    OpcUa_StatusCode prepareResults();
    // Stores the value of item callbackHandle (moved in when mayMove and nobody shares it) and
    // counts it; true when this completed the request.
    bool finishRead(OpcUa_UInt32 callbackHandle, UaDataValue& dataValue, bool mayMove,
                    UaDiagnosticInfo* diagnosticInfo);
    void sendResponse() override;

    UaDataValueArray m_results;
};

// A Write whose items go to the I/O managers of their nodes; one status per node.
class PendingWriteRequest : public PendingRequestOf<OpcUa_WriteRequest>
{
public:
    using PendingRequestOf::PendingRequestOf;

    OpcUa_StatusCode prepareResults();
    bool finishWrite(OpcUa_UInt32 callbackHandle, const UaStatus& status);
    void sendResponse() override;

    UaStatusCodeArray m_results;
};

#endif
