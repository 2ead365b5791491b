#include "stackcopy.h"

#include <cstring>

namespace StackCopy
{
OpcUa_StatusCode copyByteString(const OpcUa_ByteString* source, OpcUa_ByteString* target)
{
    if (source == nullptr || target == nullptr)
        return OpcUa_BadInvalidArgument;
    OpcUa_ByteString_Clear(target);
    if (source->Length < 1 || source->Data == nullptr)
    {
        target->Length = source->Length < 0 ? -1 : 0;
        return OpcUa_Good;
    }
    auto* block = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(source->Length)));
    if (block == nullptr)
        return OpcUa_BadOutOfMemory;
    std::memcpy(block, source->Data, static_cast<std::size_t>(source->Length));
    target->Data = block;
    target->Length = source->Length;
    return OpcUa_Good;
}

OpcUa_StatusCode copyNodeId(const OpcUa_NodeId* source, OpcUa_NodeId* target)
{
    if (source == nullptr || target == nullptr)
        return OpcUa_BadInvalidArgument;
    if (source->IdentifierType != OpcUa_IdentifierType_Opaque)
        return OpcUa_NodeId_CopyTo(source, target);
    OpcUa_NodeId_Clear(target);
    OpcUa_ByteString_Initialize(&target->Identifier.ByteString);
    OpcUa_StatusCode status = copyByteString(&source->Identifier.ByteString, &target->Identifier.ByteString);
    if ((status & 0xC0000000u) != 0)
        return status;
    target->IdentifierType = source->IdentifierType;
    target->NamespaceIndex = source->NamespaceIndex;
    return OpcUa_Good;
}
} // namespace StackCopy
