// One handle on "GKT1:" per process, shared by every caller and counted under
// one lock. Requests hold a user of the handle while their I/O control call
// runs, without holding the lock, so a close by the last opener cannot close
// the handle under a call in progress.
#include <profilelink.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#define GKT_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

constexpr LONG kMaxUsers = 0x7FFFFFFE;
constexpr DWORD kHeaderSize = sizeof(GktRequestHeader);

std::mutex& deviceLock()
{
    static std::mutex lock;
    return lock;
}

HANDLE g_device = INVALID_HANDLE_VALUE; // valid exactly while g_users > 0
LONG g_users = 0;

// Both run under the lock.
bool takeUser()
{
    if (g_users >= kMaxUsers)
        return false;
    ++g_users;
    return true;
}

bool dropUser()
{
    if (g_users <= 0)
        return false;
    if (--g_users == 0)
    {
        CloseHandle(g_device);
        g_device = INVALID_HANDLE_VALUE;
    }
    return true;
}

// The platform error of a failed I/O call; never 0, which would read as success.
LONG lastIoError()
{
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<LONG>(error) : static_cast<LONG>(ERROR_GEN_FAILURE);
}

struct IoCall
{
    DWORD code;
    void* input;
    DWORD inputSize;
    void* output;
    DWORD outputSize;
    DWORD returned = 0;
    bool ok = false;
};

// A temporary user of the handle for one request: 0 and the handle, or the
// code of a device that is not open. Each successful take needs its release.
LONG takeDevice(HANDLE& device)
{
    std::lock_guard guard(deviceLock());
    if (g_device == INVALID_HANDLE_VALUE)
        return GKT_E_NOT_OPEN;
    if (!takeUser())
        return GKT_E_BUSY;
    device = g_device;
    return 0;
}

void releaseDevice()
{
    std::lock_guard guard(deviceLock());
    dropUser();
}

// Runs one I/O control call on a handle taken with takeDevice.
LONG runIoCall(HANDLE device, IoCall& call)
{
    call.ok = DeviceIoControl(device, call.code, call.input, call.inputSize, call.output, call.outputSize,
                              &call.returned, nullptr) != FALSE;
    return call.ok ? 0 : lastIoError();
}

// Runs one I/O control call under a temporary user of the handle.
LONG runWithDevice(IoCall& call)
{
    HANDLE device = INVALID_HANDLE_VALUE;
    if (const LONG notOpen = takeDevice(device))
        return notOpen;
    const LONG error = runIoCall(device, call);
    releaseDevice();
    return error;
}

// A zeroed block with its header filled in.
BYTE* newBlock(WORD index, BYTE subindex, BYTE flags, DWORD length)
{
    if (length > 0xFFFFFFFFu - kHeaderSize)
        return nullptr;
    auto* block = static_cast<BYTE*>(std::calloc(1, kHeaderSize + length));
    if (!block)
        return nullptr;
    GktRequestHeader header{};
    header.length = length;
    header.index = index;
    header.flags = flags;
    header.subindex = subindex;
    std::memcpy(block, &header, kHeaderSize);
    return block;
}

GktRequestHeader headerOf(const BYTE* block)
{
    GktRequestHeader header;
    std::memcpy(&header, block, kHeaderSize);
    return header;
}

} // namespace

GKT_EXPORT LONG GKTOpen()
{
    std::lock_guard guard(deviceLock());
    if (g_users == 0)
    {
        g_device = CreateFileW(u"GKT1:", 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_device == INVALID_HANDLE_VALUE)
            return static_cast<LONG>(0xECA70000u | (GetLastError() & 0xFFFFu));
    }
    return takeUser() ? 0 : GKT_E_BUSY;
}

GKT_EXPORT LONG GKTClose()
{
    std::lock_guard guard(deviceLock());
    if (g_device == INVALID_HANDLE_VALUE)
    {
        g_users = 0;
        return GKT_E_DEVICE_NOT_OPEN_ON_CLOSE;
    }
    dropUser();
    return 0;
}

GKT_EXPORT LONG GKTSyncReadWrite(WORD index, BYTE subindex, BYTE flags, DWORD writeLength,
                                 const void* writeData, DWORD readLength, void* readBuffer, DWORD* bytesRead)
{
    if (bytesRead)
        *bytesRead = 0;
    if ((writeLength > 0 && !writeData) || (readLength > 0 && !readBuffer) ||
        (writeLength == 0 && readLength == 0))
        return GKT_E_INVALID_ARGUMENT;

    BYTE* writeBlock = nullptr;
    BYTE* readBlock = nullptr;
    if (writeLength > 0)
    {
        writeBlock = newBlock(index, subindex, flags, writeLength);
        if (!writeBlock)
            return GKT_E_OUT_OF_MEMORY;
        std::memcpy(writeBlock + kHeaderSize, writeData, writeLength);
    }
    if (readLength > 0)
    {
        readBlock = newBlock(index, subindex, flags, readLength);
        if (!readBlock)
        {
            std::free(writeBlock);
            return GKT_E_OUT_OF_MEMORY;
        }
    }

    IoCall call{IOCTL_GKT_READ_WRITE, writeBlock, writeBlock ? kHeaderSize + writeLength : 0, readBlock,
                readBlock ? kHeaderSize + readLength : 0};
    LONG result = runWithDevice(call);
    if (result == 0 && readBlock)
    {
        // A read answer holds at least the header, and the data its length
        // names lies within what came back; anything else is refused, so no
        // byte the driver did not deliver reaches the caller.
        const GktRequestHeader answer = headerOf(readBlock);
        if (call.returned < kHeaderSize)
            result = GKT_E_BAD_RESPONSE;
        else
        {
            if (bytesRead)
                *bytesRead = answer.length;
            const LONG writeStatus = writeBlock ? headerOf(writeBlock).status : 0;
            result = writeStatus < 0 ? writeStatus : (answer.status < 0 ? answer.status : 0);
            if (answer.status >= 0)
            {
                if (answer.length > readLength || answer.length > call.returned - kHeaderSize)
                    result = GKT_E_BAD_RESPONSE;
                else
                    std::memcpy(readBuffer, readBlock + kHeaderSize, answer.length);
            }
        }
    }
    else if (result == 0 && writeBlock)
    {
        const LONG writeStatus = headerOf(writeBlock).status;
        result = writeStatus < 0 ? writeStatus : 0;
    }
    std::free(writeBlock);
    std::free(readBlock);
    return result;
}

GKT_EXPORT LONG GKTSyncRead(WORD index, BYTE subindex, BYTE flags, DWORD readLength, void* readBuffer,
                            DWORD* bytesRead)
{
    return GKTSyncReadWrite(index, subindex, flags, 0, nullptr, readLength, readBuffer, bytesRead);
}

GKT_EXPORT LONG GKTSyncWrite(WORD index, BYTE subindex, BYTE flags, DWORD writeLength, const void* writeData)
{
    return GKTSyncReadWrite(index, subindex, flags, writeLength, writeData, 0, nullptr, nullptr);
}

GKT_EXPORT LONG GKTSyncGetODList(WORD selector, DWORD* bufferSize, void* buffer)
{
    if (!bufferSize || !buffer || *bufferSize == 0)
        return GKT_E_INVALID_ARGUMENT;
    BYTE request[2];
    std::memcpy(request, &selector, 2);
    IoCall call{IOCTL_GKT_OBJECT_LIST, request, sizeof request, buffer, *bufferSize};
    const LONG result = runWithDevice(call);
    if (result != 0)
        return result;
    // Never report more than the buffer holds.
    if (call.returned < *bufferSize)
        *bufferSize = call.returned;
    return 0;
}

GKT_EXPORT LONG GKTSyncGetObjectDescription(WORD index, DWORD value, BYTE* firstByte, WORD*, BYTE* entryCount,
                                            char* name, DWORD* nameLength)
{
    BYTE request[6];
    std::memcpy(request, &index, 2);
    std::memcpy(request + 2, &value, 4);
    // The device is checked (and held) before the answer buffer is made.
    HANDLE device = INVALID_HANDLE_VALUE;
    if (const LONG notOpen = takeDevice(device))
        return notOpen;
    const DWORD capacity = nameLength ? *nameLength : 0;
    auto* answer = capacity <= 0xFFFFFFFFu - 4 ? static_cast<BYTE*>(std::calloc(1, 4 + capacity)) : nullptr;
    if (!answer)
    {
        releaseDevice();
        return GKT_E_OUT_OF_MEMORY;
    }
    IoCall call{IOCTL_GKT_OBJECT_DESCRIPTION, request, sizeof request, answer, 4 + capacity};
    LONG result = runIoCall(device, call);
    releaseDevice();
    if (result == 0 && call.returned < 4)
        result = GKT_E_SHORT_DESCRIPTION;
    if (result == 0)
    {
        if (firstByte)
            *firstByte = answer[0];
        if (entryCount)
            *entryCount = answer[3];
        if (name && nameLength && capacity > 0)
        {
            const DWORD length = call.returned - 4;
            if (length > capacity)
                result = GKT_E_NAME_TOO_LONG;
            else
                std::memcpy(name, answer + 4, length);
            *nameLength = length;
        }
    }
    std::free(answer);
    return result;
}

GKT_EXPORT LONG GKTSyncGetEntryDescription(WORD index, BYTE subindex, DWORD value, void* description)
{
    DWORD size = 0;
    if (description)
        std::memcpy(&size, description, 4);
    if (!description || size < 36)
        return GKT_E_INVALID_ARGUMENT;
    BYTE request[9];
    std::memcpy(request, &index, 2);
    request[2] = subindex;
    std::memcpy(request + 3, &value, 4);
    std::memcpy(request + 7, static_cast<BYTE*>(description) + 4, 2);
    IoCall call{IOCTL_GKT_ENTRY_DESCRIPTION, request, sizeof request, description, size};
    const LONG result = runWithDevice(call);
    if (result != 0)
        return result;
    return call.returned < 4 ? GKT_E_SHORT_DESCRIPTION : 0;
}
