// Runs one control request on a service object.
#pragma once

#include "device_table.h"

#include <string>
#include <string_view>

namespace upnphost
{
struct ControlAnswer
{
    int status = 200; // 200, 500 with a UPnP fault, 400 for a body that is no control request
    std::string body;
};

// `soapAction` is the SOAPACTION header ("" when absent): when given it must name the
// action of the body. Action failures map to UPnP errors: an HRESULT of 0x80040300 plus
// 600 to 899 gives that number, any other 501; the text is the service's description of
// the failure, else "UPnPError".
ControlAnswer runControl(const LoadedService& service, std::string_view soapAction, std::string_view body);

// The UPnP error of a failed action's HRESULT.
int upnpErrorCode(HRESULT result);
} // namespace upnphost
