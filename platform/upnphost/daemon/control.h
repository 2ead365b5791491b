// Runs one control request on a service object.
#pragma once

#include "device_table.h"

#include <string>
#include <string_view>

namespace upnphost
{
struct ControlAnswer
{
    // 200, 500 with a UPnP fault; refused with a plain text: 400 for a body that is no control
    // request, 415 for a content type other than text/xml.
    int status = 200;
    std::string body;
};

// The headers of a control request ("" when absent).
struct ControlHeaders
{
    std::string_view contentType;
    std::string_view soapAction;
};

// A control request must come as text/xml with a SOAPACTION header naming the action of the
// body (fault 401 otherwise): a web page can send neither unless the host allows it when the
// browser asks first, which it never does, so no page the user visits runs an action. Action
// failures map to UPnP errors: an HRESULT of 0x80040300 plus 600 to 899 gives that number,
// any other 501; the text is the service's description of the failure, else "UPnPError".
ControlAnswer runControl(const LoadedService& service, const ControlHeaders& headers, std::string_view body);

// The UPnP error of a failed action's HRESULT.
int upnpErrorCode(HRESULT result);
} // namespace upnphost
