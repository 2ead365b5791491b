// The server port between Vos clients and a device object: each request reaches the object's
// operation with its arguments, and the object's answer goes back unchanged.
#include "testsupport.h"

#include "QbVosDllCe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

using vostest::DeviceRoot;

namespace
{
constexpr USHORT kServerPort = 30101;
constexpr char kPortName[] = "PortTest";

OrxAddr local(USHORT port)
{
    OrxAddr address{};
    address.port = port;
    return address;
}

// What one request of the port handed to the device object.
struct Call
{
    Call(std::string name = "", ULONG group = 0, ULONG offset = 0, ULONG length = 0, ULONG writeLength = 0,
         std::vector<BYTE> written = {}, bool bufferGiven = false, bool returnedGiven = false)
        : operation(std::move(name)), group(group), offset(offset), length(length), writeLength(writeLength),
          written(std::move(written)), bufferGiven(bufferGiven), returnedGiven(returnedGiven)
    {
    }

    std::string operation;
    ULONG group;
    ULONG offset;
    ULONG length;
    ULONG writeLength;
    std::vector<BYTE> written;
    bool bufferGiven;
    bool returnedGiven;
};

// What the device object answers.
struct Answers
{
    HRESULT result = S_OK;
    // What reads fill in, and the length they report (which may claim more than was asked).
    std::vector<BYTE> data;
    ULONG reported = 0;
    std::u16string name = u"Opcwatch";
    VosVersion version{2, 3, 1234};
    ULONG vosState = 5;
    ULONG deviceState = 6;
};

// A device object that records each call and answers with what the test set. Calls arrive on
// the port's thread, so calls and answers are kept under a lock.
class RecordingDevice : public IQbVosSync2
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return os::queryInterface<IQbVosSync2>(this, IID_IQbVosSync2, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    // The test owns the object: the count only shows who holds it.
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }

    STDMETHODIMP Write(ULONG group, ULONG offset, ULONG length, const void* data) override
    {
        Call call{"Write", group, offset, length, 0, bytes(data, length), data != nullptr, false};
        return record(call);
    }
    STDMETHODIMP Read(ULONG group, ULONG offset, ULONG length, void* data) override
    {
        return record(Call{"Read", group, offset, length, 0, {}, data != nullptr, false});
    }
    STDMETHODIMP ReadEx(ULONG group, ULONG offset, ULONG length, void* data, ULONG* returned) override
    {
        fill(data, length, returned);
        return record(Call{"ReadEx", group, offset, length, 0, {}, data != nullptr, returned != nullptr});
    }
    STDMETHODIMP ReadWrite(ULONG group, ULONG offset, ULONG readLength, void* readData, ULONG writeLength,
                           const void* writeData, ULONG* returned) override
    {
        fill(readData, readLength, returned);
        return record(Call{"ReadWrite", group, offset, readLength, writeLength, bytes(writeData, writeLength),
                           readData != nullptr, returned != nullptr});
    }
    STDMETHODIMP WriteControl(USHORT, USHORT, ULONG, const void*) override
    {
        return record(Call{"WriteControl"});
    }
    STDMETHODIMP ReadDeviceInfo(BSTR* name, VosVersion* version) override
    {
        const Answers now = answers();
        if (name)
            *name = SysAllocString(now.name.c_str());
        if (version)
            *version = now.version;
        return record(Call{"ReadDeviceInfo"});
    }
    STDMETHODIMP ReadState(ULONG* vosState, ULONG* deviceState, ULONG* value3, ULONG* value4) override
    {
        const Answers now = answers();
        *vosState = now.vosState;
        *deviceState = now.deviceState;
        *value3 = 0;
        *value4 = 0;
        return record(Call{"ReadState"});
    }
    STDMETHODIMP AddDeviceNotification(ULONG, ULONG, ULONG, ULONG, ULONG*) override
    {
        return record(Call{"AddDeviceNotification"});
    }
    STDMETHODIMP DelDeviceNotification(ULONG) override { return record(Call{"DelDeviceNotification"}); }
    STDMETHODIMP DeviceNotification(ULONG, const void*) override
    {
        return record(Call{"DeviceNotification"});
    }

    std::vector<Call> calls()
    {
        std::lock_guard guard(m_lock);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard guard(m_lock);
        m_calls.clear();
    }

    template <typename Change> void change(Change change)
    {
        std::lock_guard guard(m_lock);
        change(m_answers);
    }
    Answers answers()
    {
        std::lock_guard guard(m_lock);
        return m_answers;
    }

    std::atomic<ULONG> m_references{1};

private:
    static std::vector<BYTE> bytes(const void* data, ULONG length)
    {
        const auto* begin = static_cast<const BYTE*>(data);
        return data ? std::vector<BYTE>(begin, begin + length) : std::vector<BYTE>();
    }
    // A device fills no more than the buffer it was given.
    void fill(void* data, ULONG length, ULONG* returned)
    {
        const Answers now = answers();
        if (data && !now.data.empty())
            std::memcpy(data, now.data.data(), std::min<size_t>(now.data.size(), length));
        if (returned)
            *returned = now.reported;
    }
    HRESULT record(const Call& call)
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back(call);
        return m_answers.result;
    }

    std::mutex m_lock;
    std::vector<Call> m_calls;
    Answers m_answers;
};

class VosServerPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_port = new CVosServerPort(&m_device, kPortName);
        ASSERT_TRUE(m_port->Open(kServerPort)) << m_port->OrxGetLastError();
    }
    void TearDown() override
    {
        if (m_port)
            m_port->Release();
        EXPECT_TRUE(m_root.StopRouter());
    }

    DeviceRoot m_root;
    RecordingDevice m_device;
    CVosServerPort* m_port = nullptr;
    CVosSync m_client;
    const OrxAddr m_target = local(kServerPort);
};

TEST_F(VosServerPortTest, ReadsReachReadExWithABufferAndAnswerWhatItFilled)
{
    struct Case
    {
        const char* what;
        ULONG length;
        std::vector<BYTE> answer;
        ULONG reported;
        HRESULT result;
        std::vector<BYTE> received; // what the client gets (nothing on failure)
    } cases[] = {
        {"part of the buffer", 8, {1, 2, 3}, 3, S_OK, {1, 2, 3}},
        {"the whole buffer", 4, {9, 8, 7, 6}, 4, S_OK, {9, 8, 7, 6}},
        {"no bytes asked for", 0, {}, 0, S_OK, {}},
        {"more reported than asked", 2, {5, 6}, 40, S_OK, {5, 6}},
        {"device error code", 4, {1, 1, 1, 1}, 4, static_cast<HRESULT>(0x98110703), {}},
        {"COM failure", 4, {}, 0, E_POINTER, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_device.clear();
        m_device.change(
            [&](Answers& answers)
            {
                answers.data = c.answer;
                answers.reported = c.reported;
                answers.result = c.result;
            });
        std::vector<BYTE> buffer(c.length + 1, 0xAB);
        ULONG got = 77;
        EXPECT_EQ(m_client.VosSyncReadReq(&m_target, 5000, 120, c.length, buffer.data(), &got), c.result);
        if (c.result == S_OK)
        {
            EXPECT_EQ(got, c.received.size());
            EXPECT_TRUE(std::equal(c.received.begin(), c.received.end(), buffer.begin()));
        }
        else
            EXPECT_EQ(got, 77u);
        EXPECT_EQ(buffer[c.received.size()], 0xAB);

        const std::vector<Call> calls = m_device.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].operation, "ReadEx");
        EXPECT_EQ(calls[0].group, 5000u);
        EXPECT_EQ(calls[0].offset, 120u);
        EXPECT_EQ(calls[0].length, c.length);
        EXPECT_TRUE(calls[0].bufferGiven);
        EXPECT_TRUE(calls[0].returnedGiven);
    }
}

TEST_F(VosServerPortTest, WritesAndReadWritesHandOverTheirData)
{
    const BYTE value[4] = {3, 0, 0, 0};
    EXPECT_EQ(m_client.VosSyncWriteReq(&m_target, 5000, 110, sizeof value, value), 0);
    EXPECT_EQ(m_client.VosSyncWriteReq(&m_target, 1, 0, 0, nullptr), 0);

    m_device.change(
        [](Answers& answers)
        {
            answers.data = {2, 0, 0, 0};
            answers.reported = 4;
        });
    BYTE read[8] = {};
    ULONG got = 0;
    EXPECT_EQ(
        m_client.VosSyncReadWriteReq(&m_target, 5000, 100, sizeof read, read, sizeof value, value, &got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(read[0], 2);

    const std::vector<Call> calls = m_device.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].operation, "Write");
    EXPECT_EQ(calls[0].group, 5000u);
    EXPECT_EQ(calls[0].offset, 110u);
    EXPECT_EQ(calls[0].length, 4u);
    EXPECT_EQ(calls[0].written, std::vector<BYTE>(value, value + 4));
    // A write without data still hands over a data pointer: the device sees a write, not a read.
    EXPECT_EQ(calls[1].operation, "Write");
    EXPECT_EQ(calls[1].length, 0u);
    EXPECT_TRUE(calls[1].bufferGiven);
    EXPECT_EQ(calls[2].operation, "ReadWrite");
    EXPECT_EQ(calls[2].length, sizeof read);
    EXPECT_EQ(calls[2].writeLength, 4u);
    EXPECT_EQ(calls[2].written, std::vector<BYTE>(value, value + 4));
    EXPECT_TRUE(calls[2].returnedGiven);

    m_device.change([](Answers& answers) { answers.result = static_cast<HRESULT>(0x98110705); });
    EXPECT_EQ(m_client.VosSyncWriteReq(&m_target, 5000, 110, 2, value), static_cast<LONG>(0x98110705));
    EXPECT_EQ(m_client.VosSyncReadWriteReq(&m_target, 5000, 110, 2, read, 0, nullptr, &got),
              static_cast<LONG>(0x98110705));
}

TEST_F(VosServerPortTest, AReadTooLargeForOneAnswerIsRefusedBeforeTheDevice)
{
    BYTE buffer[4] = {};
    EXPECT_EQ(m_client.VosSyncReadReq(&m_target, 5000, 120, CVosServerPort::LargestRead + 1, buffer),
              static_cast<LONG>(VOSERR_INVALID_SIZE));
    EXPECT_EQ(m_client.VosSyncReadWriteReq(&m_target, 5000, 120, 0xFFFFFFFF, buffer, 0, nullptr),
              static_cast<LONG>(VOSERR_INVALID_SIZE));
    EXPECT_TRUE(m_device.calls().empty());
}

TEST_F(VosServerPortTest, DeviceInfoAndStateComeFromTheDevice)
{
    struct Case
    {
        std::u16string name;
        std::string received; // the wire carries at most 16 bytes
    } cases[] = {{u"Opcwatch", "Opcwatch"}, {u"", ""}, {u"A-name-of-twenty-chars", "A-name-of-twenty"}};
    for (const Case& c : cases)
    {
        m_device.change([&](Answers& answers) { answers.name = c.name; });
        char name[VOS_DEVICE_NAME_LEN + 1] = {};
        VosVersion version{};
        ASSERT_EQ(m_client.VosSyncReadDeviceInfoReq(&m_target, name, &version), 0);
        EXPECT_EQ(std::string(name), c.received);
        EXPECT_EQ(version.version, 2);
        EXPECT_EQ(version.revision, 3);
        EXPECT_EQ(version.build, 1234);
    }

    for (ULONG deviceState : {5u, 6u, 0x10007u})
    {
        m_device.change([&](Answers& answers) { answers.deviceState = deviceState; });
        USHORT vosState = 0;
        USHORT device = 0;
        ASSERT_EQ(m_client.VosSyncReadStateReq(&m_target, &vosState, &device), 0);
        EXPECT_EQ(vosState, 5);
        EXPECT_EQ(device, static_cast<USHORT>(deviceState));
    }

    m_device.change([](Answers& answers) { answers.result = E_FAIL; });
    USHORT vosState = 0;
    USHORT device = 0;
    EXPECT_EQ(m_client.VosSyncReadStateReq(&m_target, &vosState, &device), static_cast<LONG>(E_FAIL));
}

TEST_F(VosServerPortTest, ServicesTheDeviceDoesNotServeAreNotSupported)
{
    EXPECT_EQ(m_client.VosSyncWriteControlReq(&m_target, 1, 2, 0, nullptr),
              static_cast<LONG>(VOSERR_SRV_NOT_SUPPORTED));
    EXPECT_TRUE(m_device.calls().empty());
}

TEST_F(VosServerPortTest, ThePortHoldsTheDeviceUntilItsLastReference)
{
    EXPECT_EQ(m_device.m_references, 2u);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(m_port->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(m_port));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_port->QueryInterface(IID_IQbVosSync2, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    EXPECT_EQ(m_port->Release(), 1u); // the reference QueryInterface added
    OrxAddr found{};
    ASSERT_EQ(OrxGetPortByName(kPortName, &found), 0);
    EXPECT_EQ(found.port, kServerPort);

    EXPECT_EQ(m_port->Release(), 0u);
    m_port = nullptr;
    EXPECT_EQ(m_device.m_references, 1u);
    EXPECT_EQ(OrxGetPortByName(kPortName, &found), static_cast<LONG>(VOSERR_NAME_NOT_FOUND));
    USHORT vosState = 0;
    USHORT device = 0;
    EXPECT_EQ(m_client.VosSyncReadStateReq(&m_target, &vosState, &device),
              static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));
}

TEST_F(VosServerPortTest, VostoolReachesTheDeviceByPortName)
{
    std::string out;
    ASSERT_EQ(vostest::Run("vostool", {"--port", kPortName, "info"}, out), 0);
    EXPECT_EQ(out, "name: Opcwatch\nversion: 2.3.1234\n");
    ASSERT_EQ(vostest::Run("vostool", {"--port", kPortName, "state"}, out), 0);
    EXPECT_EQ(out, "vos state: 5\ndevice state: 6\n");

    m_device.change(
        [](Answers& answers)
        {
            answers.data = {'a', 'b', 0};
            answers.reported = 3;
        });
    ASSERT_EQ(vostest::Run("vostool", {"--port", kPortName, "--as", "str", "read", "5000", "120", "10"}, out),
              0);
    EXPECT_EQ(out, "ab\n");
    ASSERT_EQ(vostest::Run("vostool", {"--port", kPortName, "readwrite", "5000", "110", "4", "u32:3"}, out),
              0);
    ASSERT_EQ(vostest::Run("vostool", {"--port", kPortName, "write", "1", "0"}, out), 0);

    m_device.change([](Answers& answers) { answers.result = static_cast<HRESULT>(0x98110702); });
    EXPECT_EQ(vostest::Run("vostool", {"--port", kPortName, "read", "7", "0", "4"}, out), 1);

    const std::vector<Call> calls = m_device.calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[3].operation, "ReadWrite");
    EXPECT_EQ(calls[3].written, (std::vector<BYTE>{3, 0, 0, 0}));
    EXPECT_EQ(calls[4].operation, "Write");
    EXPECT_EQ(calls[4].group, 1u);
    EXPECT_EQ(calls[5].group, 7u);
}

} // namespace
