#include <os/handle.h>

#include "wait_lock.h"

#include <unordered_map>

namespace
{
struct HandleTable
{
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<os::HandleObject>> objects;
    // Handle values are never reused, so a stale handle is recognised as closed.
    uintptr_t next = 1;
};

HandleTable& table()
{
    static auto* instance = new HandleTable; // outlives static destruction: threads may still close handles
    return *instance;
}

uintptr_t key(HANDLE handle)
{
    return reinterpret_cast<uintptr_t>(handle);
}
} // namespace

namespace os
{
BOOL HandleObject::read(void*, DWORD, DWORD*)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL HandleObject::write(const void*, DWORD, DWORD*)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD HandleObject::seek(LONG, LONG*, DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
}

BOOL HandleObject::ioControl(DWORD, void*, DWORD, void*, DWORD, DWORD*)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE registerHandle(std::shared_ptr<HandleObject> object)
{
    if (!object)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& handles = table();
    std::lock_guard lock(handles.mutex);
    const uintptr_t value = handles.next++ << 2;
    handles.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> handleObject(HANDLE handle)
{
    auto& handles = table();
    {
        std::lock_guard lock(handles.mutex);
        const auto it = handles.objects.find(key(handle));
        if (it != handles.objects.end())
            return it->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

void notifyWaiters()
{
    { // pairs with the waiters' check under the lock, so no wake-up is lost
        std::lock_guard lock(detail::waitMutex());
    }
    detail::waitCondition().notify_all();
}

void notifyWaiters(const std::function<void()>& changeUnderLock)
{
    {
        std::lock_guard lock(detail::waitMutex());
        changeUnderLock();
    }
    detail::waitCondition().notify_all();
}

namespace detail
{
std::mutex& waitMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::condition_variable& waitCondition()
{
    static auto* condition = new std::condition_variable;
    return *condition;
}
} // namespace detail
} // namespace os

extern "C" BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<os::HandleObject> object;
    {
        auto& handles = table();
        std::lock_guard lock(handles.mutex);
        const auto it = handles.objects.find(key(handle));
        if (it == handles.objects.end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        handles.objects.erase(it);
    }
    return object->close();
}
