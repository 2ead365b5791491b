#include "buildinformation.h"

#include <opcua_proxystub.h>

#include <string>

namespace
{
UaString copyOf(const char* text)
{
    return UaString(text ? text : "");
}

std::string compilerText()
{
#if defined(__clang__)
    return "Clang " + std::to_string(__clang_major__ * 100 + __clang_minor__);
#elif defined(__GNUC__)
    return std::string("GCC ") + __VERSION__;
#else
    return "C++ compiler";
#endif
}
} // namespace

UaString getSdkVersionInfo()
{
    return UaString("%1\\%2\\%3")
        .arg(UaString("1.3.0.193"))
        .arg(UaString(__DATE__ " " __TIME__))
        .arg(UaString(compilerText().c_str()));
}

UaString getStackVersion()
{
    return copyOf(OpcUa_ProxyStub_GetVersion());
}

UaString getStackStaticConfig()
{
    return copyOf(OpcUa_ProxyStub_GetStaticConfigString());
}

UaString getStackConfig()
{
    return copyOf(OpcUa_ProxyStub_GetConfigString());
}

UaString getPlatformLayerVersion()
{
    return copyOf(OpcUa_P_GetVersion());
}

UaString getPlatformLayerConfig()
{
    return copyOf(OpcUa_P_GetConfigString());
}
