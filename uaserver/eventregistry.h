#ifndef UASERVER_EVENTREGISTRY_H
#define UASERVER_EVENTREGISTRY_H

#include <uanodeid.h>
#include <uaqualifiedname.h>
#include <uastring.h>

#include <opcua.h>

#include <vector>

// The process-wide registries that every event manager shares: the event types as a tree below
// BaseEventType, and the event fields, each key with its field index for good. Both live as long as
// the process, so that the type creations of a second server start give the same answers; each has
// its own lock.
namespace EventRegistry
{
// Enters newType below superType, once: registering a type again moves it below the new supertype
// and keeps its subtypes. False (and nothing changes) when the supertype is unknown or would end up
// below the type itself.
bool registerEventType(const UaNodeId& superType, const UaNodeId& newType);
bool isEventTypeRegistered(const UaNodeId& type);
// Whether type is base or one of its registered subtypes, at any depth.
bool isSubtypeOf(const UaNodeId& type, const UaNodeId& base);
// The direct subtypes of a registered type, in the order they were entered.
std::vector<UaNodeId> subtypesOf(const UaNodeId& type);

// The index of a key; a new key gets the next one. The nine keys of BaseEventType's fields hold
// 1 to 9 from the registry's start.
OpcUa_UInt32 registerEventField(const UaString& key);
// 0 when the key is not registered.
OpcUa_UInt32 findEventField(const UaString& key);
// The key of one browse-path element: "ns=<index>|<name>".
UaString fieldKey(const UaQualifiedName& browseName);
// The key of the NodeId of a condition.
const char* conditionNodeIdKey();
} // namespace EventRegistry

#endif
