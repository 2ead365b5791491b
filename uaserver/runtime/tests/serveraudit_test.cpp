// The server core's audit events as an event item on the Server object receives them: one per
// trigger, with the fields of its table.
#include "eventtestkit.h"
#include "servertestbed.h"
#include "testvalues.h"

#include <nodemanagerwithevents.h>
#include <serveraudit.h>

#include <test_certificates.h>

#include <openssl/sha.h>

#include <string>

using namespace servertest;
using namespace eventtestkit;
using testvalues::fieldText;

namespace
{
const UaNodeId kServer(2253, 0);
const char* const kSecurityPolicy = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";

std::string sha1Hex(const sectest::Bytes& der)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(der.data(), der.size(), digest);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : digest)
        hex += std::string{digits[byte >> 4], digits[byte & 0xF]};
    return hex;
}

} // namespace

TEST(ServerAudit, EachTriggerReachesTheServerObjectWithItsFields)
{
    StartedServer server([](FakeServerConfig& config) { config.auditing = true; });
    NodeManagerNS1* ns1 = server.serverManager.getNodeManagerNS1();
    ASSERT_NE(ns1, nullptr);
    ASSERT_TRUE(ns1->eventsEnabled());

    const std::vector<std::string> columns = {"EventType",
                                              "SourceNode",
                                              "SourceName",
                                              "Message",
                                              "Severity",
                                              "ClientUserId",
                                              "Status",
                                              "ServerId",
                                              "SessionId",
                                              "SecureChannelId",
                                              "ClientCertificateThumbprint",
                                              "SecurityPolicyUri",
                                              "SecurityMode",
                                              "RequestType",
                                              "RevisedSessionTimeout",
                                              "ClientAuditEntryId"};
    NodeEventManager& eventManager = *ns1;
    NotifierItem all(eventManager, kServer, columns);
    NotifierItem withIndexRange(eventManager, kServer, {"EventType", "IndexRange"});
    ASSERT_EQ(all.answers.answers.size(), 1u);
    EXPECT_EQ(all.answers.answers[0].selectResults,
              std::vector<OpcUa_StatusCode>(columns.size(), OpcUa_Good));
    ASSERT_EQ(withIndexRange.answers.answers.size(), 1u);
    EXPECT_EQ(withIndexRange.answers.answers[0].selectResults,
              (std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_BadNotFound}));

    const sectest::Identity client = sectest::makeIdentity("client");
    OpcUa_ByteString certificate;
    certificate.Length = static_cast<OpcUa_Int32>(client.certificate.size());
    certificate.Data = const_cast<OpcUa_Byte*>(client.certificate.data());
    const std::string thumbprint = sha1Hex(client.certificate);
    const UaNodeId sessionId(4711, 1);
    const UaDateTime requestTime = UaDateTime::fromInt64(134170560000000000LL);
    UaExtensionObject token;
    token.createBody(&OpcUa_AnonymousIdentityToken_EncodeableType);

    ServerAudit audit(ns1, "urn:test:server");
    audit.channelOpened(7, OpcUa_Good, &certificate, kSecurityPolicy,
                        OpcUa_MessageSecurityMode_SignAndEncrypt);
    audit.channelClosed(7, OpcUa_Good);
    audit.sessionCreated(sessionId, 7, &certificate, 60000.0, OpcUa_Good);
    audit.sessionActivated(sessionId, "operator", token.toOpcUaExtensionObject(), OpcUa_Good);
    audit.sessionActivated(sessionId, "", nullptr, OpcUa_BadIdentityTokenRejected);
    audit.sessionClosed(sessionId, "", requestTime, "entry-1", OpcUa_Good);

    const std::string e = "<empty>";
    const std::vector<std::vector<std::string>> expected = {
        {"ns=0;i=2060", "ns=0;i=2253", "SecureChannel/OpenSecureChannel", "|SecureChannel/OpenSecureChannel",
         "500", "System/OpenSecureChannel", "true", "urn:test:server", e, "7", thumbprint, kSecurityPolicy,
         "3", "0", e, e},
        {"ns=0;i=2059", "ns=0;i=2253", "SecureChannel/CloseSecureChannel",
         "|SecureChannel/CloseSecureChannel", "500", "System/CloseSecureChannel", "true", "urn:test:server",
         e, "7", e, e, e, e, e, e},
        {"ns=0;i=2071", "ns=0;i=2253", "Session/CreateSession", "|Session/CreateSession", "500",
         "System/CreateSession", "true", "urn:test:server", "ns=1;i=4711", "7", thumbprint, e, e, e, "60000",
         e},
        {"ns=0;i=2075", "ns=0;i=2253", "Session/ActivateSession", "|Session/ActivateSession", "500",
         "operator", "true", "urn:test:server", "ns=1;i=4711", e, e, e, e, e, e, e},
        {"ns=0;i=2075", "ns=0;i=2253", "Session/ActivateSession", "|Session/ActivateSession", "500",
         "System/ActivateSession", "false", "urn:test:server", "ns=1;i=4711", e, e, e, e, e, e, e},
        {"ns=0;i=2069", "ns=0;i=2253", "Session/CloseSession", "|Session/CloseSession", "500",
         "System/CloseSession", "true", "urn:test:server", "ns=1;i=4711", e, e, e, e, e, e, "entry-1"},
    };
    const std::vector<std::vector<UaVariant>> events = all.item.events();
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < events.size(); ++i)
    {
        ASSERT_EQ(events[i].size(), columns.size()) << i;
        for (size_t c = 0; c < columns.size(); ++c)
            EXPECT_EQ(fieldText(events[i][c]), expected[i][c]) << "event " << i << " " << columns[c];
    }
    EXPECT_EQ(thumbprint.size(), 40u);
    EXPECT_EQ(withIndexRange.item.events().size(), expected.size());

    // The close carries the request's time; the others the time they were fired.
    NotifierItem times(eventManager, kServer,
                       {"Time", "ReceiveTime", "ClientCertificate", "UserIdentityToken"});
    const OpcUa_Int64 before = UaDateTime::now().toInt64();
    audit.sessionClosed(sessionId, "", requestTime, "entry-2", OpcUa_Good);
    audit.channelOpened(8, OpcUa_Good, &certificate, kSecurityPolicy, OpcUa_MessageSecurityMode_None);
    audit.sessionActivated(sessionId, "operator", token.toOpcUaExtensionObject(), OpcUa_Good);
    const std::vector<std::vector<UaVariant>> timed = times.item.events();
    ASSERT_EQ(timed.size(), 3u);
    UaDateTime time;
    timed[0][0].toDateTime(time);
    EXPECT_EQ(time.toInt64(), requestTime.toInt64());
    timed[1][0].toDateTime(time);
    EXPECT_GE(time.toInt64(), before);
    UaByteString sent;
    ASSERT_EQ(timed[1][2].toByteString(sent), OpcUa_Good);
    EXPECT_EQ(sent, UaByteString(certificate.Length, certificate.Data));
    EXPECT_EQ(timed[2][3].type(), OpcUaType_ExtensionObject);
}

TEST(ServerAudit, AThumbprintNeedsAReadableCertificate)
{
    const OpcUa_Byte garbage[] = {1, 2, 3};
    OpcUa_ByteString notACertificate{3, const_cast<OpcUa_Byte*>(garbage)};
    EXPECT_TRUE(ServerAudit::thumbprintOf(&notACertificate).isEmpty());
    EXPECT_TRUE(ServerAudit::thumbprintOf(nullptr).isEmpty());
}
