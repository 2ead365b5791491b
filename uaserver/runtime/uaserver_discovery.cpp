// The discovery services of the server core: FindServers, and GetEndpoints with the endpoint
// description builder that CreateSession uses too.
#include "uaserver.h"

#include <servermanager.h>
#include <serverconfig.h>

#include <ualocalizedtext.h>
#include <uatrace.h>

#include <cstring>
#include <vector>

namespace
{
constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* kPolicyBasic128Rsa15 = "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
constexpr const char* kPolicyBasic256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256";
constexpr const char* kTransportProfileBinary =
    "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";

unsigned long hex(OpcUa_StatusCode code)
{
    return static_cast<unsigned long>(code);
}

OpcUa_Int32 countOf(OpcUa_UInt32 n)
{
    return static_cast<OpcUa_Int32>(n);
}

// The configuration's server identity, as the discovery answers show it.
struct ServerIdentity
{
    UaString serverUri;
    UaLocalizedTextArray serverNames;
    UaString productUri, manufacturerName, productName, softwareVersion, buildNumber;
    UaDateTime buildDate;

    OpcUa_StatusCode load(ServerConfig* config, const char* service)
    {
        OpcUa_StatusCode result = config->getServerInstanceInfo(serverUri, serverNames);
        if (OpcUa_IsNotGood(result))
        {
            UaTrace::traceLevel1(
                "Error: UaServer::%s - ServerConfig::getServerInstanceInfo failed [ret=0x%lx]", service,
                hex(result));
            return result;
        }
        result = config->getBuildInfo(productUri, manufacturerName, productName, softwareVersion, buildNumber,
                                      buildDate);
        if (OpcUa_IsNotGood(result))
            UaTrace::traceLevel1("Error: UaServer::%s - ServerConfig::getBuildInfo failed [ret=0x%lx]",
                                 service, hex(result));
        return result;
    }
};

void copyText(const UaString& locale, const UaString& text, OpcUa_LocalizedText& target)
{
    locale.copyTo(&target.Locale);
    text.copyTo(&target.Text);
}

bool sameText(const UaString& a, const OpcUa_String& b)
{
    return a == UaString(&b);
}

bool startsWith(const UaString& text, const OpcUa_String& prefix)
{
    const OpcUa_UInt32 n = OpcUa_String_StrLen(&prefix);
    return static_cast<OpcUa_UInt32>(text.size()) >= n &&
           std::memcmp(text.toUtf8(), OpcUa_String_GetRawString(&prefix), n) == 0;
}

// SecurityLevel of one description: by mode, then by policy.
OpcUa_Byte securityLevel(OpcUa_MessageSecurityMode mode, const UaString& policy)
{
    OpcUa_Byte level = mode == OpcUa_MessageSecurityMode_Sign             ? 50
                       : mode == OpcUa_MessageSecurityMode_SignAndEncrypt ? 100
                                                                          : 0;
    if (policy == kPolicyNone)
        level = 0;
    else if (policy == kPolicyBasic128Rsa15)
        level += 30;
    else if (policy == kPolicyBasic256)
        level += 40;
    return level;
}

void addTokenPolicy(OpcUa_UserTokenPolicy& policy, const char* policyId, OpcUa_UserTokenType type,
                    const char* securityPolicyUri)
{
    OpcUa_UserTokenPolicy_Initialize(&policy);
    UaString(policyId).copyTo(&policy.PolicyId);
    policy.TokenType = type;
    if (securityPolicyUri != nullptr)
        UaString(securityPolicyUri).copyTo(&policy.SecurityPolicyUri);
}

constexpr OpcUa_UInt16 kModeBits[] = {0x1, 0x2, 0x4};
constexpr OpcUa_MessageSecurityMode kModes[] = {
    OpcUa_MessageSecurityMode_None, OpcUa_MessageSecurityMode_Sign, OpcUa_MessageSecurityMode_SignAndEncrypt};
} // namespace

OpcUa_StatusCode UaServer::offeredUserTokens(const char* service, std::vector<UserTokenOffer>& offers) const
{
    offers.clear();
    ServerConfig* config = m_pServerManager ? m_pServerManager->getServerConfig() : nullptr;
    if (config == nullptr)
        return OpcUa_BadInternalError;
    bool anonymous = false, userName = false;
    const OpcUa_StatusCode result = config->getUserIdentityTokenConfig(anonymous, userName).statusCode();
    if (OpcUa_IsNotGood(result))
    {
        UaTrace::traceLevel1(
            "Error: UaServer::%s - ServerConfig::getUserIdentityTokenConfig failed [ret=0x%lx]", service,
            hex(result));
        return result;
    }
    // A configuration that offers no token at all still lets clients log on with a user name.
    if (!anonymous && !userName)
        userName = true;
    if (anonymous)
        offers.push_back({"Anonymous", OpcUa_UserTokenType_Anonymous, nullptr});
    // The password always travels encrypted, on channels without security too.
    if (userName)
        offers.push_back({"UserName", OpcUa_UserTokenType_UserName, kPolicyBasic128Rsa15});
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::GetEndpoints(const OpcUa_String& endpointUrl, OpcUa_Int32& noOfEndpoints,
                                        OpcUa_EndpointDescription*& endpoints)
{
    noOfEndpoints = 0;
    endpoints = nullptr;
    ServerConfig* config = m_pServerManager ? m_pServerManager->getServerConfig() : nullptr;
    if (config == nullptr)
        return OpcUa_BadInternalError;
    std::vector<UserTokenOffer> offers;
    OpcUa_StatusCode result = offeredUserTokens("GetEndpoints", offers);
    if (OpcUa_IsNotGood(result))
        return result;
    ServerIdentity identity;
    result = identity.load(config, "GetEndpoints");
    if (OpcUa_IsNotGood(result))
        return result;

    bool urlMatched = false;
    OpcUa_UInt32 total = 0;
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
    {
        const UaEndpoint* endpoint = m_endpoints[i];
        if (endpoint == nullptr || !endpoint->firstFlag())
            continue;
        if (sameText(endpoint->endpointUrl(), endpointUrl))
            urlMatched = true;
        for (OpcUa_UInt32 p = 0; p < endpoint->securitySettingCount(); ++p)
            if (const UaEndpointSecuritySetting* setting = endpoint->securitySetting(p))
                total += setting->messageSecurityModeCount();
    }
    if (total == 0)
        return OpcUa_Good;
    endpoints = static_cast<OpcUa_EndpointDescription*>(
        OpcUa_Memory_Alloc(total * sizeof(OpcUa_EndpointDescription)));
    if (endpoints == nullptr)
        return OpcUa_BadOutOfMemory;
    for (OpcUa_UInt32 i = 0; i < total; ++i)
        OpcUa_EndpointDescription_Initialize(&endpoints[i]);

    OpcUa_UInt32 written = 0;
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
    {
        const UaEndpoint* endpoint = m_endpoints[i];
        if (endpoint == nullptr || !endpoint->firstFlag())
            continue;
        const UaString url = endpoint->endpointUrl();
        if (urlMatched && !sameText(url, endpointUrl))
            continue;
        for (OpcUa_UInt32 p = 0; p < endpoint->securitySettingCount(); ++p)
        {
            const UaEndpointSecuritySetting* setting = endpoint->securitySetting(p);
            if (setting == nullptr)
                continue;
            const UaString policy = setting->securityPolicy();
            for (int m = 0; m < 3; ++m)
            {
                if ((setting->messageSecurityModes() & kModeBits[m]) == 0 || written >= total)
                    continue;
                OpcUa_EndpointDescription& description = endpoints[written++];
                url.copyTo(&description.EndpointUrl);
                OpcUa_ApplicationDescription& server = description.Server;
                identity.serverUri.copyTo(&server.ApplicationUri);
                identity.productUri.copyTo(&server.ProductUri);
                if (identity.serverNames.length() > 0)
                    OpcUa_LocalizedText_CopyTo(&identity.serverNames[0], &server.ApplicationName);
                else
                    copyText("en", "Server name not available", server.ApplicationName);
                server.ApplicationType = OpcUa_ApplicationType_Server;
                server.DiscoveryUrls = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(sizeof(OpcUa_String)));
                if (server.DiscoveryUrls != nullptr)
                {
                    OpcUa_String_Initialize(server.DiscoveryUrls);
                    url.copyTo(server.DiscoveryUrls);
                    server.NoOfDiscoveryUrls = 1;
                }
                OpcUa_ByteString_CopyTo(endpoint->certificate().toOpcUaByteString(),
                                        &description.ServerCertificate);
                description.SecurityMode = kModes[m];
                policy.copyTo(&description.SecurityPolicyUri);
                description.SecurityLevel = securityLevel(kModes[m], policy);
                description.UserIdentityTokens = static_cast<OpcUa_UserTokenPolicy*>(
                    OpcUa_Memory_Alloc(offers.size() * sizeof(OpcUa_UserTokenPolicy)));
                if (description.UserIdentityTokens != nullptr)
                {
                    for (size_t t = 0; t < offers.size(); ++t)
                        addTokenPolicy(description.UserIdentityTokens[t], offers[t].policyId,
                                       offers[t].tokenType, offers[t].securityPolicyUri);
                    description.NoOfUserIdentityTokens = countOf(static_cast<OpcUa_UInt32>(offers.size()));
                }
                UaString(kTransportProfileBinary).copyTo(&description.TransportProfileUri);
            }
        }
    }
    noOfEndpoints = countOf(written);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::GetEndpoints(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                        OpcUa_GetEndpointsRequest* request, OpcUa_EncodeableType* requestType)
{
    if (!beginService("GetEndpoints", endpoint, context, request, requestType))
        return OpcUa_Good;

    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    OpcUa_StatusCode result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (OpcUa_IsGood(result))
    {
        auto* answer = static_cast<OpcUa_GetEndpointsResponse*>(response);
        bool binaryTcp = request->NoOfProfileUris <= 0;
        for (OpcUa_Int32 i = 0; i < request->NoOfProfileUris && request->ProfileUris != nullptr; ++i)
            if (UaString(&request->ProfileUris[i]) == kTransportProfileBinary)
                binaryTcp = true;
        if (binaryTcp)
            result = GetEndpoints(request->EndpointUrl, answer->NoOfEndpoints, answer->Endpoints);
    }
    sendResponse(endpoint, nullptr, context, request, requestType, result, response, responseType);
    traceServiceExit("GetEndpoints", result);
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::FindServers(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_FindServersRequest* request, OpcUa_EncodeableType* requestType)
{
    if (!beginService("FindServers", endpoint, context, request, requestType))
        return OpcUa_Good;

    ServerConfig* config = m_pServerManager->getServerConfig();
    ServerIdentity identity;
    OpcUa_StatusCode result = config ? identity.load(config, "FindServers") : OpcUa_BadInternalError;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* responseType = nullptr;
    if (OpcUa_IsGood(result))
        result = OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
    if (OpcUa_IsGood(result))
    {
        auto* answer = static_cast<OpcUa_FindServersResponse*>(response);
        bool listed = request->NoOfServerUris <= 0;
        for (OpcUa_Int32 i = 0; i < request->NoOfServerUris && request->ServerUris != nullptr; ++i)
            if (sameText(identity.serverUri, request->ServerUris[i]))
                listed = true;
        const OpcUa_UInt32 count = m_additionalServers.length() + (listed ? 1 : 0);
        if (count > 0)
        {
            answer->Servers = static_cast<OpcUa_ApplicationDescription*>(
                OpcUa_Memory_Alloc(count * sizeof(OpcUa_ApplicationDescription)));
            if (answer->Servers == nullptr)
                result = OpcUa_BadOutOfMemory;
        }
        if (OpcUa_IsGood(result) && count > 0)
        {
            for (OpcUa_UInt32 i = 0; i < count; ++i)
                OpcUa_ApplicationDescription_Initialize(&answer->Servers[i]);
            answer->NoOfServers = countOf(count);
            OpcUa_UInt32 next = 0;
            if (listed)
            {
                OpcUa_ApplicationDescription& own = answer->Servers[next++];
                identity.serverUri.copyTo(&own.ApplicationUri);
                identity.productUri.copyTo(&own.ProductUri);
                if (identity.serverNames.length() > 0)
                    OpcUa_LocalizedText_CopyTo(&identity.serverNames[0], &own.ApplicationName);
                else
                    copyText("en", identity.productName, own.ApplicationName);
                own.ApplicationType = OpcUa_ApplicationType_Server;
                own.DiscoveryUrls = static_cast<OpcUa_String*>(
                    OpcUa_Memory_Alloc(m_endpoints.length() * sizeof(OpcUa_String)));
                if (own.DiscoveryUrls != nullptr)
                {
                    // The endpoint the client asked for by URL prefix comes first, then the other
                    // announced ones.
                    OpcUa_UInt32 preferred = 0;
                    if (OpcUa_String_StrLen(&request->EndpointUrl) > 0)
                        for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
                            if (m_endpoints[i] && m_endpoints[i]->firstFlag() &&
                                startsWith(m_endpoints[i]->endpointUrl(), request->EndpointUrl))
                                preferred = i;
                    OpcUa_Int32 filled = 0;
                    OpcUa_String_Initialize(&own.DiscoveryUrls[filled]);
                    m_endpoints[preferred]->endpointUrl().copyTo(&own.DiscoveryUrls[filled++]);
                    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
                        if (i != preferred && m_endpoints[i] && m_endpoints[i]->firstFlag() &&
                            m_endpoints[i]->secondFlag())
                        {
                            OpcUa_String_Initialize(&own.DiscoveryUrls[filled]);
                            m_endpoints[i]->endpointUrl().copyTo(&own.DiscoveryUrls[filled++]);
                        }
                    own.NoOfDiscoveryUrls = filled;
                }
            }
            for (OpcUa_UInt32 i = 0; i < m_additionalServers.length(); ++i)
                OpcUa_EncodeableObject_CopyTo(&OpcUa_ApplicationDescription_EncodeableType,
                                              &m_additionalServers[i], &answer->Servers[next++]);
        }
    }
    sendResponse(endpoint, nullptr, context, request, requestType, result, response, responseType);
    traceServiceExit("FindServers", result);
    return OpcUa_Good;
}
