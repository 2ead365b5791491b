// The background thread of the server: it purges expired sessions every 10 s and registers the
// server with the configured discovery servers through the stack's client side.
#include "discoveryserverentry.h"
#include "uaserver.h"

#include <serverconfig.h>
#include <servermanager.h>
#include <sessionmanager.h>

#include <opcua_transport.h>
#include <uadatetime.h>
#include <ualocalizedtext.h>
#include <uatrace.h>

#include <cstring>
#include <memory>
#include <vector>

namespace
{
constexpr const char* kPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* kPolicyBasic128Rsa15 = "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15";
constexpr OpcUa_Int32 kChannelLifetime = 300000;
constexpr OpcUa_UInt32 kNetworkTimeout = 10000;
constexpr OpcUa_UInt32 kPurgeInterval = 10000;

unsigned long hex(OpcUa_StatusCode code)
{
    return static_cast<unsigned long>(code);
}

void traceCall(const char* call)
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CALL %s", call);
}

void traceDone(const char* call, OpcUa_StatusCode result)
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE %s [ret=0x%lx]", call, hex(result));
}

// A client call's result: its own status, else the service result of the answer.
OpcUa_StatusCode traceService(const char* call, OpcUa_StatusCode result, const OpcUa_ResponseHeader& header)
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE %s [ret=0x%lx,status=0x%lx]", call, hex(result),
                             hex(header.ServiceResult));
    return OpcUa_IsGood(result) ? header.ServiceResult : result;
}

OpcUa_Channel createChannel(OpcUa_StatusCode& result)
{
    OpcUa_Channel channel = nullptr;
    traceCall("OpcUa_Channel_Create");
    result = OpcUa_Channel_Create(&channel, OpcUa_Channel_SerializerType_Binary);
    traceDone("OpcUa_Channel_Create", result);
    return OpcUa_IsGood(result) ? channel : nullptr;
}

void disconnectChannel(OpcUa_Channel channel)
{
    traceCall("OpcUa_Channel_Disconnect");
    traceDone("OpcUa_Channel_Disconnect", OpcUa_Channel_Disconnect(channel));
}

void deleteChannel(OpcUa_Channel& channel)
{
    traceCall("OpcUa_Channel_Delete");
    OpcUa_Channel_Delete(&channel);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE OpcUa_Channel_Delete");
}

OpcUa_StatusCode noStateChange(OpcUa_Channel, OpcUa_Void*, OpcUa_Channel_Event, OpcUa_StatusCode)
{
    return OpcUa_Good;
}

// The first offered endpoint a registration may use: an opc.tcp URL of more than 11 characters
// with the None or Basic128Rsa15 policy; -1 for none.
OpcUa_Int32 chooseEndpoint(const DiscoveryServerEntry& entry)
{
    for (OpcUa_Int32 i = 0; i < entry.noOfEndpoints; ++i)
    {
        const OpcUa_EndpointDescription& offered = entry.endpoints[i];
        const OpcUa_UInt32 length = OpcUa_String_StrLen(&offered.EndpointUrl);
        if (length <= 11 || std::strncmp(OpcUa_String_GetRawString(&offered.EndpointUrl), "opc.tcp", 7) != 0)
            continue;
        const UaString policy(&offered.SecurityPolicyUri);
        if (policy == kPolicyNone || policy == kPolicyBasic128Rsa15)
            return i;
    }
    return -1;
}

// The record sent at every registration; configuration failures are traced and leave fields empty.
void buildRegisteredServer(ServerConfig* config, const UaPointerArray<UaEndpoint>& endpoints,
                           OpcUa_RegisteredServer& record)
{
    OpcUa_RegisteredServer_Initialize(&record);
    record.ServerType = OpcUa_ApplicationType_Server;
    record.IsOnline = OpcUa_True;
    UaString serverUri;
    UaLocalizedTextArray serverNames;
    OpcUa_StatusCode result = config->getServerInstanceInfo(serverUri, serverNames);
    if (OpcUa_IsNotGood(result))
        UaTrace::traceLevel1("Error: UaServer::run - ServerConfig::getServerInstanceInfo failed [ret=0x%lx]",
                             hex(result));
    UaString productUri, manufacturerName, productName, softwareVersion, buildNumber;
    UaDateTime buildDate;
    result = config->getBuildInfo(productUri, manufacturerName, productName, softwareVersion, buildNumber,
                                  buildDate);
    if (OpcUa_IsNotGood(result))
        UaTrace::traceLevel1("Error: UaServer::run - ServerConfig::getBuildInfo failed [ret=0x%lx]",
                             hex(result));
    serverUri.copyTo(&record.ServerUri);
    productUri.copyTo(&record.ProductUri);
    if (serverNames.length() > 0)
    {
        record.ServerNames = static_cast<OpcUa_LocalizedText*>(
            OpcUa_Memory_Alloc(serverNames.length() * sizeof(OpcUa_LocalizedText)));
        for (OpcUa_UInt32 i = 0; record.ServerNames != nullptr && i < serverNames.length(); ++i)
        {
            OpcUa_LocalizedText_Initialize(&record.ServerNames[i]);
            OpcUa_LocalizedText_CopyTo(&serverNames[i], &record.ServerNames[i]);
            record.NoOfServerNames = static_cast<OpcUa_Int32>(i + 1);
        }
    }
    std::vector<const UaEndpoint*> announced;
    for (OpcUa_UInt32 i = 0; i < endpoints.length(); ++i)
        if (endpoints[i] != nullptr && endpoints[i]->firstFlag() && endpoints[i]->secondFlag())
            announced.push_back(endpoints[i]);
    if (announced.empty())
        return;
    record.DiscoveryUrls =
        static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(announced.size() * sizeof(OpcUa_String)));
    for (size_t i = 0; record.DiscoveryUrls != nullptr && i < announced.size(); ++i)
    {
        OpcUa_String_Initialize(&record.DiscoveryUrls[i]);
        announced[i]->endpointUrl().copyTo(&record.DiscoveryUrls[i]);
        record.NoOfDiscoveryUrls = static_cast<OpcUa_Int32>(i + 1);
    }
}
} // namespace

OpcUa_StatusCode UaServer::registerWithDiscoveryServer(DiscoveryServerEntry& entry,
                                                       const OpcUa_RegisteredServer& server)
{
    // The server's own certificate, key and store (its first endpoint's) open both channels.
    const UaEndpoint* own = m_endpoints.length() > 0 ? m_endpoints[0] : nullptr;
    OpcUa_ByteString certificate;
    OpcUa_ByteString_Initialize(&certificate);
    OpcUa_Key key;
    key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
    OpcUa_ByteString_Initialize(&key.Key);
    OpcUa_Void* pkiConfig = nullptr;
    if (own != nullptr)
    {
        certificate = *own->certificate().toOpcUaByteString();
        key.Key = *own->privateKey().toOpcUaByteString();
        pkiConfig = own->pkiConfig();
    }

    OpcUa_StatusCode result = OpcUa_Good;
    if (entry.chosen == -1)
    {
        OpcUa_Channel channel = createChannel(result);
        if (channel != nullptr)
        {
            UaString policyNone(kPolicyNone);
            traceCall("OpcUa_Channel_Connect");
            result = OpcUa_Channel_Connect(channel, entry.url.toUtf8(), &noStateChange, nullptr, &certificate,
                                           &key, nullptr, pkiConfig,
                                           const_cast<OpcUa_String*>(policyNone.toOpcUaString()),
                                           kChannelLifetime, OpcUa_MessageSecurityMode_None, kNetworkTimeout);
            traceDone("OpcUa_Channel_Connect", result);
            if (OpcUa_IsGood(result))
            {
                OpcUa_RequestHeader request;
                OpcUa_RequestHeader_Initialize(&request);
                OpcUa_ResponseHeader response;
                OpcUa_ResponseHeader_Initialize(&response);
                OpcUa_Int32 count = 0;
                OpcUa_EndpointDescription* offered = nullptr;
                traceCall("OpcUa_ClientApi_GetEndpoints");
                result = traceService("OpcUa_ClientApi_GetEndpoints",
                                      OpcUa_ClientApi_GetEndpoints(channel, &request,
                                                                   entry.url.toOpcUaString(), 0, nullptr, 0,
                                                                   nullptr, &response, &count, &offered),
                                      response);
                if (OpcUa_IsGood(result))
                {
                    // What an earlier phase stored gives way to the fresh answer.
                    entry.clearEndpoints();
                    entry.noOfEndpoints = count;
                    entry.endpoints = offered;
                    entry.chosen = chooseEndpoint(entry);
                }
                else
                {
                    for (OpcUa_Int32 i = 0; i < count; ++i)
                        OpcUa_EndpointDescription_Clear(&offered[i]);
                    OpcUa_Memory_Free(offered);
                }
                OpcUa_ResponseHeader_Clear(&response);
                OpcUa_RequestHeader_Clear(&request);
                disconnectChannel(channel);
            }
            deleteChannel(channel);
        }
        if (OpcUa_IsBad(result) || entry.noOfEndpoints == 0)
        {
            UaTrace::traceLevel1("Error: Discovery Server not available");
            return result;
        }
    }

    OpcUa_Channel channel = createChannel(result);
    if (channel == nullptr)
        return result;
    bool connected = false;
    if (entry.chosen < 0 || entry.chosen >= entry.noOfEndpoints)
        result = OpcUa_BadInternalError;
    else
    {
        OpcUa_EndpointDescription& target = entry.endpoints[entry.chosen];
        traceCall("OpcUa_Channel_Connect");
        result = OpcUa_Channel_Connect(channel, OpcUa_String_GetRawString(&target.EndpointUrl),
                                       &noStateChange, nullptr, &certificate, &key, &target.ServerCertificate,
                                       pkiConfig, &target.SecurityPolicyUri, kChannelLifetime,
                                       static_cast<OpcUa_Int32>(target.SecurityMode), kNetworkTimeout);
        traceDone("OpcUa_Channel_Connect", result);
        connected = OpcUa_IsGood(result);
        if (!connected)
            entry.chosen = -1;
    }
    if (connected)
    {
        OpcUa_RequestHeader request;
        OpcUa_RequestHeader_Initialize(&request);
        request.Timestamp = UaDateTime::now();
        OpcUa_ResponseHeader response;
        OpcUa_ResponseHeader_Initialize(&response);
        traceCall("OpcUa_ClientApi_RegisterServer");
        result =
            traceService("OpcUa_ClientApi_RegisterServer",
                         OpcUa_ClientApi_RegisterServer(channel, &request, &server, &response), response);
        OpcUa_ResponseHeader_Clear(&response);
        OpcUa_RequestHeader_Clear(&request);
    }
    if (OpcUa_IsBad(result))
        UaTrace::traceLevel1("Error: Registration with Discovery Server failed [ret=0x%lx]", hex(result));
    if (connected)
        disconnectChannel(channel);
    deleteChannel(channel);
    return result;
}

void UaServer::waitForWakeUp(OpcUa_UInt32 milliseconds)
{
    m_wakeUp.timedWait(milliseconds);
}

void UaServer::run()
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4(
            "==> UaServer::run - Background purge and discovery registration thread started");
    ServerConfig* config = m_pServerManager ? m_pServerManager->getServerConfig() : nullptr;
    OpcUa_UInt32 interval = 0;
    UaStringArray urls;
    std::vector<std::unique_ptr<DiscoveryServerEntry>> entries;
    OpcUa_RegisteredServer record;
    OpcUa_RegisteredServer_Initialize(&record);
    UaDateTime lastRegistration;
    if (config != nullptr && config->getDiscoverySettings(interval, urls).isGood())
    {
        if (interval < kPurgeInterval)
            interval = kPurgeInterval;
        for (OpcUa_UInt32 i = 0; i < urls.length(); ++i)
            entries.push_back(std::make_unique<DiscoveryServerEntry>(UaString(&urls[i])));
        if (!entries.empty())
        {
            buildRegisteredServer(config, m_endpoints, record);
            for (auto& entry : entries)
                registerWithDiscoveryServer(*entry, record);
            lastRegistration = UaDateTime::now();
        }
    }
    while (isStarted())
    {
        waitForWakeUp(kPurgeInterval);
        if (!isStarted())
            break;
        m_pSessionManager->purge();
        if (!isStarted())
            break;
        if (!entries.empty() &&
            lastRegistration.secsTo(UaDateTime::now()) > static_cast<int>(interval / 1000))
        {
            for (auto& entry : entries)
                registerWithDiscoveryServer(*entry, record);
            lastRegistration = UaDateTime::now();
        }
    }
    OpcUa_RegisteredServer_Clear(&record);
    entries.clear();
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("<== UaServer::run");
}
