#include "opcendpointconfig.h"

#include "opcwatchpaths.h"

#include <os/text.h>

namespace
{
// A "Url" this short without "/" is a port number.
constexpr size_t kLongestPort = 5;

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
                                    OpcEndpointConfig& endpoint)
{
    if (element.name() != u"UaEndpoint")
        return OpcUa_BadInvalidArgument;

    const UaXmlElement* url = element.firstChild(u"Url");
    if (!url)
        return OpcUa_BadInvalidArgument;
    const std::u16string& urlText = url->text();
    if (urlText.find(u'/') == std::u16string::npos && urlText.size() <= kLongestPort)
        endpoint.m_url = "opc.tcp://localhost:" + os::toUtf8(urlText);
    else
        endpoint.m_url = replaceNodeName(os::toUtf8(urlText), hostName);

    const UaXmlElement* serializer = element.firstChild(u"SerializerType");
    if (!serializer)
        return OpcUa_BadInvalidArgument;
    if (serializer->text() == u"Binary")
        endpoint.m_serializerType = OpcSerializerBinary;
    else if (serializer->text() == u"Xml")
        endpoint.m_serializerType = OpcSerializerXml;
    else
        return OpcUa_BadInvalidArgument;

    for (const UaXmlElement* settingElement : element.children(u"SecuritySetting"))
    {
        const UaXmlElement* policy = settingElement->firstChild(u"SecurityPolicy");
        if (!policy)
            return OpcUa_BadInvalidArgument;
        OpcSecuritySettingConfig setting;
        setting.m_securityPolicy = os::toUtf8(policy->text());
        for (const UaXmlElement* mode : settingElement->children(u"MessageSecurityMode"))
            setting.m_messageSecurityModes |= modeBit(mode->text());
        endpoint.m_securitySettings.push_back(std::move(setting));
    }
    return OpcUa_Good;
}
