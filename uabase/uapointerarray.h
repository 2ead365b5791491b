#ifndef UABASE_UAPOINTERARRAY_H
#define UABASE_UAPOINTERARRAY_H

#include <opcua.h>

#include <new>

// Array of plain pointers; owns the block of pointers, never the pointees.
template <typename T> class UaPointerArray
{
public:
    UaPointerArray() = default;
    UaPointerArray(const UaPointerArray&) = delete;
    UaPointerArray& operator=(const UaPointerArray&) = delete;
    virtual ~UaPointerArray() { clear(); }

    // n null slots; on a failed allocation the array is empty and Bad is returned.
    OpcUa_StatusCode create(OpcUa_UInt32 n)
    {
        clear();
        if (n == 0)
            return OpcUa_Good;
        if (n >= (1u << 30))
            return OpcUa_BadOutOfMemory;
        m_data = new (std::nothrow) T*[n]();
        if (m_data == nullptr)
            return OpcUa_BadOutOfMemory;
        m_length = n;
        return OpcUa_Good;
    }

    void clear()
    {
        if (m_data == nullptr)
            return;
        delete[] m_data;
        m_data = nullptr;
        m_length = 0;
    }

    OpcUa_UInt32 length() const { return m_length; }
    T** data() const { return m_data; }
    T*& operator[](OpcUa_UInt32 i) { return m_data[i]; }
    T* operator[](OpcUa_UInt32 i) const { return m_data[i]; }

private:
    OpcUa_UInt32 m_length = 0;
    T** m_data = nullptr;
};

#endif
