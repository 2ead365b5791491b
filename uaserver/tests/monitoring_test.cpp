// Monitoring through the UaNode I/O manager: rates and rate groups, the start, modify and stop of
// cached, device and static items with their checks, batches per group on the test clock, and the
// parking of cached items whose variable is deleted and added again.
#include "fake_serverconfig.h"
#include "nodemanagertestbed.h"
#include "testvalues.h"

#include "attributeids.h"
#include "samplingengine.h"
#include "uadatavariabledevice.h"
#include "uathreadpool.h"

#include <test_waits.h>

#include <opcua_testclock.hpp>
#include <test_clock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <thread>

using namespace testbed;
using namespace testvalues;
using uaserver::testing::eventually;
using uaserver::testing::FakeServerConfig;
using uaserver::testing::Gate;

namespace
{
constexpr OpcUa_UInt16 g_ns = 2;

enum NodeNumber : OpcUa_UInt32
{
    Analog = 1,
    Plain = 2,
    Text = 3,
    DeviceA = 4,
    DeviceB = 5,
    DeviceC = 6,
    Folder = 7,
    Array = 8,
    SlowMinimum = 9,
    AnalogWithoutRange = 10,
    Unreadable = 11,
    EURangeProperty = 100,
};

UaNodeId id(OpcUa_UInt32 number)
{
    return UaNodeId(number, g_ns);
}

UaVariant rangeValue(OpcUa_Double low, OpcUa_Double high)
{
    UaExtensionObject range;
    auto* body = static_cast<OpcUa_Range*>(range.createBody(&OpcUa_Range_EncodeableType));
    body->Low = low;
    body->High = high;
    UaVariant value;
    value.setExtensionObject(range, true);
    return value;
}

const UaNodeId g_analogItemType(StandardNodeId::AnalogItemType, 0);

UaStatus buildNodes(TestNodeManager& nm)
{
    EXPECT_TRUE(nm.addUaNode(new UaFolder("Folder", id(Folder), "en")).isGood());
    auto add = [&nm](UaReferenceLists* node)
    { EXPECT_TRUE(nm.addNodeAndReference(id(Folder), node, UaNodeId(47, 0)).isGood()); };
    UaVariablePlain* analog = newCachedVariable(id(Analog), UaVariant(50.0), g_analogItemType);
    add(analog);
    UaDataValue range;
    range.setValue(rangeValue(0.0, 200.0), false, false);
    auto* euRange = new UaVariablePlain(id(EURangeProperty), UaQualifiedName("EURange", 0),
                                        UaLocalizedText("en", "EURange"), UaLocalizedText(),
                                        UaNodeId(StandardNodeId::PropertyType, 0), range,
                                        UaNodeId(StandardNodeId::Range, 0), -1, 1, 1, 0.0, false);
    EXPECT_TRUE(nm.addNodeAndReference(analog, euRange, UaNodeId(46, 0)).isGood());
    add(newCachedVariable(id(Plain), UaVariant(1.0)));
    add(newCachedVariable(id(Text), UaVariant(UaString("text"))));
    add(newCachedVariable(id(Array), doubles({1, 2, 3, 4})));
    add(newCachedVariable(id(SlowMinimum), UaVariant(2.0), UaNodeId(63, 0), 3, 3, 250.0));
    add(newCachedVariable(id(AnalogWithoutRange), UaVariant(3.0), g_analogItemType));
    add(newCachedVariable(id(Unreadable), UaVariant(4.0), UaNodeId(63, 0), 2, 2));
    for (OpcUa_UInt32 device : {DeviceA, DeviceB, DeviceC})
        add(new UaDataVariableDevice("Device", id(device), UaNodeId(OpcUaType_Double, 0), -1, 3, "en"));
    return OpcUa_Good;
}

// One item of a start or modify request.
struct Monitor
{
    OpcUa_UInt32 node = Plain;
    OpcUa_Double interval = 100.0;
    OpcUa_Double deadband = 0.0;
    bool absolute = false;
    const char* range = "";
    OpcUa_Int32 attribute = AttributeId::Value;
};

struct Begun
{
    OpcUa_StatusCode status;
    OpcUa_UInt32 callbackHandle;
};

class MonitoringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.serverManager.setServerConfig(&config);
        ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());
        ASSERT_EQ(nm.ns(), g_ns);
        // The start, modify and stop jobs run inside finishTransaction.
        nm.setJobPool(&inlineJobs);
        device[id(DeviceA)] = UaVariant(1.5);
        device[id(DeviceB)] = UaVariant(2.5);
        device[id(DeviceC)] = UaVariant(3.5);
        nm.readHook = [this](const UaVariableArray& variables, UaDataValueArray& values)
        {
            std::lock_guard<std::mutex> guard(deviceLock);
            batches.push_back(variables.length());
            values.create(variables.length());
            for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
                dataValue(device[variables[i]->nodeId()]).copyTo(&values[i]);
            return UaStatus(OpcUa_Good);
        };
    }

    // A test clock ends before the node manager: its sampling threads sleep on it.
    void TearDown() override
    {
        clock.reset();
        nm.stopSampling();
    }

    // Declared after the locals that a test's readHook captures, it ends sampling before they go:
    // a job still due would otherwise call the hook on them.
    struct SamplingEnd
    {
        MonitoringTest& test;
        ~SamplingEnd() { test.TearDown(); }
    };

    std::vector<Begun>
    run(OpcUa_UInt32 type, std::size_t count,
        const std::function<OpcUa_StatusCode(OpcUa_Handle, std::size_t, OpcUa_UInt32)>& begin)
    {
        OpcUa_Handle transaction = nullptr;
        EXPECT_TRUE(nm.beginTransaction(&answers, ServiceContext(), ++m_transactions,
                                        static_cast<OpcUa_UInt32>(count), 0.0, OpcUa_TimestampsToReturn_Both,
                                        type, transaction)
                        .isGood());
        std::vector<Begun> begun;
        for (std::size_t i = 0; i < count; ++i)
        {
            const OpcUa_UInt32 callbackHandle = ++m_callbackHandles;
            begun.push_back({begin(transaction, i, callbackHandle), callbackHandle});
        }
        EXPECT_TRUE(nm.finishTransaction(transaction).isGood());
        return begun;
    }

    std::vector<Begun> start(const std::vector<Monitor>& items)
    {
        return run(IOTransactionType::StartMonitoring, items.size(),
                   [&](OpcUa_Handle transaction, std::size_t i, OpcUa_UInt32 callbackHandle)
                   {
                       const Monitor& item = items[i];
                       UaString range(item.range);
                       MonitoringContext context = monitoringContext(item, range);
                       VariableHandle* handle =
                           nm.getVariableHandle(nullptr, 0, id(item.node).toOpcUaNodeId(), item.attribute);
                       samples[callbackHandle] = std::make_unique<RecordingVariableCallback>();
                       const OpcUa_StatusCode status =
                           nm.beginStartMonitoring(transaction, callbackHandle, samples[callbackHandle].get(),
                                                   handle, context)
                               .statusCode();
                       if (handle)
                           handle->releaseReference();
                       return status;
                   });
    }

    // Starts one item and gives its answer; fails the test when it was not started.
    Answer startOne(const Monitor& item)
    {
        const Begun begun = start({item})[0];
        EXPECT_EQ(begun.status, OpcUa_Good);
        lastCallbackHandle = begun.callbackHandle;
        return answers.answerTo(begun.callbackHandle);
    }

    std::vector<Begun> modify(const std::vector<std::pair<OpcUa_UInt32, Monitor>>& items)
    {
        return run(IOTransactionType::ModifyMonitoring, items.size(),
                   [&](OpcUa_Handle transaction, std::size_t i, OpcUa_UInt32 callbackHandle)
                   {
                       UaString range(items[i].second.range);
                       MonitoringContext context = monitoringContext(items[i].second, range);
                       return nm.beginModifyMonitoring(transaction, callbackHandle, items[i].first, context)
                           .statusCode();
                   });
    }

    std::vector<Begun> stop(const std::vector<OpcUa_UInt32>& itemHandles)
    {
        return run(
            IOTransactionType::StopMonitoring, itemHandles.size(),
            [&](OpcUa_Handle transaction, std::size_t i, OpcUa_UInt32 callbackHandle)
            { return nm.beginStopMonitoring(transaction, callbackHandle, itemHandles[i]).statusCode(); });
    }

    static MonitoringContext monitoringContext(const Monitor& item, const UaString& range)
    {
        MonitoringContext context;
        context.samplingInterval = item.interval;
        context.deadband = item.deadband;
        context.isAbsoluteDeadband = item.absolute;
        context.pIndexRange = range.toOpcUaString();
        return context;
    }

    RecordingVariableCallback& samplesOf(OpcUa_UInt32 callbackHandle) { return *samples[callbackHandle]; }

    IOSamplingEngine& engine() { return *nm.samplingEngine(); }

    UaVariableCache* cached(OpcUa_UInt32 number)
    {
        return dynamic_cast<UaVariableCache*>(nm.getNode(id(number)));
    }

    void store(OpcUa_UInt32 number, const UaVariant& value)
    {
        auto variable = ReferenceHolder<UaVariableCache>::adopt(cached(number));
        ASSERT_TRUE(variable);
        ASSERT_TRUE(variable->setValue(nullptr, dataValue(value), false).isGood());
    }

    // The tick thread's rounds, on the test clock.
    void tick(OpcUa_UInt32 count, OpcUa_UInt32 baseTick = 50)
    {
        for (OpcUa_UInt32 i = 0; i < count; ++i)
        {
            ASSERT_TRUE(clock->waitForSleepers(sleepers));
            clock->advance(baseTick);
        }
        ASSERT_TRUE(clock->waitForSleepers(sleepers));
    }

    std::vector<std::size_t> batchSizes()
    {
        std::lock_guard<std::mutex> guard(deviceLock);
        return batches;
    }

    TestServer server;
    FakeServerConfig config;
    // The monitored items' callbacks outlive the node manager, whose SamplingEngine calls them.
    std::map<OpcUa_UInt32, std::unique_ptr<RecordingVariableCallback>> samples;
    TestNodeManager nm{"urn:test:monitoring", buildNodes};
    RefusingPool inlineJobs;
    RecordingCallback answers;
    OpcUa_UInt32 lastCallbackHandle = 0;
    std::mutex deviceLock;
    std::map<UaNodeId, UaVariant> device;
    std::vector<std::size_t> batches;
    std::unique_ptr<OpcUa::TestClock> clock;
    // The threads that sleep on the clock: the tick thread and the SamplingEngine's.
    OpcUa_UInt32 sleepers = 2;

private:
    OpcUa_UInt32 m_transactions = 0;
    OpcUa_UInt32 m_callbackHandles = 0;
};

struct RatesCase
{
    const char* name;
    std::vector<OpcUa_UInt32> configured;
    std::vector<OpcUa_UInt32> rates;
    bool rateZero;
};

TEST_F(MonitoringTest, TheRatesComeFromTheConfigurationCleaned)
{
    const std::vector<OpcUa_UInt32>& defaults = SamplingEngine::defaultIntervals();
    const RatesCase cases[] = {
        {"none", {}, defaults, false},
        {"0 only", {0}, defaults, true},
        {"500, 100, 50", {500, 100, 50}, {50, 100, 500}, false},
        {"0, 200, 100", {0, 200, 100}, {100, 200}, true},
    };
    for (const RatesCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        config.ioSamplingRates = c.configured;
        TestNodeManager fresh("urn:test:rates");
        EXPECT_FALSE(fresh.samplingEngine()->isStarted());
        ASSERT_TRUE(fresh.startUpSampling(&server.serverManager).isGood());
        EXPECT_EQ(fresh.samplingEngine()->rates(), c.rates);
        EXPECT_EQ(fresh.samplingEngine()->baseTick(), c.rates.front());
        EXPECT_EQ(fresh.samplingEngine()->isRateZeroConfigured(), c.rateZero);
        EXPECT_EQ(fresh.startUpSampling(&server.serverManager).statusCode(), OpcUa_BadInternalError);
    }
}

TEST_F(MonitoringTest, TheSamplingPoolIsSizedByTheIoLimits)
{
    config.ioLimits[0] = 2;
    config.ioLimits[1] = 6;
    config.ioLimits[2] = 1;
    config.ioLimits[3] = 3;
    ASSERT_TRUE(nm.startUpSampling(&server.serverManager).isGood());
    UaThreadPool* pool = engine().samplingPool();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->minThreads(), 1u);
    EXPECT_EQ(pool->maxThreads(), 6u);
    // A second engine of the process shares it.
    TestNodeManager other("urn:test:other");
    ASSERT_TRUE(other.startUpSampling(nullptr).isGood());
    EXPECT_EQ(other.samplingEngine()->samplingPool(), pool);
}

struct StartCase
{
    const char* name;
    Monitor item;
    OpcUa_StatusCode begin;
    // For a good begin: the answer.
    OpcUa_Double revised = 0.0;
    bool withValue = false;
    OpcUa_StatusCode valueStatus = OpcUa_Good;
};

TEST_F(MonitoringTest, StartTable)
{
    const OpcUa_Double nan = std::numeric_limits<OpcUa_Double>::quiet_NaN();
    const StartCase cases[] = {
        {"DisplayName", {Analog, 100, 0, false, "", AttributeId::DisplayName}, OpcUa_Good, 5000, true},
        {"DisplayName with a deadband",
         {Analog, 100, 5, true, "", AttributeId::DisplayName},
         OpcUa_BadFilterNotAllowed},
        {"BrowseName with a range",
         {Analog, 100, 0, false, "1", AttributeId::BrowseName},
         OpcUa_Good,
         5000,
         true,
         OpcUa_BadIndexRangeInvalid},
        {"attribute 99", {Analog, 100, 0, false, "", 99}, OpcUa_BadAttributeIdInvalid},
        {"Value of an object", {Folder}, OpcUa_BadAttributeIdInvalid},
        {"percent 101", {Analog, 100, 101}, OpcUa_BadDeadbandFilterInvalid},
        {"percent -1", {Analog, 100, -1}, OpcUa_BadDeadbandFilterInvalid},
        {"percent on a variable without a range", {Plain, 100, 10}, OpcUa_BadFilterNotAllowed},
        {"percent on an analog item without a range",
         {AnalogWithoutRange, 100, 10},
         OpcUa_BadFilterNotAllowed},
        {"absolute on a String", {Text, 100, 1, true}, OpcUa_BadFilterNotAllowed},
        {"absolute on a non-analog Double", {Plain, 100, 1, true}, OpcUa_Good, 100, true},
        {"percent 10 on the analog", {Analog, 100, 10}, OpcUa_Good, 100, true},
        {"bad index range", {Array, 100, 0, false, "x"}, OpcUa_BadIndexRangeInvalid},
        {"index range", {Array, 100, 0, false, "1:2"}, OpcUa_Good, 100, true},
        {"unreadable", {Unreadable}, OpcUa_Good, 100, true, OpcUa_BadNotReadable},
        {"interval 0 without a 0 rate", {Plain, 0}, OpcUa_Good, 50, true},
        {"interval 0, minimum 250", {SlowMinimum, 0}, OpcUa_Good, 50, true},
        {"300", {Plain, 300}, OpcUa_Good, 250, true},
        {"375, a tie", {Plain, 375}, OpcUa_Good, 250, true},
        {"negative", {Plain, -1}, OpcUa_Good, 5000, true},
        {"NaN", {Plain, nan}, OpcUa_Good, 5000, true},
        {"beyond 32 bits", {Plain, 1e12}, OpcUa_Good, 5000, true},
        {"device 300", {DeviceA, 300}, OpcUa_Good, 250, false},
        {"device 375", {DeviceA, 375}, OpcUa_Good, 250, false},
        {"device NaN", {DeviceA, nan}, OpcUa_Good, 5000, false},
        {"device -1", {DeviceA, -1}, OpcUa_Good, 50, false},
    };
    for (const StartCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Begun begun = start({c.item})[0];
        ASSERT_EQ(begun.status, c.begin);
        if (begun.status != OpcUa_Good)
        {
            for (const Answer& answer : answers.answers())
                EXPECT_NE(answer.callbackHandle, begun.callbackHandle);
            continue;
        }
        const Answer answer = answers.answerTo(begun.callbackHandle);
        EXPECT_EQ(answer.kind, "start");
        EXPECT_EQ(answer.status, OpcUa_Good);
        EXPECT_NE(answer.itemHandle, 0u);
        EXPECT_EQ(answer.revisedInterval, c.revised);
        EXPECT_EQ(answer.initialValueAvailable, c.withValue);
        if (c.withValue)
        {
            EXPECT_EQ(answer.value.statusCode(), c.valueStatus);
        }
    }
}

TEST_F(MonitoringTest, StaticItemsReportOnceAndCachedOnesStartWithTheCurrentValue)
{
    const Answer name = startOne({Analog, 100, 0, false, "", AttributeId::DisplayName});
    UaLocalizedText text;
    ASSERT_TRUE(OpcUa_IsGood(name.value.value().toLocalizedText(text)));
    EXPECT_EQ(text, UaLocalizedText("en", "V1"));
    const OpcUa_UInt32 nameCallback = lastCallbackHandle;

    const Answer array = startOne({Array, 0, 0, false, "1:2"});
    EXPECT_TRUE(array.value.value() == doubles({2, 3}));
    const Answer plain = startOne({Plain, 0});
    EXPECT_TRUE(plain.value.value() == UaVariant(1.0));
    OpcUa_UInt32 kind = 99;
    ASSERT_TRUE(engine().itemKind(name.itemHandle, kind));
    EXPECT_EQ(kind, SamplingItemKind::Static);
    ASSERT_TRUE(engine().itemKind(plain.itemHandle, kind));
    EXPECT_EQ(kind, SamplingItemKind::Cache);
    // The hooks saw the two cached starts.
    const auto changes = nm.monitoringChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1], std::make_pair(id(Plain), IOTransactionType::StartMonitoring));
    // A static item never samples.
    EXPECT_EQ(samplesOf(nameCallback).count(), 0u);
}

TEST_F(MonitoringTest, AnIntervalOfZeroReportsEveryChangeOnlyWithAZeroRateConfigured)
{
    config.ioSamplingRates = {0, 100};
    ASSERT_TRUE(nm.startUpSampling(&server.serverManager).isGood());
    const Answer immediate = startOne({Plain, 0});
    EXPECT_EQ(immediate.revisedInterval, 0.0);
    const OpcUa_UInt32 immediateCallback = lastCallbackHandle;
    // A variable that cannot be sampled faster than 250 ms gets 1, revised to the nearest rate.
    const Answer limited = startOne({SlowMinimum, 0});
    EXPECT_EQ(limited.revisedInterval, 100.0);
    store(Plain, UaVariant(7.0));
    store(Plain, UaVariant(8.0));
    const auto values = samplesOf(immediateCallback).values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_TRUE(values[0].value() == UaVariant(7.0));
    EXPECT_TRUE(values[1].value() == UaVariant(8.0));
}

TEST_F(MonitoringTest, AHookThatRefusesMonitoringAbortsOrMakesAStaticItem)
{
    bool abort = false;
    nm.monitorHook = [&abort](UaNode*, OpcUa_Int32, bool& abortMonitoring)
    {
        abortMonitoring = abort;
        return UaStatus(OpcUa_BadUserAccessDenied);
    };
    const Answer refused = startOne({Plain, 100});
    EXPECT_EQ(refused.revisedInterval, 5000.0);
    EXPECT_TRUE(refused.initialValueAvailable);
    EXPECT_EQ(refused.value.statusCode(), OpcUa_BadUserAccessDenied);
    EXPECT_TRUE(refused.value.isServerTimestampSet());
    OpcUa_UInt32 kind = 99;
    ASSERT_TRUE(engine().itemKind(refused.itemHandle, kind));
    EXPECT_EQ(kind, SamplingItemKind::Static);

    abort = true;
    EXPECT_EQ(start({{Plain, 100}})[0].status, OpcUa_BadUserAccessDenied);
    EXPECT_EQ(engine().itemCount(), 1u);
}

TEST_F(MonitoringTest, ArgumentsThatNameNothingAreRefused)
{
    // Before any start, modify and stop have no engine to work on.
    MonitoringContext context;
    OpcUa_Handle transaction = nullptr;
    ASSERT_TRUE(nm.beginTransaction(&answers, ServiceContext(), 1, 1, 0.0, OpcUa_TimestampsToReturn_Both,
                                    IOTransactionType::ModifyMonitoring, transaction)
                    .isGood());
    EXPECT_EQ(nm.beginModifyMonitoring(transaction, 1, 1, context).statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(nm.beginStopMonitoring(transaction, 1, 1).statusCode(), OpcUa_BadInternalError);
    EXPECT_TRUE(nm.finishTransaction(transaction).isGood());

    VariableHandle* handle = nm.getVariableHandle(nullptr, 0, id(Plain).toOpcUaNodeId(), AttributeId::Value);
    EXPECT_EQ(nm.beginStartMonitoring(nullptr, 1, nullptr, handle, context).statusCode(),
              OpcUa_BadInvalidArgument);
    handle->releaseReference();
    UaNodeVariableHandle empty(&nm, AttributeId::Value, nullptr);
    ASSERT_TRUE(nm.beginTransaction(&answers, ServiceContext(), 2, 1, 0.0, OpcUa_TimestampsToReturn_Both,
                                    IOTransactionType::StartMonitoring, transaction)
                    .isGood());
    EXPECT_EQ(nm.beginStartMonitoring(transaction, 1, nullptr, &empty, context).statusCode(),
              OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(nm.beginStartMonitoring(transaction, 1, nullptr, nullptr, context).statusCode(),
              OpcUa_BadNodeIdUnknown);
    EXPECT_TRUE(nm.finishTransaction(transaction).isGood());
    // Unknown handles and null contexts, now that an engine exists.
    EXPECT_EQ(nm.beginModifyMonitoring(nullptr, 1, 1, context).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(nm.beginStopMonitoring(nullptr, 1, 1).statusCode(), OpcUa_BadInvalidArgument);
    EXPECT_EQ(modify({{77, Monitor{}}})[0].status, OpcUa_BadInternalError);
    EXPECT_EQ(stop({0, 77})[1].status, OpcUa_BadInternalError);
    EXPECT_TRUE(answers.answers().empty());
}

TEST_F(MonitoringTest, APercentDeadbandReplacesThePlainItemUnderTheSameHandle)
{
    config.ioSamplingRates = {0, 250};
    ASSERT_TRUE(nm.startUpSampling(&server.serverManager).isGood());
    const Answer started = startOne({Analog, 250});
    ASSERT_EQ(started.revisedInterval, 250.0);
    OpcUa_Double deadband = 0.0;
    EXPECT_FALSE(engine().itemDeadband(started.itemHandle, deadband));

    const Begun changed = modify({{started.itemHandle, {Analog, 250, 10}}})[0];
    ASSERT_EQ(changed.status, OpcUa_Good);
    const Answer answer = answers.answerTo(changed.callbackHandle);
    EXPECT_EQ(answer.kind, "modify");
    EXPECT_EQ(answer.revisedInterval, 250.0);
    ASSERT_TRUE(engine().itemDeadband(started.itemHandle, deadband));
    EXPECT_EQ(deadband, 20.0);
    EXPECT_EQ(engine().itemCount(), 1u);
    auto analog = ReferenceHolder<UaVariableCache>::adopt(cached(Analog));
    EXPECT_EQ(analog->samplingItemCount(), 1u);

    // A second percent keeps the item and changes its deadband; an absolute one drops it.
    modify({{started.itemHandle, {Analog, 250, 25}}});
    ASSERT_TRUE(engine().itemDeadband(started.itemHandle, deadband));
    EXPECT_EQ(deadband, 50.0);
    modify({{started.itemHandle, {Analog, 250, 3, true}}});
    EXPECT_FALSE(engine().itemDeadband(started.itemHandle, deadband));
    // Without a range the percent deadband is 0.
    const Answer noRange = startOne({AnalogWithoutRange, 250});
    modify({{noRange.itemHandle, {AnalogWithoutRange, 250, 10}}});
    ASSERT_TRUE(engine().itemDeadband(noRange.itemHandle, deadband));
    EXPECT_EQ(deadband, 0.0);

    // The replacement reports through the same callback, with its deadband.
    const OpcUa_UInt32 callback = started.callbackHandle;
    modify({{started.itemHandle, {Analog, 0, 10}}});
    const std::size_t before = samplesOf(callback).count();
    // 100 is beyond 20 from whatever went before, 110 within 20 of it, 125 beyond.
    store(Analog, UaVariant(100.0));
    store(Analog, UaVariant(110.0));
    store(Analog, UaVariant(125.0));
    std::vector<UaDataValue> values = samplesOf(callback).values();
    values.erase(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(before));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_TRUE(values[0].value() == UaVariant(100.0));
    EXPECT_TRUE(values[1].value() == UaVariant(125.0));
}

struct ModifyCase
{
    const char* name;
    Monitor item;
    Monitor change;
    OpcUa_StatusCode begin;
    OpcUa_Double revised;
};

TEST_F(MonitoringTest, ModifyTable)
{
    const ModifyCase cases[] = {
        {"a cached item takes the new interval", {Plain, 100}, {Plain, 500}, OpcUa_Good, 500},
        {"the same interval", {Plain, 100}, {Plain, 100}, OpcUa_Good, 100},
        {"a deadband on a String", {Text, 100}, {Text, 100, 1, true}, OpcUa_BadFilterNotAllowed, 0},
        {"a deadband on an array", {Array, 100}, {Array, 100, 1, true}, OpcUa_BadFilterNotAllowed, 0},
        {"a static item", {Plain, 100, 0, false, "", AttributeId::DisplayName}, {Plain, 1}, OpcUa_Good, 5000},
        {"a static item, percent",
         {Plain, 100, 0, false, "", AttributeId::DisplayName},
         {Plain, 1, 5},
         OpcUa_Good,
         5000},
        {"a static item, absolute",
         {Plain, 100, 0, false, "", AttributeId::DisplayName},
         {Plain, 1, 5, true},
         OpcUa_BadFilterNotAllowed,
         0},
        {"a device item", {DeviceA, 100}, {DeviceA, 1000}, OpcUa_Good, 1000},
    };
    for (const ModifyCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Answer started = startOne(c.item);
        const Begun changed = modify({{started.itemHandle, c.change}})[0];
        ASSERT_EQ(changed.status, c.begin);
        if (c.begin != OpcUa_Good)
            continue;
        const Answer answer = answers.answerTo(changed.callbackHandle);
        EXPECT_EQ(answer.status, OpcUa_Good);
        EXPECT_EQ(answer.revisedInterval, c.revised);
    }
}

TEST_F(MonitoringTest, AModifiedDeviceItemMovesToTheEndOfItsGroup)
{
    const Answer a = startOne({DeviceA, 100});
    const Answer b = startOne({DeviceB, 100});
    const Answer c = startOne({DeviceC, 100});
    ASSERT_EQ(engine().groupMembers(1),
              (std::vector<OpcUa_UInt32>{a.itemHandle, b.itemHandle, c.itemHandle}));
    // 120 is nearest to 100: the item stays in its group, at its end.
    const Begun moved = modify({{a.itemHandle, {DeviceA, 120}}})[0];
    ASSERT_EQ(moved.status, OpcUa_Good);
    EXPECT_EQ(answers.answerTo(moved.callbackHandle).revisedInterval, 100.0);
    EXPECT_EQ(engine().groupMembers(1),
              (std::vector<OpcUa_UInt32>{b.itemHandle, c.itemHandle, a.itemHandle}));
    // To another group, and the same item twice in one request moves once.
    const std::vector<Begun> twice = modify({{b.itemHandle, {DeviceB, 500}}, {b.itemHandle, {DeviceB, 50}}});
    EXPECT_EQ(answers.answerTo(twice[0].callbackHandle).revisedInterval, 500.0);
    EXPECT_EQ(answers.answerTo(twice[1].callbackHandle).revisedInterval, 500.0);
    EXPECT_EQ(engine().groupMembers(1), (std::vector<OpcUa_UInt32>{c.itemHandle, a.itemHandle}));
    EXPECT_EQ(engine().groupMembers(3), (std::vector<OpcUa_UInt32>{b.itemHandle}));
}

TEST_F(MonitoringTest, AnItemGoneBeforeItsModifyJobIsAnsweredThroughTheCallback)
{
    const Answer started = startOne({DeviceA, 100});
    OpcUa_Handle transaction = nullptr;
    ASSERT_TRUE(nm.beginTransaction(&answers, ServiceContext(), 900, 1, 0.0, OpcUa_TimestampsToReturn_Both,
                                    IOTransactionType::ModifyMonitoring, transaction)
                    .isGood());
    MonitoringContext context;
    context.samplingInterval = 500;
    ASSERT_EQ(nm.beginModifyMonitoring(transaction, 4711, started.itemHandle, context).statusCode(),
              OpcUa_Good);
    ASSERT_EQ(stop({started.itemHandle})[0].status, OpcUa_Good);
    EXPECT_TRUE(nm.finishTransaction(transaction).isGood());
    const Answer answer = answers.answerTo(4711);
    EXPECT_EQ(answer.kind, "modify");
    EXPECT_EQ(answer.status, OpcUa_BadInternalError);
    EXPECT_EQ(answer.revisedInterval, 0.0);
}

TEST_F(MonitoringTest, StoppedItemsLeaveEverythingTheyWereIn)
{
    const Answer cachedItem = startOne({Plain, 100});
    const Answer immediate = startOne({Plain, 0});
    const Answer staticItem = startOne({Plain, 100, 0, false, "", AttributeId::DisplayName});
    const Answer a = startOne({DeviceA, 100});
    const Answer b = startOne({DeviceB, 100});
    auto plain = ReferenceHolder<UaVariableCache>::adopt(cached(Plain));
    ASSERT_EQ(plain->samplingItemCount(), 2u);
    ASSERT_EQ(engine().itemCount(), 5u);

    const std::vector<Begun> stopped =
        stop({cachedItem.itemHandle, immediate.itemHandle, staticItem.itemHandle, a.itemHandle});
    for (const Begun& begun : stopped)
    {
        ASSERT_EQ(begun.status, OpcUa_Good);
        const Answer answer = answers.answerTo(begun.callbackHandle);
        EXPECT_EQ(answer.kind, "stop");
        EXPECT_EQ(answer.status, OpcUa_Good);
    }
    EXPECT_EQ(plain->samplingItemCount(), 0u);
    EXPECT_EQ(engine().itemCount(), 1u);
    EXPECT_EQ(engine().groupMembers(1), (std::vector<OpcUa_UInt32>{b.itemHandle}));
    const auto changes = nm.monitoringChanges();
    EXPECT_EQ(changes.back(), std::make_pair(id(Plain), IOTransactionType::StopMonitoring));
    // A stopped handle names nothing any more.
    EXPECT_EQ(stop({cachedItem.itemHandle})[0].status, OpcUa_BadInternalError);
    // Freed handles are given out again, the last freed first.
    EXPECT_EQ(startOne({Plain, 100}).itemHandle, a.itemHandle);
}

TEST_F(MonitoringTest, DeviceValuesReachTheirItemsInOneBatchPerGroup)
{
    clock = uaserver::testing::samplingTestClock();
    const Answer a = startOne({DeviceA, 50});
    const Answer b = startOne({DeviceB, 50});
    const Answer c = startOne({DeviceC, 100, 0, false, ""});
    const OpcUa_UInt32 aCallback = a.callbackHandle;
    const OpcUa_UInt32 cCallback = c.callbackHandle;
    tick(1);
    samplesOf(aCallback).waitFor(1);
    samplesOf(b.callbackHandle).waitFor(1);
    // The job clears its busy flag after the values went out; a tick before that skips the group.
    ASSERT_TRUE(eventually([&] { return !engine().isGroupBusy(0); }));
    tick(1);
    samplesOf(aCallback).waitFor(2);
    samplesOf(cCallback).waitFor(1);
    ASSERT_TRUE(eventually([&] { return batchSizes().size() == 3; }));
    // The jobs of the two groups due on the second tick run side by side.
    std::vector<std::size_t> sizes = batchSizes();
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 2, 2}));
    EXPECT_TRUE(samplesOf(aCallback).values()[0].value() == UaVariant(1.5));
    EXPECT_TRUE(samplesOf(cCallback).values()[0].value() == UaVariant(3.5));
    // The device variable keeps what was read.
    auto deviceA = ReferenceHolder<UaNode>::adopt(nm.getNode(id(DeviceA)));
    EXPECT_TRUE(static_cast<UaVariable*>(deviceA.get())->value(nullptr).value() == UaVariant(1.5));
}

TEST_F(MonitoringTest, AGroupWhoseJobStillRunsIsSkipped)
{
    clock = uaserver::testing::samplingTestClock();
    Gate gate;
    std::atomic<int> reads{0};
    nm.readHook = [&](const UaVariableArray& variables, UaDataValueArray& values)
    {
        if (++reads == 1)
        {
            EXPECT_TRUE(gate.pass());
        }
        values.create(variables.length());
        for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
            dataValue(UaVariant(9.0)).copyTo(&values[i]);
        return UaStatus(OpcUa_Good);
    };
    SamplingEnd samplingEnd{*this};
    const OpcUa_UInt32 callback = startOne({DeviceA, 50}).callbackHandle;
    tick(1);
    ASSERT_TRUE(eventually([&] { return reads == 1; }));
    // Three more ticks while the first job waits in readValues; a job posted by mistake would enter
    // readValues within the pause.
    tick(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reads, 1);
    gate.open();
    samplesOf(callback).waitFor(1);
    // Once the job has ended the group is sampled again.
    ASSERT_TRUE(eventually(
        [&]
        {
            tick(1);
            return samplesOf(callback).count() >= 2;
        }));
    EXPECT_GE(reads, 2);
}

struct BatchCase
{
    const char* name;
    // What readValues answers: a status, and the number of values (-1: one per variable).
    OpcUa_StatusCode status;
    int valueCount;
    // Whether the items receive anything from such a batch.
    bool delivers;
};

TEST_F(MonitoringTest, BatchesThatFailOrMiscountAreHandled)
{
    const BatchCase cases[] = {
        {"good", OpcUa_Good, -1, true},
        {"failed", OpcUa_BadCommunicationError, -1, true},
        {"one value short", OpcUa_Good, 1, false},
        {"one value too many", OpcUa_Good, 3, false},
    };
    // The batch answers by the mode the test sets: case i gives the value 100 + i, the good batch
    // that follows a case gives 200 + i. A batch running while the mode changes can not be
    // mistaken for one of the next case.
    std::atomic<int> mode{0};
    std::atomic<bool> recovering{false};
    // Rounds per case, counted by the mode the round read.
    std::atomic<int> rounds[std::size(cases)] = {};
    nm.readHook = [&](const UaVariableArray& variables, UaDataValueArray& values)
    {
        const int i = mode;
        const bool good = recovering;
        const BatchCase& c = cases[i];
        const int count = good || c.valueCount < 0 ? static_cast<int>(variables.length()) : c.valueCount;
        values.create(static_cast<OpcUa_UInt32>(count));
        for (OpcUa_UInt32 v = 0; v < values.length(); ++v)
            dataValue(UaVariant(static_cast<OpcUa_Double>((good ? 200 : 100) + i))).copyTo(&values[v]);
        if (!good)
            ++rounds[i];
        return UaStatus(good ? static_cast<OpcUa_StatusCode>(OpcUa_Good) : c.status);
    };
    SamplingEnd samplingEnd{*this};
    clock = uaserver::testing::samplingTestClock();
    const OpcUa_UInt32 callbacks[] = {startOne({DeviceA, 50}).callbackHandle,
                                      startOne({DeviceB, 50, 0, false, ""}).callbackHandle};
    auto received = [&](OpcUa_UInt32 callback, OpcUa_StatusCode status, OpcUa_Double value)
    {
        for (const UaDataValue& sample : samplesOf(callback).values())
            if (sample.statusCode() == status && (status != OpcUa_Good || sample.value() == UaVariant(value)))
                return true;
        return false;
    };
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
    {
        const BatchCase& c = cases[i];
        SCOPED_TRACE(c.name);
        recovering = false;
        mode = i;
        ASSERT_TRUE(eventually(
            [&]
            {
                tick(1);
                return rounds[i] > 0;
            }));
        if (c.delivers)
        {
            for (OpcUa_UInt32 callback : callbacks)
                EXPECT_TRUE(eventually(
                    [&]
                    {
                        tick(1);
                        return received(callback, c.status, 100 + i);
                    }));
            continue;
        }
        // Nothing delivered, and the group is sampled again.
        recovering = true;
        for (OpcUa_UInt32 callback : callbacks)
        {
            EXPECT_TRUE(eventually(
                [&]
                {
                    tick(1);
                    return received(callback, OpcUa_Good, 200 + i);
                }));
            EXPECT_FALSE(received(callback, OpcUa_Good, 100 + i));
        }
    }
}

TEST_F(MonitoringTest, ADeletedVariableParksItsItemsUntilOneOfTheSameNodeIdComes)
{
    config.ioSamplingRates = {0, 100, 5000};
    ASSERT_TRUE(nm.startUpSampling(&server.serverManager).isGood());
    const Answer immediate = startOne({Plain, 0});
    const Answer ticked = startOne({Plain, 5000});
    const OpcUa_UInt32 callback = immediate.callbackHandle;
    auto node = ReferenceHolder<UaNode>::adopt(nm.getNode(id(Plain)));
    ASSERT_TRUE(nm.deleteUaNode(node.get(), true, true, false).isGood());
    // The variable itself is gone once nobody holds it: the items gave their references back.
    EXPECT_EQ(node->referenceCount(), 1);
    node.reset();
    ASSERT_EQ(samplesOf(callback).count(), 1u);
    EXPECT_EQ(samplesOf(callback).values()[0].statusCode(), OpcUa_BadNodeIdUnknown);
    EXPECT_EQ(engine().parkedCount(), 2u);

    // A parked item keeps its handle; a modify leaves it as it is.
    const Begun parkedModify = modify({{immediate.itemHandle, {Plain, 0, 5, true}}})[0];
    EXPECT_EQ(parkedModify.status, OpcUa_BadNodeIdUnknown);
    OpcUa_UInt32 kind = 99;
    ASSERT_TRUE(engine().itemKind(immediate.itemHandle, kind));
    EXPECT_EQ(kind, SamplingItemKind::Cache);

    // The new variable takes both items; the one without interval reports it at once.
    UaVariablePlain* renewed = newCachedVariable(id(Plain), UaVariant(42.0));
    ASSERT_TRUE(nm.addUaNode(renewed).isGood());
    EXPECT_EQ(engine().parkedCount(), 0u);
    EXPECT_EQ(renewed->samplingItemCount(), 2u);
    ASSERT_EQ(samplesOf(callback).count(), 2u);
    EXPECT_TRUE(samplesOf(callback).values()[1].value() == UaVariant(42.0));
    store(Plain, UaVariant(43.0));
    EXPECT_TRUE(samplesOf(callback).values().back().value() == UaVariant(43.0));
    EXPECT_EQ(stop({ticked.itemHandle})[0].status, OpcUa_Good);
    EXPECT_EQ(renewed->samplingItemCount(), 1u);
}

TEST_F(MonitoringTest, AStoppedParkedItemIsNotBoundAgain)
{
    const Answer parked = startOne({Plain, 0});
    auto node = ReferenceHolder<UaNode>::adopt(nm.getNode(id(Plain)));
    ASSERT_TRUE(nm.deleteUaNode(node.get(), true, true, false).isGood());
    ASSERT_EQ(engine().parkedCount(), 1u);
    EXPECT_EQ(stop({parked.itemHandle})[0].status, OpcUa_Good);
    EXPECT_EQ(engine().parkedCount(), 0u);
    UaVariablePlain* renewed = newCachedVariable(id(Plain), UaVariant(42.0));
    ASSERT_TRUE(nm.addUaNode(renewed).isGood());
    EXPECT_EQ(renewed->samplingItemCount(), 0u);
}

// Stops while the engine's thread ticks the items, sampling jobs read and another thread stores
// values, on the real clock; the sanitizers catch an item freed while something still calls it.
TEST_F(MonitoringTest, ItemsStopWhileTheyAreTickedAndSampled)
{
    std::atomic<bool> writing{true};
    std::thread writer(
        [&]
        {
            for (OpcUa_Double value = 0; writing; value += 1)
            {
                for (OpcUa_UInt32 number : {Plain, Analog, Array})
                    store(number, number == Array ? doubles({value, value}) : UaVariant(value));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    // The jobs run on the I/O manager's pool, beside the sampling jobs.
    nm.setJobPool(nullptr);
    auto answered = [this](OpcUa_UInt32 callbackHandle)
    {
        return eventually(
            [&]
            {
                for (const Answer& answer : answers.answers())
                    if (answer.callbackHandle == callbackHandle)
                        return true;
                return false;
            });
    };
    for (int round = 0; round < 20; ++round)
    {
        std::vector<Monitor> items;
        for (OpcUa_UInt32 number : {Plain, Analog, Array, DeviceA, DeviceB})
        {
            items.push_back({number, 50});
            items.push_back({number, 0});
        }
        std::vector<OpcUa_UInt32> handles;
        for (const Begun& item : start(items))
        {
            ASSERT_EQ(item.status, OpcUa_Good);
            ASSERT_TRUE(answered(item.callbackHandle));
            handles.push_back(answers.answerTo(item.callbackHandle).itemHandle);
        }
        // Long enough for a few ticks; nothing is measured.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        for (const Begun& item : stop(handles))
        {
            ASSERT_EQ(item.status, OpcUa_Good);
            ASSERT_TRUE(answered(item.callbackHandle));
            EXPECT_EQ(answers.answerTo(item.callbackHandle).status, OpcUa_Good);
        }
    }
    writing = false;
    writer.join();
    EXPECT_EQ(engine().itemCount(), 0u);
}
} // namespace

namespace
{
// An I/O manager whose batch reads wait at a gate: a sampling job stays inside the engine until the
// test lets it go.
class GatedReads : public IOManagerUaNode
{
public:
    ~GatedReads() override { stopSampling(); }
    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override
    {
        entered.open();
        EXPECT_TRUE(leave.pass());
        return values.create(variables.length());
    }

    Gate entered;
    Gate leave;
};
} // namespace

// stop() returns only once the sampling job it found inside has left the engine, so that the owner
// and its engine may go the moment it returns.
TEST(SamplingEngineStop, ReturnsOnlyOnceTheSamplingJobInsideHasLeft)
{
    for (int round = 0; round < 10; ++round)
    {
        SCOPED_TRACE(round);
        RecordingCallback answers;
        RecordingVariableCallback samples;
        auto device = ReferenceHolder<UaDataVariableDevice>::adopt(new UaDataVariableDevice(
            "Device", UaNodeId(1, g_ns), UaNodeId(OpcUaType_Double, 0), -1, 3, "en"));
        auto owner = std::make_unique<GatedReads>();
        ASSERT_TRUE(owner->startUpSampling(nullptr).isGood());
        OpcUa_Handle transaction = nullptr;
        ASSERT_TRUE(owner
                        ->beginTransaction(&answers, ServiceContext(), 1, 1, 0.0,
                                           OpcUa_TimestampsToReturn_Both, IOTransactionType::StartMonitoring,
                                           transaction)
                        .isGood());
        auto* handle = new UaNodeVariableHandle(owner.get(), AttributeId::Value, device.get());
        MonitoringContext context;
        context.samplingInterval = 50;
        EXPECT_TRUE(owner->beginStartMonitoring(transaction, 1, &samples, handle, context).isGood());
        handle->releaseReference();
        ASSERT_TRUE(owner->finishTransaction(transaction).isGood());
        ASSERT_TRUE(owner->entered.pass());

        std::atomic<bool> stopped{false};
        std::thread stopper(
            [&]
            {
                owner->stopSampling();
                stopped = true;
            });
        // The tick thread ends at once; the job inside keeps stop waiting (a stop that returned too
        // early would have done so by now).
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(stopped);
        owner->leave.open();
        stopper.join();
        // Nothing of the engine is in use any more.
        owner.reset();
    }
}
