#include "statusnametext.h"

#include <uastatusnames.h>

#include <cstdio>

std::string statusNameText(OpcUa_StatusCode code)
{
    if (const char* name = UaStatusNames::find(code))
        return std::string("OpcUa_") + name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
    return text;
}
