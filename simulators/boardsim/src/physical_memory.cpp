#include "physical_memory.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace boardsim
{

namespace
{

constexpr uint64_t kSpaceSize = uint64_t(1) << 32;

size_t pageSize()
{
    static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

PhysicalMemory::~PhysicalMemory()
{
    for (const auto& [address, mapping] : m_mappings)
        ::munmap(mapping.base, mapping.length);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PhysicalMemory::create(std::string& error)
{
    m_fd = ::memfd_create("boardsim-physical", MFD_CLOEXEC);
    if (m_fd < 0 || ::ftruncate(m_fd, static_cast<off_t>(kSpaceSize)) != 0)
    {
        error = std::string("cannot create the physical memory: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void* PhysicalMemory::map(uint32_t address, uint32_t size)
{
    if (size == 0 || uint64_t(address) + size > kSpaceSize)
        return nullptr;
    const uint64_t start = address & ~uint64_t(pageSize() - 1);
    const uint64_t end = (uint64_t(address) + size + pageSize() - 1) & ~uint64_t(pageSize() - 1);
    const size_t length = static_cast<size_t>(end - start);
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, static_cast<off_t>(start));
    if (base == MAP_FAILED)
        return nullptr;
    auto* handedOut = static_cast<uint8_t*>(base) + (address - start);
    std::lock_guard guard(m_lock);
    m_mappings[reinterpret_cast<uintptr_t>(handedOut)] = {base, length};
    return handedOut;
}

bool PhysicalMemory::unmap(void* address)
{
    Mapping mapping{};
    {
        std::lock_guard guard(m_lock);
        const auto it = m_mappings.find(reinterpret_cast<uintptr_t>(address));
        if (it == m_mappings.end())
            return false;
        mapping = it->second;
        m_mappings.erase(it);
    }
    ::munmap(mapping.base, mapping.length);
    return true;
}

size_t PhysicalMemory::mappings() const
{
    std::lock_guard guard(m_lock);
    return m_mappings.size();
}

bool PhysicalMemory::write(uint32_t address, const void* data, size_t size)
{
    if (uint64_t(address) + size > kSpaceSize)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0)
    {
        const ssize_t written = ::pwrite(m_fd, bytes, size, static_cast<off_t>(address));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        address += static_cast<uint32_t>(written);
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool PhysicalMemory::fill(uint32_t address, uint8_t value, size_t size)
{
    const std::vector<uint8_t> bytes(size, value);
    return write(address, bytes.data(), bytes.size());
}

} // namespace boardsim
