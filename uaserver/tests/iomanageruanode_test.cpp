// Read and write transactions of the UaNode I/O manager: items answered at once or queued and run
// in one batch on the pool (or inline when the pool refuses), index ranges, time stamps, refused
// writes, failing and miscounting batches, and what a transaction holds while its job waits.
#include "testvalues.h"
#include "nodemanagertestbed.h"
#include "testaddressspace.h"

#include "attributeids.h"
#include "iojobpool.h"
#include "uadatavariabledevice.h"
#include "uavariablecache.h"

#include <atomic>
#include <map>

using namespace testbed;

using namespace testvalues;

namespace
{

// Stands for a session: only its count matters to the I/O manager.
class CountedSession : public ReferenceCounter
{
};

// One item of a transaction.
struct Item
{
    Item(const UaNodeId& nodeId, OpcUa_Int32 attribute = AttributeId::Value, const char* range = "",
         const char* encoding = "", const UaDataValue& written = UaDataValue(), bool noHandle = false)
        : node(nodeId), attributeId(attribute), indexRange(range), dataEncoding(encoding), value(written),
          withoutHandle(noHandle)
    {
    }

    UaNodeId node;
    OpcUa_Int32 attributeId;
    const char* indexRange;
    const char* dataEncoding;
    // For writes.
    UaDataValue value;
    // Whether the item is sent without a handle.
    bool withoutHandle;
};

// The namespace the transactions run on: two cached and three device variables and an object.
class IOTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(nm.startUp(&server.serverManager).isGood());
        device[UaNodeId(3, 2)] = UaVariant(7.25);
        device[UaNodeId(4, 2)] = doubles({1, 2, 3, 4});
        device[UaNodeId(6, 2)] = UaVariant(0.5);
        nm.readHook = [this](const UaVariableArray& variables, UaDataValueArray& values)
        {
            ++batches;
            values.create(variables.length());
            for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
            {
                UaDataValue value;
                value.setValue(device[variables[i]->nodeId()], false, true);
                value.copyTo(&values[i]);
            }
            return UaStatus(OpcUa_Good);
        };
    }
    void TearDown() override { nm.shutDown(); }

    static UaStatus build(TestNodeManager& nm)
    {
        UaStatus status =
            nm.addUaNode(new UaDataVariableCache("Speed", UaNodeId(1, 2), UaVariant(1.5), 3, "en"));
        UaInt32Array ratios;
        ratios.create(4);
        for (OpcUa_UInt32 i = 0; i < 4; ++i)
            ratios[i] = static_cast<OpcUa_Int32>(10 * (i + 1));
        OpcUa_Variant v;
        OpcUa_Variant_Initialize(&v);
        v.Datatype = OpcUaType_Int32;
        v.ArrayType = OpcUa_VariantArrayType_Array;
        v.Value.Array.Length = 4;
        v.Value.Array.Value.Int32Array = ratios.data();
        ratios.detach();
        UaVariant ratioValue;
        ratioValue.attach(v);
        status = nm.addUaNode(new UaDataVariableCache("Ratios", UaNodeId(2, 2), ratioValue, 3, "en"));
        nm.addUaNode(new UaDataVariableDevice("Pressure", UaNodeId(3, 2), UaNodeId(11, 0), -1, 3, "en"));
        nm.addUaNode(new UaDataVariableDevice("Samples", UaNodeId(4, 2), UaNodeId(11, 0), 1, 3, "en"));
        nm.addUaNode(testspace::newObject(UaNodeId(5, 2), "Box"));
        nm.addUaNode(new UaDataVariableDevice("Fixed", UaNodeId(6, 2), UaNodeId(11, 0), -1, 1, "en"));
        nm.addUaNode(new UaDataVariableCache("Anything", UaNodeId(7, 2), UaVariant(), 3, "en"));
        return status;
    }

    // Begins every item of one transaction; the statuses of the begin calls, in order.
    std::vector<OpcUa_StatusCode>
    run(OpcUa_UInt32 type, const std::vector<Item>& items,
        OpcUa_TimestampsToReturn timestampsToReturn = OpcUa_TimestampsToReturn_Both,
        const ServiceContext& context = ServiceContext(), RecordingCallback* answers = nullptr)
    {
        OpcUa_Handle transaction = nullptr;
        EXPECT_TRUE(nm.beginTransaction(answers ? answers : &callback, context, 42,
                                        static_cast<OpcUa_UInt32>(items.size()), 0.0, timestampsToReturn,
                                        type, transaction)
                        .isGood());
        std::vector<OpcUa_StatusCode> statuses;
        for (std::size_t i = 0; i < items.size(); ++i)
        {
            const Item& item = items[i];
            VariableHandle* handle =
                item.withoutHandle
                    ? nullptr
                    : nm.getVariableHandle(nullptr, type, item.node.toOpcUaNodeId(), item.attributeId);
            const auto callbackHandle = static_cast<OpcUa_UInt32>(i + 1);
            if (type == IOTransactionType::Read)
            {
                OpcUa_ReadValueId readValueId;
                OpcUa_ReadValueId_Initialize(&readValueId);
                item.node.copyTo(&readValueId.NodeId);
                readValueId.AttributeId = static_cast<OpcUa_UInt32>(item.attributeId);
                UaString(item.indexRange).copyTo(&readValueId.IndexRange);
                UaString(item.dataEncoding).copyTo(&readValueId.DataEncoding.Name);
                statuses.push_back(
                    nm.beginRead(transaction, callbackHandle, handle, &readValueId).statusCode());
                OpcUa_ReadValueId_Clear(&readValueId);
            }
            else
            {
                OpcUa_WriteValue writeValue;
                OpcUa_WriteValue_Initialize(&writeValue);
                item.node.copyTo(&writeValue.NodeId);
                writeValue.AttributeId = static_cast<OpcUa_UInt32>(item.attributeId);
                UaString(item.indexRange).copyTo(&writeValue.IndexRange);
                item.value.copyTo(&writeValue.Value);
                statuses.push_back(
                    nm.beginWrite(transaction, callbackHandle, handle, &writeValue).statusCode());
                OpcUa_WriteValue_Clear(&writeValue);
            }
            if (handle)
                handle->releaseReference();
        }
        EXPECT_TRUE(nm.finishTransaction(transaction).isGood());
        return statuses;
    }

    UaDataValue valueOf(const UaNodeId& nodeId)
    {
        auto node = ReferenceHolder<UaNode>::adopt(nm.getNode(nodeId));
        return static_cast<UaVariable*>(node.get())->value(nullptr);
    }

    TestServer server;
    TestNodeManager nm{"urn:test:io", build};
    RecordingCallback callback;
    std::map<UaNodeId, UaVariant> device;
    std::atomic<int> batches{0};
};

UaVariant qualifiedName(const char* name, OpcUa_UInt16 ns)
{
    UaVariant v;
    v.setQualifiedName(UaQualifiedName(name, ns));
    return v;
}

struct ReadCase
{
    const char* name;
    Item item;
    OpcUa_StatusCode begin;
    // For accepted items: the answer's status and value, and whether it came from the batch.
    OpcUa_StatusCode answer;
    UaVariant value;
    bool fromBatch;
};

std::vector<ReadCase> readCases()
{
    return {
        {"cached value", {UaNodeId(1, 2)}, OpcUa_Good, OpcUa_Good, UaVariant(1.5), false},
        {"cached array cut to 1:2",
         {UaNodeId(2, 2), 13, "1:2"},
         OpcUa_Good,
         OpcUa_Good,
         int32s({20, 30}),
         false},
        {"a range on the browse name",
         {UaNodeId(2, 2), 3, "1:2"},
         OpcUa_Good,
         OpcUa_BadIndexRangeInvalid,
         UaVariant(),
         false},
        {"the browse name", {UaNodeId(3, 2), 3}, OpcUa_Good, OpcUa_Good, qualifiedName("Pressure", 2), false},
        {"device value", {UaNodeId(3, 2)}, OpcUa_Good, OpcUa_Good, UaVariant(7.25), true},
        {"device array cut to 1:2",
         {UaNodeId(4, 2), 13, "1:2"},
         OpcUa_Good,
         OpcUa_Good,
         doubles({2, 3}),
         true},
        {"a range that does not parse",
         {UaNodeId(4, 2), 13, "2:1"},
         OpcUa_Good,
         OpcUa_BadIndexRangeInvalid,
         UaVariant(),
         false},
        {"the value of an object",
         {UaNodeId(5, 2)},
         OpcUa_Good,
         OpcUa_BadAttributeIdInvalid,
         UaVariant(),
         false},
        {"attribute 0", {UaNodeId(1, 2), 0}, OpcUa_BadAttributeIdInvalid, 0, UaVariant(), false},
        {"attribute 23", {UaNodeId(1, 2), 23}, OpcUa_BadAttributeIdInvalid, 0, UaVariant(), false},
        {"a data encoding",
         {UaNodeId(1, 2), 13, "", "Default Binary"},
         OpcUa_BadDataEncodingUnsupported,
         0,
         UaVariant(),
         false},
        {"no handle",
         {UaNodeId(99, 2), 13, "", "", UaDataValue(), true},
         OpcUa_BadNodeIdUnknown,
         0,
         UaVariant(),
         false},
    };
}

// Runs the read table in one transaction and checks every item was answered as its row says.
void checkReadBatch(IOTest& test, RecordingCallback& callback, std::vector<OpcUa_StatusCode> begun,
                    std::thread::id batchThread, bool batchOnOtherThread)
{
    const std::vector<ReadCase> cases = readCases();
    std::size_t accepted = 0;
    for (std::size_t i = 0; i < cases.size(); ++i)
        accepted += cases[i].begin == OpcUa_Good ? 1 : 0;
    const std::vector<Answer> answers = callback.waitFor(accepted);
    EXPECT_EQ(answers.size(), accepted);
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        const ReadCase& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(begun[i], c.begin);
        if (c.begin != OpcUa_Good)
            continue;
        const Answer answer = callback.answerTo(static_cast<OpcUa_UInt32>(i + 1));
        EXPECT_EQ(answer.kind, "read");
        EXPECT_EQ(answer.hTransaction, 42u);
        EXPECT_EQ(answer.status, c.answer);
        EXPECT_TRUE(answer.value.value() == c.value) << answer.value.value().toString().toUtf8();
        EXPECT_TRUE(answer.mayMove);
        EXPECT_EQ(answer.sendNow, c.fromBatch);
        if (c.fromBatch)
            EXPECT_EQ(answer.thread != batchThread, batchOnOtherThread);
        else
            EXPECT_EQ(answer.thread, std::this_thread::get_id());
    }
    (void)test;
}
} // namespace

TEST_F(IOTest, AReadBatchAnswersEveryAcceptedItemOnceOnThePool)
{
    std::vector<Item> items;
    for (const ReadCase& c : readCases())
        items.push_back(c.item);
    const std::vector<OpcUa_StatusCode> begun = run(IOTransactionType::Read, items);
    checkReadBatch(*this, callback, begun, std::this_thread::get_id(), true);
    EXPECT_EQ(batches, 1);
    // The batch stored the device values in full, not only the part that was asked for.
    EXPECT_TRUE(valueOf(UaNodeId(3, 2)).value() == UaVariant(7.25));
    EXPECT_TRUE(valueOf(UaNodeId(4, 2)).value() == doubles({1, 2, 3, 4}));
}

TEST_F(IOTest, ARefusingPoolRunsTheBatchOnTheCallingThread)
{
    RefusingPool refusing;
    nm.setJobPool(&refusing);
    std::vector<Item> items;
    for (const ReadCase& c : readCases())
        items.push_back(c.item);
    const std::vector<OpcUa_StatusCode> begun = run(IOTransactionType::Read, items);
    // Everything is answered by the time finishTransaction returns.
    const std::size_t answered = callback.answers().size();
    checkReadBatch(*this, callback, begun, std::this_thread::get_id(), false);
    EXPECT_EQ(callback.answers().size(), answered);
    EXPECT_EQ(refusing.refused, 1);
    nm.setJobPool(nullptr);
}

TEST_F(IOTest, TimestampsToReturnClearWhatWasNotAskedFor)
{
    struct Case
    {
        OpcUa_TimestampsToReturn timestamps;
        bool source;
        bool server;
    };
    // The cached variable answers at once, the device variable from the batch: both follow the rule.
    {
        auto speed = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(1, 2)));
        ASSERT_TRUE(static_cast<UaVariable*>(speed.get())
                        ->setValue(nullptr, dataValue(UaVariant(4.0)), false)
                        .isGood());
    }
    for (const Case& c :
         {Case{OpcUa_TimestampsToReturn_Source, true, false},
          Case{OpcUa_TimestampsToReturn_Server, false, true}, Case{OpcUa_TimestampsToReturn_Both, true, true},
          Case{OpcUa_TimestampsToReturn_Neither, false, false}})
    {
        SCOPED_TRACE(c.timestamps);
        RecordingCallback fresh;
        run(IOTransactionType::Read, {{UaNodeId(1, 2)}, {UaNodeId(3, 2)}}, c.timestamps, ServiceContext(),
            &fresh);
        const std::vector<Answer> answers = fresh.waitFor(2);
        for (const Answer& answer : answers)
        {
            EXPECT_EQ(answer.value.isSourceTimestampSet(), c.source) << answer.callbackHandle;
            EXPECT_EQ(answer.value.isServerTimestampSet(), c.server) << answer.callbackHandle;
            EXPECT_EQ(answer.value.sourcePicoseconds(), 0);
        }
    }
}

namespace
{
UaDataValue withSourceTime(UaDataValue value)
{
    value.setSourceTimestamp(UaDateTime::now());
    return value;
}

UaDataValue withStatus(UaDataValue value, OpcUa_StatusCode status)
{
    value.setStatusCode(status);
    return value;
}
} // namespace

TEST_F(IOTest, AWriteBatchAnswersEveryAcceptedItemOnce)
{
    // The device takes what it is given, and answers per item.
    std::vector<std::string> written;
    nm.writeHook = [&written](const UaVariableArray& variables, const UaDataValueArray& values,
                              UaStatusCodeArray& statuses)
    {
        statuses.create(variables.length());
        for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
        {
            written.push_back(std::string(variables[i]->browseName().name().toUtf8()) + "=" +
                              UaVariant(values[i].Value).toString().toUtf8());
            statuses[i] = variables[i]->accessLevel() & 2 ? OpcUa_Good : OpcUa_BadNotWritable;
        }
        return UaStatus(OpcUa_Good);
    };
    // Samples holds an array, so that a range can be written into it.
    ASSERT_TRUE(valueOf(UaNodeId(4, 2)).value().isEmpty());
    {
        auto samples = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(4, 2)));
        ASSERT_TRUE(static_cast<UaVariable*>(samples.get())
                        ->setValue(nullptr, dataValue(doubles({1, 2})), false)
                        .isGood());
    }
    UaVariant newName;
    newName.setLocalizedText(UaLocalizedText("en", "Velocity"));
    struct WriteCase
    {
        const char* name;
        Item item;
        OpcUa_StatusCode begin;
        OpcUa_StatusCode answer;
        bool fromBatch;
    };
    const std::vector<WriteCase> cases = {
        {"cached value",
         {UaNodeId(1, 2), 13, "", "", dataValue(UaVariant(2.5))},
         OpcUa_Good,
         OpcUa_Good,
         false},
        {"cached value of another type",
         {UaNodeId(1, 2), 13, "", "", dataValue(UaVariant(OpcUa_Int32(3)))},
         OpcUa_Good,
         OpcUa_BadTypeMismatch,
         false},
        {"a source time",
         {UaNodeId(1, 2), 13, "", "", withSourceTime(dataValue(UaVariant(2.5)))},
         OpcUa_BadWriteNotSupported,
         0,
         false},
        {"a status",
         {UaNodeId(1, 2), 13, "", "", withStatus(dataValue(UaVariant(2.5)), OpcUa_UncertainLastUsableValue)},
         OpcUa_BadWriteNotSupported,
         0,
         false},
        {"a display name",
         {UaNodeId(1, 2), 4, "", "", dataValue(newName)},
         OpcUa_Good,
         OpcUa_BadNotWritable,
         false},
        {"element 1 of a cached array",
         {UaNodeId(2, 2), 13, "1", "", dataValue(int32s({99}))},
         OpcUa_Good,
         OpcUa_Good,
         false},
        {"a range on the browse name",
         {UaNodeId(2, 2), 3, "1", "", dataValue(qualifiedName("X", 2))},
         OpcUa_BadIndexRangeInvalid,
         0,
         false},
        {"device value",
         {UaNodeId(3, 2), 13, "", "", dataValue(UaVariant(9.0))},
         OpcUa_Good,
         OpcUa_Good,
         true},
        {"read-only device value",
         {UaNodeId(6, 2), 13, "", "", dataValue(UaVariant(1.0))},
         OpcUa_Good,
         OpcUa_BadNotWritable,
         true},
        {"a range on a device value",
         {UaNodeId(4, 2), 13, "0", "", dataValue(doubles({5}))},
         OpcUa_BadIndexRangeInvalid,
         0,
         false},
        {"the value of an object",
         {UaNodeId(5, 2), 13, "", "", dataValue(UaVariant(1.0))},
         OpcUa_Good,
         OpcUa_BadNotWritable,
         false},
        {"attribute 0",
         {UaNodeId(1, 2), 0, "", "", dataValue(UaVariant(1.0))},
         OpcUa_BadAttributeIdInvalid,
         0,
         false},
        {"no handle",
         {UaNodeId(99, 2), 13, "", "", dataValue(UaVariant(1.0)), true},
         OpcUa_BadNodeIdUnknown,
         0,
         false},
    };
    std::vector<Item> items;
    std::size_t accepted = 0;
    for (const WriteCase& c : cases)
    {
        items.push_back(c.item);
        accepted += c.begin == OpcUa_Good ? 1 : 0;
    }
    const std::vector<OpcUa_StatusCode> begun = run(IOTransactionType::Write, items);
    EXPECT_EQ(callback.waitFor(accepted).size(), accepted);
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        const WriteCase& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(begun[i], c.begin);
        if (c.begin != OpcUa_Good)
            continue;
        const Answer answer = callback.answerTo(static_cast<OpcUa_UInt32>(i + 1));
        EXPECT_EQ(answer.kind, "write");
        EXPECT_EQ(answer.status, c.answer);
        EXPECT_EQ(answer.sendNow, c.fromBatch);
    }
    EXPECT_EQ(written, (std::vector<std::string>{"Pressure=9", "Fixed=1"}));
    EXPECT_TRUE(valueOf(UaNodeId(1, 2)).value() == UaVariant(2.5));
    EXPECT_TRUE(valueOf(UaNodeId(2, 2)).value() == int32s({10, 99, 30, 40}));
    EXPECT_TRUE(valueOf(UaNodeId(4, 2)).value() == doubles({1, 2}));

    // An I/O manager that lets time stamps be written takes them.
    RecordingCallback stamped;
    nm.setTimestampsWritable(true);
    EXPECT_EQ(run(IOTransactionType::Write,
                  {{UaNodeId(1, 2), 13, "", "", withSourceTime(dataValue(UaVariant(3.5)))}},
                  OpcUa_TimestampsToReturn_Neither, ServiceContext(), &stamped),
              std::vector<OpcUa_StatusCode>{OpcUa_Good});
    EXPECT_EQ(stamped.waitFor(1)[0].status, OpcUa_Good);
}

TEST_F(IOTest, AFailingOrMiscountingBatchAnswersEveryItemWithItsFailure)
{
    struct Case
    {
        const char* name;
        TestNodeManager::ReadHook read;
        TestNodeManager::WriteHook write;
        OpcUa_StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"the device fails",
         [](const UaVariableArray&, UaDataValueArray&) { return UaStatus(OpcUa_BadCommunicationError); },
         [](const UaVariableArray&, const UaDataValueArray&, UaStatusCodeArray&)
         { return UaStatus(OpcUa_BadCommunicationError); },
         OpcUa_BadCommunicationError},
        {"one answer short",
         [](const UaVariableArray& variables, UaDataValueArray& values)
         {
             values.create(variables.length() - 1);
             return UaStatus(OpcUa_Good);
         },
         [](const UaVariableArray& variables, const UaDataValueArray&, UaStatusCodeArray& statuses)
         {
             statuses.create(variables.length() - 1);
             return UaStatus(OpcUa_Good);
         },
         OpcUa_BadInternalError},
        {"the defaults", {}, {}, OpcUa_BadNotImplemented},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        nm.readHook = c.read;
        nm.writeHook = c.write;
        RecordingCallback reads;
        run(IOTransactionType::Read, {{UaNodeId(3, 2)}, {UaNodeId(4, 2)}, {UaNodeId(1, 2)}},
            OpcUa_TimestampsToReturn_Both, ServiceContext(), &reads);
        reads.waitFor(3);
        for (OpcUa_UInt32 handle : {1u, 2u})
        {
            const Answer answer = reads.answerTo(handle);
            EXPECT_EQ(answer.status, c.expected);
            EXPECT_TRUE(answer.value.value().isEmpty());
            // A failed batch answers every item with one stamped value; the default batch answers
            // each value on its own, as a good batch would.
            const bool failedBatch = c.expected != OpcUa_BadNotImplemented;
            EXPECT_EQ(answer.value.isServerTimestampSet(), failedBatch);
            EXPECT_EQ(answer.mayMove, !failedBatch);
            EXPECT_TRUE(answer.sendNow);
        }
        EXPECT_EQ(reads.answerTo(3).status, OpcUa_Good);

        RecordingCallback writes;
        run(IOTransactionType::Write,
            {{UaNodeId(3, 2), 13, "", "", dataValue(UaVariant(1.0))},
             {UaNodeId(6, 2), 13, "", "", dataValue(UaVariant(2.0))}},
            OpcUa_TimestampsToReturn_Neither, ServiceContext(), &writes);
        writes.waitFor(2);
        for (OpcUa_UInt32 handle : {1u, 2u})
        {
            EXPECT_EQ(writes.answerTo(handle).status, c.expected);
            EXPECT_TRUE(writes.answerTo(handle).sendNow);
        }
    }
}

TEST_F(IOTest, ATransactionHoldsItsVariablesAndSessionUntilItsJobEnds)
{
    // The batch waits until the test has deleted the variable and dropped its own references.
    std::mutex gate;
    gate.lock();
    nm.readHook = [this, &gate](const UaVariableArray& variables, UaDataValueArray& values)
    {
        std::lock_guard<std::mutex> open(gate);
        values.create(variables.length());
        for (OpcUa_UInt32 i = 0; i < variables.length(); ++i)
            UaDataValue(dataValue(device[variables[i]->nodeId()])).copyTo(&values[i]);
        return UaStatus(OpcUa_Good);
    };
    auto* session = new CountedSession;
    ServiceContext context;
    OpcUa_RequestHeader header;
    OpcUa_RequestHeader_Initialize(&header);
    context.setCountedSession(nullptr, session, header);
    ReferenceHolder<UaNode> pressure = ReferenceHolder<UaNode>::adopt(nm.getNode(UaNodeId(3, 2)));
    const OpcUa_Int32 sessionHeld = session->referenceCount();
    run(IOTransactionType::Read, {{UaNodeId(3, 2)}}, OpcUa_TimestampsToReturn_Both, context);
    EXPECT_EQ(session->referenceCount(), sessionHeld + 1);
    ASSERT_TRUE(nm.deleteUaNode(pressure.get(), true, true, false).isGood());
    // The queued transaction is all that keeps the variable now.
    EXPECT_EQ(pressure->referenceCount(), 2);
    pressure.reset();
    gate.unlock();
    EXPECT_TRUE(callback.waitFor(1)[0].value.value() == UaVariant(7.25));
    // The job ends after its answers: wait for the counts to come back.
    for (int i = 0; i < 6000 && session->referenceCount() != sessionHeld; ++i)
        UaThread::sleep(10);
    EXPECT_EQ(session->referenceCount(), sessionHeld);
    context = ServiceContext();
    session->releaseReference();
}

TEST_F(IOTest, FinishingANullTransactionDoesNothing)
{
    EXPECT_TRUE(nm.finishTransaction(nullptr).isGood());
    EXPECT_TRUE(callback.answers().empty());
}

TEST_F(IOTest, DecodedStructuresAreWrittenAndReadBackWithTheirContent)
{
    UaExtensionObject zone;
    auto* body =
        static_cast<OpcUa_TimeZoneDataType*>(zone.createBody(&OpcUa_TimeZoneDataType_EncodeableType));
    ASSERT_NE(body, nullptr);
    body->Offset = -90;
    body->DaylightSavingInOffset = OpcUa_True;
    UaVariant value;
    value.setExtensionObject(zone, false);
    run(IOTransactionType::Write, {{UaNodeId(7, 2), 13, "", "", dataValue(value)}});
    ASSERT_EQ(callback.waitFor(1)[0].status, OpcUa_Good);

    RecordingCallback reads;
    run(IOTransactionType::Read, {{UaNodeId(7, 2)}}, OpcUa_TimestampsToReturn_Both, ServiceContext(), &reads);
    const UaVariant readBack = reads.waitFor(1)[0].value.value();
    const OpcUa_Variant& raw = *static_cast<const OpcUa_Variant*>(readBack);
    ASSERT_EQ(raw.Datatype, OpcUaType_ExtensionObject);
    ASSERT_EQ(raw.Value.ExtensionObject->Encoding, OpcUa_ExtensionObjectEncoding_EncodeableObject);
    const auto* readZone =
        static_cast<const OpcUa_TimeZoneDataType*>(raw.Value.ExtensionObject->Body.EncodeableObject.Object);
    ASSERT_NE(readZone, nullptr);
    EXPECT_EQ(readZone->Offset, -90);
    EXPECT_EQ(readZone->DaylightSavingInOffset, OpcUa_True);
}

TEST(DecodedStructures, ACopyOfAServerDiagnosticsSummaryKeepsItsContent)
{
    UaExtensionObject summary;
    auto* body = static_cast<OpcUa_ServerDiagnosticsSummaryDataType*>(
        summary.createBody(&OpcUa_ServerDiagnosticsSummaryDataType_EncodeableType));
    ASSERT_NE(body, nullptr);
    body->CurrentSessionCount = 3;
    body->CumulatedSessionCount = 17;
    body->RejectedRequestsCount = 2;
    UaVariant variant;
    variant.setExtensionObject(summary, false);
    UaDataValue dataValue;
    dataValue.setValue(variant, false, false);

    // A variant copy, a data value's copy of its variant, a data value made from the stack's, and a
    // stack copy.
    const UaVariant variantCopy(variant);
    const UaVariant fromDataValue = dataValue.value();
    const UaDataValue fromStack(*static_cast<const OpcUa_DataValue*>(dataValue));
    OpcUa_DataValue raw;
    OpcUa_DataValue_Initialize(&raw);
    dataValue.copyTo(&raw);
    const std::vector<const OpcUa_Variant*> copies = {
        static_cast<const OpcUa_Variant*>(variantCopy), static_cast<const OpcUa_Variant*>(fromDataValue),
        &static_cast<const OpcUa_DataValue*>(fromStack)->Value, &raw.Value};
    for (const OpcUa_Variant* copy : copies)
    {
        ASSERT_EQ(copy->Datatype, OpcUaType_ExtensionObject);
        const OpcUa_ExtensionObject* object = copy->Value.ExtensionObject;
        ASSERT_EQ(object->Encoding, OpcUa_ExtensionObjectEncoding_EncodeableObject);
        const auto* copied =
            static_cast<const OpcUa_ServerDiagnosticsSummaryDataType*>(object->Body.EncodeableObject.Object);
        ASSERT_NE(copied, nullptr);
        EXPECT_NE(copied, body);
        EXPECT_EQ(copied->CurrentSessionCount, 3u);
        EXPECT_EQ(copied->CumulatedSessionCount, 17u);
        EXPECT_EQ(copied->RejectedRequestsCount, 2u);
    }
    OpcUa_DataValue_Clear(&raw);
}
