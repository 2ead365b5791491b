// The subscription services through the service table on the fake endpoint: the frame's checks,
// revised values, Publish with and without subscriptions, transfer and deletion results.
#include "uaservertestbed.h"

#include <gtest/gtest.h>

using namespace servertest;

namespace
{
const FakeChannel kChannel{7};

template <class Request> Request* requestOf(OpcUa_EncodeableType& type, const UaNodeId& token)
{
    auto* request = newMessage<Request>(type);
    token.copyTo(&request->RequestHeader.AuthenticationToken);
    return request;
}

class UaServerSubscriptionTest : public ::testing::Test
{
protected:
    UaServerSubscriptionTest()
    {
        EXPECT_TRUE(bed.start().isGood());
        token = bed.openSession(kChannel);
    }

    OpcUa_UInt32 createSubscription(OpcUa_CreateSubscriptionResponse* revised = nullptr)
    {
        auto* request =
            requestOf<OpcUa_CreateSubscriptionRequest>(OpcUa_CreateSubscriptionRequest_EncodeableType, token);
        request->RequestedPublishingInterval = 100;
        request->RequestedMaxKeepAliveCount = 10;
        request->RequestedLifetimeCount = 30;
        request->PublishingEnabled = OpcUa_True;
        const auto* created =
            bed.call(kChannel, request, OpcUa_CreateSubscriptionRequest_EncodeableType)
                .as<OpcUa_CreateSubscriptionResponse>(OpcUa_CreateSubscriptionResponse_EncodeableType);
        EXPECT_NE(nullptr, created);
        if (created == nullptr)
            return 0;
        if (revised != nullptr)
            *revised = *created;
        return created->SubscriptionId;
    }

    ServerBed bed;
    UaNodeId token;
};

TEST_F(UaServerSubscriptionTest, CreateRevisesAndDeleteAnswersPerId)
{
    OpcUa_CreateSubscriptionResponse revised;
    const OpcUa_UInt32 id = createSubscription(&revised);
    EXPECT_EQ(1u, id);
    EXPECT_EQ(100, revised.RevisedPublishingInterval);
    EXPECT_EQ(51u, revised.RevisedMaxKeepAliveCount);
    EXPECT_EQ(153u, revised.RevisedLifetimeCount);

    auto* remove =
        requestOf<OpcUa_DeleteSubscriptionsRequest>(OpcUa_DeleteSubscriptionsRequest_EncodeableType, token);
    remove->NoOfSubscriptionIds = 2;
    remove->SubscriptionIds = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_UInt32)));
    remove->SubscriptionIds[0] = 99;
    remove->SubscriptionIds[1] = id;
    const auto* deleted =
        bed.call(kChannel, remove, OpcUa_DeleteSubscriptionsRequest_EncodeableType)
            .as<OpcUa_DeleteSubscriptionsResponse>(OpcUa_DeleteSubscriptionsResponse_EncodeableType);
    ASSERT_NE(nullptr, deleted);
    ASSERT_EQ(2, deleted->NoOfResults);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, deleted->Results[0]);
    EXPECT_EQ(OpcUa_Good, deleted->Results[1]);

    auto* empty =
        requestOf<OpcUa_DeleteSubscriptionsRequest>(OpcUa_DeleteSubscriptionsRequest_EncodeableType, token);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, empty, OpcUa_DeleteSubscriptionsRequest_EncodeableType).status);
}

TEST_F(UaServerSubscriptionTest, TheFrameChecksComeInTheirOrder)
{
    // No items wins over an invalid TimestampsToReturn.
    auto* create =
        requestOf<OpcUa_CreateMonitoredItemsRequest>(OpcUa_CreateMonitoredItemsRequest_EncodeableType, token);
    create->TimestampsToReturn = static_cast<OpcUa_TimestampsToReturn>(7);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, create, OpcUa_CreateMonitoredItemsRequest_EncodeableType).status);

    // SetTriggering's empty check overrides a session error.
    const UaNodeId unknown(424242, 0);
    auto* nothing = requestOf<OpcUa_SetTriggeringRequest>(OpcUa_SetTriggeringRequest_EncodeableType, unknown);
    EXPECT_EQ(OpcUa_BadNothingToDo,
              bed.call(kChannel, nothing, OpcUa_SetTriggeringRequest_EncodeableType).status);
    auto* link = requestOf<OpcUa_SetTriggeringRequest>(OpcUa_SetTriggeringRequest_EncodeableType, unknown);
    link->NoOfLinksToAdd = 1;
    link->LinksToAdd = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(sizeof(OpcUa_UInt32)));
    link->LinksToAdd[0] = 1;
    EXPECT_EQ(OpcUa_BadSessionIdInvalid,
              bed.call(kChannel, link, OpcUa_SetTriggeringRequest_EncodeableType).status);

    // Publish without a subscription.
    auto* publish = requestOf<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType, token);
    EXPECT_EQ(OpcUa_BadNoSubscription,
              bed.call(kChannel, publish, OpcUa_PublishRequest_EncodeableType).status);
}

TEST_F(UaServerSubscriptionTest, PublishGetsAKeepAliveAndTransferAnswersEachId)
{
    const OpcUa_UInt32 id = createSubscription();
    auto* publish = requestOf<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType, token);
    const auto* keepAlive = bed.call(kChannel, publish, OpcUa_PublishRequest_EncodeableType)
                                .as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
    ASSERT_NE(nullptr, keepAlive);
    EXPECT_EQ(id, keepAlive->SubscriptionId);
    EXPECT_EQ(0, keepAlive->NotificationMessage.NoOfNotificationData);

    auto* transfer = requestOf<OpcUa_TransferSubscriptionsRequest>(
        OpcUa_TransferSubscriptionsRequest_EncodeableType, token);
    transfer->NoOfSubscriptionIds = 2;
    transfer->SubscriptionIds = static_cast<OpcUa_UInt32*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_UInt32)));
    transfer->SubscriptionIds[0] = id;
    transfer->SubscriptionIds[1] = 6;
    const FakeAnswer& answer =
        bed.call(kChannel, transfer, OpcUa_TransferSubscriptionsRequest_EncodeableType);
    EXPECT_EQ(OpcUa_Good, answer.status);
    const auto* transferred =
        answer.as<OpcUa_TransferSubscriptionsResponse>(OpcUa_TransferSubscriptionsResponse_EncodeableType);
    ASSERT_NE(nullptr, transferred);
    ASSERT_EQ(2, transferred->NoOfResults);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, transferred->Results[1].StatusCode);
}

} // namespace
