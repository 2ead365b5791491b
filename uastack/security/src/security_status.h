// Status codes of the security layer: the table the transport keeps.
#pragma once
#include "tcp_status.h"

namespace uasec
{
namespace status = uatcp::status;
} // namespace uasec
