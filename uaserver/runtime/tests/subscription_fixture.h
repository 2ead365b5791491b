// What the subscription tests share: a running server manager on the test clock, a fake endpoint,
// activated sessions, Publish requests as the Publish service hands them over, and data items fed
// by hand.
#pragma once

#include "runtime_fakes.h"
#include "uasubscription.h"

#include <opcua_testclock.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace subscriptiontest
{
using namespace runtimetest;

const FakeChannel kChannel{3};

inline UaSession* activatedSession(OpcUa_UInt32 id, UaUserIdentityToken* user = nullptr)
{
    auto* session = new UaSession(id, UaNodeId(id, 0));
    session->open(UaString("subscriber"), UaByteString(), 600000);
    UaStringArray locales;
    session->activate(kChannel.id, user, locales);
    return session;
}

inline UaDataValue valueOf(OpcUa_Double value, OpcUa_StatusCode status = OpcUa_Good)
{
    UaVariant variant;
    variant.setDouble(value);
    UaDataValue dataValue;
    dataValue.setValue(variant, true, true);
    dataValue.setStatusCode(status);
    return dataValue;
}

// The values and status codes of one response's data change notification.
struct Notified
{
    std::vector<OpcUa_Double> values;
    std::vector<OpcUa_StatusCode> statuses;
    std::vector<OpcUa_UInt32> handles;
    OpcUa_Int32 events = 0;
};

inline Notified notifiedIn(const OpcUa_PublishResponse& response)
{
    Notified notified;
    const OpcUa_NotificationMessage& message = response.NotificationMessage;
    for (OpcUa_Int32 i = 0; i < message.NoOfNotificationData; ++i)
    {
        const OpcUa_ExtensionObject& data = message.NotificationData[i];
        if (data.Body.EncodeableObject.Type == &OpcUa_EventNotificationList_EncodeableType)
        {
            notified.events +=
                static_cast<OpcUa_EventNotificationList*>(data.Body.EncodeableObject.Object)->NoOfEvents;
            continue;
        }
        const auto* change = static_cast<OpcUa_DataChangeNotification*>(data.Body.EncodeableObject.Object);
        for (OpcUa_Int32 j = 0; j < change->NoOfMonitoredItems; ++j)
        {
            const OpcUa_DataValue& value = change->MonitoredItems[j].Value;
            notified.values.push_back(value.Value.Value.Double);
            notified.statuses.push_back(value.StatusCode);
            notified.handles.push_back(change->MonitoredItems[j].ClientHandle);
        }
    }
    return notified;
}

class SubscriptionFixture : public ::testing::Test
{
protected:
    SubscriptionFixture() : session(activatedSession(21)) {}
    ~SubscriptionFixture() override
    {
        for (UaSubscription* subscription : subscriptions)
        {
            subscription->close(false);
            subscription->releaseReference();
        }
        session->close(true);
        session->releaseReference();
    }

    // A subscription of session with the given (revised) values, publishing every 100 ms.
    UaSubscription* subscribe(OpcUa_UInt32 keepAlive, OpcUa_UInt32 lifetime = 300,
                              OpcUa_UInt32 retransmission = 5, OpcUa_UInt32 maxPerPublish = 1000,
                              OpcUa_UInt32 id = 1)
    {
        auto* subscription = new UaSubscription(session, &server, 100, lifetime, keepAlive, retransmission,
                                                maxPerPublish, true, 0);
        subscription->setSubscriptionId(id);
        session->subscriptionCreated(subscription);
        subscriptions.push_back(subscription);
        return subscription;
    }

    UaMonitoredItemData* dataItem(UaSubscription* subscription, OpcUa_UInt32 clientHandle,
                                  OpcUa_MonitoringMode mode = OpcUa_MonitoringMode_Reporting,
                                  OpcUa_UInt32 queueSize = 10, OpcUa_UInt32* id = nullptr,
                                  bool discardOldest = true)
    {
        auto* item = new UaMonitoredItemData(UaNodeId(clientHandle, 2), nullptr, mode, clientHandle, 100,
                                             subscription->itemOwner(), queueSize, discardOldest,
                                             OpcUa_DataChangeTrigger_StatusValue);
        const OpcUa_UInt32 itemId = subscription->addMonitoredItem(item);
        EXPECT_NE(0u, itemId);
        if (id != nullptr)
            *id = itemId;
        return item;
    }

    // A Publish request handed to the session as the Publish service does: queued, or answered at
    // once by a late subscription.
    OpcUa_Handle publishRequest(OpcUa_UInt32 handle)
    {
        OpcUa_Handle context = nullptr;
        PublishRequestContext* request = newPublishRequest(endpoint, kChannel, session, handle, 0, &context);
        UaSubscription* late = nullptr;
        EXPECT_TRUE(session->queuePublishRequest(request, late).isGood());
        if (late != nullptr)
        {
            bool more = false;
            late->publish(request, more);
            late->releaseReference();
        }
        return context;
    }

    // One publishing interval as the manager's thread runs it.
    void cycle(UaSubscription* subscription)
    {
        clock.advance(100);
        bool due = false;
        subscription->checkPublishTimer(due);
        if (due)
            subscription->checkAvailableNotifications();
    }

    const OpcUa_PublishResponse* response(OpcUa_Handle context)
    {
        return endpoint.waitForAnswer(context).as<OpcUa_PublishResponse>(
            OpcUa_PublishResponse_EncodeableType);
    }

    OpcUa::TestClock clock;
    TestServerManager server;
    FakeEndpoint endpoint;
    UaSession* session;
    std::vector<UaSubscription*> subscriptions;
};

} // namespace subscriptiontest
