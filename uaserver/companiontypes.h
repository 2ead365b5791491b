#ifndef UASERVER_COMPANIONTYPES_H
#define UASERVER_COMPANIONTYPES_H

#include "uanode.h"

#include <atomic>
#include <span>

class NodeManagerUaNode;

// The object types of the companion models, built from one table row per type and one row per
// instance declaration. A type is built at most once until its type node is destroyed: the built
// flag is set on entry, the supertype's builder runs first, and the type node's release hook clears
// the flag and the declaration pointers again, so the next call builds a fresh set of nodes.
namespace CompanionTypes
{
// The node class an instance declaration is made of.
enum class Declaration
{
    Object,          // BaseObjectTypeNode
    FunctionalGroup, // FunctionalGroupObject
    Configurable,    // ConfigurableObject
    Folder,          // a folder object
    Property,        // PropertyTypeNode, referenced by HasProperty
    DataVariable,    // BaseDataVariableTypeNode
    Method,          // UaMethodGeneric below the object of its parent slot; no slot of its own
};

// The initial value of a variable; its data type follows from it.
enum class Initial
{
    None,
    EmptyString,
    EmptyText,
    Int32Zero,
    UInt32Zero,
    EmptyXmlElement,
    EmptyStructure,
};

// Where the supertype lives.
enum class SuperNamespace
{
    Zero,
    Di,  // the started DI node manager's namespace
    Own, // the namespace of the type itself
};

struct DeclarationRow
{
    OpcUa_UInt32 id;
    const char* name;
    Declaration kind;
    // 0: no modelling rule.
    OpcUa_UInt32 modellingRule;
    Initial value = Initial::None;
    // Methods: the slot of the object they hang under.
    int parentSlot = -1;
};

constexpr std::size_t kMaxSlots = 8;

// The built flag and one pointer per instance declaration (methods excluded), in table order. The
// pointers name nodes of the address space; they are not owned.
struct TypeState
{
    std::atomic<bool> built{false};
    std::atomic<UaNode*> slots[kMaxSlots]{};

    void reset();
};

struct TypeRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
    SuperNamespace superNamespace;
    // Builds the supertype first; null when it is always there.
    void (*buildFirst)();
    TypeState& state;
    // The type node's release hook: clears the state.
    void (*reset)();
    std::span<const DeclarationRow> declarations;
};

// Builds the type of the table in the target node manager's namespace. Without a target nothing
// happens and the flag stays clear; a second call while the type exists changes nothing.
void create(std::span<const TypeRow> types, OpcUa_UInt32 typeId, NodeManagerUaNode* target);

bool isBuilt(std::span<const TypeRow> types, OpcUa_UInt32 typeId);
// The declaration of that slot; null when the type is not built or the declaration failed.
UaNode* slot(std::span<const TypeRow> types, OpcUa_UInt32 typeId, std::size_t index);
} // namespace CompanionTypes

#endif
