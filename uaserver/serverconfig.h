#ifndef UASERVER_SERVERCONFIG_H
#define UASERVER_SERVERCONFIG_H

#include <uadatetime.h>
#include <uanodeid.h>
#include <uapointerarray.h>
#include <uastatus.h>
#include <uastructurearrays.h>
#include <uavariantarrays.h>

class ServerManager;
class Session;
class UaEndpoint;
class UaUserIdentityToken;

// Everything configurable of the server, as the runtime asks the application for it. The runtime
// reads no file or registry itself. The caller sets every output to 0, false or empty before a
// call, so an implementation may leave an output it does not know untouched. The order of the
// operations is fixed; five have defaults here.
class ServerConfig
{
public:
    virtual ~ServerConfig() = default;

    virtual UaStatus loadConfiguration() = 0;
    virtual UaStatus startUp(ServerManager* pServerManager) = 0;
    virtual UaStatus shutDown() = 0;
    // Called at shut-down just before shutDown.
    virtual UaStatus configurationHook() = 0;
    // One endpoint per configured URL, owned by the array; an empty rejected-certificate folder
    // keeps no rejected certificates.
    virtual UaStatus getEndpointConfiguration(UaString& rejectedCertificateDirectory,
                                              UaPointerArray<UaEndpoint>& endpoints) = 0;
    virtual UaStatus getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw) = 0;
    virtual UaStatus getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval,
                                                UaStringArray& discoveryServerUrls) = 0;
    // Three further outputs no caller reads; the default only clears the flag.
    virtual UaStatus getOptionalSettings(bool& enabled, UaString& /*first*/, UaString& /*second*/,
                                         UaString& /*third*/)
    {
        enabled = false;
        return OpcUa_Good;
    }
    // -1 leaves the stack's own limit.
    virtual UaStatus getSerializerConfiguration(OpcUa_Int32& maxAlloc, OpcUa_Int32& maxStringLength,
                                                OpcUa_Int32& maxByteStringLength, OpcUa_Int32& maxArrayLength,
                                                OpcUa_Int32& maxMessageSize) = 0;
    virtual UaStatus getStackThreadPoolSettings(bool& enabled, OpcUa_Int32& minThreads,
                                                OpcUa_Int32& maxThreads, OpcUa_Int32& maxJobs,
                                                bool& blockOnAdd, OpcUa_UInt32& timeout) = 0;
    virtual UaStatus getStackTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel) = 0;
    virtual UaStatus getServerTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel,
                                            OpcUa_UInt32& maxTraceEntries, OpcUa_UInt32& maxBackupFiles,
                                            UaString& traceFile) = 0;
    virtual OpcUa_UInt32 getMaxLimitValue() = 0;
    virtual UaStatus getSessionSettings(OpcUa_UInt32& maxSessionCount, OpcUa_UInt32& minSessionTimeout,
                                        OpcUa_UInt32& maxSessionTimeout) = 0;
    virtual UaStatus getServerCapabilities(OpcUa_Double& minSupportedSampleRate, UaStringArray& localeIdArray,
                                           UaStringArray& serverProfileArray,
                                           UaByteStringArray& softwareCertificates) = 0;
    virtual OpcUa_UInt32 getMaxBrowseContinuationPoints() = 0;
    virtual OpcUa_UInt32 getMaxHistoryContinuationPoints() = 0;
    // Times in milliseconds; 0 for a maximum means none.
    virtual UaStatus
    getSubscriptionSettings(OpcUa_UInt32& minPublishingInterval, OpcUa_UInt32& maxPublishingInterval,
                            OpcUa_UInt32& minKeepAliveInterval, OpcUa_UInt32& minLifetimeInterval,
                            OpcUa_UInt32& maxLifetimeInterval, OpcUa_UInt32& retransmissionQueueSize,
                            OpcUa_UInt32& maxNotificationsPerPublish) = 0;
    virtual UaStatus getMonitoredItemQueueLimits(OpcUa_UInt32& maxDataQueueSize,
                                                 OpcUa_UInt32& maxEventQueueSize) = 0;
    // 0 is no limit; the default sets no limit.
    virtual UaStatus getSubscriptionCountLimits(OpcUa_UInt32& maxSubscriptionCount,
                                                OpcUa_UInt32& maxMonitoredItemCount,
                                                OpcUa_UInt32& maxMonitoredItemPerSubscriptionCount)
    {
        maxSubscriptionCount = 0;
        maxMonitoredItemCount = 0;
        maxMonitoredItemPerSubscriptionCount = 0;
        return OpcUa_Good;
    }
    // The sampling rates of the node I/O managers, in milliseconds.
    virtual UaStatus getIoSamplingSettings(UaUInt32Array& samplingRates) = 0;
    virtual OpcUa_StatusCode getBuildInfo(UaString& productUri, UaString& manufacturerName,
                                          UaString& productName, UaString& softwareVersion,
                                          UaString& buildNumber, UaDateTime& buildDate) = 0;
    // The server URI is also the URI of namespace 1; the first name is the one clients see.
    virtual OpcUa_StatusCode getServerInstanceInfo(UaString& serverUri, UaLocalizedTextArray& serverName) = 0;
    // The worker counts of the transaction manager's pool and of the subscription manager's pool.
    virtual UaStatus getIoLimits(OpcUa_UInt32& minSizeTransactionManager,
                                 OpcUa_UInt32& maxSizeTransactionManager,
                                 OpcUa_UInt32& minSizeSubscriptionManager,
                                 OpcUa_UInt32& maxSizeSubscriptionManager) = 0;
    // Null when out of memory.
    virtual Session* createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken) = 0;
    // A bad result rejects the activation with it.
    virtual UaStatus logonSessionUser(Session* session, UaUserIdentityToken* userIdentityToken) = 0;
    virtual bool isAuditActivated() { return false; }
    // 0 None; other than None and Transparent the server URIs are shown.
    virtual UaStatus getRedundancySettings(OpcUa_UInt32& redundancySupport, UaStringArray& serverUriArray)
    {
        redundancySupport = 0;
        serverUriArray.clear();
        return OpcUa_Good;
    }
    virtual UaStatus getAdditionalServers(UaApplicationDescriptionArray& servers)
    {
        servers.clear();
        return OpcUa_Good;
    }

    // The names later parts of the server call some of these by.
    UaStatus getDiscoverySettings(OpcUa_UInt32& registrationInterval, UaStringArray& discoveryServerUrls)
    {
        return getDiscoveryServerSettings(registrationInterval, discoveryServerUrls);
    }
    UaStatus getSubscriptionLimits(OpcUa_UInt32& maxSubscriptionCount, OpcUa_UInt32& maxMonitoredItemCount,
                                   OpcUa_UInt32& maxMonitoredItemPerSubscriptionCount)
    {
        return getSubscriptionCountLimits(maxSubscriptionCount, maxMonitoredItemCount,
                                          maxMonitoredItemPerSubscriptionCount);
    }
    UaStatus getThreadPoolSettings(OpcUa_UInt32& minSizeTransactionManager,
                                   OpcUa_UInt32& maxSizeTransactionManager,
                                   OpcUa_UInt32& minSizeSubscriptionManager,
                                   OpcUa_UInt32& maxSizeSubscriptionManager)
    {
        return getIoLimits(minSizeTransactionManager, maxSizeTransactionManager, minSizeSubscriptionManager,
                           maxSizeSubscriptionManager);
    }
    bool auditingEnabled() { return isAuditActivated(); }
};

#endif
