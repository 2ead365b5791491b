#include <ddk/board.h>
#include <ddk/ddk.h>
#include <ddk/firmware.h>

#include <atomic>
#include <cstring>

namespace
{

std::atomic<ddk::Board*> g_board{nullptr};

ddk::Board* board()
{
    return g_board.load(std::memory_order_acquire);
}

// Port numbers are 16 bits: a larger value names no port at all.
bool portNumber(const void* address, WORD& port)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    if (value > 0xFFFF)
        return false;
    port = static_cast<WORD>(value);
    return true;
}

ULONG readPort(const void* address, unsigned width, ULONG allOnes)
{
    WORD port = 0;
    ddk::Board* current = board();
    if (!current || !portNumber(address, port))
        return allOnes;
    return current->readPort(port, width) & allOnes;
}

void writePort(const void* address, unsigned width, ULONG value)
{
    WORD port = 0;
    if (ddk::Board* current = board(); current && portNumber(address, port))
        current->writePort(port, width, value);
}

// The exception record and processor context of the calling thread's last firmware exception.
thread_local FirmwareExceptionRecord t_exceptionRecord;
thread_local FirmwareExceptionContext t_exceptionContext;

BOOL raiseException(FIRMWARE_EXCEPTION* exception, DWORD code, PVOID entry, DWORD group, DWORD offset)
{
    t_exceptionRecord = {code, 0, entry};
    t_exceptionContext = {entry, group, offset};
    if (exception)
        *exception = {code, entry, &t_exceptionRecord, &t_exceptionContext};
    return FALSE;
}

} // namespace

namespace ddk
{

void attachBoard(Board* newBoard)
{
    g_board.store(newBoard, std::memory_order_release);
}

void detachBoard(Board* oldBoard)
{
    Board* expected = oldBoard;
    g_board.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

} // namespace ddk

extern "C"
{

    BOOL KernelIoControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                         LPDWORD returned)
    {
        if (returned)
            *returned = 0;
        ddk::Board* current = board();
        if (code != IOCTL_KERNEL_READ_MSR || !current)
        {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        if (!input || inputSize < sizeof(DWORD) || !output || outputSize < sizeof(uint64_t))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DWORD index = 0;
        std::memcpy(&index, input, sizeof index);
        uint64_t value = 0;
        if (!current->readMsr(index, value))
        {
            SetLastError(ERROR_GEN_FAILURE);
            return FALSE;
        }
        std::memcpy(output, &value, sizeof value);
        if (returned)
            *returned = sizeof value;
        return TRUE;
    }

    ULONG HalGetBusDataByOffset(BUS_DATA_TYPE busType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                ULONG offset, ULONG length)
    {
        ddk::Board* current = board();
        if (!current || !buffer || length == 0)
            return 0;
        const ULONG read =
            current->readBusData(static_cast<ULONG>(busType), busNumber, slotNumber, buffer, offset, length);
        return read > length ? length : read;
    }

    UCHAR READ_PORT_UCHAR(PUCHAR port)
    {
        return static_cast<UCHAR>(readPort(port, 1, 0xFF));
    }

    USHORT READ_PORT_USHORT(PUSHORT port)
    {
        return static_cast<USHORT>(readPort(port, 2, 0xFFFF));
    }

    ULONG READ_PORT_ULONG(PULONG port)
    {
        return readPort(port, 4, 0xFFFFFFFFu);
    }

    void WRITE_PORT_UCHAR(PUCHAR port, UCHAR value)
    {
        writePort(port, 1, value);
    }

    void WRITE_PORT_USHORT(PUSHORT port, USHORT value)
    {
        writePort(port, 2, value);
    }

    void WRITE_PORT_ULONG(PULONG port, ULONG value)
    {
        writePort(port, 4, value);
    }

    void Cpuid(DWORD leaf, DWORD registers[4])
    {
        registers[0] = registers[1] = registers[2] = registers[3] = 0;
        if (ddk::Board* current = board())
            current->cpuid(leaf, registers);
    }

    BOOL CallFirmwareEntry(PVOID entry, DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                           DWORD outputSize, PDWORD returned, PDWORD status, FIRMWARE_EXCEPTION* exception)
    {
        if (!entry)
            return raiseException(exception, EXCEPTION_ACCESS_VIOLATION, entry, group, offset);
        FirmwareEntryMarker marker;
        std::memcpy(&marker, entry, sizeof marker);
        ddk::Board* current = board();
        if (!current || std::memcmp(marker.magic, kFirmwareEntryMagic, sizeof marker.magic) != 0 ||
            marker.check != ~marker.routine)
            return raiseException(exception, EXCEPTION_ILLEGAL_INSTRUCTION, entry, group, offset);
        DWORD result = 0;
        const ddk::FirmwareCall call{group, offset, input, inputSize, output, outputSize, returned};
        if (!current->callFirmware(marker.routine, call, result))
            return raiseException(exception, EXCEPTION_ACCESS_VIOLATION, entry, group, offset);
        if (status)
            *status = result;
        return TRUE;
    }

} // extern "C"
