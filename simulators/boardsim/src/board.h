// The simulated board as the driver kit sees it: processor identification,
// model-specific registers, PCI configuration space and I/O ports from the
// description (port writes are logged), and the firmware behind the entry.
#pragma once

#include "description.h"
#include "firmware.h"

#include <ddk/board.h>

#include <deque>
#include <mutex>

namespace boardsim
{

class Board : public ddk::Board
{
public:
    Board(const BoardDescription& description, Firmware& firmware)
        : m_description(description), m_firmware(firmware)
    {
    }

    bool readMsr(DWORD index, uint64_t& value) override;
    ULONG readBusData(ULONG busType, ULONG bus, ULONG slot, void* buffer, ULONG offset,
                      ULONG length) override;
    ULONG readPort(WORD port, unsigned width) override;
    void writePort(WORD port, unsigned width, ULONG value) override;
    void cpuid(DWORD leaf, DWORD registers[4]) override;
    bool callFirmware(uint32_t routine, const ddk::FirmwareCall& call, DWORD& status) override;

    // The port writes so far, oldest first; the log is emptied.
    PortLog takePortLog();

private:
    const BoardDescription& m_description;
    Firmware& m_firmware;

    std::mutex m_lock;
    std::deque<PortWrite> m_portWrites;
    uint32_t m_portWritesLost = 0;
};

} // namespace boardsim
