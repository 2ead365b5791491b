// COpcServerConfig: the server's configuration as the runtime asks for it. It reads
// "Opcwatch.xml" from the program folder, builds the endpoints with their certificates,
// creates the device-profile node manager, starts the companion models, and owns the
// server trace's settings (level from the registry, file beside the program). Every
// operation takes the object's lock; the runtime calls the getters from its own threads.
#pragma once

#include "opcserverconfigdata.h"
#include "opcserverruntime.h"
#include "uaendpointxml.h"

#include <serverconfig.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class COpcServerConfig : public ServerConfig
{
public:
    // programDirectory: where "Opcwatch.xml", "_Opcwatch.log" and the PKI folders lie.
    COpcServerConfig(const std::u16string& programDirectory, OpcNodeManagerFactory& nodeManagers);
    // Deletes the node managers, closes the server trace, then deletes the endpoints.
    ~COpcServerConfig() override;
    COpcServerConfig(const COpcServerConfig&) = delete;
    COpcServerConfig& operator=(const COpcServerConfig&) = delete;

    // Reads the file: OpcUa_BadInternalError when it cannot be opened or parsed (nothing is
    // loaded then), else fills the shared mutex pool, loads the endpoints and creates the
    // device-profile node manager; the node manager's failure status is the result.
    UaStatus loadConfiguration() override;
    // Creates and starts the DI and PLCopen node managers, then starts the list's node managers
    // in order. Statuses are not examined: always good.
    UaStatus startUp(ServerManager* pServerManager) override;
    // Shuts the list down (deleting its node managers), then DI and PLCopen (kept). The result
    // is the last failure of the list, overwritten by the companion models' statuses.
    UaStatus shutDown() override;
    UaStatus configurationHook() override;

    // The rejected-certificate folder and a new copy of every loaded endpoint.
    UaStatus getEndpointConfiguration(UaString& rejectedCertificateDirectory,
                                      UaPointerArray<UaEndpoint>& endpoints) override;
    // Anonymous only; every logon is accepted.
    UaStatus getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw) override;
    // No discovery server: 0 and no URL.
    UaStatus getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval,
                                        UaStringArray& discoveryServerUrls) override;
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
    // MaxRequestAge.
    OpcUa_UInt32 getMaxLimitValue() override;
    UaStatus getSessionSettings(OpcUa_UInt32& maxSessionCount, OpcUa_UInt32& minSessionTimeout,
                                OpcUa_UInt32& maxSessionTimeout) override;
    UaStatus getServerCapabilities(OpcUa_Double& minSupportedSampleRate, UaStringArray& localeIdArray,
                                   UaStringArray& serverProfileArray,
                                   UaByteStringArray& softwareCertificates) override;
    OpcUa_UInt32 getMaxBrowseContinuationPoints() override;
    OpcUa_UInt32 getMaxHistoryContinuationPoints() override;
    UaStatus getSubscriptionSettings(OpcUa_UInt32& minPublishingInterval, OpcUa_UInt32& maxPublishingInterval,
                                     OpcUa_UInt32& minKeepAliveInterval, OpcUa_UInt32& minLifetimeInterval,
                                     OpcUa_UInt32& maxLifetimeInterval, OpcUa_UInt32& retransmissionQueueSize,
                                     OpcUa_UInt32& maxNotificationsPerPublish) override;
    UaStatus getMonitoredItemQueueLimits(OpcUa_UInt32& maxDataQueueSize,
                                         OpcUa_UInt32& maxEventQueueSize) override;
    UaStatus getIoSamplingSettings(UaUInt32Array& samplingRates) override;
    // ServerInstanceUri, "Corvanta", "QbOpcUaServer", the program's version, its second part,
    // the build date.
    OpcUa_StatusCode getBuildInfo(UaString& productUri, UaString& manufacturerName, UaString& productName,
                                  UaString& softwareVersion, UaString& buildNumber,
                                  UaDateTime& buildDate) override;
    OpcUa_StatusCode getServerInstanceInfo(UaString& serverUri, UaLocalizedTextArray& serverName) override;
    UaStatus getIoLimits(OpcUa_UInt32& minSizeTransactionManager, OpcUa_UInt32& maxSizeTransactionManager,
                         OpcUa_UInt32& minSizeSubscriptionManager,
                         OpcUa_UInt32& maxSizeSubscriptionManager) override;
    Session* createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken) override;
    UaStatus logonSessionUser(Session* session, UaUserIdentityToken* userIdentityToken) override;

    // Opens the server trace at the registry's level on "_Opcwatch.log" (or switches it off).
    void applyTraceSettings();
    // Closes the server trace; the next applyTraceSettings opens it afresh.
    void closeTrace();

    // Read and written through the Vos request interface only.
    OpcUa_UInt32 defaultSubscriptionMode();
    void setDefaultSubscriptionMode(OpcUa_UInt32 mode);

private:
    void deleteNodeManagers();

    std::recursive_mutex m_lock;
    const std::u16string m_programDirectory;
    OpcNodeManagerFactory& m_nodeManagerFactory;
    OpcServerConfigData m_data;
    std::vector<std::unique_ptr<UaEndpointXml>> m_endpoints;
    ServerManager* m_pServerManager = nullptr;
    NodeManager* m_pNodeManagerDI = nullptr;
    NodeManager* m_pNodeManagerPLCopen = nullptr;
    std::vector<NodeManager*> m_nodeManagers;
};
