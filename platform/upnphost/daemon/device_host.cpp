#include "device_host.h"

#include "control.h"
#include "web_folder.h"

#include <os/hostinfo.h>

#include <cstdio>

namespace upnphost
{
namespace
{
const std::string kXmlType = "text/xml; charset=\"utf-8\"";
constexpr std::string_view kWebPrefix = "/UpnpWebsite";

void notFound(http::Response& response)
{
    response.status = 404;
    response.body = "Not Found";
}
} // namespace

bool ssdpEnabled()
{
    return os::registryDword(HKEY_LOCAL_MACHINE, u"Platform", u"SsdpEnable").value_or(0) != 0;
}

DeviceHost::DeviceHost(uint16_t httpPort) : m_requestedPort(httpPort) {}

DeviceHost::~DeviceHost()
{
    stop();
}

bool DeviceHost::start(std::string& error)
{
    m_address = os::hostAddress();
    if (m_address.empty())
    {
        error = "the device has no address to serve on";
        return false;
    }
    if (!seedWebFolder())
        std::fprintf(stderr, "upnphostd: the web folder cannot be made\n");

    http::ServerOptions options;
    options.bindAddress = m_address;
    options.port = m_requestedPort;
    m_http = std::make_unique<http::Server>(options);
    addRoutes();
    if (!m_http->start())
    {
        error = "cannot serve HTTP on " + m_address + ":" + std::to_string(m_requestedPort);
        return false;
    }
    m_notices = std::make_unique<NoticeListener>([this] { reload(); });
    if (!m_notices->start(error))
        return false;
    if (ssdpEnabled())
    {
        m_ssdp = std::make_unique<SsdpService>(m_address);
        if (!m_ssdp->start(error))
            return false;
    }
    else
        std::fprintf(stderr, "upnphostd: SSDP disabled\n");
    reload();
    return true;
}

void DeviceHost::stop()
{
    if (m_notices)
        m_notices->stop();
    if (m_http)
        m_http->stop();
    if (m_ssdp)
        m_ssdp->stop();
    m_devices.clear();
}

uint16_t DeviceHost::httpPort() const
{
    return m_http ? m_http->port() : 0;
}

std::string DeviceHost::location(const LoadedDevice& device) const
{
    return "http://" + m_address + ":" + std::to_string(httpPort()) + device.descriptionPath();
}

void DeviceHost::reload()
{
    m_devices.reload();
    if (!m_ssdp)
        return;
    std::vector<AnnouncedDevice> announced;
    for (const auto& device : m_devices.devices())
        announced.push_back({device->udn, location(*device), ssdpTargets(device->info)});
    m_ssdp->setDevices(std::move(announced));
}

void DeviceHost::addRoutes()
{
    m_http->route("GET", "/*",
                  [this](const http::Request& request, http::Response& response)
                  { serveGet(request, response); });
    m_http->route("POST", "/upnpisapi",
                  [this](const http::Request& request, http::Response& response)
                  { serveControl(request, response); });
}

void DeviceHost::serveGet(const http::Request& request, http::Response& response)
{
    const std::string path = normalisePath(request.path);
    if (const auto device = m_devices.byDescriptionPath(path))
    {
        response.body = device->description;
        response.contentType = kXmlType;
        return;
    }
    if (const auto match = m_devices.byScpdPath(path); match.service)
    {
        response.body = match.service->scpd;
        response.contentType = kXmlType;
        return;
    }
    // Folder names ignore case, as on the device.
    if (path.size() >= kWebPrefix.size() && os::equalsNoCase(path.substr(0, kWebPrefix.size()), kWebPrefix) &&
        (path.size() == kWebPrefix.size() || path[kWebPrefix.size()] == '/'))
    {
        const std::string rest =
            path.size() > kWebPrefix.size() + 1 ? path.substr(kWebPrefix.size() + 1) : "";
        if (const auto file = readWebFile(rest))
        {
            response.body = file->body;
            response.contentType = file->contentType;
            return;
        }
    }
    notFound(response);
}

void DeviceHost::serveControl(const http::Request& request, http::Response& response)
{
    const auto match = m_devices.byControlPath(http::percentDecode(request.target));
    if (!match.service)
    {
        notFound(response);
        return;
    }
    const ControlAnswer answer = runControl(
        *match.service, {request.header("Content-Type"), request.header("SOAPACTION")}, request.body);
    response.status = answer.status;
    response.body = answer.body;
    if (answer.status != 200 && answer.status != 500)
        return;
    response.contentType = kXmlType;
    response.headers.emplace_back("EXT", "");
}
} // namespace upnphost
