#ifndef UASERVER_METHODMANAGER_H
#define UASERVER_METHODMANAGER_H

#include "referencecounter.h"
#include "uanode.h"

#include <uaservicediagnostics.h>
#include <uastatus.h>
#include <uavariantarrays.h>

class MethodHandle;
class ServiceContext;

// Receives the result of one Call item. The arrays are handed over: the receiver may take their
// contents.
class MethodCallCallback
{
public:
    virtual ~MethodCallCallback() = default;

    virtual UaStatus callFinished(OpcUa_UInt32 callbackHandle, UaStatusCodeArray& inputArgumentResults,
                                  UaDiagnosticInfos& inputArgumentDiagnosticInfos,
                                  UaVariantArray& outputArguments, UaStatus& statusCode) = 0;

    // The name the runtime's Call request knows the operation by.
    UaStatus finishCall(OpcUa_UInt32 callbackHandle, UaStatusCodeArray& inputArgumentResults,
                        UaDiagnosticInfos& inputArgumentDiagnosticInfos, UaVariantArray& outputArguments,
                        UaStatus& statusCode)
    {
        return callFinished(callbackHandle, inputArgumentResults, inputArgumentDiagnosticInfos,
                            outputArguments, statusCode);
    }
};

using MethodManagerCallback = MethodCallCallback;

// Whatever executes a method. A good result of beginCall promises exactly one callFinished, before
// beginCall returns or later from any thread; a bad result means none follows.
class MethodManager
{
public:
    virtual ~MethodManager() = default;

    virtual UaStatus beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                               OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                               const UaVariantArray& inputArguments) = 0;
};

// The method manager, object and method of one Call item, as the node manager resolved them. It
// holds one reference to each node.
class MethodHandle : public ReferenceCounter
{
public:
    MethodHandle(MethodManager* pMethodManager, UaNode* pObject, UaNode* pMethod);

    MethodManager* methodManager() const { return m_pMethodManager; }
    UaNode* pObject() const { return m_object.get(); }
    UaNode* pMethod() const { return m_method.get(); }
    void setMethodManager(MethodManager* pMethodManager) { m_pMethodManager = pMethodManager; }
    void setObject(UaNode* pObject) { m_object = pObject; }
    void setMethod(UaNode* pMethod) { m_method = pMethod; }

private:
    MethodManager* m_pMethodManager;
    ReferenceHolder<UaNode> m_object;
    ReferenceHolder<UaNode> m_method;
};

#endif
