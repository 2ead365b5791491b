// Inline pieces of the generated per-structure code: freeing what a field owns and arrays of
// structures read and written element by element without a call through the descriptor.
#pragma once

#include "structure_codec.h"

#include <opcua_binarycodec.hpp>

namespace OpcUa
{
inline void freeBlock(void* p)
{
    if (p != nullptr)
        OpcUa_Memory_Free(p);
}

// Frees what a NodeId owns without resetting it (numeric ones own nothing).
inline void releaseNodeId(OpcUa_NodeId& v)
{
    if (v.IdentifierType != OpcUa_IdentifierType_Numeric)
        OpcUa_NodeId_Clear(&v);
}

// An array of structures T: readElement sets every field of an element, also after a failure;
// releaseElement frees what an element owns. A failure frees the elements read so far and the
// block and leaves the field empty.
template <typename T, typename ReadElement, typename ReleaseElement>
inline void readStructureArray(BinaryDecoder& r, const OpcUa_EncodeableType* type, T** elements,
                               OpcUa_Int32* count, ReadElement readElement, ReleaseElement releaseElement)
{
    void* block = nullptr;
    OpcUa_Int32 n = 0;
    *elements = nullptr;
    *count = 0;
    if (!r.beginStructureArray(type, &block, &n))
        return;
    T* a = static_cast<T*>(block);
    OpcUa_Int32 done = 0;
    while (done < n)
    {
        readElement(r, a[done++]);
        if (r.status() != OpcUa_Good) [[unlikely]]
            break;
    }
    r.leaveLevel();
    if (OpcUa_IsBad(r.status())) [[unlikely]]
    {
        for (OpcUa_Int32 i = 0; i < done; ++i)
            releaseElement(a[i]);
        OpcUa_Memory_Free(block);
        return;
    }
    *elements = a;
    *count = n;
}

template <typename T, typename WriteElement>
inline void writeStructureArray(BinaryEncoder& w, const T* elements, OpcUa_Int32 count,
                                WriteElement writeElement)
{
    if (!w.beginArray(elements, count))
        return;
    for (OpcUa_Int32 i = 0; i < count && w.status() == OpcUa_Good; ++i)
        writeElement(w, elements[i]);
    w.leaveStructure();
}

template <typename T, typename ReleaseElement>
inline void releaseStructureArray(T* elements, OpcUa_Int32 count, ReleaseElement releaseElement)
{
    if (elements == nullptr)
        return;
    for (OpcUa_Int32 i = 0; i < count; ++i)
        releaseElement(elements[i]);
    OpcUa_Memory_Free(elements);
}
} // namespace OpcUa
