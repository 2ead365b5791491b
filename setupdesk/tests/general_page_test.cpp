// The General page: the device overview from the registry, the device root and its
// adapters, the Quberon version from Vos responders, the processor frequency from ZrdSim
// behind a real device manager.
#include "setupdesk_fixture.h"

#include <general_page.h>
#include <orx_net_id_dlg.h>
#include <quberon_system.h>
#include <resource.h>

#include <device_manager_process.h>
#include <testsupport.h>
#include <ui/testing/scripted_host.h>
#include <vos/vosw32.h>
#include <zrdsim/control.h>

#include <os/deviceroot.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

constexpr DWORD kTestVosTimeout = 20000;
constexpr int kQuberonItems[] = {IDC_QB_VERSION_LABEL, IDC_QB_VERSION,       IDC_QB_BUILD_LABEL,
                                 IDC_QB_BUILD,         IDC_ORX_NET_ID_LABEL, IDC_ORX_NET_ID};

// The page with a time-out that a loaded machine keeps.
struct StartedGeneralPage : StartedPage<CGeneralPage>
{
    StartedGeneralPage() : StartedPage<CGeneralPage>(kTestVosTimeout) {}
};

class GeneralPageTest : public SetupdeskTest
{
protected:
    void SetUp() override
    {
        // Dates are shown in local time: the tests fix the zone.
        setenv("TZ", "UTC0", 1);
        tzset();
    }
};

TEST_F(GeneralPageTest, DeviceImageAndProgramVersions)
{
    setString(u"Ident", u"Name", "Cell 4 Panel");
    setString(u"Drivers\\BuiltIn\\ZrDevice", u"Line1", "V2.05 Zr Device");
    setString(u"Drivers\\BuiltIn\\ZrDevice", u"Line2", "Build 2024-01");
    setString(u"Drivers\\BuiltIn\\KxDevice", u"Line1", "not the first");
    StartedGeneralPage started;
    const CGeneralPage& page = started.page;
    EXPECT_EQ(page.itemText(IDC_DEVICE_NAME), "Cell 4 Panel");
    EXPECT_EQ(page.itemText(IDC_IMAGE_VERSION), "V2.05 Zr Device");
    EXPECT_EQ(page.itemText(IDC_IMAGE_VERSION_2), "Build 2024-01");
    // This test program's own version record.
    EXPECT_EQ(page.itemText(IDC_SETUPDESK_VERSION), "3.4 (Build 678)");
    EXPECT_FALSE(page.changed());

    // The first key that exists wins, even with a value missing.
    setString(u"Drivers\\BuiltIn\\ZrDisplay", u"Line2", "display");
    deleteValue(u"Ident", u"Name");
    StartedGeneralPage again;
    EXPECT_EQ(again.page.itemText(IDC_DEVICE_NAME), "Not recognized");
    EXPECT_EQ(again.page.itemText(IDC_IMAGE_VERSION), "");
    EXPECT_EQ(again.page.itemText(IDC_IMAGE_VERSION_2), "display");
}

TEST_F(GeneralPageTest, WithoutTheRunTimeSystemNothingIsAskedOverVos)
{
    setValue(u"SOFTWARE\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {192, 168, 0, 7, 1, 1});
    setQuberonMajorVersion(3);
    StartedGeneralPage started;
    const CGeneralPage& page = started.page;
    EXPECT_EQ(page.itemText(IDC_QB_VERSION), "?");
    EXPECT_EQ(page.itemText(IDC_QB_BUILD), "?");
    EXPECT_EQ(quberonMajorVersion(), 0);
    EXPECT_EQ(page.itemText(IDC_ORX_NET_ID), "192.168.0.7.1.1");
    for (int id : kQuberonItems)
        EXPECT_TRUE(page.control(id).visible()) << id;
    // No Vos port was opened, so no router was started.
    EXPECT_FALSE(std::filesystem::exists(m_root.path() + "/vosrouter.sock"));
}

TEST_F(GeneralPageTest, WithoutTheMakersKeyTheQuberonItemsAreHidden)
{
    deleteKey(u"SOFTWARE\\Corvanta");
    StartedGeneralPage started;
    for (int id : kQuberonItems)
        EXPECT_FALSE(started.page.control(id).visible()) << id;
    EXPECT_TRUE(started.page.control(IDC_DEVICE_NAME).visible());
    EXPECT_EQ(started.page.itemText(IDC_ORX_NET_ID), "Not recognized");
}

TEST_F(GeneralPageTest, ANetIdOfFiveBytesIsNotRecognized)
{
    setValue(u"SOFTWARE\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {1, 2, 3, 4, 5});
    StartedGeneralPage started;
    EXPECT_EQ(started.page.itemText(IDC_ORX_NET_ID), "Not recognized");
    for (int id : kQuberonItems)
        EXPECT_TRUE(started.page.control(id).visible()) << id;
}

TEST_F(GeneralPageTest, EditChangesTheNetIdAndThePageShowsIt)
{
    setValue(u"SOFTWARE\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {1, 2, 3, 4, 5, 6});
    StartedGeneralPage started;
    started.host.onModal(IDD_ORX_NET_ID,
                         [&](ui::Dialog& dialog)
                         {
                             started.host.type(dialog, IDC_NET_ID_1, "100");
                             started.host.click(dialog, IDOK);
                         });
    ASSERT_TRUE(started.host.click(started.page, IDC_EDIT_NET_ID).accepted());
    EXPECT_EQ(started.page.itemText(IDC_ORX_NET_ID), "100.2.3.4.5.6");
    EXPECT_EQ(started.host.unusedScript(), 0u);
}

TEST_F(GeneralPageTest, AdaptersShowDhcpAddressAndMac)
{
    std::ofstream(m_root.path() + "/.adapters")
        << "eth0  0a-1b-2c-3d-4e-5f  192.168.7.20  255.255.255.0  up\n"
           "wlan1 00-00-00-00-00-01  10.1.2.3      255.0.0.0      down\n";
    setDword(u"Comm\\eth0\\Parms\\TcpIp", u"EnableDHCP", 1);
    StartedGeneralPage started;
    CGeneralPage& page = started.page;
    ASSERT_EQ(page.combo(IDC_ADAPTERS).count(), 2);
    EXPECT_EQ(page.combo(IDC_ADAPTERS).itemText(0), "eth0");
    EXPECT_EQ(page.combo(IDC_ADAPTERS).itemText(1), "wlan1");
    struct Case
    {
        int index;
        const char* dhcp;
        const char* address;
        const char* mac;
    } cases[] = {{1, "Disabled", "10.1.2.3", "00 00 00 00 00 01"},
                 {0, "Enabled", "192.168.7.20", "0A 1B 2C 3D 4E 5F"}};
    for (const Case& c : cases)
    {
        ASSERT_TRUE(started.host.select(page, IDC_ADAPTERS, c.index).accepted());
        EXPECT_EQ(page.itemText(IDC_DHCP), c.dhcp) << c.index;
        EXPECT_EQ(page.itemText(IDC_IP_ADDRESS), c.address) << c.index;
        EXPECT_EQ(page.itemText(IDC_MAC_ADDRESS), c.mac) << c.index;
    }
}

TEST_F(GeneralPageTest, InfoFilesShowCompanyVersionAndDate)
{
    std::filesystem::create_directories(m_root.path() + "/Windows");
    std::filesystem::copy_file(os::programDirectory() + "/libVersionedLib.so",
                               m_root.path() + "/Windows/Info.dll");
    std::ofstream(m_root.path() + "/Windows/plain.txt") << "no record";
    // 2024-03-07 09:05:59 and 2023-11-23 18:40:00, UTC.
    const std::pair<const char*, time_t> stamps[] = {{"/Windows/Info.dll", 1709802359},
                                                     {"/Windows/plain.txt", 1700764800}};
    for (const auto& [name, seconds] : stamps)
    {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (m_root.path() + name).c_str(), times, 0), 0);
    }
    setString(u"SOFTWARE\\Corvanta\\Setupdesk\\InfoFiles", u"Info", "\\Windows\\Info.dll");
    setString(u"SOFTWARE\\Corvanta\\GKT\\InfoFiles", u"Plain", "\\Windows\\plain.txt");
    setString(u"SOFTWARE\\Corvanta\\GKT\\InfoFiles", u"Gone", "\\Windows\\gone.dll");

    StartedGeneralPage started;
    CGeneralPage& page = started.page;
    const ui::ComboBox& files = page.combo(IDC_FILES);
    ASSERT_EQ(files.count(), 3);
    EXPECT_EQ(files.itemText(0), "\\Windows\\Info.dll");
    EXPECT_EQ(files.curSel(), 0);
    // The first file is shown at once.
    EXPECT_EQ(page.itemText(IDC_COMPANY), "Corvanta Rodevadido GmbH");
    EXPECT_EQ(page.itemText(IDC_FILE_VERSION), "2.3.0.1234");
    EXPECT_EQ(page.itemText(IDC_DATE_MODIFIED), "3/07/2024 9:05");

    struct Case
    {
        const char* file;
        const char* company;
        const char* version;
        const char* date;
    } cases[] = {{"\\Windows\\plain.txt", "", "", "11/23/2023 18:40"},
                 {"\\Windows\\gone.dll", "", "", ""},
                 {"\\Windows\\Info.dll", "Corvanta Rodevadido GmbH", "2.3.0.1234", "3/07/2024 9:05"}};
    for (const Case& c : cases)
    {
        int index = -1;
        for (int i = 0; i < files.count(); ++i)
            index = files.itemText(i) == c.file ? i : index;
        ASSERT_GE(index, 0) << c.file;
        ASSERT_TRUE(started.host.select(page, IDC_FILES, index).accepted());
        EXPECT_EQ(page.itemText(IDC_COMPANY), c.company) << c.file;
        EXPECT_EQ(page.itemText(IDC_FILE_VERSION), c.version) << c.file;
        EXPECT_EQ(page.itemText(IDC_DATE_MODIFIED), c.date) << c.file;
    }
}

// A Quberon port that answers device info with its version.
class VersionResponder final : public CVosW32
{
public:
    VersionResponder(USHORT port, VosVersion version) : CVosW32(0, FALSE, nullptr, 0), m_version(version)
    {
        EXPECT_TRUE(OrxConnect(port, 4096, 80)) << port;
    }
    ~VersionResponder() override { OrxDisconnect(); }
    void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId) override
    {
        VosReadDeviceInfoRes(addr, invokeId, 0, "QbSystem", m_version);
    }

private:
    VosVersion m_version;
};

TEST(GeneralPageVos, TheBuildComesFromPort10000From29Build143On)
{
    vostest::DeviceRoot root;
    const HANDLE running = CreateEventW(nullptr, TRUE, FALSE, u"QbSYSEXE_SUSPEND_COMPLETE");
    ASSERT_NE(running, nullptr);
    setValue(u"Software\\Corvanta\\Quberon\\System", u"OrxNetId", REG_BINARY, {9, 9, 9, 9, 9, 9});
    setValue(u"Software\\Corvanta\\Quberon3\\System", u"OrxNetId", REG_BINARY, {3, 3, 3, 3, 3, 3});

    struct Case
    {
        const char* name;
        std::optional<VosVersion> port100;
        std::optional<VosVersion> port10000;
        const char* version;
        const char* build;
        BYTE major;
        const char* netId;
    } cases[] = {
        {"2.9 build 142 keeps port 100's build", VosVersion{2, 9, 142}, VosVersion{2, 9, 999}, "2.9", "142",
         2, "9.9.9.9.9.9"},
        {"2.9 build 143 takes port 10000's", VosVersion{2, 9, 143}, VosVersion{2, 9, 999}, "2.9", "999", 2,
         "9.9.9.9.9.9"},
        {"2.10", VosVersion{2, 10, 1}, VosVersion{2, 10, 998}, "2.10", "998", 2, "9.9.9.9.9.9"},
        {"2.8", VosVersion{2, 8, 500}, VosVersion{2, 8, 999}, "2.8", "500", 2, "9.9.9.9.9.9"},
        {"3.0 reads the net id of its own key", VosVersion{3, 0, 5}, VosVersion{3, 0, 4711}, "3.0", "4711", 3,
         "3.3.3.3.3.3"},
        {"port 10000 missing keeps port 100's build", VosVersion{3, 1, 7}, std::nullopt, "3.1", "7", 3,
         "3.3.3.3.3.3"},
        {"port 100 missing", std::nullopt, VosVersion{3, 0, 1}, "?", "?", 0, "9.9.9.9.9.9"},
    };
    for (const Case& c : cases)
    {
        setQuberonMajorVersion(0);
        std::unique_ptr<VersionResponder> system, runtime;
        if (c.port100)
            system = std::make_unique<VersionResponder>(100, *c.port100);
        if (c.port10000)
            runtime = std::make_unique<VersionResponder>(10000, *c.port10000);
        StartedGeneralPage started;
        EXPECT_EQ(started.page.itemText(IDC_QB_VERSION), c.version) << c.name;
        EXPECT_EQ(started.page.itemText(IDC_QB_BUILD), c.build) << c.name;
        EXPECT_EQ(quberonMajorVersion(), c.major) << c.name;
        EXPECT_EQ(started.page.itemText(IDC_ORX_NET_ID), c.netId) << c.name;
    }
    CloseHandle(running);
    setQuberonMajorVersion(0);
}

// ZrdSim behind a real device manager.
class GeneralPageDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_manager.writeFile("ZrdSim.txt", "current 16 1024 768 60\ncpu 1500\n");
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
    }

    void control(const zrdsim::FaultRequest& fault)
    {
        const HANDLE device =
            CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, zrdsim::kIoctlSetFault, const_cast<zrdsim::FaultRequest*>(&fault),
                                    sizeof fault, nullptr, 0, &returned, nullptr));
        CloseHandle(device);
    }

    zrdsim::DriverStats stats()
    {
        zrdsim::DriverStats stats{};
        const HANDLE device =
            CreateFileW(u"ZRD1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(device, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, zrdsim::kIoctlGetStats, nullptr, 0, &stats, sizeof stats,
                                    &returned, nullptr));
        CloseHandle(device);
        return stats;
    }

    devmgr::testing::DeviceManagerProcess m_manager;
};

TEST_F(GeneralPageDevice, TheFrequencyComesFromTheDeviceOrIsMeasured)
{
#if defined(__x86_64__) || defined(__i386__)
    const std::regex measured("[1-9][0-9]* MHz");
#else
    const std::regex measured("-- MHz");
#endif
    const zrdsim::DriverStats before = stats();
    {
        StartedGeneralPage started;
        EXPECT_EQ(started.page.itemText(IDC_CPU_FREQUENCY), "1500 MHz");
    }
    // One open, one call, closed again (the statistics call itself opens once more).
    const zrdsim::DriverStats after = stats();
    EXPECT_EQ(after.opens - before.opens, 2u);
    EXPECT_EQ(after.openContexts, 1u);
    EXPECT_EQ(after.ioCalls - before.ioCalls, 1u);
    EXPECT_EQ(after.lastCode, zrdsim::kIoctlCpuFrequency);

    m_manager.writeFile("ZrdSim.txt", "current 16 1024 768 60\ncpu 0\n");
    {
        StartedGeneralPage started;
        EXPECT_EQ(started.page.itemText(IDC_CPU_FREQUENCY), "-- MHz");
    }

    struct Case
    {
        const char* name;
        zrdsim::FaultRequest fault;
    } cases[] = {
        {"a failed call",
         {uint32_t(zrdsim::FaultKind::failIo), zrdsim::kIoctlCpuFrequency, 1, ERROR_GEN_FAILURE, 0}},
        {"a short answer", {uint32_t(zrdsim::FaultKind::shortAnswer), zrdsim::kIoctlCpuFrequency, 1, 2, 0}},
        {"a refused open", {uint32_t(zrdsim::FaultKind::refuseOpen), 0, 1, ERROR_ACCESS_DENIED, 0}},
    };
    for (const Case& c : cases)
    {
        control(c.fault);
        StartedGeneralPage started;
        EXPECT_TRUE(std::regex_match(started.page.itemText(IDC_CPU_FREQUENCY), measured))
            << c.name << ": " << started.page.itemText(IDC_CPU_FREQUENCY);
    }
}
} // namespace
