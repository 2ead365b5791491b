#include "testserverconfig.h"

#include <nodemanager.h>
#include <uaendpoint.h>
#include <uasession.h>
#include <uauseridentitytoken.h>

#include <ualocalizedtext.h>

#include <algorithm>

namespace
{
constexpr const char* kServerUri = "urn:uaserver:testserver";

void setStrings(UaStringArray& array, std::initializer_list<const char*> texts)
{
    array.create(static_cast<OpcUa_UInt32>(texts.size()));
    OpcUa_UInt32 i = 0;
    for (const char* text : texts)
        UaString(text).copyTo(&array[i++]);
}
} // namespace

TestServerConfig::TestServerConfig(TestServerOptions options, std::function<NodeManager*()> makeNodeManager)
    : m_options(std::move(options)), m_makeNodeManager(std::move(makeNodeManager))
{
    if (!m_options.pkiFolder.empty())
    {
        m_trustedFolder = m_options.pkiFolder + "/trusted";
        m_revocationFolder = m_options.pkiFolder + "/crl";
        m_pki.PkiType = OPCUA_PKI_TYPE_DIRECTORY_STORE;
        m_pki.TrustedCertificateListLocation = m_trustedFolder.data();
        m_pki.RevokedCertificateListLocation = m_revocationFolder.data();
    }
}

TestServerConfig::~TestServerConfig()
{
    delete m_pNodeManager;
}

std::string TestServerConfig::url() const
{
    return "opc.tcp://localhost:" + std::to_string(m_options.port);
}

UaStatus TestServerConfig::startUp(ServerManager* serverManager)
{
    m_pNodeManager = m_makeNodeManager();
    return m_pNodeManager->startUp(serverManager);
}

UaStatus TestServerConfig::shutDown()
{
    UaStatus status;
    if (m_pNodeManager != nullptr)
        status = m_pNodeManager->shutDown();
    delete m_pNodeManager;
    m_pNodeManager = nullptr;
    return status;
}

UaStatus TestServerConfig::getEndpointConfiguration(UaString& rejectedCertificateDirectory,
                                                    UaPointerArray<UaEndpoint>& endpoints)
{
    rejectedCertificateDirectory = m_options.rejectedFolder.c_str();
    auto* endpoint = new UaEndpoint();
    endpoint->setMode(1);
    endpoint->setEndpointUrl(url().c_str(), true);
    endpoint->setCertificate(
        UaByteString(static_cast<OpcUa_Int32>(m_options.certificate.size()), m_options.certificate.data()),
        UaByteString(static_cast<OpcUa_Int32>(m_options.privateKey.size()), m_options.privateKey.data()),
        m_options.pkiFolder.empty() ? nullptr : &m_pki);
    for (const TestServerOptions::Policy& policy : m_options.policies)
    {
        UaEndpointSecuritySetting setting;
        setting.setSecurityPolicy(policy.uri.c_str());
        for (OpcUa_UInt32 mode = 1; mode <= 4; mode <<= 1)
            if (policy.modes & mode)
                setting.addMessageSecurityMode(mode);
        endpoint->addSecuritySetting(setting);
    }
    endpoints.create(1);
    endpoints[0] = endpoint;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getUserIdentityTokenConfig(bool& enableAnonymous, bool& enableUserPw)
{
    enableAnonymous = true;
    enableUserPw = true;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getDiscoveryServerSettings(OpcUa_UInt32& registrationInterval, UaStringArray& urls)
{
    registrationInterval = 0;
    urls.clear();
    return OpcUa_Good;
}

UaStatus TestServerConfig::getSerializerConfiguration(OpcUa_Int32& maxAlloc, OpcUa_Int32& maxStringLength,
                                                      OpcUa_Int32& maxByteStringLength,
                                                      OpcUa_Int32& maxArrayLength,
                                                      OpcUa_Int32& maxMessageSize)
{
    // The application's limits; later services rely on the array limit 65535.
    maxAlloc = 4194304;
    maxStringLength = 65535;
    maxByteStringLength = 1048560;
    maxArrayLength = 65535;
    maxMessageSize = 4194304;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getStackThreadPoolSettings(bool& enabled, OpcUa_Int32& minThreads,
                                                      OpcUa_Int32& maxThreads, OpcUa_Int32& maxJobs,
                                                      bool& blockOnAdd, OpcUa_UInt32& timeout)
{
    enabled = m_options.stackPoolThreads > 0;
    minThreads = std::min(2, m_options.stackPoolThreads);
    maxThreads = m_options.stackPoolThreads;
    maxJobs = 1000;
    blockOnAdd = true;
    timeout = 0;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getStackTraceSettings(bool& traceEnabled, OpcUa_UInt32& traceLevel)
{
    traceEnabled = false;
    traceLevel = 0;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getServerTraceSettings(bool&, OpcUa_UInt32&, OpcUa_UInt32&, OpcUa_UInt32&,
                                                  UaString&)
{
    return OpcUa_Good;
}

UaStatus TestServerConfig::getSessionSettings(OpcUa_UInt32& maxSessionCount, OpcUa_UInt32& minSessionTimeout,
                                              OpcUa_UInt32& maxSessionTimeout)
{
    maxSessionCount = 100;
    minSessionTimeout = 10000;
    maxSessionTimeout = 3600000;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getServerCapabilities(OpcUa_Double& minSupportedSampleRate,
                                                 UaStringArray& localeIdArray,
                                                 UaStringArray& serverProfileArray, UaByteStringArray&)
{
    minSupportedSampleRate = 1.0;
    setStrings(localeIdArray, {"en"});
    setStrings(serverProfileArray, {"http://opcfoundation.org/UA-Profile/Server/StandardUA"});
    return OpcUa_Good;
}

UaStatus TestServerConfig::getSubscriptionSettings(
    OpcUa_UInt32& minPublishingInterval, OpcUa_UInt32& maxPublishingInterval,
    OpcUa_UInt32& minKeepAliveInterval, OpcUa_UInt32& minLifetimeInterval, OpcUa_UInt32& maxLifetimeInterval,
    OpcUa_UInt32& retransmissionQueueSize, OpcUa_UInt32& maxNotificationsPerPublish)
{
    const SubscriptionSettings& settings = m_options.subscription;
    minPublishingInterval = settings.minPublishingInterval;
    maxPublishingInterval = settings.maxPublishingInterval;
    minKeepAliveInterval = settings.minKeepAliveInterval;
    minLifetimeInterval = settings.minLifetimeInterval;
    maxLifetimeInterval = settings.maxLifetimeInterval;
    retransmissionQueueSize = settings.retransmissionQueueSize;
    maxNotificationsPerPublish = settings.maxNotificationsPerPublish;
    return OpcUa_Good;
}

UaStatus TestServerConfig::getIoSamplingSettings(UaUInt32Array& samplingRates)
{
    samplingRates.create(4);
    const OpcUa_UInt32 rates[] = {100, 250, 500, 1000};
    for (OpcUa_UInt32 i = 0; i < 4; ++i)
        samplingRates[i] = rates[i];
    return OpcUa_Good;
}

OpcUa_StatusCode TestServerConfig::getBuildInfo(UaString& productUri, UaString& manufacturerName,
                                                UaString& productName, UaString& softwareVersion,
                                                UaString& buildNumber, UaDateTime& buildDate)
{
    productUri = kServerUri;
    manufacturerName = "uaserver tests";
    productName = "uaserver_testserver";
    softwareVersion = "1.0.0.0";
    buildNumber = "0";
    buildDate = UaDateTime::now();
    return OpcUa_Good;
}

OpcUa_StatusCode TestServerConfig::getServerInstanceInfo(UaString& serverUri,
                                                         UaLocalizedTextArray& serverName)
{
    serverUri = kServerUri;
    serverName.create(1);
    UaString("en").copyTo(&serverName[0].Locale);
    UaString("uaserver test server").copyTo(&serverName[0].Text);
    return OpcUa_Good;
}

UaStatus TestServerConfig::getIoLimits(OpcUa_UInt32& minTransactionManager,
                                       OpcUa_UInt32& maxTransactionManager,
                                       OpcUa_UInt32& minSubscriptionManager,
                                       OpcUa_UInt32& maxSubscriptionManager)
{
    minTransactionManager = maxTransactionManager = minSubscriptionManager = maxSubscriptionManager = 4;
    return OpcUa_Good;
}

Session* TestServerConfig::createSession(OpcUa_Int32 sessionId, const UaNodeId& authenticationToken)
{
    return new UaSession(static_cast<OpcUa_UInt32>(sessionId), authenticationToken);
}

UaStatus TestServerConfig::logonSessionUser(Session*, UaUserIdentityToken* userIdentityToken)
{
    auto* user = dynamic_cast<UaUserIdentityTokenUserName*>(userIdentityToken);
    if (user == nullptr)
        return OpcUa_Good;
    const auto known = m_options.users.find(user->userName.toUtf8());
    return known != m_options.users.end() && known->second == user->password.toUtf8()
               ? UaStatus(OpcUa_Good)
               : UaStatus(OpcUa_BadUserAccessDenied);
}
