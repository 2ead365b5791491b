// A subscription's publishing cycle on the test clock and the fake endpoint: keep-alives, data
// notifications, the per-publish maximum, lifetime, retransmission, acknowledgement, Republish,
// triggering, transfer and close.
#include "subscription_fixture.h"

#include "uauseridentitytoken.h"

#include <uatracecapture.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace subscriptiontest;

namespace
{
using SubscriptionTest = SubscriptionFixture;

TEST_F(SubscriptionTest, KeepAlivesComeAfterOneIntervalThenEveryThirdAndCarryTheNextNumber)
{
    UaSubscription* subscription = subscribe(3);
    OpcUa_Handle first = publishRequest(1);
    OpcUa_Handle second = publishRequest(2);
    OpcUa_Handle third = publishRequest(3);

    cycle(subscription);
    const OpcUa_PublishResponse* keepAlive = response(first);
    ASSERT_NE(nullptr, keepAlive);
    EXPECT_EQ(0, keepAlive->NotificationMessage.NoOfNotificationData);
    EXPECT_EQ(1u, keepAlive->NotificationMessage.SequenceNumber);
    EXPECT_EQ(0, keepAlive->NoOfAvailableSequenceNumbers);

    cycle(subscription);
    cycle(subscription);
    EXPECT_FALSE(endpoint.isAnswered(second));
    cycle(subscription);
    ASSERT_NE(nullptr, response(second));
    EXPECT_EQ(1u, response(second)->NotificationMessage.SequenceNumber); // not used up by a keep-alive

    UaMonitoredItemData* item = dataItem(subscription, 7);
    UaDataValue value = valueOf(1.5);
    item->dataChange(value);
    cycle(subscription);
    const Notified notified = notifiedIn(*response(third));
    EXPECT_EQ(1u, response(third)->NotificationMessage.SequenceNumber);
    EXPECT_EQ(std::vector<OpcUa_Double>{1.5}, notified.values);
    EXPECT_EQ(std::vector<OpcUa_UInt32>{7}, notified.handles);
    EXPECT_EQ(UaSubscription::NORMAL, subscription->getState());
}

TEST_F(SubscriptionTest, TheMaximumPerPublishSplitsAndTheJobGoesOnWithTheNextRequests)
{
    UaSubscription* subscription = subscribe(3, 300, 5, 2);
    UaMonitoredItemData* item = dataItem(subscription, 1);
    for (int i = 1; i <= 5; ++i)
    {
        UaDataValue value = valueOf(i);
        item->dataChange(value);
    }
    OpcUa_Handle requests[] = {publishRequest(1), publishRequest(2), publishRequest(3)};
    cycle(subscription);

    const std::vector<std::vector<OpcUa_Double>> expected = {{1, 2}, {3, 4}, {5}};
    for (int i = 0; i < 3; ++i)
    {
        const OpcUa_PublishResponse* answer = response(requests[i]);
        ASSERT_NE(nullptr, answer);
        EXPECT_EQ(expected[i], notifiedIn(*answer).values) << i;
        EXPECT_EQ(i < 2, answer->MoreNotifications != OpcUa_False) << i;
        EXPECT_EQ(static_cast<OpcUa_UInt32>(i + 1), answer->NotificationMessage.SequenceNumber);
    }
}

TEST_F(SubscriptionTest, EventsBeyondTheMaximumStayForTheNextResponse)
{
    UaSubscription* subscription = subscribe(3, 300, 5, 2);
    auto* item = new UaMonitoredItemEvent(UaNodeId(2253, 0), {}, OpcUa_MonitoringMode_Reporting, 9, 100,
                                          nullptr, subscription->itemOwner());
    ASSERT_NE(0u, subscription->addMonitoredItem(item));
    for (int i = 0; i < 5; ++i)
    {
        UaVariantArray fields;
        fields.create(2);
        item->newEvent(fields);
    }
    OpcUa_Handle requests[] = {publishRequest(1), publishRequest(2), publishRequest(3)};
    cycle(subscription);
    const OpcUa_Int32 expected[] = {2, 2, 1};
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_NE(nullptr, response(requests[i]));
        EXPECT_EQ(expected[i], notifiedIn(*response(requests[i])).events) << i;
        EXPECT_EQ(i < 2, response(requests[i])->MoreNotifications != OpcUa_False) << i;
    }
}

TEST_F(SubscriptionTest, ALateSubscriptionClosesWhenItsLifetimeRunsOutAndTheNextPublishSaysSo)
{
    UaSubscription* subscription = subscribe(2, 6);
    cycle(subscription); // the first keep-alive finds no request
    ASSERT_EQ(UaSubscription::LATE, subscription->getState());
    int intervals = 0;
    while (subscription->getState() != UaSubscription::CLOSED && intervals < 20)
    {
        cycle(subscription);
        ++intervals;
    }
    EXPECT_EQ(6, intervals);
    // The manager's thread closes what closed itself.
    subscription->close(false);
    const OpcUa_PublishResponse* answer = response(publishRequest(1));
    ASSERT_NE(nullptr, answer);
    ASSERT_EQ(1, answer->NotificationMessage.NoOfNotificationData);
    const OpcUa_ExtensionObject& data = answer->NotificationMessage.NotificationData[0];
    ASSERT_EQ(&OpcUa_StatusChangeNotification_EncodeableType, data.Body.EncodeableObject.Type);
    EXPECT_EQ(OpcUa_BadTimeout,
              static_cast<OpcUa_StatusChangeNotification*>(data.Body.EncodeableObject.Object)->Status);
}

TEST_F(SubscriptionTest, KeptMessagesAreListedAcknowledgedAndRepublished)
{
    UaSubscription* subscription = subscribe(10, 300, 2);
    UaMonitoredItemData* item = dataItem(subscription, 1);
    const OpcUa_PublishResponse* last = nullptr;
    for (int i = 1; i <= 3; ++i)
    {
        UaDataValue value = valueOf(i);
        item->dataChange(value);
        OpcUa_Handle request = publishRequest(i);
        cycle(subscription);
        last = response(request);
        ASSERT_NE(nullptr, last);
    }
    // Messages 1 and 2 were kept; 3 joins them in the list, and 1 leaves the queue.
    ASSERT_EQ(3, last->NoOfAvailableSequenceNumbers);
    EXPECT_EQ(1u, last->AvailableSequenceNumbers[0]);
    EXPECT_EQ(3u, last->AvailableSequenceNumbers[2]);

    auto republish = [&](OpcUa_UInt32 sequenceNumber, OpcUa_Handle& context)
    {
        context =
            endpoint.openContext(kChannel, &OpcUa_RepublishResponse_EncodeableType, 50 + sequenceNumber);
        OpcUa_RequestHeader header;
        OpcUa_RequestHeader_Initialize(&header);
        header.RequestHandle = 50 + sequenceNumber;
        return subscription->republish(endpoint.handle(), context, header, sequenceNumber).statusCode();
    };
    OpcUa_Handle context = nullptr;
    EXPECT_EQ(OpcUa_BadMessageNotAvailable, republish(1, context));
    OpcUa_Endpoint_CancelSendResponse(endpoint.handle(), OpcUa_BadMessageNotAvailable, nullptr, &context);
    ASSERT_EQ(OpcUa_Good, republish(2, context));
    const auto* again =
        endpoint.waitForAnswer(context).as<OpcUa_RepublishResponse>(OpcUa_RepublishResponse_EncodeableType);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(2u, again->NotificationMessage.SequenceNumber);
    ASSERT_EQ(1, again->NotificationMessage.NoOfNotificationData);

    EXPECT_EQ(OpcUa_Good, subscription->ackNotification(3));
    EXPECT_EQ(OpcUa_BadSequenceNumberUnknown, subscription->ackNotification(3));
    EXPECT_EQ(OpcUa_BadMessageNotAvailable, republish(3, context));
    OpcUa_Endpoint_CancelSendResponse(endpoint.handle(), OpcUa_BadMessageNotAvailable, nullptr, &context);
}

TEST_F(SubscriptionTest, AnAcknowledgementWhileTheMessageIsBeingSentFreesOnlyTheKeptCopy)
{
    UaSubscription* subscription = subscribe(10, 300, 5);
    UaMonitoredItemData* item = dataItem(subscription, 1);
    UaDataValue value = valueOf(42);
    item->dataChange(value);
    OpcUa_Handle request = publishRequest(1);
    clock.advance(100);
    bool due = false;
    subscription->checkPublishTimer(due);
    ASSERT_TRUE(due);

    // The send waits for the session's send lock while the client acknowledges message 1.
    session->lockSendResponse();
    std::thread cycleThread([&] { subscription->checkAvailableNotifications(); });
    while (subscription->ackNotification(1) != OpcUa_Good)
        std::this_thread::yield();
    session->unlockSendResponse();
    cycleThread.join();
    const OpcUa_PublishResponse* answer = response(request);
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(std::vector<OpcUa_Double>{42}, notifiedIn(*answer).values);
}

// The cycles run on the tick count, each due one interval after the one before was due: a wall
// clock set back leaves them alone, and a cycle found late does not push the later ones back.
TEST_F(SubscriptionTest, CyclesKeepTheirRateWhateverTheWallClockAndALateCheckDo)
{
    UaSubscription* subscription = subscribe(1);
    clock.shiftUtc(-3600 * 1000);
    bool due = false;
    const OpcUa_UInt32 left = subscription->checkPublishTimer(due);
    EXPECT_FALSE(due);
    ASSERT_LE(left, 100u);
    clock.advance(left);
    EXPECT_EQ(100u, subscription->checkPublishTimer(due));
    EXPECT_TRUE(due);
    clock.advance(130);
    EXPECT_EQ(70u, subscription->checkPublishTimer(due));
    EXPECT_TRUE(due);
    clock.advance(40);
    EXPECT_EQ(30u, subscription->checkPublishTimer(due));
    EXPECT_FALSE(due);
}

TEST_F(SubscriptionTest, TimestampsAreTrimmedToWhatTheItemAsked)
{
    struct Row
    {
        OpcUa_TimestampsToReturn timestamps;
        bool source;
        bool server;
    };
    const Row rows[] = {{OpcUa_TimestampsToReturn_Source, true, false},
                        {OpcUa_TimestampsToReturn_Server, false, true},
                        {OpcUa_TimestampsToReturn_Both, true, true},
                        {OpcUa_TimestampsToReturn_Neither, false, false}};
    UaSubscription* subscription = subscribe(10);
    for (const Row& row : rows)
    {
        UaMonitoredItemData* item = dataItem(subscription, row.timestamps);
        item->setTimestampsToReturn(row.timestamps);
        UaDataValue value = valueOf(row.timestamps);
        item->dataChange(value);
    }
    OpcUa_Handle request = publishRequest(1);
    cycle(subscription);
    const OpcUa_PublishResponse* answer = response(request);
    ASSERT_NE(nullptr, answer);
    const auto* change = static_cast<OpcUa_DataChangeNotification*>(
        answer->NotificationMessage.NotificationData[0].Body.EncodeableObject.Object);
    ASSERT_EQ(4, change->NoOfMonitoredItems);
    for (int i = 0; i < 4; ++i)
    {
        const OpcUa_DataValue& value = change->MonitoredItems[i].Value;
        EXPECT_EQ(rows[i].source, !UaDateTime(value.SourceTimestamp).isNull()) << i;
        EXPECT_EQ(rows[i].server, !UaDateTime(value.ServerTimestamp).isNull()) << i;
    }
}

TEST_F(SubscriptionTest, ATriggeringItemBringsItsLinkedSamplingItemsAlong)
{
    UaSubscription* subscription = subscribe(10);
    OpcUa_UInt32 trigger = 0, linked = 0;
    UaMonitoredItemData* triggerItem =
        dataItem(subscription, 1, OpcUa_MonitoringMode_Reporting, 10, &trigger);
    UaMonitoredItemData* sampled = dataItem(subscription, 2, OpcUa_MonitoringMode_Sampling, 10, &linked);

    std::vector<OpcUa_StatusCode> added, removed;
    ASSERT_EQ(OpcUa_Good,
              subscription->setTriggering(trigger, {linked, linked, 99}, {77}, added, removed).statusCode());
    EXPECT_EQ((std::vector<OpcUa_StatusCode>{OpcUa_Good, OpcUa_BadMonitoredItemIdInvalid,
                                             OpcUa_BadMonitoredItemIdInvalid}),
              added);
    EXPECT_EQ(std::vector<OpcUa_StatusCode>{OpcUa_BadMonitoredItemIdInvalid}, removed);
    EXPECT_EQ(OpcUa_BadMonitoredItemIdInvalid,
              subscription->setTriggering(55, {linked}, {}, added, removed).statusCode());

    UaDataValue sampledValue = valueOf(2);
    sampled->dataChange(sampledValue);
    OpcUa_Handle keepAlive = publishRequest(1);
    cycle(subscription); // a sampling item alone sends nothing: the first keep-alive
    EXPECT_TRUE(notifiedIn(*response(keepAlive)).values.empty());

    UaDataValue triggerValue = valueOf(1);
    triggerItem->dataChange(triggerValue);
    OpcUa_Handle request = publishRequest(2);
    cycle(subscription);
    EXPECT_EQ((std::vector<OpcUa_Double>{1, 2}), notifiedIn(*response(request)).values);
}

TEST_F(SubscriptionTest, AFreedItemIdIsReusedFirst)
{
    UaSubscription* subscription = subscribe(10);
    OpcUa_UInt32 ids[4] = {};
    for (OpcUa_UInt32 i = 0; i < 4; ++i)
        dataItem(subscription, i, OpcUa_MonitoringMode_Reporting, 1, &ids[i]);
    EXPECT_EQ(4u, ids[3]);
    EXPECT_TRUE(subscription->deleteMonitoredItem(2));
    EXPECT_TRUE(subscription->deleteMonitoredItem(3));
    EXPECT_FALSE(subscription->deleteMonitoredItem(3));
    OpcUa_UInt32 id = 0;
    dataItem(subscription, 9, OpcUa_MonitoringMode_Reporting, 1, &id);
    EXPECT_EQ(3u, id);
    dataItem(subscription, 10, OpcUa_MonitoringMode_Reporting, 1, &id);
    EXPECT_EQ(2u, id);
    EXPECT_EQ(4u, subscription->monitoredItemCount());
}

TEST_F(SubscriptionTest, ATransferMovesTheSubscriptionToTheSameUsersSessionAndResendsValues)
{
    UaUserIdentityTokenUserName alice, bob;
    alice.userName = UaString("alice");
    bob.userName = UaString("bob");
    session->close(true);
    session->releaseReference();
    session = activatedSession(21, &alice);
    UaSession* aliceAgain = activatedSession(22, &alice);
    UaSession* other = activatedSession(23, &bob);

    UaSubscription* subscription = subscribe(10);
    UaMonitoredItemData* item = dataItem(subscription, 1);
    UaDataValue value = valueOf(8);
    item->dataChange(value);
    OpcUa_Handle sent = publishRequest(1);
    cycle(subscription);
    ASSERT_NE(nullptr, response(sent));

    std::vector<OpcUa_UInt32> available;
    EXPECT_EQ(OpcUa_BadUserAccessDenied, subscription->transfer(other, true, available).statusCode());
    ASSERT_EQ(OpcUa_Good, subscription->transfer(aliceAgain, true, available).statusCode());
    EXPECT_EQ(std::vector<OpcUa_UInt32>{1}, available);
    EXPECT_EQ(0u, session->subscriptionCount());
    EXPECT_EQ(1u, aliceAgain->subscriptionCount());

    // The old session hears of the transfer.
    const OpcUa_PublishResponse* told = response(publishRequest(2));
    ASSERT_NE(nullptr, told);
    const OpcUa_ExtensionObject& data = told->NotificationMessage.NotificationData[0];
    ASSERT_EQ(&OpcUa_StatusChangeNotification_EncodeableType, data.Body.EncodeableObject.Type);
    EXPECT_EQ(OpcUa_GoodSubscriptionTransferred,
              static_cast<OpcUa_StatusChangeNotification*>(data.Body.EncodeableObject.Object)->Status);

    // The new one gets the last value again.
    OpcUa_Handle context = nullptr;
    UaSubscription* late = nullptr;
    ASSERT_TRUE(
        aliceAgain
            ->queuePublishRequest(newPublishRequest(endpoint, kChannel, aliceAgain, 3, 0, &context), late)
            .isGood());
    EXPECT_EQ(nullptr, late);
    cycle(subscription);
    EXPECT_EQ(std::vector<OpcUa_Double>{8}, notifiedIn(*response(context)).values);

    subscription->close(false);
    for (UaSession* s : {aliceAgain, other})
    {
        s->close(true);
        s->releaseReference();
    }
}

TEST_F(SubscriptionTest, AClosedSubscriptionRefusesAndCancelsItsRequests)
{
    UaTraceCapture trace(6);
    UaSubscription* subscription = subscribe(10);
    dataItem(subscription, 1);
    const OpcUa_Int32 items = UaMonitoredItemData::instanceCount();
    EXPECT_EQ(OpcUa_Good, subscription->close(false).statusCode());
    EXPECT_EQ(items - 1, UaMonitoredItemData::instanceCount());
    EXPECT_EQ(OpcUa_Good, subscription->close(false).statusCode());
    EXPECT_TRUE(trace.contains(6, "<-- UaSubscription::close - already closed"));

    OpcUa_Handle context = nullptr;
    PublishRequestContext* request = newPublishRequest(endpoint, kChannel, session, 4, 0, &context);
    bool more = true;
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, subscription->publish(request, more).statusCode());
    EXPECT_FALSE(more);
    EXPECT_EQ(OpcUa_BadTimeout, endpoint.waitForAnswer(context).status);
    std::vector<OpcUa_StatusCode> added, removed;
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid,
              subscription->setTriggering(1, {}, {}, added, removed).statusCode());
    std::vector<OpcUa_UInt32> available;
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, subscription->transfer(session, false, available).statusCode());
    EXPECT_EQ(0u, session->activeServiceCount());
}

// However many sessions share them, the server's monitored items stop at its ceiling: the memory
// they may queue has a bound no client moves. An item deleted makes room again.
TEST_F(SubscriptionTest, TheServersMonitoredItemsStopAtItsCeilingWhateverTheSessions)
{
    const OpcUa_UInt32 before = UaSubscription::serverItemCount();
    std::vector<UaSession*> sessions = {session, activatedSession(22), activatedSession(23)};
    std::vector<UaSubscription*> own;
    OpcUa_UInt32 left = UaSubscription::kMaxServerMonitoredItems - before;
    for (UaSession* owner : sessions)
    {
        OpcUa_UInt32 lifetime = 300, keepAlive = 10;
        auto* subscription = new UaSubscription(owner, &server, 100, lifetime, keepAlive, 5, 1000, true, 0);
        owner->subscriptionCreated(subscription);
        own.push_back(subscription);
        const OpcUa_UInt32 count = std::min(left, UaSession::kMaxMonitoredItems);
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            ASSERT_NE(0u, subscription->addMonitoredItem(new UaMonitoredItemData(
                              UaNodeId(i, 2), nullptr, OpcUa_MonitoringMode_Disabled, i, 100,
                              subscription->itemOwner(), 1, true, OpcUa_DataChangeTrigger_StatusValue)))
                << i;
        left -= count;
    }
    ASSERT_EQ(0u, left);
    ASSERT_LT(sessions.back()->monitoredItemCount(), UaSession::kMaxMonitoredItems); // its own cap has room
    auto* oneMore =
        new UaMonitoredItemData(UaNodeId(1, 2), nullptr, OpcUa_MonitoringMode_Disabled, 1, 100,
                                own.back()->itemOwner(), 1, true, OpcUa_DataChangeTrigger_StatusValue);
    OpcUa_StatusCode refusal = OpcUa_Good;
    EXPECT_EQ(0u, own.back()->addMonitoredItem(oneMore, &refusal));
    EXPECT_EQ(OpcUa_BadTooManyMonitoredItems, refusal);
    EXPECT_EQ(UaSubscription::kMaxServerMonitoredItems, UaSubscription::serverItemCount());

    EXPECT_TRUE(own.front()->deleteMonitoredItem(1));
    EXPECT_NE(0u, own.back()->addMonitoredItem(oneMore));
    for (UaSubscription* subscription : own)
    {
        subscription->close(false);
        subscription->releaseReference();
    }
    EXPECT_EQ(before, UaSubscription::serverItemCount());
    for (UaSession* other : {sessions[1], sessions[2]})
    {
        other->close(true);
        other->releaseReference();
    }
}

} // namespace
