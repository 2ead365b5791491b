// Physical memory that callers mapped through the driver-level group (offset
// 66). Reads, writes and unmapping (offsets 67-69) accept only these ranges:
// an address the driver never handed out is refused, not dereferenced.
#pragma once

#include <os/types.h>

#include <cstdint>
#include <map>
#include <mutex>

namespace boarddrv
{

class MemoryWindows
{
public:
    ~MemoryWindows() { unmapAll(); }

    // Maps `size` bytes of physical memory; the virtual address, or 0 (1802).
    DWORD map(uint64_t physical, DWORD size, uint64_t& address);
    // The address must be one that map() handed out, with its size.
    DWORD unmap(uint64_t address, DWORD size);
    // Copies between the caller's buffer and a range inside one mapping.
    DWORD read(uint64_t address, void* output, DWORD size);
    DWORD write(uint64_t address, const void* input, DWORD size);
    void unmapAll();

private:
    // Finds the mapping around [address, address + size): 1798 when none holds the
    // address, 1803 when the range runs past its end. Runs with m_lock held.
    DWORD locate(uint64_t address, DWORD size);

    std::mutex m_lock;
    std::map<uint64_t, DWORD> m_windows; // address -> size
};

} // namespace boarddrv
