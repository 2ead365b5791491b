#include "uadatavalue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
UaDataValue withDouble(double value, OpcUa_StatusCode status = OpcUa_Good)
{
    UaDataValue dv;
    dv.setValue(UaVariant(value), false, false);
    dv.setStatusCode(status);
    return dv;
}

UaDataValue withVariant(const UaVariant& value)
{
    UaDataValue dv;
    dv.setValue(value, false, false);
    return dv;
}

template <typename T>
UaVariant arrayOf(OpcUa_Byte type, const std::vector<T>& values, bool matrix = false,
                  std::vector<OpcUa_Int32> dims = {})
{
    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = type;
    void* block = OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(values.size() * sizeof(T)));
    std::memcpy(block, values.data(), values.size() * sizeof(T));
    if (!matrix)
    {
        raw.ArrayType = OpcUa_VariantArrayType_Array;
        raw.Value.Array.Length = static_cast<OpcUa_Int32>(values.size());
        raw.Value.Array.Value.Array = block;
    }
    else
    {
        raw.ArrayType = OpcUa_VariantArrayType_Matrix;
        raw.Value.Matrix.NoOfDimensions = static_cast<OpcUa_Int32>(dims.size());
        raw.Value.Matrix.Dimensions = static_cast<OpcUa_Int32*>(
            OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(dims.size() * sizeof(OpcUa_Int32))));
        std::memcpy(raw.Value.Matrix.Dimensions, dims.data(), dims.size() * sizeof(OpcUa_Int32));
        raw.Value.Matrix.Value.Array = block;
    }
    UaVariant v;
    v.attach(raw);
    return v;
}
UaVariant stringArray(const char* text)
{
    UaVariant v{UaString(text)};
    EXPECT_EQ(v.changeType(OpcUaType_String, true), OpcUa_Good);
    return v;
}
} // namespace

TEST(UaDataValue, EmptyByDefault)
{
    UaDataValue dv;
    EXPECT_EQ(dv.statusCode(), OpcUa_Good);
    EXPECT_FALSE(dv.isSourceTimestampSet());
    EXPECT_FALSE(dv.isServerTimestampSet());
    EXPECT_EQ(static_cast<const OpcUa_DataValue*>(dv)->Value.Datatype, OpcUaType_Null);
    UaDataValue other;
    EXPECT_TRUE(dv.sharesRecordWith(other));
    EXPECT_TRUE(dv == other);
}

TEST(UaDataValue, CopyOnWrite)
{
    UaDataValue first = withDouble(1.0);
    UaDataValue second = first;
    EXPECT_TRUE(first.sharesRecordWith(second));

    second.setStatusCode(OpcUa_BadInternalError);
    EXPECT_FALSE(first.sharesRecordWith(second));
    EXPECT_EQ(first.statusCode(), OpcUa_Good);
    EXPECT_EQ(second.statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(static_cast<const OpcUa_DataValue*>(second)->Value.Value.Double, 1.0)
        << "the copy keeps the value";

    // The sole owner changes its record in place.
    const OpcUa_DataValue* before = first;
    first.setSourceTimestamp(UaDateTime::fromInt64(5));
    first.setServerTimestamp(UaDateTime::fromInt64(6));
    EXPECT_EQ(static_cast<const OpcUa_DataValue*>(first), before);
    EXPECT_EQ(UaDateTime(first.sourceTimestamp()).toInt64(), 5);
    EXPECT_EQ(UaDateTime(first.serverTimestamp()).toInt64(), 6);
    EXPECT_TRUE(first.isSourceTimestampSet());
    EXPECT_FALSE(second.isSourceTimestampSet());

    first.clear();
    EXPECT_TRUE(first.sharesRecordWith(UaDataValue()));
}

TEST(UaDataValue, SetValueCopiesOrTakesOver)
{
    UaVariant value(UaString("text"));
    UaDataValue dv;
    dv.setStatusCode(OpcUa_BadWaitingForInitialData);
    dv.setValue(value, false, true);
    EXPECT_EQ(dv.statusCode(), OpcUa_Good) << "a new value is Good";
    EXPECT_TRUE(dv.isSourceTimestampSet());
    EXPECT_TRUE(dv.isServerTimestampSet());
    EXPECT_FALSE(value.isEmpty());

    dv.setValue(value, true, false);
    EXPECT_TRUE(value.isEmpty()) << "taken over";
    EXPECT_STREQ(static_cast<const OpcUa_DataValue*>(dv)->Value.Value.String.strContent, "text");

    OpcUa_Variant raw;
    OpcUa_Variant_Initialize(&raw);
    raw.Datatype = OpcUaType_Int32;
    raw.Value.Int32 = 9;
    dv.setValue(raw, true, false);
    EXPECT_EQ(raw.Datatype, OpcUaType_Null);
    EXPECT_EQ(static_cast<const OpcUa_DataValue*>(dv)->Value.Value.Int32, 9);

    const UaVariant constant(OpcUa_Int32(4));
    dv.setValue(constant, true, false);
    EXPECT_FALSE(constant.isEmpty()) << "a const variant is copied";
}

TEST(UaDataValue, DetachToAndCopyTo)
{
    UaDataValue dv = withDouble(2.5, OpcUa_UncertainInitialValue);
    UaDataValue shared = dv;
    OpcUa_DataValue target;
    OpcUa_DataValue_Initialize(&target);
    EXPECT_EQ(dv.detachTo(&target), nullptr) << "shared: nothing moves";
    EXPECT_EQ(dv.statusCode(), OpcUa_UncertainInitialValue);
    EXPECT_EQ(shared.statusCode(), OpcUa_UncertainInitialValue);

    shared.clear();
    EXPECT_EQ(dv.detachTo(&target), &target);
    EXPECT_EQ(target.StatusCode, OpcUa_UncertainInitialValue);
    EXPECT_EQ(target.Value.Value.Double, 2.5);
    EXPECT_TRUE(dv.sharesRecordWith(UaDataValue()));
    OpcUa_DataValue_Clear(&target);

    UaDataValue empty;
    EXPECT_EQ(empty.detachTo(&target), nullptr);

    UaDataValue source = withVariant(UaVariant(UaString("deep")));
    source.setServerTimestamp(UaDateTime::fromInt64(77));
    OpcUa_DataValue copy;
    source.copyTo(&copy);
    OpcUa_DataValue* allocated = UaDataValue::copyTo(source);
    ASSERT_NE(allocated, nullptr);
    source.clear();
    EXPECT_STREQ(copy.Value.Value.String.strContent, "deep");
    EXPECT_EQ(UaDateTime(copy.ServerTimestamp).toInt64(), 77);
    EXPECT_TRUE(UaDataValue(copy) == UaDataValue(*allocated));
    OpcUa_DataValue_Clear(&copy);
    OpcUa_DataValue_Clear(allocated);
    OpcUa_Memory_Free(allocated);
}

TEST(UaDataValue, Equality)
{
    EXPECT_TRUE(withDouble(1.0) == withDouble(1.0));
    EXPECT_FALSE(withDouble(1.0) == withDouble(1.0, OpcUa_BadInternalError));
    EXPECT_FALSE(withDouble(1.0) == withDouble(2.0));
    UaDataValue a = withDouble(1.0);
    a.setSourceTimestamp(UaDateTime::fromInt64(1));
    EXPECT_TRUE(a == withDouble(1.0)) << "time stamps do not count";
    EXPECT_TRUE(a != withDouble(3.0));
}

TEST(UaDataValue, CheckDeadband)
{
    struct Case
    {
        const char* name;
        UaDataValue last;
        UaDataValue current;
        double deadband;
        OpcUa_StatusCode status;
        bool changed;
    };
    UaVariant int64Max;
    int64Max.setInt64(9000000000000000000ll);
    UaVariant int64Less;
    int64Less.setInt64(8999999999999990000ll);
    UaVariant uint32Big;
    uint32Big.setUInt32(4294967295u);
    UaVariant uint32Small;
    uint32Small.setUInt32(4294967294u);
    const Case cases[] = {
        {"within", withDouble(1.0), withDouble(1.5), 0.5, OpcUa_Good, false},
        {"beyond", withDouble(1.0), withDouble(1.6), 0.5, OpcUa_Good, true},
        {"downward", withDouble(1.6), withDouble(1.0), 0.5, OpcUa_Good, true},
        {"deadband 0", withDouble(1.0), withDouble(1.0), 0.0, OpcUa_Good, true},
        {"negative deadband", withDouble(1.0), withDouble(1.0), -1.0, OpcUa_Good, true},
        {"status differs", withDouble(1.0), withDouble(1.0, OpcUa_BadInternalError), 5.0, OpcUa_Good, true},
        {"type differs", withDouble(1.0), withVariant(UaVariant(OpcUa_Int32(1))), 5.0, OpcUa_Good, true},
        {"strings", withVariant(UaVariant(UaString("a"))), withVariant(UaVariant(UaString("b"))), 1.0,
         OpcUa_BadTypeMismatch, false},
        {"booleans", withVariant(UaVariant(true)), withVariant(UaVariant(false)), 1.0, OpcUa_BadTypeMismatch,
         false},
        {"int64", withVariant(int64Max), withVariant(int64Less), 100000.0, OpcUa_Good, false},
        {"unsigned", withVariant(uint32Big), withVariant(uint32Small), 0.5, OpcUa_Good, true},
        {"array lengths", withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 2})),
         withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 2, 3})), 1.0, OpcUa_Good, true},
        {"array within", withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 2})),
         withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {2, 3})), 1.0, OpcUa_Good, false},
        {"array beyond", withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 2})),
         withVariant(arrayOf<OpcUa_Int32>(OpcUaType_Int32, {1, 4})), 1.0, OpcUa_Good, true},
        {"unsigned array", withVariant(arrayOf<OpcUa_UInt32>(OpcUaType_UInt32, {4294967295u})),
         withVariant(arrayOf<OpcUa_UInt32>(OpcUaType_UInt32, {0})), 1.0, OpcUa_Good, true},
        {"string array", withVariant(stringArray("{a}")), withVariant(stringArray("{b}")), 1.0,
         OpcUa_BadTypeMismatch, false},
        {"matrix within", withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4}, true, {2, 2})),
         withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4.5}, true, {2, 2})), 0.5, OpcUa_Good,
         false},
        {"matrix beyond", withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4}, true, {2, 2})),
         withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4.6}, true, {2, 2})), 0.5, OpcUa_Good,
         true},
        {"matrix shape", withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4}, true, {2, 2})),
         withVariant(arrayOf<OpcUa_Double>(OpcUaType_Double, {1, 2, 3, 4}, true, {4, 1})), 0.5, OpcUa_Good,
         true},
    };
    for (const Case& c : cases)
    {
        bool changed = !c.changed;
        EXPECT_EQ(UaDataValue::checkDeadband(c.last, c.current, c.deadband, changed), c.status) << c.name;
        EXPECT_EQ(changed, c.changed) << c.name;
        bool alias = !c.changed;
        EXPECT_EQ(UaDataValue::compareWithDeadband(c.last, c.current, c.deadband, alias), c.status) << c.name;
        EXPECT_EQ(alias, c.changed) << c.name;
    }
}

TEST(UaDataValue, SharedCopiesFromManyThreads)
{
    const UaDataValue shared = withVariant(UaVariant(UaString("shared")));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&shared, t]
            {
                for (int i = 0; i < 5000; ++i)
                {
                    UaDataValue copy = shared;
                    if (i % 2 == 0)
                        copy.setStatusCode(static_cast<OpcUa_StatusCode>(t));
                    UaDataValue other;
                    other = copy;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(shared.statusCode(), OpcUa_Good);
    EXPECT_STREQ(static_cast<const OpcUa_DataValue*>(shared)->Value.Value.String.strContent, "shared");
}

TEST(UaDataValue, SetValueStampsEachTimeStampOnItsOwnRequest)
{
    struct Case
    {
        bool source, server;
    };
    for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}})
    {
        UaDataValue dv;
        dv.setStatusCode(OpcUa_BadWaitingForInitialData);
        dv.setValue(UaVariant(OpcUa_Int32(5)), false, c.source, c.server);
        EXPECT_EQ(dv.statusCode(), OpcUa_Good);
        EXPECT_EQ(dv.isSourceTimestampSet(), c.source) << c.source << c.server;
        EXPECT_EQ(dv.isServerTimestampSet(), c.server) << c.source << c.server;
    }
    UaVariant taken(UaString("moved"));
    UaDataValue dv;
    dv.setValue(taken, true, false, true);
    EXPECT_TRUE(taken.isEmpty()) << "taken over";
    EXPECT_STREQ(dv.value().toString().toUtf8(), "moved");
}

TEST(UaDataValue, ValueIsACopyThatOutlivesTheDataValue)
{
    UaDataValue dv = withVariant(UaVariant(UaString("kept")));
    UaVariant value = dv.value();
    dv.clear();
    EXPECT_EQ(value.type(), OpcUaType_String);
    EXPECT_STREQ(value.toString().toUtf8(), "kept");
    EXPECT_TRUE(UaDataValue().value().isEmpty());
}

TEST(UaDataValue, ServerTimestampWithPicosecondsIsCopyOnWrite)
{
    UaDataValue dv = withDouble(1.0);
    UaDataValue shared = dv;
    dv.setServerTimestamp(UaDateTime::fromInt64(1234), 77);
    EXPECT_EQ(UaDateTime(dv.serverTimestamp()).toInt64(), 1234);
    EXPECT_EQ(dv.serverPicoseconds(), 77);
    EXPECT_FALSE(shared.isServerTimestampSet());
    EXPECT_EQ(shared.serverPicoseconds(), 0);
}

TEST(UaDataValue, EqualityWithTimeStamps)
{
    auto stamped = [](double value, OpcUa_Int64 source, OpcUa_Int64 server, OpcUa_UInt16 picoseconds)
    {
        UaDataValue dv = withDouble(value);
        dv.setSourceTimestamp(UaDateTime::fromInt64(source));
        dv.setServerTimestamp(UaDateTime::fromInt64(server), picoseconds);
        return dv;
    };
    const UaDataValue base = stamped(1.0, 10, 20, 3);
    struct Case
    {
        const char* name;
        UaDataValue other;
        bool withoutTimestamps, withTimestamps;
    };
    const Case cases[] = {
        {"same stamps", stamped(1.0, 10, 20, 3), true, true},
        {"other source time", stamped(1.0, 11, 20, 3), true, false},
        {"other server time", stamped(1.0, 10, 21, 3), true, false},
        {"other server picoseconds", stamped(1.0, 10, 20, 4), true, false},
        {"other value", stamped(2.0, 10, 20, 3), false, false},
        {"same record", base, true, true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(base.isEqual(c.other, false), c.withoutTimestamps) << c.name;
        EXPECT_EQ(base.isEqual(c.other, true), c.withTimestamps) << c.name;
        EXPECT_EQ(base == c.other, c.withoutTimestamps) << c.name;
    }
}
