#include "opcserverconfig.h"

#include "opcwatchcertificate.h"
#include "opcwatchpaths.h"
#include "opcwatchtrace.h"
#include "opcwatchversion.h"
#include "sharedmutexpool.h"

#include <nodemanager.h>
#include <ualocalizedtext.h>
#include <uasession.h>
#include <uatrace.h>

#include <os/text.h>

#include <new>

namespace
{
constexpr char kManufacturer[] = "Corvanta";
constexpr char kProductName[] = "QbOpcUaServer";
constexpr char kServerProfile[] = "http://www.corvanta.de/UAProfile/Server/QbOpcUaServer";
constexpr char kLocale[] = "en";

void setStrings(UaStringArray& array, std::initializer_list<const char*> texts)
{
    array.create(static_cast<OpcUa_UInt32>(texts.size()));
    OpcUa_UInt32 i = 0;
    for (const char* text : texts)
        UaString(text).copyTo(&array[i++]);
}
} // namespace

COpcServerConfig::COpcServerConfig(const std::u16string& programDirectory,
                                   OpcNodeManagerFactory& nodeManagers)
    : m_programDirectory(programDirectory), m_nodeManagerFactory(nodeManagers)
{
}

COpcServerConfig::~COpcServerConfig()
{
    {
        std::lock_guard guard(m_lock);
        deleteNodeManagers();
        delete m_pNodeManagerDI;
        delete m_pNodeManagerPLCopen;
        m_pNodeManagerDI = nullptr;
        m_pNodeManagerPLCopen = nullptr;
    }
    closeServerTrace();
}

void COpcServerConfig::deleteNodeManagers()
{
    for (NodeManager* nodeManager : m_nodeManagers)
        delete nodeManager;
    m_nodeManagers.clear();
}

UaStatus COpcServerConfig::loadConfiguration()
{
    UaTrace::traceLevel6("--> COpcServerConfig::loadConfiguration");
    std::lock_guard guard(m_lock);
    const OpcUa_StatusCode loaded =
        loadOpcServerConfigData(opcwatchConfigurationFile(m_programDirectory), opcwatchHostName(), m_data);
    if (OpcUa_IsBad(loaded))
    {
        UaTrace::traceLevel6("<-- COpcServerConfig::loadConfiguration [ret=OpcUa_BadInternalError]");
        return loaded;
    }
    // A file without "UaServerConfig" leaves the pool as it is.
    if (m_data.m_sharedMutexCount > 0)
        SharedMutexPool::init(m_data.m_sharedMutexCount);
    m_endpoints = loadOpcEndpoints(m_data, opcwatchCertificateStoreRoot(m_programDirectory));

    UaStatus result;
    NodeManager* deviceNodeManager = nullptr;
    const UaStatus created = m_nodeManagerFactory.createDeviceNodeManager(deviceNodeManager);
    if (created.isBad())
    {
        UaTrace::traceLevel1("Failed to load NodeManager config [ret=0x%08x]", created.statusCode());
        delete deviceNodeManager;
        result = created;
    }
    else if (deviceNodeManager)
        m_nodeManagers.push_back(deviceNodeManager);
    UaTrace::traceLevel6("<-- COpcServerConfig::loadConfiguration [ret=0x%08x]", result.statusCode());
    return result;
}

UaStatus COpcServerConfig::startUp(ServerManager* pServerManager)
{
    UaTrace::traceLevel6("--> COpcServerConfig::startUp");
    std::lock_guard guard(m_lock);
    m_pServerManager = pServerManager;
    // A second start keeps the companion models it has: they are deleted only with the object.
    if (!m_pNodeManagerDI)
        m_pNodeManagerDI = m_nodeManagerFactory.createDiNodeManager();
    if (m_pNodeManagerDI)
        m_pNodeManagerDI->startUp(pServerManager);
    if (!m_pNodeManagerPLCopen)
        m_pNodeManagerPLCopen = m_nodeManagerFactory.createPlcOpenNodeManager();
    if (m_pNodeManagerPLCopen)
        m_pNodeManagerPLCopen->startUp(pServerManager);
    for (NodeManager* nodeManager : m_nodeManagers)
        nodeManager->startUp(pServerManager);
    UaTrace::traceLevel6("<-- COpcServerConfig::startUp");
    return OpcUa_Good;
}

UaStatus COpcServerConfig::shutDown()
{
    UaTrace::traceLevel6("--> COpcServerConfig::shutDown");
    std::lock_guard guard(m_lock);
    UaStatus result;
    for (NodeManager* nodeManager : m_nodeManagers)
    {
        const UaStatus status = nodeManager->shutDown();
        if (status.isBad())
            result = status;
    }
    deleteNodeManagers();
    if (m_pNodeManagerDI)
        result = m_pNodeManagerDI->shutDown();
    if (m_pNodeManagerPLCopen)
        result = m_pNodeManagerPLCopen->shutDown();
    UaTrace::traceLevel6("<-- COpcServerConfig::shutDown [ret=0x%08x]", result.statusCode());
    return result;
}

UaStatus COpcServerConfig::configurationHook()
{
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getEndpointConfiguration(UaString& rejectedCertificateDirectory,
                                                    UaPointerArray<UaEndpoint>& endpoints)
{
    UaTrace::traceLevel6("--> COpcServerConfig::getEndpointConfiguration");
    std::lock_guard guard(m_lock);
    rejectedCertificateDirectory =
        UaString(opcwatchRejectedCertificateFolder(opcwatchCertificateStoreRoot(m_programDirectory)).c_str());
    UaStatus result = endpoints.create(static_cast<OpcUa_UInt32>(m_endpoints.size()));
    if (result.isGood())
        for (OpcUa_UInt32 i = 0; i < m_endpoints.size(); ++i)
            endpoints[i] = new UaEndpoint(*m_endpoints[i]);
    UaTrace::traceLevel6("<-- COpcServerConfig::getEndpointConfiguration [ret=0x%08x]", result.statusCode());
    return result;
}

UaStatus COpcServerConfig::getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw)
{
    std::lock_guard guard(m_lock);
    enableAnonymous = true;
    enableUserPw = false;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval,
                                                      UaStringArray& discoveryServerUrls)
{
    std::lock_guard guard(m_lock);
    registrationInterval = 0;
    discoveryServerUrls.clear();
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getSerializerConfiguration(OpcUa_Int32& maxAlloc, OpcUa_Int32& maxStringLength,
                                                      OpcUa_Int32& maxByteStringLength,
                                                      OpcUa_Int32& maxArrayLength,
                                                      OpcUa_Int32& maxMessageSize)
{
    std::lock_guard guard(m_lock);
    maxAlloc = 0x400000;
    maxStringLength = 0xFFFF;
    maxByteStringLength = 0xFFFF0;
    maxArrayLength = 0xFFFF;
    maxMessageSize = 0x400000;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getStackThreadPoolSettings(bool& enabled, OpcUa_Int32& minThreads,
                                                      OpcUa_Int32& maxThreads, OpcUa_Int32& maxJobs,
                                                      bool& blockOnAdd, OpcUa_UInt32& timeout)
{
    std::lock_guard guard(m_lock);
    enabled = false;
    minThreads = 5;
    maxThreads = 5;
    maxJobs = 20;
    blockOnAdd = true;
    timeout = 0xFFFFFFFF;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getStackTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel)
{
    std::lock_guard guard(m_lock);
    traceEnabled = true;
    traceLevel = 0;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getServerTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel,
                                                  OpcUa_UInt32& maxTraceEntries, OpcUa_UInt32& maxBackupFiles,
                                                  UaString& traceFile)
{
    std::lock_guard guard(m_lock);
    traceEnabled = true;
    traceLevel = 0;
    maxTraceEntries = 100000;
    maxBackupFiles = 5;
    traceFile = UaString(opcwatchTraceFile(m_programDirectory).c_str());
    return OpcUa_Good;
}

OpcUa_UInt32 COpcServerConfig::getMaxLimitValue()
{
    std::lock_guard guard(m_lock);
    return m_data.m_maxRequestAge;
}

UaStatus COpcServerConfig::getSessionSettings(OpcUa_UInt32& maxSessionCount, OpcUa_UInt32& minSessionTimeout,
                                              OpcUa_UInt32& maxSessionTimeout)
{
    std::lock_guard guard(m_lock);
    maxSessionCount = m_data.m_maxSessionCount;
    minSessionTimeout = m_data.m_minSessionTimeout;
    maxSessionTimeout = m_data.m_maxSessionTimeout;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getServerCapabilities(OpcUa_Double& minSupportedSampleRate,
                                                 UaStringArray& localeIdArray,
                                                 UaStringArray& serverProfileArray, UaByteStringArray&)
{
    std::lock_guard guard(m_lock);
    minSupportedSampleRate = 1.0;
    setStrings(localeIdArray, {kLocale});
    setStrings(serverProfileArray, {kServerProfile});
    return OpcUa_Good;
}

OpcUa_UInt32 COpcServerConfig::getMaxBrowseContinuationPoints()
{
    std::lock_guard guard(m_lock);
    return m_data.m_maxBrowseContinuationPoints;
}

OpcUa_UInt32 COpcServerConfig::getMaxHistoryContinuationPoints()
{
    return 0;
}

UaStatus COpcServerConfig::getSubscriptionSettings(
    OpcUa_UInt32& minPublishingInterval, OpcUa_UInt32& maxPublishingInterval,
    OpcUa_UInt32& minKeepAliveInterval, OpcUa_UInt32& minLifetimeInterval, OpcUa_UInt32& maxLifetimeInterval,
    OpcUa_UInt32& retransmissionQueueSize, OpcUa_UInt32& maxNotificationsPerPublish)
{
    std::lock_guard guard(m_lock);
    minPublishingInterval = m_data.m_minPublishingInterval;
    maxPublishingInterval = 0;
    minKeepAliveInterval = m_data.m_minKeepAliveInterval;
    minLifetimeInterval = 10000;
    maxLifetimeInterval = 0;
    retransmissionQueueSize = 5;
    maxNotificationsPerPublish = 0;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getMonitoredItemQueueLimits(OpcUa_UInt32& maxDataQueueSize,
                                                       OpcUa_UInt32& maxEventQueueSize)
{
    maxDataQueueSize = 100;
    maxEventQueueSize = 1000;
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getIoSamplingSettings(UaUInt32Array& samplingRates)
{
    // The configuration has no sampling rates of its own.
    samplingRates.clear();
    return OpcUa_Good;
}

OpcUa_StatusCode COpcServerConfig::getBuildInfo(UaString& productUri, UaString& manufacturerName,
                                                UaString& productName, UaString& softwareVersion,
                                                UaString& buildNumber, UaDateTime& buildDate)
{
    std::lock_guard guard(m_lock);
    // A program without a version record reports 0.0.0.0.
    OpcFileVersion version;
    readFileVersion(opcwatchProgramFile(), version);
    productUri = UaString(m_data.m_serverInstanceUri.c_str());
    manufacturerName = UaString(kManufacturer);
    productName = UaString(kProductName);
    softwareVersion = UaString(version.softwareVersion().c_str());
    buildNumber = UaString(version.buildNumber().c_str());
    buildDate = opcwatchBuildDate();
    return OpcUa_Good;
}

OpcUa_StatusCode COpcServerConfig::getServerInstanceInfo(UaString& serverUri,
                                                         UaLocalizedTextArray& serverName)
{
    std::lock_guard guard(m_lock);
    serverUri = UaString(m_data.m_serverInstanceUri.c_str());
    serverName.create(1);
    UaLocalizedText(UaString(kLocale), serverUri).copyTo(&serverName[0]);
    return OpcUa_Good;
}

UaStatus COpcServerConfig::getIoLimits(OpcUa_UInt32& minSizeTransactionManager,
                                       OpcUa_UInt32& maxSizeTransactionManager,
                                       OpcUa_UInt32& minSizeSubscriptionManager,
                                       OpcUa_UInt32& maxSizeSubscriptionManager)
{
    // Fixed: the file's "ThreadPoolSettings" are kept but change nothing.
    minSizeTransactionManager = 4;
    maxSizeTransactionManager = 4;
    minSizeSubscriptionManager = 4;
    maxSizeSubscriptionManager = 4;
    return OpcUa_Good;
}

Session* COpcServerConfig::createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken)
{
    return new (std::nothrow) UaSession(static_cast<OpcUa_UInt32>(sessionId), authenticationToken);
}

UaStatus COpcServerConfig::logonSessionUser(Session*, UaUserIdentityToken*)
{
    // The endpoints offer anonymous logon only, and every session may log on.
    return OpcUa_Good;
}

void COpcServerConfig::applyTraceSettings()
{
    std::lock_guard guard(m_lock);
    ::applyTraceSettings(m_programDirectory);
}

void COpcServerConfig::closeTrace()
{
    closeServerTrace();
}

OpcUa_UInt32 COpcServerConfig::defaultSubscriptionMode()
{
    std::lock_guard guard(m_lock);
    return m_data.m_defaultSubscriptionMode;
}

void COpcServerConfig::setDefaultSubscriptionMode(OpcUa_UInt32 mode)
{
    std::lock_guard guard(m_lock);
    m_data.m_defaultSubscriptionMode = mode;
}
