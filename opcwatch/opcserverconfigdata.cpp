#include "opcserverconfigdata.h"

#include "opcwatchpaths.h"
#include "uaxmlreader.h"

#include <uatrace.h>

#include <os/deviceroot.h>
#include <os/text.h>

#include <windows.h>

namespace
{
// An integer setting: unchanged when the element is absent.
void readInteger(const UaXmlElement& parent, const char16_t* name, OpcUa_UInt32& value)
{
    if (const UaXmlElement* element = parent.firstChild(name))
        value = static_cast<OpcUa_UInt32>(_wtoi(element->text().c_str()));
}

OpcUa_UInt32 sharedMutexCount(const UaXmlElement& settings)
{
    const UaXmlElement* element = settings.firstChild(u"SharedMutexCount");
    const int requested = element ? _wtoi(element->text().c_str()) : 0;
    if (requested <= 0)
        return OpcServerConfigData::DefaultSharedMutexCount;
    // A file must not be able to make the server allocate without bound.
    if (static_cast<OpcUa_UInt32>(requested) > OpcServerConfigData::MaxSharedMutexCount)
    {
        UaTrace::traceLevel2("SharedMutexCount %d is too large, %u used", requested,
                             OpcServerConfigData::MaxSharedMutexCount);
        return OpcServerConfigData::MaxSharedMutexCount;
    }
    return static_cast<OpcUa_UInt32>(requested);
}

void readSettings(const UaXmlElement& settings, const std::string& file, const std::string& hostName,
                  OpcServerConfigData& config)
{
    readInteger(settings, u"MaxRequestAge", config.m_maxRequestAge);
    readInteger(settings, u"MaxSessionCount", config.m_maxSessionCount);
    readInteger(settings, u"MinSessionTimeout", config.m_minSessionTimeout);
    readInteger(settings, u"MaxSessionTimeout", config.m_maxSessionTimeout);
    readInteger(settings, u"MaxBrowseContinuationPoints", config.m_maxBrowseContinuationPoints);
    readInteger(settings, u"MinPublishingInterval", config.m_minPublishingInterval);
    readInteger(settings, u"MinKeepAliveInterval", config.m_minKeepAliveInterval);
    if (const UaXmlElement* element = settings.firstChild(u"RequireUserAuthenticationForSession"))
        config.m_requireUserAuthenticationForSession = _wtoi(element->text().c_str()) != 0;
    if (const UaXmlElement* element = settings.firstChild(u"ServerInstanceUri"))
        config.m_serverInstanceUri = replaceNodeName(os::toUtf8(element->text()), hostName);
    const UaXmlElement* mode = settings.firstChild(u"DefaultSubscriptionMode");
    config.m_defaultSubscriptionMode = mode ? static_cast<OpcUa_UInt32>(_wtoi(mode->text().c_str())) : 2;
    if (const UaXmlElement* pool = settings.firstChild(u"ThreadPoolSettings"))
    {
        readInteger(*pool, u"MinSizeTransactionManager", config.m_minSizeTransactionManager);
        readInteger(*pool, u"MaxSizeTransactionManager", config.m_maxSizeTransactionManager);
        readInteger(*pool, u"MinSizeSubscriptionManager", config.m_minSizeSubscriptionManager);
        readInteger(*pool, u"MaxSizeSubscriptionManager", config.m_maxSizeSubscriptionManager);
    }
    config.m_sharedMutexCount = sharedMutexCount(settings);

    std::vector<OpcEndpointConfig> endpoints;
    for (const UaXmlElement* element : settings.children(u"UaEndpoint"))
    {
        OpcEndpointConfig endpoint;
        OpcEndpointProblem problem;
        if (OpcUa_IsGood(loadEndpointConfig(*element, hostName, endpoint, &problem)))
            endpoints.push_back(std::move(endpoint));
        else
        {
            // Where and what, for whoever mends the file.
            UaTrace::traceLevel1("%s, line %d: %s", file.c_str(), problem.m_line, problem.m_text.c_str());
            UaTrace::traceLevel1("Failed to load XML endpoint configuration");
        }
    }
    config.m_endpoints = std::move(endpoints);
}
} // namespace

OpcUa_StatusCode loadOpcServerConfigData(const std::u16string& configurationFile, const std::string& hostName,
                                         OpcServerConfigData& config)
{
    HANDLE file = CreateFileW(configurationFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        UaTrace::traceLevel1("Failed to open file (%s, Error %i)", os::toUtf8(configurationFile).c_str(),
                             static_cast<int>(error));
        return OpcUa_BadInternalError;
    }
    CloseHandle(file);

    UaXmlDocument document;
    UaXmlParseError error;
    // The file as the host names it, for whoever mends it.
    const std::string path = os::toHostPath(configurationFile).value_or(os::toUtf8(configurationFile));
    if (FAILED(parseXmlFile(document, configurationFile.c_str(), &error)))
    {
        UaTrace::traceLevel1("Failed to load XML document");
        UaTrace::traceLevel1("%s, line %d: %s", path.c_str(), error.line,
                             error.message.empty() ? "cannot be read" : error.message.c_str());
        return OpcUa_BadInternalError;
    }
    const UaXmlElement* root = document.rootElement();
    const UaXmlElement* settings = root ? root->firstChild(u"UaServerConfig") : nullptr;
    if (settings)
        readSettings(*settings, path, hostName, config);
    return OpcUa_Good;
}
