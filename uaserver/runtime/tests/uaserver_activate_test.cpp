// ActivateSession on fake endpoints: the channel a session may be activated on, the decrypted
// password's checks and its binding to the last nonce, the tokens the configuration's logon sees,
// and the refusal of every token the endpoints do not offer.
#include "uaservertestbed.h"

#include "rsa_signatures.h"
#include "userpassword.h"
#include "uauseridentitytoken.h"

#include <test_certificates.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace servertest;

namespace
{
const FakeChannel kNone{7};
constexpr const char* kRsa15 = "http://www.w3.org/2001/04/xmlenc#rsa-1_5";
constexpr const char* kRsaSha1 = "http://www.w3.org/2000/09/xmldsig#rsa-sha1";

std::vector<OpcUa_Byte> plaintext(OpcUa_UInt32 length, const std::string& body)
{
    return uaserver::testing::lengthPrefixed(length, std::vector<OpcUa_Byte>(body.begin(), body.end()));
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
        // Bound to another nonce: captured from another logon.
        {"wrong tail", plaintext(6, "pwNNNX"), OpcUa_BadIdentityTokenRejected, ""},
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
    // Without a nonce nothing binds the secret to a logon.
    UaString password;
    const std::vector<OpcUa_Byte> bare = plaintext(2, "pw");
    EXPECT_EQ(
        OpcUa_BadIdentityTokenInvalid,
        passwordFromPlaintext(bare.data(), static_cast<OpcUa_UInt32>(bare.size()), UaByteString(), password));
}

using uaserver::testing::encryptedPassword;
using uaserver::testing::rsa15Encrypt;

std::vector<OpcUa_Byte> bytes(const OpcUa_ByteString& b)
{
    return b.Length > 0 ? std::vector<OpcUa_Byte>(b.Data, b.Data + b.Length) : std::vector<OpcUa_Byte>{};
}

std::vector<OpcUa_Byte> signWith(const sectest::Bytes& privateKey, const std::vector<OpcUa_Byte>& first,
                                 const std::vector<OpcUa_Byte>& second)
{
    return uaserver::testing::rsaSha1Sign(privateKey, uaserver::testing::joined(first, second));
}

class UaServerActivate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bed.endpointRows[0].policies = {
            {kSecurityPolicyNone, 0x1}, {kSecurityPolicyBasic128Rsa15, 0x6}, {kSecurityPolicyBasic256, 0x6}};
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
            return UaStatus(OpcUa_Good);
        };
        ASSERT_TRUE(bed.start().isGood());
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, kNone);
    }

    // A new session on channel: its token and server nonce; a secured channel sends the client's
    // certificate and nonce as clients do.
    struct Created
    {
        UaNodeId token;
        std::vector<OpcUa_Byte> nonce;
    };
    Created createSession(const FakeChannel& channel)
    {
        auto* create = newMessage<OpcUa_CreateSessionRequest>(OpcUa_CreateSessionRequest_EncodeableType);
        create->RequestedSessionTimeout = 60000;
        const std::vector<OpcUa_Byte> clientNonce(32, 0x42);
        if (!channel.clientCertificate.empty())
        {
            UaByteString(static_cast<OpcUa_Int32>(channel.clientCertificate.size()),
                         channel.clientCertificate.data())
                .copyTo(&create->ClientCertificate);
            UaByteString(32, clientNonce.data()).copyTo(&create->ClientNonce);
        }
        const FakeAnswer& answer = bed.call(channel, create, OpcUa_CreateSessionRequest_EncodeableType);
        const auto* created =
            answer.as<OpcUa_CreateSessionResponse>(OpcUa_CreateSessionResponse_EncodeableType);
        EXPECT_NE(nullptr, created) << std::hex << answer.status;
        if (created == nullptr)
            return {};
        // A nonce on every channel; on a secured one the server signs our certificate and nonce.
        EXPECT_EQ(32, created->ServerNonce.Length);
        if (channel.securityPolicyUri != kSecurityPolicyNone)
        {
            EXPECT_STREQ(kRsaSha1, OpcUa_String_GetRawString(&created->ServerSignature.Algorithm));
            EXPECT_TRUE(uaserver::testing::rsaSha1Verify(
                serverIdentity.certificate, uaserver::testing::joined(channel.clientCertificate, clientNonce),
                created->ServerSignature.Signature));
        }
        return {UaNodeId(created->AuthenticationToken), bytes(created->ServerNonce)};
    }

    // ActivateSession on channel, signed with signer's key over the server certificate and nonce
    // (unsigned without a signer), with token set by fillToken; the answer.
    const FakeAnswer& activate(const FakeChannel& channel, const UaNodeId& token,
                               const std::vector<OpcUa_Byte>& nonce, const sectest::Identity* signer,
                               const std::function<void(OpcUa_ActivateSessionRequest&)>& fillToken = {})
    {
        auto* request = newMessage<OpcUa_ActivateSessionRequest>(OpcUa_ActivateSessionRequest_EncodeableType);
        token.copyTo(&request->RequestHeader.AuthenticationToken);
        if (signer != nullptr)
        {
            const std::vector<OpcUa_Byte> signature =
                signWith(signer->privateKeyDer(), serverIdentity.certificate, nonce);
            UaString(kRsaSha1).copyTo(&request->ClientSignature.Algorithm);
            UaByteString(static_cast<OpcUa_Int32>(signature.size()), signature.data())
                .copyTo(&request->ClientSignature.Signature);
        }
        if (fillToken)
            fillToken(*request);
        return bed.call(channel, request, OpcUa_ActivateSessionRequest_EncodeableType);
    }

    // A user name token of user "joe" with this password field, algorithm and policy id.
    static std::function<void(OpcUa_ActivateSessionRequest&)>
    userToken(std::vector<OpcUa_Byte> secret, std::string algorithm, std::string policyId = "UserName")
    {
        return [=](OpcUa_ActivateSessionRequest& request)
        {
            OpcUa_UserNameIdentityToken* token = nullptr;
            OpcUa_EncodeableObject_CreateExtension(&OpcUa_UserNameIdentityToken_EncodeableType,
                                                   &request.UserIdentityToken,
                                                   reinterpret_cast<OpcUa_Void**>(&token));
            UaString(policyId.c_str()).copyTo(&token->PolicyId);
            UaString("joe").copyTo(&token->UserName);
            UaByteString(static_cast<OpcUa_Int32>(secret.size()), secret.data()).copyTo(&token->Password);
            UaString(algorithm.c_str()).copyTo(&token->EncryptionAlgorithm);
        };
    }

    // The server's State: readable only on an activated session, on its own channel.
    OpcUa_StatusCode readState(const FakeChannel& channel, const UaNodeId& token)
    {
        auto* read = newMessage<OpcUa_ReadRequest>(OpcUa_ReadRequest_EncodeableType);
        token.copyTo(&read->RequestHeader.AuthenticationToken);
        read->NoOfNodesToRead = 1;
        read->NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
        OpcUa_ReadValueId_Initialize(read->NodesToRead);
        read->NodesToRead->NodeId.Identifier.Numeric = 2259;
        read->NodesToRead->AttributeId = 13;
        return bed.call(channel, read, OpcUa_ReadRequest_EncodeableType).status;
    }

    sectest::Identity serverIdentity = sectest::makeIdentity("server", 1024);
    ServerBed bed;
    int seenType = -2;
    std::string seenUser, seenPassword;
};

// A session belongs to the certificate of the secured channel it was created on: it is activated
// only on a secured channel of that certificate with a good signature over the last nonce. A
// refused attempt leaves the session with its owner, untouched. A session created without
// security may move to any channel; a secured one checks the signature all the same.
TEST_F(UaServerActivate, ASessionIsActivatedOnlyWhereItsCreatorCanProveItself)
{
    const sectest::Identity owner = sectest::makeIdentity("owner", 1024);
    const sectest::Identity other = sectest::makeIdentity("other", 1024);
    enum class Channel
    {
        None,
        OwnersSecured,
        OthersSecured
    };
    struct Row
    {
        Channel creating;
        Channel activating;
        bool goodSignature; // signed with the key of the activating channel's certificate
        OpcUa_StatusCode expected;
        const char* algorithm = kRsaSha1; // the one the signature names
    };
    const Row rows[] = {
        {Channel::None, Channel::None, true, OpcUa_Good},
        {Channel::None, Channel::None, false, OpcUa_Good}, // nothing to sign on None
        {Channel::None, Channel::OwnersSecured, true, OpcUa_Good},
        {Channel::None, Channel::OwnersSecured, false, OpcUa_BadApplicationSignatureInvalid},
        {Channel::OwnersSecured, Channel::None, true, OpcUa_BadSecurityChecksFailed},
        {Channel::OwnersSecured, Channel::None, false, OpcUa_BadSecurityChecksFailed},
        {Channel::OwnersSecured, Channel::OwnersSecured, true, OpcUa_Good},
        {Channel::OwnersSecured, Channel::OwnersSecured, false, OpcUa_BadApplicationSignatureInvalid},
        {Channel::OwnersSecured, Channel::OwnersSecured, true, OpcUa_BadApplicationSignatureInvalid,
         "http://example.com/none"},
        {Channel::OwnersSecured, Channel::OthersSecured, true, OpcUa_BadSecurityChecksFailed},
        {Channel::OwnersSecured, Channel::OthersSecured, false, OpcUa_BadSecurityChecksFailed},
    };
    const char* names[] = {"None", "owner's Basic256", "other's Basic256"};
    OpcUa_UInt32 nextChannel = 100;
    auto open = [&](Channel kind)
    {
        FakeChannel channel{++nextChannel};
        if (kind != Channel::None)
            channel =
                FakeChannel{nextChannel, kSecurityPolicyBasic256, OpcUa_MessageSecurityMode_SignAndEncrypt,
                            kind == Channel::OwnersSecured ? owner.certificate : other.certificate};
        bed.endpoint().raiseChannelEvent(OpcUa_Endpoint_Event_SecureChannelOpened, channel);
        return channel;
    };
    auto signerOf = [&](Channel kind) { return kind == Channel::OthersSecured ? &other : &owner; };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string(names[static_cast<int>(row.creating)]) + " -> " +
                     names[static_cast<int>(row.activating)] +
                     (row.goodSignature ? ", signed" : ", bad signature") + " as " + row.algorithm);
        const FakeChannel creating = open(row.creating);
        Created created = createSession(creating);
        const FakeAnswer& first = activate(creating, created.token, created.nonce, signerOf(row.creating));
        ASSERT_EQ(OpcUa_Good, first.status);
        const auto* firstAnswer =
            first.as<OpcUa_ActivateSessionResponse>(OpcUa_ActivateSessionResponse_EncodeableType);
        ASSERT_NE(nullptr, firstAnswer);
        const std::vector<OpcUa_Byte> nonce = bytes(firstAnswer->ServerNonce);
        EXPECT_EQ(32u, nonce.size());
        EXPECT_NE(created.nonce, nonce); // every activation uses its nonce up
        ASSERT_EQ(OpcUa_Good, readState(creating, created.token));

        const FakeChannel activating = open(row.activating);
        std::vector<OpcUa_Byte> signedNonce = nonce;
        if (!row.goodSignature)
            signedNonce[0] ^= 1;
        const FakeAnswer& second =
            activate(activating, created.token, signedNonce, signerOf(row.activating),
                     [&](OpcUa_ActivateSessionRequest& request)
                     {
                         OpcUa_String_Clear(&request.ClientSignature.Algorithm);
                         UaString(row.algorithm).copyTo(&request.ClientSignature.Algorithm);
                     });
        EXPECT_EQ(row.expected, second.status);
        if (OpcUa_IsGood(row.expected))
        {
            // Moved: served on the new channel only.
            EXPECT_EQ(OpcUa_Good, readState(activating, created.token));
            EXPECT_EQ(OpcUa_BadSecureChannelIdInvalid, readState(creating, created.token));
            continue;
        }
        // Refused: the owner goes on as before, and its nonce still stands.
        EXPECT_EQ(OpcUa_BadSecureChannelIdInvalid, readState(activating, created.token));
        EXPECT_EQ(OpcUa_Good, readState(creating, created.token));
        EXPECT_TRUE(bed.endpoint().isSessionActive(creating.id));
        EXPECT_FALSE(bed.endpoint().isSessionActive(activating.id));
        EXPECT_EQ(OpcUa_Good, activate(creating, created.token, nonce, signerOf(row.creating)).status);
    }
}

TEST_F(UaServerActivate, UserNameTokensReachTheLogonOnlyEncryptedForTheirOwnNonce)
{
    const std::vector<OpcUa_Byte> secret = {'s', 'e', 'c', 'r', 'e', 't'};
    const std::vector<OpcUa_Byte> cert = serverIdentity.certificate;
    const Created elsewhere = createSession(kNone);
    using SecretOf = std::function<std::vector<OpcUa_Byte>(const std::vector<OpcUa_Byte>& nonce)>;
    struct Row
    {
        const char* name;
        SecretOf secret;
        const char* algorithm;
        const char* policyId;
        OpcUa_StatusCode expected;
        const char* password; // as the logon saw it; null: the logon was not reached
    };
    const std::vector<Row> rows = {
        {"encrypted", [&](auto& nonce) { return encryptedPassword(cert, secret, nonce); }, kRsa15, "UserName",
         OpcUa_Good, "secret"},
        {"encrypted, wrong",
         [&](auto& nonce) {
             return encryptedPassword(cert, {'n', 'o'}, nonce);
         },
         kRsa15, "UserName", OpcUa_BadUserAccessDenied, "no"},
        // A logon captured from another session does not log on here.
        {"replayed from another session",
         [&](auto&) { return encryptedPassword(cert, secret, elsewhere.nonce); }, kRsa15, "UserName",
         OpcUa_BadIdentityTokenRejected, nullptr},
        {"encrypted without the nonce", [&](auto&) { return rsa15Encrypt(cert, plaintext(6, "secret")); },
         kRsa15, "UserName", OpcUa_BadIdentityTokenInvalid, nullptr},
        {"length past the end",
         [&](auto&) { return rsa15Encrypt(cert, uaserver::testing::lengthPrefixed(99, secret)); }, kRsa15,
         "UserName", OpcUa_BadIdentityTokenInvalid, nullptr},
        // The offered policy demands encryption: a password in clear is refused.
        {"in clear", [&](auto&) { return secret; }, "", "UserName", OpcUa_BadIdentityTokenInvalid, nullptr},
        {"garbage ciphertext", [](auto&) { return std::vector<OpcUa_Byte>(128, 0x5A); }, kRsa15, "UserName",
         OpcUa_BadIdentityTokenInvalid, nullptr},
        {"empty ciphertext", [](auto&) { return std::vector<OpcUa_Byte>{}; }, kRsa15, "UserName",
         OpcUa_BadIdentityTokenInvalid, nullptr},
        {"another algorithm", [&](auto& nonce) { return encryptedPassword(cert, secret, nonce); },
         "http://www.w3.org/2001/04/xmlenc#rsa-oaep", "UserName", OpcUa_BadIdentityTokenInvalid, nullptr},
        // A user name under a policy id the endpoint offers for another token type, or none.
        {"policy Anonymous", [&](auto& nonce) { return encryptedPassword(cert, secret, nonce); }, kRsa15,
         "Anonymous", OpcUa_BadIdentityTokenInvalid, nullptr},
        {"no policy id", [&](auto& nonce) { return encryptedPassword(cert, secret, nonce); }, kRsa15, "",
         OpcUa_BadIdentityTokenInvalid, nullptr},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        seenType = -2;
        seenPassword.clear();
        const Created created = createSession(kNone);
        EXPECT_EQ(row.expected, activate(kNone, created.token, created.nonce, nullptr,
                                         userToken(row.secret(created.nonce), row.algorithm, row.policyId))
                                    .status);
        if (row.password == nullptr)
            EXPECT_EQ(-2, seenType);
        else
        {
            EXPECT_EQ(1, seenType);
            EXPECT_EQ("joe", seenUser);
            EXPECT_EQ(row.password, seenPassword);
        }
    }

    // A good logon uses the nonce up: the same token again, in the same session, is a replay.
    const Created created = createSession(kNone);
    const std::vector<OpcUa_Byte> captured = encryptedPassword(cert, secret, created.nonce);
    EXPECT_EQ(OpcUa_Good,
              activate(kNone, created.token, created.nonce, nullptr, userToken(captured, kRsa15)).status);
    EXPECT_EQ(OpcUa_BadIdentityTokenRejected,
              activate(kNone, created.token, created.nonce, nullptr, userToken(captured, kRsa15)).status);
}

// Only the token types the endpoints offer, under the policy id offered for each, reach the logon:
// none offers certificate or issued tokens.
TEST_F(UaServerActivate, OnlyOfferedTokenTypesUnderTheirOwnPolicyReachTheLogon)
{
    const sectest::Identity user = sectest::makeIdentity("user", 1024);
    struct Row
    {
        const char* name;
        OpcUa_EncodeableType* type; // null: no token
        const char* policyId;
        OpcUa_StatusCode expected;
        int seen;
    };
    const Row rows[] = {
        {"none", nullptr, "", OpcUa_Good, 0},
        {"anonymous", &OpcUa_AnonymousIdentityToken_EncodeableType, "Anonymous", OpcUa_Good, 0},
        {"anonymous without policy id", &OpcUa_AnonymousIdentityToken_EncodeableType, "",
         OpcUa_BadIdentityTokenInvalid, -2},
        {"anonymous under UserName", &OpcUa_AnonymousIdentityToken_EncodeableType, "UserName",
         OpcUa_BadIdentityTokenInvalid, -2},
        {"issued with junk", &OpcUa_IssuedIdentityToken_EncodeableType, "Anonymous",
         OpcUa_BadIdentityTokenInvalid, -2},
        {"self-signed x509, signed", &OpcUa_X509IdentityToken_EncodeableType, "Anonymous",
         OpcUa_BadIdentityTokenInvalid, -2},
        {"a structure that is no token", &OpcUa_ReadValueId_EncodeableType, "",
         OpcUa_BadExtensibleParameterUnsupported, -2},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        seenType = -2;
        const Created created = createSession(kNone);
        const FakeAnswer& answer = activate(
            kNone, created.token, created.nonce, nullptr,
            [&](OpcUa_ActivateSessionRequest& request)
            {
                if (row.type == nullptr)
                    return;
                OpcUa_Void* body = nullptr;
                OpcUa_EncodeableObject_CreateExtension(row.type, &request.UserIdentityToken, &body);
                if (row.type == &OpcUa_AnonymousIdentityToken_EncodeableType)
                    UaString(row.policyId)
                        .copyTo(&static_cast<OpcUa_AnonymousIdentityToken*>(body)->PolicyId);
                if (row.type == &OpcUa_IssuedIdentityToken_EncodeableType)
                {
                    auto* issued = static_cast<OpcUa_IssuedIdentityToken*>(body);
                    const OpcUa_Byte junk[] = {1, 2, 3, 0, 5};
                    UaByteString(5, junk).copyTo(&issued->TokenData);
                }
                if (row.type == &OpcUa_X509IdentityToken_EncodeableType)
                {
                    auto* x509 = static_cast<OpcUa_X509IdentityToken*>(body);
                    UaByteString(static_cast<OpcUa_Int32>(user.certificate.size()), user.certificate.data())
                        .copyTo(&x509->CertificateData);
                    const std::vector<OpcUa_Byte> signature =
                        signWith(user.privateKeyDer(), serverIdentity.certificate, created.nonce);
                    UaString(kRsaSha1).copyTo(&request.UserTokenSignature.Algorithm);
                    UaByteString(static_cast<OpcUa_Int32>(signature.size()), signature.data())
                        .copyTo(&request.UserTokenSignature.Signature);
                }
            });
        EXPECT_EQ(row.expected, answer.status);
        EXPECT_EQ(row.seen, seenType);
    }
}
} // namespace
