// The event data of the audit events: fields resolved level by level, event ids and sources.
#include "testvalues.h"

#include <auditeventdata.h>
#include <eventregistry.h>
#include <uaobjectbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using testvalues::fieldText;

namespace
{
OpcUa_UInt32 indexOf(const char* name)
{
    return EventRegistry::findEventField(EventRegistry::fieldKey(UaQualifiedName(name, 0)));
}

} // namespace

TEST(AuditEventData, FieldsResolveAtTheMostDerivedLevelThatRegisteredThem)
{
    auto createSession = std::make_unique<AuditCreateSessionEventTypeData>();
    createSession->setSecureChannelId("7");
    createSession->setSessionId(UaNodeId(9, 1));
    createSession->setClientUserId("System/CreateSession");
    auto channel = std::make_unique<AuditOpenSecureChannelEventTypeData>();
    channel->setSecureChannelId("5");
    channel->setRequestType(0);
    auto activate = std::make_unique<AuditActivateSessionEventTypeData>();
    UaExtensionObject token;
    token.createBody(&OpcUa_AnonymousIdentityToken_EncodeableType);
    activate->setUserIdentityToken(token);
    BaseEventTypeData base;

    struct Row
    {
        const char* what;
        EventData* event;
        OpcUa_UInt32 fieldIndex;
        std::string expected;
    };
    const Row rows[] = {
        {"own 4th field of create session", createSession.get(), indexOf("SecureChannelId"), "7"},
        {"session level of create session", createSession.get(), indexOf("SessionId"), "ns=1;i=9"},
        {"audit level of create session", createSession.get(), indexOf("ClientUserId"),
         "System/CreateSession"},
        {"channel level of open channel", channel.get(), indexOf("SecureChannelId"), "5"},
        {"own field of open channel", channel.get(), indexOf("RequestType"), "0"},
        {"sibling's field", channel.get(), indexOf("SessionId"), "<empty>"},
        {"never set", channel.get(), indexOf("ClientCertificateThumbprint"), "<empty>"},
        {"never set above", createSession.get(), indexOf("ServerId"), "<empty>"},
        {"event type of create session", createSession.get(), 2, "ns=0;i=2071"},
        {"event type of open channel", channel.get(), 2, "ns=0;i=2060"},
        {"event type of activate session", activate.get(), 2, "ns=0;i=2075"},
        {"event type of base", &base, 2, "ns=0;i=2041"},
        {"index no type registered", createSession.get(), 100000, "<empty>"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(fieldText(row.event->fieldValue(row.fieldIndex, nullptr)), row.expected) << row.what;

    const UaVariant identity = activate->fieldValue(indexOf("UserIdentityToken"), nullptr);
    ASSERT_EQ(identity.type(), OpcUaType_ExtensionObject);
    const OpcUa_ExtensionObject* object = static_cast<const OpcUa_Variant*>(identity)->Value.ExtensionObject;
    EXPECT_EQ(object->Body.EncodeableObject.Type->TypeId, OpcUa_AnonymousIdentityToken_EncodeableType.TypeId);
}

TEST(AuditEventData, EventIdsAreNewGuidsWithTheirPrefix)
{
    AuditChannelEventTypeData first;
    AuditChannelEventTypeData second;
    EXPECT_EQ(first.getEventId().length(), 16);
    EXPECT_EQ(second.getEventId().length(), 16);
    EXPECT_NE(first.getEventId(), second.getEventId());

    const OpcUa_Byte prefixBytes[] = {'a', 'b', 'c'};
    UaByteString prefix;
    prefix.setByteString(3, prefixBytes);
    const UaDateTime time = UaDateTime::fromInt64(134170560000000000LL);
    const UaDateTime receiveTime = UaDateTime::fromInt64(134170560010000000LL);
    first.setTimesAndEventId(time, receiveTime, prefix);
    const UaByteString eventId = first.getEventId();
    ASSERT_EQ(eventId.length(), 19);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(eventId.data()) + 16, 3), "abc");
    EXPECT_EQ(first.getTime().toInt64(), time.toInt64());
    EXPECT_EQ(first.getReceiveTime().toInt64(), receiveTime.toInt64());
}

TEST(AuditEventData, SourceKeepsTheNameTextAndCopiesTakeAllBaseFields)
{
    auto* node = new UaFolder("Motor", UaNodeId(5, 2), "en");
    AuditSessionEventTypeData event;
    event.setSource(node);
    node->releaseReference();
    EXPECT_EQ(event.getSourceNode(), UaNodeId(5, 2));
    EXPECT_EQ(std::string(event.getSourceName().toUtf8()), "Motor");
    EXPECT_EQ(fieldText(event.fieldValue(4, nullptr)), "Motor");

    event.setMessage(UaLocalizedText("", "Session/CloseSession"));
    event.setSeverity(500);
    BaseEventTypeData copy;
    copy.copyBaseFields(event);
    for (OpcUa_UInt32 index = 1; index <= 9; ++index)
        EXPECT_EQ(fieldText(copy.fieldValue(index, nullptr)), fieldText(event.fieldValue(index, nullptr)))
            << index;
}
