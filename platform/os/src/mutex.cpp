#include <os/deviceroot.h>
#include <os/handle.h>
#include <os/sync.h>

#include "named_object.h"
#include "typed_handle.h"
#include "wait_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace
{
// Ownership within this process: the owning thread and its recursion count,
// changed only under the wait lock.
class MutexObject : public os::HandleObject
{
public:
    bool waitable() const override { return true; }

    os::AcquireResult tryAcquire() override
    {
        const DWORD self = GetCurrentThreadId();
        if (m_owner == self)
        {
            ++m_count;
            return os::AcquireResult::Acquired;
        }
        if (m_owner != 0)
            return os::AcquireResult::NotSignalled;
        const os::AcquireResult result = takeProcessWide();
        if (result != os::AcquireResult::NotSignalled)
        {
            m_owner = self;
            m_count = 1;
        }
        return result;
    }
    void undoAcquire() override { releaseOnce(); }

    // Under the wait lock; false when the calling thread does not own the mutex.
    bool release()
    {
        if (m_owner != GetCurrentThreadId())
            return false;
        releaseOnce();
        return true;
    }

protected:
    virtual os::AcquireResult takeProcessWide() { return os::AcquireResult::Acquired; }
    virtual void releaseProcessWide() {}

private:
    void releaseOnce()
    {
        if (--m_count == 0)
        {
            m_owner = 0;
            releaseProcessWide();
        }
    }

    DWORD m_owner = 0;
    unsigned m_count = 0;
};

// Across processes the owner holds an exclusive file lock, which the system drops
// when the process ends; a held-marker left behind tells the next owner that the
// previous one ended without releasing (abandoned).
class SharedMutex : public MutexObject
{
public:
    SharedMutex(std::unique_ptr<os::detail::SharedObjectFile> file, int ownerFd)
        : m_file(std::move(file)), m_ownerFd(ownerFd), m_held(static_cast<uint32_t*>(m_file->data()))
    {
    }
    ~SharedMutex() override { ::close(m_ownerFd); }

    bool polled() const override { return true; }

protected:
    os::AcquireResult takeProcessWide() override
    {
        if (flock(m_ownerFd, LOCK_EX | LOCK_NB) != 0)
            return os::AcquireResult::NotSignalled;
        std::atomic_ref<uint32_t> held(*m_held);
        const bool abandoned = held.exchange(1) != 0;
        return abandoned ? os::AcquireResult::Abandoned : os::AcquireResult::Acquired;
    }
    void releaseProcessWide() override
    {
        std::atomic_ref<uint32_t>(*m_held).store(0);
        flock(m_ownerFd, LOCK_UN);
    }

private:
    std::unique_ptr<os::detail::SharedObjectFile> m_file;
    int m_ownerFd;
    uint32_t* m_held;
};

os::detail::NamedObjectTable<SharedMutex>& namedMutexes()
{
    static auto* table = new os::detail::NamedObjectTable<SharedMutex>;
    return *table;
}

HANDLE openNamedMutex(const std::u16string& name, bool mayCreate)
{
    return namedMutexes().open(
        name, "mutex", sizeof(uint32_t), mayCreate,
        [](std::unique_ptr<os::detail::SharedObjectFile> file, bool) -> std::shared_ptr<SharedMutex>
        {
            const int ownerFd = os::openDeviceFile(file->path() + ".owner", O_RDWR | O_CREAT);
            if (ownerFd < 0)
            {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            return std::make_shared<SharedMutex>(std::move(file), ownerFd);
        });
}
} // namespace

extern "C" HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    HANDLE handle = nullptr;
    DWORD error = ERROR_SUCCESS;
    if (name && *name)
    {
        handle = openNamedMutex(name, true);
        error = GetLastError();
    }
    else
    {
        handle = os::registerHandle(std::make_shared<MutexObject>());
    }
    if (!handle)
        return nullptr;
    if (initialOwner && error != ERROR_ALREADY_EXISTS)
        WaitForSingleObject(handle, INFINITE);
    SetLastError(error);
    return handle;
}

extern "C" HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR name)
{
    return os::detail::openExistingNamed(name, [](const std::u16string& existing)
                                         { return openNamedMutex(existing, false); });
}

extern "C" BOOL ReleaseMutex(HANDLE handle)
{
    auto mutex = os::detail::typedHandle<MutexObject>(handle);
    if (!mutex)
        return FALSE;
    bool released = false;
    os::notifyWaiters([&] { released = mutex->release(); });
    if (!released)
    {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
