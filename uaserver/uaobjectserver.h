#ifndef UASERVER_UAOBJECTSERVER_H
#define UASERVER_UAOBJECTSERVER_H

#include "servertypebase.h"

#include <uadatetime.h>
#include <uavariantarrays.h>

class NodeBuilder;
class NodeManagerConfig;
class ServerConfig;
class UaPropertyCache;

// The six values of the server's build information, as the configuration gives them.
struct ServerBuildInfo
{
    UaString productUri;
    UaString manufacturerName;
    UaString productName;
    UaString softwareVersion;
    UaString buildNumber;
    UaDateTime buildDate;
};

// The standard Server object (i=2253) below Objects. Its start-up builds the whole standard subtree
// from the configuration: the namespace table (ServerArray i=2254 with the server URI and
// NamespaceArray i=2255, which starts with the standard namespace and the server URI and grows as
// node managers register), ServerStatus with its build information, ServiceLevel, Auditing, the
// capabilities, diagnostics, vendor information and redundancy objects, and, once per process, the
// declarations of ServerType, ServerCapabilitiesType and ServerDiagnosticsType. Nothing refreshes
// a value afterwards: CurrentTime keeps none and is produced by namespace 0's I/O manager on read.
// The NamespaceArray is read and extended only under the object's mutex, so every reader sees a
// whole array.
class UaObjectServer : public ServerTypeBase
{
public:
    // Its properties are added through pNodeManager (namespace 0's configuration view).
    UaObjectServer(NodeManagerConfig* pNodeManager, const UaString& defaultLocaleId);

    // The server notifies subscribers of its events.
    OpcUa_Byte eventNotifier() const override { return 1; }

    // Builds the subtree from the configuration; the object must already be in the address space.
    // Good once the server instance and build information were given; a failing node is left out.
    UaStatus startUp(ServerConfig* pServerConfig);
    UaStatus shutDown();

    // The NamespaceArray's value, read under the mutex.
    UaStatus getNamespaceArray(UaStringArray& namespaceArray);
    // Appends the URI to NamespaceArray; namespaceIndex is the index it got.
    UaStatus addNamespace(const UaString& namespaceUri, OpcUa_UInt16& namespaceIndex);
    ServerConfig* getServerConfig();

    // The component slots of the base.
    enum Slot : OpcUa_UInt32
    {
        ServerArraySlot,
        NamespaceArraySlot,
        ServerStatusSlot,
        ServiceLevelSlot,
        AuditingSlot,
        ServerCapabilitiesSlot,
        ServerDiagnosticsSlot,
        VendorServerInfoSlot,
        ServerRedundancySlot,
        CurrentTimeSlot,
    };

private:
    void buildServerStatus(NodeBuilder& builder, const ServerBuildInfo& buildInfo);
    void buildCapabilities(NodeBuilder& builder, ServerConfig* pServerConfig);
    void buildDiagnostics(NodeBuilder& builder);
    void buildRedundancy(NodeBuilder& builder, ServerConfig* pServerConfig);

    UaPropertyCache* namespaceArray() const;

    NodeManagerConfig* m_pNodeManager;
    ServerConfig* m_pServerConfig = nullptr;
};

#endif
