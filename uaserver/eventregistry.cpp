#include "eventregistry.h"

#include "eventdata.h"
#include "standardnodeids.h"

#include <uamutex.h>
#include <uatrace.h>

#include <algorithm>
#include <map>
#include <string>

namespace
{
struct TypeEntry
{
    UaNodeId superType;
    std::vector<UaNodeId> subtypes;
};

// Never destroyed: event managers and type nodes may reach the registries during static
// destruction.
struct TypeRegistry
{
    UaMutex lock;
    std::map<UaNodeId, TypeEntry> types;
    TypeRegistry() { types[UaNodeId(StandardNodeId::BaseEventType, 0)] = TypeEntry(); }
};

TypeRegistry& typeRegistry()
{
    static auto* registry = new TypeRegistry;
    return *registry;
}

const char* const g_baseEventFields[BaseEventField::Count] = {"EventId",    "EventType", "SourceNode",
                                                              "SourceName", "Time",      "ReceiveTime",
                                                              "LocalTime",  "Message",   "Severity"};

struct FieldRegistry
{
    UaMutex lock;
    std::map<std::string, OpcUa_UInt32> indexes;
    OpcUa_UInt32 lastIndex = 0;
    // BaseEventType's keys first, so that they hold 1 to 9 whatever registers next.
    FieldRegistry()
    {
        for (const char* name : g_baseEventFields)
            indexes[EventRegistry::fieldKey(UaQualifiedName(name, 0)).toUtf8()] = ++lastIndex;
    }
};

FieldRegistry& fieldRegistry()
{
    static auto* registry = new FieldRegistry;
    return *registry;
}

// Under the lock: whether base is type or lies above it.
bool isAbove(const std::map<UaNodeId, TypeEntry>& types, const UaNodeId& base, UaNodeId type)
{
    for (;;)
    {
        if (type == base)
            return true;
        auto entry = types.find(type);
        if (entry == types.end() || entry->second.superType.isNull())
            return false;
        type = entry->second.superType;
    }
}
} // namespace

namespace EventRegistry
{
bool registerEventType(const UaNodeId& superType, const UaNodeId& newType)
{
    UaTrace::traceLevel6("--> EventManagerBase::registerEventType ST = %s NT = %s",
                         superType.toString().toUtf8(), newType.toString().toUtf8());
    TypeRegistry& registry = typeRegistry();
    UaMutexLocker locker(&registry.lock);
    auto super = registry.types.find(superType);
    if (super == registry.types.end())
    {
        UaTrace::traceLevel1("Error: EventManagerBase::registerEventType - can not find super type %s",
                             superType.toString().toUtf8());
        return false;
    }
    if (isAbove(registry.types, newType, superType))
    {
        UaTrace::traceLevel1("Error: EventManagerBase::registerEventType - super type %s is a subtype of %s",
                             superType.toString().toUtf8(), newType.toString().toUtf8());
        return false;
    }
    TypeEntry& entry = registry.types[newType];
    if (entry.superType != superType)
    {
        // A type registered again has one place: the old supertype lets it go.
        auto old = registry.types.find(entry.superType);
        if (!entry.superType.isNull() && old != registry.types.end())
            old->second.subtypes.erase(
                std::remove(old->second.subtypes.begin(), old->second.subtypes.end(), newType),
                old->second.subtypes.end());
        entry.superType = superType;
        registry.types[superType].subtypes.push_back(newType);
    }
    UaTrace::traceLevel6("<-- EventManagerBase::registerEventType");
    return true;
}

bool isEventTypeRegistered(const UaNodeId& type)
{
    TypeRegistry& registry = typeRegistry();
    UaMutexLocker locker(&registry.lock);
    return registry.types.count(type) != 0;
}

bool isSubtypeOf(const UaNodeId& type, const UaNodeId& base)
{
    TypeRegistry& registry = typeRegistry();
    UaMutexLocker locker(&registry.lock);
    return registry.types.count(base) != 0 && isAbove(registry.types, base, type);
}

std::vector<UaNodeId> subtypesOf(const UaNodeId& type)
{
    TypeRegistry& registry = typeRegistry();
    UaMutexLocker locker(&registry.lock);
    auto entry = registry.types.find(type);
    return entry == registry.types.end() ? std::vector<UaNodeId>() : entry->second.subtypes;
}

OpcUa_UInt32 registerEventField(const UaString& key)
{
    FieldRegistry& registry = fieldRegistry();
    UaMutexLocker locker(&registry.lock);
    auto inserted = registry.indexes.emplace(key.toUtf8(), 0);
    if (inserted.second)
        inserted.first->second = ++registry.lastIndex;
    return inserted.first->second;
}

OpcUa_UInt32 findEventField(const UaString& key)
{
    FieldRegistry& registry = fieldRegistry();
    UaMutexLocker locker(&registry.lock);
    auto found = registry.indexes.find(key.toUtf8());
    return found == registry.indexes.end() ? 0 : found->second;
}

UaString fieldKey(const UaQualifiedName& browseName)
{
    return browseName.toFullString();
}

const char* conditionNodeIdKey()
{
    return "ConditionNodeId";
}
} // namespace EventRegistry
