#include "board.h"

#include <ddk/ddk.h>

#include <algorithm>
#include <cstring>

namespace boardsim
{

bool Board::readMsr(DWORD index, uint64_t& value)
{
    const auto it = m_description.msrs.find(index);
    if (it == m_description.msrs.end())
        return false;
    value = it->second;
    return true;
}

ULONG Board::readBusData(ULONG busType, ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length)
{
    if (busType != PCIConfiguration || bus > 0xFF || slot > 0xFF)
        return 0;
    const auto it = m_description.pci.find(bus << 8 | slot);
    if (it == m_description.pci.end())
    {
        // No device in the slot: the vendor identifier reads as all ones, 2 bytes.
        const uint8_t none[2] = {0xFF, 0xFF};
        const ULONG size = std::min<ULONG>(length, sizeof none);
        std::memcpy(buffer, none, size);
        return size;
    }
    const std::vector<uint8_t>& space = it->second;
    if (offset >= space.size())
        return 0;
    const ULONG size = std::min<ULONG>(length, static_cast<ULONG>(space.size() - offset));
    std::memcpy(buffer, space.data() + offset, size);
    return size;
}

ULONG Board::readPort(WORD port, unsigned)
{
    const auto it = m_description.ports.find(port);
    return it == m_description.ports.end() ? 0xFFFFFFFFu : it->second;
}

void Board::writePort(WORD port, unsigned width, ULONG value)
{
    std::lock_guard guard(m_lock);
    if (m_portWrites.size() == kPortLogCapacity)
    {
        m_portWrites.pop_front();
        ++m_portWritesLost;
    }
    m_portWrites.push_back({port, static_cast<uint16_t>(width), value});
}

void Board::cpuid(DWORD leaf, DWORD registers[4])
{
    const auto it = m_description.cpuid.find(leaf);
    if (it != m_description.cpuid.end())
        std::copy(it->second.begin(), it->second.end(), registers);
}

bool Board::callFirmware(uint32_t routine, const ddk::FirmwareCall& call, DWORD& status)
{
    // The image has one routine; any other number is no code at all.
    return routine == kApiRoutine && m_firmware.call(call, status);
}

PortLog Board::takePortLog()
{
    std::lock_guard guard(m_lock);
    PortLog log{};
    log.count = static_cast<uint32_t>(m_portWrites.size());
    log.lost = m_portWritesLost;
    std::copy(m_portWrites.begin(), m_portWrites.end(), log.writes);
    m_portWrites.clear();
    m_portWritesLost = 0;
    return log;
}

} // namespace boardsim
