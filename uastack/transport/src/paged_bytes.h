// Bytes in pages mapped for them alone. Growing moves the pages instead of copying them, only the
// pages written to take memory, and freeing gives the pages back to the system at once: memory held
// for a large message is gone with it, rather than kept by the allocator for later use.
#pragma once
#include "binary_io.h"

#include <cstddef>
#include <cstdint>

namespace uatcp
{
class PagedBytes
{
public:
    PagedBytes() = default;
    ~PagedBytes() { clear(); }
    PagedBytes(PagedBytes&& other) noexcept;
    PagedBytes& operator=(PagedBytes&& other) noexcept;
    PagedBytes(const PagedBytes&) = delete;
    PagedBytes& operator=(const PagedBytes&) = delete;

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }

    // Room for capacity bytes (rounded up to whole pages); false when the system has none.
    bool reserve(size_t capacity);
    // Appends, growing as needed; false (and nothing appended) when the room cannot be had.
    bool append(const uint8_t* bytes, size_t size);
    // Gives every page back.
    void clear();

    Bytes toBytes() const { return Bytes(m_data, m_data + m_size); }
    static size_t pageSize();

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

bool operator==(const PagedBytes& paged, const Bytes& bytes);
} // namespace uatcp
