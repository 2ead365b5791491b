// One discovery server the background thread registers the server with: its URL, the endpoints
// it offered and the one chosen for registering (-1 while none is chosen).
#pragma once

#include <opcua.h>
#include <uastring.h>

struct DiscoveryServerEntry
{
    explicit DiscoveryServerEntry(const UaString& discoveryUrl) : url(discoveryUrl) {}
    ~DiscoveryServerEntry() { clearEndpoints(); }
    DiscoveryServerEntry(const DiscoveryServerEntry&) = delete;
    DiscoveryServerEntry& operator=(const DiscoveryServerEntry&) = delete;

    void clearEndpoints()
    {
        for (OpcUa_Int32 i = 0; i < noOfEndpoints; ++i)
            OpcUa_EndpointDescription_Clear(&endpoints[i]);
        OpcUa_Memory_Free(endpoints);
        endpoints = nullptr;
        noOfEndpoints = 0;
    }

    UaString url;
    OpcUa_Int32 noOfEndpoints = 0;
    OpcUa_EndpointDescription* endpoints = nullptr;
    OpcUa_Int32 chosen = -1;
};
