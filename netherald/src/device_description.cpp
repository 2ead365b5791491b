#include "device_description.h"

#include <netherald/netherald.h>

#include <os/text.h>

namespace netherald
{
namespace
{
struct ModelPage
{
    const char16_t* typePrefix;
    const char16_t* url;
};

// The controller models of the maker and their product pages.
constexpr ModelPage kModelPages[] = {
    {u"IPC-4120", u"http://www.corvanta.com/products/panel-pc/ipc-4120"},
    {u"IPC-4150", u"http://www.corvanta.com/products/panel-pc/ipc-4150"},
    {u"IPC-5200", u"http://www.corvanta.com/products/box-pc/ipc-5200"},
    {u"CX-", u"http://www.corvanta.com/products/embedded-controller"},
};
constexpr const char16_t* kGeneralPage = u"http://www.corvanta.com/products";
constexpr const char16_t* kMakerPage = u"http://www.corvanta.com";
// The host serves its web folder here. Links are absolute paths with forward slashes: a
// control point resolves them against the description's URL, where "\" is no separator
// and a bare name would point into the description's own folder.
constexpr const char16_t* kWebPath = u"/UpnpWebsite/";

std::u16string element(int depth, const std::u16string& name, const std::u16string& text)
{
    return std::u16string(depth, u'\t') + u"<" + name + u">" + text + u"</" + name + u">\n";
}
} // namespace

std::u16string xmlEscaped(const std::u16string& text)
{
    std::u16string out;
    for (const char16_t c : text)
    {
        switch (c)
        {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::u16string modelUrl(const std::u16string& deviceType)
{
    for (const ModelPage& page : kModelPages)
    {
        const std::u16string_view prefix = page.typePrefix;
        if (deviceType.size() >= prefix.size() &&
            os::compareNoCase(deviceType.substr(0, prefix.size()), prefix) == 0)
            return page.url;
    }
    return kGeneralPage;
}

std::u16string deviceDescription(const Identity& identity)
{
    const std::u16string udn = kTemplateUdn;
    const std::u16string serviceId = os::toUtf16(kServiceId);
    const std::u16string controlUrl = u"/upnpisapi?uuid:" + udn + u"+" + serviceId;
    std::u16string text = u"<?xml version=\"1.0\"?>\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
                          u"\t<specVersion>\n" +
                          element(2, u"major", u"1") + element(2, u"minor", u"0") +
                          u"\t</specVersion>\n\t<device>\n";
    text += element(2, u"deviceType", u"urn:schemas-upnp-org:device:Basic:1");
    text += element(2, u"friendlyName", xmlEscaped(identity.friendlyName));
    text += element(2, u"manufacturer", u"Corvanta Rodevadido GmbH");
    text += element(2, u"manufacturerURL", kMakerPage);
    text += element(2, u"modelDescription", xmlEscaped(identity.modelDescription));
    text += element(2, u"modelName", xmlEscaped(identity.deviceType));
    text += element(2, u"modelNumber", u"1");
    text += element(2, u"modelURL", xmlEscaped(modelUrl(identity.deviceType)));
    text += element(2, u"serialNumber", u"0000001");
    text += element(2, u"UDN", u"uuid:" + udn);
    text += element(2, u"UPC", u"00000-00001");
    text += u"\t\t<iconList>\n";
    for (const char16_t* size : {u"16", u"32"})
    {
        text += u"\t\t\t<icon>\n" + element(4, u"mimetype", u"image/gif") + element(4, u"width", size) +
                element(4, u"height", size) + element(4, u"depth", u"8") +
                element(4, u"url", std::u16string(kWebPath) + u"icon" + size + u".gif") + u"\t\t\t</icon>\n";
    }
    text += u"\t\t</iconList>\n\t\t<serviceList>\n\t\t\t<service>\n";
    text += element(4, u"serviceType", os::toUtf16(kServiceType));
    text += element(4, u"serviceId", serviceId);
    text += element(4, u"SCPDURL", u"NetheraldService.xml");
    text += element(4, u"controlURL", controlUrl);
    text += element(4, u"eventSubURL", controlUrl);
    text += u"\t\t\t</service>\n\t\t</serviceList>\n";
    text += element(2, u"presentationURL", kWebPath + std::u16string(u"UPnPDevice.htm"));
    text += u"\t</device>\n</root>\n";
    return text;
}
} // namespace netherald
