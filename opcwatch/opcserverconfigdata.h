// The settings of "Opcwatch.xml" as plain data, with the values of a file that does not
// set them. The server configuration answers the runtime's questions from it; each field
// is named after its element, and README lists the query that answers it.
#pragma once

#include "opcendpointconfig.h"

#include <opcua.h>

#include <string>
#include <vector>

struct OpcServerConfigData
{
    // Shared mutexes when "SharedMutexCount" is absent, 0 or negative; and the most a file may ask for.
    static constexpr OpcUa_UInt32 DefaultSharedMutexCount = 100;
    static constexpr OpcUa_UInt32 MaxSharedMutexCount = 65536;

    OpcUa_UInt32 m_maxRequestAge = 0;
    OpcUa_UInt32 m_maxSessionCount = 0;
    OpcUa_UInt32 m_minSessionTimeout = 5000;
    OpcUa_UInt32 m_maxSessionTimeout = 0;
    OpcUa_UInt32 m_maxBrowseContinuationPoints = 0;
    OpcUa_UInt32 m_minPublishingInterval = 50;
    OpcUa_UInt32 m_minKeepAliveInterval = 5000;
    bool m_requireUserAuthenticationForSession = true;
    // After "[NodeName]" replacement.
    std::string m_serverInstanceUri;
    OpcUa_UInt32 m_defaultSubscriptionMode = 2;
    // "ThreadPoolSettings"; kept, read by nothing.
    OpcUa_UInt32 m_minSizeTransactionManager = 4;
    OpcUa_UInt32 m_maxSizeTransactionManager = 4;
    OpcUa_UInt32 m_minSizeSubscriptionManager = 4;
    OpcUa_UInt32 m_maxSizeSubscriptionManager = 4;
    // The mutexes to fill the shared mutex pool with; 0 when the file has no "UaServerConfig",
    // which leaves the pool as it is.
    OpcUa_UInt32 m_sharedMutexCount = 0;
    // The endpoints that loaded, in file order.
    std::vector<OpcEndpointConfig> m_endpoints;
};

// Reads the file into the record; what the file does not set keeps the record's value.
// OpcUa_BadInternalError when the file cannot be opened ("Failed to open file (%s, Error %i)")
// or parsed ("Failed to load XML document"), with the record untouched; good otherwise,
// also for a file without "UaServerConfig". A failing endpoint is dropped with
// "Failed to load XML endpoint configuration". Messages go to the server trace.
OpcUa_StatusCode loadOpcServerConfigData(const std::u16string& configurationFile, const std::string& hostName,
                                         OpcServerConfigData& config);
