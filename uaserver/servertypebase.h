#ifndef UASERVER_SERVERTYPEBASE_H
#define UASERVER_SERVERTYPEBASE_H

#include "uaobjectbase.h"

#include <uamutex.h>

// The base of the Server object: an object of type ServerType with its own lock and slots for its
// component nodes, which the Server object fills at start-up (the first two with its ServerArray and
// NamespaceArray variables) and reads under the lock. It does not own the components. The
// ServerType type node is registered once per process (StandardTypeNodes::createServerType) and
// registered again after it was destroyed.
class ServerTypeBase : public UaObjectBase
{
public:
    static constexpr OpcUa_UInt32 ComponentCount = 10;

    ServerTypeBase(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId);
    ~ServerTypeBase() override;

    UaNodeId typeDefinitionId() const override;
    // Null for an empty slot or a slot beyond the count.
    UaNode* component(OpcUa_UInt32 slot) const;
    void setComponent(OpcUa_UInt32 slot, UaNode* pNode);

protected:
    mutable UaMutex m_mutex;
    UaNode* m_components[ComponentCount];
};

#endif
