// Kernel objects behind HANDLE values. Every object kind (event, mutex, thread,
// file, device file, ...) derives from HandleObject; the generic entry points
// (CloseHandle, ReadFile, WriteFile, SetFilePointer, DeviceIoControl, the waits)
// dispatch on its virtual operations.
#pragma once

#include <os/types.h>

#include <functional>
#include <memory>
#include <string>

namespace os
{
enum class AcquireResult
{
    NotSignalled,
    Acquired,
    Abandoned // a mutex whose holder ended without releasing it
};

class HandleObject
{
public:
    virtual ~HandleObject() = default;

    // Called once when the handle is closed; the object itself lives on until
    // calls still running on other threads have returned.
    virtual BOOL close() { return TRUE; }

    // Defaults fail with ERROR_INVALID_HANDLE (the object is not of that kind).
    virtual BOOL read(void* buffer, DWORD size, DWORD* done);
    virtual BOOL write(const void* buffer, DWORD size, DWORD* done);
    virtual DWORD seek(LONG distance, LONG* distanceHigh, DWORD method);
    virtual BOOL ioControl(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                           DWORD* returned);

    // Waiting. waitable() objects implement tryAcquire, which runs with the
    // process-wide wait lock held and must not block.
    virtual bool waitable() const { return false; }
    virtual AcquireResult tryAcquire() { return AcquireResult::NotSignalled; }
    // Gives back what tryAcquire took (used when waiting for all of several objects).
    virtual void undoAcquire() {}
    // True when the state can change in another process, so waiters poll it.
    virtual bool polled() const { return false; }
};

HANDLE registerHandle(std::shared_ptr<HandleObject> object);
// Null (and last error ERROR_INVALID_HANDLE) for an unknown or closed handle.
std::shared_ptr<HandleObject> handleObject(HANDLE handle);
template <class T> std::shared_ptr<T> handleObjectAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(handleObject(handle));
}

// Wakes every waiter so that it re-checks its objects; call after a state change
// that may satisfy a wait. Runs the change under the wait lock when given one.
void notifyWaiters();
void notifyWaiters(const std::function<void()>& changeUnderLock);

// Opens a device file such as "GKT1:" (name as given, without a path).
// Returns a registered handle or INVALID_HANDLE_VALUE with the last error set.
using DeviceFileOpener =
    std::function<HANDLE(const std::u16string& name, DWORD access, DWORD share, DWORD creation, DWORD flags)>;
void setDeviceFileOpener(DeviceFileOpener opener);
// True for names of the form three letters, a digit and a colon ("GKT1:").
bool isDeviceFileName(const std::u16string& name);
} // namespace os

extern "C"
{
    BOOL CloseHandle(HANDLE handle);
}
