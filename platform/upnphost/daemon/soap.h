// Control requests and their answers in SOAP 1.1, as UPnP control uses it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace upnphost
{
using NamedValues = std::vector<std::pair<std::string, std::string>>;

struct ControlRequest
{
    std::string serviceType; // the namespace of the action element
    std::string actionName;
    NamedValues arguments; // in the order sent
};

// The action of a SOAP envelope: nothing when the body is not well-formed XML or no
// envelope with one action element in its body.
std::optional<ControlRequest> readControlRequest(std::string_view body);

std::string controlResponse(std::string_view serviceType, std::string_view actionName,
                            const NamedValues& results);
std::string controlFault(int errorCode, std::string_view description);

// The UPnP error codes the host itself answers with.
constexpr int kInvalidAction = 401;
constexpr int kInvalidArgs = 402;
constexpr int kInvalidVar = 404;
constexpr int kActionFailed = 501;
} // namespace upnphost
