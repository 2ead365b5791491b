// A session client of the server on the transport tests' session client: it checks the server's
// CreateSession signature, signs its ActivateSession, can log on anonymously, with a user name or
// with a certificate token (signed by any key, to test refusals), reads, calls Multiply and closes.
// The server certificate given to connect is the one passwords are encrypted for.
#pragma once

#include "rsa_signatures.h"
#include "uatcp_session_client.h"

#include <opcua.h>

#include <cstdint>
#include <string>
#include <vector>

namespace uaservertest
{
using uaserver::testing::Bytes;
using uaserver::testing::encryptedPassword;
using uaserver::testing::joined;
using uaserver::testing::rsaSha1Sign;
using uaserver::testing::rsaSha1Verify;

inline constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
inline constexpr const char* kPolicyBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";

class StackClient
{
public:
    StackClient() = default;
    StackClient(const StackClient&) = delete;
    StackClient& operator=(const StackClient&) = delete;

    // Opens the secure channel; a secured one with the client's certificate and key (DER).
    OpcUa_StatusCode connect(const std::string& url, const char* policyUri = kPolicyNone,
                             OpcUa_MessageSecurityMode mode = OpcUa_MessageSecurityMode_None,
                             Bytes certificate = {}, Bytes privateKey = {}, Bytes serverCertificate = {})
    {
        m_credentials = {std::move(certificate), std::move(privateKey), std::move(serverCertificate)};
        m_secured = mode != OpcUa_MessageSecurityMode_None;
        return m_session.connect(url, policyUri, mode, &m_credentials);
    }

    // GetEndpoints for url, filtered by transport profiles; the number of descriptions, -1 when the
    // call failed.
    int getEndpoints(const std::string& url, const std::vector<std::string>& profiles = {})
    {
        std::vector<OpcUa_String> profileUris(profiles.size());
        for (size_t i = 0; i < profiles.size(); ++i)
        {
            OpcUa_String_Initialize(&profileUris[i]);
            OpcUa_String_AttachCopy(&profileUris[i], profiles[i].c_str());
        }
        OpcUa_RequestHeader header;
        OpcUa_RequestHeader_Initialize(&header);
        header.TimeoutHint = 20000;
        OpcUa_ResponseHeader responseHeader;
        OpcUa_ResponseHeader_Initialize(&responseHeader);
        OpcUa_String endpointUrl;
        OpcUa_String_Initialize(&endpointUrl);
        OpcUa_String_AttachCopy(&endpointUrl, url.c_str());
        OpcUa_Int32 count = 0;
        OpcUa_EndpointDescription* endpoints = nullptr;
        const OpcUa_StatusCode result = OpcUa_ClientApi_GetEndpoints(
            m_session.channel(), &header, &endpointUrl, 0, nullptr,
            static_cast<OpcUa_Int32>(profileUris.size()), profileUris.empty() ? nullptr : profileUris.data(),
            &responseHeader, &count, &endpoints);
        for (OpcUa_String& profile : profileUris)
            OpcUa_String_Clear(&profile);
        const bool good = OpcUa_IsGood(result) && OpcUa_IsGood(responseHeader.ServiceResult);
        for (OpcUa_Int32 i = 0; i < count; ++i)
            OpcUa_EndpointDescription_Clear(&endpoints[i]);
        OpcUa_Memory_Free(endpoints);
        OpcUa_String_Clear(&endpointUrl);
        OpcUa_ResponseHeader_Clear(&responseHeader);
        return good ? count : -1;
    }

    // CreateSession; on a secured channel the server's signature over our certificate and nonce
    // is checked (serverSignatureValid).
    OpcUa_StatusCode createSession()
    {
        OpcUa_CreateSessionRequest request;
        OpcUa_CreateSessionRequest_Initialize(&request);
        request.RequestedSessionTimeout = 60000;
        request.RequestHeader.TimeoutHint = 20000;
        Bytes nonce(32, 0x5C);
        if (m_secured)
        {
            request.ClientCertificate = view(m_credentials.certificate);
            request.ClientNonce = view(nonce);
        }
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_StatusCode result = m_session.createSession(request, &response, &type);
        if (OpcUa_IsGood(result) && response != nullptr)
            result = static_cast<OpcUa_ResponseHeader*>(response)->ServiceResult;
        if (OpcUa_IsGood(result) && type == &OpcUa_CreateSessionResponse_EncodeableType)
        {
            auto* created = static_cast<OpcUa_CreateSessionResponse*>(response);
            m_serverNonce = bytes(created->ServerNonce);
            serverSignatureValid = m_secured && rsaSha1Verify(m_credentials.serverCertificate,
                                                              joined(m_credentials.certificate, nonce),
                                                              created->ServerSignature.Signature);
        }
        OpcUa_EncodeableObject_Delete(type, &response);
        return result;
    }

    // ActivateSession, anonymous (no token) or with a certificate token of userCertificate signed
    // with userKey; the client signature on a secured channel.
    OpcUa_StatusCode activateSession(const Bytes& userCertificate = {}, const Bytes& userKey = {})
    {
        OpcUa_ActivateSessionRequest request;
        OpcUa_ActivateSessionRequest_Initialize(&request);
        if (!userCertificate.empty())
        {
            OpcUa_X509IdentityToken* token = nullptr;
            OpcUa_EncodeableObject_CreateExtension(&OpcUa_X509IdentityToken_EncodeableType,
                                                   &request.UserIdentityToken,
                                                   reinterpret_cast<OpcUa_Void**>(&token));
            const OpcUa_ByteString certificateView = view(userCertificate);
            OpcUa_ByteString_CopyTo(&certificateView, &token->CertificateData);
            sign(request.UserTokenSignature, userKey);
        }
        return activate(request);
    }

    // ActivateSession with an anonymous token object.
    OpcUa_StatusCode activateWithAnonymousToken()
    {
        OpcUa_ActivateSessionRequest request;
        OpcUa_ActivateSessionRequest_Initialize(&request);
        addToken<OpcUa_AnonymousIdentityToken>(request, OpcUa_AnonymousIdentityToken_EncodeableType,
                                               "Anonymous");
        return activate(request);
    }

    // ActivateSession with a user name token. The password goes encrypted for the server
    // certificate given to connect and bound to the server's last nonce, as the offered policy
    // demands; in clear when inClear is set.
    OpcUa_StatusCode activateWithUserName(const std::string& userName, const std::string& password,
                                          bool inClear = false)
    {
        OpcUa_ActivateSessionRequest request;
        OpcUa_ActivateSessionRequest_Initialize(&request);
        auto* token = addToken<OpcUa_UserNameIdentityToken>(
            request, OpcUa_UserNameIdentityToken_EncodeableType, "UserName");
        OpcUa_String_AttachCopy(&token->UserName, userName.c_str());
        const Bytes clear(password.begin(), password.end());
        const Bytes secret =
            inClear ? clear : encryptedPassword(m_credentials.serverCertificate, clear, m_serverNonce);
        if (!inClear)
            OpcUa_String_AttachCopy(&token->EncryptionAlgorithm, "http://www.w3.org/2001/04/xmlenc#rsa-1_5");
        const OpcUa_ByteString secretView = view(secret);
        OpcUa_ByteString_CopyTo(&secretView, &token->Password);
        return activate(request);
    }

    // Reads the Value of the namespace 0 node numericId; the service result, else the value's status.
    OpcUa_StatusCode read(OpcUa_UInt32 numericId)
    {
        OpcUa_ReadRequest request;
        OpcUa_ReadRequest_Initialize(&request);
        request.NoOfNodesToRead = 1;
        request.NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
        OpcUa_ReadValueId_Initialize(request.NodesToRead);
        request.NodesToRead->NodeId.Identifier.Numeric = numericId;
        request.NodesToRead->AttributeId = 13; // Value
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_StatusCode result =
            m_session.invokeForResult(&request, &OpcUa_ReadRequest_EncodeableType, &response, &type);
        if (OpcUa_IsGood(result) && type == &OpcUa_ReadResponse_EncodeableType)
        {
            auto* read = static_cast<OpcUa_ReadResponse*>(response);
            result = read->NoOfResults == 1 ? read->Results[0].StatusCode : OpcUa_BadUnexpectedError;
        }
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_ReadRequest_Clear(&request);
        return result;
    }

    // Multiply(a, b) on the test server's calculator (ns=2;i=10, method i=11).
    OpcUa_StatusCode multiply(double a, double b, double& product)
    {
        OpcUa_CallRequest request;
        OpcUa_CallRequest_Initialize(&request);
        request.NoOfMethodsToCall = 1;
        request.MethodsToCall =
            static_cast<OpcUa_CallMethodRequest*>(OpcUa_Memory_Alloc(sizeof(OpcUa_CallMethodRequest)));
        OpcUa_CallMethodRequest_Initialize(request.MethodsToCall);
        request.MethodsToCall->ObjectId.NamespaceIndex = 2;
        request.MethodsToCall->ObjectId.Identifier.Numeric = 10;
        request.MethodsToCall->MethodId.NamespaceIndex = 2;
        request.MethodsToCall->MethodId.Identifier.Numeric = 11;
        request.MethodsToCall->NoOfInputArguments = 2;
        request.MethodsToCall->InputArguments =
            static_cast<OpcUa_Variant*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_Variant)));
        const double arguments[] = {a, b};
        for (int i = 0; i < 2; ++i)
        {
            OpcUa_Variant_Initialize(&request.MethodsToCall->InputArguments[i]);
            request.MethodsToCall->InputArguments[i].Datatype = OpcUaType_Double;
            request.MethodsToCall->InputArguments[i].Value.Double = arguments[i];
        }
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_StatusCode result =
            m_session.invokeForResult(&request, &OpcUa_CallRequest_EncodeableType, &response, &type);
        if (OpcUa_IsGood(result) && type == &OpcUa_CallResponse_EncodeableType)
        {
            auto* call = static_cast<OpcUa_CallResponse*>(response);
            result = call->NoOfResults == 1 ? call->Results[0].StatusCode : OpcUa_BadUnexpectedError;
            if (OpcUa_IsGood(result) && call->Results[0].NoOfOutputArguments == 1)
                product = call->Results[0].OutputArguments[0].Value.Double;
        }
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_CallRequest_Clear(&request);
        return result;
    }

    OpcUa_StatusCode closeSession()
    {
        OpcUa_CloseSessionRequest request;
        OpcUa_CloseSessionRequest_Initialize(&request);
        request.DeleteSubscriptions = OpcUa_True;
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        const OpcUa_StatusCode result =
            m_session.invokeForResult(&request, &OpcUa_CloseSessionRequest_EncodeableType, &response, &type);
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_CloseSessionRequest_Clear(&request);
        return result;
    }

    void disconnect() { OpcUa_Channel_Disconnect(m_session.channel()); }

    bool serverSignatureValid = false;
    const Bytes& serverNonce() const { return m_serverNonce; }
    // The session's own client, for requests of its own.
    uatcp::test::SessionClient& session() { return m_session; }

private:
    static OpcUa_ByteString view(const Bytes& b)
    {
        return {static_cast<OpcUa_Int32>(b.size()), b.empty() ? nullptr : const_cast<OpcUa_Byte*>(b.data())};
    }
    static Bytes bytes(const OpcUa_ByteString& b)
    {
        return b.Length > 0 ? Bytes(b.Data, b.Data + b.Length) : Bytes();
    }
    // A new identity token of type in request, with its policy id.
    template <class Token>
    static Token* addToken(OpcUa_ActivateSessionRequest& request, OpcUa_EncodeableType& type,
                           const char* policyId)
    {
        Token* token = nullptr;
        OpcUa_EncodeableObject_CreateExtension(&type, &request.UserIdentityToken,
                                               reinterpret_cast<OpcUa_Void**>(&token));
        OpcUa_String_AttachCopy(&token->PolicyId, policyId);
        return token;
    }
    // Sends the ActivateSession request, signed on a secured channel, and clears it; the server's
    // new nonce is kept.
    OpcUa_StatusCode activate(OpcUa_ActivateSessionRequest& request)
    {
        if (m_secured)
            sign(request.ClientSignature, m_credentials.privateKey);
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        const OpcUa_StatusCode result = m_session.invokeForResult(
            &request, &OpcUa_ActivateSessionRequest_EncodeableType, &response, &type);
        if (OpcUa_IsGood(result) && type == &OpcUa_ActivateSessionResponse_EncodeableType)
            m_serverNonce = bytes(static_cast<OpcUa_ActivateSessionResponse*>(response)->ServerNonce);
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_ActivateSessionRequest_Clear(&request);
        return result;
    }
    // An rsa-sha1 signature with key over the server's certificate and its last nonce.
    void sign(OpcUa_SignatureData& signature, const Bytes& key) const
    {
        const Bytes signatureBytes = rsaSha1Sign(key, joined(m_credentials.serverCertificate, m_serverNonce));
        const OpcUa_ByteString signedView = view(signatureBytes);
        OpcUa_ByteString_CopyTo(&signedView, &signature.Signature);
        OpcUa_String_AttachCopy(&signature.Algorithm, "http://www.w3.org/2000/09/xmldsig#rsa-sha1");
    }

    uatcp::test::SessionClient m_session;
    uatcp::test::ClientCredentials m_credentials;
    bool m_secured = false;
    Bytes m_serverNonce;
};
} // namespace uaservertest
