// The configuration of the test server: what the application's configuration answers (serializer
// limits, worker pools, subscription settings), with endpoint, users and folders from the
// command line.
#pragma once

#include <serverconfig.h>
#include <subscriptionrevision.h>

#include <opcua_pki.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

class NodeManager;

struct TestServerOptions
{
    struct Policy
    {
        std::string uri;
        OpcUa_UInt16 modes = 0x1;
    };
    int port = 4840;
    std::vector<Policy> policies;
    std::vector<OpcUa_Byte> certificate;
    std::vector<OpcUa_Byte> privateKey;
    std::string pkiFolder;
    std::string rejectedFolder;
    std::map<std::string, std::string> users;
    // Threads of the stack's worker pool; 0 (the application's way): each request runs on the
    // thread that received it.
    int stackPoolThreads = 0;
    // Monitored items of the whole server; 0: the server's built-in ceiling.
    OpcUa_UInt32 maxMonitoredItems = 0;
    // The application's subscription settings unless changed.
    SubscriptionSettings subscription{50, 0, 5000, 10000, 0, 5, 0};
};

class TestServerConfig : public ServerConfig
{
public:
    // makeNodeManager: the test namespace, made and started by startUp.
    TestServerConfig(TestServerOptions options, std::function<NodeManager*()> makeNodeManager);
    ~TestServerConfig() override;

    std::string url() const;

    UaStatus loadConfiguration() override { return OpcUa_Good; }
    UaStatus getSubscriptionCountLimits(OpcUa_UInt32& maxSubscriptionCount, OpcUa_UInt32& maxMonitoredItemCount,
                                        OpcUa_UInt32& maxMonitoredItemPerSubscriptionCount) override
    {
        maxSubscriptionCount = 0;
        maxMonitoredItemCount = m_options.maxMonitoredItems;
        maxMonitoredItemPerSubscriptionCount = 0;
        return OpcUa_Good;
    }
    UaStatus startUp(ServerManager* serverManager) override;
    UaStatus shutDown() override;
    UaStatus configurationHook() override { return OpcUa_Good; }
    UaStatus getEndpointConfiguration(UaString& rejectedCertificateDirectory,
                                      UaPointerArray<UaEndpoint>& endpoints) override;
    UaStatus getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw) override;
    UaStatus getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval, UaStringArray& urls) override;
    UaStatus getSerializerConfiguration(OpcUa_Int32& maxAlloc, OpcUa_Int32& maxStringLength,
                                        OpcUa_Int32& maxByteStringLength, OpcUa_Int32& maxArrayLength,
                                        OpcUa_Int32& maxMessageSize) override;
    UaStatus getStackThreadPoolSettings(bool& enabled, OpcUa_Int32& minThreads, OpcUa_Int32& maxThreads,
                                        OpcUa_Int32& maxJobs, bool& blockOnAdd,
                                        OpcUa_UInt32& timeout) override;
    UaStatus getStackTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel) override;
    UaStatus getServerTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel,
                                    OpcUa_UInt32& maxTraceEntries, OpcUa_UInt32& maxBackupFiles,
                                    UaString& traceFile) override;
    OpcUa_UInt32 getMaxLimitValue() override { return 0; }
    UaStatus getSessionSettings(OpcUa_UInt32& maxSessionCount, OpcUa_UInt32& minSessionTimeout,
                                OpcUa_UInt32& maxSessionTimeout) override;
    UaStatus getServerCapabilities(OpcUa_Double& minSupportedSampleRate, UaStringArray& localeIdArray,
                                   UaStringArray& serverProfileArray,
                                   UaByteStringArray& softwareCertificates) override;
    OpcUa_UInt32 getMaxBrowseContinuationPoints() override { return 0; }
    OpcUa_UInt32 getMaxHistoryContinuationPoints() override { return 0; }
    UaStatus getSubscriptionSettings(OpcUa_UInt32& minPublishingInterval, OpcUa_UInt32& maxPublishingInterval,
                                     OpcUa_UInt32& minKeepAliveInterval, OpcUa_UInt32& minLifetimeInterval,
                                     OpcUa_UInt32& maxLifetimeInterval, OpcUa_UInt32& retransmissionQueueSize,
                                     OpcUa_UInt32& maxNotificationsPerPublish) override;
    UaStatus getMonitoredItemQueueLimits(OpcUa_UInt32&, OpcUa_UInt32&) override { return OpcUa_Good; }
    UaStatus getIoSamplingSettings(UaUInt32Array& samplingRates) override;
    OpcUa_StatusCode getBuildInfo(UaString& productUri, UaString& manufacturerName, UaString& productName,
                                  UaString& softwareVersion, UaString& buildNumber,
                                  UaDateTime& buildDate) override;
    OpcUa_StatusCode getServerInstanceInfo(UaString& serverUri, UaLocalizedTextArray& serverName) override;
    UaStatus getIoLimits(OpcUa_UInt32& minTransactionManager, OpcUa_UInt32& maxTransactionManager,
                         OpcUa_UInt32& minSubscriptionManager, OpcUa_UInt32& maxSubscriptionManager) override;
    Session* createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken) override;
    UaStatus logonSessionUser(Session* session, UaUserIdentityToken* userIdentityToken) override;

private:
    TestServerOptions m_options;
    std::function<NodeManager*()> m_makeNodeManager;
    NodeManager* m_pNodeManager = nullptr;
    std::string m_trustedFolder;
    std::string m_revocationFolder;
    OpcUa_CertificateStoreConfiguration m_pki{};
};
