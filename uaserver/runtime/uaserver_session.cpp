// The session services of the server core: CreateSession, ActivateSession with the user identity
// tokens, CloseSession and Cancel.
#include "uaserver.h"

#include "sessionmanager.h"
#include "userpassword.h"
#include "uasession.h"
#include "uauseridentitytoken.h"

#include <servermanager.h>

#include <uatrace.h>

#include <opcua_crypto.h>

#include <vector>

namespace
{
constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr OpcUa_Int32 kServerNonceLength = 32;

unsigned long hex(OpcUa_StatusCode code)
{
    return static_cast<unsigned long>(code);
}

// A token type the endpoints do not offer is refused before any logon sees it: a logon hook may
// rely on the offer and accept every user it is given.
bool isOffered(bool offered, const char* policyId, OpcUa_StatusCode& status)
{
    if (offered)
        return true;
    status = OpcUa_BadIdentityTokenInvalid;
    UaTrace::traceLevel1("Error: UaServer::ActivateSession - %s token not offered [ret=0x%lx]", policyId,
                         hex(status));
    return false;
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

    // Random bytes of length; empty on failure.
    UaByteString generateNonce(OpcUa_Int32 length)
    {
        OpcUa_Key key;
        key.Type = 0;
        OpcUa_ByteString_Initialize(&key.Key);
        UaByteString nonce;
        if (OpcUa_IsGood(m_provider.GenerateKey(&m_provider, length, &key)))
            nonce.attach(&key.Key); // the block is the nonce's now
        else
            OpcUa_ByteString_Clear(&key.Key);
        return nonce;
    }

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
        if (OpcUa_IsGood(result))
        {
            serverNonce = provider.generateNonce(kServerNonceLength);
            if (serverNonce.length() != kServerNonceLength)
                result = OpcUa_BadInternalError;
        }
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
                         request->RequestedSessionTimeout, revisedTimeout, created)
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
    if (secured)
    {
        session->setServerNonce(serverNonce);
        OpcUa_ByteString_CopyTo(serverNonce.toOpcUaByteString(), &answer->ServerNonce);
    }
    OpcUa_ByteString_CopyTo(configured->certificate().toOpcUaByteString(), &answer->ServerCertificate);
    GetEndpoints(request->EndpointUrl, answer->NoOfServerEndpoints, answer->ServerEndpoints);
    if (secured)
    {
        UaString(OpcUa_AlgorithmUri_RsaSha1).copyTo(&answer->ServerSignature.Algorithm);
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
    bool anonymousOffered = false, userNameOffered = false;
    status = offeredUserTokens("ActivateSession", anonymousOffered, userNameOffered);
    if (OpcUa_IsNotGood(status))
        return nullptr;
    const OpcUa_ExtensionObject& token = request.UserIdentityToken;
    if (token.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        token.Body.EncodeableObject.Type == nullptr || token.Body.EncodeableObject.Object == nullptr)
        return isOffered(anonymousOffered, "Anonymous", status) ? new UaUserIdentityToken() : nullptr;
    const OpcUa_UInt32 typeId = token.Body.EncodeableObject.Type->TypeId;
    if (typeId == OpcUa_AnonymousIdentityToken_EncodeableType.TypeId)
    {
        UaTrace::traceLevel6("ActivateSession passed AnonymousIdentityToken");
        return isOffered(anonymousOffered, "Anonymous", status) ? new UaUserIdentityToken() : nullptr;
    }
    if (typeId == OpcUa_UserNameIdentityToken_EncodeableType.TypeId)
    {
        const auto* userName =
            static_cast<const OpcUa_UserNameIdentityToken*>(token.Body.EncodeableObject.Object);
        UaTrace::traceLevel6("ActivateSession passed UserNameIdentityToken");
        if (!isOffered(userNameOffered, "UserName", status))
            return nullptr;
        auto* identity = new UaUserIdentityTokenUserName();
        identity->userName = UaString(&userName->UserName);
        UaTrace::traceLevel6("ActivateSession passed UserNameIdentityToken for user %s",
                             identity->userName.toUtf8());
        const UaString algorithm(&userName->EncryptionAlgorithm);
        const UaByteString secret(userName->Password.Length, userName->Password.Data);
        if (algorithm.isEmpty())
            identity->password = UaString(secret);
        else if (algorithm == OpcUa_AlgorithmUri_Rsa15)
            status = decryptUserPassword(secret, endpoint->privateKey(), session->serverNonce(),
                                         identity->password);
        else
            status = OpcUa_BadIdentityTokenInvalid;
        if (OpcUa_IsGood(status))
            return identity;
        delete identity;
        return nullptr;
    }
    if (typeId == OpcUa_X509IdentityToken_EncodeableType.TypeId)
    {
        const auto* x509 = static_cast<const OpcUa_X509IdentityToken*>(token.Body.EncodeableObject.Object);
        UaTrace::traceLevel6("ActivateSession passed X509IdentityToken");
        if (UaString(&request.UserTokenSignature.Algorithm) != OpcUa_AlgorithmUri_RsaSha1)
        {
            status = OpcUa_BadIdentityTokenInvalid;
            return nullptr;
        }
        // rsa-sha1 is the algorithm of Basic128Rsa15's provider: the token is verified with it on
        // every channel, None included, where no provider of the channel's own exists.
        CryptoProvider provider;
        status = provider.create(OpcUa_SecurityPolicy_Basic128Rsa15);
        const UaByteString certificate(x509->CertificateData.Length, x509->CertificateData.Data);
        if (OpcUa_IsGood(status))
            status = provider.verify(certificate, endpoint->certificate(), session->serverNonce(),
                                     request.UserTokenSignature.Signature);
        if (OpcUa_IsNotGood(status))
        {
            UaTrace::traceLevel1("Verification of UserTokenSignature failed");
            status = OpcUa_BadIdentityTokenRejected;
            return nullptr;
        }
        auto* identity = new UaUserIdentityTokenCertificate();
        identity->userCertificate = certificate;
        return identity;
    }
    if (typeId == OpcUa_IssuedIdentityToken_EncodeableType.TypeId)
    {
        const auto* issued =
            static_cast<const OpcUa_IssuedIdentityToken*>(token.Body.EncodeableObject.Object);
        auto* identity = new UaUserIdentityTokenIssued();
        identity->tokenData = UaByteString(issued->TokenData.Length, issued->TokenData.Data);
        identity->encryptionAlgorithm = UaString(&issued->EncryptionAlgorithm);
        return identity;
    }
    status = OpcUa_BadExtensibleParameterUnsupported;
    return nullptr;
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
    CryptoProvider provider;
    if (OpcUa_IsGood(result) && secured)
    {
        UaTrace::traceLevel4("CALL OpcUa_CryptoProvider_Create");
        result = provider.create(policyUri.toUtf8());
        UaTrace::traceLevel4("DONE OpcUa_CryptoProvider_Create [Result=0x%lx]", hex(result));
    }

    UaSession* session = nullptr;
    if (OpcUa_IsGood(result))
    {
        Session* found =
            m_pSessionManager->findSession(UaNodeId(request->RequestHeader.AuthenticationToken), true);
        if (found == nullptr)
            result = OpcUa_BadSessionIdInvalid;
        else
        {
            session = static_cast<UaSession*>(found);
            session->startingServiceProcessing();
            found->releaseReference();
            if (session->isToBeRemoved())
                result = OpcUa_BadSessionClosed;
            else
                session->setActivatingEndpoint(configured);
        }
    }

    UaUserIdentityToken* identity = nullptr;
    if (OpcUa_IsGood(result))
        identity = identityFromRequest(*request, session, configured, result);

    UaByteString newNonce;
    if (OpcUa_IsGood(result) && secured)
    {
        const UaByteString nonce = session->serverNonce();
        if (nonce.length() < 1)
            result = OpcUa_BadInternalError;
        else
            result = provider.verify(session->clientCertificate(), configured->certificate(), nonce,
                                     request->ClientSignature.Signature);
        if (OpcUa_IsGood(result))
        {
            newNonce = provider.generateNonce(kServerNonceLength);
            if (newNonce.length() != kServerNonceLength)
                result = OpcUa_BadInternalError;
        }
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
    // A channel that carries an activated session is the last the stack gives up when full.
    OpcUa_Endpoint_SetSecureChannelSessionActive(endpoint, channelId, OpcUa_True);
    if (secured)
    {
        session->setServerNonce(newNonce);
        OpcUa_ByteString_CopyTo(newNonce.toOpcUaByteString(),
                                &static_cast<OpcUa_ActivateSessionResponse*>(response)->ServerNonce);
    }
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
