// Doubles of the transaction manager tests: I/O, method and history managers that answer each item
// the way a test says (inside the begin call, from a thread of their own before, during or after
// finishTransaction, refused, or held until the test lets it go), recording what they were asked in
// one shared event log, and the ConditionRefresh target.
#pragma once

#include "conditionrefreshhandler.h"
#include "runtime_fakes.h"

#include <historymanager.h>
#include <historyreadcontinuationpoint.h>
#include <iomanager.h>
#include <methodmanager.h>
#include <variablehandle.h>

#include <uadatavalue.h>

#include <test_waits.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace runtimetest
{

// What every fake was asked, in order, as "<name> <what>" lines.
class EventLog
{
public:
    void add(const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// How a fake answers one item.
enum class Answer
{
    Inline,        // inside the begin call, not sending there
    InlineSendNow, // inside the begin call, asking to send there
    BeforeFinish,  // from a thread of its own, delivered before the begin call returns
    DuringFinish,  // from a thread of its own, delivered while finishTransaction runs
    AfterFinish,   // from a thread of its own, after finishTransaction has returned
    Refuse,        // the begin call answers the refusal status
    Hold,          // kept until the test lets it go
};

// Threads a fake answers from; all joined when it goes.
class AnswerThreads
{
public:
    ~AnswerThreads() { join(); }
    template <typename Deliver> void start(Deliver deliver)
    {
        std::lock_guard lock(m_mutex);
        m_threads.emplace_back(deliver);
    }
    template <typename Deliver> void runAndWait(Deliver deliver) { std::thread(deliver).join(); }
    void join()
    {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(m_mutex);
            threads.swap(m_threads);
        }
        for (std::thread& thread : threads)
            thread.join();
    }

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

// The transactions a fake manager was begun with, kept until it goes.
template <typename Transaction> class TransactionRecorder
{
public:
    // Copies, in the order they were begun.
    std::vector<Transaction> transactions() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Transaction> copy;
        for (const auto& transaction : m_transactions)
            copy.push_back(*transaction);
        return copy;
    }

protected:
    // Keeps transaction; its address is the manager's context.
    Transaction* record(Transaction transaction)
    {
        std::lock_guard lock(m_mutex);
        m_transactions.push_back(std::make_unique<Transaction>(std::move(transaction)));
        return m_transactions.back().get();
    }

    mutable std::mutex m_mutex;

private:
    std::vector<std::unique_ptr<Transaction>> m_transactions;
};

// The node numbers of the tests are numeric NodeIds; a read answers the number as its value.
inline OpcUa_UInt32 numberOf(const OpcUa_NodeId& nodeId)
{
    return nodeId.IdentifierType == OpcUa_IdentifierType_Numeric ? nodeId.Identifier.Numeric : 0;
}

struct IoItem
{
    OpcUa_UInt32 callbackHandle;
    OpcUa_UInt32 node;
    OpcUa_Int32 attributeId;
    VariableHandle* handle; // as given; not held
};
struct IoTransaction
{
    IOManagerCallback* callback;
    OpcUa_UInt32 id;
    OpcUa_UInt32 countHint;
    OpcUa_Double maxAge;
    OpcUa_TimestampsToReturn timestampsToReturn;
    OpcUa_UInt32 type;
    std::vector<IoItem> items;
    std::vector<IoItem> duringFinish;
    std::vector<IoItem> afterFinish;
    int finishCalls = 0;
    // Monitoring answers, delivered from a thread of the manager's own after finishTransaction.
    std::vector<std::function<void()>> monitoringAnswers;
};

class FakeIOManager : public IOManager, public TransactionRecorder<IoTransaction>
{
public:
    using Item = IoItem;
    using Transaction = IoTransaction;

    FakeIOManager(std::string name, EventLog& log) : m_name(std::move(name)), m_log(log) {}
    ~FakeIOManager() override { threads.join(); }

    // Per node number; Inline when none is given.
    std::map<OpcUa_UInt32, Answer> answers;
    OpcUa_StatusCode refusal = OpcUa_BadNotReadable;
    AnswerThreads threads;

    // Answers the held items now, from this thread; the callback's answers in order.
    std::vector<OpcUa_StatusCode> answerHeld(bool sendNow = true)
    {
        std::vector<std::pair<Transaction*, Item>> held;
        {
            std::lock_guard lock(m_mutex);
            held.swap(m_held);
        }
        std::vector<OpcUa_StatusCode> results;
        for (auto& [transaction, item] : held)
            results.push_back(deliver(*transaction, item, sendNow));
        return results;
    }
    // Keeps the held items for a further answerHeld.
    void holdAgain(const std::vector<std::pair<Transaction*, Item>>& held)
    {
        std::lock_guard lock(m_mutex);
        m_held = held;
    }
    std::vector<std::pair<Transaction*, Item>> held() const
    {
        std::lock_guard lock(m_mutex);
        return m_held;
    }

    UaStatus beginTransaction(IOManagerCallback* callback, const ServiceContext&, OpcUa_UInt32 id,
                              OpcUa_UInt32 countHint, OpcUa_Double maxAge,
                              OpcUa_TimestampsToReturn timestampsToReturn, OpcUa_UInt32 type,
                              OpcUa_Handle& context) override
    {
        m_log.add(m_name + " begin");
        context =
            record(Transaction{callback, id, countHint, maxAge, timestampsToReturn, type, {}, {}, {}, 0, {}});
        return OpcUa_Good;
    }
    UaStatus beginRead(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, VariableHandle* handle,
                       OpcUa_ReadValueId* item) override
    {
        return beginItem(context, {callbackHandle, numberOf(item->NodeId),
                                   static_cast<OpcUa_Int32>(item->AttributeId), handle});
    }
    UaStatus beginWrite(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, VariableHandle* handle,
                        OpcUa_WriteValue* item) override
    {
        return beginItem(context, {callbackHandle, numberOf(item->NodeId),
                                   static_cast<OpcUa_Int32>(item->AttributeId), handle});
    }
    UaStatus finishTransaction(OpcUa_Handle context) override
    {
        auto* transaction = static_cast<Transaction*>(context);
        m_log.add(m_name + " finish");
        std::vector<Item> during;
        std::vector<Item> after;
        {
            std::lock_guard lock(m_mutex);
            ++transaction->finishCalls;
            during = transaction->duringFinish;
            after = transaction->afterFinish;
        }
        if (!during.empty())
            threads.runAndWait(
                [this, transaction, during]
                {
                    for (const Item& item : during)
                        deliver(*transaction, item, true);
                });
        if (!after.empty())
            threads.start(
                [this, transaction, after]
                {
                    for (const Item& item : after)
                        deliver(*transaction, item, true);
                });
        std::vector<std::function<void()>> monitoringAnswers;
        {
            std::lock_guard lock(m_mutex);
            monitoringAnswers.swap(transaction->monitoringAnswers);
        }
        if (!monitoringAnswers.empty())
            threads.start(
                [monitoringAnswers]
                {
                    for (const auto& answer : monitoringAnswers)
                        answer();
                });
        return OpcUa_Good;
    }

    // Monitoring: starts, modifies and stops are answered from a thread of the manager's own after
    // finishTransaction (refused with monitoringRefusal when that is bad); started items take
    // values through feed until they are stopped. The revised interval is the asked one.
    OpcUa_StatusCode monitoringRefusal = OpcUa_Good;
    std::atomic<int> starts{0};
    std::atomic<int> modifies{0};
    std::atomic<int> stops{0};

    // Hands value to every started item; the number of items fed.
    int feed(const UaDataValue& value)
    {
        std::lock_guard lock(m_monitoringMutex);
        for (auto& [handle, callback] : m_monitored)
        {
            UaDataValue copy = value;
            callback->dataChange(copy);
        }
        return static_cast<int>(m_monitored.size());
    }
    size_t monitoredCount() const
    {
        std::lock_guard lock(m_monitoringMutex);
        return m_monitored.size();
    }

    UaStatus beginStartMonitoring(OpcUa_Handle context, OpcUa_UInt32 callbackHandle,
                                  IOVariableCallback* callback, VariableHandle*,
                                  MonitoringContext& monitoring) override
    {
        if (OpcUa_IsBad(monitoringRefusal))
            return monitoringRefusal;
        ++starts;
        const OpcUa_Double interval = monitoring.samplingInterval;
        queueMonitoringAnswer(context,
                              [this, callbackHandle, callback, interval](Transaction& transaction)
                              {
                                  OpcUa_UInt32 handle;
                                  {
                                      std::lock_guard lock(m_monitoringMutex);
                                      handle = ++m_lastHandle;
                                      m_monitored[handle] = callback;
                                  }
                                  UaDataValue none;
                                  transaction.callback->finishStartMonitoring(transaction.id, callbackHandle,
                                                                              handle, interval, false, none,
                                                                              OpcUa_Good);
                              });
        return OpcUa_Good;
    }
    UaStatus beginModifyMonitoring(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, OpcUa_UInt32,
                                   MonitoringContext& monitoring) override
    {
        if (OpcUa_IsBad(monitoringRefusal))
            return monitoringRefusal;
        ++modifies;
        const OpcUa_Double interval = monitoring.samplingInterval;
        queueMonitoringAnswer(context,
                              [callbackHandle, interval](Transaction& transaction) {
                                  transaction.callback->finishModifyMonitoring(transaction.id, callbackHandle,
                                                                               interval, OpcUa_Good);
                              });
        return OpcUa_Good;
    }
    UaStatus beginStopMonitoring(OpcUa_Handle context, OpcUa_UInt32 callbackHandle,
                                 OpcUa_UInt32 handle) override
    {
        if (OpcUa_IsBad(monitoringRefusal))
            return monitoringRefusal;
        ++stops;
        // A stopped item gets no more values, even before the answer.
        {
            std::lock_guard lock(m_monitoringMutex);
            m_monitored.erase(handle);
        }
        queueMonitoringAnswer(context,
                              [callbackHandle](Transaction& transaction)
                              {
                                  UaStatus stopped(OpcUa_Good);
                                  transaction.callback->finishStopMonitoring(transaction.id, callbackHandle,
                                                                             stopped);
                              });
        return OpcUa_Good;
    }
    UaStatus startUpSampling(ServerManager*) override { return OpcUa_Good; }
    UaStatus readValues(const UaVariableArray&, UaDataValueArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus writeValues(const UaVariableArray&, const UaDataValueArray&, UaStatusCodeArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    bool beforeSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&, bool&) override
    {
        return true;
    }
    void afterSetAttributeValue(Session*, UaNode*, OpcUa_Int32, const UaDataValue&) override {}
    void afterGetAttributeValue(Session*, UaNode*, OpcUa_Int32, UaDataValue&) override {}
    UaStatus beforeMonitorAttributeValue(Session*, UaNode*, OpcUa_Int32, bool&) override
    {
        return OpcUa_Good;
    }
    void variableCacheMonitoringChanged(UaNode*, OpcUa_UInt32) override {}

private:
    void queueMonitoringAnswer(OpcUa_Handle context, std::function<void(Transaction&)> answer)
    {
        auto* transaction = static_cast<Transaction*>(context);
        std::lock_guard lock(m_mutex);
        transaction->monitoringAnswers.push_back([transaction, answer] { answer(*transaction); });
    }

    UaStatus beginItem(OpcUa_Handle context, const Item& item)
    {
        auto* transaction = static_cast<Transaction*>(context);
        m_log.add(m_name + " item " + std::to_string(item.callbackHandle));
        const auto found = answers.find(item.node);
        const Answer answer = found != answers.end() ? found->second : Answer::Inline;
        {
            std::lock_guard lock(m_mutex);
            transaction->items.push_back(item);
            switch (answer)
            {
            case Answer::Refuse:
                return refusal;
            case Answer::Hold:
                m_held.emplace_back(transaction, item);
                return OpcUa_Good;
            case Answer::DuringFinish:
                transaction->duringFinish.push_back(item);
                return OpcUa_Good;
            case Answer::AfterFinish:
                transaction->afterFinish.push_back(item);
                return OpcUa_Good;
            default:
                break;
            }
        }
        if (answer == Answer::BeforeFinish)
            threads.runAndWait([this, transaction, item] { deliver(*transaction, item, true); });
        else
            deliver(*transaction, item, answer == Answer::InlineSendNow);
        return OpcUa_Good;
    }

    OpcUa_StatusCode deliver(Transaction& transaction, const Item& item, bool sendNow)
    {
        if (transaction.type == IOTransactionType::Write)
        {
            UaStatus written(OpcUa_Good);
            return transaction.callback->finishWrite(transaction.id, item.callbackHandle, written, sendNow)
                .statusCode();
        }
        UaDataValue value;
        UaVariant number;
        number.setUInt32(item.node);
        value.setValue(number, false, false);
        return transaction.callback
            ->finishRead(transaction.id, item.callbackHandle, value, true, sendNow, nullptr)
            .statusCode();
    }

    std::string m_name;
    EventLog& m_log;
    std::vector<std::pair<Transaction*, Item>> m_held;
    mutable std::mutex m_monitoringMutex;
    std::map<OpcUa_UInt32, IOVariableCallback*> m_monitored;
    OpcUa_UInt32 m_lastHandle = 0;
};

// A method manager whose calls answer with one output, the number of input arguments, and one
// Good result per input argument.
class FakeMethodManager : public MethodManager
{
public:
    explicit FakeMethodManager(EventLog& log) : m_log(log) {}
    ~FakeMethodManager() override { threads.join(); }

    Answer answer = Answer::Inline; // Inline, AfterFinish (from its own thread) or Refuse
    OpcUa_StatusCode refusal = OpcUa_BadUserAccessDenied;
    // When set, the answering thread waits until it opens.
    uaserver::testing::Gate* gate = nullptr;
    AnswerThreads threads;

    UaStatus beginCall(MethodCallCallback* callback, const ServiceContext&, OpcUa_UInt32 callbackHandle,
                       MethodHandle*, const UaVariantArray& inputArguments) override
    {
        m_log.add("method call " + std::to_string(callbackHandle));
        if (answer == Answer::Refuse)
            return refusal;
        const OpcUa_UInt32 inputs = inputArguments.length();
        const auto deliver = [callback, callbackHandle, inputs]
        {
            UaStatusCodeArray results;
            results.create(inputs);
            UaDiagnosticInfos diagnostics;
            UaVariantArray outputs;
            outputs.create(1);
            outputs[0].Datatype = OpcUaType_UInt32;
            outputs[0].Value.UInt32 = inputs;
            UaStatus status(OpcUa_Good);
            callback->callFinished(callbackHandle, results, diagnostics, outputs, status);
        };
        if (answer == Answer::AfterFinish)
            threads.start(
                [deliver, gate = gate]
                {
                    if (gate != nullptr)
                    {
                        EXPECT_TRUE(gate->pass());
                    }
                    deliver();
                });
        else
            deliver();
        return OpcUa_Good;
    }

private:
    EventLog& m_log;
};

// A history manager that answers every item inside its begin call: a read with one value, the node's
// number, and a new continuation point; an update with one Good operation result.
struct HistoryTransaction
{
    HistoryManagerCallback* callback;
    OpcUa_UInt32 id;
    OpcUa_UInt32 operation;
    const OpcUa_Void* details;
    std::vector<OpcUa_UInt32> items;
    std::vector<OpcUa_UInt32> itemOperations;
    std::vector<HistoryReadContinuationPoint*> continuedFrom;
    int finishCalls = 0;
};

class FakeHistoryManager : public HistoryManager, public TransactionRecorder<HistoryTransaction>
{
public:
    using Transaction = HistoryTransaction;

    FakeHistoryManager(std::string name, EventLog& log) : m_name(std::move(name)), m_log(log) {}

    bool giveContinuationPoints = false;

    UaStatus beginHistoryTransaction(HistoryManagerCallback* callback, const ServiceContext&, OpcUa_UInt32 id,
                                     OpcUa_UInt32, OpcUa_UInt32 operation, OpcUa_TimestampsToReturn,
                                     const OpcUa_Void* details, OpcUa_Handle& context) override
    {
        m_log.add(m_name + " begin");
        context = record(Transaction{callback, id, operation, details, {}, {}, {}, 0});
        return OpcUa_Good;
    }
    UaStatus beginHistoryRead(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, UaNodeHandle*,
                              const OpcUa_HistoryReadValueId* item,
                              HistoryReadContinuationPoint* continuationPoint) override
    {
        auto* transaction = static_cast<Transaction*>(context);
        m_log.add(m_name + " item " + std::to_string(callbackHandle));
        {
            std::lock_guard lock(m_mutex);
            transaction->items.push_back(callbackHandle);
            transaction->continuedFrom.push_back(continuationPoint);
        }
        delete continuationPoint; // where it stopped is all it tells
        UaDataValueArray values;
        values.create(1);
        values[0].Value.Datatype = OpcUaType_UInt32;
        values[0].Value.Value.UInt32 = numberOf(item->NodeId);
        auto* next = giveContinuationPoints ? new HistoryReadContinuationPoint : nullptr;
        const UaStatus good(OpcUa_Good);
        if (transaction->operation == HistoryOperation::ReadEvents)
        {
            UaHistoryEventFieldListArray events;
            events.create(1);
            transaction->callback->finishHistoryReadEvent(transaction->id, callbackHandle, good, next, events,
                                                          false);
        }
        else if (transaction->operation == HistoryOperation::ReadModified)
            transaction->callback->finishHistoryReadModifiedData(transaction->id, callbackHandle, good, next,
                                                                 values, false);
        else
            transaction->callback->finishHistoryReadData(transaction->id, callbackHandle, good, next, values,
                                                         false);
        return OpcUa_Good;
    }
    UaStatus beginHistoryUpdate(OpcUa_Handle context, OpcUa_UInt32 callbackHandle, UaNodeHandle*,
                                OpcUa_UInt32 operation, const OpcUa_Void*) override
    {
        auto* transaction = static_cast<Transaction*>(context);
        m_log.add(m_name + " update " + std::to_string(callbackHandle));
        {
            std::lock_guard lock(m_mutex);
            transaction->items.push_back(callbackHandle);
            transaction->itemOperations.push_back(operation);
        }
        UaStatusCodeArray results;
        results.create(1);
        UaDiagnosticInfos diagnostics;
        transaction->callback->finishHistoryUpdate(transaction->id, callbackHandle, UaStatus(OpcUa_Good),
                                                   results, diagnostics, false);
        return OpcUa_Good;
    }
    UaStatus finishHistoryTransaction(OpcUa_Handle context) override
    {
        m_log.add(m_name + " finish");
        std::lock_guard lock(m_mutex);
        ++static_cast<Transaction*>(context)->finishCalls;
        return OpcUa_Good;
    }

private:
    std::string m_name;
    EventLog& m_log;
};

// The subscription manager as ConditionRefresh reaches it.
class RecordingConditionRefresh : public ConditionRefreshHandler
{
public:
    UaStatus beginConditionRefresh(const ServiceContext& serviceContext, OpcUa_UInt32 subscriptionId) override
    {
        std::lock_guard lock(m_mutex);
        calls.emplace_back(serviceContext.pSession(), subscriptionId);
        return result;
    }

    OpcUa_StatusCode result = OpcUa_Good;
    std::vector<std::pair<Session*, OpcUa_UInt32>> calls;

private:
    std::mutex m_mutex;
};

} // namespace runtimetest
