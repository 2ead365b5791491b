#ifndef UASERVER_BUILDINFORMATION_H
#define UASERVER_BUILDINFORMATION_H

#include <uastring.h>

// The version and configuration texts of the server library and of the communication stack that
// the trace records at start-up. Each text holds its parts separated by '\'; readers print one
// part per line.
UaString getSdkVersionInfo();
UaString getStackVersion();
UaString getStackStaticConfig();
UaString getStackConfig();
UaString getPlatformLayerVersion();
UaString getPlatformLayerConfig();

#endif
