#include "ssdp_service.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace upnphost
{
namespace
{
// The mask of the interface that holds the address; all ones when none does, so that only
// the address itself counts as local.
uint32_t maskOf(uint32_t address)
{
    uint32_t mask = 0xFFFFFFFFu;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return mask;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
    {
        if (!entry->ifa_addr || !entry->ifa_netmask || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if (reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == address)
            mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
    }
    freeifaddrs(list);
    return mask;
}

sockaddr_in groupAddress()
{
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kSsdpPort);
    inet_pton(AF_INET, kSsdpGroup, &group.sin_addr);
    return group;
}
} // namespace

SsdpService::SsdpService(std::string address) : m_address(std::move(address)) {}

SsdpService::~SsdpService()
{
    stop();
}

bool SsdpService::start(std::string& error)
{
    in_addr address{};
    if (inet_pton(AF_INET, m_address.c_str(), &address) != 1)
    {
        error = "no IPv4 address: " + m_address;
        return false;
    }
    m_addressValue = address.s_addr;
    m_mask = maskOf(m_addressValue);
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int on = 1;
    const unsigned char ttl = 4;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kSsdpPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    ip_mreq membership{};
    membership.imr_multiaddr = groupAddress().sin_addr;
    membership.imr_interface = address;
    if (m_socket < 0 || m_wake < 0 || setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0 ||
        setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address) != 0 ||
        setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
    {
        error = std::string("SSDP socket: ") + std::strerror(errno);
        if (m_socket >= 0)
            close(m_socket);
        if (m_wake >= 0)
            close(m_wake);
        m_socket = m_wake = -1;
        return false;
    }
    m_nextAlive = std::chrono::steady_clock::now() + kAliveInterval;
    m_thread = std::thread([this] { run(); });
    return true;
}

void SsdpService::setDevices(std::vector<AnnouncedDevice> devices)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    for (const AnnouncedDevice& old : m_devices)
        if (std::none_of(devices.begin(), devices.end(),
                         [&](const AnnouncedDevice& d) { return d.udn == old.udn; }))
            announce(old, false);
    for (const AnnouncedDevice& device : devices)
        if (std::none_of(m_devices.begin(), m_devices.end(),
                         [&](const AnnouncedDevice& d) { return d.udn == device.udn; }))
            announce(device, true);
    m_devices = std::move(devices);
}

void SsdpService::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_socket < 0 || m_stopping)
            return;
        m_stopping = true;
        for (const AnnouncedDevice& device : m_devices)
            announce(device, false);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    close(m_socket);
    close(m_wake);
    m_socket = m_wake = -1;
}

void SsdpService::announce(const AnnouncedDevice& device, bool alive)
{
    for (const SsdpTarget& target : device.targets)
        sendTo(notifyMessage(target, device.location, alive), groupAddress());
}

void SsdpService::sendTo(const std::string& message, const sockaddr_in& to)
{
    sendto(m_socket, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void SsdpService::run()
{
    for (;;)
    {
        auto next = m_nextAlive;
        for (const PendingAnswer& answer : m_pending)
            next = std::min(next, answer.due);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
        pollfd descriptors[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
        const int ready =
            poll(descriptors, 2, static_cast<int>(std::clamp<int64_t>(wait.count() + 1, 0, 60000)));
        if (ready < 0 && errno != EINTR)
            return;
        if (descriptors[1].revents & POLLIN)
            return;
        if (ready > 0 && (descriptors[0].revents & POLLIN))
            receive();
        sendDue();
    }
}

void SsdpService::receive()
{
    char buffer[2048];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t received = recvfrom(m_socket, buffer, sizeof buffer, MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received <= 0 || from.sin_family != AF_INET)
        return;
    const auto search = readSearch(std::string_view(buffer, static_cast<size_t>(received)));
    // Searches from beyond the local subnet get no answer.
    if (!search || !searchIsLocal(from.sin_addr.s_addr, m_addressValue, m_mask))
        return;
    std::uniform_int_distribution<int> delay(0, search->mx * 1000);
    const auto now = std::chrono::steady_clock::now();
    const std::string date = httpDate(std::time(nullptr));
    std::lock_guard lock(m_mutex);
    for (const AnnouncedDevice& device : m_devices)
    {
        for (const SsdpTarget& target : matchSearch(search->st, device.targets))
        {
            if (m_pending.size() >= kMostPending)
                return;
            m_pending.push_back({now + std::chrono::milliseconds(delay(m_random)), from,
                                 searchResponse(target, device.location, date)});
        }
    }
}

void SsdpService::sendDue()
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    if (now >= m_nextAlive)
    {
        for (const AnnouncedDevice& device : m_devices)
            announce(device, true);
        m_nextAlive = now + kAliveInterval;
    }
    for (auto answer = m_pending.begin(); answer != m_pending.end();)
    {
        if (answer->due <= now)
        {
            sendTo(answer->message, answer->to);
            answer = m_pending.erase(answer);
        }
        else
            ++answer;
    }
}
} // namespace upnphost
