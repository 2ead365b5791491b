#ifndef UASERVER_RUNTIME_REGISTEREDNODE_H
#define UASERVER_RUNTIME_REGISTEREDNODE_H

#include <referencecounter.h>

#include <uanodeid.h>

// One node a client registered on its session: the real NodeId behind the alias and two counted
// objects the services keep with it (the variable handle, and what it came with), released when
// the entry goes.
class RegisteredNode
{
public:
    // Takes over one reference to each of handle and other; either may be null.
    RegisteredNode(const UaNodeId& nodeId, ReferenceCounter* handle, ReferenceCounter* other = nullptr)
        : m_nodeId(nodeId), m_pHandle(handle), m_pOther(other)
    {
    }
    virtual ~RegisteredNode()
    {
        if (m_pHandle != nullptr)
            m_pHandle->releaseReference();
        if (m_pOther != nullptr)
            m_pOther->releaseReference();
    }
    RegisteredNode(const RegisteredNode&) = delete;
    RegisteredNode& operator=(const RegisteredNode&) = delete;

    const UaNodeId& nodeId() const { return m_nodeId; }
    ReferenceCounter* handle() const { return m_pHandle; }
    ReferenceCounter* other() const { return m_pOther; }

private:
    UaNodeId m_nodeId;
    ReferenceCounter* m_pHandle;
    ReferenceCounter* m_pOther;
};

#endif
