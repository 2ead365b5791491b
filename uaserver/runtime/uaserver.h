#ifndef UASERVER_RUNTIME_UASERVER_H
#define UASERVER_RUNTIME_UASERVER_H

#include "serveraudit.h"

#include <uaendpoint.h>
#include <uasemaphore.h>

#include <uapointerarray.h>
#include <uastatus.h>
#include <uastring.h>
#include <uastructurearrays.h>
#include <uathread.h>
#include <uavariantarrays.h>

#include <opcua.h>
#include <opcua_transport.h>

#include <atomic>
#include <string>
#include <vector>

class ConditionRefreshHandler;
class UaPkiCertificate;
class NodeManager;
class NodeManagerNS1;
class ServerConfig;
class ServerManager;
class ServiceContext;
class SessionManager;
class UaSession;
class UaSubscriptionManager;
class UaTransactionManager;
class UaUserIdentityToken;
struct DiscoveryServerEntry;

// The server core between the communication stack and the rest of the runtime: it applies the
// configured stack limits, opens one stack endpoint per configured URL, follows the secure
// channels, owns the transaction and subscription managers and answers every request through
// sendResponse. One UaServer runs per process; the service table reaches it through running().
//
// Its members are written by startUp and shutDown only; the stack's threads read them while the
// endpoints are open. The thread body purges expired sessions every 10 s and registers the server
// with the configured discovery servers.
class UaServer : public UaThread
{
public:
    UaServer();
    ~UaServer() override;

    // Hands the configured serializer limits, stack thread pool and stack trace to the stack.
    UaStatus initStackSettings(ServerConfig* config);
    UaStatus startUp(ServerManager* serverManager);
    UaStatus shutDown();

    // The started server of the process; null while none runs.
    static UaServer* running() { return s_theServer.load(std::memory_order_acquire); }
    bool isStarted() const { return m_isStarted.load(std::memory_order_acquire); }

    // Answers a request once: the response for a good serviceResult, else a ServiceFault with it;
    // cancelled when the session's channel is gone. Deletes response and request; with a session
    // it ends the service on it. The stack's result.
    OpcUa_StatusCode sendResponse(OpcUa_Endpoint endpoint, UaSession* session, OpcUa_Handle context,
                                  OpcUa_Void* request, OpcUa_EncodeableType* requestType,
                                  OpcUa_StatusCode serviceResult, OpcUa_Void* response,
                                  OpcUa_EncodeableType* responseType);

    // The endpoint descriptions of the opened endpoints, only those of endpointUrl when it names
    // one (stack memory, owned by the caller afterwards).
    OpcUa_StatusCode GetEndpoints(const OpcUa_String& endpointUrl, OpcUa_Int32& noOfEndpoints,
                                  OpcUa_EndpointDescription*& endpoints);

    // Service entries: each takes the request over (it answers it now or later) and returns Good.
    // Discovery and sessions.
    OpcUa_StatusCode FindServers(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                 OpcUa_FindServersRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode GetEndpoints(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                  OpcUa_GetEndpointsRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode CreateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_CreateSessionRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode ActivateSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                     OpcUa_ActivateSessionRequest* request,
                                     OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode CloseSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                  OpcUa_CloseSessionRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode Cancel(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_CancelRequest* request,
                            OpcUa_EncodeableType* requestType);
    // View and methods.
    OpcUa_StatusCode TranslateBrowsePathsToNodeIds(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                                   OpcUa_TranslateBrowsePathsToNodeIdsRequest* request,
                                                   OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode Call(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_CallRequest* request,
                          OpcUa_EncodeableType* requestType);
    // Subscriptions.
    OpcUa_StatusCode CreateSubscription(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                        OpcUa_CreateSubscriptionRequest* request,
                                        OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode ModifySubscription(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                        OpcUa_ModifySubscriptionRequest* request,
                                        OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode SetPublishingMode(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_SetPublishingModeRequest* request,
                                       OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode Publish(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_PublishRequest* request,
                             OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode Republish(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_RepublishRequest* request,
                               OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode TransferSubscriptions(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                           OpcUa_TransferSubscriptionsRequest* request,
                                           OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode DeleteSubscriptions(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                         OpcUa_DeleteSubscriptionsRequest* request,
                                         OpcUa_EncodeableType* requestType);
    // Monitored items.
    OpcUa_StatusCode CreateMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                          OpcUa_CreateMonitoredItemsRequest* request,
                                          OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode ModifyMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                          OpcUa_ModifyMonitoredItemsRequest* request,
                                          OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode SetMonitoringMode(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                       OpcUa_SetMonitoringModeRequest* request,
                                       OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode SetTriggering(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_SetTriggeringRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode DeleteMonitoredItems(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                          OpcUa_DeleteMonitoredItemsRequest* request,
                                          OpcUa_EncodeableType* requestType);
    // Attribute services, answered by the transaction manager.
    OpcUa_StatusCode Read(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_ReadRequest* request,
                          OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode Write(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_WriteRequest* request,
                           OpcUa_EncodeableType* requestType);
    // View services, answered at once.
    OpcUa_StatusCode Browse(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_BrowseRequest* request,
                            OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode BrowseNext(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                OpcUa_BrowseNextRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode RegisterNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_RegisterNodesRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode UnregisterNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                     OpcUa_UnregisterNodesRequest* request,
                                     OpcUa_EncodeableType* requestType);
    // Node-management services, answered at once.
    OpcUa_StatusCode AddNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_AddNodesRequest* request,
                              OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode AddReferences(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_AddReferencesRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode DeleteNodes(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                 OpcUa_DeleteNodesRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode DeleteReferences(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                      OpcUa_DeleteReferencesRequest* request,
                                      OpcUa_EncodeableType* requestType);
    // Query and history services, answered by the transaction manager (a released query point at once).
    OpcUa_StatusCode QueryFirst(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                OpcUa_QueryFirstRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode QueryNext(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_QueryNextRequest* request,
                               OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode HistoryRead(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                 OpcUa_HistoryReadRequest* request, OpcUa_EncodeableType* requestType);
    OpcUa_StatusCode HistoryUpdate(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                   OpcUa_HistoryUpdateRequest* request, OpcUa_EncodeableType* requestType);

    // The stack's endpoint callback; callbackData is the server. Always Good.
    static OpcUa_StatusCode endpointCallback(OpcUa_Endpoint endpoint, OpcUa_Void* callbackData,
                                             OpcUa_Endpoint_Event event, OpcUa_StatusCode status,
                                             OpcUa_UInt32 secureChannelId,
                                             OpcUa_ByteString* clientCertificate,
                                             OpcUa_String* securityPolicyUri, OpcUa_UInt16 securityMode);

    // Rejected client certificates kept in the rejected folder at most; further ones are traced.
    static constexpr OpcUa_UInt32 MaxRejectedCertificates = 100;

    // The accessors later services use.
    ServerManager* serverManager() const { return m_pServerManager; }
    SessionManager* sessionManager() const { return m_pSessionManager; }
    NodeManager* nodeManagerRoot() const { return m_pNodeManagerRoot; }
    UaTransactionManager* transactionManager() const { return m_pTransactionManager; }
    UaSubscriptionManager* subscriptionManager() const { return m_pSubscriptionManager; }
    const UaPointerArray<UaEndpoint>& endpoints() const { return m_endpoints; }
    const UaString& serverUri() const { return m_serverUri; }

    // One registration with a discovery server: its endpoints are asked for (None) while none is
    // chosen, then server is registered on the chosen one; a refused connect drops the choice.
    OpcUa_StatusCode registerWithDiscoveryServer(DiscoveryServerEntry& entry,
                                                 const OpcUa_RegisteredServer& server);

    // Sets the event's times to now, its severity to 500 and its server id to the server URI, and
    // hands it to the event manager of namespace 1.
    void fireAuditEvent(AuditEventTypeData& eventData);

protected:
    // The background purge and registration thread.
    void run() override;
    // Its wait between two purges; shutDown ends it early through wakeUp.
    virtual void waitForWakeUp(OpcUa_UInt32 milliseconds);
    void wakeUp() { m_wakeUp.post(1); }
    // The translation of every browse path of request into response.
    virtual UaStatus translateBrowsePathsToNodeIds(const ServiceContext& serviceContext,
                                                   const OpcUa_TranslateBrowsePathsToNodeIdsRequest* request,
                                                   OpcUa_TranslateBrowsePathsToNodeIdsResponse* response);
    virtual bool isAuditActivated() { return m_auditActivated; }
    // Null when out of memory (start-up then fails with BadOutOfMemory).
    virtual UaTransactionManager* createTransactionManager(ServerManager* serverManager,
                                                           ConditionRefreshHandler* conditionRefresh);
    virtual UaSubscriptionManager* createSubscriptionManager(ServerManager* serverManager);
    // Called once the configured endpoints are known, before any opens.
    virtual void endpointsConfigured(UaPointerArray<UaEndpoint>& /*endpoints*/) {}

    // What a secure channel event means to the sessions; audit events come here too.
    void onSecureChannelOpened(OpcUa_UInt32 secureChannelId, OpcUa_StatusCode status,
                               const OpcUa_ByteString* clientCertificate);
    void onSecureChannelClosed(OpcUa_UInt32 secureChannelId);

private:
    // The frame of the entries above reaches the session lookup.
    friend class ServiceEntryFrame;

    // The raiser of the audit events; asked only while auditing is on.
    ServerAudit audit() const { return ServerAudit(m_pNodeManagerNS1, m_serverUri); }
    UaStatus openEndpoint(UaEndpoint* endpoint);
    void closeEndpoints(bool deleteThem);
    // Keeps the DER certificate of a client whose channel was refused in the rejected folder; the
    // host path of the file, empty when it was not kept.
    std::string storeRejectedCertificate(UaPkiCertificate& certificate);
    // The configured endpoint opened as the stack's endpoint; null for none.
    UaEndpoint* findEndpoint(OpcUa_Endpoint endpoint) const;
    // The frame of the session-bound services: the session of the request with a service counted
    // on it (released by sendResponse), or a bad status and no session.
    OpcUa_StatusCode findValidSession(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                      const OpcUa_RequestHeader& header, UaSession*& session,
                                      OpcUa_UInt32& channelId);
    // The opening of every service entry: its entry trace, and while the server is not running the
    // answer BadInternalError. False when the request was answered so.
    bool beginService(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void* request,
                      OpcUa_EncodeableType* requestType);
    // The closing trace of a service entry.
    static void traceServiceExit(const char* service, OpcUa_StatusCode result);
    // The frames of the subscription services: answered here through fill (the response begun by
    // it), answered later by the subscription the request object goes to, or one status per id.
    template <typename Request, typename Fill>
    OpcUa_StatusCode answerAtOnce(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                  Request* request, OpcUa_EncodeableType* requestType, bool nothingToDo,
                                  Fill fill);
    template <typename Pending, typename Request>
    OpcUa_StatusCode answerLater(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                 Request* request, OpcUa_EncodeableType* requestType, OpcUa_StatusCode check,
                                 UaStatus (UaSubscriptionManager::*begin)(Pending*));
    template <typename Response, typename PerId>
    OpcUa_StatusCode answerPerId(OpcUa_Endpoint endpoint, OpcUa_Handle context, OpcUa_Void*& response,
                                 OpcUa_EncodeableType*& responseType, OpcUa_Int32 count,
                                 const OpcUa_UInt32* ids, PerId perId);
    // The answer of a session service on an endpoint the server did not open: BadInternalError.
    UaEndpoint* endpointOrRefuse(const char* service, OpcUa_Endpoint endpoint, OpcUa_Handle context,
                                 OpcUa_Void* request, OpcUa_EncodeableType* requestType);
    // One user token policy of the endpoints.
    struct UserTokenOffer
    {
        const char* policyId;
        OpcUa_UserTokenType tokenType;
        // The security policy that protects the token's secret; null: the channel's.
        const char* securityPolicyUri;
    };
    // The user token policies the endpoints offer, in the order GetEndpoints lists them;
    // ActivateSession takes a token only under one of them. service names the caller in the error
    // trace.
    OpcUa_StatusCode offeredUserTokens(const char* service, std::vector<UserTokenOffer>& offers) const;
    // The user identity of an ActivateSession request, a password decrypted; null and the refusal.
    UaUserIdentityToken* identityFromRequest(const OpcUa_ActivateSessionRequest& request, UaSession* session,
                                             UaEndpoint* endpoint, OpcUa_StatusCode& status);
    // Whether the request may activate session on its channel: a session created on a secured
    // channel only on a secured channel of the same client certificate, and on every secured
    // channel with the client's signature over the server certificate and the last nonce.
    OpcUa_StatusCode checkActivatingChannel(UaSession& session, OpcUa_UInt32 channelId, bool secured,
                                            const UaString& policyUri, UaEndpoint& endpoint,
                                            const OpcUa_SignatureData& clientSignature);
    // Tells the stack whether the channel carries an activated session, on the endpoint that has it.
    void markChannel(OpcUa_UInt32 channelId, bool carriesSession);

    ServerManager* m_pServerManager = nullptr;
    SessionManager* m_pSessionManager = nullptr;
    NodeManager* m_pNodeManagerRoot = nullptr;
    UaTransactionManager* m_pTransactionManager = nullptr;
    UaSubscriptionManager* m_pSubscriptionManager = nullptr;
    std::atomic<bool> m_isStarted{false};
    bool m_startUpFailed = false;
    // Channel events count from just before the first endpoint opens: a channel that opens while
    // the server still starts carries sessions too.
    std::atomic<bool> m_acceptChannelEvents{false};
    bool m_auditActivated = true;
    UaString m_serverUri;
    NodeManagerNS1* m_pNodeManagerNS1 = nullptr;
    UaString m_rejectedCertificateDirectory;
    UaPointerArray<UaEndpoint> m_endpoints;
    UaApplicationDescriptionArray m_additionalServers;
    UaStringArray m_localeIds;
    UaSemaphore m_wakeUp{0, 1};
    std::atomic<OpcUa_UInt32> m_rejectedCertificates{0};

    static std::atomic<UaServer*> s_theServer;
};

#endif
