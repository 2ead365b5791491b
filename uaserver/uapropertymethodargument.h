#ifndef UASERVER_UAPROPERTYMETHODARGUMENT_H
#define UASERVER_UAPROPERTYMETHODARGUMENT_H

#include "uavariablecache.h"

#include <ualocalizedtext.h>
#include <uanodeid.h>
#include <uastring.h>

#include <vector>

// One argument of a method, as an Argument structure describes it to clients.
struct UaMethodArgument
{
    UaString name;
    UaNodeId dataType;
    OpcUa_Int32 valueRank = -1;
    UaLocalizedText description;
};

// A method's InputArguments or OutputArguments property: a read-only array of Argument. Its
// browse name is the standard one of namespace 0 whatever the namespace of its NodeId, because
// clients and the server's own check of Call arguments look the property up by that name.
class UaPropertyMethodArgument : public UaPropertyCache
{
public:
    enum class Direction
    {
        Input,
        Output
    };

    UaPropertyMethodArgument(const UaNodeId& nodeId, Direction direction,
                             const std::vector<UaMethodArgument>& arguments, const UaString& defaultLocaleId);

    UaQualifiedName browseName() const override;
};

#endif
