// Our own client channel against the test server over the secured policies:
// reads with a response of several chunks, renewals of a short-lived token,
// and the refusals: a client the server does not trust, a server that is not
// the one the client expects, a mode the endpoint does not offer.
#include "test_certificates.h"
#include "uatcp_test_server.h"

#include <opcua.h>
#include <opcua_crypto.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace uatcp::test;

namespace
{
OpcUa_ByteString view(std::vector<uint8_t>& bytes)
{
    OpcUa_ByteString s;
    s.Length = static_cast<OpcUa_Int32>(bytes.size());
    s.Data = bytes.data();
    return s;
}

class SecureChannel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        trusted = folder.path() + "/trusted";
        std::filesystem::create_directories(trusted);
        setenv("DEVICE_ROOT", folder.path().c_str(), 1);
        sectest::writeFile(trusted + "/client.der", client.certificate);
        TestSecurity security;
        security.certificate = serverIdentity.certificate;
        security.privateKey = serverIdentity.privateKeyDer();
        security.trustedFolder = trusted;
        security.policies = {
            {OpcUa_SecurityPolicy_Basic256, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT},
            {OpcUa_SecurityPolicy_Basic128Rsa15, OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN}};
        ASSERT_TRUE(server.start("127.0.0.1", nullptr, &security));
    }
    void TearDown() override { OpcUa_Channel_Delete(&channel); }

    OpcUa_StatusCode connect(const char* policyUri, OpcUa_MessageSecurityMode mode,
                             const sectest::Identity& me, std::vector<uint8_t> expectedServer,
                             OpcUa_Int32 lifetime = 600000)
    {
        std::vector<uint8_t> certificate = me.certificate;
        std::vector<uint8_t> keyBytes = me.privateKeyDer();
        OpcUa_ByteString clientCertificate = view(certificate), serverCertificate = view(expectedServer);
        OpcUa_Key key{OpcUa_Crypto_KeyType_Rsa_Private, view(keyBytes)};
        OpcUa_Channel_Create(&channel, OpcUa_Channel_SerializerType_Binary);
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, policyUri);
        OpcUa_StatusCode result =
            OpcUa_Channel_Connect(channel, server.url().c_str(), nullptr, nullptr, &clientCertificate, &key,
                                  &serverCertificate, nullptr, &policy, lifetime, mode, 30000);
        OpcUa_String_Clear(&policy);
        return result;
    }

    // Creates a session and reads the large array; its length, or -1.
    OpcUa_Int32 sessionAndBigRead()
    {
        std::vector<uint8_t> certificate = client.certificate;
        std::vector<uint8_t> nonce(32, 1);
        OpcUa_CreateSessionRequest create;
        OpcUa_CreateSessionRequest_Initialize(&create);
        create.ClientCertificate = view(certificate);
        create.ClientNonce = view(nonce);
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        if (OpcUa_IsBad(OpcUa_Channel_InvokeService(
                channel, &create, &OpcUa_CreateSessionRequest_EncodeableType, &response, &type)) ||
            type != &OpcUa_CreateSessionResponse_EncodeableType)
            return -1;
        auto* session = static_cast<OpcUa_CreateSessionResponse*>(response);
        EXPECT_EQ(session->ServerSignature.Signature.Length, 256);
        OpcUa_ReadRequest read;
        OpcUa_ReadRequest_Initialize(&read);
        OpcUa_NodeId_CopyTo(&session->AuthenticationToken, &read.RequestHeader.AuthenticationToken);
        OpcUa_EncodeableObject_Delete(type, &response);
        read.NoOfNodesToRead = 1;
        read.NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
        OpcUa_ReadValueId_Initialize(read.NodesToRead);
        read.NodesToRead->NodeId.NamespaceIndex = 1;
        read.NodesToRead->NodeId.Identifier.Numeric = kBigArrayNode;
        read.NodesToRead->AttributeId = 13;
        OpcUa_Int32 length = -1;
        if (OpcUa_IsGood(OpcUa_Channel_InvokeService(channel, &read, &OpcUa_ReadRequest_EncodeableType,
                                                     &response, &type)) &&
            type == &OpcUa_ReadResponse_EncodeableType)
        {
            const OpcUa_Variant& value = static_cast<OpcUa_ReadResponse*>(response)->Results[0].Value;
            length = value.Value.Array.Length;
            if (length != kBigArrayLength || value.Value.Array.Value.Int32Array[length - 1] != length - 1)
                length = -1;
        }
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_ReadRequest_Clear(&read);
        return length;
    }

    sectest::TempFolder folder;
    std::string trusted;
    sectest::Identity serverIdentity =
        sectest::makeIdentity("server", 2048, nullptr, false, -1, 365, kApplicationUri);
    sectest::Identity client = sectest::makeIdentity("client", 1024);
    TestServer server;
    OpcUa_Channel channel = nullptr;
};
} // namespace

TEST_F(SecureChannel, EachOfferedPolicyCarriesSessionsAndLargeResponses)
{
    ASSERT_EQ(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt, client,
                      serverIdentity.certificate),
              OpcUa_Good);
    EXPECT_EQ(sessionAndBigRead(), kBigArrayLength);
    OpcUa_Channel_Delete(&channel);
    ASSERT_EQ(connect(OpcUa_SecurityPolicy_Basic128Rsa15, OpcUa_MessageSecurityMode_Sign, client,
                      serverIdentity.certificate),
              OpcUa_Good);
    EXPECT_EQ(sessionAndBigRead(), kBigArrayLength);
}

TEST_F(SecureChannel, ShortTokensAreRenewed)
{
    ASSERT_EQ(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt, client,
                      serverIdentity.certificate, 1500),
              OpcUa_Good);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (server.renewed.load() < 2 && std::chrono::steady_clock::now() < deadline)
    {
        ASSERT_EQ(sessionAndBigRead(), kBigArrayLength);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_GE(server.renewed.load(), 2);
    EXPECT_EQ(sessionAndBigRead(), kBigArrayLength);
}

TEST_F(SecureChannel, RefusalsOfCertificatesAndModes)
{
    // A client the server does not trust; the callback gets its certificate.
    sectest::Identity stranger = sectest::makeIdentity("stranger", 2048);
    EXPECT_TRUE(OpcUa_IsBad(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt,
                                    stranger, serverIdentity.certificate)));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadCertificateUntrusted);
    EXPECT_EQ(server.lastRefusedCertificate(), stranger.certificate);
    OpcUa_Channel_Delete(&channel);
    // A server other than the expected one: the client cannot even address it.
    sectest::Identity otherServer = sectest::makeIdentity("other", 2048);
    EXPECT_TRUE(OpcUa_IsBad(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt,
                                    client, otherServer.certificate)));
    OpcUa_Channel_Delete(&channel);
    // Modes and policies the endpoint does not offer.
    EXPECT_TRUE(OpcUa_IsBad(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_Sign, client,
                                    serverIdentity.certificate)));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadSecurityModeRejected);
    OpcUa_Channel_Delete(&channel);
    EXPECT_TRUE(
        OpcUa_IsBad(connect(OpcUa_SecurityPolicy_Basic128Rsa15, OpcUa_MessageSecurityMode_SignAndEncrypt,
                            client, serverIdentity.certificate)));
    EXPECT_EQ(server.lastOpenFailure(), OpcUa_BadSecurityModeRejected);
    OpcUa_Channel_Delete(&channel);
    // The server keeps serving.
    ASSERT_EQ(connect(OpcUa_SecurityPolicy_Basic256, OpcUa_MessageSecurityMode_SignAndEncrypt, client,
                      serverIdentity.certificate),
              OpcUa_Good);
    EXPECT_EQ(sessionAndBigRead(), kBigArrayLength);
}

TEST(SecureEndpoint, OpensOnlyWithCertificateAndMatchingKey)
{
    sectest::Identity own = sectest::makeIdentity("own", 1024);
    sectest::Identity other = sectest::makeIdentity("other", 1024);
    struct Case
    {
        const char* policy;
        bool certificate;
        const sectest::Identity* key;
        OpcUa_StatusCode expected;
    };
    const Case cases[] = {
        {OpcUa_SecurityPolicy_Basic256, true, &own, OpcUa_Good},
        {OpcUa_SecurityPolicy_Basic256, false, &own, OpcUa_BadInvalidArgument},
        {OpcUa_SecurityPolicy_Basic256, true, nullptr, OpcUa_BadInvalidArgument},
        {OpcUa_SecurityPolicy_Basic128Rsa15, true, &other, OpcUa_BadInvalidArgument},
        {"http://opcfoundation.org/UA/SecurityPolicy#Unknown", true, &own, OpcUa_BadInvalidArgument},
    };
    TestServer platform; // sets the stack up
    OpcUa_ServiceType* noServices[] = {nullptr};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.policy);
        std::vector<uint8_t> certificateBytes = own.certificate;
        std::vector<uint8_t> keyBytes = c.key != nullptr ? c.key->privateKeyDer() : std::vector<uint8_t>();
        OpcUa_ByteString certificate = view(certificateBytes);
        OpcUa_Key key{OpcUa_Crypto_KeyType_Rsa_Private, view(keyBytes)};
        OpcUa_Endpoint_SecurityPolicyConfiguration policy;
        OpcUa_String_Initialize(&policy.sSecurityPolicyUri);
        OpcUa_String_AttachCopy(&policy.sSecurityPolicyUri, c.policy);
        policy.uMessageSecurityModes = OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN;
        // A port found free may be taken by another program before the endpoint binds it: try a few.
        OpcUa_StatusCode opened = OpcUa_BadCommunicationError;
        for (int attempt = 0; attempt < 10 && opened == OpcUa_BadCommunicationError; ++attempt)
        {
            OpcUa_Endpoint endpoint = nullptr;
            ASSERT_EQ(OpcUa_Endpoint_Create(&endpoint, OpcUa_Endpoint_SerializerType_Binary, noServices),
                      OpcUa_Good);
            std::string url = "opc.tcp://127.0.0.1:" + std::to_string(freePort());
            opened = OpcUa_Endpoint_Open(endpoint, url.c_str(), nullptr, nullptr,
                                         c.certificate ? &certificate : nullptr,
                                         c.key != nullptr ? &key : nullptr, nullptr, 1, &policy);
            OpcUa_Endpoint_Delete(&endpoint);
        }
        EXPECT_EQ(opened, c.expected);
        OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    }
}
