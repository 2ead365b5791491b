#include <os/handle.h>
#include <os/sync.h>

#include "wait_lock.h"

#include <chrono>
#include <vector>

namespace
{
// How often objects whose state lives in another process are looked at.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

using Clock = std::chrono::steady_clock;

DWORD tryAll(const std::vector<std::shared_ptr<os::HandleObject>>& objects, bool& satisfied)
{
    bool abandoned = false;
    for (size_t i = 0; i < objects.size(); ++i)
    {
        const os::AcquireResult result = objects[i]->tryAcquire();
        if (result == os::AcquireResult::NotSignalled)
        {
            for (size_t j = i; j-- > 0;)
                objects[j]->undoAcquire();
            satisfied = false;
            return WAIT_TIMEOUT;
        }
        abandoned = abandoned || result == os::AcquireResult::Abandoned;
    }
    satisfied = true;
    return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

DWORD tryAny(const std::vector<std::shared_ptr<os::HandleObject>>& objects, bool& satisfied)
{
    for (size_t i = 0; i < objects.size(); ++i)
    {
        const os::AcquireResult result = objects[i]->tryAcquire();
        if (result != os::AcquireResult::NotSignalled)
        {
            satisfied = true;
            const DWORD base = result == os::AcquireResult::Abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
            return base + static_cast<DWORD>(i);
        }
    }
    satisfied = false;
    return WAIT_TIMEOUT;
}
} // namespace

extern "C" DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<os::HandleObject>> objects;
    bool anyPolled = false;
    for (DWORD i = 0; i < count; ++i)
    {
        auto object = os::handleObject(handles[i]);
        if (!object || !object->waitable())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        anyPolled = anyPolled || object->polled();
        objects.push_back(std::move(object));
    }

    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    std::unique_lock lock(os::detail::waitMutex());
    for (;;)
    {
        bool satisfied = false;
        const DWORD result = waitAll ? tryAll(objects, satisfied) : tryAny(objects, satisfied);
        if (satisfied)
            return result;
        const Clock::time_point now = Clock::now();
        if (!forever && now >= deadline)
            return WAIT_TIMEOUT;
        if (anyPolled)
        {
            const Clock::time_point wake =
                forever ? now + kPollInterval : std::min(deadline, now + kPollInterval);
            os::detail::waitCondition().wait_until(lock, wake);
        }
        else if (forever)
        {
            os::detail::waitCondition().wait(lock);
        }
        else
        {
            os::detail::waitCondition().wait_until(lock, deadline);
        }
    }
}

extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}
