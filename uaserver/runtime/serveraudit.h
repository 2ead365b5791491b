#ifndef UASERVER_RUNTIME_SERVERAUDIT_H
#define UASERVER_RUNTIME_SERVERAUDIT_H

#include <auditeventdata.h>

#include <uabytestring.h>
#include <uadatetime.h>
#include <uanodeid.h>
#include <uastring.h>

#include <opcua.h>

class NodeManagerNS1;

// The audit events of the server core: secure channels opened and closed, sessions created,
// activated and closed. Each comes from the Server object, with its source name as message, and is
// fired through the event manager of namespace 1 with the times of now, severity 500 and the
// server's URI as server id. The server core asks only while auditing is on.
class ServerAudit
{
public:
    ServerAudit(NodeManagerNS1* pNodeManagerNS1, const UaString& serverUri)
        : m_pNodeManagerNS1(pNodeManagerNS1), m_serverUri(serverUri)
    {
    }

    // The event's Time (unless its raiser set one) and ReceiveTime now, Severity 500, ServerId the
    // server URI; then to every event item that sees the Server object.
    void fire(AuditEventTypeData& eventData);

    void channelOpened(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status,
                       const OpcUa_ByteString* clientCertificate, const UaString& securityPolicyUri,
                       OpcUa_UInt16 securityMode);
    void channelClosed(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status);
    void sessionCreated(const UaNodeId& sessionId, OpcUa_UInt32 secureChannelId,
                        const OpcUa_ByteString* clientCertificate, OpcUa_Double revisedSessionTimeout,
                        OpcUa_StatusCode status);
    // userName empty: the system is the user. The token is the request's identity token.
    void sessionActivated(const UaNodeId& sessionId, const UaString& userName,
                          const OpcUa_ExtensionObject* userIdentityToken, OpcUa_StatusCode status);
    // The time is the request's, the entry id the request's audit entry id.
    void sessionClosed(const UaNodeId& sessionId, const UaString& userName, const UaDateTime& requestTime,
                       const UaString& clientAuditEntryId, OpcUa_StatusCode status);

    // The 20-byte SHA-1 thumbprint of a DER certificate as 40 upper-case hexadecimal digits; empty
    // for no or an unreadable certificate.
    static UaString thumbprintOf(const OpcUa_ByteString* certificate);

private:
    // Source, message, user and status of every audit event of the server.
    void prepare(AuditEventTypeData& eventData, const char* sourceName, const UaString& clientUserId,
                 OpcUa_StatusCode status) const;

    NodeManagerNS1* m_pNodeManagerNS1;
    UaString m_serverUri;
};

#endif
