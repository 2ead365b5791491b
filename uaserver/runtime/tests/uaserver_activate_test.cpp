// ActivateSession's user identities on fake endpoints: the decrypted password's checks, the
// tokens the configuration's logon sees, and refusals of bad tokens.
#include "uaservertestbed.h"

#include "rsa_signatures.h"
#include "userpassword.h"
#include "uauseridentitytoken.h"

#include <opcua_crypto.h>
#include <uatracecapture.h>

#include <test_certificates.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace servertest;

namespace
{
const FakeChannel kNone{7};
constexpr const char* kRsa15 = "http://www.w3.org/2001/04/xmlenc#rsa-1_5";

std::vector<OpcUa_Byte> plaintext(OpcUa_UInt32 length, const std::string& body)
{
    std::vector<OpcUa_Byte> bytes = {static_cast<OpcUa_Byte>(length), static_cast<OpcUa_Byte>(length >> 8),
                                     static_cast<OpcUa_Byte>(length >> 16),
                                     static_cast<OpcUa_Byte>(length >> 24)};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

TEST(UserPassword, ThePlaintextIsALengthAndBytesEndingWithTheNonce)
{
    const UaByteString nonce(4, reinterpret_cast<const OpcUa_Byte*>("NNNN"));
    struct Row
    {
        const char* name;
        std::vector<OpcUa_Byte> bytes;
        OpcUa_StatusCode expected;
        const char* password;
    };
    const Row rows[] = {
        {"under 4 bytes", {3, 0, 0}, OpcUa_BadIdentityTokenInvalid, ""},
        {"length near 2^32 that wraps", plaintext(0xFFFFFFFCu, "pwNNNN"), OpcUa_BadIdentityTokenInvalid, ""},
        {"length past the end", plaintext(7, "pwNNNN"), OpcUa_BadIdentityTokenInvalid, ""},
        {"nonce longer than the length", plaintext(3, "NNN"), OpcUa_BadIdentityTokenInvalid, ""},
        {"wrong tail", plaintext(6, "pwNNNX"), OpcUa_BadIdentityTokenInvalid, ""},
        {"good", plaintext(6, "pwNNNN"), OpcUa_Good, "pw"},
        {"good with padding after it", plaintext(6, "pwNNNN\1\1"), OpcUa_Good, "pw"},
        {"only the nonce", plaintext(4, "NNNN"), OpcUa_Good, ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        UaString password;
        EXPECT_EQ(row.expected,
                  passwordFromPlaintext(row.bytes.data(), static_cast<OpcUa_UInt32>(row.bytes.size()), nonce,
                                        password));
        EXPECT_STREQ(row.password, password.toUtf8());
    }
}

// The password as a client encrypts it for a server certificate.
std::vector<OpcUa_Byte> encryptFor(const sectest::Bytes& certificate, const std::vector<OpcUa_Byte>& clear)
{
    OpcUa_CryptoProvider provider{};
    EXPECT_EQ(OpcUa_Good, OpcUa_CryptoProvider_Create(OpcUa_SecurityPolicy_Basic128Rsa15, &provider));
    OpcUa_ByteString der{static_cast<OpcUa_Int32>(certificate.size()),
                         const_cast<OpcUa_Byte*>(certificate.data())};
    OpcUa_Key key{};
    EXPECT_EQ(OpcUa_Good, provider.GetPublicKeyFromCert(&provider, &der, nullptr, &key));
    OpcUa_UInt32 size = 0;
    provider.AsymmetricEncrypt(&provider, clear.data(), static_cast<OpcUa_UInt32>(clear.size()), &key,
                               nullptr, &size);
    std::vector<OpcUa_Byte> encrypted(size);
    EXPECT_EQ(OpcUa_Good,
              provider.AsymmetricEncrypt(&provider, clear.data(), static_cast<OpcUa_UInt32>(clear.size()),
                                         &key, encrypted.data(), &size));
    encrypted.resize(size);
    OpcUa_ByteString_Clear(&key.Key);
    OpcUa_CryptoProvider_Delete(&provider);
    return encrypted;
}

class UaServerActivate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bed.endpointRows[0].certificate = serverIdentity.certificate;
        bed.endpointRows[0].privateKey = serverIdentity.privateKeyDer();
        bed.config.logon = [this](Session*, UaUserIdentityToken* token)
        {
            seenType = token ? static_cast<int>(token->getType()) : -1;
            if (auto* user = dynamic_cast<UaUserIdentityTokenUserName*>(token))
            {
                seenUser = user->userName.toUtf8();
                seenPassword = user->password.toUtf8();
                return UaStatus(seenPassword == "secret" ? OpcUa_Good : OpcUa_BadUserAccessDenied);
            }
            if (auto* certificate = dynamic_cast<UaUserIdentityTokenCertificate*>(token))
                seenData = bytesOf(certificate->userCertificate);
            if (auto* issued = dynamic_cast<UaUserIdentityTokenIssued*>(token))
            {
                seenData = bytesOf(issued->tokenData);
                seenAlgorithm = issued->encryptionAlgorithm.toUtf8();
            }
            return UaStatus(OpcUa_Good);
        };
        ASSERT_TRUE(bed.start().isGood());
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, kNone);
    }

    // Activates a new session with a user name token; the answer's status.
    OpcUa_StatusCode activateWithUser(const std::vector<OpcUa_Byte>& secret, const char* algorithm)
    {
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        const auto* created =
            bed.call(kNone, create, OpcUa_CreateSessionRequest_EncodeableType)
                .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        EXPECT_NE(nullptr, created);
        if (created == nullptr)
            return OpcUa_Bad;
        EXPECT_EQ(0, created->ServerNonce.Length > 0 ? created->ServerNonce.Length : 0);
        auto* activate =
            newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        OpcUa_NodeId_CopyTo(&created->AuthenticationToken, &activate->RequestHeader.AuthenticationToken);
        OpcUa_UserNameIdentityToken* token = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_UserNameIdentityToken_EncodeableType,
                                               &activate->UserIdentityToken,
                                               reinterpret_cast<OpcUa_Void**>(&token));
        UaString("joe").copyTo(&token->UserName);
        UaByteString(static_cast<OpcUa_Int32>(secret.size()), secret.data()).copyTo(&token->Password);
        UaString(algorithm).copyTo(&token->EncryptionAlgorithm);
        return bed.call(kNone, activate, OpcUa_ActivateSessionRequest_EncodeableType).status;
    }

    sectest::Identity serverIdentity = sectest::makeIdentity("server", 1024);
    ServerBed bed;
    int seenType = -2;
    std::string seenUser, seenPassword;
    std::vector<OpcUa_Byte> seenData;
    std::string seenAlgorithm;

    static std::vector<OpcUa_Byte> bytesOf(const UaByteString& b)
    {
        const OpcUa_ByteString* raw = b.toOpcUaByteString();
        return raw->Length > 0 ? std::vector<OpcUa_Byte>(raw->Data, raw->Data + raw->Length)
                               : std::vector<OpcUa_Byte>{};
    }
};

TEST_F(UaServerActivate, UserNameTokensReachTheLogonInClearTextOrAreRefused)
{
    const std::vector<OpcUa_Byte> clear = {'s', 'e', 'c', 'r', 'e', 't'};
    struct Row
    {
        const char* name;
        std::vector<OpcUa_Byte> secret;
        const char* algorithm;
        OpcUa_StatusCode expected;
        const char* password; // as the logon saw it; null: the logon was not reached
    };
    const std::vector<Row> rows = {
        {"plain", clear, "", OpcUa_Good, "secret"},
        {"plain, wrong", {'n', 'o'}, "", OpcUa_BadUserAccessDenied, "no"},
        // None channels have no server nonce: the plaintext is the length and the password.
        {"encrypted", encryptFor(serverIdentity.certificate, plaintext(6, "secret")), kRsa15, OpcUa_Good,
         "secret"},
        {"encrypted, length past the end", encryptFor(serverIdentity.certificate, plaintext(9, "secret")),
         kRsa15, OpcUa_BadIdentityTokenInvalid, nullptr},
        {"garbage ciphertext", std::vector<OpcUa_Byte>(128, 0x5A), kRsa15, OpcUa_BadIdentityTokenInvalid,
         nullptr},
        {"empty ciphertext", {}, kRsa15, OpcUa_BadIdentityTokenInvalid, nullptr},
        {"another algorithm", clear, "http://www.w3.org/2001/04/xmlenc#rsa-oaep",
         OpcUa_BadIdentityTokenInvalid, nullptr},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        seenType = -2;
        seenPassword.clear();
        EXPECT_EQ(row.expected, activateWithUser(row.secret, row.algorithm));
        if (row.password == nullptr)
            EXPECT_EQ(-2, seenType);
        else
        {
            EXPECT_EQ(1, seenType);
            EXPECT_EQ("joe", seenUser);
            EXPECT_EQ(row.password, seenPassword);
        }
    }
}

TEST_F(UaServerActivate, OtherTokenKindsAreMappedOrRefused)
{
    struct Row
    {
        const char* name;
        OpcUa_EncodeableType* type; // null: no token
        OpcUa_StatusCode expected;
        int seen;
    };
    const Row rows[] = {
        {"none", nullptr, OpcUa_Good, 0},
        {"anonymous", &OpcUa_AnonymousIdentityToken_EncodeableType, OpcUa_Good, 0},
        {"issued", &OpcUa_IssuedIdentityToken_EncodeableType, OpcUa_Good, 3},
        // A certificate token without a signature of its algorithm.
        {"x509 without signature", &OpcUa_X509IdentityToken_EncodeableType, OpcUa_BadIdentityTokenInvalid,
         -2},
        {"a structure that is no token", &OpcUa_ReadValueId_EncodeableType,
         OpcUa_BadExtensibleParameterUnsupported, -2},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        seenType = -2;
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        const auto* created =
            bed.call(kNone, create, OpcUa_CreateSessionRequest_EncodeableType)
                .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        ASSERT_NE(nullptr, created);
        auto* activate =
            newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        OpcUa_NodeId_CopyTo(&created->AuthenticationToken, &activate->RequestHeader.AuthenticationToken);
        OpcUa_Void* body = nullptr;
        if (row.type)
            OpcUa_EncodeableObject_CreateExtension(row.type, &activate->UserIdentityToken, &body);
        const bool issued = row.type == &OpcUa_IssuedIdentityToken_EncodeableType;
        const std::vector<OpcUa_Byte> tokenData = {1, 2, 3, 0, 5};
        if (issued)
        {
            auto* token = static_cast<OpcUa_IssuedIdentityToken*>(body);
            UaByteString(5, tokenData.data()).copyTo(&token->TokenData);
            UaString("http://www.w3.org/2001/04/xmlenc#rsa-oaep").copyTo(&token->EncryptionAlgorithm);
        }
        seenData.clear();
        seenAlgorithm.clear();
        EXPECT_EQ(row.expected,
                  bed.call(kNone, activate, OpcUa_ActivateSessionRequest_EncodeableType).status);
        EXPECT_EQ(row.seen, seenType);
        EXPECT_EQ(issued ? tokenData : std::vector<OpcUa_Byte>{}, seenData);
        EXPECT_EQ(issued ? "http://www.w3.org/2001/04/xmlenc#rsa-oaep" : "", seenAlgorithm);
    }
}

std::vector<OpcUa_Byte> signWith(const sectest::Bytes& privateKey, const std::vector<OpcUa_Byte>& first,
                                 const std::vector<OpcUa_Byte>& second)
{
    return uaserver::testing::rsaSha1Sign(privateKey, uaserver::testing::joined(first, second));
}

std::vector<OpcUa_Byte> bytes(const OpcUa_ByteString& b)
{
    return b.Length > 0 ? std::vector<OpcUa_Byte>(b.Data, b.Data + b.Length) : std::vector<OpcUa_Byte>{};
}

// Sessions on secured channels: the server signs the client's certificate and nonce, hands out
// 32-byte nonces, and checks the client's and the user certificate's signatures over its own
// certificate and current nonce.
TEST_F(UaServerActivate, SecuredSessionsAreSignedBothWaysAndCertificateTokensVerified)
{
    const sectest::Identity client = sectest::makeIdentity("client", 1024);
    const sectest::Identity user = sectest::makeIdentity("user", 1024);
    const sectest::Identity stranger = sectest::makeIdentity("stranger", 1024);
    struct Row
    {
        const char* name;
        const char* policy;
        OpcUa_UInt16 mode;
        bool goodClientSignature;
        const sectest::Identity* tokenSigner; // null: anonymous
        OpcUa_StatusCode expected;
    };
    const Row rows[] = {
        {"Basic128Rsa15 Sign, anonymous", kSecurityPolicyBasic128Rsa15, OpcUa_MessageSecurityMode_Sign, true,
         nullptr, OpcUa_Good},
        {"Basic256 SignAndEncrypt, certificate token", kSecurityPolicyBasic256,
         OpcUa_MessageSecurityMode_SignAndEncrypt, true, &user, OpcUa_Good},
        {"Basic256, token signed by another key", kSecurityPolicyBasic256, OpcUa_MessageSecurityMode_Sign,
         true, &stranger, OpcUa_BadIdentityTokenRejected},
        {"Basic256, bad client signature", kSecurityPolicyBasic256, OpcUa_MessageSecurityMode_Sign, false,
         nullptr, OpcUa_BadSecurityChecksFailed},
    };
    OpcUa_UInt32 channelId = 20;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const FakeChannel channel{++channelId, row.policy, row.mode, client.certificate};
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, channel);
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        const std::vector<OpcUa_Byte> clientNonce(32, 0x42);
        UaByteString(static_cast<OpcUa_Int32>(client.certificate.size()), client.certificate.data())
            .copyTo(&create->ClientCertificate);
        UaByteString(32, clientNonce.data()).copyTo(&create->ClientNonce);
        const auto* created =
            bed.call(channel, create, OpcUa_CreateSessionRequest_EncodeableType)
                .as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        ASSERT_NE(nullptr, created);
        EXPECT_EQ(32, created->ServerNonce.Length);
        EXPECT_STREQ("http://www.w3.org/2000/09/xmldsig#rsa-sha1",
                     OpcUa_String_GetRawString(&created->ServerSignature.Algorithm));
        std::vector<OpcUa_Byte> signedData = client.certificate;
        signedData.insert(signedData.end(), clientNonce.begin(), clientNonce.end());
        EXPECT_TRUE(uaserver::testing::rsaSha1Verify(serverIdentity.certificate, signedData,
                                                     created->ServerSignature.Signature));
        const std::vector<OpcUa_Byte> serverNonce = bytes(created->ServerNonce);

        auto* activate =
            newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        OpcUa_NodeId_CopyTo(&created->AuthenticationToken, &activate->RequestHeader.AuthenticationToken);
        std::vector<OpcUa_Byte> clientSignature =
            signWith(client.privateKeyDer(), serverIdentity.certificate, serverNonce);
        if (!row.goodClientSignature)
            clientSignature[0] ^= 1;
        UaByteString(static_cast<OpcUa_Int32>(clientSignature.size()), clientSignature.data())
            .copyTo(&activate->ClientSignature.Signature);
        if (row.tokenSigner != nullptr)
        {
            OpcUa_X509IdentityToken* token = nullptr;
            OpcUa_EncodeableObject_CreateExtension(&OpcUa_X509IdentityToken_EncodeableType,
                                                   &activate->UserIdentityToken,
                                                   reinterpret_cast<OpcUa_Void**>(&token));
            UaByteString(static_cast<OpcUa_Int32>(user.certificate.size()), user.certificate.data())
                .copyTo(&token->CertificateData);
            const std::vector<OpcUa_Byte> tokenSignature =
                signWith(row.tokenSigner->privateKeyDer(), serverIdentity.certificate, serverNonce);
            UaString("http://www.w3.org/2000/09/xmldsig#rsa-sha1")
                .copyTo(&activate->UserTokenSignature.Algorithm);
            UaByteString(static_cast<OpcUa_Int32>(tokenSignature.size()), tokenSignature.data())
                .copyTo(&activate->UserTokenSignature.Signature);
        }
        seenType = -2;
        UaTraceCapture trace(1);
        const FakeAnswer& answer = bed.call(channel, activate, OpcUa_ActivateSessionRequest_EncodeableType);
        EXPECT_EQ(row.expected, answer.status);
        EXPECT_EQ(row.expected == OpcUa_BadIdentityTokenRejected ? 1 : 0,
                  trace.count(1, "Verification of UserTokenSignature failed"));
        if (row.expected == OpcUa_Good)
        {
            EXPECT_EQ(row.tokenSigner ? 2 : 0, seenType);
            if (row.tokenSigner != nullptr)
            {
                EXPECT_EQ(user.certificate, seenData);
            }
            const auto* activated =
                answer.as<OpcUa_ActivateSessionResponse>(OpcUa_ActivateSessionResponse_EncodeableType);
            ASSERT_NE(nullptr, activated);
            EXPECT_EQ(32, activated->ServerNonce.Length);
            EXPECT_NE(serverNonce, bytes(activated->ServerNonce));
        }
    }
}
} // namespace
