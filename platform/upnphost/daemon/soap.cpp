#include "soap.h"

#include "scpd.h"
#include "xml_document.h"

namespace upnphost
{
namespace
{
constexpr std::string_view kEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";

std::string envelope(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n"
           "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\n<s:Body>\n" +
           body + "</s:Body>\n</s:Envelope>\n";
}
} // namespace

std::optional<ControlRequest> readControlRequest(std::string_view body)
{
    const XmlDocument document = parseXml(body);
    const xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!root || localName(root) != "Envelope" || namespaceOf(root) != kEnvelopeNamespace)
        return std::nullopt;
    const auto bodies = childElements(root, "Body");
    if (bodies.size() != 1 || namespaceOf(bodies.front()) != kEnvelopeNamespace)
        return std::nullopt;
    const auto actions = childElements(bodies.front());
    if (actions.size() != 1)
        return std::nullopt;
    ControlRequest request{
        std::string(namespaceOf(actions.front())), std::string(localName(actions.front())), {}};
    for (const xmlNode* argument : childElements(actions.front()))
        request.arguments.emplace_back(std::string(localName(argument)), textOf(argument));
    return request;
}

std::string controlResponse(std::string_view serviceType, std::string_view actionName,
                            const NamedValues& results)
{
    std::string body =
        "<u:" + std::string(actionName) + "Response xmlns:u=\"" + xmlEscape(serviceType) + "\">\n";
    for (const auto& [name, value] : results)
        body += "<" + name + ">" + xmlEscape(value) + "</" + name + ">\n";
    body += "</u:" + std::string(actionName) + "Response>\n";
    return envelope(body);
}

std::string controlFault(int errorCode, std::string_view description)
{
    return envelope(
        "<s:Fault>\n<faultcode>s:Client</faultcode>\n<faultstring>UPnPError</faultstring>\n<detail>\n"
        "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">\n<errorCode>" +
        std::to_string(errorCode) + "</errorCode>\n<errorDescription>" + xmlEscape(description) +
        "</errorDescription>\n</UPnPError>\n</detail>\n</s:Fault>\n");
}
} // namespace upnphost
