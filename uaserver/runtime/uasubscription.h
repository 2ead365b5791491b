#ifndef UASERVER_RUNTIME_UASUBSCRIPTION_H
#define UASERVER_RUNTIME_UASUBSCRIPTION_H

#include "uamonitoreditem.h"

#include <eventmanager.h>
#include <iomanagercallback.h>
#include <referencecounter.h>
#include <servicecontext.h>

#include <uadatetime.h>
#include <uastatus.h>

#include <opcua.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <functional>
#include <map>
#include <vector>

class NodeManager;
class PendingCreateMonitoredItemsRequest;
class PendingDeleteMonitoredItemsRequest;
class PendingModifyMonitoredItemsRequest;
class PendingMonitoredItemsRequest;
class PendingSetMonitoringModeRequest;
class PublishRequestContext;
class ServerManagerLink;
class UaSession;
class UaThreadPool;

// One subscription of a client session, reference counted. It counts its publishing cycles on the
// subscription manager's timer, takes Publish requests from its session, answers them with its
// items' notifications or a keep-alive, keeps sent messages for Republish until acknowledged and
// closes itself when its lifetime runs out. It has no thread of its own.
//
// Its items are started, changed and stopped on the I/O managers and event managers that serve
// them, which answer through the two callback interfaces; the last answer of a request sends its
// response.
//
// Its mutex is recursive: a transfer queues a late subscription at its new session with the mutex
// held, and the session may publish on this thread at once.
class UaSubscription : public ReferenceCounter, public IOManagerCallback, public EventManagerCallback
{
public:
    enum State
    {
        CLOSED = 0,
        NORMAL = 2,
        LATE = 3,
        KEEPALIVE = 4
    };

    // The values are already revised by the subscription manager; lifetimeCount is settled to a
    // multiple of the keep-alive count and written back.
    UaSubscription(UaSession* session, ServerManagerLink* serverManager, OpcUa_Double publishingInterval,
                   OpcUa_UInt32& lifetimeCount, OpcUa_UInt32 maxKeepAliveCount,
                   OpcUa_UInt32 maxRetransmissionQueueSize, OpcUa_UInt32 maxNotificationsPerPublish,
                   bool publishingEnabled, OpcUa_Byte priority);
    ~UaSubscription() override;

    void setSubscriptionId(OpcUa_UInt32 subscriptionId);
    OpcUa_UInt32 subscriptionId();
    void setMonitoredItemLimits(OpcUa_UInt32 maxPerServer, OpcUa_UInt32 maxPerSubscription);
    void setThreadPool(UaThreadPool* threadPool);
    virtual OpcUa_UInt32 getState();
    OpcUa_UInt32 getPendingTransactionCount();
    // Waits (at most about 10 s) while more than limit transactions run.
    void waitForTransactions(OpcUa_UInt32 limit);
    // The session that owns the subscription, with a reference for the caller; null once closed.
    UaSession* session();

    virtual void setPublishingMode(bool publishingEnabled);
    virtual void modifySubscription(OpcUa_Double publishingInterval, OpcUa_UInt32& lifetimeCount,
                                    OpcUa_UInt32 maxKeepAliveCount, OpcUa_UInt32 maxNotificationsPerPublish,
                                    OpcUa_Byte priority);
    // Ends the subscription; sessionIsClosing keeps it from calling back into its session.
    virtual UaStatus close(bool sessionIsClosing);
    virtual UaStatus transfer(UaSession* newSession, bool sendInitialValues,
                              std::vector<OpcUa_UInt32>& availableSequenceNumbers);
    virtual UaStatus setTriggering(OpcUa_UInt32 triggeringItemId, const std::vector<OpcUa_UInt32>& linksToAdd,
                                   const std::vector<OpcUa_UInt32>& linksToRemove,
                                   std::vector<OpcUa_StatusCode>& addResults,
                                   std::vector<OpcUa_StatusCode>& removeResults);

    // The monitored-item services: Good when the request is the subscription's (it sends the
    // response once every item is answered); BadSubscriptionIdInvalid when closed,
    // BadSessionIdInvalid for another session's request (the request stays the caller's).
    virtual UaStatus beginCreateMonitoredItems(PendingCreateMonitoredItemsRequest* request);
    virtual UaStatus beginModifyMonitoredItems(PendingModifyMonitoredItemsRequest* request);
    virtual UaStatus beginSetMonitoringMode(PendingSetMonitoringModeRequest* request);
    virtual UaStatus beginDeleteMonitoredItems(PendingDeleteMonitoredItemsRequest* request);
    // Called when every item of request is answered, just before its response goes.
    virtual void monitoredItemsDone(PendingMonitoredItemsRequest* /*request*/) {}
    // Replays the retained conditions to every Reporting event item.
    virtual UaStatus beginConditionRefresh(const ServiceContext& serviceContext);
    // An event manager registered after items exist: the event items start on it too.
    void dynamicEventManagerRegistered(EventManager* eventManager);

    // The I/O managers' answers; read and write are never asked of a subscription.
    UaStatus finishRead(OpcUa_UInt32, OpcUa_UInt32, UaDataValue&, bool, bool, UaDiagnosticInfo*) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus finishWrite(OpcUa_UInt32, OpcUa_UInt32, UaStatus&, bool) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 samplingItemHandle, OpcUa_Double revisedSamplingInterval,
                                   bool initialValueAvailable, UaDataValue& initialValue,
                                   const UaStatus& status) override;
    UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedSamplingInterval, const UaStatus& status) override;
    UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                  UaStatus& status) override;
    // The event managers' answers.
    UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 hEventItem, OpcUa_Double revisedSamplingInterval,
                                   const UaStatus& status,
                                   const OpcUa_EventFilterResult* pFilterResult) override;
    UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedSamplingInterval, const UaStatus& status,
                                    const OpcUa_EventFilterResult* pFilterResult) override;
    UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                  const UaStatus& status) override;

    // Answers request from this subscription (the request is the subscription's from now on);
    // moreNotifications tells whether notifications are left for another response.
    virtual UaStatus publish(PublishRequestContext* request, bool& moreNotifications);
    // Publishes with request and goes on with the session's queued requests while notifications
    // are left; without more requests the subscription waits at its session as late.
    void publishAll(UaSession* session, PublishRequestContext* request);
    // Answers a Republish request on its context with the kept message of sequenceNumber.
    // BadMessageNotAvailable leaves the context to the caller.
    virtual UaStatus republish(OpcUa_Endpoint endpoint, OpcUa_Handle context,
                               const OpcUa_RequestHeader& header, OpcUa_UInt32 sequenceNumber);
    // Milliseconds until the next check; publishDue when a cycle has ended.
    virtual OpcUa_UInt32 checkPublishTimer(bool& publishDue);
    // One publishing cycle on a pool thread.
    virtual void checkAvailableNotifications();
    OpcUa_StatusCode ackNotification(OpcUa_UInt32 sequenceNumber);

    // The monitored-item table: ids from 1, the most recently freed id reused first.
    MonitoredItemOwner* itemOwner() { return &m_items; }
    // Takes item over; 0 when a limit refuses it: BadOutOfMemory for the configured limits,
    // BadTooManyMonitoredItems beyond the session's cap (the item stays the caller's).
    OpcUa_UInt32 addMonitoredItem(UaMonitoredItem* item, OpcUa_StatusCode* refusal = nullptr);
    bool deleteMonitoredItem(OpcUa_UInt32 monitoredItemId);
    // Valid while the caller holds the item owner's mutex.
    UaMonitoredItem* monitoredItem(OpcUa_UInt32 monitoredItemId);
    OpcUa_UInt32 monitoredItemCount();

    static OpcUa_Int32 instanceCount() { return s_instances.load(); }
    // The live count the server's object statistics show.
    static std::atomic<OpcUa_Int32>* instanceCounter() { return &s_instances; }
    // Monitored items of all subscriptions.
    static OpcUa_UInt32 serverItemCount() { return s_serverItems.load(); }
    // The monitored items of the whole server when the configuration sets no maximum: every item
    // may hold a queue, and the sessions together must not be able to take the memory without a
    // bound. Past it an item is refused with BadTooManyMonitoredItems.
    static constexpr OpcUa_UInt32 kMaxServerMonitoredItems = 50000;

protected:
    // A subscription without session or items, for doubles that answer requests themselves.
    UaSubscription();

private:
    struct Transaction;
    class ManagerCalls;

    // The common start of the item services: the checks, then the transaction (removal: what its
    // answers do to the items) in the table. 0 with the refusal in result.
    OpcUa_UInt32 openTransaction(PendingMonitoredItemsRequest* request, const char* operation, int removal,
                                 const char* kind, UaStatus& result);
    // The begin operation is done: the transaction's last answer may send it.
    UaStatus closeTransaction(OpcUa_UInt32 transactionId, const char* operation);
    // Enters transaction in the table (mutex held) and returns its id.
    OpcUa_UInt32 registerTransaction(Transaction* transaction, const char* kind);
    // The begin operation is done with its request: the last answer may send it from now on.
    void releaseTransaction(OpcUa_UInt32 transactionId);
    // The transaction has left the table: its response goes on the pool (or at once).
    void complete(Transaction* transaction);
    // One manager's answer for one item; apply stores what a good answer brings.
    UaStatus answer(OpcUa_UInt32 transactionId, OpcUa_UInt32 callbackHandle, OpcUa_StatusCode status,
                    const std::function<void(UaMonitoredItem&, OpcUa_UInt32 slot)>& apply,
                    const OpcUa_EventFilterResult* filterResult = nullptr);
    void answerAtOnce(OpcUa_UInt32 transactionId, OpcUa_UInt32 index, OpcUa_StatusCode status);
    // Every answer of item index is in: its result is stored (mutex held). An item that goes hands
    // over the sampling operations that waited on it.
    void itemAnswered(Transaction& transaction, OpcUa_UInt32 index,
                      std::vector<SamplingOperation>& abandoned);
    UaMonitoredItem* createDataItem(UaSession* session, const OpcUa_MonitoredItemCreateRequest& create,
                                    OpcUa_Double interval, OpcUa_UInt32 maxQueueSize,
                                    OpcUa_StatusCode& refused);
    UaMonitoredItem* createEventItem(UaSession* session, const OpcUa_MonitoredItemCreateRequest& create,
                                     OpcUa_Double interval, OpcUa_StatusCode& refused);
    // Whether the start or stop of item, operation index of the transaction, may go to the managers
    // now: a data item's waits behind the one on its way and goes when that is answered. Mutex held.
    bool takeTurn(UaMonitoredItem* item, bool start, OpcUa_UInt32 transactionId, OpcUa_UInt32 index);
    // A waiting start or stop whose turn has come.
    void runSampling(const SamplingOperation& operation, UaMonitoredItemData* item);
    // Start and stop of an item whose turn it is.
    void startItem(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                   UaMonitoredItem* item);
    void startEventMonitoring(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index,
                              OpcUa_UInt32 slot, EventManager* manager, UaMonitoredItemEvent* item);
    void stopItem(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index, UaMonitoredItem* item);
    void stopById(ManagerCalls& calls, OpcUa_UInt32 transactionId, OpcUa_UInt32 index, OpcUa_UInt32 id);
    // Stops every item on its managers; the answers remove them.
    void stopAllItems(UaSession* session);
    // The id that the trace after an answer shows, taken before it: the answer that ends the last
    // transaction may end the subscription with it.
    OpcUa_UInt32 tracedSubscriptionId();

    // Called with the mutex held; the new state is traced when it changes.
    void setState(OpcUa_UInt32 state);
    // Gets a request from the session, or goes LATE and queues itself there; the mutex is released.
    void publishOrGoLate(UaMutexLocker& lock, bool countKeepAlive);
    // Collects queued notifications under the mutex, at most m_maxNotificationsPerPublish.
    void collect(std::vector<OpcUa_MonitoredItemNotification>& data,
                 std::vector<OpcUa_EventFieldList>& events, bool& moreNotifications);
    void collectFrom(UaMonitoredItem* item, std::vector<OpcUa_MonitoredItemNotification>& data,
                     std::vector<OpcUa_EventFieldList>& events);
    bool anyNotificationsLeft();
    // The oldest records go beyond the queue's size.
    void trimRetransmissionQueue();
    void deleteAllItems();

    MonitoredItemOwner m_items;
    OpcUa_UInt32 m_state = NORMAL;
    bool m_isClosed = false;
    OpcUa_UInt32 m_subscriptionId = 0;
    UaSession* m_pSession = nullptr;
    NodeManager* m_pNodeManagerRoot = nullptr;
    bool m_publishingEnabled = true;
    OpcUa_UInt32 m_maxNotificationsPerPublish = 0;
    OpcUa_Byte m_priority = 0;
    OpcUa_Double m_publishingInterval = 0;
    // When the next publishing cycle is due, on the tick count.
    OpcUa_UInt32 m_nextCycleTick = 0;
    OpcUa_UInt32 m_maxKeepAliveCount = 1;
    OpcUa_UInt32 m_keepAliveCounter = 0;
    OpcUa_UInt32 m_lifetimeCounter = 0;
    OpcUa_UInt32 m_lifetimeKeepAlives = 3;
    std::vector<UaMonitoredItem*> m_monitoredItems;
    std::vector<OpcUa_UInt32> m_freeItemIds;
    OpcUa_UInt32 m_usedItems = 0;
    OpcUa_UInt32 m_nextSequenceNumber = 1;
    bool m_sendInitialValues = false;
    bool m_sendingInProgress = false;
    OpcUa_UInt32 m_maxDataQueueSize = 100;
    OpcUa_UInt32 m_maxMonitoredItemsPerServer = 0;
    OpcUa_UInt32 m_maxMonitoredItemsPerSubscription = 0;
    std::map<OpcUa_UInt32, Transaction*> m_transactions;
    // Transactions out of the table whose responses are still being sent.
    OpcUa_UInt32 m_completing = 0;
    std::condition_variable_any m_transactionsLeft;
    OpcUa_UInt32 m_lastTransactionId = 0;
    OpcUa_UInt32 m_maxRetransmissionQueueSize = 0;
    // A sent message kept for Republish; a response being sent borrows the data of its own.
    class KeptMessage
    {
    public:
        // Takes the message's data over.
        explicit KeptMessage(const OpcUa_NotificationMessage& message) : m_message(message) {}
        ~KeptMessage() { OpcUa_NotificationMessage_Clear(&m_message); }
        KeptMessage(const KeptMessage&) = delete;
        KeptMessage& operator=(const KeptMessage&) = delete;
        const OpcUa_NotificationMessage& message() const { return m_message; }

    private:
        OpcUa_NotificationMessage m_message;
    };
    // The sent messages, oldest first.
    std::deque<std::shared_ptr<const KeptMessage>> m_retransmissionQueue;
    // The data notifications of a cycle, gathered here first; the storage stays for the next.
    std::vector<OpcUa_MonitoredItemNotification> m_collected;
    UaThreadPool* m_pThreadPool = nullptr;

    static std::atomic<OpcUa_Int32> s_instances;
    static std::atomic<OpcUa_UInt32> s_serverItems;
};

#endif
