// The device's own SSDP notice for its root device: "alive" 5 s after the device object
// is initialised (from a worker), "byebye" when it is released. Release cancels the alive
// notice still waiting, so only the byebye goes out then.
#pragma once

#include "clock.h"
#include "upnp_log.h"

#include <memory>
#include <string>
#include <thread>

namespace netherald
{
class DatagramSender
{
public:
    virtual ~DatagramSender() = default;
    // Sends one datagram from the device's address to the SSDP group (239.255.255.250:1900),
    // logging each step that fails.
    virtual void send(const std::string& localAddress, const std::string& datagram, UPnPLog& log) = 0;
};

class SsdpAnnouncer
{
public:
    SsdpAnnouncer(std::shared_ptr<Clock> clock, std::shared_ptr<DatagramSender> sender, UPnPLog& log);
    ~SsdpAnnouncer();
    SsdpAnnouncer(const SsdpAnnouncer&) = delete;
    SsdpAnnouncer& operator=(const SsdpAnnouncer&) = delete;

    // Starts the worker that sends the alive notice once 5 s have passed.
    void scheduleAlive(const std::u16string& udn);
    // Cancels and joins the worker, then sends the byebye notice at once.
    void release(const std::u16string& udn);

    static std::string notice(const std::string& address, const std::u16string& udn, bool alive);
    static constexpr std::chrono::milliseconds kAliveDelay{5000};

private:
    void announce(const std::u16string& udn, bool alive);
    // The host's first address; "" after a logged failure.
    std::string deviceAddress();

    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<DatagramSender> m_sender;
    UPnPLog& m_log;
    CancelToken m_cancel;
    std::thread m_worker;
};

// The real sender: a UDP socket bound to the device's address, port 1900, in the group,
// multicast time-to-live 4. Sends nothing while HKLM "Platform" "SsdpEnable" is 0
// ("SSDP disabled" is logged).
class MulticastSender : public DatagramSender
{
public:
    void send(const std::string& localAddress, const std::string& datagram, UPnPLog& log) override;
};
} // namespace netherald
