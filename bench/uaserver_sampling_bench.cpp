// Monitoring load of one UaNode I/O manager: 10,000 cached variables whose values change every
// 100 ms, watched by items at 100 ms, and 10,000 device variables read in their rate group's batch
// every 100 ms. For a run of 10 s (or the seconds given as first argument) it prints the process's
// CPU time over the wall time, the same without the thread that changes the cached values, and for
// each kind the samples delivered against those due (items x intervals).
#include "iomanageruanode.h"
#include "servicecontext.h"
#include "uadatavariabledevice.h"
#include "uavariablecache.h"
#include "variablehandle.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

namespace
{
constexpr OpcUa_UInt32 g_itemCount = 10000;
constexpr OpcUa_Double g_interval = 100.0;

// Counts what reaches the items; one per item, as a monitored item would be.
class CountingItem : public IOVariableCallback
{
public:
    explicit CountingItem(std::atomic<std::uint64_t>& delivered) : m_delivered(delivered) {}
    void dataChange(UaDataValue& dataValue) override
    {
        m_last = dataValue;
        m_delivered.fetch_add(1, std::memory_order_relaxed);
    }
    UaDataValue lastValue() const override { return m_last; }

private:
    std::atomic<std::uint64_t>& m_delivered;
    UaDataValue m_last;
};

// The device answers every batch at once with one value per variable.
class BenchIOManager : public IOManagerUaNode
{
public:
    ~BenchIOManager() override { stopSampling(); }
    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override
    {
        values.create(variables.length());
        const OpcUa_DateTime now = UaDateTime::now();
        for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
        {
            values[i].Value.Datatype = OpcUaType_Double;
            values[i].Value.Value.Double = static_cast<OpcUa_Double>(m_round);
            values[i].SourceTimestamp = now;
        }
        ++m_round;
        return OpcUa_Good;
    }

private:
    std::atomic<std::uint64_t> m_round{0};
};

double seconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class NullCallback : public IOManagerCallback
{
public:
    UaStatus finishRead(OpcUa_UInt32, OpcUa_UInt32, UaDataValue&, bool, bool, UaDiagnosticInfo*) override
    {
        return OpcUa_Good;
    }
    UaStatus finishWrite(OpcUa_UInt32, OpcUa_UInt32, UaStatus&, bool) override { return OpcUa_Good; }
    UaStatus finishStartMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_UInt32 itemHandle, OpcUa_Double, bool,
                                   UaDataValue&, const UaStatus& status) override
    {
        if (status.isGood() && itemHandle != 0)
            ++started;
        return OpcUa_Good;
    }
    UaStatus finishModifyMonitoring(OpcUa_UInt32, OpcUa_UInt32, OpcUa_Double, const UaStatus&) override
    {
        return OpcUa_Good;
    }
    UaStatus finishStopMonitoring(OpcUa_UInt32, OpcUa_UInt32, UaStatus&) override { return OpcUa_Good; }
    std::atomic<OpcUa_UInt32> started{0};
};
} // namespace

int main(int argc, char** argv)
{
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    // The items outlive the I/O manager, whose engines call them until they end.
    std::atomic<std::uint64_t> cachedDelivered{0};
    std::atomic<std::uint64_t> deviceDelivered{0};
    std::vector<std::unique_ptr<CountingItem>> items;
    BenchIOManager ioManager;
    std::vector<UaVariableCache*> cached;
    std::vector<UaVariable*> devices;
    std::vector<VariableHandle*> handles;
    for (OpcUa_UInt32 i = 0; i < g_itemCount; ++i)
    {
        auto* variable = new UaDataVariableCache("Cached", UaNodeId(i + 1, 2), UaVariant(0.0), 3, "en");
        cached.push_back(variable);
        VariableHandle* handle = variable->getVariableHandle();
        handle->setIOManager(&ioManager);
        handles.push_back(handle);
        items.push_back(std::make_unique<CountingItem>(cachedDelivered));
    }
    for (OpcUa_UInt32 i = 0; i < g_itemCount; ++i)
    {
        auto* variable = new UaDataVariableDevice("Device", UaNodeId(g_itemCount + i + 1, 2),
                                                  UaNodeId(OpcUaType_Double, 0), -1, 3, "en");
        devices.push_back(variable);
        handles.push_back(new UaNodeVariableHandle(&ioManager, 13, variable));
        items.push_back(std::make_unique<CountingItem>(deviceDelivered));
    }

    NullCallback answers;
    OpcUa_Handle transaction = nullptr;
    ioManager.beginTransaction(&answers, ServiceContext(), 1, 2 * g_itemCount, 0.0,
                               OpcUa_TimestampsToReturn_Both, IOTransactionType::StartMonitoring,
                               transaction);
    for (OpcUa_UInt32 i = 0; i < 2 * g_itemCount; ++i)
    {
        MonitoringContext context;
        context.samplingInterval = g_interval;
        ioManager.beginStartMonitoring(transaction, i + 1, items[i].get(), handles[i], context);
    }
    ioManager.finishTransaction(transaction);
    while (answers.started < 2 * g_itemCount)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The first ticks report the initial values; counting starts from here.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    std::atomic<bool> changing{true};
    std::atomic<double> writerCpu{0.0};
    std::thread writer(
        [&]
        {
            const double start = seconds(CLOCK_THREAD_CPUTIME_ID);
            auto next = std::chrono::steady_clock::now();
            for (OpcUa_Double value = 1.0; changing; value += 1.0)
            {
                UaDataValue changed;
                changed.setValue(UaVariant(value), false, false);
                for (UaVariableCache* variable : cached)
                    variable->setValue(nullptr, changed, false);
                next += std::chrono::milliseconds(static_cast<int>(g_interval));
                std::this_thread::sleep_until(next);
            }
            writerCpu = seconds(CLOCK_THREAD_CPUTIME_ID) - start;
        });

    const std::uint64_t cachedBefore = cachedDelivered;
    const std::uint64_t deviceBefore = deviceDelivered;
    const double wallStart = seconds(CLOCK_MONOTONIC);
    const double cpuStart = seconds(CLOCK_PROCESS_CPUTIME_ID);
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const double wall = seconds(CLOCK_MONOTONIC) - wallStart;
    const std::uint64_t cachedCount = cachedDelivered - cachedBefore;
    const std::uint64_t deviceCount = deviceDelivered - deviceBefore;
    changing = false;
    writer.join();

    const double due = static_cast<double>(g_itemCount) * wall * 1000.0 / g_interval;
    std::printf("items: %u cached + %u device at %.0f ms, %.1f s\n", g_itemCount, g_itemCount, g_interval,
                wall);
    std::printf("CPU over wall time: %.3f (without the value changer: %.3f)\n", cpu / wall,
                (cpu - writerCpu) / wall);
    std::printf("cached samples delivered against due: %.3f (%llu of %.0f)\n", cachedCount / due,
                static_cast<unsigned long long>(cachedCount), due);
    std::printf("device samples delivered against due: %.3f (%llu of %.0f)\n", deviceCount / due,
                static_cast<unsigned long long>(deviceCount), due);

    ioManager.stopSampling();
    for (VariableHandle* handle : handles)
        handle->releaseReference();
    for (UaVariableCache* variable : cached)
        variable->releaseReference();
    for (UaVariable* variable : devices)
        variable->releaseReference();
    return 0;
}
