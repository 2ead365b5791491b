#ifndef UASERVER_DEADBANDRULES_H
#define UASERVER_DEADBANDRULES_H

#include <uanodeid.h>

#include <opcua.h>

class UaVariable;

// What a deadband on a variable's Value needs of the variable.
namespace DeadbandRules
{
// A numeric built-in type of namespace 0, SByte (2) to Double (11).
bool isNumericDataType(const UaNodeId& dataType);
// High - Low of the variable's "EURange" property (a Range), when Low < High; 0 when there is no
// such property or it holds anything else.
OpcUa_Double euRangeSpan(UaVariable& variable);
} // namespace DeadbandRules

#endif
