#ifndef UABASE_NODEIDCOMPARE_H
#define UABASE_NODEIDCOMPARE_H

#include <opcua.h>

// Equality and order of NodeIds as the address space keys them; the two agree: neither of two ids
// is less than the other exactly when they are equal (identifier types above 3 aside).
namespace NodeIdCompare
{
bool isNull(const OpcUa_NodeId& id);
bool equal(const OpcUa_NodeId& a, const OpcUa_NodeId& b);
bool less(const OpcUa_NodeId& a, const OpcUa_NodeId& b);
} // namespace NodeIdCompare

#endif
