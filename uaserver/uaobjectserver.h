#ifndef UASERVER_UAOBJECTSERVER_H
#define UASERVER_UAOBJECTSERVER_H

#include "servertypebase.h"

#include <uavariantarrays.h>

class NodeManagerConfig;
class ServerConfig;
class UaPropertyCache;

// The standard Server object (i=2253) below Objects. Here it keeps the server's namespace table:
// ServerArray (i=2254) with the server URI and NamespaceArray (i=2255), which starts with the
// standard namespace and the server URI and grows as node managers register. The NamespaceArray
// is read and extended only under the object's mutex, so every reader sees a whole array.
class UaObjectServer : public ServerTypeBase
{
public:
    // Its properties are added through pNodeManager (namespace 0's configuration view).
    UaObjectServer(NodeManagerConfig* pNodeManager, const UaString& defaultLocaleId);

    // The server notifies subscribers of its events.
    OpcUa_Byte eventNotifier() const override { return 1; }

    // Builds the namespace table from the configuration's server URI; the object must already be
    // in the address space.
    UaStatus startUp(ServerConfig* pServerConfig);
    UaStatus shutDown();

    // The NamespaceArray's value, read under the mutex.
    UaStatus getNamespaceArray(UaStringArray& namespaceArray);
    // Appends the URI to NamespaceArray; namespaceIndex is the index it got.
    UaStatus addNamespace(const UaString& namespaceUri, OpcUa_UInt16& namespaceIndex);
    ServerConfig* getServerConfig();

private:
    // The component slots of the base that hold the two namespace-table properties.
    static constexpr OpcUa_UInt32 ServerArraySlot = 0;
    static constexpr OpcUa_UInt32 NamespaceArraySlot = 1;

    UaPropertyCache* namespaceArray() const;

    NodeManagerConfig* m_pNodeManager;
    ServerConfig* m_pServerConfig = nullptr;
};

#endif
