#ifndef UABASE_UASTACKTYPEARRAY_H
#define UABASE_UASTACKTYPEARRAY_H

#include "uaclearroutines.h"

#include <opcua.h>

#include <cstring>

// Owning array of stack structures: (count, block from the stack allocator), each element emptied
// with `ClearElement` before the block is freed. Hand the block over by copying length() and data() into a
// stack structure and calling detach().
template <typename T, void (*ClearElement)(T*)> class UaStackTypeArray
{
public:
    UaStackTypeArray() = default;
    UaStackTypeArray(const UaStackTypeArray&) = delete;
    UaStackTypeArray& operator=(const UaStackTypeArray&) = delete;
    virtual ~UaStackTypeArray() { this->clear(); }

    // n zero-filled elements. On a failed allocation the array stays empty and Bad is returned.
    OpcUa_StatusCode create(OpcUa_UInt32 n)
    {
        this->clear();
        if (n == 0)
            return OpcUa_Good;
        T* block = allocate(n);
        if (block == nullptr)
            return OpcUa_BadOutOfMemory;
        m_data = block;
        m_length = n;
        return OpcUa_Good;
    }

    // Shrinking clears the elements beyond n and keeps the block; growing moves the elements into
    // a new zero-filled block. On a failed allocation the array is unchanged and Bad is returned.
    OpcUa_StatusCode resize(OpcUa_UInt32 n)
    {
        if (n < m_length)
        {
            for (OpcUa_UInt32 i = n; i < m_length; ++i)
                ClearElement(&m_data[i]);
            m_length = n;
            return OpcUa_Good;
        }
        if (n == m_length)
            return OpcUa_Good;
        T* block = allocate(n);
        if (block == nullptr)
            return OpcUa_BadOutOfMemory;
        if (m_length > 0)
            std::memcpy(static_cast<void*>(block), static_cast<const void*>(m_data), m_length * sizeof(T));
        OpcUa_Memory_Free(m_data);
        m_data = block;
        m_length = n;
        return OpcUa_Good;
    }

    void clear()
    {
        if (m_data == nullptr)
            return;
        for (OpcUa_UInt32 i = 0; i < m_length; ++i)
            ClearElement(&m_data[i]);
        OpcUa_Memory_Free(m_data);
        m_data = nullptr;
        m_length = 0;
    }

    // Takes ownership of a block of n elements; a count that is negative as a signed 32-bit value
    // leaves the array empty and the block with the caller.
    void attach(OpcUa_UInt32 n, T* block)
    {
        this->clear();
        if (static_cast<OpcUa_Int32>(n) < 0)
            return;
        m_data = block;
        m_length = n;
    }

    // Gives up the block without freeing it (after its count and pointer were handed over).
    void detach()
    {
        m_data = nullptr;
        m_length = 0;
    }

    OpcUa_UInt32 length() const { return m_length; }
    T* data() const { return m_data; }
    T& operator[](OpcUa_UInt32 i) { return m_data[i]; }
    const T& operator[](OpcUa_UInt32 i) const { return m_data[i]; }

private:
    static T* allocate(OpcUa_UInt32 n)
    {
        OpcUa_UInt64 bytes = static_cast<OpcUa_UInt64>(n) * sizeof(T);
        if (bytes > 0xFFFFFFFFull)
            return nullptr;
        auto* block = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes)));
        if (block != nullptr)
            std::memset(static_cast<void*>(block), 0, static_cast<std::size_t>(bytes));
        return block;
    }

    OpcUa_UInt32 m_length = 0;
    T* m_data = nullptr;
};

#endif
