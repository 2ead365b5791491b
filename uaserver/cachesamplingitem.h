#ifndef UASERVER_CACHESAMPLINGITEM_H
#define UASERVER_CACHESAMPLINGITEM_H

#include <uanumericrange.h>

#include <opcua.h>

// A sampling item as the cached variable it watches reaches it: told of every new value and of the
// variable's removal, both under the variable's shared mutex.
class CacheSamplingItem
{
public:
    virtual ~CacheSamplingItem() = default;

    // The variable stored a new value.
    virtual void sample() = 0;
    // Milliseconds; 0 or less reports every change at once.
    virtual OpcUa_Int32 samplingInterval() const = 0;
    // Null without one.
    virtual const UaNumericRange* indexRange() const = 0;
    // False (and 0.0) without a deadband.
    virtual bool getDeadband(OpcUa_Double& deadband) const = 0;
    // The variable leaves its node manager's table.
    virtual void variableRemoved() = 0;
    virtual OpcUa_UInt32 itemHandle() const = 0;
};

#endif
