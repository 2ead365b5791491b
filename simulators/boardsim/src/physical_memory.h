// The board's 32-bit physical address space: one sparse shared-memory file of
// 4 GiB, so that untouched memory costs nothing and every mapping of the same
// physical range sees the same bytes, as on the board. The firmware image
// lies at its top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace boardsim
{

class PhysicalMemory
{
public:
    PhysicalMemory() = default;
    PhysicalMemory(const PhysicalMemory&) = delete;
    PhysicalMemory& operator=(const PhysicalMemory&) = delete;
    ~PhysicalMemory();

    bool create(std::string& error);

    // Maps `size` bytes from `address`; null when the range is empty or leaves the 32-bit space.
    void* map(uint32_t address, uint32_t size);
    // Unmaps what map() returned; false for any other address.
    bool unmap(void* address);
    size_t mappings() const;

    // Fills or writes physical memory directly (the board's own view, not a mapping).
    bool write(uint32_t address, const void* data, size_t size);
    bool fill(uint32_t address, uint8_t value, size_t size);

private:
    struct Mapping
    {
        void* base;
        size_t length;
    };

    int m_fd = -1;
    mutable std::mutex m_lock;
    std::map<uintptr_t, Mapping> m_mappings; // by the address handed out
};

} // namespace boardsim
