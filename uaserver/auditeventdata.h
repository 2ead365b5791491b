#ifndef UASERVER_AUDITEVENTDATA_H
#define UASERVER_AUDITEVENTDATA_H

#include "eventdata.h"

#include <uaextensionobject.h>

#include <memory>
#include <vector>

// The values of one level's own fields, owned, each null until it is set.
class AuditFieldValues
{
public:
    explicit AuditFieldValues(size_t count) : m_values(count) {}
    // The value of a field by its local number (from 1), made empty on first use.
    UaVariant& at(OpcUa_UInt32 localNumber);
    // Empty for a field never set.
    void get(OpcUa_UInt32 localNumber, OpcUa_Variant& value) const;

private:
    std::vector<std::unique_ptr<UaVariant>> m_values;
};

// The event data of the audit events the server raises itself. Each level holds its own fields
// and answers a field index that its event type's field map names (the type registered the field
// name); any other index goes to the level above. So an index resolves at the most derived level
// that registered the name. Each level's constructor sets its event type and a new EventId, and
// creates the type when it does not exist yet.
class AuditEventTypeData : public BaseEventTypeData
{
public:
    AuditEventTypeData();

    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setActionTimeStamp(const UaDateTime& actionTimeStamp);
    void setClientAuditEntryId(const UaString& clientAuditEntryId);
    void setClientUserId(const UaString& clientUserId);
    void setServerId(const UaString& serverId);
    void setStatus(OpcUa_Boolean status);
    virtual void getActionTimeStamp(Session* session, OpcUa_Variant& value);
    virtual void getClientAuditEntryId(Session* session, OpcUa_Variant& value);
    virtual void getClientUserId(Session* session, OpcUa_Variant& value);
    virtual void getServerId(Session* session, OpcUa_Variant& value);
    virtual void getStatus(Session* session, OpcUa_Variant& value);

protected:
    // The start of each level: its event type, a new EventId, and its type created when missing.
    void startLevel(OpcUa_UInt32 eventTypeId, void (*createType)());

private:
    AuditFieldValues m_fields{5};
};

class AuditSecurityEventTypeData : public AuditEventTypeData
{
public:
    AuditSecurityEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;
};

class AuditChannelEventTypeData : public AuditSecurityEventTypeData
{
public:
    AuditChannelEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setSecureChannelId(const UaString& secureChannelId);
    virtual void getSecureChannelId(Session* session, OpcUa_Variant& value);

private:
    AuditFieldValues m_fields{1};
};

// Below AuditEventTypeData, as its type lies below AuditEventType.
class AuditSessionEventTypeData : public AuditEventTypeData
{
public:
    AuditSessionEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setSessionId(const UaNodeId& sessionId);
    virtual void getSessionId(Session* session, OpcUa_Variant& value);

private:
    AuditFieldValues m_fields{1};
};

class AuditOpenSecureChannelEventTypeData : public AuditChannelEventTypeData
{
public:
    AuditOpenSecureChannelEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setClientCertificate(const UaByteString& clientCertificate);
    void setClientCertificateThumbprint(const UaString& clientCertificateThumbprint);
    void setRequestedLifetime(OpcUa_Double requestedLifetime);
    void setRequestType(OpcUa_Int32 requestType);
    void setSecurityMode(OpcUa_Int32 securityMode);
    void setSecurityPolicyUri(const UaString& securityPolicyUri);
    virtual void getClientCertificate(Session* session, OpcUa_Variant& value);
    virtual void getClientCertificateThumbprint(Session* session, OpcUa_Variant& value);
    virtual void getRequestedLifetime(Session* session, OpcUa_Variant& value);
    virtual void getRequestType(Session* session, OpcUa_Variant& value);
    virtual void getSecurityMode(Session* session, OpcUa_Variant& value);
    virtual void getSecurityPolicyUri(Session* session, OpcUa_Variant& value);

private:
    AuditFieldValues m_fields{6};
};

class AuditCreateSessionEventTypeData : public AuditSessionEventTypeData
{
public:
    AuditCreateSessionEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setClientCertificate(const UaByteString& clientCertificate);
    void setClientCertificateThumbprint(const UaString& clientCertificateThumbprint);
    void setRevisedSessionTimeout(OpcUa_Double revisedSessionTimeout);
    void setSecureChannelId(const UaString& secureChannelId);
    virtual void getClientCertificate(Session* session, OpcUa_Variant& value);
    virtual void getClientCertificateThumbprint(Session* session, OpcUa_Variant& value);
    virtual void getRevisedSessionTimeout(Session* session, OpcUa_Variant& value);
    virtual void getSecureChannelId(Session* session, OpcUa_Variant& value);

private:
    AuditFieldValues m_fields{4};
};

// The server raises AuditActivateSessionEventType too; its data carries the identity token.
class AuditActivateSessionEventTypeData : public AuditSessionEventTypeData
{
public:
    AuditActivateSessionEventTypeData();
    void getFieldData(OpcUa_UInt32 fieldIndex, Session* session, OpcUa_Variant& value) override;

    void setUserIdentityToken(const UaExtensionObject& userIdentityToken);
    virtual void getUserIdentityToken(Session* session, OpcUa_Variant& value);

private:
    AuditFieldValues m_fields{1};
};

#endif
