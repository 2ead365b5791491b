#include "auditeventtypes.h"

#include "eventtypecreation.h"
#include "standardnodeids.h"

#include <uaextensionobject.h>

#include <map>

using namespace EventTypeCreation;

namespace
{
// Never destroyed: a type node's release hook may run during static destruction.
template <OpcUa_UInt32 TypeId> FieldMap& fieldMap()
{
    static auto* map = new FieldMap;
    return *map;
}

template <OpcUa_UInt32 TypeId> void releaseType()
{
    createdFlag<TypeId>() = false;
    fieldMap<TypeId>().clear();
}

// The row of a type is made on its first creation and kept; the properties are its own fields.
template <OpcUa_UInt32 TypeId>
void create(const char* name, OpcUa_UInt32 superTypeId, void (*createSuperType)(),
            std::vector<PropertyRow> fields = {})
{
    static const TypeRow row{createdFlag<TypeId>(),
                             releaseType<TypeId>,
                             TypeId,
                             name,
                             superTypeId,
                             createSuperType,
                             Registration::Event,
                             std::move(fields),
                             &fieldMap<TypeId>()};
    createType(row);
}

template <typename Value> std::function<UaVariant()> valueOf(void (UaVariant::*set)(Value), Value value)
{
    return [set, value]
    {
        UaVariant variant;
        (variant.*set)(value);
        return variant;
    };
}

UaVariant emptyExtensionObject()
{
    UaExtensionObject none;
    UaVariant value;
    value.setExtensionObject(none, false);
    return value;
}

UaVariant emptyValue()
{
    return UaVariant();
}

struct TypeState
{
    FieldMap* map;
    std::atomic<bool>* created;
};

template <OpcUa_UInt32 TypeId> std::pair<const OpcUa_UInt32, TypeState> stateOf()
{
    return {TypeId, {&fieldMap<TypeId>(), &createdFlag<TypeId>()}};
}

const std::map<OpcUa_UInt32, TypeState>& typeStates()
{
    static const std::map<OpcUa_UInt32, TypeState> states = {
        stateOf<2052>(), stateOf<2058>(), stateOf<2059>(), stateOf<2060>(), stateOf<2069>(), stateOf<2071>(),
        stateOf<2748>(), stateOf<2075>(), stateOf<2078>(), stateOf<2080>(), stateOf<2082>(), stateOf<2085>(),
        stateOf<2086>(), stateOf<2087>(), stateOf<2088>(), stateOf<2089>(), stateOf<2099>(), stateOf<2100>(),
    };
    return states;
}
} // namespace

namespace AuditEventTypes
{
void createAuditEventType()
{
    create<AuditEventType>("AuditEventType", StandardNodeId::BaseEventType, nullptr,
                           {{2053, "ActionTimeStamp", nullDateTime, 0},
                            {2056, "ClientAuditEntryId", emptyString, 0},
                            {2057, "ClientUserId", emptyString, 0},
                            {2055, "ServerId", emptyString, 0},
                            {2054, "Status", valueOf<OpcUa_Boolean>(&UaVariant::setBool, OpcUa_False), 0}});
}

void createAuditSecurityEventType()
{
    create<AuditSecurityEventType>("AuditSecurityEventType", AuditEventType, createAuditEventType);
}

void createAuditChannelEventType()
{
    create<AuditChannelEventType>("AuditChannelEventType", AuditSecurityEventType,
                                  createAuditSecurityEventType, {{2745, "SecureChannelId", emptyString, 0}});
}

void createAuditOpenSecureChannelEventType()
{
    create<AuditOpenSecureChannelEventType>(
        "AuditOpenSecureChannelEventType", AuditChannelEventType, createAuditChannelEventType,
        {{2061, "ClientCertificate", emptyByteString, 0},
         {2746, "ClientCertificateThumbprint", emptyString, 0},
         {2066, "RequestedLifetime", valueOf<OpcUa_Double>(&UaVariant::setDouble, 0.0), 0},
         {2062, "RequestType", valueOf<OpcUa_Int32>(&UaVariant::setInt32, 0), 0},
         {2065, "SecurityMode", valueOf<OpcUa_Int32>(&UaVariant::setInt32, 0), 0},
         {2063, "SecurityPolicyUri", emptyString, 0}});
}

// Below AuditEventType, not AuditSecurityEventType, in the node tree and the registry alike.
void createAuditSessionEventType()
{
    create<AuditSessionEventType>("AuditSessionEventType", AuditEventType, createAuditEventType,
                                  {{2070, "SessionId", nullNodeId, 0}});
}

void createAuditCreateSessionEventType()
{
    create<AuditCreateSessionEventType>(
        "AuditCreateSessionEventType", AuditSessionEventType, createAuditSessionEventType,
        {{2073, "ClientCertificate", emptyByteString, 0},
         {2747, "ClientCertificateThumbprint", emptyString, 0},
         {2074, "RevisedSessionTimeout", valueOf<OpcUa_Double>(&UaVariant::setDouble, 0.0), 0},
         {2072, "SecureChannelId", emptyString, 0}});
}

void createAuditUrlMismatchEventType()
{
    create<2748>("AuditUrlMismatchEventType", AuditCreateSessionEventType, createAuditCreateSessionEventType,
                 {{2749, "EndpointUrl", emptyString, 0}});
}

void createAuditActivateSessionEventType()
{
    create<AuditActivateSessionEventType>("AuditActivateSessionEventType", AuditSessionEventType,
                                          createAuditSessionEventType,
                                          {{2077, "UserIdentityToken", emptyExtensionObject, 0}});
}

void createAuditCancelEventType()
{
    create<2078>("AuditCancelEventType", AuditSessionEventType, createAuditSessionEventType,
                 {{2079, "RequestHandle", valueOf<OpcUa_UInt32>(&UaVariant::setUInt32, 0u), 0}});
}

void createAuditCertificateEventType()
{
    create<2080>("AuditCertificateEventType", AuditSecurityEventType, createAuditSecurityEventType,
                 {{2081, "Certificate", emptyByteString, 0}});
}

void createAuditCertificateDataMismatchEventType()
{
    create<2082>("AuditCertificateDataMismatchEventType", 2080, createAuditCertificateEventType,
                 {{2083, "InvalidHostname", emptyString, 0}, {2084, "InvalidUri", emptyString, 0}});
}

void createAuditCertificateExpiredEventType()
{
    create<2085>("AuditCertificateExpiredEventType", 2080, createAuditCertificateEventType);
}

void createAuditCertificateInvalidEventType()
{
    create<2086>("AuditCertificateInvalidEventType", 2080, createAuditCertificateEventType);
}

void createAuditCertificateUntrustedEventType()
{
    create<2087>("AuditCertificateUntrustedEventType", 2080, createAuditCertificateEventType);
}

void createAuditCertificateRevokedEventType()
{
    create<2088>("AuditCertificateRevokedEventType", 2080, createAuditCertificateEventType);
}

void createAuditCertificateMismatchEventType()
{
    create<2089>("AuditCertificateMismatchEventType", 2080, createAuditCertificateEventType);
}

void createAuditUpdateEventType()
{
    create<2099>("AuditUpdateEventType", AuditEventType, createAuditEventType);
}

void createAuditWriteUpdateEventType()
{
    create<2100>("AuditWriteUpdateEventType", 2099, createAuditUpdateEventType,
                 {{2750, "AttributeId", valueOf<OpcUa_UInt32>(&UaVariant::setUInt32, 0u), 0},
                  {2103, "NewValue", emptyValue, 0},
                  {2102, "OldValue", emptyValue, 0}});
}

void createAll()
{
    for (void (*creation)() :
         {createAuditOpenSecureChannelEventType, createAuditUrlMismatchEventType,
          createAuditActivateSessionEventType, createAuditCancelEventType,
          createAuditCertificateDataMismatchEventType, createAuditCertificateExpiredEventType,
          createAuditCertificateInvalidEventType, createAuditCertificateUntrustedEventType,
          createAuditCertificateRevokedEventType, createAuditCertificateMismatchEventType,
          createAuditWriteUpdateEventType})
        creation();
}

bool findLocalField(OpcUa_UInt32 typeId, OpcUa_UInt32 fieldIndex, OpcUa_UInt32& localNumber)
{
    const auto state = typeStates().find(typeId);
    return state != typeStates().end() && state->second.map->find(fieldIndex, localNumber);
}

bool isCreated(OpcUa_UInt32 typeId)
{
    const auto state = typeStates().find(typeId);
    return state != typeStates().end() && state->second.created->load();
}
} // namespace AuditEventTypes
