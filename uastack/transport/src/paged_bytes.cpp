#include "paged_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace uatcp
{
size_t PagedBytes::pageSize()
{
    static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

PagedBytes::PagedBytes(PagedBytes&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0))
{
}

PagedBytes& PagedBytes::operator=(PagedBytes&& other) noexcept
{
    if (this != &other)
    {
        clear();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

bool PagedBytes::reserve(size_t capacity)
{
    if (capacity <= m_capacity)
        return true;
    const size_t page = pageSize();
    if (capacity > SIZE_MAX - page)
        return false;
    const size_t rounded = (capacity + page - 1) / page * page;
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer does not follow pages that mremap moves: under it the bytes are copied.
    void* mapped = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return false;
    if (m_data != nullptr)
    {
        std::memcpy(mapped, m_data, m_size);
        ::munmap(m_data, m_capacity);
    }
#else
    void* mapped = m_data == nullptr
                       ? ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                       : ::mremap(m_data, m_capacity, rounded, MREMAP_MAYMOVE);
    if (mapped == MAP_FAILED)
        return false;
#endif
    m_data = static_cast<uint8_t*>(mapped);
    m_capacity = rounded;
    return true;
}

bool PagedBytes::append(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return true;
    if (size > SIZE_MAX / 2 - m_size)
        return false;
    if (m_size + size > m_capacity && !reserve(std::max(m_size + size, m_capacity * 2)))
        return false;
    std::memcpy(m_data + m_size, bytes, size);
    m_size += size;
    return true;
}

void PagedBytes::clear()
{
    if (m_data != nullptr)
        ::munmap(m_data, m_capacity);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

bool operator==(const PagedBytes& paged, const Bytes& bytes)
{
    return paged.size() == bytes.size() &&
           (bytes.empty() || std::memcmp(paged.data(), bytes.data(), bytes.size()) == 0);
}
} // namespace uatcp
