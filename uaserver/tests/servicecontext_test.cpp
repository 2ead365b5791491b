// The service context: its session reference, the request header's fields and the node locks.
#include "servicecontext.h"

#include <gtest/gtest.h>

namespace
{
// Stands for a session: counted, and it tells when it ends.
class CountedSession : public ReferenceCounter
{
public:
    explicit CountedSession(bool& ended) : m_ended(ended) {}
    ~CountedSession() override { m_ended = true; }

private:
    bool& m_ended;
};

OpcUa_RequestHeader header(OpcUa_UInt32 timeoutHint, OpcUa_UInt32 returnDiagnostics)
{
    OpcUa_RequestHeader requestHeader;
    OpcUa_RequestHeader_Initialize(&requestHeader);
    requestHeader.TimeoutHint = timeoutHint;
    requestHeader.ReturnDiagnostics = returnDiagnostics;
    return requestHeader;
}

TEST(ServiceContext, AFreshContextHasNothingButItsCreationTime)
{
    const UaDateTime before = UaDateTime::now();
    ServiceContext context;
    EXPECT_EQ(context.pSession(), nullptr);
    EXPECT_EQ(context.sessionReference(), nullptr);
    EXPECT_EQ(context.timeoutHint(), 0u);
    EXPECT_EQ(context.returnDiagnostics(), 0u);
    EXPECT_FALSE(context.creationTime() < before);
    EXPECT_EQ(context.nodeLock(0), nullptr);
}

TEST(ServiceContext, ACopyKeepsTheSessionAliveAfterItsSourceEnds)
{
    bool ended = false;
    auto* session = new CountedSession(ended);
    auto* copy = new ServiceContext;
    {
        ServiceContext original;
        original.setCountedSession(nullptr, session, header(1500, 0x20));
        EXPECT_EQ(session->referenceCount(), 2);
        *copy = original;
        ServiceContext another(original);
        EXPECT_EQ(session->referenceCount(), 4);
        EXPECT_EQ(another.timeoutHint(), 1500u);
        EXPECT_EQ(another.returnDiagnostics(), 0x20u);
        EXPECT_EQ(another.sessionReference(), session);
    }
    session->releaseReference();
    EXPECT_FALSE(ended) << "the copy still holds it";
    EXPECT_EQ(copy->timeoutHint(), 1500u);
    delete copy;
    EXPECT_TRUE(ended);
}

TEST(ServiceContext, SettingAnotherSessionReleasesTheFirst)
{
    bool firstEnded = false;
    bool secondEnded = false;
    auto* first = new CountedSession(firstEnded);
    auto* second = new CountedSession(secondEnded);
    {
        ServiceContext context;
        context.setCountedSession(nullptr, first, header(1, 1));
        first->releaseReference();
        context.setCountedSession(nullptr, second, header(2, 2));
        EXPECT_TRUE(firstEnded);
        second->releaseReference();
        EXPECT_FALSE(secondEnded);
        context = context;
        EXPECT_FALSE(secondEnded) << "assigning a context to itself keeps its session";
        context.setCountedSession(nullptr, nullptr, header(3, 3));
        EXPECT_TRUE(secondEnded);
        EXPECT_EQ(context.timeoutHint(), 3u);
    }
}

TEST(ServiceContext, NodeLocksByNamespace)
{
    UaMutex lock0;
    UaMutex lock2;
    UaMutex other;
    ServiceContext context;
    context.setNodeLock(&lock0, 0);
    context.setNodeLock(&lock2, 2);
    EXPECT_EQ(context.nodeLock(0), &lock0);
    EXPECT_EQ(context.nodeLock(2), &lock2);
    EXPECT_EQ(context.nodeLock(1), nullptr);
    ServiceContext copy(context);
    copy.setNodeLock(&other, 2);
    EXPECT_EQ(copy.nodeLock(2), &other) << "replaced in the copy";
    EXPECT_EQ(context.nodeLock(2), &lock2) << "and only there";
    EXPECT_EQ(copy.nodeLock(0), &lock0);
}
} // namespace
