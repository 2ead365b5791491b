#include "ssdp_announcer.h"

#include <os/hostinfo.h>
#include <os/text.h>

#include <unistd.h>

namespace netherald
{
SsdpAnnouncer::SsdpAnnouncer(std::shared_ptr<Clock> clock, std::shared_ptr<DatagramSender> sender,
                             UPnPLog& log)
    : m_clock(std::move(clock)), m_sender(std::move(sender)), m_log(log)
{
}

SsdpAnnouncer::~SsdpAnnouncer()
{
    m_cancel.cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void SsdpAnnouncer::scheduleAlive(const std::u16string& udn)
{
    if (m_worker.joinable())
        return;
    m_worker = std::thread([this, udn] { announce(udn, true); });
}

void SsdpAnnouncer::release(const std::u16string& udn)
{
    m_cancel.cancel();
    if (m_worker.joinable())
        m_worker.join();
    announce(udn, false);
}

std::string SsdpAnnouncer::notice(const std::string& address, const std::u16string& udn, bool alive)
{
    const std::string name = os::toUtf8(udn);
    return "NOTIFY * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nCache-Control:max-age=1800\r\n"
           "Location:http://" +
           address + ":5120/upnp/" + name +
           ".xml\r\nNT:upnp:rootdevice\r\nNTS:" + (alive ? "ssdp:alive" : "ssdp:byebye") +
           "\r\nServer:Microsoft-WinCE/5.0 UPnP/1.0 UPnP-Device-Host/1.0\r\nUSN:uuid:" + name +
           "::upnp:rootdevice\r\n\r\n";
}

std::string SsdpAnnouncer::deviceAddress()
{
    char hostName[256] = {};
    if (gethostname(hostName, sizeof hostName - 1) != 0)
    {
        m_log.write("Unable to get hostname");
        return {};
    }
    const std::vector<std::string> addresses = os::resolveHostName(hostName);
    if (addresses.empty())
    {
        m_log.write("Unable to find NIC");
        return {};
    }
    m_log.writef("IP: %s", addresses.front().c_str());
    return addresses.front();
}

void SsdpAnnouncer::announce(const std::u16string& udn, bool alive)
{
    if (!alive)
        m_log.write("Sending byebye");
    if (udn.empty())
    {
        m_log.write("Unable to get UDN");
        return;
    }
    const std::string address = deviceAddress();
    if (address.empty())
        return;
    const std::string datagram = notice(address, udn, alive);
    if (alive && !m_clock->waitFor(kAliveDelay, m_cancel))
        return;
    m_sender->send(address, datagram, m_log);
    if (!alive)
        m_log.write("Sending byebye finished");
}
} // namespace netherald
