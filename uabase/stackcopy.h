#ifndef UABASE_STACKCOPY_H
#define UABASE_STACKCOPY_H

#include <opcua.h>

// Deep copies of stack structures through the stack's own copy routines, for every inline wrapper.
namespace StackCopy
{
template <typename T> struct Ops;

#define UABASE_STACK_OPS(Name)                                                                               \
    template <> struct Ops<OpcUa_##Name>                                                                     \
    {                                                                                                        \
        static void init(OpcUa_##Name* v) { OpcUa_##Name##_Initialize(v); }                                  \
        static void clear(OpcUa_##Name* v) { OpcUa_##Name##_Clear(v); }                                      \
        static OpcUa_StatusCode copy(const OpcUa_##Name* s, OpcUa_##Name* t)                                 \
        {                                                                                                    \
            return OpcUa_##Name##_CopyTo(s, t);                                                              \
        }                                                                                                    \
    };
UABASE_STACK_OPS(Guid)
UABASE_STACK_OPS(ExpandedNodeId)
UABASE_STACK_OPS(QualifiedName)
UABASE_STACK_OPS(LocalizedText)
#undef UABASE_STACK_OPS

// Byte strings keep their length, with a new block of exactly that length (none below 1), so an
// empty byte string stays empty and a null one null. NodeIds copy opaque identifiers the same way.
OpcUa_StatusCode copyByteString(const OpcUa_ByteString* source, OpcUa_ByteString* target);
OpcUa_StatusCode copyNodeId(const OpcUa_NodeId* source, OpcUa_NodeId* target);
template <> struct Ops<OpcUa_ByteString>
{
    static void init(OpcUa_ByteString* v) { OpcUa_ByteString_Initialize(v); }
    static void clear(OpcUa_ByteString* v) { OpcUa_ByteString_Clear(v); }
    static OpcUa_StatusCode copy(const OpcUa_ByteString* s, OpcUa_ByteString* t)
    {
        return copyByteString(s, t);
    }
};
template <> struct Ops<OpcUa_NodeId>
{
    static void init(OpcUa_NodeId* v) { OpcUa_NodeId_Initialize(v); }
    static void clear(OpcUa_NodeId* v) { OpcUa_NodeId_Clear(v); }
    static OpcUa_StatusCode copy(const OpcUa_NodeId* s, OpcUa_NodeId* t) { return copyNodeId(s, t); }
};

// Extension objects copy encoded bodies and the decoded structures of a fixed list of types; any
// other decoded structure copies as an empty extension object.
OpcUa_StatusCode copyExtensionObject(const OpcUa_ExtensionObject* source, OpcUa_ExtensionObject* target);
template <> struct Ops<OpcUa_ExtensionObject>
{
    static void init(OpcUa_ExtensionObject* v) { OpcUa_ExtensionObject_Initialize(v); }
    static void clear(OpcUa_ExtensionObject* v) { OpcUa_ExtensionObject_Clear(v); }
    static OpcUa_StatusCode copy(const OpcUa_ExtensionObject* s, OpcUa_ExtensionObject* t)
    {
        return copyExtensionObject(s, t);
    }
};

// Replaces target's content by a deep copy of source (target is a valid value); on failure the
// target is left cleared.
template <typename T> OpcUa_StatusCode copy(const T& source, T& target)
{
    if (&source == &target)
        return OpcUa_Good;
    T fresh;
    Ops<T>::init(&fresh);
    OpcUa_StatusCode status = Ops<T>::copy(&source, &fresh);
    Ops<T>::clear(&target);
    if ((status & 0xC0000000u) != 0)
    {
        Ops<T>::clear(&fresh);
        return status;
    }
    target = fresh;
    return OpcUa_Good;
}

// Deep copy into a caller's structure, which is initialised first; nothing for a null target.
template <typename T> OpcUa_StatusCode copyTo(const T& source, T* target)
{
    if (target == nullptr)
        return OpcUa_BadInvalidArgument;
    Ops<T>::init(target);
    return Ops<T>::copy(&source, target);
}

// Deep copy in a new structure from the stack allocator; null when memory runs out.
template <typename T> T* clone(const T& source)
{
    auto* target = static_cast<T*>(OpcUa_Memory_Alloc(sizeof(T)));
    if (target == nullptr)
        return nullptr;
    Ops<T>::init(target);
    if ((Ops<T>::copy(&source, target) & 0xC0000000u) != 0)
    {
        Ops<T>::clear(target);
        OpcUa_Memory_Free(target);
        return nullptr;
    }
    return target;
}
} // namespace StackCopy

#endif
