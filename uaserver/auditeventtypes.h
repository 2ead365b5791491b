#ifndef UASERVER_AUDITEVENTTYPES_H
#define UASERVER_AUDITEVENTTYPES_H

#include <opcua.h>

// The standard audit event types: one creation routine per type, which creates its supertypes
// first, registers the type and its own fields (filling the type's field map) and adds the type
// node with its properties below the supertype in namespace 0. A routine runs once until its type
// node is destroyed; the event data constructors call it on whatever thread raises an event.
namespace AuditEventTypes
{
// Event type NodeIds.
constexpr OpcUa_UInt32 AuditEventType = 2052;
constexpr OpcUa_UInt32 AuditSecurityEventType = 2058;
constexpr OpcUa_UInt32 AuditChannelEventType = 2059;
constexpr OpcUa_UInt32 AuditOpenSecureChannelEventType = 2060;
constexpr OpcUa_UInt32 AuditSessionEventType = 2069;
constexpr OpcUa_UInt32 AuditCreateSessionEventType = 2071;
constexpr OpcUa_UInt32 AuditActivateSessionEventType = 2075;

void createAuditEventType();
void createAuditSecurityEventType();
void createAuditChannelEventType();
void createAuditOpenSecureChannelEventType();
void createAuditSessionEventType();
void createAuditCreateSessionEventType();
void createAuditUrlMismatchEventType();
void createAuditActivateSessionEventType();
void createAuditCancelEventType();
void createAuditCertificateEventType();
void createAuditCertificateDataMismatchEventType();
void createAuditCertificateExpiredEventType();
void createAuditCertificateInvalidEventType();
void createAuditCertificateUntrustedEventType();
void createAuditCertificateRevokedEventType();
void createAuditCertificateMismatchEventType();
void createAuditUpdateEventType();
void createAuditWriteUpdateEventType();

// The creations a server with auditing makes at start-up, in their order.
void createAll();

// The local number of a global field index among the type's own fields; false when the type has
// no such field (or is no audit type).
bool findLocalField(OpcUa_UInt32 typeId, OpcUa_UInt32 fieldIndex, OpcUa_UInt32& localNumber);
// Whether the routine of the type has run since its type node was last destroyed.
bool isCreated(OpcUa_UInt32 typeId);
} // namespace AuditEventTypes

#endif
