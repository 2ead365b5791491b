// `regsvr Netherald.dll` on a temporary device root: what the registration writes and logs.
#include "mac_id.h"
#include "upnp_log.h"
#include "netherald_test_support.h"

#include <netherald/netherald.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace
{
using netheraldtest::fileText;

const char kAdapters[] = "# name  address            IPv4 address   mask\n"
                         "eth0 00-11-22-33-44-00 192.168.0.10 255.255.255.0 up\n"
                         "eth1 00-11-22-33-44-01 192.168.1.10 255.255.255.0 up\n"
                         "eth2 00-11-22-33-44-02 192.168.2.10 255.255.255.0 up\n"
                         "eth3 00-11-22-33-44-03 192.168.3.10 255.255.255.0 down\n"
                         "eth4 00-11-22-33-44-04 192.168.4.10 255.255.255.0 up\n"
                         "eth5 00-11-22-33-44-0A 192.168.5.10 255.255.255.0 up\n"
                         "ppp0 00-11-22-33 10.0.0.1 255.255.255.255 up\n";

std::u16string deviceKey(const std::u16string& id)
{
    return u"Comm\\UPnPDevices\\" + id;
}

std::vector<std::u16string> deviceIds()
{
    HKEY devices = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Comm\\UPnPDevices", 0, KEY_READ, &devices) != ERROR_SUCCESS)
        return {};
    const std::vector<std::u16string> ids = os::subkeyNames(devices);
    RegCloseKey(devices);
    return ids;
}

std::u16string text(HKEY root, const std::u16string& path, const char16_t* name)
{
    return os::registryString(root, path.c_str(), name).value_or(u"<missing>");
}

class Registration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        netheraldtest::keepOnLoopback();
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", u"panel-7");
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"DeviceType", u"IPC-4150 B");
        std::ofstream(m_root.path() + "/.adapters") << kAdapters;
    }

    int registerNetherald() { return netheraldtest::runProgram("regsvr", {"Netherald.dll"}); }

    ostest::TempDeviceRoot m_root;
};

TEST_F(Registration, RegistersTheClassTakesOverItsOldDeviceAndWritesTheWebFiles)
{
    // Two registrations of an older run, each with the UDN the host gave it, and one of
    // another device, which stays.
    const std::u16string earlier = u"0a8e1c52-3f4b-4d6e-9f10-111111111111";
    const std::u16string earlierUdn = u"5d2f0b7a-6c1e-4a3b-8d9c-aaaaaaaaaaaa";
    for (const std::u16string& id : {earlier, std::u16string(u"0b8e1c52-3f4b-4d6e-9f10-222222222222")})
    {
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, deviceKey(id), u"ProgId", u"Netherald.Device");
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, deviceKey(id) + u"\\UniqueDeviceNames", u"DummyUDN",
                                  id == earlier ? earlierUdn : u"5d2f0b7a-6c1e-4a3b-8d9c-bbbbbbbbbbbb");
    }
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, deviceKey(u"foreign"), u"ProgId", u"Other.Device");
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon3\\System", u"DefaultAdapter",
                              u"eth5");

    ASSERT_EQ(registerNetherald(), 0);

    // The class, its ProgIDs, application and type library.
    const std::u16string cls = u"CLSID\\{198E2F5D-ABB8-4B32-BA5A-2861E95E6ECB}";
    const std::u16string server = text(HKEY_CLASSES_ROOT, cls + u"\\InprocServer32", u"");
    EXPECT_EQ(os::toHostPath(server).value_or(""), os::programDirectory() + "/libNetherald.so");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls + u"\\InprocServer32", u"ThreadingModel"), u"Free");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls, u""), u"Device Class");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls + u"\\ProgID", u""), u"Netherald.Device.1");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls + u"\\VersionIndependentProgID", u""), u"Netherald.Device");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls + u"\\TypeLib", u""), u"{AF4310BD-B106-4CC6-9024-268636EAFC8C}");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls, u"AppID"), u"{7B1B1426-D4E4-40F4-B3FA-9AB03456EEE0}");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"AppID\\{7B1B1426-D4E4-40F4-B3FA-9AB03456EEE0}", u""), u"Netherald");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"Netherald.Device\\CurVer", u""), u"Netherald.Device.1");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"TypeLib\\{AF4310BD-B106-4CC6-9024-268636EAFC8C}\\1.0\\0\\win32", u""),
              server);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(netherald::kProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_NetheraldDevice);
    CoUninitialize();

    // The device is registered again under its first old registration, the second went.
    std::vector<std::u16string> ours;
    for (const std::u16string& id : deviceIds())
        if (text(HKEY_LOCAL_MACHINE, deviceKey(id), u"ProgId") == u"Netherald.Device")
            ours.push_back(id);
    ASSERT_EQ(ours, std::vector<std::u16string>{earlier});
    EXPECT_EQ(deviceIds().size(), 2u);
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, deviceKey(u"foreign"), u"ProgId"), u"Other.Device");
    const std::u16string id = ours[0];

    EXPECT_EQ(os::toUtf8(text(HKEY_LOCAL_MACHINE, deviceKey(id), u"XMLDesc")),
              fileText(std::string(NETHERALD_GOLDEN_DIR) + "/description.xml"));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, deviceKey(id), u"InitString"), u"Netherald");
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, deviceKey(id), u"ResourcePath"), u"\\Hard Disk\\UPnP\\UpnpWebsite");
    EXPECT_EQ(os::registryDword(HKEY_LOCAL_MACHINE, deviceKey(id).c_str(), u"State").value_or(0), 1u);
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"Hostname"), u"panel-7");
    // The sixth adapter: found only with the second, larger buffer.
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"MacID"), u"00-11-22-33-44-0A");

    // The UDN the host gave the device stays.
    const std::string udn =
        os::toUtf8(text(HKEY_LOCAL_MACHINE, deviceKey(id) + u"\\UniqueDeviceNames", u"DummyUDN"));
    EXPECT_EQ(udn, os::toUtf8(earlierUdn));
    EXPECT_EQ(fileText(m_root.path() + "/Hard Disk/UPnP/UpnpWebsite/upnp.js"),
              "var deviceid=\"" + udn + "\";\r\nvar winxp=false;");
    EXPECT_EQ(fileText(m_root.path() + "/Hard Disk/WWW/Config/index.htm"),
              "<script language=\"JavaScript\">\r\n<!--\r\ndocument.location = "
              "'http://panel-7:5120/UpnpWebsite/index.htm'\r\n//--></script>");

    const std::vector<std::string> log{"Found Device",    "Found Device",     "Old device removed",
                                       "Register Device", "Writing Hostname", "Done",
                                       "Register Done"};
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), log);

    // Removing is not offered: the registration stays as it is.
    EXPECT_EQ(netheraldtest::runProgram("regsvr", {"-u", "Netherald.dll"}), 1);
    EXPECT_EQ(deviceIds().size(), 2u);
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, cls + u"\\InprocServer32", u""), server);
}

TEST_F(Registration, WithoutTheHostsRegistrarNoHalfRegisteredDeviceStays)
{
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{204810B9-73B2-11D4-BF42-00B0D0118B56}"),
              ERROR_SUCCESS);
    ASSERT_EQ(registerNetherald(), 0);
    EXPECT_TRUE(deviceIds().empty());
    EXPECT_FALSE(std::filesystem::exists(m_root.path() + "/Hard Disk/UPnP/UpnpWebsite/upnp.js"));
    const std::vector<std::string> log{"Register Device", "Unable to init UPnPRegistrar"};
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), log);
}

TEST_F(Registration, AnEmptyHostNameStopsBeforeTheDevice)
{
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", u"");
    ASSERT_EQ(registerNetherald(), 0); // the class is registered; the device steps only log
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"Netherald.Device\\CLSID", u""),
              u"{198E2F5D-ABB8-4B32-BA5A-2861E95E6ECB}");
    EXPECT_TRUE(deviceIds().empty());
    EXPECT_FALSE(std::filesystem::exists(m_root.path() + "/Hard Disk/WWW/Config/index.htm"));
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), std::vector<std::string>{"Invalid Hostname"});
}

TEST_F(Registration, AHostNameUnfitForTheRedirectPageSkipsIt)
{
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", u"panel 7'<x>");
    ASSERT_EQ(registerNetherald(), 0);
    EXPECT_EQ(deviceIds().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_root.path() + "/Hard Disk/WWW/Config/index.htm"));
    const auto log = netheraldtest::logMessages(m_root.path());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Invalid Hostname");
    EXPECT_EQ(log.back(), "Register Done");
}

TEST_F(Registration, TheLogIsWrittenOnlyWhenEnabledAndRestartsWhenFull)
{
    const std::string path = netheraldtest::logPath(m_root.path());
    ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"EnableLogFile", 0);
    ASSERT_EQ(registerNetherald(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));

    // Beyond the limit the first line of the registration starts a new file.
    ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"EnableLogFile", 1);
    std::ofstream(path, std::ios::binary) << std::string(40001, 'x');
    ASSERT_EQ(registerNetherald(), 0);
    const std::vector<std::string> log{"Found Device", "Register Device", "Writing Hostname", "Done",
                                       "Register Done"};
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), log);
}

TEST_F(Registration, NoFileIsWrittenThroughALinkOutOfTheRoot)
{
    ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"EnableLogFile", 1);
    char outsideTemplate[] = "/tmp/netherald-outside-XXXXXX";
    ASSERT_NE(mkdtemp(outsideTemplate), nullptr);
    const std::string outside = outsideTemplate;
    const std::string web = m_root.path() + "/Hard Disk/UPnP/UpnpWebsite";
    const std::string config = m_root.path() + "/Hard Disk/WWW/Config";
    std::filesystem::create_directories(web);
    std::filesystem::create_directories(config);
    // Each of Netherald's own files, a link to a file of its own outside the root.
    const std::vector<std::string> files{web + "/upnp.js", config + "/index.htm",
                                         netheraldtest::logPath(m_root.path())};
    for (size_t i = 0; i < files.size(); ++i)
    {
        const std::string target = outside + "/file" + std::to_string(i);
        std::ofstream(target, std::ios::binary) << "outside " << i << "\n";
        std::filesystem::create_symlink(target, files[i]);
    }
    registerNetherald();
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(fileText(outside + "/file" + std::to_string(i)), "outside " + std::to_string(i) + "\n")
            << files[i];
    std::filesystem::remove_all(outside);
}

TEST(UPnPLog, AFileAtTheLimitTakesOneMoreLineThenStartsAgain)
{
    ostest::TempDeviceRoot root;
    netheraldtest::keepOnLoopback();
    netherald::UPnPLog log;
    const std::string path = netheraldtest::logPath(root.path());
    std::filesystem::create_directories(root.path() + "/Hard Disk/UPnP");
    std::ofstream(path, std::ios::binary) << std::string(40000, 'x');
    log.write("one");
    const std::string full = fileText(path);
    EXPECT_EQ(full.substr(0, 40000), std::string(40000, 'x'));
    EXPECT_EQ(full.substr(40000 + 22), " one\n");
    log.write("two");
    EXPECT_EQ(netheraldtest::logMessages(root.path()), std::vector<std::string>{"two"});
}

TEST(MacId, TheDefaultAdapterIsChosenByTheQuberonKeys)
{
    struct Case
    {
        const char* what;
        const char16_t* quberon3;      // "DefaultAdapter" of Quberon3\System; null: no key
        const char16_t* quberonRemote; // of Quberon\Remote; null: no key
        bool emptyQuberon3Key;
        const char* mac;
    };
    const Case cases[] = {
        {"Quberon3 names the sixth", u"eth5", u"eth2", false, "00-11-22-33-44-0A"},
        {"Quberon3 missing: Quberon\\Remote", nullptr, u"eth2", false, "00-11-22-33-44-02"},
        {"no key: the first", nullptr, nullptr, false, "00-11-22-33-44-00"},
        {"Quberon3 without a value: the first", nullptr, u"eth2", true, "00-11-22-33-44-00"},
        {"an adapter that is not there: the first", u"eth9", nullptr, false, "00-11-22-33-44-00"},
        {"a 4-byte address is no MAC", u"ppp0", nullptr, false, ""},
    };
    for (const Case& c : cases)
    {
        ostest::TempDeviceRoot root;
        std::ofstream(root.path() + "/.adapters") << kAdapters;
        if (c.quberon3)
            ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon3\\System",
                                      u"DefaultAdapter", c.quberon3);
        if (c.emptyQuberon3Key)
            ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon3\\System", u"Other",
                                      u"x");
        if (c.quberonRemote)
            ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon\\Remote",
                                      u"DefaultAdapter", c.quberonRemote);
        std::string mac;
        EXPECT_EQ(netherald::readMacId(mac), *c.mac != '\0') << c.what;
        EXPECT_EQ(mac, c.mac) << c.what;
    }
}
} // namespace
