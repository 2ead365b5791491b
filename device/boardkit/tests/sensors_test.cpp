// Sensor records: per-processor combination and enumeration.
#include "fake_api_test.h"

#include <boardkit.h>

#include <map>

namespace boardkit::testing
{
namespace
{

constexpr DWORD kDriver = 0x10000000;
constexpr DWORD kSensor = 4;

// A sensor whose reading depends on the processor mask it is taken with.
struct SensorScript
{
    DWORD kind = WM_SENSOR_KIND_PROCESSOR;
    DWORD place = WM_SENSOR_PLACE_PROCESSOR;
    WORD flags = 0;
    std::map<ULONGLONG, WORD> values = {{0, 60}, {0b0001, 40}, {0b0010, 70}, {0b0100, 99}, {0b1000, 55}};
    ULONGLONG failingMask = ~0ull;
};

wmfake::Answer sensorAnswer(const SensorScript& script, const wmfake::Call& call)
{
    if (call.processorMask() == script.failingMask)
        return failure(0x20000701);
    WM_SENSOR_INFO info{};
    info.kind = script.kind;
    info.place = script.place;
    info.flags = script.flags;
    info.data[0] = 0x1234; // stays as the first reading had it
    const auto found = script.values.find(call.processorMask());
    info.value = found != script.values.end() ? found->second : 0;
    const auto* raw = reinterpret_cast<const BYTE*>(&info);
    return bytes(std::vector<BYTE>(raw, raw + sizeof info));
}

// The active processors as the driver reports them: a count of 4 and the mask 0b1011.
void scriptProcessors(DWORD count = 4, ULONGLONG mask = 0b1011)
{
    wmfake::answer(kDriver, 5, bytes(wmfake::bytesOf(count)));
    std::vector<BYTE> maskBytes = wmfake::bytesOf(static_cast<DWORD>(mask));
    const auto high = wmfake::bytesOf(static_cast<DWORD>(mask >> 32));
    maskBytes.insert(maskBytes.end(), high.begin(), high.end());
    wmfake::answer(kDriver, 4, bytes(maskBytes));
}

std::vector<ULONGLONG> sensorMasks()
{
    std::vector<ULONGLONG> masks;
    for (const auto& call : wmfake::calls())
        if (call.group == 0x2000)
            masks.push_back(call.processorMask());
    return masks;
}

TEST_F(FakeApiTest, PerProcessorSensorsCombine)
{
    struct Case
    {
        const char* name;
        SensorScript script;
        DWORD count;
        ULONGLONG activeMask;
        ULONGLONG callerMask;
        WORD value;
        std::vector<ULONGLONG> masksRead;
    };
    SensorScript byMaximum;
    SensorScript byMinimum;
    byMinimum.flags = WM_SENSOR_FLAG_MINIMUM;
    SensorScript single;
    single.flags = WM_SENSOR_FLAG_SINGLE | WM_SENSOR_FLAG_MINIMUM;
    SensorScript otherPlace;
    otherPlace.place = 1;
    SensorScript otherKind;
    otherKind.kind = 2;
    const Case cases[] = {
        {"maximum over the active processors", byMaximum, 4, 0b1011, 0, 70, {0, 1, 2, 8}},
        {"minimum by flag bit 14", byMinimum, 4, 0b1011, 0, 40, {0, 1, 2, 8}},
        {"bit 15: no combination", single, 4, 0b1011, 0, 60, {0}},
        {"the caller's mask never combines", byMaximum, 4, 0b1011, 0b0100, 99, {0b0100}},
        {"a sensor of another place", otherPlace, 4, 0b1011, 0, 60, {0}},
        {"a sensor of another kind", otherKind, 4, 0b1011, 0, 60, {0}},
        {"no processor count", byMaximum, 0, 0b1011, 0, 60, {0}},
        {"no processor mask", byMaximum, 4, 0, 0, 60, {0}},
        {"a processor above bit 31", byMaximum, 1, 1ull << 40 | 0b0001, 0, 40, {0, 1, 1ull << 40}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        scriptProcessors(c.count, c.activeMask);
        wmfake::respond(0x2000, kSensor,
                        [script = c.script](const wmfake::Call& call) { return sensorAnswer(script, call); });
        WM_SENSOR_INFO info{};
        ASSERT_TRUE(WmSysGetSensorInfo(kSensor, &info, static_cast<DWORD>(c.callerMask),
                                       static_cast<DWORD>(c.callerMask >> 32)));
        EXPECT_EQ(info.value, c.value);
        EXPECT_EQ(info.data[0], 0x1234u);
        EXPECT_EQ(info.kind, c.script.kind);
        EXPECT_EQ(sensorMasks(), c.masksRead);
        for (const auto& call : wmfake::calls())
            if (call.group == 0x2000)
            {
                EXPECT_FALSE(call.driverLevel());
            }
    }
}

TEST_F(FakeApiTest, AFailedPerProcessorReadFailsTheCall)
{
    SensorScript script;
    script.failingMask = 0b0010;
    scriptProcessors();
    wmfake::respond(0x2000, kSensor,
                    [script](const wmfake::Call& call) { return sensorAnswer(script, call); });
    WM_SENSOR_INFO info;
    std::memset(&info, 0xEE, sizeof info);
    EXPECT_FALSE(WmSysGetSensorInfo(kSensor, &info, 0, 0));
    EXPECT_EQ(GetLastError(), 0x20000701u);
    const WM_SENSOR_INFO zero{};
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof info), 0);
    EXPECT_EQ(sensorMasks(), (std::vector<ULONGLONG>{0, 1, 2}));
}

TEST_F(FakeApiTest, SensorRecordsAreExactly56Bytes)
{
    wmfake::answer(0x2000, kSensor, bytes(std::vector<BYTE>(55, 1)));
    WM_SENSOR_INFO info{};
    EXPECT_FALSE(WmSysGetSensorInfo(kSensor, &info, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_FALSE(WmSysGetSensorInfo(0, &info, 0, 0)) << "sensors count from 1";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WmSysGetSensorInfo(kSensor, nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

struct Enumeration
{
    std::vector<WORD> values;
    size_t stopAfter = 100;
};

BOOL collect(const WM_SENSOR_INFO* info, PVOID context)
{
    auto* enumeration = static_cast<Enumeration*>(context);
    enumeration->values.push_back(info->value);
    return enumeration->values.size() < enumeration->stopAfter;
}

void scriptSensors(DWORD count)
{
    wmfake::answer(0x2000, 0, bytes(wmfake::bytesOf(count)));
    for (DWORD sensor = 1; sensor <= count; ++sensor)
    {
        WM_SENSOR_INFO info{};
        info.value = static_cast<WORD>(sensor * 10);
        const auto* raw = reinterpret_cast<const BYTE*>(&info);
        wmfake::answer(0x2000, sensor, bytes(std::vector<BYTE>(raw, raw + sizeof info)));
    }
}

TEST_F(FakeApiTest, EnumerationHandsEverySensorToTheCallback)
{
    struct Case
    {
        const char* name;
        DWORD count;
        size_t stopAfter;
        DWORD failingSensor;
        DWORD error;
        std::vector<WORD> values;
    };
    const Case cases[] = {
        {"all three", 3, 100, 0, 0, {10, 20, 30}},
        {"none", 0, 100, 0, 0, {}},
        {"the callback stops at the second", 3, 2, 0, ERROR_CANCELLED, {10, 20}},
        {"the second cannot be read", 3, 100, 2, 0x20000701, {10}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        wmfake::reset();
        scriptSensors(c.count);
        if (c.failingSensor)
            wmfake::answer(0x2000, c.failingSensor, failure(0x20000701));
        Enumeration enumeration;
        enumeration.stopAfter = c.stopAfter;
        SetLastError(kUntouched);
        EXPECT_EQ(WmSysEnumSensors(collect, &enumeration, 0, 0) != FALSE, c.error == 0);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(enumeration.values, c.values);
    }
    EXPECT_FALSE(WmSysEnumSensors(nullptr, nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FakeApiTest, EnumerationPassesTheCallersMask)
{
    scriptSensors(2);
    Enumeration enumeration;
    ASSERT_TRUE(WmSysEnumSensors(collect, &enumeration, 0x4, 0x1));
    const auto masks = sensorMasks();
    EXPECT_EQ(masks, (std::vector<ULONGLONG>{0, 0x100000004ull, 0x100000004ull}));
}

} // namespace
} // namespace boardkit::testing
