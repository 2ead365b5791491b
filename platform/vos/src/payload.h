// Building and reading the fixed little fields of Vos payloads.
#pragma once

#include "vos/orx.h"

#include <cstring>
#include <string>

namespace vos
{

class PayloadWriter
{
public:
    PayloadWriter& U16(USHORT v) { return Raw(&v, 2); }
    PayloadWriter& U32(ULONG v) { return Raw(&v, 4); }
    PayloadWriter& Raw(const void* p, size_t n)
    {
        if (n)
            m_bytes.append(static_cast<const char*>(p), n);
        return *this;
    }
    const void* Data() const { return m_bytes.data(); }
    ULONG Size() const { return static_cast<ULONG>(m_bytes.size()); }

private:
    std::string m_bytes;
};

class PayloadReader
{
public:
    PayloadReader(const BYTE* p, size_t n) : m_p(p), m_end(p + n) {}
    bool U16(USHORT& v) { return Raw(&v, 2); }
    bool U32(ULONG& v) { return Raw(&v, 4); }
    bool Raw(void* out, size_t n)
    {
        if (Left() < n)
            return false;
        std::memcpy(out, m_p, n);
        m_p += n;
        return true;
    }
    // Takes n bytes in place.
    bool Take(size_t n, const BYTE*& out)
    {
        if (Left() < n)
            return false;
        out = m_p;
        m_p += n;
        return true;
    }
    size_t Left() const { return static_cast<size_t>(m_end - m_p); }

private:
    const BYTE* m_p;
    const BYTE* m_end;
};

// Device name field: 16 bytes, zero-filled, no terminator needed.
inline void PutDeviceName(PayloadWriter& w, const char* name)
{
    char field[16] = {};
    if (name)
        std::memcpy(field, name, strnlen(name, sizeof field));
    w.Raw(field, sizeof field);
}

} // namespace vos
