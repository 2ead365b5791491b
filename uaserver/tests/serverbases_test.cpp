// The small bases of the standard model: event data of BaseEventType, the EventId, the counter user
// data and the Server object's base with its ServerType registration.
#include "nodemanagertestbed.h"

#include "counteruserdata.h"
#include "eventdata.h"
#include "servertypebase.h"
#include "uatypenodesns0.h"

#include <atomic>
#include <cstring>

using namespace testbed;

namespace
{

// The Server object of the standard model gives the event notifier.
class ServerObject : public ServerTypeBase
{
public:
    using ServerTypeBase::ServerTypeBase;
    OpcUa_Byte eventNotifier() const override { return 1; }
};

UaVariant field(EventData& event, OpcUa_UInt32 index)
{
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    event.getFieldData(index, nullptr, value);
    UaVariant result(value);
    OpcUa_Variant_Clear(&value);
    return result;
}

TEST(ServerBases, BaseEventDataAnswersItsNineFieldsByIndex)
{
    BaseEventTypeData empty;
    for (OpcUa_UInt32 index : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 200u})
        EXPECT_TRUE(field(empty, index).isEmpty()) << index;
    UaNodeId type;
    ASSERT_EQ(field(empty, BaseEventField::EventType).toNodeId(type), OpcUa_Good);
    EXPECT_EQ(type, UaNodeId(2041, 0));
    EXPECT_TRUE(empty.getConditionNodeId().isNull());
    EXPECT_FALSE(empty.getRetain());

    BaseEventTypeData event;
    UaByteString id;
    EventData::createEventId(UaByteString(), id);
    event.setEventId(id);
    event.setSourceNode(UaNodeId("Spindle", 2));
    event.setSourceName("Spindle");
    event.setTime(UaDateTime::fromInt64(1000));
    event.setReceiveTime(UaDateTime::fromInt64(1001));
    event.setMessage(UaLocalizedText("en", "Overload"));
    event.setSeverity(700);
    UaByteString readId;
    field(event, BaseEventField::EventId).toByteString(readId);
    EXPECT_TRUE(readId == id);
    UaNodeId source;
    field(event, BaseEventField::SourceNode).toNodeId(source);
    EXPECT_EQ(source, UaNodeId("Spindle", 2));
    EXPECT_STREQ(field(event, BaseEventField::SourceName).toString().toUtf8(), "Spindle");
    UaDateTime time;
    field(event, BaseEventField::ReceiveTime).toDateTime(time);
    EXPECT_EQ(time, UaDateTime::fromInt64(1001));
    UaLocalizedText message;
    field(event, BaseEventField::Message).toLocalizedText(message);
    EXPECT_STREQ(message.text().toUtf8(), "Overload");
    EXPECT_TRUE(field(event, BaseEventField::Severity) == UaVariant(static_cast<OpcUa_UInt16>(700)));
    EXPECT_TRUE(field(event, BaseEventField::LocalTime).isEmpty());
}

TEST(ServerBases, EventIdsAreFreshGuidsFollowedByThePrefix)
{
    const OpcUa_Byte prefixBytes[] = {0xAB, 0xCD, 0xEF};
    UaByteString prefix;
    prefix.setByteString(3, prefixBytes);
    UaByteString first;
    UaByteString second;
    EventData::createEventId(prefix, first);
    EventData::createEventId(prefix, second);
    ASSERT_EQ(first.length(), 19);
    EXPECT_EQ(std::memcmp(first.data() + 16, prefixBytes, 3), 0);
    EXPECT_FALSE(first == second);
    UaByteString plain;
    EventData::createEventId(UaByteString(), plain);
    EXPECT_EQ(plain.length(), 16);
}

TEST(ServerBases, CounterUserDataFollowsItsCounter)
{
    std::atomic<OpcUa_Int32> counter{5};
    CounterUserData data(&counter);
    EXPECT_EQ(data.userDataType(), 1u);
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    ASSERT_EQ(data.getValue(value), OpcUa_Good);
    EXPECT_EQ(value.Datatype, OpcUaType_Int32);
    EXPECT_EQ(value.Value.Int32, 5);
    counter = 6;
    ASSERT_EQ(data.getValue(value), OpcUa_Good);
    EXPECT_EQ(value.Value.Int32, 6);

    CounterUserData none(nullptr);
    EXPECT_EQ(none.getValue(value), OpcUa_BadNodeIdInvalid);
    EXPECT_EQ(value.Value.Int32, 6);
    OpcUa_Variant_Clear(&value);
}

TEST(ServerBases, TheServerObjectBaseKeepsItsComponentsAndServerTypeIsRegisteredAgainAfterDeletion)
{
    for (int cycle = 0; cycle < 2; ++cycle)
    {
        SCOPED_TRACE(cycle);
        TestServer server;
        ASSERT_TRUE(server.root
                        .addUaNode(new UaObjectTypePlain(
                            UaNodeId(58, 0), UaQualifiedName("BaseObjectType", 0),
                            UaLocalizedText("en", "BaseObjectType"), UaLocalizedText(), false))
                        .isGood());
        EXPECT_FALSE(StandardTypeNodes::isServerTypeRegistered());
        ASSERT_TRUE(StandardTypeNodes::createServerType());
        EXPECT_TRUE(StandardTypeNodes::isServerTypeRegistered());

        auto* serverObject = new ServerObject("Server", UaNodeId(2253, 0), "en");
        EXPECT_EQ(serverObject->typeDefinitionId(), UaNodeId(2004, 0));
        auto* serverArray = new UaFolder("ServerArray", UaNodeId(2254, 0), "en");
        EXPECT_EQ(serverObject->component(0), nullptr);
        serverObject->setComponent(0, serverArray);
        serverObject->setComponent(ServerTypeBase::ComponentCount, serverArray);
        EXPECT_EQ(serverObject->component(0), serverArray);
        EXPECT_EQ(serverObject->component(ServerTypeBase::ComponentCount), nullptr);
        serverObject->releaseReference();
        serverArray->releaseReference();

        auto type = ReferenceHolder<UaNode>::adopt(server.root.getNode(UaNodeId(2004, 0)));
        ASSERT_TRUE(type);
        EXPECT_EQ(type->nodeClass(), OpcUa_NodeClass_ObjectType);
        ASSERT_TRUE(server.root.deleteUaNode(type.get(), true, true, false).isGood());
        type.reset();
        EXPECT_FALSE(StandardTypeNodes::isServerTypeRegistered());
        ASSERT_TRUE(StandardTypeNodes::createServerType());
        EXPECT_TRUE(StandardTypeNodes::isServerTypeRegistered());
    }
}

} // namespace
