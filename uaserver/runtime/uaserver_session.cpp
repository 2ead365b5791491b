// The session services of the server core: CreateSession, ActivateSession with the user identity
// tokens, CloseSession and Cancel.
#include "uaserver.h"

#include "securerandom.h"
#include "sessionmanager.h"
#include "userpassword.h"
#include "uasession.h"
#include "uauseridentitytoken.h"

#include <servermanager.h>

#include <uatrace.h>

#include <opcua_crypto.h>

#include <cstring>
#include <vector>

namespace
{
constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* kPolicyBasic128Rsa15 = "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
constexpr OpcUa_Int32 kServerNonceLength = 32;

unsigned long hex(OpcUa_StatusCode code)
{
    return static_cast<unsigned long>(code);
}

// A token the endpoints do not offer, or one that does not follow its policy, is refused before
// any logon sees it: a logon hook may rely on the offer and accept every user it is given.
OpcUa_StatusCode refuseToken(const char* what, const char* detail)
{
    UaTrace::traceLevel1("Error: UaServer::ActivateSession - %s token %s [ret=0x%lx]", what, detail,
                         hex(OpcUa_BadIdentityTokenInvalid));
    return OpcUa_BadIdentityTokenInvalid;
}

// The policy the endpoints offer for tokenType; null when none.
template <class Offer> const Offer* offerFor(const std::vector<Offer>& offers, OpcUa_UserTokenType tokenType)
{
    for (const Offer& offer : offers)
        if (offer.tokenType == tokenType)
            return &offer;
    return nullptr;
}

// A crypto provider of one security policy, deleted with its scope.
class CryptoProvider
{
public:
    CryptoProvider() = default;
    ~CryptoProvider()
    {
        if (m_created)
            OpcUa_CryptoProvider_Delete(&m_provider);
    }
    CryptoProvider(const CryptoProvider&) = delete;
    CryptoProvider& operator=(const CryptoProvider&) = delete;

    OpcUa_StatusCode create(const char* policyUri)
    {
        const OpcUa_StatusCode result = OpcUa_CryptoProvider_Create(policyUri, &m_provider);
        m_created = OpcUa_IsGood(result);
        return result;
    }
    bool isCreated() const { return m_created; }
    OpcUa_CryptoProvider* get() { return &m_provider; }
    // The algorithm of the signatures AsymmetricSign makes and verify checks: RSA-SHA1 under each
    // policy the stack offers.
    static const char* asymmetricSignatureAlgorithm() { return OpcUa_AlgorithmUri_RsaSha1; }

    // Good when signature signs first followed by second under the public key of certificate.
    OpcUa_StatusCode verify(const UaByteString& certificate, const UaByteString& first,
                            const UaByteString& second, const OpcUa_ByteString& signature)
    {
        OpcUa_Key publicKey;
        publicKey.Type = 0;
        OpcUa_ByteString_Initialize(&publicKey.Key);
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL cryptoProvider.GetPublicKeyFromCert");
        OpcUa_ByteString der = *certificate.toOpcUaByteString();
        OpcUa_StatusCode result = m_provider.GetPublicKeyFromCert(&m_provider, &der, nullptr, &publicKey);
        if (OpcUa_IsGood(result))
        {
            std::vector<OpcUa_Byte> data = joined(first, second);
            OpcUa_ByteString signed_;
            signed_.Length = static_cast<OpcUa_Int32>(data.size());
            signed_.Data = data.data();
            OpcUa_ByteString signatureCopy = signature;
            if (UaTrace::isTraceLevelOn(4))
                UaTrace::traceLevel4("CALL cryptoProvider.AsymmetricVerify");
            result = m_provider.AsymmetricVerify(&m_provider, signed_, &publicKey, &signatureCopy);
        }
        OpcUa_ByteString_Clear(&publicKey.Key);
        return result;
    }

    static std::vector<OpcUa_Byte> joined(const UaByteString& first, const UaByteString& second)
    {
        std::vector<OpcUa_Byte> data;
        if (first.length() > 0)
            data.insert(data.end(), first.data(), first.data() + first.length());
        if (second.length() > 0)
            data.insert(data.end(), second.data(), second.data() + second.length());
        return data;
    }

private:
    OpcUa_CryptoProvider m_provider{};
    bool m_created = false;
};

bool sameBytes(const UaByteString& a, const UaByteString& b)
{
    return a.length() == b.length() && (a.length() <= 0 || std::memcmp(a.data(), b.data(), a.length()) == 0);
}

// The channel's security policy URI; empty when the stack cannot tell.
OpcUa_StatusCode channelPolicy(OpcUa_Endpoint endpoint, OpcUa_Handle context, UaString& policyUri)
{
    OpcUa_Endpoint_SecurityPolicyConfiguration policy;
    OpcUa_String_Initialize(&policy.sSecurityPolicyUri);
    policy.uMessageSecurityModes = 0;
    const OpcUa_StatusCode result =
        OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(endpoint, context, &policy);
    policyUri = UaString(&policy.sSecurityPolicyUri);
    OpcUa_String_Clear(&policy.sSecurityPolicyUri);
    return result;
}
} // namespace

OpcUa_StatusCode UaServer::CreateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_CreateSessionRequest* request,
                                         OpcUa_EncodeableType* requestType)
{
    if (!beginService("CreateSession", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaEndpoint* configured = endpointOrRefuse("CreateSession", endpoint, context, request, requestType);
    if (configured == nullptr)
        return OpcUa_Good;

    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = OpcUa_Endpoint_GetMessageSecureChannelId(endpoint, context, &channelId);
    UaString policyUri;
    if (OpcUa_IsGood(result))
        result = channelPolicy(endpoint, context, policyUri);
    const bool secured = policyUri != kPolicyNone;
    UaByteString serverNonce;
    UaByteString signature;
    if (OpcUa_IsGood(result) && secured)
    {
        CryptoProvider provider;
        result = provider.create(policyUri.toUtf8());
        if (OpcUa_IsGood(result) && request->ClientCertificate.Length < 1)
            result = OpcUa_BadCertificateInvalid;
        if (OpcUa_IsGood(result) && request->ClientNonce.Length < 1)
            result = OpcUa_BadNonceInvalid;
        if (OpcUa_IsGood(result))
        {
            // The server proves it holds its key: it signs the client's certificate and nonce.
            std::vector<OpcUa_Byte> data = CryptoProvider::joined(
                UaByteString(request->ClientCertificate.Length, request->ClientCertificate.Data),
                UaByteString(request->ClientNonce.Length, request->ClientNonce.Data));
            OpcUa_ByteString toSign;
            toSign.Length = static_cast<OpcUa_Int32>(data.size());
            toSign.Data = data.data();
            OpcUa_Key key;
            key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
            key.Key = *configured->privateKey().toOpcUaByteString();
            OpcUa_ByteString signed_;
            OpcUa_ByteString_Initialize(&signed_);
            result = provider.get()->AsymmetricSign(provider.get(), toSign, &key, &signed_);
            signature.attach(&signed_);
        }
    }
    // A nonce on every channel: the user token's secret or signature is bound to it, so that a
    // captured logon cannot be replayed in another session.
    if (OpcUa_IsGood(result))
    {
        serverNonce = secureRandomBytes(kServerNonceLength);
        if (serverNonce.length() != kServerNonceLength)
            result = OpcUa_BadInternalError;
    }

    UaSession* session = nullptr;
    OpcUa_Double revisedTimeout = 0;
    if (OpcUa_IsGood(result))
    {
        Session* created = nullptr;
        result = m_pSessionManager
                     ->createSession(
                         UaString(&request->SessionName),
                         UaByteString(request->ClientCertificate.Length, request->ClientCertificate.Data),
                         request->RequestedSessionTimeout, revisedTimeout, created, channelId)
                     .statusCode();
        if (OpcUa_IsGood(result) && created == nullptr)
            result = OpcUa_BadInternalError;
        if (created != nullptr)
        {
            session = static_cast<UaSession*>(created);
            session->startingServiceProcessing();
            // The service's reference replaces the creation reference.
            created->releaseReference();
        }
    }
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (isAuditActivated())
        audit().sessionCreated(session ? session->sessionNodeId() : UaNodeId(), channelId,
                               &request->ClientCertificate, revisedTimeout, result);
    if (OpcUa_IsNotGood(result))
    {
        sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
        traceServiceExit("CreateSession", result);
        return OpcUa_Good;
    }

    auto* answer = static_cast<OpcUa_CreateSessionResponse*>(response);
    session->sessionNodeId().copyTo(&answer->SessionId);
    session->authenticationToken().copyTo(&answer->AuthenticationToken);
    answer->RevisedSessionTimeout = revisedTimeout;
    session->setServerNonce(serverNonce);
    session->setBoundToCertificate(secured);
    OpcUa_ByteString_CopyTo(serverNonce.toOpcUaByteString(), &answer->ServerNonce);
    OpcUa_ByteString_CopyTo(configured->certificate().toOpcUaByteString(), &answer->ServerCertificate);
    GetEndpoints(request->EndpointUrl, answer->NoOfServerEndpoints, answer->ServerEndpoints);
    if (secured)
    {
        UaString(CryptoProvider::asymmetricSignatureAlgorithm()).copyTo(&answer->ServerSignature.Algorithm);
        OpcUa_ByteString_CopyTo(signature.toOpcUaByteString(), &answer->ServerSignature.Signature);
    }
    sendResponse(endpoint, session, context, request, requestType, OpcUa_Good, response, responseType);
    traceServiceExit("CreateSession", OpcUa_Good);
    return OpcUa_Good;
}

UaUserIdentityToken* UaServer::identityFromRequest(const OpcUa_ActivateSessionRequest& request,
                                                   UaSession* session, UaEndpoint* endpoint,
                                                   OpcUa_StatusCode& status)
{
    std::vector<UserTokenOffer> offers;
    status = offeredUserTokens("ActivateSession", offers);
    if (OpcUa_IsNotGood(status))
        return nullptr;
    const OpcUa_ExtensionObject& token = request.UserIdentityToken;
    // No token at all stands for an anonymous logon.
    if (token.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        token.Body.EncodeableObject.Type == nullptr || token.Body.EncodeableObject.Object == nullptr)
    {
        if (offerFor(offers, OpcUa_UserTokenType_Anonymous) == nullptr)
        {
            status = refuseToken("Anonymous", "not offered");
            return nullptr;
        }
        return new UaUserIdentityToken();
    }
    const OpcUa_UInt32 typeId = token.Body.EncodeableObject.Type->TypeId;
    const void* body = token.Body.EncodeableObject.Object;
    // The token's policy: offered for its type, and named by the token.
    auto policyOf = [&](OpcUa_UserTokenType tokenType, const char* name,
                        const OpcUa_String& policyId) -> const UserTokenOffer*
    {
        const UserTokenOffer* offer = offerFor(offers, tokenType);
        if (offer == nullptr)
            status = refuseToken(name, "not offered");
        else if (UaString(&policyId) != offer->policyId)
        {
            status = refuseToken(name, "names a policy the endpoint does not offer for it");
            offer = nullptr;
        }
        return offer;
    };
    if (typeId == OpcUa_AnonymousIdentityToken_EncodeableType.TypeId)
    {
        UaTrace::traceLevel6("ActivateSession passed AnonymousIdentityToken");
        const auto* anonymous = static_cast<const OpcUa_AnonymousIdentityToken*>(body);
        if (policyOf(OpcUa_UserTokenType_Anonymous, "Anonymous", anonymous->PolicyId) == nullptr)
            return nullptr;
        return new UaUserIdentityToken();
    }
    if (typeId == OpcUa_UserNameIdentityToken_EncodeableType.TypeId)
    {
        const auto* userName = static_cast<const OpcUa_UserNameIdentityToken*>(body);
        UaTrace::traceLevel6("ActivateSession passed UserNameIdentityToken");
        const UserTokenOffer* offer = policyOf(OpcUa_UserTokenType_UserName, "UserName", userName->PolicyId);
        if (offer == nullptr)
            return nullptr;
        const UaString algorithm(&userName->EncryptionAlgorithm);
        // The offered policy protects the password: it travels encrypted under it, never in clear.
        const bool encryptionRequired =
            offer->securityPolicyUri != nullptr && UaString(offer->securityPolicyUri) != kPolicyNone;
        if (encryptionRequired && (UaString(offer->securityPolicyUri) != kPolicyBasic128Rsa15 ||
                                   algorithm != OpcUa_AlgorithmUri_Rsa15))
        {
            status = refuseToken("UserName", "without the encryption its policy demands");
            return nullptr;
        }
        auto* identity = new UaUserIdentityTokenUserName();
        identity->userName = UaString(&userName->UserName);
        UaTrace::traceLevel6("ActivateSession passed UserNameIdentityToken for user %s",
                             identity->userName.toUtf8());
        const UaByteString secret(userName->Password.Length, userName->Password.Data);
        if (encryptionRequired)
            status = decryptUserPassword(secret, endpoint->privateKey(), session->serverNonce(),
                                         identity->password);
        else if (algorithm.isEmpty())
            identity->password = UaString(secret);
        else
            status = OpcUa_BadIdentityTokenInvalid;
        if (status == OpcUa_BadIdentityTokenRejected)
            UaTrace::traceLevel1("Error: UaServer::ActivateSession - UserName token bound to another "
                                 "nonce: a replayed logon [ret=0x%lx]",
                                 hex(status));
        if (OpcUa_IsGood(status))
            return identity;
        delete identity;
        return nullptr;
    }
    // No endpoint offers certificate or issued tokens: nothing could vouch for them.
    if (typeId == OpcUa_X509IdentityToken_EncodeableType.TypeId)
    {
        UaTrace::traceLevel6("ActivateSession passed X509IdentityToken");
        status = refuseToken("X509", "not offered");
        return nullptr;
    }
    if (typeId == OpcUa_IssuedIdentityToken_EncodeableType.TypeId)
    {
        status = refuseToken("IssuedToken", "not offered");
        return nullptr;
    }
    status = OpcUa_BadExtensibleParameterUnsupported;
    return nullptr;
}

OpcUa_StatusCode UaServer::checkActivatingChannel(UaSession& session, OpcUa_UInt32 channelId, bool secured,
                                                  const UaString& policyUri, UaEndpoint& endpoint,
                                                  const OpcUa_SignatureData& clientSignature)
{
    UaByteString channelCertificate;
    m_pSessionManager->channelCertificate(channelId, channelCertificate);
    if (session.isBoundToCertificate())
    {
        // Whoever learnt the token of a secured session cannot take it over from a channel of
        // another (or no) certificate.
        if (!secured || !sameBytes(channelCertificate, session.clientCertificate()))
        {
            UaTrace::traceLevel1("Error: UaServer::ActivateSession - session [ID=%d] was created on a "
                                 "secured channel of another client certificate [ret=0x%lx]",
                                 static_cast<int>(session.sessionId()), hex(OpcUa_BadSecurityChecksFailed));
            return OpcUa_BadSecurityChecksFailed;
        }
    }
    if (!secured)
        return OpcUa_Good;
    // The client proves it holds the key of its certificate, over the last nonce.
    const UaByteString nonce = session.serverNonce();
    if (nonce.length() < 1)
        return OpcUa_BadInternalError;
    CryptoProvider provider;
    UaTrace::traceLevel4("CALL OpcUa_CryptoProvider_Create");
    OpcUa_StatusCode result = provider.create(policyUri.toUtf8());
    UaTrace::traceLevel4("DONE OpcUa_CryptoProvider_Create [Result=0x%lx]", hex(result));
    if (OpcUa_IsNotGood(result))
        return result;
    // A signature that names another algorithm than the policy's was not made as it is verified.
    const UaString algorithm(&clientSignature.Algorithm);
    if (algorithm != UaString(CryptoProvider::asymmetricSignatureAlgorithm()))
    {
        UaTrace::traceLevel1("Error: UaServer::ActivateSession - the client signature of session [ID=%d] "
                             "names the algorithm '%s', not the one of the channel's policy [ret=0x%lx]",
                             static_cast<int>(session.sessionId()), algorithm.toUtf8(),
                             hex(OpcUa_BadApplicationSignatureInvalid));
        return OpcUa_BadApplicationSignatureInvalid;
    }
    const UaByteString& signer =
        channelCertificate.length() > 0 ? channelCertificate : session.clientCertificate();
    if (OpcUa_IsNotGood(provider.verify(signer, endpoint.certificate(), nonce, clientSignature.Signature)))
    {
        UaTrace::traceLevel1("Error: UaServer::ActivateSession - the client signature of session [ID=%d] "
                             "does not verify [ret=0x%lx]",
                             static_cast<int>(session.sessionId()),
                             hex(OpcUa_BadApplicationSignatureInvalid));
        return OpcUa_BadApplicationSignatureInvalid;
    }
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::ActivateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                           OpcUa_ActivateSessionRequest* request,
                                           OpcUa_EncodeableType* requestType)
{
    if (!beginService("ActivateSession", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaEndpoint* configured = endpointOrRefuse("ActivateSession", endpoint, context, request, requestType);
    if (configured == nullptr)
        return OpcUa_Good;

    UaTrace::traceLevel4("CALL OpcUa_Endpoint_GetMessageSecureChannelId");
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = OpcUa_Endpoint_GetMessageSecureChannelId(endpoint, context, &channelId);
    UaTrace::traceLevel4("DONE OpcUa_Endpoint_GetMessageSecureChannelId [Result=0x%lx]", hex(result));
    UaString policyUri;
    if (OpcUa_IsGood(result))
    {
        UaTrace::traceLevel4("CALL OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy");
        result = channelPolicy(endpoint, context, policyUri);
        UaTrace::traceLevel4("DONE OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy [Result=0x%lx]",
                             hex(result));
    }
    const bool secured = policyUri != kPolicyNone;

    UaSession* session = nullptr;
    if (OpcUa_IsGood(result))
    {
        // Found without counting as contact: a refused activation leaves the session as it was.
        Session* found =
            m_pSessionManager->findSession(UaNodeId(request->RequestHeader.AuthenticationToken), false);
        if (found == nullptr)
            result = OpcUa_BadSessionIdInvalid;
        else
        {
            session = static_cast<UaSession*>(found);
            session->startingServiceProcessing();
            found->releaseReference();
            if (session->isToBeRemoved())
                result = OpcUa_BadSessionClosed;
        }
    }
    if (OpcUa_IsGood(result))
        result = checkActivatingChannel(*session, channelId, secured, policyUri, *configured,
                                        request->ClientSignature);

    UaUserIdentityToken* identity = nullptr;
    if (OpcUa_IsGood(result))
        identity = identityFromRequest(*request, session, configured, result);

    UaByteString newNonce;
    if (OpcUa_IsGood(result))
    {
        newNonce = secureRandomBytes(kServerNonceLength);
        if (newNonce.length() != kServerNonceLength)
            result = OpcUa_BadInternalError;
    }

    if (OpcUa_IsGood(result))
    {
        UaStringArray localeIds;
        if (request->NoOfLocaleIds > 0 && request->LocaleIds != nullptr)
        {
            localeIds.create(static_cast<OpcUa_UInt32>(request->NoOfLocaleIds));
            for (OpcUa_Int32 i = 0; i < request->NoOfLocaleIds; ++i)
                OpcUa_String_CopyTo(&request->LocaleIds[i], &localeIds[static_cast<OpcUa_UInt32>(i)]);
        }
        else
        {
            localeIds.create(1);
            if (m_localeIds.length() > 0)
                OpcUa_String_CopyTo(&m_localeIds[0], &localeIds[0]);
            else
                UaString("en").copyTo(&localeIds[0]);
        }
        result = m_pSessionManager
                     ->activateSession(UaNodeId(request->RequestHeader.AuthenticationToken), channelId,
                                       identity, localeIds)
                     .statusCode();
    }
    delete identity;

    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    // Refused activations are audited too, with status false.
    if (isAuditActivated())
        audit().sessionActivated(session ? session->sessionNodeId() : UaNodeId(),
                                 session ? session->userName() : UaString(), &request->UserIdentityToken,
                                 result);
    if (OpcUa_IsNotGood(result))
    {
        sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
        traceServiceExit("ActivateSession", result);
        return OpcUa_Good;
    }
    // Every activation uses the nonce up: the next one must prove itself over a new one.
    session->setActivatingEndpoint(configured);
    session->setServerNonce(newNonce);
    OpcUa_ByteString_CopyTo(newNonce.toOpcUaByteString(),
                            &static_cast<OpcUa_ActivateSessionResponse*>(response)->ServerNonce);
    sendResponse(endpoint, session, context, request, requestType, OpcUa_Good, response, responseType);
    traceServiceExit("ActivateSession", OpcUa_Good);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::CloseSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                        OpcUa_CloseSessionRequest* request, OpcUa_EncodeableType* requestType)
{
    if (!beginService("CloseSession", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    // Audited before it closes, while the session still names its user.
    if (isAuditActivated())
        audit().sessionClosed(session ? session->sessionNodeId() : UaNodeId(),
                              session ? session->userName() : UaString(),
                              UaDateTime(request->RequestHeader.Timestamp),
                              UaString(&request->RequestHeader.AuditEntryId), result);
    const OpcUa_UInt32 sessionId = session ? session->sessionId() : 0;
    if (OpcUa_IsGood(result))
        result = m_pSessionManager
                     ->closeSession(UaNodeId(request->RequestHeader.AuthenticationToken),
                                    request->DeleteSubscriptions != OpcUa_False)
                     .statusCode();
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
    if (OpcUa_IsGood(result))
        m_pSessionManager->detachSessionFromSecureChannel(sessionId, channelId);
    traceServiceExit("CloseSession", result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::Cancel(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_CancelRequest* request,
                                  OpcUa_EncodeableType* requestType)
{
    if (!beginService("Cancel", endpoint, context, request, requestType))
        return OpcUa_Good;
    UaSession* session = nullptr;
    OpcUa_UInt32 channelId = 0;
    OpcUa_StatusCode result = findValidSession(endpoint, context, request->RequestHeader, session, channelId);
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    // Nothing is cancelled: every request is answered anyway, so CancelCount stays 0.
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    sendResponse(endpoint, session, context, request, requestType, result, response, responseType);
    traceServiceExit("Cancel", result);
    return OpcUa_Good;
}
