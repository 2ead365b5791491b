#include "auditeventdata.h"

#include "auditeventtypes.h"

#include <initializer_list>

namespace
{
// Answers the index at this level when the level's event type registered it: the getter of its
// local number (empty when the level has none); false sends the index to the level above.
template <typename Level>
bool readLevelField(Level& level, OpcUa_UInt32 eventTypeId, OpcUa_UInt32 fieldIndex, Session* session,
                    OpcUa_Variant& value,
                    std::initializer_list<void (Level::*)(Session*, OpcUa_Variant&)> getters)
{
    OpcUa_UInt32 localNumber = 0;
    if (!AuditEventTypes::findLocalField(eventTypeId, fieldIndex, localNumber))
        return false;
    if (localNumber >= 1 && localNumber <= getters.size())
        (level.*(getters.begin()[localNumber - 1]))(session, value);
    else
        OpcUa_Variant_Initialize(&value);
    return true;
}
} // namespace

UaVariant& AuditFieldValues::at(OpcUa_UInt32 localNumber)
{
    std::unique_ptr<UaVariant>& slot = m_values.at(localNumber - 1);
    if (!slot)
        slot = std::make_unique<UaVariant>();
    return *slot;
}

void AuditFieldValues::get(OpcUa_UInt32 localNumber, OpcUa_Variant& value) const
{
    OpcUa_Variant_Initialize(&value);
    if (localNumber >= 1 && localNumber <= m_values.size() && m_values[localNumber - 1])
        m_values[localNumber - 1]->copyTo(&value);
}

// AuditEventType

AuditEventTypeData::AuditEventTypeData()
{
    startLevel(AuditEventTypes::AuditEventType, AuditEventTypes::createAuditEventType);
}

void AuditEventTypeData::startLevel(OpcUa_UInt32 eventTypeId, void (*createType)())
{
    m_eventType = UaNodeId(eventTypeId, 0);
    UaByteString eventId;
    createEventId(UaByteString(), eventId);
    m_eventId.setByteString(eventId, true);
    // The creation itself tells whether the type exists, under its lock.
    createType();
}

void AuditEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value)
{
    if (!readLevelField<AuditEventTypeData>(
            *this, AuditEventTypes::AuditEventType, fieldIndex, session, value,
            {&AuditEventTypeData::getActionTimeStamp, &AuditEventTypeData::getClientAuditEntryId,
             &AuditEventTypeData::getClientUserId, &AuditEventTypeData::getServerId,
             &AuditEventTypeData::getStatus}))
        BaseEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditEventTypeData::setActionTimeStamp(const UaDateTime& actionTimeStamp)
{
    m_fields.at(1).setDateTime(actionTimeStamp);
}
void AuditEventTypeData::setClientAuditEntryId(const UaString& clientAuditEntryId)
{
    m_fields.at(2).setString(clientAuditEntryId);
}
void AuditEventTypeData::setClientUserId(const UaString& clientUserId)
{
    m_fields.at(3).setString(clientUserId);
}
void AuditEventTypeData::setServerId(const UaString& serverId)
{
    m_fields.at(4).setString(serverId);
}
void AuditEventTypeData::setStatus(OpcUa_Boolean status)
{
    m_fields.at(5).setBool(status);
}
void AuditEventTypeData::getActionTimeStamp(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}
void AuditEventTypeData::getClientAuditEntryId(Session*, OpcUa_Variant& value)
{
    m_fields.get(2, value);
}
void AuditEventTypeData::getClientUserId(Session*, OpcUa_Variant& value)
{
    m_fields.get(3, value);
}
void AuditEventTypeData::getServerId(Session*, OpcUa_Variant& value)
{
    m_fields.get(4, value);
}
void AuditEventTypeData::getStatus(Session*, OpcUa_Variant& value)
{
    m_fields.get(5, value);
}

// AuditSecurityEventType: no fields of its own.

AuditSecurityEventTypeData::AuditSecurityEventTypeData()
{
    startLevel(AuditEventTypes::AuditSecurityEventType, AuditEventTypes::createAuditSecurityEventType);
}

void AuditSecurityEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value)
{
    if (!readLevelField<AuditSecurityEventTypeData>(*this, AuditEventTypes::AuditSecurityEventType,
                                                    fieldIndex, session, value, {}))
        AuditEventTypeData::getFieldData(fieldIndex, session, value);
}

// AuditChannelEventType

AuditChannelEventTypeData::AuditChannelEventTypeData()
{
    startLevel(AuditEventTypes::AuditChannelEventType, AuditEventTypes::createAuditChannelEventType);
}

void AuditChannelEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value)
{
    if (!readLevelField<AuditChannelEventTypeData>(*this, AuditEventTypes::AuditChannelEventType, fieldIndex,
                                                   session, value,
                                                   {&AuditChannelEventTypeData::getSecureChannelId}))
        AuditSecurityEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditChannelEventTypeData::setSecureChannelId(const UaString& secureChannelId)
{
    m_fields.at(1).setString(secureChannelId);
}
void AuditChannelEventTypeData::getSecureChannelId(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}

// AuditSessionEventType

AuditSessionEventTypeData::AuditSessionEventTypeData()
{
    startLevel(AuditEventTypes::AuditSessionEventType, AuditEventTypes::createAuditSessionEventType);
}

void AuditSessionEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value)
{
    if (!readLevelField<AuditSessionEventTypeData>(*this, AuditEventTypes::AuditSessionEventType, fieldIndex,
                                                   session, value,
                                                   {&AuditSessionEventTypeData::getSessionId}))
        AuditEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditSessionEventTypeData::setSessionId(const UaNodeId& sessionId)
{
    m_fields.at(1).setNodeId(sessionId);
}
void AuditSessionEventTypeData::getSessionId(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}

// AuditOpenSecureChannelEventType

AuditOpenSecureChannelEventTypeData::AuditOpenSecureChannelEventTypeData()
{
    startLevel(AuditEventTypes::AuditOpenSecureChannelEventType,
               AuditEventTypes::createAuditOpenSecureChannelEventType);
}

void AuditOpenSecureChannelEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session,
                                                       OpcUa_Variant& value)
{
    using Self = AuditOpenSecureChannelEventTypeData;
    if (!readLevelField<Self>(
            *this, AuditEventTypes::AuditOpenSecureChannelEventType, fieldIndex, session, value,
            {&Self::getClientCertificate, &Self::getClientCertificateThumbprint, &Self::getRequestedLifetime,
             &Self::getRequestType, &Self::getSecurityMode, &Self::getSecurityPolicyUri}))
        AuditChannelEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditOpenSecureChannelEventTypeData::setClientCertificate(const UaByteString& clientCertificate)
{
    UaByteString copy(clientCertificate);
    m_fields.at(1).setByteString(copy, true);
}
void AuditOpenSecureChannelEventTypeData::setClientCertificateThumbprint(const UaString& thumbprint)
{
    m_fields.at(2).setString(thumbprint);
}
void AuditOpenSecureChannelEventTypeData::setRequestedLifetime(OpcUa_Double requestedLifetime)
{
    m_fields.at(3).setDouble(requestedLifetime);
}
void AuditOpenSecureChannelEventTypeData::setRequestType(OpcUa_Int32 requestType)
{
    m_fields.at(4).setInt32(requestType);
}
void AuditOpenSecureChannelEventTypeData::setSecurityMode(OpcUa_Int32 securityMode)
{
    m_fields.at(5).setInt32(securityMode);
}
void AuditOpenSecureChannelEventTypeData::setSecurityPolicyUri(const UaString& securityPolicyUri)
{
    m_fields.at(6).setString(securityPolicyUri);
}
void AuditOpenSecureChannelEventTypeData::getClientCertificate(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}
void AuditOpenSecureChannelEventTypeData::getClientCertificateThumbprint(Session*, OpcUa_Variant& value)
{
    m_fields.get(2, value);
}
void AuditOpenSecureChannelEventTypeData::getRequestedLifetime(Session*, OpcUa_Variant& value)
{
    m_fields.get(3, value);
}
void AuditOpenSecureChannelEventTypeData::getRequestType(Session*, OpcUa_Variant& value)
{
    m_fields.get(4, value);
}
void AuditOpenSecureChannelEventTypeData::getSecurityMode(Session*, OpcUa_Variant& value)
{
    m_fields.get(5, value);
}
void AuditOpenSecureChannelEventTypeData::getSecurityPolicyUri(Session*, OpcUa_Variant& value)
{
    m_fields.get(6, value);
}

// AuditCreateSessionEventType

AuditCreateSessionEventTypeData::AuditCreateSessionEventTypeData()
{
    startLevel(AuditEventTypes::AuditCreateSessionEventType,
               AuditEventTypes::createAuditCreateSessionEventType);
}

void AuditCreateSessionEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session,
                                                   OpcUa_Variant& value)
{
    using Self = AuditCreateSessionEventTypeData;
    if (!readLevelField<Self>(*this, AuditEventTypes::AuditCreateSessionEventType, fieldIndex, session, value,
                              {&Self::getClientCertificate, &Self::getClientCertificateThumbprint,
                               &Self::getRevisedSessionTimeout, &Self::getSecureChannelId}))
        AuditSessionEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditCreateSessionEventTypeData::setClientCertificate(const UaByteString& clientCertificate)
{
    UaByteString copy(clientCertificate);
    m_fields.at(1).setByteString(copy, true);
}
void AuditCreateSessionEventTypeData::setClientCertificateThumbprint(const UaString& thumbprint)
{
    m_fields.at(2).setString(thumbprint);
}
void AuditCreateSessionEventTypeData::setRevisedSessionTimeout(OpcUa_Double revisedSessionTimeout)
{
    m_fields.at(3).setDouble(revisedSessionTimeout);
}
void AuditCreateSessionEventTypeData::setSecureChannelId(const UaString& secureChannelId)
{
    m_fields.at(4).setString(secureChannelId);
}
void AuditCreateSessionEventTypeData::getClientCertificate(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}
void AuditCreateSessionEventTypeData::getClientCertificateThumbprint(Session*, OpcUa_Variant& value)
{
    m_fields.get(2, value);
}
void AuditCreateSessionEventTypeData::getRevisedSessionTimeout(Session*, OpcUa_Variant& value)
{
    m_fields.get(3, value);
}
void AuditCreateSessionEventTypeData::getSecureChannelId(Session*, OpcUa_Variant& value)
{
    m_fields.get(4, value);
}

// AuditActivateSessionEventType

AuditActivateSessionEventTypeData::AuditActivateSessionEventTypeData()
{
    startLevel(AuditEventTypes::AuditActivateSessionEventType,
               AuditEventTypes::createAuditActivateSessionEventType);
}

void AuditActivateSessionEventTypeData::getFieldData(OpcUa_UInt32 fieldIndex, Session* session,
                                                     OpcUa_Variant& value)
{
    if (!readLevelField<AuditActivateSessionEventTypeData>(
            *this, AuditEventTypes::AuditActivateSessionEventType, fieldIndex, session, value,
            {&AuditActivateSessionEventTypeData::getUserIdentityToken}))
        AuditSessionEventTypeData::getFieldData(fieldIndex, session, value);
}

void AuditActivateSessionEventTypeData::setUserIdentityToken(const UaExtensionObject& userIdentityToken)
{
    UaExtensionObject copy(userIdentityToken);
    m_fields.at(1).setExtensionObject(copy, true);
}
void AuditActivateSessionEventTypeData::getUserIdentityToken(Session*, OpcUa_Variant& value)
{
    m_fields.get(1, value);
}
