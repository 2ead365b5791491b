#include "discovery_standin.h"

#include <opcua_transport.h>

#include <cstring>

namespace uaservertest
{
namespace
{
DiscoveryStandIn* s_standIn = nullptr;

std::string text(const OpcUa_String& s)
{
    const char* raw = OpcUa_String_GetRawString(&s);
    return raw != nullptr ? raw : "";
}

void copyBytes(OpcUa_ByteString* target, const std::vector<uint8_t>& bytes)
{
    target->Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(bytes.size()));
    if (target->Data == nullptr)
        return;
    std::memcpy(target->Data, bytes.data(), bytes.size());
    target->Length = static_cast<OpcUa_Int32>(bytes.size());
}
} // namespace

struct DiscoveryStandInServices
{
    static OpcUa_StatusCode getEndpoints(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void** request,
                                         OpcUa_EncodeableType*)
    {
        auto* req = static_cast<OpcUa_GetEndpointsRequest*>(*request);
        OpcUa_EncodeableType* type = nullptr;
        auto* r = uatcp::test::beginResponse<OpcUa_GetEndpointsResponse>(endpoint, context, &type,
                                                                         req->RequestHeader);
        if (r == nullptr)
            return OpcUa_BadInternalError;
        std::lock_guard lock(s_standIn->m_mutex);
        ++s_standIn->m_getEndpointsCalls;
        const auto& script = s_standIn->m_script;
        if (!script.empty())
        {
            r->Endpoints = static_cast<OpcUa_EndpointDescription*>(
                OpcUa_Memory_Alloc(script.size() * sizeof(OpcUa_EndpointDescription)));
            for (size_t i = 0; i < script.size(); ++i)
            {
                OpcUa_EndpointDescription& d = r->Endpoints[i];
                OpcUa_EndpointDescription_Initialize(&d);
                OpcUa_String_AttachCopy(&d.EndpointUrl, script[i].url.c_str());
                OpcUa_String_AttachCopy(&d.SecurityPolicyUri, script[i].policy.c_str());
                d.SecurityMode = script[i].mode;
                if (const uatcp::test::TestSecurity* security = s_standIn->m_server.security())
                    copyBytes(&d.ServerCertificate, security->certificate);
            }
            r->NoOfEndpoints = static_cast<OpcUa_Int32>(script.size());
        }
        return uatcp::test::endResponse(endpoint, context, r, type);
    }

    static OpcUa_StatusCode registerServer(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                           OpcUa_Void** request, OpcUa_EncodeableType*)
    {
        auto* req = static_cast<OpcUa_RegisterServerRequest*>(*request);
        const OpcUa_RegisteredServer& s = req->Server;
        RegisteredServerCopy copy;
        copy.serverUri = text(s.ServerUri);
        copy.productUri = text(s.ProductUri);
        copy.gatewayServerUri = text(s.GatewayServerUri);
        copy.semaphoreFilePath = text(s.SemaphoreFilePath);
        for (OpcUa_Int32 i = 0; i < s.NoOfServerNames; ++i)
            copy.serverNames.emplace_back(text(s.ServerNames[i].Locale), text(s.ServerNames[i].Text));
        copy.serverType = static_cast<int>(s.ServerType);
        for (OpcUa_Int32 i = 0; i < s.NoOfDiscoveryUrls; ++i)
            copy.discoveryUrls.push_back(text(s.DiscoveryUrls[i]));
        copy.isOnline = s.IsOnline != OpcUa_False;
        OpcUa_Endpoint_SecurityPolicyConfiguration channel;
        OpcUa_String_Initialize(&channel.sSecurityPolicyUri);
        channel.uMessageSecurityModes = 0;
        if (OpcUa_IsGood(OpcUa_Endpoint_GetMessageSecureChannelSecurityPolicy(endpoint, context, &channel)))
        {
            copy.channelPolicy = text(channel.sSecurityPolicyUri);
            copy.channelMode = channel.uMessageSecurityModes;
        }
        OpcUa_String_Clear(&channel.sSecurityPolicyUri);
        {
            std::lock_guard lock(s_standIn->m_mutex);
            s_standIn->m_registrations.push_back(std::move(copy));
        }
        OpcUa_EncodeableType* type = nullptr;
        auto* r = uatcp::test::beginResponse<OpcUa_RegisterServerResponse>(endpoint, context, &type,
                                                                           req->RequestHeader);
        if (r == nullptr)
            return OpcUa_BadInternalError;
        return uatcp::test::endResponse(endpoint, context, r, type);
    }
};

namespace
{
OpcUa_ServiceType s_getEndpoints = {OpcUaId_GetEndpointsRequest, &OpcUa_GetEndpointsResponse_EncodeableType,
                                    DiscoveryStandInServices::getEndpoints, nullptr};
OpcUa_ServiceType s_registerServer = {OpcUaId_RegisterServerRequest,
                                      &OpcUa_RegisterServerResponse_EncodeableType,
                                      DiscoveryStandInServices::registerServer, nullptr};
OpcUa_ServiceType* s_services[] = {&s_getEndpoints, &s_registerServer, nullptr};
} // namespace

DiscoveryStandIn::DiscoveryStandIn()
{
    s_standIn = this;
}

DiscoveryStandIn::~DiscoveryStandIn()
{
    m_server.stop();
    s_standIn = nullptr;
}

bool DiscoveryStandIn::start(const uatcp::test::TestSecurity* security)
{
    return m_server.start("127.0.0.1", s_services, security);
}

void DiscoveryStandIn::script(std::vector<ScriptedEndpoint> endpoints)
{
    std::lock_guard lock(m_mutex);
    m_script = std::move(endpoints);
}

int DiscoveryStandIn::getEndpointsCalls() const
{
    std::lock_guard lock(m_mutex);
    return m_getEndpointsCalls;
}

std::vector<RegisteredServerCopy> DiscoveryStandIn::registrations() const
{
    std::lock_guard lock(m_mutex);
    return m_registrations;
}
} // namespace uaservertest
