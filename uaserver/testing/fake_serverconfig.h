// A server configuration for tests: the values the runtime asks for are plain members a test
// sets, the session factory and the logon are functions a test replaces. Every other operation
// answers Good and leaves its outputs as the caller set them. Needs the uaserver library.
#pragma once

#include <serverconfig.h>
#include <uaendpoint.h>

#include <functional>
#include <string>
#include <vector>

namespace uaserver::testing
{

class FakeServerConfig : public ServerConfig
{
public:
    // getSessionSettings
    OpcUa_UInt32 maxSessionCount = 0;
    OpcUa_UInt32 minSessionTimeout = 0;
    OpcUa_UInt32 maxSessionTimeout = 0;
    OpcUa_StatusCode sessionSettingsResult = OpcUa_Good;
    OpcUa_UInt32 maxBrowseContinuationPoints = 10;
    OpcUa_UInt32 maxHistoryContinuationPoints = 100;
    // createSession; null makes no session (BadOutOfMemory at the caller).
    std::function<Session*(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken)> sessionFactory;
    // logonSessionUser; null accepts everyone.
    std::function<UaStatus(Session* session, UaUserIdentityToken* token)> logon;
    // getIoSamplingSettings (empty: none configured) and getIoLimits (in the order of its outputs);
    // with ioLimitsSet cleared, getIoLimits leaves the caller's presets.
    std::vector<OpcUa_UInt32> ioSamplingRates;
    OpcUa_UInt32 ioLimits[4] = {0, 0, 0, 0};
    bool ioLimitsSet = true;

    // getSubscriptionSettings (the application's values by default), getMonitoredItemQueueLimits,
    // getSubscriptionCountLimits, and the array limit of getSerializerConfiguration.
    OpcUa_UInt32 subscriptionSettings[7] = {50, 0, 5000, 10000, 0, 5, 0};
    OpcUa_StatusCode subscriptionSettingsResult = OpcUa_Good;
    OpcUa_UInt32 monitoredItemQueueLimits[2] = {100, 1000};
    OpcUa_UInt32 subscriptionCountLimits[3] = {0, 0, 0};
    OpcUa_Int32 serializerMaxArrayLength = 65535;
    OpcUa_StatusCode serializerResult = OpcUa_Good;

    // loadConfiguration and getServerInstanceInfo answer these; the server URI is the instance's.
    OpcUa_StatusCode loadConfigurationResult = OpcUa_Good;
    OpcUa_StatusCode serverInstanceInfoResult = OpcUa_Good;
    UaString serverUri = "urn:test:server";
    // getDiscoveryServerSettings: registration interval (ms) and discovery server URLs.
    OpcUa_UInt32 registrationInterval = 0;
    std::vector<std::string> discoveryUrls;
    // isAuditActivated.
    bool auditing = false;
    // getBuildInfo answers these.
    OpcUa_StatusCode buildInfoResult = OpcUa_Good;
    UaString productUri = "urn:test:product";
    UaString manufacturerName = "Test maker";
    UaString productName = "Test server";
    UaString softwareVersion = "1.2.3";
    UaString buildNumber = "456";
    // 2026-03-04, in 100 ns ticks since 1601.
    UaDateTime buildDate = UaDateTime::fromInt64(134170560000000000LL);
    // getServerCapabilities: with capabilitiesSet it answers these, else it leaves the outputs.
    OpcUa_StatusCode capabilitiesResult = OpcUa_Good;
    bool capabilitiesSet = false;
    OpcUa_Double minSupportedSampleRate = 0.0;
    std::vector<UaString> localeIds;
    std::vector<UaString> serverProfiles;
    // getRedundancySettings.
    OpcUa_UInt32 redundancySupport = 0;
    std::vector<UaString> redundantServerUris;
    // getEndpointConfiguration: fills the endpoints (new objects, the caller's afterwards); null
    // leaves them empty.
    std::function<UaStatus(UaString& rejectedCertificateDirectory, UaPointerArray<UaEndpoint>& endpoints)>
        endpointConfiguration;
    // getUserIdentityTokenConfig.
    bool enableAnonymous = true;
    bool enableUserPw = true;
    // getServerInstanceInfo's names ("en" texts); getAdditionalServers (null: the default's none).
    std::vector<UaString> serverNames;
    std::function<void(UaApplicationDescriptionArray& servers)> additionalServers;
    // How often the server called shutDown and configurationHook.
    int shutDownCalls = 0;
    int configurationHookCalls = 0;

    UaStatus loadConfiguration() override { return loadConfigurationResult; }
    UaStatus startUp(ServerManager*) override { return OpcUa_Good; }
    UaStatus shutDown() override
    {
        ++shutDownCalls;
        return OpcUa_Good;
    }
    UaStatus configurationHook() override
    {
        ++configurationHookCalls;
        return OpcUa_Good;
    }
    bool isAuditActivated() override { return auditing; }
    UaStatus getEndpointConfiguration(UaString& rejected, UaPointerArray<UaEndpoint>& endpoints) override
    {
        return endpointConfiguration ? endpointConfiguration(rejected, endpoints) : UaStatus(OpcUa_Good);
    }
    UaStatus getUserIdentityTokenConfig(bool& anonymous, bool& userPw) override
    {
        anonymous = enableAnonymous;
        userPw = enableUserPw;
        return OpcUa_Good;
    }
    UaStatus getAdditionalServers(UaApplicationDescriptionArray& servers) override
    {
        if (!additionalServers)
            return ServerConfig::getAdditionalServers(servers);
        additionalServers(servers);
        return OpcUa_Good;
    }
    UaStatus getDiscoveryServerSettings(OpcUa_UInt32& interval, UaStringArray& urls) override
    {
        interval = registrationInterval;
        urls.create(static_cast<OpcUa_UInt32>(discoveryUrls.size()));
        for (size_t i = 0; i < discoveryUrls.size(); ++i)
            UaString(discoveryUrls[i].c_str()).copyTo(&urls[static_cast<OpcUa_UInt32>(i)]);
        return OpcUa_Good;
    }
    UaStatus getSerializerConfiguration(OpcUa_Int32& maxAlloc, OpcUa_Int32& maxStringLength,
                                        OpcUa_Int32& maxByteStringLength, OpcUa_Int32& maxArrayLength,
                                        OpcUa_Int32& maxMessageSize) override
    {
        // The stack's own limits (-1) but for the array length.
        if (OpcUa_IsGood(serializerResult))
        {
            maxAlloc = maxStringLength = maxByteStringLength = maxMessageSize = -1;
            maxArrayLength = serializerMaxArrayLength;
        }
        return serializerResult;
    }
    UaStatus getStackThreadPoolSettings(bool&, OpcUa_Int32&, OpcUa_Int32&, OpcUa_Int32&, bool&,
                                        OpcUa_UInt32&) override
    {
        return OpcUa_Good;
    }
    UaStatus getStackTraceSettings(bool&, OpcUa_UInt32&) override { return OpcUa_Good; }
    UaStatus getServerTraceSettings(bool&, OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&, UaString&) override
    {
        return OpcUa_Good;
    }
    OpcUa_UInt32 getMaxLimitValue() override { return 0; }
    UaStatus getSessionSettings(OpcUa_UInt32& maxCount, OpcUa_UInt32& minTimeout,
                                OpcUa_UInt32& maxTimeout) override
    {
        maxCount = maxSessionCount;
        minTimeout = minSessionTimeout;
        maxTimeout = maxSessionTimeout;
        return sessionSettingsResult;
    }
    UaStatus getServerCapabilities(OpcUa_Double& minSampleRate, UaStringArray& locales,
                                   UaStringArray& profiles, UaByteStringArray&) override
    {
        if (capabilitiesSet)
        {
            minSampleRate = minSupportedSampleRate;
            fill(locales, localeIds);
            fill(profiles, serverProfiles);
        }
        return capabilitiesResult;
    }
    UaStatus getRedundancySettings(OpcUa_UInt32& support, UaStringArray& serverUris) override
    {
        support = redundancySupport;
        fill(serverUris, redundantServerUris);
        return OpcUa_Good;
    }
    OpcUa_UInt32 getMaxBrowseContinuationPoints() override { return maxBrowseContinuationPoints; }
    OpcUa_UInt32 getMaxHistoryContinuationPoints() override { return maxHistoryContinuationPoints; }
    UaStatus getSubscriptionSettings(OpcUa_UInt32& minPublishing, OpcUa_UInt32& maxPublishing,
                                     OpcUa_UInt32& minKeepAlive, OpcUa_UInt32& minLifetime,
                                     OpcUa_UInt32& maxLifetime, OpcUa_UInt32& retransmissionQueue,
                                     OpcUa_UInt32& maxNotifications) override
    {
        minPublishing = subscriptionSettings[0];
        maxPublishing = subscriptionSettings[1];
        minKeepAlive = subscriptionSettings[2];
        minLifetime = subscriptionSettings[3];
        maxLifetime = subscriptionSettings[4];
        retransmissionQueue = subscriptionSettings[5];
        maxNotifications = subscriptionSettings[6];
        return subscriptionSettingsResult;
    }
    UaStatus getMonitoredItemQueueLimits(OpcUa_UInt32& maxData, OpcUa_UInt32& maxEvent) override
    {
        maxData = monitoredItemQueueLimits[0];
        maxEvent = monitoredItemQueueLimits[1];
        return OpcUa_Good;
    }
    UaStatus getSubscriptionCountLimits(OpcUa_UInt32& maxSubscriptions, OpcUa_UInt32& maxItems,
                                        OpcUa_UInt32& maxItemsPerSubscription) override
    {
        maxSubscriptions = subscriptionCountLimits[0];
        maxItems = subscriptionCountLimits[1];
        maxItemsPerSubscription = subscriptionCountLimits[2];
        return OpcUa_Good;
    }
    UaStatus getIoSamplingSettings(UaUInt32Array& rates) override
    {
        rates.create(static_cast<OpcUa_UInt32>(ioSamplingRates.size()));
        for (OpcUa_UInt32 i = 0; i < rates.length(); ++i)
            rates[i] = ioSamplingRates[i];
        return OpcUa_Good;
    }
    OpcUa_StatusCode getBuildInfo(UaString& uri, UaString& manufacturer, UaString& name, UaString& version,
                                  UaString& number, UaDateTime& date) override
    {
        if (OpcUa_IsBad(buildInfoResult))
            return buildInfoResult;
        uri = productUri;
        manufacturer = manufacturerName;
        name = productName;
        version = softwareVersion;
        number = buildNumber;
        date = buildDate;
        return buildInfoResult;
    }
    OpcUa_StatusCode getServerInstanceInfo(UaString& uri, UaLocalizedTextArray& names) override
    {
        if (OpcUa_IsGood(serverInstanceInfoResult))
        {
            uri = serverUri;
            names.create(static_cast<OpcUa_UInt32>(serverNames.size()));
            for (OpcUa_UInt32 i = 0; i < names.length(); ++i)
            {
                UaString("en").copyTo(&names[i].Locale);
                serverNames[i].copyTo(&names[i].Text);
            }
        }
        return serverInstanceInfoResult;
    }
    UaStatus getIoLimits(OpcUa_UInt32& minTransactionManager, OpcUa_UInt32& maxTransactionManager,
                         OpcUa_UInt32& minSubscriptionManager, OpcUa_UInt32& maxSubscriptionManager) override
    {
        if (ioLimitsSet)
        {
            minTransactionManager = ioLimits[0];
            maxTransactionManager = ioLimits[1];
            minSubscriptionManager = ioLimits[2];
            maxSubscriptionManager = ioLimits[3];
        }
        return OpcUa_Good;
    }
    Session* createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken) override
    {
        return sessionFactory ? sessionFactory(sessionId, authenticationToken) : nullptr;
    }
    UaStatus logonSessionUser(Session* session, UaUserIdentityToken* token) override
    {
        return logon ? logon(session, token) : UaStatus(OpcUa_Good);
    }

private:
    static void fill(UaStringArray& target, const std::vector<UaString>& strings)
    {
        target.create(static_cast<OpcUa_UInt32>(strings.size()));
        for (OpcUa_UInt32 i = 0; i < target.length(); ++i)
            strings[i].copyTo(&target[i]);
    }
};

} // namespace uaserver::testing
