// The registrar, created through the registry as devices create it, and the host's notice.
#include "description.h"
#include "host_notice.h"
#include "notice_listener.h"
#include "registrations.h"
#include "test_support.h"

#include <upnphost/upnphost.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace
{
const char16_t kDescription[] =
    u"<?xml version=\"1.0\"?>\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
    u"<device><deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>"
    u"<UDN>uuid:DummyUDN</UDN><serviceList><service>"
    u"<serviceType>urn:x:service:S:1</serviceType><serviceId>urn:x:serviceId:S1</serviceId>"
    u"<SCPDURL>S.xml</SCPDURL><controlURL>/ctl?uuid:DummyUDN+urn:x:serviceId:S1</controlURL>"
    u"</service></serviceList></device></root>";

class Registrar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_UPnPRegistrar, nullptr, CLSCTX_SERVER, IID_IUPnPRegistrar,
                                   m_registrar.outVoid()),
                  S_OK);
    }
    void TearDown() override
    {
        m_registrar.reset();
        CoUninitialize();
    }

    HRESULT registerDevice(const std::u16string& id, const std::u16string& description = kDescription)
    {
        const os::Bstr xml(description);
        const os::Bstr progId(u"Test.Device");
        const os::Bstr init(u"init");
        const os::Bstr deviceId(id);
        const os::Bstr resources(u"\\Hard Disk\\Web");
        return m_registrar->RegisterDevice(xml.get(), progId.get(), init.get(), deviceId.get(),
                                           resources.get());
    }

    HRESULT uniqueName(const std::u16string& id, const std::u16string& templateUdn, std::u16string& udn)
    {
        const os::Bstr deviceId(id);
        const os::Bstr name(templateUdn);
        os::Bstr answer;
        const HRESULT result = m_registrar->GetUniqueDeviceName(deviceId.get(), name.get(), answer.out());
        udn = answer.view();
        return result;
    }

    ostest::TempDeviceRoot m_root;
    os::ComPtr<IUPnPRegistrar> m_registrar;
};

TEST_F(Registrar, RegisterDeviceRecordsTheRegistrationWithItsUniqueName)
{
    ASSERT_EQ(registerDevice(u"dev-1"), S_OK);
    const auto registrations = upnphost::readRegistrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].id, u"dev-1");
    EXPECT_EQ(registrations[0].description, kDescription);
    EXPECT_EQ(registrations[0].progId, u"Test.Device");
    EXPECT_EQ(registrations[0].initString, u"init");
    EXPECT_EQ(registrations[0].resourcePath, u"\\Hard Disk\\Web");

    // The name of the template is made at registration and stays.
    const auto stored =
        os::registryString(HKEY_LOCAL_MACHINE, u"Comm\\UPnPDevices\\dev-1\\UniqueDeviceNames", u"DummyUDN");
    ASSERT_TRUE(stored);
    std::u16string udn;
    ASSERT_EQ(uniqueName(u"dev-1", u"DummyUDN", udn), S_OK);
    EXPECT_EQ(udn, *stored);
    GUID parsed{};
    EXPECT_TRUE(os::guidFromString(os::toUtf8(udn), parsed)) << os::toUtf8(udn);
    EXPECT_EQ(os::toUtf16(os::uuidText(parsed)), udn);

    // Another device, or another template, gets a name of its own.
    ASSERT_EQ(registerDevice(u"dev-2"), S_OK);
    std::u16string other;
    std::u16string second;
    ASSERT_EQ(uniqueName(u"dev-2", u"DummyUDN", other), S_OK);
    ASSERT_EQ(uniqueName(u"dev-1", u"Embedded", second), S_OK);
    EXPECT_EQ(std::set<std::u16string>({udn, other, second}).size(), 3u);
}

TEST_F(Registrar, WrongRegistrationsAndUnknownDevicesAreRefused)
{
    EXPECT_EQ(registerDevice(u"dev\\sub"), E_INVALIDARG);
    EXPECT_EQ(registerDevice(u""), E_INVALIDARG);
    EXPECT_EQ(registerDevice(u"dev-1", u"<root><device/></root>"), E_INVALIDARG);
    EXPECT_EQ(registerDevice(u"dev-1", u"not xml"), E_INVALIDARG);
    EXPECT_TRUE(upnphost::readRegistrations().empty());

    std::u16string udn;
    EXPECT_EQ(uniqueName(u"nobody", u"DummyUDN", udn), E_INVALIDARG);
    EXPECT_EQ(uniqueName(u"..\\Other", u"DummyUDN", udn), E_INVALIDARG);
    EXPECT_EQ(m_registrar->GetUniqueDeviceName(nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(Registrar, ConcurrentCallersAgreeOnOneName)
{
    ASSERT_EQ(registerDevice(u"dev-1"), S_OK);
    constexpr int kThreads = 8;
    std::vector<std::u16string> names(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i]
                             { EXPECT_EQ(upnphost::uniqueDeviceName(u"dev-1", u"Fresh", names[i]), S_OK); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(names[0].empty());
    EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()).size(), 1u);
}

TEST_F(Registrar, ARunningHostIsToldAndRegisteringWaitsForIt)
{
    // Without a host the registration stands; the host loads it when it starts.
    EXPECT_FALSE(upnphost::notifyHost(std::chrono::seconds(5)));
    ASSERT_EQ(registerDevice(u"dev-1"), S_OK);

    std::atomic<int> reloads{0};
    upnphost::NoticeListener listener([&] { ++reloads; });
    std::string error;
    ASSERT_TRUE(listener.start(error)) << error;
    ASSERT_EQ(registerDevice(u"dev-2"), S_OK);
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(upnphost::notifyHost(std::chrono::seconds(60)));
    EXPECT_EQ(reloads, 2);
    listener.stop();
    EXPECT_FALSE(upnphost::notifyHost(std::chrono::seconds(5)));
}

TEST(Description, TheRootDeviceAndItsServicesAreRead)
{
    const auto device = upnphost::readDescription(os::toUtf8(kDescription));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->deviceType, "urn:schemas-upnp-org:device:Basic:1");
    EXPECT_EQ(device->udn, "uuid:DummyUDN");
    EXPECT_EQ(upnphost::bareUdn(device->udn), "DummyUDN");
    EXPECT_EQ(upnphost::bareUdn("UUID:abc"), "abc");
    ASSERT_EQ(device->services.size(), 1u);
    EXPECT_EQ(device->services[0].serviceType, "urn:x:service:S:1");
    EXPECT_EQ(device->services[0].serviceId, "urn:x:serviceId:S1");
    EXPECT_EQ(device->services[0].scpdUrl, "S.xml");
    EXPECT_EQ(device->services[0].controlUrl, "/ctl?uuid:DummyUDN+urn:x:serviceId:S1");

    for (const char* wrong : {"", "<root/>", "<root><device><UDN>uuid:</UDN></device></root>",
                              "<other><device>"
                              "<UDN>uuid:a</UDN></device></other>",
                              "<root><device><UDN>a</UDN></device>"})
        EXPECT_FALSE(upnphost::readDescription(wrong)) << wrong;
}
} // namespace
