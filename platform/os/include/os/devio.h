// Device files ("GKT1:") and the stream drivers behind them.
//
// Drivers are shared libraries that the device manager program loads; every
// process reaches them through the manager's local socket in the device root.
// CreateFile of a device name, DeviceIoControl, ReadFile, WriteFile,
// SetFilePointer and CloseHandle on the handle go to the driver's Open,
// IOControl, Read, Write, Seek and Close entry points, with the buffers, the
// bytes returned and the driver's last error carried both ways.
#pragma once

#include <os/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Stream driver entry points, exported as <Prefix>_Init and so on. Device and
// open contexts are pointer-sized so that a driver may hand out addresses.
extern "C"
{
    typedef DWORD_PTR (*PFN_DRIVER_INIT)(LPCWSTR activeKey, LPCVOID busContext);
    typedef BOOL (*PFN_DRIVER_DEINIT)(DWORD_PTR deviceContext);
    typedef DWORD_PTR (*PFN_DRIVER_OPEN)(DWORD_PTR deviceContext, DWORD access, DWORD share);
    typedef BOOL (*PFN_DRIVER_CLOSE)(DWORD_PTR openContext);
    typedef DWORD (*PFN_DRIVER_READ)(DWORD_PTR openContext, LPVOID buffer, DWORD count);
    typedef DWORD (*PFN_DRIVER_WRITE)(DWORD_PTR openContext, LPCVOID buffer, DWORD count);
    typedef DWORD (*PFN_DRIVER_SEEK)(DWORD_PTR openContext, LONG amount, WORD type);
    typedef BOOL (*PFN_DRIVER_IOCONTROL)(DWORD_PTR openContext, DWORD code, PBYTE input, DWORD inputSize,
                                         PBYTE output, DWORD outputSize, PDWORD returned);
    typedef void (*PFN_DRIVER_POWER)(DWORD_PTR deviceContext);
}

#ifndef CTL_CODE
#define CTL_CODE(deviceType, function, method, access)                                                       \
    (((deviceType) << 16) | ((access) << 14) | ((function) << 2) | (method))
#endif

namespace os::devio
{

// The device manager's socket: "devmgr.sock" in the device root.
std::string managerSocketPath();

// Device files have 32-bit positions: a 64-bit distance (low word, *distanceHigh)
// must fit. True with `distance` narrowed and *distanceHigh set to 0; false (and
// the last error ERROR_INVALID_PARAMETER) when it does not fit.
bool narrowSeekDistance(LONG& distance, LONG* distanceHigh);

// Largest buffer a single call carries.
constexpr uint32_t kMaxTransfer = 16u << 20;

enum class Op : uint32_t
{
    open = 1,
    close = 2,
    ioControl = 3,
    read = 4,
    write = 5,
    seek = 6,
};

// Flags of an I/O control request: which of the caller's pointers were given.
constexpr uint32_t kHasInput = 1;
constexpr uint32_t kHasOutput = 2;
constexpr uint32_t kHasReturned = 4;

// A message: little-endian fields appended in order and read back in order.
class Message
{
public:
    void putU32(uint32_t value);
    void putU64(uint64_t value);
    void putBytes(const void* data, uint32_t size);
    void putText(const std::string& text);

    // Readers fail (return false) once the message runs short.
    bool getU32(uint32_t& value);
    bool getU64(uint64_t& value);
    bool getBytes(std::vector<uint8_t>& bytes);
    bool getText(std::string& text);

    std::vector<uint8_t>& bytes() { return m_bytes; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_readPos = 0;
};

// Framing over a stream socket: a 32-bit length, then the message.
bool sendMessage(int fd, const Message& message);
bool receiveMessage(int fd, Message& message);

} // namespace os::devio
