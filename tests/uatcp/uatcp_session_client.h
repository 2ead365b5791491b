// A client of the test server made of the stack's own channel API: connects
// over a policy, creates and activates a session and reads the test server's
// Double value. Used by the transport tests and the round-trip benchmark.
#pragma once
#include "uatcp_test_server.h"

#include <opcua.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace uatcp::test
{
constexpr const char* kPolicyNoneUri = "http://opcfoundation.org/UA/SecurityPolicy#None";

// What a client brings to a secured channel (DER certificates and key).
struct ClientCredentials
{
    std::vector<uint8_t> certificate;
    std::vector<uint8_t> privateKey;
    std::vector<uint8_t> serverCertificate;
};

class SessionClient
{
public:
    SessionClient() { OpcUa_NodeId_Initialize(&m_token); }
    ~SessionClient()
    {
        OpcUa_NodeId_Clear(&m_token);
        OpcUa_Channel_Delete(&m_channel);
    }
    SessionClient(const SessionClient&) = delete;
    SessionClient& operator=(const SessionClient&) = delete;

    // Opens the secure channel; credentials are needed unless mode is None.
    OpcUa_StatusCode connect(const std::string& url, const char* policyUri = kPolicyNoneUri,
                             OpcUa_MessageSecurityMode mode = OpcUa_MessageSecurityMode_None,
                             const ClientCredentials* credentials = nullptr)
    {
        OpcUa_Channel_Create(&m_channel, OpcUa_Channel_SerializerType_Binary);
        m_secured = mode != OpcUa_MessageSecurityMode_None && credentials != nullptr;
        if (m_secured)
            m_credentials = *credentials;
        OpcUa_ByteString certificate = view(m_credentials.certificate);
        OpcUa_ByteString serverCertificate = view(m_credentials.serverCertificate);
        OpcUa_Key key{OpcUa_Crypto_KeyType_Rsa_Private, view(m_credentials.privateKey)};
        OpcUa_String policy;
        OpcUa_String_Initialize(&policy);
        OpcUa_String_AttachCopy(&policy, policyUri);
        OpcUa_StatusCode result = OpcUa_Channel_Connect(
            m_channel, url.c_str(), nullptr, nullptr, m_secured ? &certificate : nullptr,
            m_secured ? &key : nullptr, m_secured ? &serverCertificate : nullptr, nullptr, &policy, 600000,
            mode, 30000);
        OpcUa_String_Clear(&policy);
        return result;
    }

    // CreateSession (with the client's certificate and a nonce on a secured channel).
    bool createSession()
    {
        OpcUa_CreateSessionRequest create;
        OpcUa_CreateSessionRequest_Initialize(&create);
        create.RequestedSessionTimeout = 600000;
        std::vector<uint8_t> nonce(32, 7);
        if (m_secured)
        {
            create.ClientCertificate = view(m_credentials.certificate);
            create.ClientNonce = view(nonce);
        }
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        bool ok = OpcUa_IsGood(createSession(create, &response, &type)) &&
                  type == &OpcUa_CreateSessionResponse_EncodeableType;
        OpcUa_EncodeableObject_Delete(type, &response);
        return ok;
    }

    // CreateSession with the caller's request; the token of a CreateSessionResponse becomes the
    // session's. The response (of *responseType) is the caller's to delete; the status of the call.
    OpcUa_StatusCode createSession(OpcUa_CreateSessionRequest& request, OpcUa_Void** response,
                                   OpcUa_EncodeableType** responseType)
    {
        const OpcUa_StatusCode result = OpcUa_Channel_InvokeService(
            m_channel, &request, &OpcUa_CreateSessionRequest_EncodeableType, response, responseType);
        if (OpcUa_IsGood(result) && *responseType == &OpcUa_CreateSessionResponse_EncodeableType)
        {
            OpcUa_NodeId_Clear(&m_token);
            OpcUa_NodeId_CopyTo(&static_cast<OpcUa_CreateSessionResponse*>(*response)->AuthenticationToken,
                                &m_token);
        }
        return result;
    }

    // ActivateSession without a signature: what the test server takes over None.
    bool activateSession()
    {
        OpcUa_ActivateSessionRequest activate;
        OpcUa_ActivateSessionRequest_Initialize(&activate);
        OpcUa_NodeId_CopyTo(&m_token, &activate.RequestHeader.AuthenticationToken);
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        bool ok = call(&activate, &OpcUa_ActivateSessionRequest_EncodeableType, &response, &type) &&
                  type == &OpcUa_ActivateSessionResponse_EncodeableType;
        OpcUa_EncodeableObject_Delete(type, &response);
        OpcUa_ActivateSessionRequest_Clear(&activate);
        return ok;
    }

    // The Double that readDouble reads, and the value it must have: by default the test server's.
    void readDoubleOf(OpcUa_UInt16 ns, OpcUa_UInt32 id, double expected)
    {
        m_readNode = {ns, id};
        m_readExpected = expected;
    }

    // One Read of the Double value; false unless the value came back.
    bool readDouble()
    {
        if (m_read.NoOfNodesToRead == 0)
            prepareRead();
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        bool ok = call(&m_read, &OpcUa_ReadRequest_EncodeableType, &response, &type) &&
                  type == &OpcUa_ReadResponse_EncodeableType &&
                  static_cast<OpcUa_ReadResponse*>(response)->NoOfResults == 1 &&
                  static_cast<OpcUa_ReadResponse*>(response)->Results[0].Value.Value.Double == m_readExpected;
        OpcUa_EncodeableObject_Delete(type, &response);
        return ok;
    }

    // Any request of the session: its header gets the session's token; the response (of
    // *responseType) is the caller's to delete. The status of the call, Good when a response or
    // a fault came back.
    OpcUa_StatusCode invoke(OpcUa_Void* request, OpcUa_EncodeableType* requestType, OpcUa_Void** response,
                            OpcUa_EncodeableType** responseType)
    {
        OpcUa_RequestHeader* header = static_cast<OpcUa_RequestHeader*>(request);
        OpcUa_NodeId_Clear(&header->AuthenticationToken);
        OpcUa_NodeId_CopyTo(&m_token, &header->AuthenticationToken);
        header->TimeoutHint = 30000;
        return OpcUa_Channel_InvokeService(m_channel, request, requestType, response, responseType);
    }
    // As invoke, but once an answer came its service result (a fault's too) is the status.
    OpcUa_StatusCode invokeForResult(OpcUa_Void* request, OpcUa_EncodeableType* requestType,
                                     OpcUa_Void** response, OpcUa_EncodeableType** responseType)
    {
        const OpcUa_StatusCode status = invoke(request, requestType, response, responseType);
        return OpcUa_IsGood(status) && *response != nullptr
                   ? static_cast<OpcUa_ResponseHeader*>(*response)->ServiceResult
                   : status;
    }
    const OpcUa_NodeId& token() const { return m_token; }
    OpcUa_Channel channel() const { return m_channel; }

private:
    static OpcUa_ByteString view(std::vector<uint8_t>& bytes)
    {
        OpcUa_ByteString s;
        s.Length = static_cast<OpcUa_Int32>(bytes.size());
        s.Data = bytes.empty() ? nullptr : bytes.data();
        return s;
    }
    bool call(OpcUa_Void* request, OpcUa_EncodeableType* requestType, OpcUa_Void** response,
              OpcUa_EncodeableType** responseType)
    {
        return OpcUa_IsGood(
            OpcUa_Channel_InvokeService(m_channel, request, requestType, response, responseType));
    }
    void prepareRead()
    {
        m_read.NoOfNodesToRead = 1;
        m_read.NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
        OpcUa_ReadValueId_Initialize(m_read.NodesToRead);
        m_read.NodesToRead->NodeId.NamespaceIndex = m_readNode.first;
        m_read.NodesToRead->NodeId.Identifier.Numeric = m_readNode.second;
        m_read.NodesToRead->AttributeId = 13;
        m_read.RequestHeader.TimeoutHint = 30000;
        OpcUa_NodeId_CopyTo(&m_token, &m_read.RequestHeader.AuthenticationToken);
    }

    OpcUa_Channel m_channel = nullptr;
    bool m_secured = false;
    ClientCredentials m_credentials;
    OpcUa_NodeId m_token;
    std::pair<OpcUa_UInt16, OpcUa_UInt32> m_readNode{1, kDoubleNode};
    double m_readExpected = kDoubleValue;
    struct ReadRequest : OpcUa_ReadRequest
    {
        ReadRequest() { OpcUa_ReadRequest_Initialize(this); }
        ~ReadRequest() { OpcUa_ReadRequest_Clear(this); }
    } m_read;
};
} // namespace uatcp::test
