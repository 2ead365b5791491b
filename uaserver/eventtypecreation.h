#ifndef UASERVER_EVENTTYPECREATION_H
#define UASERVER_EVENTTYPECREATION_H

#include "standardtypenodes.h"

#include <uamutex.h>
#include <uavariant.h>

#include <atomic>
#include <functional>
#include <map>
#include <vector>

// What the creation routines of the standard event and object types share: one row per type, the
// flag and release hook of each type, and the field maps of the audit types.
namespace EventTypeCreation
{
// The field map of an event type with fields of its own: global field index to the field's local
// number (its own fields counted from 1 in alphabetical order). It has a lock of its own, held
// only while the map is read or written, never while calling out: a release hook that empties it
// may run under a node manager's node lock.
class FieldMap
{
public:
    void fill(const std::map<OpcUa_UInt32, OpcUa_UInt32>& indexes);
    void clear();
    // False when the index is not a field of the type.
    bool find(OpcUa_UInt32 fieldIndex, OpcUa_UInt32& localNumber) const;

private:
    mutable UaMutex m_lock;
    std::map<OpcUa_UInt32, OpcUa_UInt32> m_indexes;
};

struct PropertyRow
{
    OpcUa_UInt32 id;
    const char* name;
    std::function<UaVariant()> initialValue;
    // 0: no modelling rule.
    OpcUa_UInt32 modellingRule;
};

enum class Registration
{
    None,      // not an event type
    BaseEvent, // the registry holds it from the start; its fields go first
    Event,
};

struct TypeRow
{
    std::atomic<bool>& created;
    UaObjectTypeTracked::OnDestroy releaseHook;
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
    void (*createSuperType)();
    Registration registration;
    std::vector<PropertyRow> properties;
    // Set for a type whose properties are its own event fields, in alphabetical order.
    FieldMap* fieldMap = nullptr;
};

// One flag per type, set on entry of its routine and cleared when its type node goes.
template <OpcUa_UInt32 TypeId> std::atomic<bool>& createdFlag()
{
    static std::atomic<bool> created{false};
    return created;
}

template <OpcUa_UInt32 TypeId> void clearCreated()
{
    createdFlag<TypeId>() = false;
}

// Initial values of the properties.
UaVariant nullNodeId();
UaVariant nullDateTime();
UaVariant emptyString();
UaVariant emptyByteString();

// Runs the creation of one type, once until its type node is destroyed: its supertype's first,
// then the registrations, then the type node with its properties below the supertype. Creations
// run under one process-wide re-entrant lock, so a type raised on two threads at once is made once
// and nobody reads its field map half filled.
void createType(const TypeRow& row);
} // namespace EventTypeCreation

#endif
