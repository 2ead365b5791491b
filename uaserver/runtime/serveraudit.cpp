#include "serveraudit.h"

#include "nodemanagerwithevents.h"

#include <hextext.h>
#include <standardnodeids.h>
#include <uapkicertificate.h>

#include <string>

namespace
{
constexpr OpcUa_UInt16 kAuditSeverity = 500;

UaByteString copyOf(const OpcUa_ByteString* bytes)
{
    return bytes && bytes->Length > 0 ? UaByteString(bytes->Length, bytes->Data) : UaByteString();
}

UaString userOr(const UaString& userName, const char* system)
{
    return userName.isEmpty() ? UaString(system) : userName;
}
} // namespace

void ServerAudit::fire(AuditEventTypeData& eventData)
{
    const UaDateTime now = UaDateTime::now();
    if (eventData.getTime().toInt64() == 0)
        eventData.setTime(now);
    eventData.setReceiveTime(now);
    eventData.setSeverity(kAuditSeverity);
    eventData.setServerId(m_serverUri);
    if (m_pNodeManagerNS1)
        m_pNodeManagerNS1->fireEvent(eventData);
}

void ServerAudit::prepare(AuditEventTypeData& eventData, const char* sourceName, const UaString& clientUserId,
                          OpcUa_StatusCode status) const
{
    eventData.setSourceNode(UaNodeId(StandardNodeId::Server, 0));
    eventData.setSourceName(sourceName);
    eventData.setMessage(UaLocalizedText("", sourceName));
    eventData.setClientUserId(clientUserId);
    eventData.setStatus(OpcUa_IsGood(status) ? OpcUa_True : OpcUa_False);
}

void ServerAudit::channelOpened(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status,
                                const OpcUa_ByteString* clientCertificate, const UaString& securityPolicyUri,
                                OpcUa_UInt16 securityMode)
{
    AuditOpenSecureChannelEventTypeData event;
    prepare(event, "SecureChannel/OpenSecureChannel", "System/OpenSecureChannel", status);
    event.setSecureChannelId(std::to_string(secureChannelId).c_str());
    event.setClientCertificate(copyOf(clientCertificate));
    event.setClientCertificateThumbprint(thumbprintOf(clientCertificate));
    event.setRequestType(0);
    event.setRequestedLifetime(0.0);
    event.setSecurityPolicyUri(securityPolicyUri);
    event.setSecurityMode(securityMode);
    fire(event);
}

void ServerAudit::channelClosed(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status)
{
    AuditChannelEventTypeData event;
    prepare(event, "SecureChannel/CloseSecureChannel", "System/CloseSecureChannel", status);
    event.setSecureChannelId(std::to_string(secureChannelId).c_str());
    fire(event);
}

void ServerAudit::sessionCreated(const UaNodeId& sessionId, OpcUa_UInt32 secureChannelId,
                                 const OpcUa_ByteString* clientCertificate,
                                 OpcUa_Double revisedSessionTimeout, OpcUa_StatusCode status)
{
    AuditCreateSessionEventTypeData event;
    prepare(event, "Session/CreateSession", "System/CreateSession", status);
    event.setSessionId(sessionId);
    event.setSecureChannelId(std::to_string(secureChannelId).c_str());
    event.setClientCertificate(copyOf(clientCertificate));
    event.setClientCertificateThumbprint(thumbprintOf(clientCertificate));
    event.setRevisedSessionTimeout(revisedSessionTimeout);
    fire(event);
}

void ServerAudit::sessionActivated(const UaNodeId& sessionId, const UaString& userName,
                                   const OpcUa_ExtensionObject* userIdentityToken, OpcUa_StatusCode status)
{
    AuditActivateSessionEventTypeData event;
    prepare(event, "Session/ActivateSession", userOr(userName, "System/ActivateSession"), status);
    event.setSessionId(sessionId);
    if (userIdentityToken)
        event.setUserIdentityToken(UaExtensionObject(*userIdentityToken));
    fire(event);
}

void ServerAudit::sessionClosed(const UaNodeId& sessionId, const UaString& userName,
                                const UaDateTime& requestTime, const UaString& clientAuditEntryId,
                                OpcUa_StatusCode status)
{
    AuditSessionEventTypeData event;
    prepare(event, "Session/CloseSession", userOr(userName, "System/CloseSession"), status);
    event.setSessionId(sessionId);
    event.setTime(requestTime);
    event.setClientAuditEntryId(clientAuditEntryId);
    fire(event);
}

UaString ServerAudit::thumbprintOf(const OpcUa_ByteString* certificate)
{
    if (!certificate || certificate->Length <= 0)
        return UaString();
    UaPkiCertificate pkiCertificate = UaPkiCertificate::fromDER(copyOf(certificate));
    if (pkiCertificate.isNull())
        return UaString();
    const UaByteString thumbprint = pkiCertificate.thumbPrint();
    return HexText::bytes(thumbprint.data(), static_cast<std::size_t>(thumbprint.length())).c_str();
}
