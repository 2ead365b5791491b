// The field indexes of the audit event types, in one process from its start: the field registry
// only grows, so the order of the steps below is the test.
#include "servertestbed.h"

#include <auditeventdata.h>
#include <auditeventtypes.h>
#include <eventregistry.h>
#include <uanode.h>

#include <uatracecapture.h>

#include <string>

using namespace servertest;

namespace
{
// The fields in the order auditing at start-up numbers them: 1 EventId to 32 OldValue.
const char* const kFields[] = {
    "EventId",
    "EventType",
    "SourceNode",
    "SourceName",
    "Time",
    "ReceiveTime",
    "LocalTime",
    "Message",
    "Severity",
    "ActionTimeStamp",
    "ClientAuditEntryId",
    "ClientUserId",
    "ServerId",
    "Status",
    "SecureChannelId",
    "ClientCertificate",
    "ClientCertificateThumbprint",
    "RequestedLifetime",
    "RequestType",
    "SecurityMode",
    "SecurityPolicyUri",
    "SessionId",
    "RevisedSessionTimeout",
    "EndpointUrl",
    "UserIdentityToken",
    "RequestHandle",
    "Certificate",
    "InvalidHostname",
    "InvalidUri",
    "AttributeId",
    "NewValue",
    "OldValue",
};

OpcUa_UInt32 indexOf(const char* name)
{
    return EventRegistry::findEventField(EventRegistry::fieldKey(UaQualifiedName(name, 0)));
}

// Field k (from 1) holds index k up to last; the rest are not registered.
void expectIndexesUpTo(OpcUa_UInt32 last)
{
    for (OpcUa_UInt32 k = 1; k <= std::size(kFields); ++k)
        EXPECT_EQ(indexOf(kFields[k - 1]), k <= last ? k : 0u) << kFields[k - 1];
}

bool exists(NodeManagerRoot& root, OpcUa_UInt32 id)
{
    UaNode* node = root.getNode(UaNodeId(id, 0));
    if (node)
        node->releaseReference();
    return node != nullptr;
}

// The event types the trace shows registered, in order.
std::vector<std::string> registrations(const UaTraceCapture& trace)
{
    std::vector<std::string> types;
    const std::string prefix = "--> EventManagerBase::registerEventType ST = ";
    for (const std::string& line : trace.texts())
        if (line.rfind(prefix, 0) == 0)
            types.push_back(line.substr(line.find(" NT = ") + 6));
    return types;
}
} // namespace

TEST(AuditFieldIndexes, NumberedInCreationOrderAndKeptAcrossRestarts)
{
    {
        SCOPED_TRACE("auditing off, then the first channel event");
        StartedServer server;
        expectIndexesUpTo(9);
        EXPECT_FALSE(exists(server.root(), AuditEventTypes::AuditEventType));

        UaTraceCapture trace(6);
        AuditOpenSecureChannelEventTypeData first;
        EXPECT_EQ(registrations(trace), (std::vector<std::string>{"2052", "2058", "2059", "2060"}));
        for (OpcUa_UInt32 id : {2052u, 2058u, 2059u, 2060u})
            EXPECT_TRUE(exists(server.root(), id)) << id;
        EXPECT_FALSE(exists(server.root(), AuditEventTypes::AuditSessionEventType));
        expectIndexesUpTo(21);

        // A second creation changes nothing.
        trace.clear();
        const OpcUa_Int32 nodes = UaNodeCounters::uaNode.load();
        AuditOpenSecureChannelEventTypeData second;
        EXPECT_TRUE(registrations(trace).empty());
        EXPECT_EQ(UaNodeCounters::uaNode.load(), nodes);
        expectIndexesUpTo(21);
    }
    {
        SCOPED_TRACE("auditing on");
        StartedServer server([](FakeServerConfig& config) { config.auditing = true; });
        expectIndexesUpTo(32);
        for (OpcUa_UInt32 id : {2052u, 2058u, 2059u, 2060u, 2069u, 2071u, 2748u, 2075u, 2078u, 2080u, 2082u,
                                2085u, 2086u, 2087u, 2088u, 2089u, 2099u, 2100u})
            EXPECT_TRUE(exists(server.root(), id)) << id;
        // AuditSessionEventType lies below AuditEventType, not below AuditSecurityEventType.
        EXPECT_TRUE(EventRegistry::isSubtypeOf(UaNodeId(2069, 0), UaNodeId(2052, 0)));
        EXPECT_FALSE(EventRegistry::isSubtypeOf(UaNodeId(2069, 0), UaNodeId(2058, 0)));
        OpcUa_UInt32 local = 0;
        EXPECT_TRUE(AuditEventTypes::findLocalField(2100, 32, local));
        EXPECT_EQ(local, 3u);
    }
    {
        SCOPED_TRACE("after a restart");
        StartedServer server;
        // The old namespace released the types and emptied their maps.
        OpcUa_UInt32 local = 0;
        EXPECT_FALSE(AuditEventTypes::isCreated(AuditEventTypes::AuditCreateSessionEventType));
        EXPECT_FALSE(
            AuditEventTypes::findLocalField(AuditEventTypes::AuditCreateSessionEventType, 23, local));
        AuditCreateSessionEventTypeData event;
        EXPECT_TRUE(exists(server.root(), AuditEventTypes::AuditCreateSessionEventType));
        ASSERT_TRUE(AuditEventTypes::findLocalField(AuditEventTypes::AuditCreateSessionEventType, 23, local));
        EXPECT_EQ(local, 3u);
        ASSERT_TRUE(AuditEventTypes::findLocalField(AuditEventTypes::AuditCreateSessionEventType, 15, local));
        EXPECT_EQ(local, 4u);
        expectIndexesUpTo(32);
    }
}
