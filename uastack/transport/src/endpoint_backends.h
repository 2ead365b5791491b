// The stack's side of <opcua_endpoint_backend.hpp>.
#pragma once

#include <opcua_endpoint_backend.hpp>

namespace OpcUa
{
// The installed factory's endpoint; null when none is installed or it declined.
EndpointBackend* createBackendEndpoint(OpcUa_ServiceType** supportedServices);
} // namespace OpcUa
