#include "ssdp_announcer.h"

#include <windows.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace netherald
{
namespace
{
constexpr uint16_t kSsdpPort = 1900;
constexpr const char* kSsdpGroup = "239.255.255.250";

// Closes the socket whichever step ends the notice.
class UdpSocket
{
public:
    UdpSocket() : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~UdpSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};
} // namespace

void MulticastSender::send(const std::string& localAddress, const std::string& datagram, UPnPLog& log)
{
    // Multicast leaves the machine only where the device is configured to send it.
    if (os::registryDword(HKEY_LOCAL_MACHINE, u"Platform", u"SsdpEnable").value_or(0) == 0)
    {
        log.write("SSDP disabled");
        return;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kSsdpPort);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kSsdpPort);
    inet_pton(AF_INET, kSsdpGroup, &group.sin_addr);
    if (inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1)
    {
        log.write("Unable to bind socket");
        return;
    }

    const UdpSocket udp;
    const int on = 1;
    ip_mreq membership{};
    membership.imr_multiaddr = group.sin_addr;
    membership.imr_interface = local.sin_addr;
    const unsigned char ttl = 4;
    if (udp.fd() < 0)
        log.write("Unable to open socket");
    else if (setsockopt(udp.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        log.write("Unable to open set socket options");
    else if (bind(udp.fd(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        log.write("Unable to bind socket");
    else if (setsockopt(udp.fd(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
        log.write("Unable to open set socket membership");
    else
    {
        // The group is reached through the device's own interface.
        setsockopt(udp.fd(), IPPROTO_IP, IP_MULTICAST_IF, &local.sin_addr, sizeof local.sin_addr);
        setsockopt(udp.fd(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        sendto(udp.fd(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&group),
               sizeof group);
    }
}
} // namespace netherald
