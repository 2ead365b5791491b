// The client session's Publish machinery on the fake endpoint: queued requests, late
// subscriptions, status changes, time-outs, cancellations and lost channels; the send lock, the
// service count and the registered nodes.
#include "registerednode.h"
#include "runtime_fakes.h"
#include "uauseridentitytoken.h"

#include <opcua_testclock.hpp>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <memory>

using namespace runtimetest;

namespace
{
const FakeChannel kChannel{3};

class UaSessionTest : public ::testing::Test
{
protected:
    UaSessionTest() : session(new UaSession(21, UaNodeId(21, 0)))
    {
        session->open(UaString("publisher"), UaByteString(), 60000);
        UaStringArray locales;
        session->activate(kChannel.id, nullptr, locales);
    }
    ~UaSessionTest() override
    {
        for (RecordingSubscription* subscription : subscriptions)
            subscription->releaseReference();
        session->releaseReference();
    }

    // A Publish request in the service's hands: received, counted, not yet queued.
    PublishRequestContext* request(OpcUa_UInt32 handle, OpcUa_Handle* context, OpcUa_UInt32 timeoutHint = 0)
    {
        return newPublishRequest(endpoint, kChannel, session, handle, timeoutHint, context);
    }

    RecordingSubscription* subscribe(OpcUa_UInt32 id)
    {
        auto* subscription = new RecordingSubscription(session, id);
        EXPECT_TRUE(session->subscriptionCreated(subscription).isGood());
        subscriptions.push_back(subscription);
        return subscription;
    }

    // Queues a request that is expected to wait in the queue.
    OpcUa_Handle queued(OpcUa_UInt32 handle, OpcUa_UInt32 timeoutHint = 0)
    {
        OpcUa_Handle context = nullptr;
        UaSubscription* late = nullptr;
        EXPECT_TRUE(session->queuePublishRequest(request(handle, &context, timeoutHint), late).isGood());
        EXPECT_EQ(nullptr, late);
        return context;
    }

    FakeEndpoint endpoint;
    UaSession* session;
    std::vector<RecordingSubscription*> subscriptions;
};

TEST_F(UaSessionTest, WithoutSubscriptionsOrStatusChangesAPublishIsRefused)
{
    OpcUa_Handle context = nullptr;
    PublishRequestContext* publish = request(1, &context);
    UaSubscription* late = reinterpret_cast<UaSubscription*>(1);
    EXPECT_EQ(OpcUa_BadNoSubscription, session->queuePublishRequest(publish, late).statusCode());
    EXPECT_EQ(nullptr, late);
    EXPECT_EQ(0u, session->publishRequestCount());
    // The refused request stays with the service, which answers it.
    session->cancelPublishRequest(publish, OpcUa_BadNoSubscription);
    EXPECT_EQ(OpcUa_BadNoSubscription, endpoint.waitForAnswer(context).status);
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, APendingStatusChangeIsAnsweredAtOnce)
{
    session->queueSubscriptionStatusChangeNotification(44, OpcUa_BadTimeout);
    OpcUa_Handle context = nullptr;
    PublishRequestContext* publish = request(9, &context);
    publish->m_acknowledgeResults.create(2);
    publish->m_acknowledgeResults[0] = OpcUa_Good;
    publish->m_acknowledgeResults[1] = OpcUa_BadSubscriptionIdInvalid;
    UaSubscription* late = nullptr;
    ASSERT_TRUE(session->queuePublishRequest(publish, late).isGood());

    const FakeAnswer& answer = endpoint.waitForAnswer(context);
    ASSERT_EQ(FakeAnswerKind::Response, answer.kind);
    const auto* response = answer.as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
    ASSERT_NE(nullptr, response);
    EXPECT_EQ(OpcUa_Good, answer.status);
    EXPECT_EQ(9u, response->ResponseHeader.RequestHandle);
    EXPECT_EQ(44u, response->SubscriptionId);
    EXPECT_FALSE(response->MoreNotifications);
    EXPECT_EQ(0, response->NoOfAvailableSequenceNumbers);
    EXPECT_EQ(0u, response->NotificationMessage.SequenceNumber);
    ASSERT_EQ(1, response->NotificationMessage.NoOfNotificationData);
    const OpcUa_ExtensionObject& data = response->NotificationMessage.NotificationData[0];
    ASSERT_EQ(&OpcUa_StatusChangeNotification_EncodeableType, data.Body.EncodeableObject.Type);
    EXPECT_EQ(OpcUa_BadTimeout,
              static_cast<OpcUa_StatusChangeNotification*>(data.Body.EncodeableObject.Object)->Status);
    ASSERT_EQ(2, response->NoOfResults);
    EXPECT_EQ(OpcUa_BadSubscriptionIdInvalid, response->Results[1]);
    EXPECT_EQ(0u, session->activeServiceCount());

    // Sent once: the next request without subscriptions is refused again.
    PublishRequestContext* next = request(10, &context);
    EXPECT_EQ(OpcUa_BadNoSubscription, session->queuePublishRequest(next, late).statusCode());
    session->cancelPublishRequest(next, OpcUa_BadNoSubscription);
}

TEST_F(UaSessionTest, RequestsWaitForASubscriptionWithSomethingToSend)
{
    RecordingSubscription* subscription = subscribe(7);
    OpcUa_Handle first = queued(1);
    OpcUa_Handle second = queued(2);
    EXPECT_EQ(2u, session->publishRequestCount());
    EXPECT_EQ(2u, session->activeServiceCount());

    ASSERT_TRUE(session->queueSubscriptionForPublish(subscription).isGood());
    EXPECT_EQ(1, subscription->published);
    EXPECT_EQ(7u, endpoint.waitForAnswer(first)
                      .as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType)
                      ->SubscriptionId);
    EXPECT_FALSE(endpoint.isAnswered(second));

    PublishRequestContext* taken = session->getPublishRequest();
    ASSERT_NE(nullptr, taken);
    EXPECT_EQ(2u, taken->requestHandle());
    EXPECT_EQ(nullptr, session->getPublishRequest());
    bool more = false;
    subscription->publish(taken, more);
    EXPECT_EQ(FakeAnswerKind::Response, endpoint.waitForAnswer(second).kind);
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, ALateSubscriptionTakesTheNextRequestAtOnce)
{
    RecordingSubscription* closed = subscribe(1);
    RecordingSubscription* ready = subscribe(2);
    ASSERT_TRUE(session->queueSubscriptionForPublish(closed).isGood());
    ASSERT_TRUE(session->queueSubscriptionForPublish(ready).isGood());
    closed->state = UaSubscription::CLOSED;
    const OpcUa_Int32 closedReferences = closed->referenceCount();

    UaTraceCapture trace(6);
    OpcUa_Handle context = nullptr;
    PublishRequestContext* publish = request(5, &context);
    UaSubscription* late = nullptr;
    ASSERT_TRUE(session->queuePublishRequest(publish, late).isGood());
    EXPECT_EQ(ready, late); // the closed one is skipped and let go
    EXPECT_EQ(closedReferences - 1, closed->referenceCount());
    EXPECT_EQ(0u, session->publishRequestCount());
    EXPECT_TRUE(trace.contains(
        6, "<-- UaSession::queuePublishRequest [ret=OpcUa_Good] - found subscription in late state"));
    bool more = false;
    late->publish(publish, more);
    late->releaseReference(); // the reference the late queue held
    EXPECT_EQ(2u, endpoint.waitForAnswer(context)
                      .as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType)
                      ->SubscriptionId);
}

TEST_F(UaSessionTest, ARequestPastItsTimeoutHintIsAnsweredWithBadTimeout)
{
    OpcUa::TestClock clock;
    subscribe(1);
    OpcUa_Handle timed = queued(1, 1000);
    OpcUa_Handle patient = queued(2, 0);
    clock.advance(1000);
    PublishRequestContext* taken = session->getPublishRequest(); // 1000 ms is not yet past 1000
    ASSERT_NE(nullptr, taken);
    EXPECT_EQ(1u, taken->requestHandle());
    session->cancelPublishRequest(taken, OpcUa_BadNoSubscription);
    endpoint.waitForAnswer(timed);

    OpcUa_Handle late = queued(3, 1000);
    clock.advance(1500);
    taken = session->getPublishRequest(); // the patient one: a hint of 0 never runs out
    ASSERT_NE(nullptr, taken);
    EXPECT_EQ(2u, taken->requestHandle());
    session->cancelPublishRequest(taken, OpcUa_BadNoSubscription);
    EXPECT_EQ(nullptr, session->getPublishRequest());
    const FakeAnswer& answer = endpoint.waitForAnswer(late);
    EXPECT_EQ(FakeAnswerKind::Fault, answer.kind);
    EXPECT_EQ(OpcUa_BadTimeout, answer.status);
    EXPECT_EQ(3u, answer.header()->RequestHandle);
    endpoint.waitForAnswer(patient);
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, TheLastSubscriptionGoneCancelsTheQueuedRequests)
{
    RecordingSubscription* first = subscribe(1);
    RecordingSubscription* second = subscribe(2);
    OpcUa_Handle a = queued(1);
    OpcUa_Handle b = queued(2);
    session->subscriptionInvalidated(first);
    EXPECT_FALSE(endpoint.isAnswered(a));
    session->subscriptionInvalidated(second);
    for (OpcUa_Handle context : {a, b})
    {
        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(FakeAnswerKind::Fault, answer.kind);
        EXPECT_EQ(OpcUa_BadNoSubscription, answer.status);
    }
    EXPECT_EQ(0u, session->subscriptionCount());
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, ClosingWithoutDeletingLeavesTheSubscriptionsAndFaultsTheRequests)
{
    RecordingSubscription* subscription = subscribe(1);
    OpcUa_Handle a = queued(1);
    OpcUa_Handle b = queued(2);
    const OpcUa_Int32 references = subscription->referenceCount();
    ASSERT_TRUE(session->close(false).isGood());
    EXPECT_TRUE(subscription->closeCalls.empty());
    EXPECT_EQ(references - 1, subscription->referenceCount());
    for (OpcUa_Handle context : {a, b})
        EXPECT_EQ(OpcUa_BadSessionClosed, endpoint.waitForAnswer(context).status);
    EXPECT_EQ(0u, session->activeServiceCount());

    OpcUa_Handle context = nullptr;
    PublishRequestContext* publish = request(3, &context);
    UaSubscription* late = nullptr;
    EXPECT_EQ(OpcUa_BadSessionClosed, session->queuePublishRequest(publish, late).statusCode());
    EXPECT_EQ(OpcUa_BadSessionClosed, session->queueSubscriptionForPublish(subscription).statusCode());
    EXPECT_EQ(OpcUa_BadSessionClosed, session->subscriptionCreated(subscription).statusCode());
    session->cancelPublishRequest(publish, OpcUa_BadSessionClosed);
    EXPECT_EQ(OpcUa_BadInvalidState, session->close(true).statusCode());
}

TEST_F(UaSessionTest, ALostChannelDropsTheQueuedRequestsWithoutAnswers)
{
    subscribe(1);
    OpcUa_Handle a = queued(1);
    OpcUa_Handle b = queued(2);
    EXPECT_EQ(2u, session->activeServiceCount());
    const OpcUa_Int32 references = session->referenceCount();
    session->invalidateSecureChannel();
    EXPECT_EQ(0u, session->activeServiceCount());
    // Each request held two: the service's count and its service context.
    EXPECT_EQ(references - 4, session->referenceCount());
    EXPECT_EQ(0u, session->publishRequestCount());
    for (OpcUa_Handle context : {a, b})
    {
        // Given back to the stack with nothing sent.
        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(FakeAnswerKind::Cancel, answer.kind);
        EXPECT_EQ(OpcUa_Good, answer.status);
    }
}

TEST_F(UaSessionTest, OnAnInvalidChannelAnswersAreCancelled)
{
    session->invalidateSecureChannel();
    UaTraceCapture trace(4);
    session->queueSubscriptionStatusChangeNotification(3, OpcUa_BadTimeout);
    OpcUa_Handle context = nullptr;
    UaSubscription* late = nullptr;
    ASSERT_TRUE(session->queuePublishRequest(request(12, &context), late).isGood());
    const FakeAnswer& answer = endpoint.waitForAnswer(context);
    EXPECT_EQ(FakeAnswerKind::Cancel, answer.kind);
    EXPECT_EQ(OpcUa_Good, answer.status);
    EXPECT_TRUE(trace.contains(4, "CALL  Cancel Response - Secure Channel is invalid [Request=12]"));
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, AnswersAreTracedAndAFailedBeginSendStillEndsTheService)
{
    UaTraceCapture trace(6);
    OpcUa_Handle context = nullptr;
    PublishRequestContext* publish = request(30, &context);
    session->cancelPublishRequest(publish, OpcUa_BadTimeout);
    EXPECT_TRUE(trace.contains(6, "--> UaSession::cancelPublishRequest [ID=21] [status=0x800a0000]"));
    EXPECT_TRUE(
        trace.contains(4, "CALL  Send Fault Response for Publish [Request=30][ServiceResult=0x800a0000]"));

    session->queueSubscriptionStatusChangeNotification(6, OpcUa_BadTimeout);
    UaSubscription* late = nullptr;
    ASSERT_TRUE(session->queuePublishRequest(request(31, &context), late).isGood());
    EXPECT_TRUE(trace.contains(4, "CALL  Send Response for Publish [Request=31][ServiceResult=0x0]"));

    endpoint.failBeginSendResponse(OpcUa_BadOutOfMemory);
    session->queueSubscriptionStatusChangeNotification(6, OpcUa_BadTimeout);
    ASSERT_TRUE(session->queuePublishRequest(request(32, &context), late).isGood());
    const FakeAnswer& answer = endpoint.waitForAnswer(context);
    EXPECT_EQ(FakeAnswerKind::Cancel, answer.kind);
    EXPECT_EQ(OpcUa_BadOutOfMemory, answer.status);
    EXPECT_TRUE(
        trace.contains(1, "Error: UaSession::sendSubscriptionStatusChangeNotification [ret=0x80030000] - "
                          "BeginSendResponse FAILED - deleted Request"));
    PublishRequestContext* refused = request(33, &context);
    EXPECT_EQ(OpcUa_BadOutOfMemory, session->cancelPublishRequest(refused, OpcUa_BadTimeout).statusCode());
    EXPECT_EQ(OpcUa_BadOutOfMemory, endpoint.waitForAnswer(context).status);
    EXPECT_EQ(0u, session->activeServiceCount());
}

TEST_F(UaSessionTest, ServicesCountAndHoldTheSession)
{
    const OpcUa_Int32 references = session->referenceCount();
    session->startingServiceProcessing();
    session->startingServiceProcessing();
    EXPECT_EQ(2u, session->activeServiceCount());
    EXPECT_EQ(references + 2, session->referenceCount());
    session->finishedServiceProcessing();
    session->finishedServiceProcessing();
    EXPECT_EQ(0u, session->activeServiceCount());
    EXPECT_EQ(references, session->referenceCount());
}

// A counted object that tells when it goes.
class Counted : public ReferenceCounter
{
public:
    explicit Counted(int& gone) : m_gone(gone) {}
    ~Counted() override { ++m_gone; }

private:
    int& m_gone;
};

TEST_F(UaSessionTest, RegisteredNodesLiveUnderReusedAliases)
{
    int gone = 0;
    const OpcUa_UInt32 a = session->registerNode(new RegisteredNode(UaNodeId(100, 2), new Counted(gone)));
    const OpcUa_UInt32 b =
        session->registerNode(new RegisteredNode(UaNodeId(101, 2), new Counted(gone), new Counted(gone)));
    EXPECT_EQ(1u, a);
    EXPECT_EQ(2u, b);
    EXPECT_EQ(0u, session->registerNode(nullptr));
    ASSERT_NE(nullptr, session->getRegisteredNode(b));
    EXPECT_EQ(UaNodeId(101, 2), session->getRegisteredNode(b)->nodeId());
    EXPECT_EQ(nullptr, session->getRegisteredNode(0));
    EXPECT_EQ(nullptr, session->getRegisteredNode(3));

    EXPECT_TRUE(session->unregisterNode(b).isGood());
    EXPECT_EQ(2, gone); // both references released
    EXPECT_EQ(nullptr, session->getRegisteredNode(b));
    EXPECT_TRUE(session->unregisterNode(b).isBad());
    EXPECT_TRUE(session->unregisterNode(0).isBad());
    EXPECT_EQ(b, session->registerNode(new RegisteredNode(UaNodeId(102, 2), nullptr)));
    EXPECT_EQ(3u, session->addHandleEntry(new RegisteredNode(UaNodeId(103, 2), nullptr, new Counted(gone))));
    EXPECT_TRUE(session->unregisterNode(a).isGood());
    EXPECT_TRUE(session->unregisterNode(3).isGood());
    EXPECT_EQ(4, gone);
    // Entry 2 goes with the session.
}

TEST(UaSession, TheSameUserNeedsTheSameKindAndName)
{
    auto make = [](OpcUa_UInt32 id, UaUserIdentityToken* token)
    {
        auto* session = new UaSession(id, UaNodeId(id, 0));
        session->open(UaString("s"), UaByteString(), 60000);
        UaStringArray locales;
        session->activate(1, token, locales);
        return session;
    };
    UaUserIdentityTokenUserName alice, alsoAlice, bob;
    alice.userName = alsoAlice.userName = UaString("alice");
    bob.userName = UaString("bob");
    UaUserIdentityTokenCertificate aliceByCertificate;
    aliceByCertificate.userCertificate = certificateOf("alice");
    UaSession* sessions[] = {make(1, &alice),  make(2, &alsoAlice),
                             make(3, &bob),    make(4, &aliceByCertificate),
                             make(5, nullptr), make(6, nullptr)};
    EXPECT_TRUE(sessions[0]->isSameUser(sessions[1]));
    EXPECT_FALSE(sessions[0]->isSameUser(sessions[2]));
    EXPECT_FALSE(sessions[0]->isSameUser(sessions[3])); // a name, but another kind of identity
    EXPECT_FALSE(sessions[4]->isSameUser(sessions[5])); // nobody is not the same user
    EXPECT_FALSE(sessions[0]->isSameUser(nullptr));
    for (UaSession* session : sessions)
        session->releaseReference();
}

TEST(UaSession, AGoingSessionClosesItselfAndLetsGoOfItsSubscriptions)
{
    FakeEndpoint endpoint;
    UaTraceCapture trace(6);
    auto* session = new UaSession(77, UaNodeId(77, 0));
    session->open(UaString("short-lived"), UaByteString(), 60000);
    UaStringArray locales;
    session->activate(1, nullptr, locales);
    auto* kept = new RecordingSubscription(session, 1);
    auto* late = new RecordingSubscription(session, 2);
    session->subscriptionCreated(kept);
    session->subscriptionCreated(late);
    session->queueSubscriptionForPublish(late);
    session->releaseReference();
    EXPECT_TRUE(trace.contains(5, "--> Dtor UaSession [ID=77]"));
    EXPECT_TRUE(trace.contains(6, "--> UaSession::close [ID=77]"));
    EXPECT_TRUE(kept->closeCalls.empty()); // they live on for a transfer
    EXPECT_EQ(1, kept->referenceCount());
    EXPECT_EQ(1, late->referenceCount());
    kept->releaseReference();
    late->releaseReference();
}
} // namespace
