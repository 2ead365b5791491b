// The server core's audit events through the service table on the fake endpoint: a channel and a
// session's life reach an event item on the Server object while auditing is on, and nothing does
// while it is off.
#include "eventtestkit.h"
#include "testvalues.h"
#include "uaservertestbed.h"

#include <nodemanagerwithevents.h>

using namespace servertest;
using namespace eventtestkit;
using testvalues::fieldText;

TEST(UaServerAudit, ChannelAndSessionLifeReachTheServerObjectOnlyWithAuditing)
{
    for (const bool auditing : {true, false})
    {
        SCOPED_TRACE(auditing ? "auditing on" : "auditing off");
        ServerBed bed;
        bed.config.auditing = auditing;
        ASSERT_TRUE(bed.start().isGood());
        NodeEventManager& eventManager = *bed.serverManager.getNodeManagerNS1();
        NotifierItem item(eventManager, UaNodeId(2253, 0),
                          {"EventType", "SourceName", "Severity", "SessionId", "SecureChannelId", "Status"});

        const FakeChannel channel(7);
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, channel);
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        create->RequestedSessionTimeout = 60000;
        const auto* created =
            bed.call(channel, create, OpcUa_CreateSessionRequest_EncodeableType)
                .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        ASSERT_NE(created, nullptr);
        UaVariant sessionIdValue;
        sessionIdValue.setNodeId(UaNodeId(created->SessionId));
        const std::string sessionId = fieldText(sessionIdValue);
        const UaNodeId token(created->AuthenticationToken);

        auto* activate =
            newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        token.copyTo(&activate->RequestHeader.AuthenticationToken);
        EXPECT_EQ(bed.call(channel, activate, OpcUa_ActivateSessionRequest_EncodeableType).status,
                  OpcUa_Good);
        auto* close = newMessage<OpcUa_CloseSessionRequest>(OpcUa_CloseSessionRequest_EncodeableType);
        token.copyTo(&close->RequestHeader.AuthenticationToken);
        EXPECT_EQ(bed.call(channel, close, OpcUa_CloseSessionRequest_EncodeableType).status, OpcUa_Good);
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelClosed, channel);

        const std::string e = "<empty>";
        std::vector<std::vector<std::string>> expected = {
            {"ns=0;i=2060", "SecureChannel/OpenSecureChannel", "500", e, "7", "true"},
            {"ns=0;i=2071", "Session/CreateSession", "500", sessionId, "7", "true"},
            {"ns=0;i=2075", "Session/ActivateSession", "500", sessionId, e, "true"},
            {"ns=0;i=2069", "Session/CloseSession", "500", sessionId, e, "true"},
            {"ns=0;i=2059", "SecureChannel/CloseSecureChannel", "500", e, "7", "true"},
        };
        if (!auditing)
            expected.clear();
        std::vector<std::vector<std::string>> received;
        for (const std::vector<UaVariant>& event : item.item.events())
        {
            received.emplace_back();
            for (const UaVariant& field : event)
                received.back().push_back(fieldText(field));
        }
        EXPECT_EQ(received, expected);
        EXPECT_NE(sessionId, e);
    }
}
