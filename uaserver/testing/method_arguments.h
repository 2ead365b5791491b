// The argument properties a method declares its arguments with, for test namespaces and doubles
// of the address space.
#pragma once

#include <uapropertymethodargument.h>

#include <opcua.h>

#include <utility>
#include <vector>

namespace uaserver::testing
{
// A property of the direction whose value lists one unnamed Argument per (namespace-0 data type,
// value rank); the caller holds the creating reference.
inline UaPropertyMethodArgument*
argumentsProperty(const UaNodeId& nodeId, UaPropertyMethodArgument::Direction direction,
                  const std::vector<std::pair<OpcUa_UInt32, OpcUa_Int32>>& arguments)
{
    std::vector<UaMethodArgument> declared;
    for (const auto& [dataType, valueRank] : arguments)
        declared.push_back({UaString(), UaNodeId(dataType, 0), valueRank, UaLocalizedText()});
    return new UaPropertyMethodArgument(nodeId, direction, declared, "en");
}

inline UaPropertyMethodArgument*
inputArgumentsProperty(const UaNodeId& nodeId,
                       const std::vector<std::pair<OpcUa_UInt32, OpcUa_Int32>>& arguments)
{
    return argumentsProperty(nodeId, UaPropertyMethodArgument::Direction::Input, arguments);
}
} // namespace uaserver::testing
