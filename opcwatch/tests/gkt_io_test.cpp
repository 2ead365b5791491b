// Reads and writes of device-profile variables against GktSim's "Data Store" module, through the
// node manager's handles and the I/O manager's transactions.
#include "gkt_server_fixture.h"

#include <cstring>

namespace
{
using gkttest::dataStore;
using gkttest::GktServerTest;

using gkttest::RecordingVariableCallback;

class GktIoTest : public gkttest::GktShippedDeviceTest
{
protected:
    // Monitored items outlive the node manager, which drops their registrations when it goes.
    RecordingVariableCallback m_int16, m_uint16;
};

UaVariant number(OpcUa_BuiltInType type, double value)
{
    UaVariant variant(value);
    EXPECT_EQ(variant.changeType(type, false), OpcUa_Good);
    return variant;
}

// A value of a type that no number converts from.
UaVariant dateValue()
{
    UaVariant variant;
    variant.setDateTime(UaDateTime::now());
    return variant;
}

UaVariant text(const char* value)
{
    UaVariant variant;
    variant.setString(value);
    return variant;
}

struct TypeCase
{
    int subindex;
    UaVariant shipped; // the value of the shipped description, as read
    UaVariant written; // a new value; read back as the same
};

TEST_F(GktIoTest, EveryTypeIsReadFromTheDeviceAndWrittenThrough)
{
    UaVariant shipped64, written64;
    shipped64.setUInt64(0x0123456789ABCDEFull);
    written64.setUInt64(0xFEDCBA9876543210ull);
    const TypeCase cases[] = {
        {1, number(OpcUaType_Boolean, 1), number(OpcUaType_Boolean, 0)},
        {2, number(OpcUaType_SByte, 'A'), number(OpcUaType_SByte, -5)},
        {3, number(OpcUaType_Int16, -1234), number(OpcUaType_Int16, 4321)},
        {4, number(OpcUaType_Int32, -123456), number(OpcUaType_Int32, 654321)},
        {5, number(OpcUaType_Byte, 200), number(OpcUaType_Byte, 7)},
        {6, number(OpcUaType_UInt16, 60000), number(OpcUaType_UInt16, 1)},
        {7, number(OpcUaType_UInt32, 4000000000.0), number(OpcUaType_UInt32, 12)},
        {8, number(OpcUaType_Float, 3.25), number(OpcUaType_Float, -0.5)},
        {9, text("visible text"), text("new text")},
        {10, text("octet text"), text("o")},
        {11, number(OpcUaType_Double, 2.718281828459045), number(OpcUaType_Double, 1e100)},
        {16, shipped64, written64},
        {17, number(OpcUaType_UInt32, 0xDEADBEEF), number(OpcUaType_UInt32, 0xFEEDF00D)},
        {18, number(OpcUaType_Byte, 1), number(OpcUaType_Byte, 0)},
        {25, number(OpcUaType_Byte, 129), number(OpcUaType_Byte, 3)},
    };
    for (const TypeCase& c : cases)
    {
        SCOPED_TRACE(dataStore(c.subindex));
        const UaDataValue shipped = read(dataStore(c.subindex));
        EXPECT_EQ(shipped.statusCode(), OpcUa_Good);
        EXPECT_TRUE(shipped.value() == c.shipped) << shipped.value().toString().toUtf8();
        // A read leaves the cache alone.
        EXPECT_TRUE(item(dataStore(c.subindex))->value(nullptr).value().isEmpty());

        EXPECT_EQ(write(dataStore(c.subindex), c.written), OpcUa_Good);
        EXPECT_TRUE(item(dataStore(c.subindex))->value(nullptr).value() == c.written);
        const UaDataValue back = read(dataStore(c.subindex));
        EXPECT_TRUE(back.value() == c.written) << back.value().toString().toUtf8();
    }
}

TEST_F(GktIoTest, TypesWithoutADeclaredTypeAreReadButNeverWritten)
{
    const gktsim::DriverStats before = stats();
    EXPECT_EQ(read(dataStore(12)).statusCode(), OpcUa_BadTypeMismatch);
    EXPECT_EQ(stats().ioCalls, before.ioCalls + 1);
    EXPECT_EQ(write(dataStore(14), number(OpcUaType_UInt32, 1)), OpcUa_BadTypeMismatch);
    EXPECT_EQ(stats().ioCalls, before.ioCalls + 1);
}

TEST_F(GktIoTest, FailedDeviceReadsGiveBadInternalError)
{
    struct Fault
    {
        const char* name;
        gktsim::FaultKind kind;
        uint32_t value;
    };
    const Fault faults[] = {
        {"the I/O call fails", gktsim::FaultKind::failIo, 31},
        {"the answer is shorter than its header", gktsim::FaultKind::shortAnswer, 3},
        // The length field loses two bytes: the device answers two of the four bytes of an Int32.
        {"a number comes back short", gktsim::FaultKind::oversizeLength, 0xFFFFFFFEu},
        {"the entry is write-only", gktsim::FaultKind::clearAll, 0},
    };
    for (const Fault& fault : faults)
    {
        SCOPED_TRACE(fault.name);
        const std::string id = fault.kind == gktsim::FaultKind::clearAll ? dataStore(26) : dataStore(4);
        setFault(fault.kind, fault.value);
        const UaDataValue value = read(id);
        EXPECT_EQ(value.statusCode(), OpcUa_BadInternalError);
        EXPECT_TRUE(value.value().isEmpty());
        // The next read finds the device again.
        EXPECT_EQ(read(dataStore(4)).statusCode(), OpcUa_Good);
    }
}

TEST_F(GktIoTest, AWrongTypeIsRefusedBeforeTheDevice)
{
    UaVariant array;
    UaStringArray texts;
    texts.create(2);
    array.setStringArray(texts);
    struct Refused
    {
        const char* name;
        int subindex;
        UaVariant value;
        OpcUa_StatusCode status;
    };
    const Refused cases[] = {
        {"no value", 3, UaVariant(), OpcUa_BadTypeMismatch},
        {"an array", 9, array, OpcUa_BadTypeMismatch},
        {"a type without declared type", 13, number(OpcUaType_UInt32, 1), OpcUa_BadTypeMismatch},
        // Otherwise the conversion tells why.
        {"a date for a number", 3, dateValue(), OpcUa_BadOutOfRange},
        {"a number out of range", 5, number(OpcUaType_Int32, 300), OpcUa_BadOutOfRange},
    };
    const gktsim::DriverStats before = stats();
    for (const Refused& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(write(dataStore(c.subindex), c.value), c.status);
        EXPECT_TRUE(item(dataStore(c.subindex))->value(nullptr).value().isEmpty());
    }
    EXPECT_EQ(stats().ioCalls, before.ioCalls);
}

TEST_F(GktIoTest, ARefusedWriteKeepsTheDevicesCodeAndLeavesTheCache)
{
    // "Fixed" entries of the shipped description are read-only on the device.
    const std::string readOnly = "Modules|General|Data Store|0x8nn1|0x00";
    EXPECT_EQ(write(readOnly, number(OpcUaType_UInt16, 5)), 0xECA60101u);
    EXPECT_TRUE(item(readOnly)->value(nullptr).value().isEmpty());
    // A platform error of the call itself says the link failed.
    setFault(gktsim::FaultKind::failIo, 31);
    EXPECT_EQ(write(dataStore(3), number(OpcUaType_Int16, 1)), OpcUa_BadCommunicationError);
    EXPECT_TRUE(item(dataStore(3))->value(nullptr).value().isEmpty());
    EXPECT_EQ(read(dataStore(3)).value(), number(OpcUaType_Int16, -1234));
}

TEST_F(GktIoTest, OnlyAWriteTheDeviceTookReachesMonitoredItems)
{
    // No polls: what the monitored items receive comes from the writes alone.
    ASSERT_EQ(io().watch().Stop().statusCode(), OpcUa_Good);
    ASSERT_EQ(monitor(dataStore(3), m_int16).status, OpcUa_Good);
    ASSERT_EQ(monitor(dataStore(6), m_uint16).status, OpcUa_Good);
    const auto holds = [](OpcUa_Int64 expected)
    {
        return [expected](const UaDataValue& value)
        {
            OpcUa_Int64 number = 0;
            return value.statusCode() == OpcUa_Good && value.value().toInt64(number) == OpcUa_Good &&
                   number == expected;
        };
    };
    const gktsim::DriverStats before = stats();
    setFault(gktsim::FaultKind::failIo, 31);
    EXPECT_EQ(write(dataStore(3), number(OpcUaType_Int16, 777)), OpcUa_BadCommunicationError);
    EXPECT_EQ(write(dataStore(3), number(OpcUaType_Int32, 70000)), OpcUa_BadOutOfRange);
    // The sampling engine reports the items in the order they were added, so once the second
    // item has its write, a stored refusal would have reached the first.
    EXPECT_EQ(write(dataStore(6), number(OpcUaType_UInt16, 9)), OpcUa_Good);
    ASSERT_TRUE(m_uint16.waitFor(holds(9)));
    for (const UaDataValue& value : m_int16.values())
        EXPECT_FALSE(holds(777)(value) || holds(70000)(value)) << value.value().toString().toUtf8();
    EXPECT_EQ(write(dataStore(3), number(OpcUaType_Int16, 4321)), OpcUa_Good);
    EXPECT_TRUE(m_int16.waitFor(holds(4321)));
    // Three device calls, all of them writes.
    EXPECT_EQ(stats().ioCalls, before.ioCalls + 3);
}

TEST_F(GktIoTest, AStringIsWrittenWithItsTerminatingZero)
{
    EXPECT_EQ(write(dataStore(9), text("ab")), OpcUa_Good);
    const gktsim::DriverStats last = stats();
    // The write block: 14-byte header (length 3, index 0x8061, subindex 9), then "ab" and a zero.
    ASSERT_EQ(last.lastInSize, 14u + 3u);
    uint32_t length = 0;
    std::memcpy(&length, last.lastIn + 4, 4);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(last.lastIn[13], 9);
    EXPECT_EQ(std::memcmp(last.lastIn + 14, "ab\0", 3), 0);
}

TEST_F(GktIoTest, TransactionsFinishByType)
{
    testbed::RecordingCallback reads, writes;
    UaStatus finished;
    transact(IOTransactionType::Read, {dataStore(3), dataStore(6)}, {}, reads, &finished);
    EXPECT_EQ(finished.statusCode(), OpcUa_Good);
    ASSERT_EQ(reads.waitFor(2).size(), 2u);
    EXPECT_EQ(reads.answerTo(2).value.value(), number(OpcUaType_UInt16, 60000));
    transact(IOTransactionType::Write, {dataStore(3), dataStore(6)},
             {number(OpcUaType_Int16, 5), UaVariant()}, writes, &finished);
    EXPECT_EQ(finished.statusCode(), OpcUa_BadNotImplemented);
    EXPECT_EQ(writes.answerTo(1).status, OpcUa_Good);
    EXPECT_EQ(writes.answerTo(2).status, OpcUa_BadTypeMismatch);
}

TEST_F(GktIoTest, ALostDeviceIsOpenedAgainByTheNextAccess)
{
    ASSERT_EQ(read(dataStore(3)).statusCode(), OpcUa_Good);
    EXPECT_EQ(stats().openContexts, 2u);
    // The device manager goes away and comes back: our handle is stale.
    restartDevice();
    EXPECT_EQ(read(dataStore(3)).statusCode(), OpcUa_BadInternalError);
    EXPECT_EQ(read(dataStore(3)).statusCode(), OpcUa_Good);
    openControl();
    EXPECT_EQ(stats().openContexts, 2u);
}
} // namespace
