#ifndef UASERVER_IOMANAGERCALLBACK_H
#define UASERVER_IOMANAGERCALLBACK_H

#include <uadatavalue.h>
#include <uastatus.h>

class UaDiagnosticInfo;

// How an I/O manager answers the items of a transaction: once per item that a begin call accepted,
// with the transaction id and the item's callback handle, possibly from a pool thread. The
// transaction's creator implements it (the transaction manager for read and write, a subscription
// for monitoring, the core read transactions for the server's own reads); results are ignored.
class IOManagerCallback
{
public:
    virtual ~IOManagerCallback() = default;

    // mayMove: the receiver may take the value over instead of copying it. sendNow: the receiver may
    // send the response from this thread (an answer from a job rather than from inside beginRead).
    // pDiagnosticInfo may be null.
    virtual UaStatus finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                UaDataValue& dataValue, bool mayMove, bool sendNow,
                                UaDiagnosticInfo* pDiagnosticInfo) = 0;
    virtual UaStatus finishWrite(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaStatus& status,
                                 bool sendNow) = 0;
    // samplingItemHandle is 0 for an item that was not started; the initial value goes with the
    // answer where initialValueAvailable is set.
    virtual UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                           OpcUa_UInt32 samplingItemHandle,
                                           OpcUa_Double revisedSamplingInterval, bool initialValueAvailable,
                                           UaDataValue& initialValue, const UaStatus& status) = 0;
    virtual UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                            OpcUa_Double revisedSamplingInterval, const UaStatus& status) = 0;
    virtual UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                          UaStatus& status) = 0;
};

// The sampling callback of one monitored item: new samples, or failures, from pool threads and
// from the thread that stores a cached value.
class IOVariableCallback
{
public:
    virtual ~IOVariableCallback() = default;

    virtual void dataChange(UaDataValue& dataValue) = 0;
    // The value the item delivered last, against which deadbands are measured.
    virtual UaDataValue lastValue() const = 0;
};

#endif
