#include "fake_endpoint.h"

#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <algorithm>

namespace uaserver::testing
{

struct FakeEndpoint::Context
{
    size_t number = 0; // in order of opening, for failure messages
    FakeChannel channel;
    OpcUa_EncodeableType* responseType = nullptr;
    OpcUa_UInt32 requestHandle = 0;
    OpcUa_StatusCode beginSendFailure = OpcUa_Good;
    OpcUa_StatusCode channelIdFailure = OpcUa_Good;
    bool mayStayUnanswered = false;
    FakeAnswer answer;
};

FakeAnswer::~FakeAnswer()
{
    if (message != nullptr)
        OpcUa_EncodeableObject_Delete(type, &message);
}

FakeEndpoint::FakeEndpoint(OpcUa_ServiceType** services) : m_services(services) {}

FakeEndpoint::~FakeEndpoint()
{
    std::lock_guard lock(m_mutex);
    for (const std::unique_ptr<Context>& c : m_contexts)
    {
        if (c->answer.kind == FakeAnswerKind::None && !c->mayStayUnanswered)
            ADD_FAILURE() << "FakeEndpoint: request context " << c->number << " on channel " << c->channel.id
                          << " was never answered";
    }
}

OpcUa_Handle FakeEndpoint::openContext(const FakeChannel& channel, OpcUa_EncodeableType* responseType,
                                       OpcUa_UInt32 requestHandle)
{
    auto context = std::make_unique<Context>();
    context->channel = channel;
    context->responseType = responseType;
    context->requestHandle = requestHandle;
    std::lock_guard lock(m_mutex);
    context->number = m_contexts.size();
    m_knownChannels.insert(channel.id);
    OpcUa_Handle handle = context.get();
    m_byHandle[handle] = context.get();
    m_contexts.push_back(std::move(context));
    return handle;
}

FakeEndpoint::Invocation FakeEndpoint::invoke(const FakeChannel& channel, OpcUa_Void* request,
                                              OpcUa_EncodeableType* requestType)
{
    Invocation invocation;
    const OpcUa_ServiceType* service = nullptr;
    for (OpcUa_ServiceType** s = m_services; s != nullptr && *s != nullptr; ++s)
    {
        if (requestType != nullptr && (*s)->RequestTypeId == requestType->TypeId &&
            (*s)->BeginInvoke != nullptr)
            service = *s;
    }
    const OpcUa_UInt32 requestHandle =
        request != nullptr ? static_cast<OpcUa_RequestHeader*>(request)->RequestHandle : 0;
    if (service == nullptr)
    {
        OpcUa_EncodeableObject_Delete(requestType, &request);
        raiseChannelEvent(OpcUa_Endpoint_Event_UnsupportedServiceRequested, channel,
                          OpcUa_BadServiceUnsupported);
        invocation.context = openContext(channel, nullptr, requestHandle);
        invocation.result = OpcUa_BadServiceUnsupported;
        std::lock_guard lock(m_mutex);
        recordFaultLocked(*m_byHandle[invocation.context], OpcUa_BadServiceUnsupported, true);
        return invocation;
    }
    invocation.context = openContext(channel, service->ResponseEncodeableType, requestHandle);
    invocation.result = service->BeginInvoke(handle(), invocation.context, &request, requestType);
    invocation.requestTaken = request == nullptr;
    if (OpcUa_IsBad(invocation.result))
    {
        std::lock_guard lock(m_mutex);
        Context& context = *m_byHandle[invocation.context];
        if (context.answer.kind == FakeAnswerKind::None)
            recordFaultLocked(context, invocation.result, true);
    }
    OpcUa_EncodeableObject_Delete(requestType, &request);
    return invocation;
}

OpcUa_StatusCode FakeEndpoint::raiseChannelEvent(OpcUa_Endpoint_Event event, const FakeChannel& channel,
                                                 OpcUa_StatusCode status)
{
    OpcUa_Endpoint_PfnEndpointCallback* callback;
    OpcUa_Void* callbackData;
    {
        std::lock_guard lock(m_mutex);
        if (!m_isOpen || m_callback == nullptr)
            return OpcUa_BadInvalidState;
        m_knownChannels.insert(channel.id);
        callback = m_callback;
        callbackData = m_callbackData;
    }
    std::vector<OpcUa_Byte> certificateBytes = channel.clientCertificate;
    OpcUa_ByteString certificate{-1, nullptr};
    if (!certificateBytes.empty())
        certificate = {static_cast<OpcUa_Int32>(certificateBytes.size()), certificateBytes.data()};
    OpcUa_String policy;
    OpcUa_String_Initialize(&policy);
    OpcUa_String_AttachCopy(&policy, channel.securityPolicyUri.c_str());
    OpcUa_StatusCode result = callback(handle(), callbackData, event, status, channel.id, &certificate,
                                       &policy, channel.securityMode);
    OpcUa_String_Clear(&policy);
    return result;
}

const FakeAnswer& FakeEndpoint::waitForAnswer(OpcUa_Handle context, std::chrono::milliseconds timeout)
{
    static const FakeAnswer none;
    std::unique_lock lock(m_mutex);
    Context* c = findLocked(context, "waitForAnswer");
    if (c == nullptr)
        return none;
    if (!m_answered.wait_for(lock, timeout, [&] { return c->answer.kind != FakeAnswerKind::None; }))
        ADD_FAILURE() << "FakeEndpoint: request context " << c->number << " not answered in time";
    return c->answer;
}

bool FakeEndpoint::isAnswered(OpcUa_Handle context) const
{
    std::lock_guard lock(m_mutex);
    const Context* c = findLocked(context);
    return c != nullptr && c->answer.kind != FakeAnswerKind::None;
}

bool FakeEndpoint::waitForAnswerCount(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_answered.wait_for(lock, timeout, [&] { return m_answerCount >= count; });
}

size_t FakeEndpoint::answerCount() const
{
    std::lock_guard lock(m_mutex);
    return m_answerCount;
}

void FakeEndpoint::expectNoAnswer(OpcUa_Handle context)
{
    std::lock_guard lock(m_mutex);
    if (Context* c = findLocked(context, "expectNoAnswer"))
        c->mayStayUnanswered = true;
}

void FakeEndpoint::failBeginSendResponse(OpcUa_StatusCode status, OpcUa_Handle context)
{
    std::lock_guard lock(m_mutex);
    if (context == nullptr)
        m_beginSendFailure = status;
    else if (Context* c = findLocked(context, "failBeginSendResponse"))
        c->beginSendFailure = status;
}

void FakeEndpoint::failChannelIdQuery(OpcUa_StatusCode status, OpcUa_Handle context)
{
    std::lock_guard lock(m_mutex);
    if (context == nullptr)
        m_channelIdFailure = status;
    else if (Context* c = findLocked(context, "failChannelIdQuery"))
        c->channelIdFailure = status;
}

void FakeEndpoint::failOpen(OpcUa_StatusCode status)
{
    std::lock_guard lock(m_mutex);
    m_openResult = status;
}

void FakeEndpoint::duringOpen(std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_duringOpen = std::move(action);
}

bool FakeEndpoint::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_isOpen;
}

int FakeEndpoint::openCount() const
{
    std::lock_guard lock(m_mutex);
    return m_openCount;
}

bool FakeEndpoint::isDestroyed() const
{
    std::lock_guard lock(m_mutex);
    return m_destroyed;
}

std::string FakeEndpoint::url() const
{
    std::lock_guard lock(m_mutex);
    return m_url;
}

std::vector<FakeEndpoint::Policy> FakeEndpoint::policies() const
{
    std::lock_guard lock(m_mutex);
    return m_policies;
}

std::vector<OpcUa_Byte> FakeEndpoint::serverCertificate() const
{
    std::lock_guard lock(m_mutex);
    return m_serverCertificate;
}

OpcUa_Void* FakeEndpoint::pkiConfig() const
{
    std::lock_guard lock(m_mutex);
    return m_pkiConfig;
}

OpcUa_StatusCode FakeEndpoint::open(const OpcUa_CharA* url, OpcUa_Endpoint_PfnEndpointCallback* callback,
                                    OpcUa_Void* callbackData, OpcUa_ByteString* serverCertificate,
                                    OpcUa_Key* /*serverPrivateKey*/, OpcUa_Void* pkiConfig,
                                    OpcUa_UInt32 noOfSecurityPolicies,
                                    OpcUa_Endpoint_SecurityPolicyConfiguration* securityPolicies)
{
    std::function<void()> duringOpen;
    OpcUa_StatusCode result;
    {
        std::lock_guard lock(m_mutex);
        checkAliveLocked("OpcUa_Endpoint_Open");
        if (url == nullptr || (noOfSecurityPolicies > 0 && securityPolicies == nullptr))
            return OpcUa_BadInvalidArgument;
        if (m_isOpen)
            return OpcUa_BadInvalidState;
        ++m_openCount;
        m_url = url;
        m_policies.clear();
        for (OpcUa_UInt32 i = 0; i < noOfSecurityPolicies; ++i)
        {
            const char* uri = OpcUa_String_GetRawString(&securityPolicies[i].sSecurityPolicyUri);
            m_policies.push_back({uri != nullptr ? uri : "", securityPolicies[i].uMessageSecurityModes});
        }
        m_serverCertificate.clear();
        if (serverCertificate != nullptr && serverCertificate->Length > 0)
            m_serverCertificate.assign(serverCertificate->Data,
                                       serverCertificate->Data + serverCertificate->Length);
        m_pkiConfig = pkiConfig;
        m_callback = callback;
        m_callbackData = callbackData;
        // Open first, so that events raised during the open reach the callback as on the wire.
        m_isOpen = true;
        duringOpen = m_duringOpen;
        result = m_openResult;
    }
    if (duringOpen)
        duringOpen();
    if (OpcUa_IsBad(result))
    {
        std::lock_guard lock(m_mutex);
        m_isOpen = false;
    }
    return result;
}

OpcUa_StatusCode FakeEndpoint::close()
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_Close");
    if (!m_isOpen)
        return OpcUa_BadInvalidState;
    m_isOpen = false;
    return OpcUa_Good;
}

void FakeEndpoint::destroy()
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_Delete");
    m_isOpen = false;
    m_destroyed = true;
}

OpcUa_StatusCode FakeEndpoint::beginSendResponse(OpcUa_Handle context, OpcUa_Void** response,
                                                 OpcUa_EncodeableType** responseType)
{
    if (response != nullptr)
        *response = nullptr;
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_BeginSendResponse");
    Context* c = findLocked(context, "OpcUa_Endpoint_BeginSendResponse");
    if (c == nullptr || response == nullptr || responseType == nullptr)
        return OpcUa_BadInvalidArgument;
    if (c->answer.kind != FakeAnswerKind::None)
    {
        ADD_FAILURE() << "FakeEndpoint: BeginSendResponse on request context " << c->number
                      << ", which was answered already";
        return OpcUa_BadInvalidArgument;
    }
    const OpcUa_StatusCode failure =
        c->beginSendFailure != OpcUa_Good ? c->beginSendFailure : m_beginSendFailure;
    if (failure != OpcUa_Good)
        return failure;
    if (c->responseType == nullptr)
        return OpcUa_BadInvalidArgument;
    *responseType = c->responseType;
    return OpcUa_EncodeableObject_Create(*responseType, response);
}

OpcUa_StatusCode FakeEndpoint::endSendResponse(OpcUa_Handle* context, OpcUa_StatusCode statusCode,
                                               OpcUa_Void* response, OpcUa_EncodeableType* responseType)
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_EndSendResponse");
    Context* c = context != nullptr ? findLocked(*context, "OpcUa_Endpoint_EndSendResponse") : nullptr;
    if (c == nullptr)
        return OpcUa_BadInvalidArgument;
    if (c->answer.kind != FakeAnswerKind::None)
    {
        ADD_FAILURE() << "FakeEndpoint: second answer (EndSendResponse) to request context " << c->number;
        return OpcUa_BadInvalidArgument;
    }
    *context = nullptr;
    if (OpcUa_IsBad(statusCode) || response == nullptr || responseType == nullptr)
    {
        recordFaultLocked(*c, OpcUa_IsBad(statusCode) ? statusCode : OpcUa_BadInternalError, false);
        return OpcUa_IsBad(statusCode) ? OpcUa_Good : OpcUa_BadInvalidArgument;
    }
    OpcUa::BinaryEncoder encoder;
    const OpcUa_StatusCode result = encoder.writeMessage(responseType, response);
    if (OpcUa_IsBad(result))
    {
        // The stack answers a response it cannot encode with a fault.
        recordFaultLocked(*c, result, true);
        return result;
    }
    c->answer.encoded.assign(encoder.data(), encoder.data() + encoder.size());
    OpcUa::BinaryDecoder decoder(c->answer.encoded.data(), c->answer.encoded.size());
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_Void* message = nullptr;
    const OpcUa_StatusCode decoded = decoder.readMessage(&type, &message);
    EXPECT_EQ(OpcUa_Good, decoded) << "FakeEndpoint: the encoded response of context " << c->number
                                   << " does not decode";
    recordMessageLocked(*c, type, message);
    return OpcUa_Good;
}

OpcUa_StatusCode FakeEndpoint::cancelSendResponse(OpcUa_StatusCode status, OpcUa_String* /*reason*/,
                                                  OpcUa_Handle* context)
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_CancelSendResponse");
    Context* c = context != nullptr ? findLocked(*context, "OpcUa_Endpoint_CancelSendResponse") : nullptr;
    if (c == nullptr)
        return OpcUa_BadInvalidArgument;
    if (c->answer.kind != FakeAnswerKind::None)
    {
        ADD_FAILURE() << "FakeEndpoint: second answer (CancelSendResponse) to request context " << c->number;
        return OpcUa_BadInvalidArgument;
    }
    *context = nullptr;
    recordLocked(*c, FakeAnswerKind::Cancel, status, false);
    return OpcUa_Good;
}

OpcUa_StatusCode FakeEndpoint::getMessageSecureChannelId(OpcUa_Handle context, OpcUa_UInt32* secureChannelId)
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_GetMessageSecureChannelId");
    Context* c = findLocked(context, "OpcUa_Endpoint_GetMessageSecureChannelId");
    // Like the stack, an answered context no longer knows its channel.
    if (c == nullptr || secureChannelId == nullptr || c->answer.kind != FakeAnswerKind::None)
        return OpcUa_BadInvalidArgument;
    const OpcUa_StatusCode failure =
        c->channelIdFailure != OpcUa_Good ? c->channelIdFailure : m_channelIdFailure;
    if (failure != OpcUa_Good)
        return failure;
    *secureChannelId = c->channel.id;
    return OpcUa_Good;
}

OpcUa_StatusCode
FakeEndpoint::getMessageSecureChannelSecurityPolicy(OpcUa_Handle context,
                                                    OpcUa_Endpoint_SecurityPolicyConfiguration* policy)
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy");
    Context* c = findLocked(context, "OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy");
    if (c == nullptr || policy == nullptr || c->answer.kind != FakeAnswerKind::None)
        return OpcUa_BadInvalidArgument;
    OpcUa_String_Initialize(&policy->sSecurityPolicyUri);
    static const OpcUa_UInt16 modeBits[] = {0, OPCUA_ENDPOINT_MESSAGESECURITYMODE_NONE,
                                            OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGN,
                                            OPCUA_ENDPOINT_MESSAGESECURITYMODE_SIGNANDENCRYPT};
    policy->uMessageSecurityModes = c->channel.securityMode < 4 ? modeBits[c->channel.securityMode] : 0;
    return OpcUa_String_AttachCopy(&policy->sSecurityPolicyUri, c->channel.securityPolicyUri.c_str());
}

OpcUa_StatusCode FakeEndpoint::setSecureChannelSessionActive(OpcUa_UInt32 secureChannelId,
                                                             OpcUa_Boolean sessionActive)
{
    std::lock_guard lock(m_mutex);
    checkAliveLocked("OpcUa_Endpoint_SetSecureChannelSessionActive");
    if (m_knownChannels.count(secureChannelId) == 0)
        return OpcUa_BadSecureChannelIdInvalid;
    if (sessionActive != OpcUa_False)
        m_sessionActiveChannels.insert(secureChannelId);
    else
        m_sessionActiveChannels.erase(secureChannelId);
    return OpcUa_Good;
}

bool FakeEndpoint::isSessionActive(OpcUa_UInt32 secureChannelId) const
{
    std::lock_guard lock(m_mutex);
    return m_sessionActiveChannels.count(secureChannelId) != 0;
}

FakeEndpoint::Context* FakeEndpoint::findLocked(OpcUa_Handle context, const char* call)
{
    auto it = m_byHandle.find(context);
    if (it != m_byHandle.end())
        return it->second;
    if (context != nullptr)
        ADD_FAILURE() << "FakeEndpoint: " << call << " with a request context of no FakeEndpoint";
    return nullptr;
}

const FakeEndpoint::Context* FakeEndpoint::findLocked(OpcUa_Handle context) const
{
    auto it = m_byHandle.find(context);
    return it != m_byHandle.end() ? it->second : nullptr;
}

void FakeEndpoint::checkAliveLocked(const char* call)
{
    if (m_destroyed)
        ADD_FAILURE() << "FakeEndpoint: " << call << " after OpcUa_Endpoint_Delete";
}

void FakeEndpoint::recordLocked(Context& context, FakeAnswerKind kind, OpcUa_StatusCode status,
                                bool sentByStack)
{
    context.answer.kind = kind;
    context.answer.status = status;
    context.answer.sentByStack = sentByStack;
    ++m_answerCount;
    m_answered.notify_all();
}

void FakeEndpoint::recordFaultLocked(Context& context, OpcUa_StatusCode status, bool sentByStack)
{
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    header.RequestHandle = context.requestHandle;
    OpcUa_Void* fault = nullptr;
    OpcUa_EncodeableType* faultType = nullptr;
    OpcUa_ServerApi_CreateFault(&header, status, nullptr, nullptr, nullptr, &fault, &faultType);
    OpcUa::BinaryEncoder encoder;
    encoder.writeMessage(faultType, fault);
    OpcUa_EncodeableObject_Delete(faultType, &fault);
    context.answer.encoded.assign(encoder.data(), encoder.data() + encoder.size());
    OpcUa::BinaryDecoder decoder(context.answer.encoded.data(), context.answer.encoded.size());
    decoder.readMessage(&context.answer.type, &context.answer.message);
    recordLocked(context, FakeAnswerKind::Fault, status, sentByStack);
}

void FakeEndpoint::recordMessageLocked(Context& context, OpcUa_EncodeableType* type, OpcUa_Void* message)
{
    context.answer.type = type;
    context.answer.message = message;
    const bool fault = type != nullptr && type->TypeId == OpcUa_ServiceFault_EncodeableType.TypeId;
    const OpcUa_StatusCode result = message != nullptr
                                        ? static_cast<OpcUa_ResponseHeader*>(message)->ServiceResult
                                        : OpcUa_BadDecodingError;
    recordLocked(context, fault ? FakeAnswerKind::Fault : FakeAnswerKind::Response, result, false);
}

FakeEndpointFactory::FakeEndpointFactory()
{
    if (OpcUa::setEndpointFactory(&FakeEndpointFactory::create, this) != nullptr)
        ADD_FAILURE() << "FakeEndpointFactory: another endpoint factory is installed";
}

FakeEndpointFactory::~FakeEndpointFactory()
{
    OpcUa::setEndpointFactory(nullptr, nullptr);
}

void FakeEndpointFactory::prepare(size_t index, std::function<void(FakeEndpoint&)> setUp)
{
    std::lock_guard lock(m_mutex);
    if (m_setUps.size() <= index)
        m_setUps.resize(index + 1);
    m_setUps[index] = std::move(setUp);
}

size_t FakeEndpointFactory::count() const
{
    std::lock_guard lock(m_mutex);
    return m_endpoints.size();
}

FakeEndpoint& FakeEndpointFactory::endpoint(size_t index)
{
    std::lock_guard lock(m_mutex);
    if (index >= m_endpoints.size())
    {
        ADD_FAILURE() << "FakeEndpointFactory: no endpoint number " << index << " was created";
        // A spare, so that the test goes on to report its other failures.
        if (!m_spare)
            m_spare = std::make_unique<FakeEndpoint>();
        return *m_spare;
    }
    return *m_endpoints[index];
}

OpcUa::EndpointBackend* FakeEndpointFactory::create(OpcUa_ServiceType** services, void* data)
{
    auto* factory = static_cast<FakeEndpointFactory*>(data);
    auto endpoint = std::make_unique<FakeEndpoint>(services);
    std::lock_guard lock(factory->m_mutex);
    const size_t index = factory->m_endpoints.size();
    if (index < factory->m_setUps.size() && factory->m_setUps[index])
        factory->m_setUps[index](*endpoint);
    factory->m_endpoints.push_back(std::move(endpoint));
    return factory->m_endpoints.back().get();
}

} // namespace uaserver::testing
