// Kernel services for drivers: the kernel I/O control, bus data, I/O ports,
// processor identification, and the call into the firmware (ddk/firmware.h).
// On this system a board simulator stands behind all of them (ddk/board.h):
// nothing here ever reaches the host's own ports, model-specific registers or
// PCI space. Without an attached board they answer as an empty bus would.
#pragma once

#include <os/types.h>

typedef UCHAR* PUCHAR;
typedef USHORT* PUSHORT;
typedef ULONG* PULONG;

// Reads a model-specific register: in the 4-byte register number, out 8 bytes (low word first).
#define IOCTL_KERNEL_READ_MSR 0x01012030u

// Bus types of the bus-data read; the numbers are those the firmware passes.
enum BUS_DATA_TYPE : int
{
    Cmos = 0,
    PCIConfiguration = 4,
};

// The slot number of a PCI function: device in bits 0-4, function in bits 5-7.
inline ULONG PciSlotNumber(ULONG device, ULONG function)
{
    return (device & 0x1F) | ((function & 0x7) << 5);
}

extern "C"
{
    // Fails with ERROR_NOT_SUPPORTED for an unknown code or without a board, with
    // ERROR_INVALID_PARAMETER for missing or short buffers, and with ERROR_GEN_FAILURE
    // when the board refuses the register.
    BOOL KernelIoControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                         LPDWORD returned);
    // The number of bytes read into the buffer; 0 when nothing could be read.
    ULONG HalGetBusDataByOffset(BUS_DATA_TYPE busType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                ULONG offset, ULONG length);

    // Port I/O: the port number is the pointer's value. Ports are 16 bits wide;
    // a larger number names no port (reads give all ones, writes go nowhere).
    UCHAR READ_PORT_UCHAR(PUCHAR port);
    USHORT READ_PORT_USHORT(PUSHORT port);
    ULONG READ_PORT_ULONG(PULONG port);
    void WRITE_PORT_UCHAR(PUCHAR port, UCHAR value);
    void WRITE_PORT_USHORT(PUSHORT port, USHORT value);
    void WRITE_PORT_ULONG(PULONG port, ULONG value);

    // Processor identification: registers A, B, C and D of a leaf (all 0 without a board).
    void Cpuid(DWORD leaf, DWORD registers[4]);
}

// The pointer a port number travels in.
template <class T> inline T* PortAddress(ULONG port)
{
    return reinterpret_cast<T*>(static_cast<uintptr_t>(port));
}
