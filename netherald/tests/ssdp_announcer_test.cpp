// The device's own SSDP notice on a hand-stepped clock, with a sender that keeps the bytes.
#include "manual_clock.h"
#include "netherald_test_support.h"

namespace
{
using namespace std::chrono_literals;
using netheraldtest::logHas;

const std::u16string kUdn = u"5c1e0e6a-1f2b-4c3d-8e4f-0123456789ab";

std::string notice(const char* nts)
{
    return std::string("NOTIFY * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nCache-Control:max-age=1800\r\n"
                       "Location:http://192.0.2.7:5120/upnp/5c1e0e6a-1f2b-4c3d-8e4f-0123456789ab.xml\r\n"
                       "NT:upnp:rootdevice\r\nNTS:") +
           nts +
           "\r\nServer:Microsoft-WinCE/5.0 UPnP/1.0 UPnP-Device-Host/1.0\r\n"
           "USN:uuid:5c1e0e6a-1f2b-4c3d-8e4f-0123456789ab::upnp:rootdevice\r\n\r\n";
}

class Announcer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        netheraldtest::keepOnLoopback();
        // Only text here: the recording sender sends nothing.
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Platform", u"HostAddress", u"192.0.2.7");
        m_log = std::make_unique<netherald::UPnPLog>();
        m_announcer = std::make_unique<netherald::SsdpAnnouncer>(m_clock, m_sender, *m_log);
    }

    ostest::TempDeviceRoot m_root;
    std::shared_ptr<netheraldtest::ManualClock> m_clock = std::make_shared<netheraldtest::ManualClock>();
    std::shared_ptr<netheraldtest::RecordingSender> m_sender =
        std::make_shared<netheraldtest::RecordingSender>();
    std::unique_ptr<netherald::UPnPLog> m_log;
    std::unique_ptr<netherald::SsdpAnnouncer> m_announcer;
};

TEST_F(Announcer, AliveGoesOutFiveSecondsAfterItIsScheduledByebyeAtOnce)
{
    m_announcer->scheduleAlive(kUdn);
    ASSERT_TRUE(m_clock->waitForWaiters(1));
    m_clock->advance(4999ms);
    EXPECT_TRUE(m_sender->sent().empty()); // the worker cannot pass its wait before 5000 ms
    m_clock->advance(1ms);
    ASSERT_TRUE(m_sender->waitForSent(1));
    EXPECT_EQ(m_sender->sent()[0].bytes, notice("ssdp:alive"));
    EXPECT_EQ(m_sender->sent()[0].localAddress, "192.0.2.7");

    m_announcer->release(kUdn);
    ASSERT_EQ(m_sender->sent().size(), 2u);
    EXPECT_EQ(m_sender->sent()[1].bytes, notice("ssdp:byebye"));
    EXPECT_EQ(m_clock->waiting(), 0u);
    const std::vector<std::string> expected{"IP: 192.0.2.7", "Sending byebye", "IP: 192.0.2.7",
                                            "Sending byebye finished"};
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), expected);
}

TEST_F(Announcer, ReleaseDuringTheWaitSendsOnlyTheByebye)
{
    m_announcer->scheduleAlive(kUdn);
    ASSERT_TRUE(m_clock->waitForWaiters(1));
    m_announcer->release(kUdn);
    m_clock->advance(60s);
    ASSERT_EQ(m_sender->sent().size(), 1u);
    EXPECT_EQ(m_sender->sent()[0].bytes, notice("ssdp:byebye"));
}

TEST_F(Announcer, WithoutAnAddressNothingIsSent)
{
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Platform", u"HostAddress", u"no address");
    m_announcer->scheduleAlive(kUdn);
    m_announcer->release(kUdn);
    EXPECT_TRUE(m_sender->sent().empty());
    const std::vector<std::string> expected{"Unable to find NIC", "Sending byebye", "Unable to find NIC"};
    EXPECT_EQ(netheraldtest::logMessages(m_root.path()), expected);
}

TEST_F(Announcer, WithoutAUdnNothingIsSent)
{
    m_announcer->release(u"");
    EXPECT_TRUE(m_sender->sent().empty());
    EXPECT_TRUE(logHas(m_root.path(), "Unable to get UDN"));
}

TEST(MulticastSender, NothingLeavesWhileSsdpIsDisabled)
{
    ostest::TempDeviceRoot root;
    netheraldtest::keepOnLoopback();
    netherald::UPnPLog log;
    netherald::MulticastSender sender;
    // The seeded "SsdpEnable" is 0: the sender stops before it opens a socket.
    sender.send("127.0.0.1", "NOTIFY * HTTP/1.1\r\n\r\n", log);
    EXPECT_EQ(netheraldtest::logMessages(root.path()), std::vector<std::string>{"SSDP disabled"});
}
} // namespace
