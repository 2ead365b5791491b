// The server core on fake endpoints: start-up and shut-down, the one instance of a process,
// channels that open while the endpoints open, the response sender, the frame of the session-bound
// services, and the discovery answers.
#include "uaservertestbed.h"

#include "sessionmanager.h"
#include "uatransactionmanager.h"

#include <uatracecapture.h>

#include <test_certificates.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

using namespace servertest;

namespace
{
const FakeChannel kNone{7};

std::string text(const OpcUa_String& s)
{
    const char* raw = OpcUa_String_GetRawString(&s);
    return raw ? raw : "";
}

TEST(UaServerStartUp, EndpointsThatFailToOpenAreSkippedUntilNoneIsLeft)
{
    struct Row
    {
        const char* name;
        size_t endpoints;
        std::set<size_t> failing;
        OpcUa_StatusCode expected;
        const char* trace;
    };
    const Row rows[] = {
        {"no endpoints",
         0,
         {},
         OpcUa_BadConfigurationError,
         "Error: UaServer::startUp [ret=OpcUa_BadConfigurationError] - No Endpoints configured"},
        {"one of two fails",
         2,
         {0},
         OpcUa_Good,
         "Open Endpoint FAILED for endpoint 0 with URL=opc.tcp://localhost:4840 [ret=0x80050000]"},
        {"all fail",
         2,
         {0, 1},
         OpcUa_BadInternalError,
         "Open Endpoint FAILED for endpoint 1 with URL=opc.tcp://localhost:4841 [ret=0x80050000]"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        UaTraceCapture trace(4);
        ServerBed bed;
        bed.endpointRows.clear();
        for (size_t i = 0; i < row.endpoints; ++i)
            bed.endpointRows.push_back(
                {"opc.tcp://localhost:" + std::to_string(4840 + i), {{kSecurityPolicyNone, 0x1}}, {}, {}});
        for (size_t i : row.failing)
            bed.factory.prepare(i, [](FakeEndpoint& e) { e.failOpen(OpcUa_BadCommunicationError); });
        EXPECT_EQ(row.expected, bed.start().statusCode());
        EXPECT_EQ(1, trace.count(1, row.trace));
        EXPECT_EQ(OpcUa_IsGood(row.expected), bed.server.isStarted());
        if (OpcUa_IsGood(row.expected))
        {
            EXPECT_EQ(&bed.server, UaServer::running());
        }
        for (size_t i = 0; i < bed.factory.count(); ++i)
            EXPECT_EQ(row.failing.count(i) == 0, bed.endpoint(i).isOpen()) << i;

        // Stopped (or cleaned up after the failure): every endpoint closed and deleted.
        bed.server.shutDown();
        EXPECT_EQ(nullptr, UaServer::running());
        for (size_t i = 0; i < bed.factory.count(); ++i)
            EXPECT_TRUE(bed.endpoint(i).isDestroyed()) << i;
        EXPECT_EQ(OpcUa_BadInternalError, bed.server.shutDown().statusCode());
    }
}

TEST(UaServerStartUp, AManagerFactoryWithoutMemoryFailsTheStartUp)
{
    struct NoTransactionManager : UaServer
    {
        UaTransactionManager* createTransactionManager(ServerManager*, ConditionRefreshHandler*) override
        {
            return nullptr;
        }
    };
    ServerBed bed;
    ASSERT_TRUE(bed.serverManager.startUp(&bed.config).isGood());
    NoTransactionManager server;
    UaTraceCapture trace(6);
    EXPECT_EQ(OpcUa_BadOutOfMemory, server.startUp(&bed.serverManager).statusCode());
    EXPECT_EQ(1,
              trace.count(6, "<-- UaServer::startUp [ret=0x80030000] startUp UaTransactionManager failed"));
    EXPECT_EQ(0u, bed.factory.count());
    EXPECT_EQ(nullptr, UaServer::running());
    EXPECT_TRUE(server.shutDown().isGood());
}

TEST(UaServerStartUp, ASecondServerIsRefusedAndLeavesTheFirstOnesSessionsAlone)
{
    ServerBed bed;
    ASSERT_TRUE(bed.start().isGood());
    const UaNodeId token = bed.openSession(kNone);
    {
        UaTraceCapture trace(1);
        UaServer second;
        const UaStatus refused = second.startUp(&bed.serverManager);
        EXPECT_EQ(OpcUa_BadInternalError, refused.statusCode());
        EXPECT_EQ(1, trace.count(1, "<-- UaServer::startUp [ret=OpcUa_BadInternalError] - Second UaServer "
                                    "Instance created"));
        EXPECT_TRUE(second.shutDown().isGood());
    }
    EXPECT_EQ(&bed.server, UaServer::running());
    auto* cancel = newMessage<OpcUa_CancelRequest>(OpcUa_CancelRequest_EncodeableType);
    token.copyTo(&cancel->RequestHeader.AuthenticationToken);
    const FakeAnswer& answer = bed.call(kNone, cancel, OpcUa_CancelRequest_EncodeableType);
    EXPECT_EQ(FakeAnswerKind::Response, answer.kind);
    EXPECT_EQ(OpcUa_Good, answer.status);
}

TEST(UaServerStartUp, AChannelOpenedWhileTheEndpointOpensCarriesASessionLater)
{
    ServerBed bed;
    const FakeChannel early{9};
    bed.factory.prepare(0,
                        [&](FakeEndpoint& e) {
                            e.duringOpen(
                                [&e, &early]
                                { e.raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, early); });
                        });
    ASSERT_TRUE(bed.start().isGood());
    auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
    const auto* created = bed.call(early, create, OpcUa_CreateSessionRequest_EncodeableType)
                              .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
    ASSERT_NE(nullptr, created);
    auto* activate = newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
    OpcUa_NodeId_CopyTo(&created->AuthenticationToken, &activate->RequestHeader.AuthenticationToken);
    EXPECT_EQ(OpcUa_Good, bed.call(early, activate, OpcUa_ActivateSessionRequest_EncodeableType).status);
    EXPECT_TRUE(bed.endpoint().isSessionActive(9));
}

TEST(UaServerStartUp, RefusedClientCertificatesAreKeptUnderTheirThumbprintUpToALimit)
{
    sectest::TempFolder folder;
    // Device paths resolve below the device root.
    const char* previousRoot = std::getenv("DEVICE_ROOT");
    const std::string keptRoot = previousRoot ? previousRoot : "";
    setenv("DEVICE_ROOT", folder.path().c_str(), 1);
    struct RestoreRoot
    {
        const std::string& root;
        bool had;
        ~RestoreRoot() { had ? (void)setenv("DEVICE_ROOT", root.c_str(), 1) : (void)unsetenv("DEVICE_ROOT"); }
    } restore{keptRoot, previousRoot != nullptr};
    ServerBed bed;
    // The configuration may name the folder with either separator.
    bed.rejectedFolder = "\\pki\\rejected";
    const std::string rejected = folder.path() + "/pki/rejected";
    ASSERT_TRUE(bed.start().isGood());
    auto refuse = [&](OpcUa_UInt32 channelId, const sectest::Identity& client)
    {
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened,
                                         FakeChannel{channelId, kSecurityPolicyBasic256,
                                                     OpcUa_MessageSecurityMode_Sign, client.certificate},
                                         OpcUa_BadCertificateUntrusted);
    };
    auto files = [&]
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(rejected))
            names.insert(entry.path().filename().string());
        return names;
    };
    const sectest::Identity first = sectest::makeIdentity("first", 1024);
    const sectest::Identity second = sectest::makeIdentity("second", 1024);
    refuse(1, first);
    refuse(2, first);
    const std::set<std::string> one = files();
    ASSERT_EQ(1u, one.size());
    const std::string name = *one.begin();
    EXPECT_EQ(44u, name.size());
    EXPECT_EQ(".der", name.substr(40));
    EXPECT_EQ(std::string::npos, name.substr(0, 40).find_first_not_of("0123456789ABCDEF"));
    std::ifstream stored(rejected + "/" + name, std::ios::binary);
    EXPECT_EQ(first.certificate, sectest::Bytes(std::istreambuf_iterator<char>(stored), {}));

    // Filled up to the limit by others: a further peer is traced only, a known one is written again.
    for (int i = 0; i < 99; ++i)
    {
        char other[45];
        std::snprintf(other, sizeof other, "%040X.der", i);
        std::ofstream(rejected + "/" + other) << "x";
    }
    std::ofstream(rejected + "/notes.txt") << "not counted";
    UaTraceCapture trace(2);
    refuse(3, second);
    refuse(4, first);
    EXPECT_EQ(101u, files().size());
    size_t notStored = 0;
    for (const UaTraceLine& line : trace.lines())
        notStored += line.level == 2 && line.text.find("not stored") != std::string::npos ? 1 : 0;
    EXPECT_EQ(1u, notStored);
    EXPECT_EQ(1u, files().count("notes.txt"));
}

TEST(UaServerSendResponse, EachResultIsAnsweredOnceAndTheSessionsServiceEnds)
{
    struct Row
    {
        const char* name;
        OpcUa_StatusCode result;
        bool withResponse;
        bool channelValid;
        OpcUa_StatusCode beginFailure;
        FakeAnswerKind kind;
        OpcUa_StatusCode answered;
    };
    const Row rows[] = {
        {"good without response", OpcUa_Good, false, true, OpcUa_Good, FakeAnswerKind::Fault,
         OpcUa_BadUnexpectedError},
        {"bad without response", OpcUa_BadNodeIdUnknown, false, true, OpcUa_Good, FakeAnswerKind::Fault,
         OpcUa_BadNodeIdUnknown},
        {"bad with response", OpcUa_BadTooManyOperations, true, true, OpcUa_Good, FakeAnswerKind::Fault,
         OpcUa_BadTooManyOperations},
        {"good on a lost channel", OpcUa_Good, true, false, OpcUa_Good, FakeAnswerKind::Cancel, OpcUa_Good},
        {"failed begin", OpcUa_BadNodeIdUnknown, false, true, OpcUa_BadOutOfMemory, FakeAnswerKind::Cancel,
         OpcUa_BadOutOfMemory},
        {"good with response", OpcUa_Good, true, true, OpcUa_Good, FakeAnswerKind::Response, OpcUa_Good},
    };
    UaServer server;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        FakeEndpoint endpoint;
        auto* session = new UaSession(1, UaNodeId(1, 0));
        if (!row.channelValid)
            session->invalidateSecureChannel();
        OpcUa_Handle context = endpoint.openContext(kNone, &OpcUa_ReadResponse_EncodeableType, 31);
        auto* request = newMessage<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
        request->RequestHeader.RequestHandle = 31;
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* responseType = nullptr;
        if (row.withResponse)
        {
            ASSERT_EQ(OpcUa_Good,
                      OpcUa_Endpoint_BeginSendResponse(endpoint.handle(), context, &response, &responseType));
        }
        endpoint.failBeginSendResponse(row.beginFailure);
        session->startingServiceProcessing();
        server.sendResponse(endpoint.handle(), session, context, request, &OpcUa_ReadRequest_EncodeableType,
                            row.result, response, responseType);
        const FakeAnswer& answer = endpoint.waitForAnswer(context);
        EXPECT_EQ(row.kind, answer.kind);
        EXPECT_EQ(row.answered, answer.status);
        if (answer.header() != nullptr)
        {
            EXPECT_EQ(31u, answer.header()->RequestHandle);
        }
        EXPECT_EQ(0u, session->activeServiceCount());
        session->releaseReference();
    }
}

// A session-bound service called on the server: its answer.
template <class Request>
const FakeAnswer& callEntry(UaServer& server, FakeEndpoint& endpoint, const FakeChannel& channel,
                            OpcUa_StatusCode (UaServer::*entry)(OpcUa_Endpoint, OpcUa_Handle, Request*,
                                                                OpcUa_EncodeableType*),
                            OpcUa_EncodeableType& requestType, OpcUa_EncodeableType& responseType,
                            const UaNodeId& token, void (*fill)(Request&) = nullptr)
{
    auto* request = newMessage<Request>(requestType);
    token.copyTo(&request->RequestHeader.AuthenticationToken);
    if (fill)
        fill(*request);
    OpcUa_Handle context = endpoint.openContext(channel, &responseType);
    EXPECT_EQ(OpcUa_Good, (server.*entry)(endpoint.handle(), context, request, &requestType));
    return endpoint.waitForAnswer(context);
}

TEST(UaServerFrame, SessionBoundServicesCheckStateSessionAndWork)
{
    ServerBed bed;
    ASSERT_TRUE(bed.start().isGood());
    const UaNodeId token = bed.openSession(kNone);
    // A session that was created but never activated.
    auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
    const auto* created = bed.call(kNone, create, OpcUa_CreateSessionRequest_EncodeableType)
                              .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
    ASSERT_NE(nullptr, created);
    const UaNodeId inactive(created->AuthenticationToken);
    const UaNodeId unknown(12345, bed.serverManager.getSessionManager()->tokenNamespace());
    UaServer stopped;

    using Fill = void (*)(OpcUa_CallRequest&);
    const Fill oneMethod = [](OpcUa_CallRequest& r)
    {
        r.NoOfMethodsToCall = 1;
        r.MethodsToCall =
            static_cast<OpcUa_CallMethodRequest*>(OpcUa_Memory_Alloc(sizeof(OpcUa_CallMethodRequest)));
        OpcUa_CallMethodRequest_Initialize(r.MethodsToCall);
        r.MethodsToCall->ObjectId.Identifier.Numeric = 85;
        r.MethodsToCall->MethodId.Identifier.Numeric = 99999;
    };
    struct Row
    {
        const char* name;
        std::function<const FakeAnswer&()> run;
        OpcUa_StatusCode expected;
    };
    FakeEndpoint& e = bed.endpoint();
    FakeEndpoint loose;
    const std::vector<Row> rows = {
        {"close, not started",
         [&]() -> const FakeAnswer&
         {
             return callEntry(stopped, loose, kNone, &UaServer::CloseSession,
                              OpcUa_CloseSessionRequest_EncodeableType,
                              OpcUa_CloseSessionResponse_EncodeableType, token);
         },
         OpcUa_BadInternalError},
        {"call, not started",
         [&]() -> const FakeAnswer&
         {
             return callEntry(stopped, loose, kNone, &UaServer::Call, OpcUa_CallRequest_EncodeableType,
                              OpcUa_CallResponse_EncodeableType, token, oneMethod);
         },
         OpcUa_BadInternalError},
        {"cancel, unknown token",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::Cancel, OpcUa_CancelRequest_EncodeableType,
                              OpcUa_CancelResponse_EncodeableType, unknown);
         },
         OpcUa_BadSessionIdInvalid},
        {"translate, not activated",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::TranslateBrowsePathsToNodeIds,
                              OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType,
                              OpcUa_TranslateBrowsePathsToNodeIdsResponse_EncodeableType, inactive);
         },
         OpcUa_BadSessionNotActivated},
        {"call, another channel",
         [&]() -> const FakeAnswer&
         {
             e.raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, FakeChannel{8});
             return callEntry(bed.server, e, FakeChannel{8}, &UaServer::Call,
                              OpcUa_CallRequest_EncodeableType, OpcUa_CallResponse_EncodeableType, token,
                              oneMethod);
         },
         OpcUa_BadSecureChannelIdInvalid},
        {"call, no methods",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::Call, OpcUa_CallRequest_EncodeableType,
                              OpcUa_CallResponse_EncodeableType, token);
         },
         OpcUa_BadNothingToDo},
        {"translate, no paths",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::TranslateBrowsePathsToNodeIds,
                              OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType,
                              OpcUa_TranslateBrowsePathsToNodeIdsResponse_EncodeableType, token);
         },
         OpcUa_BadNothingToDo},
        {"call, an unknown method",
         [&]() -> const FakeAnswer&
         {
             const FakeAnswer& answer =
                 callEntry(bed.server, e, kNone, &UaServer::Call, OpcUa_CallRequest_EncodeableType,
                           OpcUa_CallResponse_EncodeableType, token, oneMethod);
             const auto* response = answer.as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
             EXPECT_TRUE(response != nullptr && response->NoOfResults == 1);
             if (response != nullptr && response->NoOfResults == 1)
             {
                 EXPECT_EQ(OpcUa_BadMethodInvalid, response->Results[0].StatusCode);
             }
             return answer;
         },
         OpcUa_Good},
        {"cancel, a failing channel-id query",
         [&]() -> const FakeAnswer&
         {
             e.failChannelIdQuery(OpcUa_BadSecureChannelClosed);
             const FakeAnswer& answer =
                 callEntry(bed.server, e, kNone, &UaServer::Cancel, OpcUa_CancelRequest_EncodeableType,
                           OpcUa_CancelResponse_EncodeableType, token);
             e.failChannelIdQuery(OpcUa_Good);
             return answer;
         },
         OpcUa_BadSecureChannelClosed},
        {"cancel answers 0",
         [&]() -> const FakeAnswer&
         {
             const FakeAnswer& answer =
                 callEntry(bed.server, e, kNone, &UaServer::Cancel, OpcUa_CancelRequest_EncodeableType,
                           OpcUa_CancelResponse_EncodeableType, token);
             const auto* response = answer.as<OpcUa_CancelResponse>(OpcUa_CancelResponse_EncodeableType);
             EXPECT_TRUE(response != nullptr && response->CancelCount == 0);
             return answer;
         },
         OpcUa_Good},
        {"close",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::CloseSession,
                              OpcUa_CloseSessionRequest_EncodeableType,
                              OpcUa_CloseSessionResponse_EncodeableType, token);
         },
         OpcUa_Good},
        {"cancel, a closed session's token",
         [&]() -> const FakeAnswer&
         {
             return callEntry(bed.server, e, kNone, &UaServer::Cancel, OpcUa_CancelRequest_EncodeableType,
                              OpcUa_CancelResponse_EncodeableType, token);
         },
         OpcUa_BadSessionIdInvalid},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const FakeAnswer& answer = row.run();
        EXPECT_EQ(OpcUa_IsGood(row.expected) ? FakeAnswerKind::Response : FakeAnswerKind::Fault, answer.kind);
        EXPECT_EQ(row.expected, answer.status);
    }
    // Every service the sessions took part in has ended.
    EXPECT_EQ(1u, bed.serverManager.getSessionManager()->sessionCount());
}

// Endpoint 0 offers None and Basic256 (Sign, SignAndEncrypt), endpoint 1 Basic128Rsa15
// SignAndEncrypt.
class UaServerDiscovery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bed.endpointRows = {
            {"opc.tcp://localhost:4840",
             {{kSecurityPolicyNone, 0x1}, {kSecurityPolicyBasic256, 0x6}},
             {0x30, 0x01},
             {}},
            {"opc.tcp://localhost:4841/second", {{kSecurityPolicyBasic128Rsa15, 0x4}}, {0x30, 0x02}, {}}};
        bed.config.serverNames = {"Test Server"};
    }

    // (URL, policy, mode, level) of each description GetEndpoints gives for url.
    std::vector<std::tuple<std::string, std::string, int, int>>
    endpointsFor(const char* url, std::vector<std::string>* tokens = nullptr, const char* profile = nullptr)
    {
        auto* request = newMessage<OpcUa_GetEndpointsRequest>(OpcUa_GetEndpointsRequest_EncodeableType);
        UaString(url).copyTo(&request->EndpointUrl);
        if (profile)
        {
            request->NoOfProfileUris = 1;
            request->ProfileUris = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(sizeof(OpcUa_String)));
            OpcUa_String_Initialize(request->ProfileUris);
            UaString(profile).copyTo(request->ProfileUris);
        }
        const FakeAnswer& answer = bed.call(kNone, request, OpcUa_GetEndpointsRequest_EncodeableType);
        const auto* response =
            answer.as<OpcUa_GetEndpointsResponse>(OpcUa_GetEndpointsResponse_EncodeableType);
        std::vector<std::tuple<std::string, std::string, int, int>> rows;
        EXPECT_NE(nullptr, response);
        for (OpcUa_Int32 i = 0; response && i < response->NoOfEndpoints; ++i)
        {
            const OpcUa_EndpointDescription& d = response->Endpoints[i];
            rows.emplace_back(text(d.EndpointUrl), text(d.SecurityPolicyUri), d.SecurityMode,
                              d.SecurityLevel);
            EXPECT_EQ("Test Server", text(d.Server.ApplicationName.Text));
            EXPECT_EQ(2, d.ServerCertificate.Length);
            if (tokens != nullptr && i == 0)
                for (OpcUa_Int32 t = 0; t < d.NoOfUserIdentityTokens; ++t)
                    tokens->push_back(text(d.UserIdentityTokens[t].PolicyId) + "/" +
                                      std::to_string(d.UserIdentityTokens[t].TokenType) + "/" +
                                      text(d.UserIdentityTokens[t].SecurityPolicyUri));
        }
        return rows;
    }

    ServerBed bed;
};

TEST_F(UaServerDiscovery, GetEndpointsListsEveryModeOfTheRequestedOrEveryOpenedEndpoint)
{
    ASSERT_TRUE(bed.start().isGood());
    using Rows = std::vector<std::tuple<std::string, std::string, int, int>>;
    const std::string first = "opc.tcp://localhost:4840", second = "opc.tcp://localhost:4841/second";
    const Rows ofFirst = {{first, kSecurityPolicyNone, 1, 0},
                          {first, kSecurityPolicyBasic256, 2, 90},
                          {first, kSecurityPolicyBasic256, 3, 140}};
    std::vector<std::string> tokens;
    EXPECT_EQ(ofFirst, endpointsFor(first.c_str(), &tokens));
    EXPECT_EQ(
        (std::vector<std::string>{"Anonymous/0/", std::string("UserName/1/") + kSecurityPolicyBasic128Rsa15}),
        tokens);
    Rows all = ofFirst;
    all.emplace_back(second, kSecurityPolicyBasic128Rsa15, 3, 130);
    EXPECT_EQ(all, endpointsFor("opc.tcp://unknown:1"));
    EXPECT_EQ(all,
              endpointsFor("", nullptr, "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary"));
    EXPECT_EQ(Rows{},
              endpointsFor("", nullptr, "http://opcfoundation.org/UA-Profile/Transport/https-uabinary"));
}

TEST_F(UaServerDiscovery, WithoutAnyTokenEnabledUserNameIsOfferedAndFailedEndpointsAreLeftOut)
{
    bed.config.enableAnonymous = false;
    bed.config.enableUserPw = false;
    bed.factory.prepare(1, [](FakeEndpoint& e) { e.failOpen(OpcUa_BadCommunicationError); });
    ASSERT_TRUE(bed.start().isGood());
    std::vector<std::string> tokens;
    EXPECT_EQ(3u, endpointsFor("opc.tcp://unknown:1", &tokens).size());
    EXPECT_EQ((std::vector<std::string>{std::string("UserName/1/") + kSecurityPolicyBasic128Rsa15}), tokens);
}

TEST_F(UaServerDiscovery, FindServersPutsTheEndpointOfTheRequestedPrefixFirst)
{
    bed.config.additionalServers = [](UaApplicationDescriptionArray& servers)
    {
        servers.create(1);
        UaString("urn:other:server").copyTo(&servers[0].ApplicationUri);
    };
    ASSERT_TRUE(bed.start().isGood());
    struct Row
    {
        const char* name;
        const char* endpointUrl;
        std::vector<const char*> serverUris;
        std::vector<std::string> applications;
        std::vector<std::string> discoveryUrls;
    };
    const std::vector<Row> rows = {
        {"no filter",
         "",
         {},
         {"urn:test:server", "urn:other:server"},
         {"opc.tcp://localhost:4840", "opc.tcp://localhost:4841/second"}},
        {"prefix of the second",
         "opc.tcp://localhost:4841",
         {},
         {"urn:test:server", "urn:other:server"},
         {"opc.tcp://localhost:4841/second", "opc.tcp://localhost:4840"}},
        {"our URI",
         "",
         {"urn:test:server"},
         {"urn:test:server", "urn:other:server"},
         {"opc.tcp://localhost:4840", "opc.tcp://localhost:4841/second"}},
        {"a foreign URI", "", {"urn:foreign"}, {"urn:other:server"}, {}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        auto* request = newMessage<OpcUa_FindServersRequest>(OpcUa_FindServersRequest_EncodeableType);
        UaString(row.endpointUrl).copyTo(&request->EndpointUrl);
        request->NoOfServerUris = static_cast<OpcUa_Int32>(row.serverUris.size());
        if (!row.serverUris.empty())
        {
            request->ServerUris = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(sizeof(OpcUa_String)));
            OpcUa_String_Initialize(request->ServerUris);
            UaString(row.serverUris[0]).copyTo(request->ServerUris);
        }
        const auto* response = bed.call(kNone, request, OpcUa_FindServersRequest_EncodeableType)
                                   .as<OpcUa_FindServersResponse>(OpcUa_FindServersResponse_EncodeableType);
        ASSERT_NE(nullptr, response);
        std::vector<std::string> applications, urls;
        for (OpcUa_Int32 i = 0; i < response->NoOfServers; ++i)
            applications.push_back(text(response->Servers[i].ApplicationUri));
        EXPECT_EQ(row.applications, applications);
        if (response->NoOfServers > 0 && applications[0] == "urn:test:server")
            for (OpcUa_Int32 i = 0; i < response->Servers[0].NoOfDiscoveryUrls; ++i)
                urls.push_back(text(response->Servers[0].DiscoveryUrls[i]));
        EXPECT_EQ(row.discoveryUrls, urls);
    }
}
} // namespace
