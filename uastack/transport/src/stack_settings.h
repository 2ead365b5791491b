// Transport settings taken from the stack's configuration record in force;
// fields left at -1 there select the transport's defaults.
#pragma once
#include "tcp_client.h"
#include "tcp_server.h"

#include <opcua.h>

namespace uatcp
{
ServerSettings serverSettingsFromConfiguration();
ConnectionLimits clientLimitsFromConfiguration();
// A copy of a stack byte string (empty for a null or empty one).
Bytes bytesOf(const OpcUa_ByteString* bytes);
} // namespace uatcp
