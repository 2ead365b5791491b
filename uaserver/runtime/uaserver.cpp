// The server core: stack settings, start-up and shut-down, the endpoints and their channel events,
// and the one way every request is answered.
#include "uaserver.h"

#include "servicetable.h"
#include "sessionmanager.h"
#include "uasession.h"
#include "uasubscriptionmanager.h"
#include "uatransactionmanager.h"

#include <nodemanagerwithevents.h>
#include <servermanager.h>
#include <serverconfig.h>
#include <servicecontext.h>
#include <statusnametext.h>

#include <uadatetime.h>
#include <uadir.h>
#include <uafilepaths.h>
#include <uaplatformlayer.h>
#include <uapkicertificate.h>
#include <uatrace.h>
#include <uaunistring.h>

#include <cctype>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <system_error>

std::atomic<UaServer*> UaServer::s_theServer{nullptr};

namespace
{
UaStatus withText(OpcUa_StatusCode code, const char* text)
{
    UaStatus status;
    status.setStatus(code, text);
    return status;
}

unsigned long hex(OpcUa_StatusCode code)
{
    return static_cast<unsigned long>(code);
}

// A file the rejected folder keeps: 40 hexadecimal digits and ".der".
bool isRejectedCertificateName(const std::string& name)
{
    if (name.size() != 44 || name.compare(40, 4, ".der") != 0)
        return false;
    for (size_t i = 0; i < 40; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}
} // namespace

UaServer::UaServer()
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Ctor UaServer");
}

UaServer::~UaServer()
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("--> Dtor UaServer");
    if (isStarted() || m_startUpFailed)
        shutDown();
    // Endpoints a failed start-up never opened are still ours.
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
        delete m_endpoints[i];
    m_endpoints.clear();
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("<-- Dtor UaServer");
}

UaStatus UaServer::initStackSettings(ServerConfig* config)
{
    if (config == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_Int32 maxAlloc = 0, maxStringLength = 0, maxByteStringLength = 0, maxArrayLength = 0,
                maxMessageSize = 0;
    UaStatus status = config->getSerializerConfiguration(maxAlloc, maxStringLength, maxByteStringLength,
                                                         maxArrayLength, maxMessageSize);
    if (status.isNotGood())
    {
        UaTrace::traceLevel1("Error: UaServer::initStackSettings [ret=0x%lx] - "
                             "ServerConfig::getSerializerConfiguration failed",
                             hex(status.statusCode()));
        return status;
    }
    UaPlatformLayer::setSerializerLimits(maxAlloc, maxStringLength, maxByteStringLength, maxArrayLength,
                                         maxMessageSize);

    bool poolEnabled = false, blockOnAdd = false;
    OpcUa_Int32 minThreads = 0, maxThreads = 0, maxJobs = 0;
    OpcUa_UInt32 timeout = 0;
    status =
        config->getStackThreadPoolSettings(poolEnabled, minThreads, maxThreads, maxJobs, blockOnAdd, timeout);
    if (status.isNotGood())
    {
        UaTrace::traceLevel1("Error: UaServer::initStackSettings [ret=0x%lx] - "
                             "ServerConfig::getStackThreadPoolSettings failed",
                             hex(status.statusCode()));
        return status;
    }
    UaPlatformLayer::setThreadPool(poolEnabled, minThreads, maxThreads, maxJobs, blockOnAdd, timeout);

    bool traceEnabled = false;
    OpcUa_UInt32 traceLevel = 0;
    status = config->getStackTraceSettings(traceEnabled, traceLevel);
    if (status.isNotGood())
    {
        UaTrace::traceLevel1(
            "Error: UaServer::initStackSettings [ret=0x%lx] - ServerConfig::getStackTraceSettings failed",
            hex(status.statusCode()));
        return status;
    }
    UaPlatformLayer::setTrace(traceEnabled, traceLevel);
    return UaPlatformLayer::reinit() == 0 ? UaStatus(OpcUa_Good) : UaStatus(OpcUa_BadInternalError);
}

UaTransactionManager* UaServer::createTransactionManager(ServerManager* serverManager,
                                                         ConditionRefreshHandler* conditionRefresh)
{
    return new (std::nothrow) UaTransactionManager(serverManager, conditionRefresh);
}

UaSubscriptionManager* UaServer::createSubscriptionManager(ServerManager* serverManager)
{
    return new (std::nothrow) UaSubscriptionManager(serverManager);
}

UaStatus UaServer::startUp(ServerManager* serverManager)
{
    UaTrace::traceLevel6("--> UaServer::startUp");
    if (isStarted())
    {
        UaTrace::traceLevel1("<-- UaServer::startUp [ret=OpcUa_BadInternalError] - UaServer already started");
        return withText(OpcUa_BadInternalError, "UaServer::startUp - UaServer already started");
    }
    m_pServerManager = serverManager;
    if (serverManager == nullptr)
    {
        UaTrace::traceLevel1(
            "<-- UaServer::startUp [ret=OpcUa_BadInternalError] - ServerManager not available");
        return withText(OpcUa_BadInternalError, "UaServer::startUp - ServerManager not available");
    }
    m_pSessionManager = serverManager->getSessionManager();
    if (m_pSessionManager == nullptr)
    {
        UaTrace::traceLevel1(
            "<-- UaServer::startUp [ret=OpcUa_BadInternalError] - SessionManager not available");
        return withText(OpcUa_BadInternalError, "UaServer::startUp - SessionManager not available");
    }
    m_pNodeManagerRoot = serverManager->getNodeManagerRoot();
    m_pNodeManagerNS1 = serverManager->getNodeManagerNS1();
    if (m_pNodeManagerRoot == nullptr)
    {
        UaTrace::traceLevel1(
            "<-- UaServer::startUp [ret=OpcUa_BadInternalError] - NodeManagerRoot not available");
        return withText(OpcUa_BadInternalError, "UaServer::startUp - NodeManagerRoot not available");
    }

    // From here on a failure leaves what was made for shutDown to remove.
    m_startUpFailed = true;
    // A channel that carries an activated session is the last the stack gives up when full; one
    // whose sessions all went is evictable again.
    m_pSessionManager->setChannelMarker([this](OpcUa_UInt32 channelId, bool carriesSession)
                                        { markChannel(channelId, carriesSession); });
    UaStatus status;
    m_pSubscriptionManager = createSubscriptionManager(serverManager);
    status = m_pSubscriptionManager ? m_pSubscriptionManager->startUp() : UaStatus(OpcUa_BadOutOfMemory);
    if (status.isBad())
    {
        UaTrace::traceLevel6("<-- UaServer::startUp [ret=0x%lx] startUp UaSubscriptionManager failed",
                             hex(status.statusCode()));
        return status;
    }
    // ConditionRefresh calls reach the subscriptions through the transaction manager.
    m_pTransactionManager = createTransactionManager(serverManager, m_pSubscriptionManager);
    status = m_pTransactionManager ? m_pTransactionManager->startUp() : UaStatus(OpcUa_BadOutOfMemory);
    if (status.isBad())
    {
        UaTrace::traceLevel6("<-- UaServer::startUp [ret=0x%lx] startUp UaTransactionManager failed",
                             hex(status.statusCode()));
        return status;
    }

    UaServer* none = nullptr;
    if (!s_theServer.compare_exchange_strong(none, this, std::memory_order_acq_rel))
    {
        UaTrace::traceLevel1(
            "<-- UaServer::startUp [ret=OpcUa_BadInternalError] - Second UaServer Instance created");
        return withText(OpcUa_BadInternalError, "UaServer::startUp - Second UaServer Instance created");
    }

    ServerConfig* config = serverManager->getServerConfig();
    status = config ? config->getEndpointConfiguration(m_rejectedCertificateDirectory, m_endpoints)
                    : UaStatus(OpcUa_BadInternalError);
    if (status.isNotGood())
    {
        UaTrace::traceLevel1(
            "Error: UaServer::startUp [ret=0x%lx] - ServerConfig::getEndpointConfiguration failed",
            hex(status.statusCode()));
        return status;
    }
    UaLocalizedTextArray serverNames;
    config->getServerInstanceInfo(m_serverUri, serverNames);
    m_auditActivated = config->isAuditActivated();
    config->getAdditionalServers(m_additionalServers);
    OpcUa_Double minSampleRate = 0;
    UaStringArray profiles;
    UaByteStringArray certificates;
    const UaStatus capabilities =
        config->getServerCapabilities(minSampleRate, m_localeIds, profiles, certificates);
    if (capabilities.isNotGood() || m_localeIds.length() == 0)
    {
        m_localeIds.create(1);
        UaString("en").copyTo(&m_localeIds[0]);
    }

    if (m_endpoints.length() == 0)
    {
        UaTrace::traceLevel1(
            "Error: UaServer::startUp [ret=OpcUa_BadConfigurationError] - No Endpoints configured");
        return withText(
            OpcUa_BadConfigurationError,
            "Error: UaServer::startUp [ret=OpcUa_BadConfigurationError] - No Endpoints configured");
    }
    endpointsConfigured(m_endpoints);

    m_acceptChannelEvents.store(true, std::memory_order_release);
    OpcUa_UInt32 opened = 0;
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
    {
        UaEndpoint* endpoint = m_endpoints[i];
        if (endpoint == nullptr)
            continue;
        const UaStatus result = openEndpoint(endpoint);
        if (result.isGood())
        {
            UaTrace::traceLevel3("Open Endpoint SUCCEEDED for endpoint %d with URL=%s", static_cast<int>(i),
                                 endpoint->endpointUrl().toUtf8());
            ++opened;
        }
        else
            UaTrace::traceLevel1("Open Endpoint FAILED for endpoint %d with URL=%s [ret=0x%lx]",
                                 static_cast<int>(i), endpoint->endpointUrl().toUtf8(),
                                 hex(result.statusCode()));
    }
    if (opened == 0)
    {
        UaTrace::traceLevel6("<-- UaServer::startUp [ret=0x%lx]", hex(OpcUa_BadInternalError));
        return OpcUa_BadInternalError;
    }

    m_startUpFailed = false;
    m_isStarted.store(true, std::memory_order_release);
    start();
    UaTrace::traceLevel6("<-- UaServer::startUp [ret=0x%lx]", hex(OpcUa_Good));
    return OpcUa_Good;
}

UaStatus UaServer::openEndpoint(UaEndpoint* endpoint)
{
    OpcUa_Endpoint handle = nullptr;
    OpcUa_StatusCode result = OpcUa_Endpoint_Create(
        &handle, static_cast<OpcUa_Endpoint_SerializerType>(endpoint->mode()), uaServerServiceTable());
    if (OpcUa_IsBad(result))
    {
        UaTrace::traceLevel1("OpcUa_Endpoint_Create FAILED [ret=0x%lx]", hex(result));
        return result;
    }

    const OpcUa_UInt32 policyCount = endpoint->securitySettingCount();
    auto* policies = static_cast<OpcUa_Endpoint_SecurityPolicyConfiguration*>(
        OpcUa_Memory_Alloc(policyCount * sizeof(OpcUa_Endpoint_SecurityPolicyConfiguration)));
    if (policyCount > 0 && policies == nullptr)
    {
        OpcUa_Endpoint_Delete(&handle);
        return OpcUa_BadOutOfMemory;
    }
    for (OpcUa_UInt32 i = 0; i < policyCount; ++i)
    {
        OpcUa_String_Initialize(&policies[i].sSecurityPolicyUri);
        policies[i].uMessageSecurityModes = 0;
        if (const UaEndpointSecuritySetting* setting = endpoint->securitySetting(i))
        {
            setting->securityPolicy().copyTo(&policies[i].sSecurityPolicyUri);
            policies[i].uMessageSecurityModes = setting->messageSecurityModes();
        }
    }

    OpcUa_ByteString certificate = *endpoint->certificate().toOpcUaByteString();
    OpcUa_Key key;
    key.Type = OpcUa_Crypto_KeyType_Rsa_Private;
    key.Key = *endpoint->privateKey().toOpcUaByteString();
    const UaString url = endpoint->endpointUrl();
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CALL OpcUa_Endpoint_Open with URL=%s", url.toUtf8());
    result = OpcUa_Endpoint_Open(handle, url.toUtf8(), &UaServer::endpointCallback, this, &certificate, &key,
                                 endpoint->pkiConfig(), policyCount, policies);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE OpcUa_Endpoint_Open [Result=0x%lx]", hex(result));

    for (OpcUa_UInt32 i = 0; i < policyCount; ++i)
        OpcUa_String_Clear(&policies[i].sSecurityPolicyUri);
    OpcUa_Memory_Free(policies);

    if (OpcUa_IsGood(result))
        endpoint->setEndpointHandle(handle);
    else
    {
        endpoint->setFirstFlag(false);
        UaTrace::traceLevel1("OpcUa_Endpoint_Open FAILED [ret=0x%lx]", hex(result));
        OpcUa_Endpoint_Delete(&handle);
    }
    return result;
}

void UaServer::closeEndpoints(bool deleteThem)
{
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
    {
        UaEndpoint* endpoint = m_endpoints[i];
        if (endpoint == nullptr || endpoint->endpointHandle() == nullptr)
            continue;
        OpcUa_Endpoint handle = endpoint->endpointHandle();
        if (!deleteThem)
        {
            if (UaTrace::isTraceLevelOn(4))
                UaTrace::traceLevel4("CALL OpcUa_Endpoint_Close");
            const OpcUa_StatusCode closed = OpcUa_Endpoint_Close(handle);
            if (UaTrace::isTraceLevelOn(4))
                UaTrace::traceLevel4("DONE OpcUa_Endpoint_Close [Result=0x%lx]", hex(closed));
            continue;
        }
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL OpcUa_Endpoint_Delete");
        OpcUa_Endpoint_Delete(&handle);
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("DONE OpcUa_Endpoint_Delete");
        endpoint->setEndpointHandle(nullptr);
    }
}

void UaServer::fireAuditEvent(AuditEventTypeData& eventData)
{
    audit().fire(eventData);
}

UaStatus UaServer::shutDown()
{
    UaTrace::traceLevel6("--> UaServer::shutDown");
    if (!isStarted() && !m_startUpFailed)
    {
        UaTrace::traceLevel6("<-- UaServer::shutDown [ret=OpcUa_BadInternalError] - UaServer not started");
        return withText(OpcUa_BadInternalError, "UaServer::shutDown - UaServer not started");
    }
    m_isStarted.store(false, std::memory_order_release);
    m_startUpFailed = false;
    wakeUp();
    wait(OpcUa_Infinite);
    while (isRunning())
        UaThread::sleep(100);

    // A second server that was refused shares the running one's sessions: it leaves them alone.
    const bool isTheServer = running() == this;
    // Monitoring transactions end while the sessions still exist.
    if (m_pSubscriptionManager)
        m_pSubscriptionManager->waitForIdleSubscriptions();
    if (m_pTransactionManager)
        m_pTransactionManager->waitForPendingTransactions();
    // No stack thread may still be inside a handler once sessions and managers go: the endpoints
    // close first (it waits for the stack's threads) and are deleted last.
    closeEndpoints(false);
    m_acceptChannelEvents.store(false, std::memory_order_release);
    if (m_pSessionManager)
        m_pSessionManager->setChannelMarker(nullptr);
    if (isTheServer && m_pSessionManager)
        m_pSessionManager->closeAllUaSessions();
    if (m_pTransactionManager)
    {
        m_pTransactionManager->shutDown();
        delete m_pTransactionManager;
        m_pTransactionManager = nullptr;
    }
    if (m_pSubscriptionManager)
    {
        m_pSubscriptionManager->shutDown();
        delete m_pSubscriptionManager;
        m_pSubscriptionManager = nullptr;
    }
    closeEndpoints(true);
    if (isTheServer)
        s_theServer.store(nullptr, std::memory_order_release);
    m_pNodeManagerRoot = nullptr;
    UaTrace::traceLevel6("<-- UaServer::shutDown [ret=0x%lx]", hex(OpcUa_Good));
    return OpcUa_Good;
}

OpcUa_StatusCode UaServer::endpointCallback(OpcUa_Endpoint /*endpoint*/, OpcUa_Void* callbackData,
                                            OpcUa_Endpoint_Event event, OpcUa_StatusCode status,
                                            OpcUa_UInt32 secureChannelId, OpcUa_ByteString* clientCertificate,
                                            OpcUa_String* securityPolicyUri, OpcUa_UInt16 securityMode)
{
    auto* server = static_cast<UaServer*>(callbackData);
    const int channel = static_cast<int>(secureChannelId);
    switch (event)
    {
    case OpcUa_Endpoint_Event_SecureChannelOpened:
        if (OpcUa_IsGood(status))
        {
            UaTrace::traceLevel3("UaServer_EndpointCallback: SecureChannel %i opened!", channel);
            UaTrace::traceLevel3("Security Mode %i Security Policy %s", static_cast<int>(securityMode),
                                 securityPolicyUri ? OpcUa_String_GetRawString(securityPolicyUri) : "");
        }
        else
            UaTrace::traceLevel1("UaServer_EndpointCallback: SecureChannel %i open failed! [status=0x%lx]",
                                 channel, hex(status));
        server->onSecureChannelOpened(secureChannelId, status, clientCertificate);
        if (server->isAuditActivated())
            server->audit().channelOpened(secureChannelId, status, clientCertificate,
                                          securityPolicyUri ? UaString(securityPolicyUri) : UaString(),
                                          securityMode);
        break;
    case OpcUa_Endpoint_Event_SecureChannelClosed:
        UaTrace::traceLevel3("UaServer_EndpointCallback: SecureChannel %i closed! [status=0x%lx]", channel,
                             hex(status));
        server->onSecureChannelClosed(secureChannelId);
        if (server->isAuditActivated())
            server->audit().channelClosed(secureChannelId, status);
        break;
    case OpcUa_Endpoint_Event_SecureChannelRenewed:
        UaTrace::traceLevel3("UaServer_EndpointCallback: SecureChannel %i renewed! [status=0x%lx]", channel,
                             hex(status));
        break;
    case OpcUa_Endpoint_Event_UnsupportedServiceRequested:
        UaTrace::traceLevel2(
            "UaServer_EndpointCallback: SecureChannel %i received request for unsupported service!", channel);
        break;
    case OpcUa_Endpoint_Event_DecoderError:
        UaTrace::traceLevel1(
            "UaServer_EndpointCallback: SecureChannel %i received a request that could not be decoded!",
            channel);
        break;
    default:
        UaTrace::traceLevel3("UaServer_EndpointCallback: Unknown Endpoint event!");
        break;
    }
    return OpcUa_Good;
}

void UaServer::onSecureChannelOpened(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status,
                                     const OpcUa_ByteString* clientCertificate)
{
    if (!m_acceptChannelEvents.load(std::memory_order_acquire))
        return;
    const bool withCertificate = clientCertificate != nullptr && clientCertificate->Length > 0;
    if (OpcUa_IsGood(status))
    {
        m_pSessionManager->secureChannelCreated(
            secureChannelId, withCertificate
                                 ? UaByteString(clientCertificate->Length, clientCertificate->Data)
                                 : UaByteString());
        return;
    }
    if (!withCertificate)
        return;
    // Whoever runs the server learns which client was refused, and where its certificate waits to
    // be trusted.
    UaPkiCertificate certificate =
        UaPkiCertificate::fromDER(UaByteString(clientCertificate->Length, clientCertificate->Data));
    const std::string kept =
        m_rejectedCertificateDirectory.isEmpty() ? std::string() : storeRejectedCertificate(certificate);
    UaTrace::traceLevel1("Error: UaServer - the secure channel of client \"%s\" was refused [%s]%s%s",
                         certificate.isNull() ? "?" : certificate.subject().commonName.toUtf8(),
                         statusNameText(status).c_str(), kept.empty() ? "" : "; its certificate is kept as ",
                         kept.c_str());
}

void UaServer::markChannel(OpcUa_UInt32 channelId, bool carriesSession)
{
    // Channel ids are unique in the process: the one endpoint that has the channel takes the mark.
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
    {
        const UaEndpoint* endpoint = m_endpoints[i];
        if (endpoint != nullptr && endpoint->endpointHandle() != nullptr &&
            OpcUa_IsGood(OpcUa_Endpoint_SetSecureChannelSessionActive(
                endpoint->endpointHandle(), channelId, carriesSession ? OpcUa_True : OpcUa_False)))
            return;
    }
}

void UaServer::onSecureChannelClosed(OpcUa_UInt32 secureChannelId)
{
    if (m_acceptChannelEvents.load(std::memory_order_acquire))
        m_pSessionManager->secureChannelDeleted(secureChannelId);
}

std::string UaServer::storeRejectedCertificate(UaPkiCertificate& pkiCertificate)
{
    const UaUniString folder = uaNormalizedPath(UaUniString(m_rejectedCertificateDirectory.toUtf8()));
    UaDir dir(folder);
    if (!dir.mkpath(folder))
        return std::string();
    const std::optional<std::string> hostFolder = uaHostPath(folder);
    if (!hostFolder || pkiCertificate.isNull())
        return std::string();
    const UaByteString thumbprint = pkiCertificate.thumbPrint();
    std::string name;
    static const char digits[] = "0123456789ABCDEF";
    for (OpcUa_Int32 i = 0; i < thumbprint.length(); ++i)
    {
        name += digits[thumbprint.data()[i] >> 4];
        name += digits[thumbprint.data()[i] & 0xF];
    }
    name += ".der";

    // Every untrusted peer would add a file: the folder keeps a bounded number of them.
    std::error_code error;
    if (!std::filesystem::exists(*hostFolder + "/" + name, error))
    {
        OpcUa_UInt32 kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(*hostFolder, error))
            if (isRejectedCertificateName(entry.path().filename().string()))
                ++kept;
        if (kept >= MaxRejectedCertificates)
        {
            UaTrace::traceLevel2(
                "UaServer: rejected certificate %s not stored, the folder %s holds %u already", name.c_str(),
                hostFolder->c_str(), static_cast<unsigned>(kept));
            return std::string();
        }
    }
    const std::string path = *hostFolder + "/" + name;
    pkiCertificate.toDERFile(UaString(path.c_str()));
    return std::filesystem::exists(path, error) ? path : std::string();
}

UaEndpoint* UaServer::findEndpoint(OpcUa_Endpoint endpoint) const
{
    UaEndpoint* found = nullptr;
    for (OpcUa_UInt32 i = 0; i < m_endpoints.length(); ++i)
        if (m_endpoints[i] != nullptr && m_endpoints[i]->endpointHandle() == endpoint)
            found = m_endpoints[i];
    return found;
}

OpcUa_StatusCode UaServer::sendResponse(OpcUa_Endpoint endpoint, UaSession* session, OpcUa_Handle context,
                                        OpcUa_Void* request, OpcUa_EncodeableType* requestType,
                                        OpcUa_StatusCode serviceResult, OpcUa_Void* response,
                                        OpcUa_EncodeableType* responseType)
{
    auto* requestHeader = static_cast<OpcUa_RequestHeader*>(request);
    const OpcUa_UInt32 requestHandle = requestHeader ? requestHeader->RequestHandle : 0;
    bool cancel = false;
    OpcUa_StatusCode internalResult = OpcUa_Good;

    if (OpcUa_IsGood(serviceResult) && response == nullptr)
        serviceResult = OpcUa_BadUnexpectedError;
    if (OpcUa_IsNotGood(serviceResult))
    {
        if (response == nullptr)
        {
            const OpcUa_StatusCode begun =
                OpcUa_Endpoint_BeginSendResponse(endpoint, context, &response, &responseType);
            if (OpcUa_IsBad(begun))
            {
                cancel = true;
                internalResult = begun;
            }
        }
        if (response != nullptr)
            OpcUa_EncodeableObject_Delete(responseType, &response);
        if (!cancel)
        {
            const OpcUa_StatusCode faulted = OpcUa_ServerApi_CreateFault(
                requestHeader, serviceResult, nullptr, nullptr, nullptr, &response, &responseType);
            if (OpcUa_IsBad(faulted))
            {
                cancel = true;
                internalResult = faulted;
            }
        }
    }

    if (session != nullptr && !cancel && !session->secureChannelStillValid())
    {
        cancel = true;
        internalResult = OpcUa_Good;
    }
    OpcUa_StatusCode result;
    if (!cancel)
    {
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL  Send Response [Request=%d][ServiceResult=0x%lx]",
                                 static_cast<int>(requestHandle), hex(serviceResult));
        if (OpcUa_IsGood(serviceResult))
        {
            auto* header = static_cast<OpcUa_ResponseHeader*>(response);
            header->Timestamp = UaDateTime::now();
            header->RequestHandle = requestHandle;
            header->ServiceResult = serviceResult;
        }
        result = OpcUa_Endpoint_EndSendResponse(endpoint, &context, OpcUa_Good, response, responseType);
    }
    else
    {
        if (UaTrace::isTraceLevelOn(4))
            UaTrace::traceLevel4("CALL  Cancel Response [Request=%d][InternalResult=0x%lx]",
                                 static_cast<int>(requestHandle), hex(internalResult));
        result = OpcUa_Endpoint_CancelSendResponse(endpoint, internalResult, nullptr, &context);
    }
    if (session != nullptr)
        session->finishedServiceProcessing();
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CLEAN Send Response");
    if (response != nullptr)
        OpcUa_EncodeableObject_Delete(responseType, &response);
    if (request != nullptr)
        OpcUa_EncodeableObject_Delete(requestType, &request);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE  Send Response");
    return result;
}

bool UaServer::beginService(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                            OpcUa_Void* request, OpcUa_EncodeableType* requestType)
{
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("==> UaServer::%s [Request=%d]", service,
                             static_cast<int>(static_cast<OpcUa_RequestHeader*>(request)->RequestHandle));
    if (isStarted())
        return true;
    sendResponse(endpoint, nullptr, context, request, requestType, OpcUa_BadInternalError, nullptr, nullptr);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("<== UaServer::%s [OpcUa_BadInternalError] - UaServer not started", service);
    return false;
}

void UaServer::traceServiceExit(const char* service, OpcUa_StatusCode result)
{
    if (!UaTrace::isTraceLevelOn(4))
        return;
    if (OpcUa_IsNotGood(result))
        UaTrace::traceLevel4("<== UaServer::%s [ServiceResult=0x%lx]", service, hex(result));
    else
        UaTrace::traceLevel4("<== UaServer::%s", service);
}

UaEndpoint* UaServer::endpointOrRefuse(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_Void* request, OpcUa_EncodeableType* requestType)
{
    UaEndpoint* configured = findEndpoint(endpoint);
    if (configured != nullptr)
        return configured;
    sendResponse(endpoint, nullptr, context, request, requestType, OpcUa_BadInternalError, nullptr, nullptr);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("<== UaServer::%s [OpcUa_BadInternalError] - Can not find Endpoint", service);
    return nullptr;
}

OpcUa_StatusCode UaServer::findValidSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                            const OpcUa_RequestHeader& header, UaSession*& session,
                                            OpcUa_UInt32& channelId)
{
    session = nullptr;
    channelId = 0;
    // Without the channel no session is looked up: the lookup would count as the session's contact.
    const OpcUa_StatusCode queried = OpcUa_Endpoint_GetMessageSecureChannelId(endpoint, context, &channelId);
    if (OpcUa_IsBad(queried))
        return queried;
    Session* found = m_pSessionManager->findSession(UaNodeId(header.AuthenticationToken), true);
    if (found == nullptr)
        return OpcUa_BadSessionIdInvalid;
    session = static_cast<UaSession*>(found);
    session->startingServiceProcessing();
    // The service holds its own reference from here on.
    found->releaseReference();
    return session->checkSessionValid(channelId).statusCode();
}
