#include "memory_windows.h"
#include "os_services.h"

#include <boarddrv/wmd.h>

#include <cstring>

namespace boarddrv
{

namespace
{

void* pointer(uint64_t address)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}

} // namespace

DWORD MemoryWindows::map(uint64_t physical, DWORD size, uint64_t& address)
{
    void* mapped = mapMemoryService(static_cast<DWORD>(physical), static_cast<DWORD>(physical >> 32), size);
    if (!mapped)
        return wmd::kResultNoMapping;
    address = serviceAddress(mapped);
    std::lock_guard guard(m_lock);
    m_windows[address] = size;
    return 0;
}

DWORD MemoryWindows::unmap(uint64_t address, DWORD size)
{
    {
        std::lock_guard guard(m_lock);
        const auto it = m_windows.find(address);
        if (it == m_windows.end())
            return wmd::kResultZeroArgument;
        if (it->second != size)
            return wmd::kResultSizeMismatch;
        m_windows.erase(it);
    }
    unmapMemoryService(pointer(address), size);
    return 0;
}

DWORD MemoryWindows::read(uint64_t address, void* output, DWORD size)
{
    std::lock_guard guard(m_lock);
    if (const DWORD result = locate(address, size))
        return result;
    std::memcpy(output, pointer(address), size);
    return 0;
}

DWORD MemoryWindows::write(uint64_t address, const void* input, DWORD size)
{
    std::lock_guard guard(m_lock);
    if (const DWORD result = locate(address, size))
        return result;
    std::memcpy(pointer(address), input, size);
    return 0;
}

void MemoryWindows::unmapAll()
{
    std::map<uint64_t, DWORD> windows;
    {
        std::lock_guard guard(m_lock);
        windows.swap(m_windows);
    }
    for (const auto& [address, size] : windows)
        unmapMemoryService(pointer(address), size);
}

DWORD MemoryWindows::locate(uint64_t address, DWORD size)
{
    auto it = m_windows.upper_bound(address);
    if (it == m_windows.begin())
        return wmd::kResultZeroArgument;
    --it;
    const uint64_t end = it->first + it->second;
    if (address >= end)
        return wmd::kResultZeroArgument;
    if (address + size > end)
        return wmd::kResultSizeMismatch;
    return 0;
}

} // namespace boarddrv
