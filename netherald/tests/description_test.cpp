// The device description and the service description against their golden files.
#include "device_description.h"
#include "description.h"
#include "netherald_test_support.h"
#include "scpd.h"
#include "service_table.h"

#include <netherald/netherald.h>

namespace
{
// Compares with a golden file; a text that differs is kept as "<name>.actual" in the
// working folder, for review.
void expectGolden(const std::string& text, const char* name)
{
    const std::string golden = netheraldtest::fileText(std::string(NETHERALD_GOLDEN_DIR) + "/" + name);
    EXPECT_EQ(text, golden) << name;
    if (text != golden)
        std::ofstream(std::string(name) + ".actual", std::ios::binary) << text;
}

TEST(Description, MatchesTheGoldenTextInOrder)
{
    const netherald::Identity identity{u"panel-7", u"IPC-4150 B", u"panel-7", u"IPC-4150 B"};
    expectGolden(os::toUtf8(netherald::deviceDescription(identity)), "description.xml");
}

TEST(Description, ServiceDescriptionMatchesTheGoldenText)
{
    expectGolden(upnphost::scpdText(netherald::serviceTable()), "NetheraldService.xml");
}

TEST(Description, IdentityTextsAreEscapedAndOverridesStandIn)
{
    ostest::TempDeviceRoot root;
    netheraldtest::keepOnLoopback();
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", u"panel-7");
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"DeviceType", u"CX-2 <beta>");
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"FriendlyName",
                              u"Line 3 & <Cell> 7");
    netherald::UPnPLog log;
    netherald::Identity identity;
    ASSERT_TRUE(netherald::readIdentity(identity, log));
    EXPECT_EQ(identity.friendlyName, u"Line 3 & <Cell> 7");
    EXPECT_EQ(identity.modelDescription, u"CX-2 <beta>"); // no "Comment": the device type

    const std::string text = os::toUtf8(netherald::deviceDescription(identity));
    EXPECT_NE(text.find("\t\t<friendlyName>Line 3 &amp; &lt;Cell&gt; 7</friendlyName>\n"), std::string::npos);
    EXPECT_NE(text.find("\t\t<modelDescription>CX-2 &lt;beta&gt;</modelDescription>\n"), std::string::npos);
    EXPECT_NE(text.find("\t\t<modelName>CX-2 &lt;beta&gt;</modelName>\n"), std::string::npos);
    EXPECT_NE(text.find("<modelURL>http://www.corvanta.com/products/embedded-controller</modelURL>"),
              std::string::npos);
    // The host reads it as the description it is.
    const auto device = upnphost::readDescription(text);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->udn, "uuid:DummyUDN");
    ASSERT_EQ(device->services.size(), 1u);
    EXPECT_EQ(device->services[0].serviceId, netherald::kServiceId);

    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"Comment", u"Cell & line");
    ASSERT_TRUE(netherald::readIdentity(identity, log));
    EXPECT_EQ(identity.modelDescription, u"Cell & line");
}

TEST(Description, ModelPagesFollowTheDeviceType)
{
    struct Case
    {
        std::u16string deviceType;
        std::u16string url;
    };
    const Case cases[] = {
        {u"IPC-4120", u"http://www.corvanta.com/products/panel-pc/ipc-4120"},
        {u"ipc-4120-b", u"http://www.corvanta.com/products/panel-pc/ipc-4120"},
        {u"IPC-5200", u"http://www.corvanta.com/products/box-pc/ipc-5200"},
        {u"CX-9", u"http://www.corvanta.com/products/embedded-controller"},
        {u"IPC-41", u"http://www.corvanta.com/products"},
        {u"", u"http://www.corvanta.com/products"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(netherald::modelUrl(c.deviceType), c.url) << os::toUtf8(c.deviceType);
}

TEST(Identity, FailedOrEmptyValuesAreLoggedAndStopTheRegistration)
{
    struct Case
    {
        const char* what;
        const char16_t* name;       // null: no value
        const char16_t* deviceType; // null: no value
        bool valid;
        std::vector<std::string> log;
    };
    const std::u16string longName(256, u'a');
    const Case cases[] = {
        {"both present", u"panel-7", u"IPC-4120", true, {}},
        {"empty name", u"", u"IPC-4120", false, {"Invalid Hostname"}},
        {"no name", nullptr, u"IPC-4120", false, {"Unable to read Hostname"}},
        {"empty type", u"panel-7", u"", false, {"Invalid DeviceType"}},
        {"neither", nullptr, nullptr, false, {"Unable to read Hostname", "Unable to read DeviceType"}},
        {"name of 256 characters", longName.c_str(), u"IPC-4120", false, {"Unable to read Hostname"}},
    };
    for (const Case& c : cases)
    {
        ostest::TempDeviceRoot root;
        netheraldtest::keepOnLoopback();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Ident");
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Other", u"x");
        if (c.name)
            ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", c.name);
        if (c.deviceType)
            ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"DeviceType", c.deviceType);
        netherald::UPnPLog log;
        netherald::Identity identity;
        EXPECT_EQ(netherald::readIdentity(identity, log), c.valid) << c.what;
        EXPECT_EQ(netheraldtest::logMessages(root.path()), c.log) << c.what;
    }

    // Without the key nothing can be read, and nothing is an error.
    ostest::TempDeviceRoot root;
    netheraldtest::keepOnLoopback();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Ident");
    netherald::UPnPLog log;
    netherald::Identity identity;
    EXPECT_TRUE(netherald::readIdentity(identity, log));
    EXPECT_TRUE(identity.hostName.empty());
}
} // namespace
