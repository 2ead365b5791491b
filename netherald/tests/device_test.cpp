// The device object with the device manager and the simulated device-profile driver: the
// host's side (initialisation, service object) and the service's actions.
#include "device.h"
#include "base64.h"
#include "manual_clock.h"
#include "netherald_test_support.h"
#include "service_table.h"

#include <gkt_test_support.h>

#include <cstring>
#include <thread>

namespace
{
using netheraldtest::logHas;

constexpr ULONG address(WORD index, BYTE subindex, BYTE flags = 0)
{
    return static_cast<ULONG>(index) << 16 | static_cast<ULONG>(subindex) << 8 | flags;
}

std::string base64(const std::vector<uint8_t>& bytes)
{
    return netherald::base64Encode(bytes.data(), bytes.size());
}

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return netherald::base64Decode(text).value_or(std::vector<uint8_t>{0xEE});
}

std::vector<uint8_t> le32(uint32_t value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

// The items of a multiple request: index group (unused), Gkt address, length.
std::vector<uint8_t> items(const std::vector<std::pair<ULONG, ULONG>>& requests)
{
    std::vector<uint8_t> bytes;
    for (const auto& [gktAddress, length] : requests)
        for (uint32_t value : {0xF0u, static_cast<uint32_t>(gktAddress), static_cast<uint32_t>(length)})
        {
            const auto part = le32(value);
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
    return bytes;
}

struct ActionResult
{
    HRESULT result = S_OK;
    std::string data;
    ULONG returned = 0;
};

class DeviceObject : public gkttest::DeviceTest
{
protected:
    std::string description() const override
    {
        return R"(
object 0x1000 VAR "Device Type"
  0 UINT32 ro 0x00001389 "Device Type"
object 0x2000 RECORD "Test Values"
  0 UINT16 ro 3 "Number of Entries"
  1 UINT16 rw 0x3412 "Pair"
  2 UINT32 rw 7 "Value"
  3 INT16  ro -1234 "Fixed"
)";
    }

    void SetUp() override
    {
        DeviceTest::SetUp();
        netheraldtest::keepOnLoopback();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        auto* device = new netherald::Device(m_clock, m_sender);
        ASSERT_EQ(device->QueryInterface(IID_IUPnPDeviceControl, m_control.outVoid()), S_OK);
        ASSERT_EQ(device->QueryInterface(IID_INetherald_UPnPService, m_service.outVoid()), S_OK);
        device->Release();
    }

    void TearDown() override
    {
        m_service.reset();
        m_control.reset();
        CoUninitialize();
        DeviceTest::TearDown();
    }

    // Registers a device with the host's registrar and initialises the object with it.
    std::u16string initialise()
    {
        os::ComPtr<IUPnPRegistrar> registrar;
        EXPECT_EQ(CoCreateInstance(CLSID_UPnPRegistrar, nullptr, CLSCTX_SERVER, IID_IUPnPRegistrar,
                                   registrar.outVoid()),
                  S_OK);
        const os::Bstr xml(u"<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device><UDN>uuid:DummyUDN</UDN>"
                           u"</device></root>");
        const os::Bstr progId(netherald::kProgId);
        const os::Bstr init(netherald::kInitString);
        const os::Bstr id(u"device-under-test");
        const os::Bstr web(u"\\Hard Disk\\UPnP\\UpnpWebsite");
        EXPECT_EQ(registrar->RegisterDevice(xml.get(), progId.get(), init.get(), id.get(), web.get()), S_OK);
        const os::Bstr templateUdn(netherald::kTemplateUdn);
        os::Bstr udn;
        EXPECT_EQ(registrar->GetUniqueDeviceName(id.get(), templateUdn.get(), udn.out()), S_OK);
        EXPECT_EQ(m_control->Initialize(init.get(), id.get(), web.get()), S_OK);
        return std::u16string(udn.view());
    }

    ActionResult read(ULONG gktAddress, LONG length, const std::u16string& netId = u"", LONG port = 0)
    {
        const os::Bstr net(netId);
        os::Bstr data;
        ActionResult result;
        result.result = m_service->Read(net.get(), port, 0, gktAddress, length, data.out());
        result.data = os::toUtf8(data.view());
        return result;
    }

    HRESULT write(ULONG gktAddress, const std::string& data, const std::u16string& netId = u"")
    {
        const os::Bstr net(netId);
        const os::Bstr text(os::toUtf16(data));
        return m_service->Write(net.get(), 0, 0, gktAddress, text.get());
    }

    ActionResult readWrite(ULONG indexGroup, ULONG indexOffset, LONG length, const std::string& data)
    {
        const os::Bstr net(u"");
        const os::Bstr text(os::toUtf16(data));
        os::Bstr answer;
        ActionResult result;
        result.result = m_service->ReadWriteEx(net.get(), 0, indexGroup, indexOffset, length, text.get(),
                                               answer.out(), &result.returned);
        result.data = os::toUtf8(answer.view());
        return result;
    }

    const std::string& root() const { return m_manager.root(); }

    std::string lastErrorText()
    {
        os::Bstr text;
        EXPECT_EQ(m_service->get_String(text.out()), S_OK);
        return os::toUtf8(text.view());
    }

    LONG lastGktResult()
    {
        LONG value = 1;
        EXPECT_EQ(m_service->get_Int(&value), S_OK);
        return value;
    }

    std::shared_ptr<netheraldtest::ManualClock> m_clock = std::make_shared<netheraldtest::ManualClock>();
    std::shared_ptr<netheraldtest::RecordingSender> m_sender =
        std::make_shared<netheraldtest::RecordingSender>();
    os::ComPtr<IUPnPDeviceControl> m_control;
    os::ComPtr<INetherald_UPnPService> m_service;
};

TEST_F(DeviceObject, TheServiceObjectComesAfterInitialisationForItsOwnUdnAndServiceOnly)
{
    const os::Bstr serviceId(os::toUtf16(netherald::kServiceId));
    os::ComPtr<IUPnPService> service;
    const os::Bstr anyUdn(u"uuid:DummyUDN");
    EXPECT_EQ(m_control->GetServiceObject(anyUdn.get(), serviceId.get(), service.out()), E_UNEXPECTED);

    const os::Bstr unknownDevice(u"nobody");
    EXPECT_NE(m_control->Initialize(nullptr, unknownDevice.get(), nullptr), S_OK);
    EXPECT_TRUE(logHas(root(), "Unable to get UDN"));

    const std::u16string udn = initialise();
    ASSERT_FALSE(udn.empty());
    const os::Bstr ownUdn(u"uuid:" + udn);
    const os::Bstr bareUdn(udn);
    const os::Bstr otherUdn(u"uuid:5c1e0e6a-1f2b-4c3d-8e4f-0123456789ab");
    const os::Bstr otherService(u"urn:corvanta-com:serviceId:Other1");
    EXPECT_EQ(m_control->GetServiceObject(otherUdn.get(), serviceId.get(), service.out()), E_FAIL);
    EXPECT_TRUE(logHas(root(), "Invalid UDN"));
    EXPECT_EQ(m_control->GetServiceObject(bareUdn.get(), serviceId.get(), service.out()), E_FAIL);
    EXPECT_FALSE(logHas(root(), "Invalid serviceid"));
    EXPECT_EQ(m_control->GetServiceObject(ownUdn.get(), otherService.get(), service.out()), E_FAIL);
    EXPECT_TRUE(logHas(root(), "Invalid serviceid"));
    EXPECT_FALSE(service);

    ASSERT_EQ(m_control->GetServiceObject(ownUdn.get(), serviceId.get(), service.out()), S_OK);
    ASSERT_EQ(service->serviceTable()->actions.size(), 4u);
    EXPECT_STREQ(service->serviceTable()->actions[netherald::actionReadWriteEx].name, "ReadWriteEx");

    // Released while its alive notice still waits: only the byebye goes out.
    ASSERT_TRUE(m_clock->waitForWaiters(1));
    service.reset();
    m_service.reset();
    m_control.reset();
    ASSERT_EQ(m_sender->sent().size(), 1u);
    EXPECT_NE(m_sender->sent()[0].bytes.find("NTS:ssdp:byebye\r\n"), std::string::npos);
    EXPECT_NE(m_sender->sent()[0].bytes.find("USN:uuid:" + os::toUtf8(udn) + "::upnp:rootdevice"),
              std::string::npos);
}

TEST_F(DeviceObject, ReadGivesTheBytesAndOneZeroByteInBase64)
{
    const ActionResult pair = read(address(0x2000, 1), 2);
    ASSERT_EQ(pair.result, S_OK);
    EXPECT_EQ(pair.data, "EjQA");

    // The same through the host's table and arguments.
    os::ComPtr<IUPnPService> service;
    ASSERT_EQ(m_service->QueryInterface(IID_IUPnPService, service.outVoid()), S_OK);
    VARIANT arguments[6];
    for (VARIANT& argument : arguments)
        VariantInit(&argument);
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = SysAllocString(u"");
    arguments[1].vt = VT_I4;
    arguments[2].vt = VT_UI4;
    arguments[3].vt = VT_UI4;
    arguments[3].ulVal = address(0x2000, 2);
    arguments[4].vt = VT_I4;
    arguments[4].lVal = 4;
    os::Bstr description;
    ASSERT_EQ(service->Invoke(netherald::actionRead, arguments, description.out()), S_OK);
    ASSERT_EQ(arguments[5].vt, VT_BSTR);
    EXPECT_EQ(bytesOf(os::toUtf8(arguments[5].bstrVal)), (std::vector<uint8_t>{7, 0, 0, 0, 0}));
    arguments[1].vt = VT_BSTR; // a wrong type is refused before the action
    arguments[1].bstrVal = nullptr;
    EXPECT_EQ(service->Invoke(netherald::actionRead, arguments, description.out()), E_INVALIDARG);
    for (VARIANT& argument : arguments)
        VariantClear(&argument);
    EXPECT_EQ(stats().openContexts, 1u); // the test's control handle; every action closed its own
}

TEST_F(DeviceObject, FailedActionsGiveTheirResultAndText)
{
    struct Case
    {
        const char* what;
        std::function<HRESULT()> action;
        uint32_t result;
        const char* text;
        bool reachesDriver;
    };
    const Case cases[] = {
        {"netId given", [&] { return read(address(0x2000, 1), 2, u"x").result; }, 0x800405BC,
         "Invalid port or netId", false},
        {"port given", [&] { return read(address(0x2000, 1), 2, u"", 851).result; }, 0x800405BC,
         "Invalid port or netId", false},
        {"no length", [&] { return read(address(0x2000, 1), 0).result; }, 0x800405BD, "Invalid length",
         false},
        {"negative length", [&] { return read(address(0x2000, 1), -1).result; }, 0x800405BD, "Invalid length",
         false},
        {"length beyond 64 KiB", [&] { return read(address(0x2000, 1), 65537).result; }, 0x800405BD,
         "Invalid length", false},
        {"unknown index", [&] { return read(address(0x3000, 0), 4).result; }, 0x800405C7, "Invalid index",
         true},
        {"buffer too small", [&] { return read(address(0x2000, 2), 1).result; }, 0x800405C9,
         "Buffer too small", true},
        {"write to a read-only entry", [&] { return write(address(0x2000, 3), "AAA="); }, 0x800405C8,
         "Invalid access", true},
        {"write of the wrong size", [&] { return write(address(0x2000, 2), "AAA="); }, 0x800405CD,
         "GKT: Invalid data", true},
        {"write of no data", [&] { return write(address(0x2000, 2), ""); }, 0x800405BD, "Invalid length",
         false},
        {"write of bad Base64", [&] { return write(address(0x2000, 2), "AA*A"); }, 0x800405BE, "Invalid data",
         false},
        {"write with netId", [&] { return write(address(0x2000, 2), "AAAAAA==", u"1.2.3.4.1.1"); },
         0x800405BC, "Invalid port or netId", false},
        {"read-write of bad Base64", [&] { return readWrite(0, address(0x2000, 2), 4, "AAAAAA=").result; },
         0x800405BE, "Invalid data", false},
        {"read-write of no length", [&] { return readWrite(0, address(0x2000, 2), 0, "AAAAAA==").result; },
         0x800405BD, "Invalid length", false},
    };
    for (const Case& c : cases)
    {
        const uint32_t callsBefore = stats().ioCalls;
        EXPECT_EQ(static_cast<uint32_t>(c.action()), c.result) << c.what;
        EXPECT_EQ(lastErrorText(), c.text) << c.what;
        EXPECT_EQ(stats().ioCalls != callsBefore, c.reachesDriver) << c.what;
    }
    EXPECT_EQ(stats().openContexts, 1u);
}

TEST_F(DeviceObject, TheLocalTargetIsCheckedBeforeProfilelinkIsOpened)
{
    // The next open fails: an action that opens Profilelink meets it.
    setFault(gktsim::FaultKind::refuseOpen, 55, 0, 1);
    EXPECT_EQ(static_cast<uint32_t>(read(address(0x2000, 1), 2, u"x").result), 0x800405BCu);
    EXPECT_EQ(static_cast<uint32_t>(read(address(0x2000, 1), 2).result), 0x800405BFu);
    EXPECT_EQ(lastErrorText(), "Unable to load GKT Service");
    EXPECT_EQ(static_cast<uint32_t>(lastGktResult()), 0xECA70037u);
    EXPECT_TRUE(logHas(root(), "GKT Lib Error"));
    EXPECT_EQ(read(address(0x2000, 1), 2).data, "EjQA");
    EXPECT_EQ(lastGktResult(), 0);
}

TEST_F(DeviceObject, PlatformErrorsOfTheDeviceAreUnexpectedGktErrors)
{
    setFault(gktsim::FaultKind::failIo, ERROR_GEN_FAILURE);
    EXPECT_EQ(static_cast<uint32_t>(read(address(0x2000, 1), 2).result), 0x800405C6u);
    EXPECT_EQ(lastErrorText(), "Unexpected GKT error");
    EXPECT_EQ(lastGktResult(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(logHas(root(), "GKT Error"));
    EXPECT_EQ(stats().openContexts, 1u);
}

TEST_F(DeviceObject, CombinedReadWriteWritesThenReadsBack)
{
    const ActionResult answer = readWrite(0x1234, address(0x2000, 2), 4, base64(le32(0xCAFE0042)));
    ASSERT_EQ(answer.result, S_OK);
    EXPECT_EQ(bytesOf(answer.data), le32(0xCAFE0042));
    EXPECT_EQ(answer.returned, 4u);
    EXPECT_EQ(bytesOf(read(address(0x2000, 2), 4).data),
              (std::vector<uint8_t>{0x42, 0x00, 0xFE, 0xCA, 0x00}));
}

TEST_F(DeviceObject, MultipleRequestsRunEveryItemAndReportEach)
{
    // Write: the failing middle item does not stop the last one.
    std::vector<uint8_t> writes =
        items({{address(0x2000, 2), 4}, {address(0x3000, 0), 2}, {address(0x2000, 1), 2}});
    for (uint8_t byte : {0x44, 0x33, 0x22, 0x11, 0xAA, 0xBB, 0xEF, 0xBE})
        writes.push_back(byte);
    ActionResult answer = readWrite(netherald::kWriteMultiple, 3, 0, base64(writes));
    ASSERT_EQ(answer.result, S_OK);
    std::vector<uint8_t> expected;
    for (uint32_t result : {0u, 0x800405C7u, 0u})
        for (uint8_t byte : le32(result))
            expected.push_back(byte);
    EXPECT_EQ(bytesOf(answer.data), expected);
    EXPECT_EQ(answer.returned, 12u);
    EXPECT_TRUE(logHas(root(), "Error"));

    // Read: results first, then each item's data, zero bytes for the failed one.
    answer =
        readWrite(netherald::kReadMultiple, 3, 0,
                  base64(items({{address(0x2000, 1), 2}, {address(0x3000, 0), 4}, {address(0x2000, 2), 4}})));
    ASSERT_EQ(answer.result, S_OK);
    expected.insert(expected.end(), {0xEF, 0xBE, 0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11});
    EXPECT_EQ(bytesOf(answer.data), expected);
    EXPECT_EQ(answer.returned, 22u);
    EXPECT_TRUE(logHas(root(), "ReadMultiple: Error"));
    EXPECT_EQ(stats().openContexts, 1u);
}

TEST_F(DeviceObject, MultipleRequestsOutOfBoundsAreRefusedBeforeTheDevice)
{
    const std::vector<uint8_t> one = items({{address(0x2000, 2), 4}});
    std::vector<std::pair<ULONG, ULONG>> manyLong(17, {address(0x2000, 2), 65536});
    struct Case
    {
        const char* what;
        ULONG group;
        ULONG count;
        std::vector<uint8_t> data;
        uint32_t result;
    };
    const Case cases[] = {
        // 12 * 0x15555556 wraps round to 8 in 32 bits.
        {"count whose item size wraps", netherald::kReadMultiple, 0x15555556, one, 0x800405BE},
        {"more than 4096 items", netherald::kReadMultiple, 4097, one, 0x800405BE},
        {"fewer item bytes than the count needs", netherald::kReadMultiple, 2, one, 0x800405BE},
        {"item of 1 MiB", netherald::kReadMultiple, 1, items({{address(0x2000, 2), 1048576}}), 0x800405BD},
        {"item of no length", netherald::kReadMultiple, 1, items({{address(0x2000, 2), 0}}), 0x800405BD},
        {"reads beyond 1 MiB together", netherald::kReadMultiple, 17, items(manyLong), 0x800405BD},
        {"write data missing", netherald::kWriteMultiple, 1, one, 0x800405BE},
        {"no data at all", netherald::kWriteMultiple, 1, {}, 0x800405BD},
    };
    for (const Case& c : cases)
    {
        const uint32_t callsBefore = stats().ioCalls;
        EXPECT_EQ(static_cast<uint32_t>(readWrite(c.group, c.count, 0, base64(c.data)).result), c.result)
            << c.what;
        EXPECT_EQ(stats().ioCalls, callsBefore) << c.what;
    }
    EXPECT_TRUE(logHas(root(), "Invalid Data"));
}

TEST_F(DeviceObject, EightCallersAtOnce)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kRounds; ++i)
                {
                    const uint32_t value = static_cast<uint32_t>(t << 16 | i);
                    const ActionResult answer = readWrite(0, address(0x2000, 2), 4, base64(le32(value)));
                    failures += answer.result != S_OK || bytesOf(answer.data) != le32(value);
                    failures += read(address(0x2000, 1), 2).data != "EjQA";
                    failures += read(address(0x3000, 0), 2).result != static_cast<HRESULT>(0x800405C7);
                    LONG gkt = 0;
                    failures += m_service->get_Int(&gkt) != S_OK;
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(stats().openContexts, 1u);
}
} // namespace
