// The board behind the kernel services. A board simulator attaches itself when
// it loads and detaches when it unloads; the kernel services of ddk/ddk.h and
// CallFirmwareEntry reach only the attached board.
#pragma once

#include <os/types.h>

#include <cstdint>

namespace ddk
{

// The arguments of one firmware call, as the driver passed them.
struct FirmwareCall
{
    DWORD group;
    DWORD offset;
    void* input;
    DWORD inputSize;
    void* output;
    DWORD outputSize;
    DWORD* returned;
};

class Board
{
public:
    virtual ~Board() = default;

    virtual bool readMsr(DWORD index, uint64_t& value) = 0;
    // Bytes read into the buffer (a PCI slot without a device answers 2 bytes of all ones).
    virtual ULONG readBusData(ULONG busType, ULONG bus, ULONG slot, void* buffer, ULONG offset,
                              ULONG length) = 0;
    // Width in bytes: 1, 2 or 4.
    virtual ULONG readPort(WORD port, unsigned width) = 0;
    virtual void writePort(WORD port, unsigned width, ULONG value) = 0;
    virtual void cpuid(DWORD leaf, DWORD registers[4]) = 0;
    // Runs the firmware routine that an entry marker names. False when the routine
    // ends in a processor exception, else its status.
    virtual bool callFirmware(uint32_t routine, const FirmwareCall& call, DWORD& status) = 0;
};

// Only one board is attached at a time; attaching another replaces it.
void attachBoard(Board* board);
// Detaches the board if it is the attached one. Only when no call can still reach it.
void detachBoard(Board* board);

} // namespace ddk
