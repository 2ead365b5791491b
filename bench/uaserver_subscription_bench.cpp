// Data subscriptions through the whole server, the test server in a process of its own over
// loopback and None. First the steady state, for 10,000 and for 100,000 variables changing every
// 100 ms: an item per variable sampled at 100 ms, in as many sessions as the per-session item cap
// asks for, each publishing every 100 ms with four Publish requests always outstanding; over the
// measured time the server's CPU in cores, the share of the changes delivered, the latency from a
// value's source time to its receipt (median and 99th percentile, in publishing intervals) and the
// server's memory. Then a session at the item cap with queues of 100 that never publishes: how far
// the server's memory grows against the bound of its queues.
//
//   uaserver_subscription_bench [--seconds S] [--variables N] [--sampling-interval MS] [--queue-size N]
//                               [--hold-seconds S]
//
// With sampling and publishing at the interval of the changes, a change that falls on the other side
// of a sampling pass than the change before it shares an interval with it, and a queue of 1 keeps
// only the later one: --sampling-interval 0 and --queue-size 2 show how many notifications per
// change that costs.
#include "uaserver_wire.h"

#include "uatcp_process_counters.h"

#include <uasession.h>

#include <opcua.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace uaserver::wire;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr double kIntervalMs = 100.0;
constexpr int kOutstandingPublishes = 4;
constexpr OpcUa_Int32 kItemsPerCall = 1000;
// 100 ns ticks from 1601 to the Unix epoch.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

int64_t ticksOf(const OpcUa_DateTime& time)
{
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

int64_t nowTicks()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochTicks + std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
}

using Memory = uaservertest::ProcessMemory;

template <typename T> T* newMessage(OpcUa_EncodeableType& type)
{
    OpcUa_Void* object = nullptr;
    OpcUa_EncodeableObject_Create(&type, &object);
    return static_cast<T*>(object);
}

template <typename T> T* allocateArray(size_t n)
{
    auto* items = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n * sizeof(T))));
    std::memset(static_cast<void*>(items), 0, n * sizeof(T));
    return items;
}

// A request and the answer of one call of the session; both are freed with it.
class Call
{
public:
    Call(uatcp::test::SessionClient& session, OpcUa_Void* request, OpcUa_EncodeableType& requestType)
    {
        m_status = session.invoke(request, &requestType, &m_response, &m_responseType);
        OpcUa_EncodeableObject_Delete(&requestType, &request);
        if (OpcUa_IsGood(m_status) && m_response != nullptr)
            m_status = static_cast<OpcUa_ResponseHeader*>(m_response)->ServiceResult;
    }
    ~Call() { OpcUa_EncodeableObject_Delete(m_responseType, &m_response); }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    OpcUa_StatusCode status() const { return m_status; }
    template <typename T> const T* as(OpcUa_EncodeableType& type) const
    {
        return OpcUa_IsGood(m_status) && m_responseType == &type ? static_cast<const T*>(m_response)
                                                                 : nullptr;
    }

private:
    OpcUa_StatusCode m_status = OpcUa_BadInternalError;
    OpcUa_Void* m_response = nullptr;
    OpcUa_EncodeableType* m_responseType = nullptr;
};

// One session of the stack's client with a data subscription on it.
class SubscribingClient
{
public:
    bool open(const std::string& url)
    {
        return OpcUa_IsGood(m_session.connect(url)) && m_session.createSession() &&
               m_session.activateSession();
    }

    // The subscription's id, 0 when it was refused; the revised lifetime count through lifetime.
    OpcUa_UInt32 createSubscription(OpcUa_UInt32 keepAliveCount, OpcUa_UInt32& lifetimeCount)
    {
        auto* request =
            newMessage<OpcUa_CreateSubscriptionRequest>(OpcUa_CreateSubscriptionRequest_EncodeableType);
        request->RequestedPublishingInterval = kIntervalMs;
        request->RequestedMaxKeepAliveCount = keepAliveCount;
        request->RequestedLifetimeCount = lifetimeCount;
        request->PublishingEnabled = OpcUa_True;
        Call call(m_session, request, OpcUa_CreateSubscriptionRequest_EncodeableType);
        const auto* created =
            call.as<OpcUa_CreateSubscriptionResponse>(OpcUa_CreateSubscriptionResponse_EncodeableType);
        if (created == nullptr)
            return 0;
        lifetimeCount = created->RevisedLifetimeCount;
        return created->SubscriptionId;
    }

    // Reporting items on the Values of nodes, client handle = index into nodes, in calls of
    // kItemsPerCall; how many were made, and the status of the first refusal. The sampling interval
    // the server revised to is kept.
    size_t createItems(OpcUa_UInt32 subscriptionId, const std::vector<NodeNumber>& nodes,
                       OpcUa_Double sampling, OpcUa_UInt32 queueSize, OpcUa_StatusCode& refusal,
                       OpcUa_UInt32 firstHandle = 0)
    {
        size_t made = 0;
        refusal = OpcUa_Good;
        for (size_t begin = 0; begin < nodes.size(); begin += kItemsPerCall)
        {
            const size_t n = std::min<size_t>(kItemsPerCall, nodes.size() - begin);
            auto* request = newMessage<OpcUa_CreateMonitoredItemsRequest>(
                OpcUa_CreateMonitoredItemsRequest_EncodeableType);
            request->SubscriptionId = subscriptionId;
            request->TimestampsToReturn = OpcUa_TimestampsToReturn_Both;
            request->NoOfItemsToCreate = static_cast<OpcUa_Int32>(n);
            request->ItemsToCreate = allocateArray<OpcUa_MonitoredItemCreateRequest>(n);
            for (size_t i = 0; i < n; ++i)
            {
                OpcUa_MonitoredItemCreateRequest& item = request->ItemsToCreate[i];
                OpcUa_MonitoredItemCreateRequest_Initialize(&item);
                item.ItemToMonitor.NodeId.NamespaceIndex = nodes[begin + i].ns;
                item.ItemToMonitor.NodeId.Identifier.Numeric = nodes[begin + i].id;
                item.ItemToMonitor.AttributeId = 13;
                item.MonitoringMode = OpcUa_MonitoringMode_Reporting;
                item.RequestedParameters.ClientHandle = firstHandle + static_cast<OpcUa_UInt32>(begin + i);
                item.RequestedParameters.SamplingInterval = sampling;
                item.RequestedParameters.QueueSize = queueSize;
                item.RequestedParameters.DiscardOldest = OpcUa_True;
            }
            Call call(m_session, request, OpcUa_CreateMonitoredItemsRequest_EncodeableType);
            const auto* created = call.as<OpcUa_CreateMonitoredItemsResponse>(
                OpcUa_CreateMonitoredItemsResponse_EncodeableType);
            if (created == nullptr)
            {
                refusal = call.status();
                return made;
            }
            for (OpcUa_Int32 i = 0; i < created->NoOfResults; ++i)
            {
                if (OpcUa_IsGood(created->Results[i].StatusCode))
                {
                    ++made;
                    m_revisedSampling = created->Results[i].RevisedSamplingInterval;
                }
                else if (refusal == OpcUa_Good)
                    refusal = created->Results[i].StatusCode;
            }
        }
        return made;
    }

    // One Publish acknowledging the numbers of acks; each value received goes to take with its
    // client handle; the service result, and the sequence number of a message with data.
    OpcUa_StatusCode publish(OpcUa_UInt32 subscriptionId, const std::vector<OpcUa_UInt32>& acks,
                             OpcUa_UInt32& sequenceNumber,
                             const std::function<void(OpcUa_UInt32, const OpcUa_DataValue&)>& take)
    {
        auto* request = newMessage<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType);
        request->NoOfSubscriptionAcknowledgements = static_cast<OpcUa_Int32>(acks.size());
        request->SubscriptionAcknowledgements = allocateArray<OpcUa_SubscriptionAcknowledgement>(acks.size());
        for (size_t i = 0; i < acks.size(); ++i)
            request->SubscriptionAcknowledgements[i] = {subscriptionId, acks[i]};
        Call call(m_session, request, OpcUa_PublishRequest_EncodeableType);
        sequenceNumber = 0;
        const auto* response = call.as<OpcUa_PublishResponse>(OpcUa_PublishResponse_EncodeableType);
        if (response == nullptr)
            return OpcUa_IsGood(call.status()) ? OpcUa_BadUnexpectedError : call.status();
        const OpcUa_NotificationMessage& message = response->NotificationMessage;
        if (message.NoOfNotificationData > 0)
            sequenceNumber = message.SequenceNumber;
        for (OpcUa_Int32 n = 0; n < message.NoOfNotificationData; ++n)
        {
            const OpcUa_ExtensionObject& data = message.NotificationData[n];
            if (data.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
                data.Body.EncodeableObject.Type != &OpcUa_DataChangeNotification_EncodeableType)
                continue;
            const auto* change =
                static_cast<const OpcUa_DataChangeNotification*>(data.Body.EncodeableObject.Object);
            for (OpcUa_Int32 i = 0; i < change->NoOfMonitoredItems; ++i)
                take(change->MonitoredItems[i].ClientHandle, change->MonitoredItems[i].Value);
        }
        return OpcUa_Good;
    }

    void close()
    {
        auto* request = newMessage<OpcUa_CloseSessionRequest>(OpcUa_CloseSessionRequest_EncodeableType);
        request->DeleteSubscriptions = OpcUa_True;
        Call call(m_session, request, OpcUa_CloseSessionRequest_EncodeableType);
    }

    OpcUa_Double revisedSamplingInterval() const { return m_revisedSampling; }

private:
    uatcp::test::SessionClient m_session;
    OpcUa_Double m_revisedSampling = -1;
};

// What one publishing thread counts of the measured time; the threads' counts are joined at the end.
class Receipts
{
public:
    explicit Receipts(size_t items) : m_items(items) {}

    void take(OpcUa_UInt32 handle, const OpcUa_DataValue& value, int64_t receivedTicks)
    {
        if (handle >= m_items.size())
            return;
        Item& item = m_items[handle];
        const double number = value.Value.Datatype == OpcUaType_Double ? value.Value.Value.Double : 0.0;
        if (item.notifications++ == 0)
            item.lowest = item.highest = number;
        item.lowest = std::min(item.lowest, number);
        item.highest = std::max(item.highest, number);
        const int64_t latency = std::max<int64_t>(0, receivedTicks - ticksOf(value.SourceTimestamp));
        m_latenciesUs.push_back(static_cast<uint32_t>(std::min<int64_t>(latency / 10, UINT32_MAX)));
    }

    // Notifications and the changes they stand for: a value counts the changes of its variable, so
    // an item saw highest - lowest changes after its first notification.
    static void totals(const std::vector<Receipts>& parts, long& notifications, long& changes,
                       std::vector<uint32_t>& latenciesUs)
    {
        notifications = 0;
        changes = 0;
        for (size_t i = 0; !parts.empty() && i < parts[0].m_items.size(); ++i)
        {
            Item joined;
            for (const Receipts& part : parts)
            {
                const Item& item = part.m_items[i];
                if (item.notifications == 0)
                    continue;
                joined.lowest =
                    joined.notifications == 0 ? item.lowest : std::min(joined.lowest, item.lowest);
                joined.highest =
                    joined.notifications == 0 ? item.highest : std::max(joined.highest, item.highest);
                joined.notifications += item.notifications;
            }
            if (joined.notifications > 0)
            {
                notifications += joined.notifications - 1;
                changes += static_cast<long>(joined.highest - joined.lowest);
            }
        }
        for (const Receipts& part : parts)
            latenciesUs.insert(latenciesUs.end(), part.m_latenciesUs.begin(), part.m_latenciesUs.end());
    }

private:
    struct Item
    {
        long notifications = 0;
        double lowest = 0;
        double highest = 0;
    };
    std::vector<Item> m_items;
    std::vector<uint32_t> m_latenciesUs;
};

double percentileIntervals(std::vector<uint32_t>& latenciesUs, double fraction)
{
    if (latenciesUs.empty())
        return 0;
    const size_t k = std::min(latenciesUs.size() - 1, static_cast<size_t>(fraction * latenciesUs.size()));
    std::nth_element(latenciesUs.begin(), latenciesUs.begin() + static_cast<long>(k), latenciesUs.end());
    return latenciesUs[k] / 1000.0 / kIntervalMs;
}

bool waitFor(const std::function<bool()>& condition, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!condition())
    {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> serverOptions(size_t variables)
{
    // The server's own ceiling on monitored items is below the largest row: the row sets its own.
    return {"--variables", std::to_string(variables), "--change-interval", std::to_string(int(kIntervalMs)),
            "--max-monitored-items", std::to_string(variables)};
}

// One session with its subscription, items on a slice of the variables (client handle = index in
// the slice) and four Publish requests always out, each on a thread of its own.
class PublishingSession
{
public:
    PublishingSession(size_t items) : m_receipts(kOutstandingPublishes, Receipts(items)) {}

    // False (and why on stderr) when the session or its items could not be made.
    bool open(const std::string& url, const std::vector<NodeNumber>& nodes, double sampling,
              OpcUa_UInt32 queueSize)
    {
        if (!m_client.open(url))
        {
            std::fprintf(stderr, "no session\n");
            return false;
        }
        OpcUa_UInt32 lifetime = 100;
        m_subscription = m_client.createSubscription(10, lifetime);
        OpcUa_StatusCode refusal = OpcUa_Good;
        const size_t items = m_client.createItems(m_subscription, nodes, sampling, queueSize, refusal);
        if (m_subscription == 0 || items != nodes.size())
        {
            std::fprintf(stderr, "%zu of %zu items made (0x%08X)\n", items, nodes.size(), refusal);
            return false;
        }
        return true;
    }

    void start()
    {
        for (int t = 0; t < kOutstandingPublishes; ++t)
            m_publishers.emplace_back([this, t] { publishLoop(t); });
    }

    // Ends the publishing and the session.
    void stop()
    {
        m_stop = true;
        for (std::thread& publisher : m_publishers)
            publisher.join();
        m_publishers.clear();
        m_client.close();
    }

    std::atomic<bool> measuring{false};
    std::atomic<long> received{0};
    std::atomic<long> failures{0};
    const std::vector<Receipts>& receipts() const { return m_receipts; }
    OpcUa_Double revisedSamplingInterval() const { return m_client.revisedSamplingInterval(); }

private:
    void publishLoop(int t)
    {
        while (!m_stop)
        {
            std::vector<OpcUa_UInt32> acks;
            {
                std::lock_guard lock(m_ackMutex);
                acks.swap(m_pendingAcks);
            }
            int64_t receivedTicks = 0;
            OpcUa_UInt32 sequence = 0;
            long values = 0;
            bool inWindow = false;
            const OpcUa_StatusCode status =
                m_client.publish(m_subscription, acks, sequence,
                                 [&](OpcUa_UInt32 handle, const OpcUa_DataValue& value)
                                 {
                                     // A message counts when it arrives in the measured time.
                                     if (values++ == 0)
                                     {
                                         receivedTicks = nowTicks();
                                         inWindow = measuring;
                                     }
                                     if (inWindow)
                                         m_receipts[t].take(handle, value, receivedTicks);
                                 });
            received += values;
            if (OpcUa_IsBad(status))
            {
                ++failures;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (sequence != 0)
            {
                std::lock_guard lock(m_ackMutex);
                m_pendingAcks.push_back(sequence);
            }
        }
    }

    SubscribingClient m_client;
    OpcUa_UInt32 m_subscription = 0;
    std::vector<Receipts> m_receipts;
    std::atomic<bool> m_stop{false};
    std::mutex m_ackMutex;
    std::vector<OpcUa_UInt32> m_pendingAcks;
    std::vector<std::thread> m_publishers;
};

// The steady state of an item per variable, in as many sessions as the per-session item cap asks
// for, each with four Publish requests out.
int steadyState(size_t variables, double sampling, OpcUa_UInt32 queueSize, double seconds)
{
    TestServerProcess server(serverOptions(variables));
    if (server.url().empty())
    {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const std::vector<NodeNumber> nodes = benchmarkVariables(variables);
    const size_t perSession = UaSession::kMaxMonitoredItems;
    std::vector<std::unique_ptr<PublishingSession>> sessions;
    for (size_t first = 0; first < variables; first += perSession)
    {
        const size_t count = std::min(perSession, variables - first);
        sessions.push_back(std::make_unique<PublishingSession>(count));
        if (!sessions.back()->open(server.url(),
                                   std::vector<NodeNumber>(nodes.begin() + static_cast<long>(first),
                                                           nodes.begin() + static_cast<long>(first + count)),
                                   sampling, queueSize))
            return 1;
    }
    for (auto& session : sessions)
        session->start();
    auto receivedAll = [&]
    {
        long total = 0;
        for (auto& session : sessions)
            total += session->received;
        return total;
    };
    auto failuresAll = [&]
    {
        long total = 0;
        for (auto& session : sessions)
            total += session->failures;
        return total;
    };

    // The first values of all items, then a few cycles to settle, before measuring.
    const bool settled = waitFor([&] { return receivedAll() >= static_cast<long>(variables); }, 120);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const uatcp::bench::ProcessCounters cpuBefore = uatcp::bench::ProcessCounters::of(server.pid());
    const Memory memoryBefore = Memory::of(server.pid());
    const long failuresBefore = failuresAll();
    const auto start = Clock::now();
    for (auto& session : sessions)
        session->measuring = true;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (auto& session : sessions)
        session->measuring = false;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const uatcp::bench::ProcessCounters cpuAfter = uatcp::bench::ProcessCounters::of(server.pid());
    const Memory memoryAfter = Memory::of(server.pid());
    const long failed = failuresAll() - failuresBefore;
    for (auto& session : sessions)
        session->stop();

    std::vector<uint32_t> all;
    long notifications = 0, changes = 0;
    for (auto& session : sessions)
    {
        long sessionNotifications = 0, sessionChanges = 0;
        Receipts::totals(session->receipts(), sessionNotifications, sessionChanges, all);
        notifications += sessionNotifications;
        changes += sessionChanges;
    }
    const double cores = static_cast<double>(cpuAfter.cpuNs - cpuBefore.cpuNs) / 1e9 / elapsed;
    const double goal = variables <= 10000 ? 0.1 : 1.0;
    std::printf(
        "steady state: %zu variables changing every %.0f ms, %zu items in %zu sessions sampled at %.0f ms "
        "(revised %.0f) with queues of %u, publishing %.0f ms, %d Publish requests out each, %.1f s%s\n",
        variables, kIntervalMs, variables, sessions.size(), sampling, sessions[0]->revisedSamplingInterval(),
        queueSize, kIntervalMs, kOutstandingPublishes, elapsed,
        settled ? "" : " (the first values came late)");
    std::printf("  server CPU            %.3f cores (goal %s %.1f)\n", cores,
                variables <= 10000 ? "at most" : "under", goal);
    std::printf(
        "  changes delivered     %.3f (goal at least 0.99): %ld notifications (%.0f/s) for %ld changes\n",
        changes > 0 ? static_cast<double>(notifications) / changes : 0.0, notifications,
        notifications / elapsed, changes);
    std::printf(
        "  latency               median %.2f, 99th percentile %.2f publishing intervals (%zu values)\n",
        percentileIntervals(all, 0.5), percentileIntervals(all, 0.99), all.size());
    std::printf(
        "  server memory         %.1f MiB resident at the start, %.1f MiB at the end, peak %.1f MiB\n",
        memoryBefore.residentKb / 1024.0, memoryAfter.residentKb / 1024.0, memoryAfter.peakKb / 1024.0);
    std::printf("  failed Publish calls  %ld\n", failed);
    return failed == 0 && notifications > 0 ? 0 : 1;
}

// A session at the item cap with queues of 100 that sends no Publish: the server's memory over time
// against what the queues may hold.
int itemCapHold(double seconds)
{
    const OpcUa_UInt32 cap = UaSession::kMaxMonitoredItems;
    constexpr OpcUa_UInt32 kQueueSize = 100;
    TestServerProcess server(serverOptions(cap));
    SubscribingClient client;
    if (server.url().empty() || !client.open(server.url()))
    {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const Memory idle = Memory::of(server.pid());
    // Long enough a lifetime that the unpublished subscription outlives the hold.
    OpcUa_UInt32 lifetime = static_cast<OpcUa_UInt32>(seconds * 1000 / kIntervalMs * 3);
    const OpcUa_UInt32 subscription = client.createSubscription(10, lifetime);
    OpcUa_StatusCode refusal = OpcUa_Good;
    const size_t items =
        client.createItems(subscription, benchmarkVariables(cap), kIntervalMs, kQueueSize, refusal);
    OpcUa_StatusCode beyond = OpcUa_Good;
    client.createItems(subscription, benchmarkVariables(1), kIntervalMs, kQueueSize, beyond, cap);
    if (subscription == 0 || items != cap)
    {
        std::fprintf(stderr, "%zu of %u items made (0x%08X)\n", items, cap, refusal);
        return 1;
    }
    if (lifetime * kIntervalMs / 1000 < seconds)
        std::fprintf(stderr, "the revised lifetime (%u) ends before the hold\n", lifetime);

    const Memory start = Memory::of(server.pid());
    std::printf(
        "item cap hold: %u items on %u variables changing every %.0f ms, queues of %u, no Publish for "
        "%.0f s; item %u: 0x%08X\n",
        cap, cap, kIntervalMs, kQueueSize, seconds, cap + 1, beyond);
    std::printf("  server memory         %.1f MiB before the session, %.1f MiB with its items\n",
                idle.residentKb / 1024.0, start.residentKb / 1024.0);
    const auto begin = Clock::now();
    Memory last = start;
    for (int step = 1; step * 5.0 <= seconds + 1e-9; ++step)
    {
        std::this_thread::sleep_until(begin + std::chrono::duration<double>(step * 5.0));
        last = Memory::of(server.pid());
        std::printf("  after %3d s           %.1f MiB (+%.1f MiB)\n", step * 5, last.residentKb / 1024.0,
                    (last.residentKb - start.residentKb) / 1024.0);
    }
    // Every queued value is a DataValue of its own with a slot in its item's ring.
    const double boundMiB =
        static_cast<double>(cap) * kQueueSize * (sizeof(OpcUa_DataValue) + sizeof(void*) + 16) / 1024 / 1024;
    std::printf(
        "  growth                %.1f MiB against a bound of %.1f MiB (%u items x %u values of %zu bytes "
        "with slot and heap header); peak %.1f MiB\n",
        (last.residentKb - start.residentKb) / 1024.0, boundMiB, cap, kQueueSize, sizeof(OpcUa_DataValue),
        last.peakKb / 1024.0);
    client.close();
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    double seconds = 30.0;
    double holdSeconds = 30.0;
    size_t variables = 0;
    double sampling = kIntervalMs;
    OpcUa_UInt32 queueSize = 1;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--hold-seconds") == 0)
            holdSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--variables") == 0)
            variables = std::strtoul(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--sampling-interval") == 0)
            sampling = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--queue-size") == 0)
            queueSize = static_cast<OpcUa_UInt32>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    int steady = 0;
    for (size_t count : variables > 0 ? std::vector<size_t>{variables} : std::vector<size_t>{10000, 100000})
        if (seconds > 0 && steadyState(count, sampling, queueSize, seconds) != 0)
            steady = 1;
    const int hold = holdSeconds > 0 ? itemCapHold(holdSeconds) : 0;
    return steady != 0 ? steady : hold;
}
