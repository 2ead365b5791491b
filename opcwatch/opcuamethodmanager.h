// The application's method manager and its two kinds of method: a COpcUaMethod runs inside the
// Call and answers at once; a COpcUaMethodAsync starts its work and answers later through
// EndCall. Concrete methods derive from one of the two.
#pragma once

#include <methodmanager.h>
#include <uamethodgeneric.h>

#include <map>
#include <mutex>

class COpcUaMethodManager : public MethodManager
{
public:
    // Good once the method took the call (the callback follows, at once or from EndCall);
    // BadInvalidArgument without a method, BadMethodInvalid for a method of neither kind (no
    // callback then).
    UaStatus beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                       OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                       const UaVariantArray& inputArguments) override;
};

class COpcUaMethod : public UaMethodGeneric
{
public:
    using UaMethodGeneric::UaMethodGeneric;

    // The call's status; the input-argument results stay empty.
    virtual UaStatus Call(const UaVariantArray& inputArguments, UaVariantArray& outputArguments) = 0;
};

class COpcUaMethodAsync : public UaMethodGeneric
{
public:
    using UaMethodGeneric::UaMethodGeneric;
    ~COpcUaMethodAsync() override;

    // Starts the work of a call; the method ends it with EndCall(key, ...).
    virtual void BeginCall(const UaVariantArray& inputArguments, OpcUa_Handle key) = 0;
    // Milliseconds after which a pending call is ended with BadInternalError by the next call.
    virtual OpcUa_UInt32 Timeout() const = 0;

    // Answers a pending call; BadInternalError for a key that is not pending (ended already).
    UaStatus EndCall(OpcUa_Handle key, UaStatus status, UaStatusCodeArray& inputArgumentResults,
                     UaDiagnosticInfos& inputArgumentDiagnosticInfos, UaVariantArray& outputArguments);

    // Ends the expired calls, then registers a new one begun now; the key of the call.
    OpcUa_Handle registerCall(MethodCallCallback* pCallback, OpcUa_UInt32 callbackHandle);
    std::size_t pendingCount() const;

private:
    struct PendingCall
    {
        MethodCallCallback* pCallback;
        OpcUa_UInt32 callbackHandle;
        OpcUa_UInt32 startTick;
    };

    void expireCalls();

    // Guards the pending calls only: callbacks run outside it, so a callback may begin or end
    // another call of this method.
    mutable std::mutex m_lock;
    // Keys are numbers that are never reused, so a late EndCall never ends a newer call.
    std::map<OpcUa_UInt64, PendingCall> m_pendingCalls;
    OpcUa_UInt64 m_nextKey = 1;
};
