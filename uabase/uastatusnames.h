#ifndef UABASE_UASTATUSNAMES_H
#define UABASE_UASTATUSNAMES_H

#include <opcua.h>

#include <map>

// Symbolic names of status codes, keyed by the code without its info bits.
namespace UaStatusNames
{
const std::map<OpcUa_UInt32, const char*>& table();
// The name of the code's top 16 bits; null when the table has none.
const char* find(OpcUa_UInt32 code);
} // namespace UaStatusNames

#endif
