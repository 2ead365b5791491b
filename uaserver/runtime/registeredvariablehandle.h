#ifndef UASERVER_RUNTIME_REGISTEREDVARIABLEHANDLE_H
#define UASERVER_RUNTIME_REGISTEREDVARIABLEHANDLE_H

#include <referencecounter.h>
#include <variablehandle.h>

#include <opcua.h>

class NodeManager;
class UaSession;

// The variable handle a registered node keeps, in the counted form the session's entries hold.
class RegisteredVariableHandle : public ReferenceCounter
{
public:
    // Takes one reference to handle over.
    explicit RegisteredVariableHandle(VariableHandle* handle) : m_pHandle(handle) {}
    ~RegisteredVariableHandle() override { m_pHandle->releaseReference(); }

    // The handle an entry keeps, with a reference for the caller; null when the entry keeps none.
    static VariableHandle* variableHandleOf(ReferenceCounter* kept)
    {
        auto* registered = dynamic_cast<RegisteredVariableHandle*>(kept);
        if (registered == nullptr)
            return nullptr;
        registered->m_pHandle->addReference();
        return registered->m_pHandle;
    }

    // Registered-node aliases are numeric NodeIds of this namespace.
    static constexpr OpcUa_UInt16 aliasNamespace = 99;

    // Whether nodeId is a registered-node alias: a numeric NodeId of the alias namespace.
    static bool isAlias(const OpcUa_NodeId& nodeId);
    // The handle a service reaches nodeId's attribute through, with a reference for the caller. An
    // alias gives its registered handle for the Value and its real node's handle for any other
    // attribute; null for an alias the session does not know or a node the root does not serve.
    static VariableHandle* resolve(NodeManager* root, UaSession* session, OpcUa_UInt32 serviceType,
                                   const OpcUa_NodeId& nodeId, OpcUa_Int32 attributeId);

private:
    VariableHandle* m_pHandle;
};

#endif
