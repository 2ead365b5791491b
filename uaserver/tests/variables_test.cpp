// Variables: the stored value of device variables and the cached value of cache variables, with
// their type, shape and access checks, the change test that decides what is stored and sampled, the
// sampling items a cached variable tells, and the plain variable's attribute writes.
#include "testvalues.h"
#include "attributeids.h"
#include "cachesamplingitem.h"
#include "iomanageruanode.h"
#include "uadatavariabledevice.h"
#include "uavariablecache.h"
#include "uavariableplain.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace testvalues;

namespace
{

UaDateTime at(OpcUa_Int64 ticks)
{
    OpcUa_DateTime time;
    time.dwLowDateTime = static_cast<OpcUa_UInt32>(ticks);
    time.dwHighDateTime = static_cast<OpcUa_UInt32>(ticks >> 32);
    return UaDateTime(time);
}

// Counts what the variable tells it.
class CountingItem : public CacheSamplingItem
{
public:
    explicit CountingItem(OpcUa_UInt32 handle) : m_handle(handle) {}
    void sample() override { ++samples; }
    OpcUa_Int32 samplingInterval() const override { return 0; }
    const UaNumericRange* indexRange() const override { return nullptr; }
    bool getDeadband(OpcUa_Double& deadband) const override
    {
        deadband = 0.0;
        return false;
    }
    void variableRemoved() override { ++removals; }
    OpcUa_UInt32 itemHandle() const override { return m_handle; }

    int samples = 0;
    int removals = 0;

private:
    OpcUa_UInt32 m_handle;
};
} // namespace

TEST(Variables, DeviceVariablesCheckAccessTypeAndShapeBeforeTheyStore)
{
    struct Case
    {
        const char* name;
        OpcUa_UInt32 dataType;
        OpcUa_Int32 valueRank;
        OpcUa_Byte accessLevel;
        UaVariant value;
        bool checkAccessLevel;
        OpcUa_StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"Double into Double", OpcUaType_Double, -1, 3, UaVariant(2.5), true, OpcUa_Good},
        {"Int32 into Double", OpcUaType_Double, -1, 3, UaVariant(OpcUa_Int32(2)), true,
         OpcUa_BadTypeMismatch},
        {"Int32 into BaseDataType", 24, -1, 3, UaVariant(OpcUa_Int32(2)), true, OpcUa_Good},
        {"empty into Double", OpcUaType_Double, -1, 3, UaVariant(), true, OpcUa_BadTypeMismatch},
        {"array into an array", OpcUaType_Double, 1, 3, doubles({1, 2}), true, OpcUa_Good},
        {"array into a scalar", OpcUaType_Double, -1, 3, doubles({1, 2}), true, OpcUa_Good},
        {"scalar into an array", OpcUaType_Double, 1, 3, UaVariant(2.5), true, OpcUa_BadTypeMismatch},
        {"scalar into any rank", OpcUaType_Double, -2, 3, UaVariant(2.5), true, OpcUa_BadTypeMismatch},
        {"read only, checked", OpcUaType_Double, -1, 1, UaVariant(2.5), true, OpcUa_BadNotWritable},
        {"read only, unchecked", OpcUaType_Double, -1, 1, UaVariant(2.5), false, OpcUa_Good},
        {"read only, of another type", OpcUaType_Double, -1, 1, UaVariant(OpcUa_Int32(2)), true,
         OpcUa_BadNotWritable},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto* variable = new UaDataVariableDevice("Pressure", UaNodeId(1, 2), UaNodeId(c.dataType, 0),
                                                  c.valueRank, c.accessLevel, "en");
        EXPECT_EQ(variable->setValue(nullptr, dataValue(c.value), c.checkAccessLevel).statusCode(),
                  c.expected);
        const UaDataValue stored = variable->value(nullptr);
        if (c.expected == OpcUa_Good)
        {
            EXPECT_TRUE(stored.value() == c.value);
            EXPECT_TRUE(stored.isServerTimestampSet());
            EXPECT_TRUE(stored.isSourceTimestampSet());
        }
        else
        {
            EXPECT_TRUE(stored.value().isEmpty());
        }
        variable->releaseReference();
    }
    // Time stamps the writer gives are kept.
    auto* variable =
        new UaDataVariableDevice("Pressure", UaNodeId(1, 2), UaNodeId(OpcUaType_Double, 0), -1, 3, "en");
    UaDataValue stamped = dataValue(UaVariant(1.0));
    stamped.setSourceTimestamp(at(1000));
    stamped.setServerTimestamp(at(2000));
    ASSERT_TRUE(variable->setValue(nullptr, stamped, true).isGood());
    EXPECT_TRUE(UaDateTime(variable->value(nullptr).sourceTimestamp()) == at(1000));
    EXPECT_TRUE(UaDateTime(variable->value(nullptr).serverTimestamp()) == at(2000));
    EXPECT_EQ(variable->valueHandling(), 0x1u);
    EXPECT_EQ(variable->getVariableHandle(), nullptr);
    variable->releaseReference();
}

TEST(Variables, CacheVariablesCheckAccessThenShapeThenType)
{
    struct Case
    {
        const char* name;
        UaVariant initial;
        std::optional<OpcUa_Int32> valueRank;
        OpcUa_Byte accessLevel;
        UaDataValue value;
        bool checkAccessLevel;
        OpcUa_StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"Double into Double", UaVariant(1.0), {}, 3, dataValue(UaVariant(2.0)), true, OpcUa_Good},
        {"Int32 into Double",
         UaVariant(1.0),
         {},
         3,
         dataValue(UaVariant(OpcUa_Int32(2))),
         true,
         OpcUa_BadTypeMismatch},
        {"Int32 into BaseDataType",
         UaVariant(),
         {},
         3,
         dataValue(UaVariant(OpcUa_Int32(2))),
         true,
         OpcUa_Good},
        {"array into a scalar",
         UaVariant(1.0),
         {},
         3,
         dataValue(doubles({1, 2})),
         true,
         OpcUa_BadTypeMismatch},
        {"scalar into an array", doubles({1}), {}, 3, dataValue(UaVariant(2.0)), true, OpcUa_BadTypeMismatch},
        {"array into rank 0", UaVariant(1.0), 0, 3, dataValue(doubles({1, 2})), true, OpcUa_Good},
        {"scalar into rank 0", doubles({1}), 0, 3, dataValue(UaVariant(2.0)), true, OpcUa_BadTypeMismatch},
        {"array into any rank", UaVariant(1.0), -2, 3, dataValue(doubles({1})), true, OpcUa_Good},
        {"a bad status without value",
         UaVariant(1.0),
         {},
         3,
         dataValue(UaVariant(), OpcUa_BadCommunicationError),
         true,
         OpcUa_Good},
        {"an uncertain status without value",
         doubles({1}),
         {},
         3,
         dataValue(UaVariant(), OpcUa_UncertainLastUsableValue),
         true,
         OpcUa_Good},
        {"a good status without value",
         UaVariant(1.0),
         {},
         3,
         dataValue(UaVariant()),
         true,
         OpcUa_BadTypeMismatch},
        {"read only, checked", UaVariant(1.0), {}, 1, dataValue(UaVariant(2.0)), true, OpcUa_BadNotWritable},
        {"read only, unchecked", UaVariant(1.0), {}, 1, dataValue(UaVariant(2.0)), false, OpcUa_Good},
        // A variable that cannot be written says so, not that the value would not fit.
        {"access before a mismatch",
         UaVariant(1.0),
         {},
         1,
         dataValue(UaVariant(OpcUa_Int32(2))),
         true,
         OpcUa_BadNotWritable},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto* variable = new UaDataVariableCache("Speed", UaNodeId(1, 2), c.initial, c.accessLevel, "en");
        if (c.valueRank)
            variable->setValueRank(*c.valueRank);
        CountingItem item(1);
        variable->addSamplingItem(&item);
        EXPECT_EQ(variable->setValue(nullptr, c.value, c.checkAccessLevel).statusCode(), c.expected);
        const UaDataValue cached = variable->value(nullptr);
        EXPECT_EQ(item.samples, c.expected == OpcUa_Good ? 1 : 0);
        EXPECT_TRUE(cached == (c.expected == OpcUa_Good ? c.value : dataValue(c.initial)));
        variable->removeSamplingItem(&item);
        variable->releaseReference();
    }
}

TEST(Variables, ACacheVariableStoresAndSamplesOnlyWhatChanges)
{
    auto* variable = new UaDataVariableCache("Speed", UaNodeId(1, 2), UaVariant(1.0), 3, "en");
    CountingItem first(7);
    CountingItem second(8);
    variable->addSamplingItem(&first);
    variable->addSamplingItem(&second);
    UaDataValue initial = dataValue(UaVariant(1.0));
    initial.setSourceTimestamp(at(100));
    initial.setServerTimestamp(at(200));
    ASSERT_TRUE(variable->setValue(nullptr, initial, true).isGood());
    ASSERT_EQ(first.samples, 1);

    struct Step
    {
        const char* name;
        UaDataValue value;
        bool stored;
    };
    auto withTimes = [](double value, std::optional<OpcUa_Int64> source, std::optional<OpcUa_Int64> server,
                        OpcUa_StatusCode status = OpcUa_Good)
    {
        UaDataValue dv = dataValue(UaVariant(value), status);
        if (source)
            dv.setSourceTimestamp(at(*source));
        if (server)
            dv.setServerTimestamp(at(*server));
        return dv;
    };
    const std::vector<Step> steps = {
        {"same value, no time stamps", withTimes(1.0, {}, {}), false},
        {"same value, same time stamps", withTimes(1.0, 100, 200), false},
        {"same value, a new source time", withTimes(1.0, 101, {}), true},
        {"same value, the same source time again", withTimes(1.0, 101, {}), false},
        {"same value, a new server time", withTimes(1.0, {}, 300), true},
        {"same value, the same server time, a new source time", withTimes(1.0, 102, 300), true},
        {"a new status", withTimes(1.0, {}, {}, OpcUa_UncertainLastUsableValue), true},
        {"a new value", withTimes(2.0, {}, {}, OpcUa_UncertainLastUsableValue), true},
    };
    int samples = 1;
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.name);
        const UaDataValue before = variable->value(nullptr);
        ASSERT_TRUE(variable->setValue(nullptr, step.value, true).isGood());
        samples += step.stored ? 1 : 0;
        EXPECT_EQ(first.samples, samples);
        EXPECT_EQ(second.samples, samples);
        const UaDataValue after = variable->value(nullptr);
        if (!step.stored)
        {
            EXPECT_TRUE(after.isEqual(before, false));
            EXPECT_TRUE(UaDateTime(after.sourceTimestamp()) == UaDateTime(before.sourceTimestamp()));
            continue;
        }
        EXPECT_TRUE(after == step.value);
        // A stored value without time stamps is stamped now.
        EXPECT_TRUE(after.isSourceTimestampSet());
        if (step.value.isSourceTimestampSet())
        {
            EXPECT_TRUE(UaDateTime(after.sourceTimestamp()) == UaDateTime(step.value.sourceTimestamp()));
        }
    }
    // The cache's value is read with the server time of the read.
    EXPECT_FALSE(UaDateTime(variable->value(nullptr).serverTimestamp()) == at(300));

    std::vector<OpcUa_UInt32> handles{99};
    variable->copySamplingItems(handles);
    EXPECT_EQ(handles, (std::vector<OpcUa_UInt32>{7, 8}));
    variable->prepareRemove();
    EXPECT_EQ(first.removals, 1);
    EXPECT_EQ(second.removals, 1);
    EXPECT_EQ(variable->samplingItemCount(), 0u);
    // Items that are left when the variable ends are told too.
    CountingItem late(9);
    variable->addSamplingItem(&late);
    variable->releaseReference();
    EXPECT_EQ(late.removals, 1);
    EXPECT_EQ(first.removals, 1);
}

TEST(Variables, CacheVariablesTakeTypeAndRankFromTheirInitialValue)
{
    struct Case
    {
        const char* name;
        UaVariant initial;
        UaNodeId dataType;
        OpcUa_Int32 valueRank;
        OpcUa_UInt32 dimensions;
    };
    for (const Case& c : {Case{"scalar Double", UaVariant(2.0), UaNodeId(11, 0), -1, 0},
                          Case{"three Int32", int32s({1, 2, 3}), UaNodeId(6, 0), 1, 1},
                          Case{"empty", UaVariant(), UaNodeId(24, 0), -1, 0}})
    {
        SCOPED_TRACE(c.name);
        auto* variable = new UaDataVariableCache("Speed", UaNodeId(1, 2), c.initial, 1, "en");
        auto* property = new UaPropertyCache("Unit", UaNodeId(2, 2), c.initial, 1, "en");
        for (UaDataVariableCache* v : {variable, static_cast<UaDataVariableCache*>(property)})
        {
            EXPECT_EQ(v->dataType(), c.dataType);
            EXPECT_EQ(v->valueRank(), c.valueRank);
            UaUInt32Array dimensions;
            v->arrayDimensions(dimensions);
            ASSERT_EQ(dimensions.length(), c.dimensions);
            if (c.dimensions)
            {
                EXPECT_EQ(dimensions[0], 0u);
            }
            EXPECT_EQ(v->valueHandling(), 0x3u);
        }
        EXPECT_EQ(variable->typeDefinitionId(), UaNodeId(63, 0));
        EXPECT_EQ(property->typeDefinitionId(), UaNodeId(68, 0));
        variable->releaseReference();
        property->releaseReference();
    }
}

TEST(Variables, TheValueIsReadOnlyThroughBothAccessLevelsAndWrittenOnlyAsValue)
{
    struct Case
    {
        OpcUa_Byte accessLevel;
        OpcUa_Byte userAccessLevel;
        OpcUa_StatusCode read;
    };
    for (const Case& c :
         {Case{0, 1, OpcUa_BadNotReadable}, Case{1, 0, OpcUa_BadUserAccessDenied}, Case{1, 1, OpcUa_Good}})
    {
        auto* variable =
            new UaVariablePlain(UaNodeId(1, 2), UaQualifiedName("Temp", 2), UaLocalizedText("", "Temp"),
                                UaLocalizedText(), UaNodeId(63, 0), dataValue(UaVariant(4.0)),
                                UaNodeId(11, 0), -1, c.accessLevel, c.userAccessLevel, 100.0, false);
        UaDataValue read;
        variable->getAttributeValue(nullptr, AttributeId::Value, read);
        EXPECT_EQ(read.statusCode(), c.read) << int(c.accessLevel) << "/" << int(c.userAccessLevel);
        EXPECT_TRUE(read.isServerTimestampSet());
        variable->releaseReference();
    }
    auto* cache = new UaDataVariableCache("Speed", UaNodeId(1, 2), UaVariant(1.0), 3, "en");
    auto* device = new UaDataVariableDevice("Pressure", UaNodeId(2, 2), UaNodeId(11, 0), -1, 3, "en");
    for (UaVariable* v : {static_cast<UaVariable*>(cache), static_cast<UaVariable*>(device)})
    {
        UaVariant dataTypeId;
        dataTypeId.setNodeId(UaNodeId(6, 0));
        EXPECT_EQ(
            v->setAttributeValue(nullptr, AttributeId::DataType, dataValue(dataTypeId), false).statusCode(),
            OpcUa_BadNotWritable);
        EXPECT_EQ(
            v->setAttributeValue(nullptr, AttributeId::Value, dataValue(UaVariant(3.0)), true).statusCode(),
            OpcUa_Good);
        v->releaseReference();
    }
}

TEST(Variables, TheValueHandlingChoosesTheReadPath)
{
    // A variable of any value handling, for the I/O manager's routing.
    class Handled : public UaDataVariableCache
    {
    public:
        Handled(OpcUa_UInt32 handling)
            : UaDataVariableCache("V", UaNodeId(1, 2), UaVariant(1.0), 3, "en"), m_handling(handling)
        {
        }
        OpcUa_UInt32 valueHandling() const override { return m_handling; }

    private:
        OpcUa_UInt32 m_handling;
    };
    struct Case
    {
        OpcUa_UInt32 valueHandling;
        OpcUa_Int32 attributeId;
        bool queued;
    };
    for (const Case& c :
         {Case{0x1, 13, true}, Case{0x3, 13, false}, Case{0x7, 13, true}, Case{0x2, 13, false},
          Case{0x0, 13, true}, Case{0x1, 3, false}, Case{0x7, 15, false}})
    {
        auto* variable = new Handled(c.valueHandling);
        EXPECT_EQ(IOManagerUaNode::isQueued(variable, c.attributeId), c.queued)
            << c.valueHandling << " attribute " << c.attributeId;
        variable->releaseReference();
    }
}

TEST(Variables, PlainVariablesWriteTheirAttributesByMaskAndAccessLevel)
{
    struct Case
    {
        const char* name;
        OpcUa_UInt32 writeMask;
        OpcUa_Byte accessLevel;
        OpcUa_Int32 attributeId;
        UaVariant value;
        bool checkWriteMask;
        OpcUa_StatusCode expected;
    };
    UaVariant displayName;
    displayName.setLocalizedText(UaLocalizedText("de", "Temperatur"));
    UaVariant level;
    level.setByte(1);
    const std::vector<Case> cases = {
        {"DisplayName without its bit", 0, 3, 4, displayName, true, OpcUa_BadNotWritable},
        {"DisplayName with its bit", 0x40, 3, 4, displayName, true, OpcUa_Good},
        {"DisplayName unchecked", 0, 3, 4, displayName, false, OpcUa_Good},
        {"BrowseName given a LocalizedText", 0x4, 3, 3, displayName, true, OpcUa_BadTypeMismatch},
        {"Value without current write", 0, 1, 13, UaVariant(5.0), true, OpcUa_BadNotWritable},
        {"Value with current write", 0, 3, 13, UaVariant(5.0), true, OpcUa_Good},
        {"AccessLevel with its bit", 0x1, 3, 17, level, true, OpcUa_Good},
        {"AccessLevel without its bit", 0x40, 3, 17, level, true, OpcUa_BadNotWritable},
        {"UserAccessLevel with its bit", 0x10000, 3, 18, level, true, OpcUa_Good},
        {"AccessLevel given a Double", 0x1, 3, 17, UaVariant(1.0), true, OpcUa_BadTypeMismatch},
        {"IsAbstract", 0xFFFFFFFF, 3, 8, UaVariant(true), false, OpcUa_BadNotWritable},
        {"UserWriteMask", 0xFFFFFFFF, 3, 7, UaVariant(OpcUa_UInt32(1)), false, OpcUa_BadNotWritable},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto* variable =
            new UaVariablePlain(UaNodeId(1, 2), UaQualifiedName("Temp", 2), UaLocalizedText("", "Temp"),
                                UaLocalizedText(), UaNodeId(63, 0), dataValue(UaVariant(4.0)),
                                UaNodeId(11, 0), -1, c.accessLevel, c.accessLevel, 0.0, false);
        variable->setWriteMask(c.writeMask);
        EXPECT_EQ(variable->setAttributeValue(nullptr, c.attributeId, dataValue(c.value), c.checkWriteMask)
                      .statusCode(),
                  c.expected);
        UaDataValue read;
        variable->getAttributeValue(nullptr, c.attributeId, read);
        EXPECT_EQ(read.value() == c.value, c.expected == OpcUa_Good);
        variable->releaseReference();
    }
}
