// One "UaEndpoint" element of the configuration file as data: URL, encoding and security
// settings. The certificate is set up later, from the certificate store (see README).
#pragma once

#include "uaxmlelement.h"

#include <opcua.h>

#include <string>
#include <vector>

// Message security mode bits of a security setting.
enum OpcMessageSecurityModeBits : OpcUa_UInt32
{
    OpcMessageSecurityNone = 1,
    OpcMessageSecuritySign = 2,
    OpcMessageSecuritySignAndEncrypt = 4,
};

// Serializer types of an endpoint.
enum OpcSerializerType : OpcUa_Int32
{
    OpcSerializerBinary = 1,
    OpcSerializerXml = 2,
};

// "SecuritySetting": "SecurityPolicy" and the modes of its "MessageSecurityMode" elements.
struct OpcSecuritySettingConfig
{
    std::string m_securityPolicy;
    OpcUa_UInt32 m_messageSecurityModes = 0;
};

struct OpcEndpointConfig
{
    // "Url": a bare port becomes "opc.tcp://localhost:<port>", otherwise "[NodeName]" is replaced.
    std::string m_url;
    OpcSerializerType m_serializerType = OpcSerializerBinary;
    std::vector<OpcSecuritySettingConfig> m_securitySettings;
};

// What is wrong with an endpoint element, and the line of the element that shows it.
struct OpcEndpointProblem
{
    int m_line = 0;
    std::string m_text;
};

// Reads an endpoint element; OpcUa_BadInvalidArgument for a wrong element name, no "Url", a
// "Url" that gives no opc.tcp URL with a port from 1 to 65535 (a bare port of 0 or above 65535,
// or letters, among them), no or an unknown "SerializerType", "Xml" (the stack encodes Binary
// only), or a "SecuritySetting" without "SecurityPolicy". With problem, what is wrong is said
// there for the operator.
OpcUa_StatusCode loadEndpointConfig(const UaXmlElement& element, const std::string& hostName,
                                    OpcEndpointConfig& endpoint, OpcEndpointProblem* problem = nullptr);
