#include "description.h"

#include "xml_document.h"

#include <os/text.h>

namespace upnphost
{
std::optional<DeviceInfo> readDescription(std::string_view utf8)
{
    const XmlDocument document = parseXml(utf8);
    const xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!root || localName(root) != "root")
        return std::nullopt;
    const xmlNode* device = firstChild(root, "device");
    if (!device)
        return std::nullopt;
    DeviceInfo info;
    info.deviceType = childText(device, "deviceType");
    info.udn = childText(device, "UDN");
    if (bareUdn(info.udn).empty())
        return std::nullopt;
    for (const xmlNode* service : childElements(firstChild(device, "serviceList"), "service"))
        info.services.push_back(ServiceInfo{
            childText(service, "serviceType"), childText(service, "serviceId"), childText(service, "SCPDURL"),
            childText(service, "controlURL"), childText(service, "eventSubURL")});
    return info;
}

std::string bareUdn(std::string_view udn)
{
    if (udn.size() >= 5 && os::equalsNoCase(udn.substr(0, 5), "uuid:"))
        udn.remove_prefix(5);
    return std::string(udn);
}
} // namespace upnphost
