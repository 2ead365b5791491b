// The session record: table sizes from the configuration, time-outs on the test clock, the
// request check, identities, the diagnostics object and the continuation points.
#include "runtime_fakes.h"
#include "uauseridentitytoken.h"

#include <browsecontext.h>
#include <historyreadcontinuationpoint.h>
#include <querycontext.h>

#include <opcua_testclock.hpp>
#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>

using namespace runtimetest;

namespace
{
// A plain session, released at the end of the test.
struct SessionHolder
{
    explicit SessionHolder(OpcUa_UInt32 id = 17) : session(new Session(id, UaNodeId(id, 0))) {}
    ~SessionHolder() { session->releaseReference(); }
    Session* operator->() const { return session; }
    Session* session;
};

// Parks count history points; answers how many of the first ones are still served.
int historyPointsKept(Session& session, int count)
{
    std::vector<OpcUa_ByteString> points(count);
    for (OpcUa_ByteString& point : points)
    {
        OpcUa_ByteString_Initialize(&point);
        EXPECT_EQ(OpcUa_Good,
                  session.queueHistoryReadCP(new HistoryReadContinuationPoint, point).statusCode());
    }
    int kept = 0;
    for (OpcUa_ByteString& point : points)
    {
        std::unique_ptr<HistoryReadContinuationPoint> cp(session.getHistoryReadCP(point));
        kept += cp != nullptr;
        OpcUa_ByteString_Clear(&point);
    }
    return kept;
}

TEST(Session, TableSizesComeFromTheRunningServersConfiguration)
{
    {
        SessionHolder plain;
        EXPECT_EQ(10, plain->getMaxBrowseContinuationPoints());
        EXPECT_EQ(100, historyPointsKept(*plain.session, 101)); // the first was evicted
    }
    const struct
    {
        OpcUa_UInt32 browse;
        OpcUa_UInt32 history;
        OpcUa_UInt16 browseSize;
        int historyKeptOf120;
    } rows[] = {{0, 0, 10, 100}, {70000, 5, 65534, 5}, {65535, 65534, 65534, 120}, {3, 1, 3, 1}};
    for (const auto& row : rows)
    {
        TestServerManager server;
        server.config.maxBrowseContinuationPoints = row.browse;
        server.config.maxHistoryContinuationPoints = row.history;
        SessionHolder session;
        EXPECT_EQ(row.browseSize, session->getMaxBrowseContinuationPoints()) << row.browse;
        EXPECT_EQ(row.historyKeptOf120, historyPointsKept(*session.session, 120)) << row.history;
    }
}

TEST(Session, ContinuationPointsOfTheThreeKindsStayApart)
{
    SessionHolder session;
    OpcUa_ByteString browsePoint, queryPoint;
    OpcUa_ByteString_Initialize(&browsePoint);
    OpcUa_ByteString_Initialize(&queryPoint);
    auto* browse = new BrowseContext;
    auto* query = new QueryContext;
    ASSERT_TRUE(session->queueBrowseContext(browse, browsePoint).isGood());
    ASSERT_TRUE(session->queueQueryContext(query, queryPoint).isGood());
    // Both are the first point of their table: the same four bytes name different contexts.
    ASSERT_EQ(0, std::memcmp(browsePoint.Data, queryPoint.Data, 4));
    EXPECT_EQ(nullptr, session->getHistoryReadCP(browsePoint));
    std::unique_ptr<QueryContext> gotQuery(session->getQueryContext(queryPoint));
    std::unique_ptr<BrowseContext> gotBrowse(session->getBrowseContext(browsePoint));
    EXPECT_EQ(query, gotQuery.get());
    EXPECT_EQ(browse, gotBrowse.get());
    EXPECT_EQ(nullptr, session->getBrowseContext(browsePoint));
    OpcUa_ByteString_Clear(&browsePoint);
    OpcUa_ByteString_Clear(&queryPoint);

    // Contexts still parked go with the session (the sanitizer build checks).
    OpcUa_ByteString left;
    OpcUa_ByteString_Initialize(&left);
    session->queueBrowseContext(new BrowseContext, left);
    OpcUa_ByteString_Clear(&left);
}

class SessionTime : public ::testing::Test
{
protected:
    OpcUa::TestClock clock;
    SessionManager manager; // the resume time lies in the distant past
};

TEST_F(SessionTime, ATimeOutCountsInWholeSeconds)
{
    SessionHolder session;
    session->open(UaString("timed"), UaByteString(), 10000);
    const struct
    {
        OpcUa_UInt32 step;
        bool expired;
    } steps[] = {{9999, false}, {901, false}, {99, false}, {1, true}};
    OpcUa_UInt32 elapsed = 0;
    for (const auto& s : steps)
    {
        clock.advance(s.step);
        elapsed += s.step;
        EXPECT_EQ(s.expired, session->hasExpired()) << elapsed << " ms after the last contact";
    }
}

TEST_F(SessionTime, AContactStartsANewPeriodUnlessTooLate)
{
    SessionHolder session;
    session->open(UaString("timed"), UaByteString(), 5000);
    clock.advance(4000);
    session->updateLastContact();
    clock.advance(5999);
    EXPECT_FALSE(session->hasExpired());
    clock.advance(1);
    EXPECT_TRUE(session->hasExpired());
    session->updateLastContact(); // an expired session stays expired
    EXPECT_TRUE(session->hasExpired());
}

TEST_F(SessionTime, AClockSetBackOrACheckGapGivesAFreshPeriod)
{
    SessionHolder session;
    session->open(UaString("timed"), UaByteString(), 5000);
    clock.advance(10000);
    manager.checkSessionTimeouts();
    EXPECT_TRUE(session->hasExpired());

    // Set back by 5 s: the next check resumes now, and the session lives one more period.
    clock.shiftUtc(-5000);
    manager.checkSessionTimeouts();
    clock.advance(1000);
    EXPECT_FALSE(session->hasExpired());
    clock.advance(5000);
    EXPECT_TRUE(session->hasExpired());

    // A gap of 100 s between checks changes nothing; one of more than 100 s resumes.
    manager.checkSessionTimeouts();
    clock.advance(100000);
    manager.checkSessionTimeouts();
    EXPECT_TRUE(session->hasExpired());
    clock.advance(101000);
    manager.checkSessionTimeouts();
    EXPECT_FALSE(session->hasExpired());
    clock.advance(5000);
    EXPECT_FALSE(session->hasExpired());
    clock.advance(1000);
    EXPECT_TRUE(session->hasExpired());
}

TEST_F(SessionTime, TheRequestCheckFollowsTheSessionsState)
{
    SessionHolder session;
    session->open(UaString("checked"), UaByteString(), 10000);
    UaStringArray locales;
    EXPECT_EQ(OpcUa_BadSessionNotActivated, session->checkSessionValid(5).statusCode());
    EXPECT_TRUE(session->isToBeRemoved());

    SessionHolder fresh(18);
    fresh->open(UaString("fresh"), UaByteString(), 10000);
    EXPECT_FALSE(fresh->isToBeRemoved());
    ASSERT_TRUE(fresh->activate(5, nullptr, locales).isGood());
    EXPECT_EQ(5u, fresh->secureChannelId());
    const struct
    {
        const char* step;
        std::function<void()> before;
        OpcUa_UInt32 channel;
        OpcUa_StatusCode result;
    } rows[] = {
        {"activated", [] {}, 5, OpcUa_Good},
        {"another channel", [] {}, 6, OpcUa_BadSecureChannelIdInvalid},
        {"checkValid names the same check", [] {}, 5, OpcUa_Good},
        {"made invalid", [&] { fresh->setInvalid(); }, 5, OpcUa_BadSessionIdInvalid},
        {"activated again", [&] { fresh->activate(5, nullptr, locales); }, 5, OpcUa_Good},
        {"expired", [&] { clock.advance(11000); }, 5, OpcUa_BadSessionIdInvalid},
        {"invalid since", [] {}, 5, OpcUa_BadSessionIdInvalid},
    };
    for (const auto& row : rows)
    {
        row.before();
        EXPECT_EQ(row.result, fresh->checkValid(row.channel).statusCode()) << row.step;
    }
    EXPECT_FALSE(fresh->isActivated());
    EXPECT_TRUE(fresh->isToBeRemoved());
}

TEST(Session, TheUserComesFromTheIdentityToken)
{
    SessionHolder session;
    session->open(UaString("users"), UaByteString(), 60000);
    UaStringArray locales;
    EXPECT_EQ(0u, session->identityType());

    UaUserIdentityTokenUserName user;
    user.userName = UaString("operator");
    user.password = UaString("secret");
    ASSERT_TRUE(session->activate(1, &user, locales).isGood());
    EXPECT_EQ(1u, session->identityType());
    EXPECT_EQ(UaString("operator"), session->userName());

    UaUserIdentityTokenCertificate x509;
    x509.userCertificate = certificateOf("Machine Setter");
    ASSERT_TRUE(session->activate(1, &x509, locales).isGood());
    EXPECT_EQ(2u, session->identityType());
    EXPECT_EQ(UaString("Machine Setter"), session->userName());

    // Anonymous and issued tokens leave the user as it was.
    UaUserIdentityToken anonymous;
    UaUserIdentityTokenIssued issued;
    for (UaUserIdentityToken* token : {&anonymous, static_cast<UaUserIdentityToken*>(&issued)})
    {
        ASSERT_TRUE(session->activate(1, token, locales).isGood());
        EXPECT_EQ(2u, session->identityType());
        EXPECT_EQ(UaString("Machine Setter"), session->userName());
    }
}

TEST(Session, ActivationKeepsTheLocalesAndMovesTheChannel)
{
    SessionHolder session;
    session->open(UaString("locales"), UaByteString(), 60000);
    UaStringArray locales;
    locales.create(2);
    OpcUa_String_AttachCopy(&locales[0], "de-DE");
    OpcUa_String_AttachCopy(&locales[1], "en");
    ASSERT_TRUE(session->activate(3, nullptr, locales).isGood());
    locales.clear();
    UaStringArray kept;
    session->localeIds(kept);
    ASSERT_EQ(2u, kept.length());
    EXPECT_STREQ("en", OpcUa_String_GetRawString(&kept[1]));

    session->invalidateSecureChannel();
    EXPECT_FALSE(session->isSecureChannelValid());
    ASSERT_TRUE(session->activate(4, nullptr, locales).isGood());
    EXPECT_TRUE(session->isSecureChannelValid());
    EXPECT_EQ(4u, session->secureChannelId());
}

TEST(Session, TheDiagnosticsObjectLivesWhileTheSessionIsOpen)
{
    TestServerManager server;
    SessionHolder session;
    session->open(UaString("watched"), UaByteString(), 60000);
    UaStringArray locales;
    ASSERT_TRUE(session->activate(1, nullptr, locales).isGood());
    ASSERT_TRUE(session->activate(1, nullptr, locales).isGood()); // one object only

    const auto added = server.root.added();
    ASSERT_EQ(1u, added.size());
    EXPECT_EQ(UaNodeId(3706, 0), added[0].parent);
    EXPECT_EQ(UaNodeId(47, 0), added[0].referenceType);
    UaNode* object = added[0].node;
    EXPECT_EQ(session->sessionNodeId(), object->nodeId());
    EXPECT_EQ(OpcUa_IdentifierType_Guid, object->nodeId().identifierType());
    EXPECT_EQ(1, object->nodeId().namespaceIndex());
    EXPECT_EQ(UaString("watched"), object->browseName().name());
    EXPECT_EQ(UaNodeId(2029, 0), object->typeDefinitionId());
    EXPECT_EQ(OpcUa_NodeClass_Object, object->nodeClass());
    EXPECT_EQ(2, object->referenceCount()); // the address space's and the session's

    EXPECT_TRUE(session->close(false).isGood());
    EXPECT_EQ(1, server.root.deleted);
    EXPECT_TRUE(server.root.added().empty());
    EXPECT_EQ(OpcUa_BadInvalidState, session->close(false).statusCode());
    EXPECT_EQ(1, server.root.deleted);
}

TEST(Session, WithoutAnAddressSpaceOrWhenAddingFailsTheSessionWorksOn)
{
    SessionHolder alone;
    alone->open(UaString("alone"), UaByteString(), 60000);
    UaStringArray locales;
    EXPECT_TRUE(alone->activate(1, nullptr, locales).isGood());
    EXPECT_TRUE(alone->close(true).isGood());

    TestServerManager server;
    server.root.addResult = OpcUa_BadNodeIdExists;
    SessionHolder refused;
    refused->open(UaString("refused"), UaByteString(), 60000);
    EXPECT_TRUE(refused->activate(1, nullptr, locales).isGood());
    EXPECT_TRUE(refused->checkSessionValid(1).isGood());
    EXPECT_TRUE(refused->close(false).isGood());
    EXPECT_EQ(0, server.root.deleted);
}

TEST_F(SessionTime, AnExpiredSessionStillTakesItsUserAndObjectAtActivation)
{
    TestServerManager server;
    SessionHolder session;
    session->open(UaString("late"), UaByteString(), 5000);
    clock.advance(6000);
    UaUserIdentityTokenUserName user;
    user.userName = UaString("late user");
    UaStringArray locales;
    EXPECT_EQ(OpcUa_BadSessionIdInvalid, session->activate(2, &user, locales).statusCode());
    EXPECT_FALSE(session->isActivated());
    EXPECT_EQ(0u, session->secureChannelId());
    EXPECT_EQ(UaString("late user"), session->userName());
    EXPECT_EQ(1u, server.root.added().size());
    EXPECT_TRUE(session->isToBeRemoved());
    EXPECT_TRUE(session->close(false).isGood());
    EXPECT_TRUE(server.root.added().empty());
}

TEST(Session, LifeAndOpenAreTraced)
{
    UaTraceCapture trace(7);
    const OpcUa_Int32 before = Session::instanceCount();
    {
        SessionHolder session(4711);
        EXPECT_EQ(before + 1, Session::instanceCount());
        session->open(UaString("traced"), UaByteString(), 1234);
    }
    EXPECT_EQ(before, Session::instanceCount());
    const struct
    {
        int level;
        std::string text;
    } lines[] = {
        {5, "Ctor Session [ID=4711]"},
        {3, "Session [ID=4711] created. Current instances count = " + std::to_string(before + 1)},
        {6, "--> Session::open [ID=4711]"},
        {7, "  SessionName    = traced"},
        {7, "  SessionTimeout = 1234"},
        {6, "<-- Session::open [ret=0x0]"},
        {5, "--> Dtor Session [ID=4711]"},
        {5, "<-- Dtor Session"},
        {3, "Session [ID=4711] deleted. Remaining instances count = " + std::to_string(before)},
    };
    for (const auto& line : lines)
        EXPECT_EQ(1u, trace.count(line.level, line.text)) << line.text;
}
} // namespace
