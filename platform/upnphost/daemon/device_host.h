// The host daemon's parts together: the devices of the registry, HTTP on the device
// address (descriptions, SCPDs, the web folder, control), the reload notice and SSDP.
#pragma once

#include "device_table.h"
#include "notice_listener.h"
#include "ssdp_service.h"

#include <http/server.h>

#include <cstdint>
#include <memory>
#include <string>

namespace upnphost
{
constexpr uint16_t kDefaultHttpPort = 5120;

class DeviceHost
{
public:
    explicit DeviceHost(uint16_t httpPort);
    ~DeviceHost();
    DeviceHost(const DeviceHost&) = delete;
    DeviceHost& operator=(const DeviceHost&) = delete;

    // False with the reason when the host cannot serve (no device address, port taken).
    bool start(std::string& error);
    // Releases the devices (their byebye notices go out) and ends every thread.
    void stop();

    const std::string& address() const { return m_address; }
    uint16_t httpPort() const;

    // Loads the registrations again and tells SSDP which devices there are now.
    void reload();

private:
    void addRoutes();
    void serveGet(const http::Request& request, http::Response& response);
    void serveControl(const http::Request& request, http::Response& response);
    std::string location(const LoadedDevice& device) const;

    uint16_t m_requestedPort;
    std::string m_address;
    DeviceTable m_devices;
    std::unique_ptr<http::Server> m_http;
    std::unique_ptr<NoticeListener> m_notices;
    std::unique_ptr<SsdpService> m_ssdp;
};

// HKLM "Platform" "SsdpEnable" not 0: the host and its devices may send multicast.
bool ssdpEnabled();
} // namespace upnphost
