// The host's SSDP side on the device address: notices for its devices (alive when they
// come and every 900 s, byebye when they go and at stop), and answers to searches from
// the local subnet within their MX.
#pragma once

#include "ssdp.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

namespace upnphost
{
struct AnnouncedDevice
{
    std::string udn; // bare
    std::string location;
    std::vector<SsdpTarget> targets;
};

class SsdpService
{
public:
    explicit SsdpService(std::string address);
    ~SsdpService();
    SsdpService(const SsdpService&) = delete;
    SsdpService& operator=(const SsdpService&) = delete;

    // Opens the socket (port 1900, the group joined on the device address) and starts the
    // thread; false with the reason otherwise.
    bool start(std::string& error);
    // The devices from now on: alive notices for new ones, byebye for those gone.
    void setDevices(std::vector<AnnouncedDevice> devices);
    // Byebye notices for every device, then the thread ends.
    void stop();

private:
    struct PendingAnswer
    {
        std::chrono::steady_clock::time_point due;
        sockaddr_in to;
        std::string message;
    };

    void run();
    void receive();
    void sendDue();
    void announce(const AnnouncedDevice& device, bool alive);
    void sendTo(const std::string& message, const sockaddr_in& to);

    static constexpr std::chrono::seconds kAliveInterval{900};
    static constexpr size_t kMostPending = 1024;

    std::string m_address;
    uint32_t m_addressValue = 0; // network order
    uint32_t m_mask = 0xFFFFFFFFu;
    int m_socket = -1;
    int m_wake = -1;
    bool m_stopping = false;
    std::thread m_thread;
    std::mutex m_mutex; // devices, stop flag and sending
    std::vector<AnnouncedDevice> m_devices;
    std::vector<PendingAnswer> m_pending; // the thread's own
    std::chrono::steady_clock::time_point m_nextAlive;
    std::mt19937 m_random{std::random_device{}()};
};
} // namespace upnphost
