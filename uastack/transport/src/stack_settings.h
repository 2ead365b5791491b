// Transport settings taken from the stack's configuration record in force;
// fields left at -1 there select the transport's defaults.
#pragma once
#include "tcp_client.h"
#include "tcp_server.h"

namespace uatcp
{
ServerSettings serverSettingsFromConfiguration();
ConnectionLimits clientLimitsFromConfiguration();
} // namespace uatcp
