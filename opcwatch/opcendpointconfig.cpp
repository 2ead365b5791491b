#include "opcendpointconfig.h"

#include "opcwatchpaths.h"

#include <os/text.h>

#include <strings.h>

namespace
{
// A "Url" this short without "/" is a port number.
constexpr size_t kLongestPort = 5;

// The port of an "opc.tcp://host:port[/path]" URL (a host in brackets for IPv6), or 0 when the
// URL has none the stack could listen on: another scheme, no host, or a port that is no number
// from 1 to 65535.
unsigned opcTcpPort(const std::string& url)
{
    static const std::string scheme = "opc.tcp://";
    if (url.size() <= scheme.size() || strncasecmp(url.c_str(), scheme.c_str(), scheme.size()) != 0)
        return 0;
    const std::string authority = url.substr(scheme.size(), url.find('/', scheme.size()) - scheme.size());
    // The host ends at the first ":", or after the "]" of a bracketed one; the port follows it.
    const bool bracketed = !authority.empty() && authority.front() == '[';
    const size_t hostEnd = bracketed ? authority.find(']') : authority.find(':');
    const size_t colon = bracketed && hostEnd != std::string::npos ? hostEnd + 1 : hostEnd;
    if (hostEnd == std::string::npos || hostEnd < (bracketed ? 2u : 1u) || colon >= authority.size() ||
        authority[colon] != ':')
        return 0;
    const std::string port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const unsigned number = static_cast<unsigned>(std::stoul(port));
    return number <= 65535 ? number : 0;
}

OpcUa_StatusCode refuse(OpcEndpointProblem* problem, const UaXmlElement& element, const std::string& text)
{
    if (problem)
        *problem = OpcEndpointProblem{element.line(), text};
    return OpcUa_BadInvalidArgument;
}

OpcUa_UInt32 modeBit(const std::u16string& text)
{
    if (text == u"None")
        return OpcMessageSecurityNone;
    if (text == u"Sign")
        return OpcMessageSecuritySign;
    if (text == u"SignAndEncrypt")
        return OpcMessageSecuritySignAndEncrypt;
    return 0;
}
} // namespace

OpcUa_StatusCode loadEndpointConfig(const UaXmlElement& element, const std::string& hostName,
                                    OpcEndpointConfig& endpoint, OpcEndpointProblem* problem)
{
    if (element.name() != u"UaEndpoint")
        return refuse(problem, element, "\"" + os::toUtf8(element.name()) + "\" is no UaEndpoint");

    const UaXmlElement* url = element.firstChild(u"Url");
    if (!url)
        return refuse(problem, element, "UaEndpoint without Url");
    const std::string urlText = os::toUtf8(url->text());
    const bool barePort = urlText.find('/') == std::string::npos && url->text().size() <= kLongestPort;
    if (barePort)
        endpoint.m_url = "opc.tcp://localhost:" + urlText;
    else
        endpoint.m_url = replaceNodeName(urlText, hostName);
    // Port 0 would listen on a port of the system's choosing while the endpoint names 0.
    if (opcTcpPort(endpoint.m_url) == 0)
        return refuse(
            problem, *url,
            "Url \"" + urlText + "\" is " +
                (barePort ? "no port number from 1 to 65535" : "no opc.tcp URL with a port from 1 to 65535"));

    const UaXmlElement* serializer = element.firstChild(u"SerializerType");
    if (!serializer)
        return refuse(problem, element, "UaEndpoint " + endpoint.m_url + " without SerializerType");
    if (serializer->text() == u"Binary")
        endpoint.m_serializerType = OpcSerializerBinary;
    else if (serializer->text() == u"Xml")
    {
        endpoint.m_serializerType = OpcSerializerXml;
        return refuse(problem, *serializer,
                      "SerializerType Xml of " + endpoint.m_url + " is not served, only Binary");
    }
    else
        return refuse(problem, *serializer,
                      "SerializerType \"" + os::toUtf8(serializer->text()) + "\" of " + endpoint.m_url +
                          " is neither Binary nor Xml");

    for (const UaXmlElement* settingElement : element.children(u"SecuritySetting"))
    {
        const UaXmlElement* policy = settingElement->firstChild(u"SecurityPolicy");
        if (!policy)
            return refuse(problem, *settingElement,
                          "SecuritySetting of " + endpoint.m_url + " without SecurityPolicy");
        OpcSecuritySettingConfig setting;
        setting.m_securityPolicy = os::toUtf8(policy->text());
        for (const UaXmlElement* mode : settingElement->children(u"MessageSecurityMode"))
            setting.m_messageSecurityModes |= modeBit(mode->text());
        endpoint.m_securitySettings.push_back(std::move(setting));
    }
    return OpcUa_Good;
}
