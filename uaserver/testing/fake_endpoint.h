// The in-process stand-in for the stack's endpoint, for server tests. Server code calls the
// stack's endpoint functions as it does on the wire; on a FakeEndpoint's handle they reach this
// object, which records per request context what the stack would have sent: a response (encoded
// with the stack's encoder and decoded again for the test to read), a fault, or a cancel.
//
// A test opens contexts on chosen secure channels and hands them to server code, or injects a
// request through the begin-invoke function of the service table as the stack does, raises the
// channel events of the endpoint callback, and waits for the answers, which may come from any
// thread. A second answer to one context, a call on an unknown context and a context left
// unanswered when the endpoint goes are test failures.
#pragma once

#include <opcua.h>
#include <opcua_endpoint_backend.hpp>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace uaserver::testing
{

inline constexpr const char* kSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
inline constexpr const char* kSecurityPolicyBasic128Rsa15 =
    "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
inline constexpr const char* kSecurityPolicyBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";

// The secure channel a request arrives on.
struct FakeChannel
{
    FakeChannel() = default;
    FakeChannel(OpcUa_UInt32 channelId, std::string policyUri = kSecurityPolicyNone,
                OpcUa_UInt16 mode = OpcUa_MessageSecurityMode_None, std::vector<OpcUa_Byte> certificate = {})
        : id(channelId), securityPolicyUri(std::move(policyUri)), securityMode(mode),
          clientCertificate(std::move(certificate))
    {
    }

    OpcUa_UInt32 id = 1;
    std::string securityPolicyUri = kSecurityPolicyNone;
    // A MessageSecurityMode value: 1 None, 2 Sign, 3 SignAndEncrypt.
    OpcUa_UInt16 securityMode = OpcUa_MessageSecurityMode_None;
    std::vector<OpcUa_Byte> clientCertificate;
};

enum class FakeAnswerKind
{
    None,     // not answered (yet)
    Response, // a response message
    Fault,    // a ServiceFault
    Cancel    // CancelSendResponse
};

// The answer to one request context.
class FakeAnswer
{
public:
    FakeAnswer() = default;
    ~FakeAnswer();
    FakeAnswer(const FakeAnswer&) = delete;
    FakeAnswer& operator=(const FakeAnswer&) = delete;

    FakeAnswerKind kind = FakeAnswerKind::None;
    // The ServiceResult of a response or fault; the status handed to CancelSendResponse.
    OpcUa_StatusCode status = OpcUa_Good;
    // A fault of the stack's own: the begin-invoke function refused without answering, or no
    // service of the table took the request.
    bool sentByStack = false;
    // A response or fault as the stack encoded it (encoding id and body).
    std::vector<OpcUa_Byte> encoded;
    // The encoded message decoded again; null for a cancel.
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_Void* message = nullptr;

    // The decoded message when it is of type, else null.
    template <class T> const T* as(const OpcUa_EncodeableType& expected) const
    {
        return type != nullptr && type->TypeId == expected.TypeId ? static_cast<const T*>(message) : nullptr;
    }
    // Every response and fault begins with its header; null for a cancel.
    const OpcUa_ResponseHeader* header() const { return static_cast<const OpcUa_ResponseHeader*>(message); }
};

// Makes a zeroed request or other message of type (the caller, or whoever takes it, frees it).
template <class T> T* newMessage(OpcUa_EncodeableType& type)
{
    OpcUa_Void* object = nullptr;
    OpcUa_EncodeableObject_Create(&type, &object);
    return static_cast<T*>(object);
}

class FakeEndpoint final : public OpcUa::EndpointBackend
{
public:
    // services: the null-terminated table a server hands OpcUa_Endpoint_Create; it must outlive
    // the endpoint. Null for tests that open contexts themselves.
    explicit FakeEndpoint(OpcUa_ServiceType** services = nullptr);
    // Fails the test for each context still unanswered (and not expected to stay so).
    ~FakeEndpoint() override;

    // A request context on channel; BeginSendResponse hands out an object of responseType.
    OpcUa_Handle openContext(const FakeChannel& channel, OpcUa_EncodeableType* responseType,
                             OpcUa_UInt32 requestHandle = 0);

    // What the stack does with a decoded request: the service table's row for requestType gets a
    // new context; a Bad result of its begin-invoke function without an answer is answered by a
    // fault of the stack's own; a request the function did not take is freed. Without a row the
    // stack raises UnsupportedServiceRequested and answers BadServiceUnsupported.
    struct Invocation
    {
        OpcUa_Handle context = nullptr;
        OpcUa_StatusCode result = OpcUa_Good; // of the begin-invoke function
        bool requestTaken = false;
    };
    Invocation invoke(const FakeChannel& channel, OpcUa_Void* request, OpcUa_EncodeableType* requestType);

    // Calls the endpoint callback given to Open (events 1 to 5 of OpcUa_Endpoint_Event) for
    // channel; BadInvalidState when the endpoint is not open.
    OpcUa_StatusCode raiseChannelEvent(OpcUa_Endpoint_Event event, const FakeChannel& channel,
                                       OpcUa_StatusCode status = OpcUa_Good);

    // The answer of context once there is one; after timeout the test fails and the answer is
    // of kind None.
    const FakeAnswer& waitForAnswer(OpcUa_Handle context,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool isAnswered(OpcUa_Handle context) const;
    // Waits until count contexts of this endpoint are answered in all.
    bool waitForAnswerCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    size_t answerCount() const;
    // The server drops context on purpose: no failure when it stays unanswered.
    void expectNoAnswer(OpcUa_Handle context);

    // From now on BeginSendResponse (or the channel-id query) fails with status for context, or
    // for every context when context is null; Good ends it.
    void failBeginSendResponse(OpcUa_StatusCode status, OpcUa_Handle context = nullptr);
    void failChannelIdQuery(OpcUa_StatusCode status, OpcUa_Handle context = nullptr);
    // Open answers status (after storing what it was given, its callback included).
    void failOpen(OpcUa_StatusCode status);
    // Runs inside Open once the callback is stored (a channel opening while the server opens).
    void duringOpen(std::function<void()> action);

    // What Open was given and the endpoint's life.
    bool isOpen() const;
    int openCount() const;
    bool isDestroyed() const;
    std::string url() const;
    struct Policy
    {
        std::string uri;
        OpcUa_UInt16 modes; // OPCUA_ENDPOINT_MESSAGESECURITYMODE_* bits
    };
    std::vector<Policy> policies() const;
    std::vector<OpcUa_Byte> serverCertificate() const;
    OpcUa_Void* pkiConfig() const;
    // What the server last marked for channel: whether it carries an activated session.
    bool isSessionActive(OpcUa_UInt32 secureChannelId) const;

    // The stack's endpoint calls.
    OpcUa_StatusCode open(const OpcUa_CharA* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
                          OpcUa_Void* callbackData, OpcUa_ByteString* serverCertificate,
                          OpcUa_Key* serverPrivateKey, OpcUa_Void* pkiConfig,
                          OpcUa_UInt32 noOfSecurityPolicies,
                          OpcUa_Endpoint_SecurityPolicyConfiguration* securityPolicies) override;
    OpcUa_StatusCode close() override;
    // OpcUa_Endpoint_Delete only marks the endpoint: its owner (the test or the factory) frees it.
    void destroy() override;
    OpcUa_StatusCode beginSendResponse(OpcUa_Handle context, OpcUa_Void** response,
                                       OpcUa_EncodeableType** responseType) override;
    OpcUa_StatusCode endSendResponse(OpcUa_Handle* context, OpcUa_StatusCode statusCode, OpcUa_Void* response,
                                     OpcUa_EncodeableType* responseType) override;
    OpcUa_StatusCode cancelSendResponse(OpcUa_StatusCode status, OpcUa_String* reason,
                                        OpcUa_Handle* context) override;
    OpcUa_StatusCode getMessageSecureChannelId(OpcUa_Handle context, OpcUa_UInt32* secureChannelId) override;
    OpcUa_StatusCode
    getMessageSecureChannelSecurityPolicy(OpcUa_Handle context,
                                          OpcUa_Endpoint_SecurityPolicyConfiguration* policy) override;
    // Recorded per channel; BadSecureChannelIdInvalid for a channel no context or event named.
    OpcUa_StatusCode setSecureChannelSessionActive(OpcUa_UInt32 secureChannelId,
                                                   OpcUa_Boolean sessionActive) override;

private:
    struct Context;

    Context* findLocked(OpcUa_Handle context, const char* call);
    const Context* findLocked(OpcUa_Handle context) const;
    void checkAliveLocked(const char* call);
    void recordLocked(Context& context, FakeAnswerKind kind, OpcUa_StatusCode status, bool sentByStack);
    void recordFaultLocked(Context& context, OpcUa_StatusCode status, bool sentByStack);
    void recordMessageLocked(Context& context, OpcUa_EncodeableType* type, OpcUa_Void* message);

    OpcUa_ServiceType** m_services;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::vector<std::unique_ptr<Context>> m_contexts;
    std::unordered_map<const void*, Context*> m_byHandle;
    std::set<OpcUa_UInt32> m_knownChannels;
    std::set<OpcUa_UInt32> m_sessionActiveChannels;
    size_t m_answerCount = 0;
    OpcUa_StatusCode m_beginSendFailure = OpcUa_Good;
    OpcUa_StatusCode m_channelIdFailure = OpcUa_Good;
    OpcUa_StatusCode m_openResult = OpcUa_Good;
    std::function<void()> m_duringOpen;
    bool m_isOpen = false;
    int m_openCount = 0;
    bool m_destroyed = false;
    std::string m_url;
    std::vector<Policy> m_policies;
    std::vector<OpcUa_Byte> m_serverCertificate;
    OpcUa_Void* m_pkiConfig = nullptr;
    OpcUa_Endpoint_PfnEndpointCallback* m_callback = nullptr;
    OpcUa_Void* m_callbackData = nullptr;
};

// While it lives, OpcUa_Endpoint_Create makes FakeEndpoints (for server start-up on the
// harness); they stay here, for the test to drive and inspect, until the factory goes.
class FakeEndpointFactory
{
public:
    FakeEndpointFactory();
    ~FakeEndpointFactory();
    FakeEndpointFactory(const FakeEndpointFactory&) = delete;
    FakeEndpointFactory& operator=(const FakeEndpointFactory&) = delete;

    // Applied to the endpoint created as number index (from 0) when it is made.
    void prepare(size_t index, std::function<void(FakeEndpoint&)> setUp);

    size_t count() const;
    // Endpoint number index in order of creation; the test fails when there is none.
    FakeEndpoint& endpoint(size_t index);

private:
    static OpcUa::EndpointBackend* create(OpcUa_ServiceType** services, void* data);

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<FakeEndpoint>> m_endpoints;
    std::vector<std::function<void(FakeEndpoint&)>> m_setUps;
    std::unique_ptr<FakeEndpoint> m_spare;
};

} // namespace uaserver::testing
