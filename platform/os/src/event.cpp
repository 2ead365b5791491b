#include <os/handle.h>
#include <os/sync.h>
#include <os/text.h>

#include "named_object.h"
#include "typed_handle.h"

#include <atomic>

namespace
{
class EventObject : public os::HandleObject
{
public:
    bool waitable() const override { return true; }
    virtual void set() = 0;
    virtual void reset() = 0;
};

// Changes under the wait lock, so waiters of this process see them at once.
class LocalEvent : public EventObject
{
public:
    LocalEvent(bool manualReset, bool initialState) : m_manualReset(manualReset), m_signalled(initialState) {}

    os::AcquireResult tryAcquire() override
    {
        if (!m_signalled)
            return os::AcquireResult::NotSignalled;
        if (!m_manualReset)
            m_signalled = false;
        return os::AcquireResult::Acquired;
    }
    void undoAcquire() override { m_signalled = true; }
    void set() override
    {
        os::notifyWaiters([this] { m_signalled = true; });
    }
    void reset() override
    {
        os::notifyWaiters([this] { m_signalled = false; });
    }

private:
    const bool m_manualReset;
    bool m_signalled;
};

struct SharedEventState
{
    uint32_t signalled;
    uint32_t manualReset;
};

// State in a shared file; other processes' changes are seen by polling.
class SharedEvent : public EventObject
{
public:
    explicit SharedEvent(std::unique_ptr<os::detail::SharedObjectFile> file)
        : m_file(std::move(file)), m_state(static_cast<SharedEventState*>(m_file->data()))
    {
    }

    bool polled() const override { return true; }
    os::AcquireResult tryAcquire() override
    {
        std::atomic_ref<uint32_t> signalled(m_state->signalled);
        if (manualReset())
            return signalled.load() ? os::AcquireResult::Acquired : os::AcquireResult::NotSignalled;
        uint32_t expected = 1;
        return signalled.compare_exchange_strong(expected, 0) ? os::AcquireResult::Acquired
                                                              : os::AcquireResult::NotSignalled;
    }
    void undoAcquire() override
    {
        if (!manualReset())
            std::atomic_ref<uint32_t>(m_state->signalled).store(1);
    }
    void set() override
    {
        os::notifyWaiters([this] { std::atomic_ref<uint32_t>(m_state->signalled).store(1); });
    }
    void reset() override
    {
        os::notifyWaiters([this] { std::atomic_ref<uint32_t>(m_state->signalled).store(0); });
    }
    void initialise(bool manualReset, bool initialState)
    {
        std::atomic_ref<uint32_t>(m_state->manualReset).store(manualReset ? 1 : 0);
        std::atomic_ref<uint32_t>(m_state->signalled).store(initialState ? 1 : 0);
    }

private:
    bool manualReset() const { return std::atomic_ref<uint32_t>(m_state->manualReset).load() != 0; }

    std::unique_ptr<os::detail::SharedObjectFile> m_file;
    SharedEventState* m_state;
};

os::detail::NamedObjectTable<SharedEvent>& namedEvents()
{
    static auto* table = new os::detail::NamedObjectTable<SharedEvent>;
    return *table;
}

HANDLE openNamedEvent(const std::u16string& name, bool mayCreate, bool manualReset, bool initialState)
{
    return namedEvents().open(name, "event", sizeof(SharedEventState), mayCreate,
                              [&](std::unique_ptr<os::detail::SharedObjectFile> file, bool created)
                              {
                                  auto event = std::make_shared<SharedEvent>(std::move(file));
                                  if (created)
                                      event->initialise(manualReset, initialState);
                                  return event;
                              });
}

template <class Operation> BOOL withEvent(HANDLE handle, Operation operation)
{
    auto event = os::detail::typedHandle<EventObject>(handle);
    if (!event)
        return FALSE;
    operation(*event);
    return TRUE;
}
} // namespace

extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    if (name && *name)
        return openNamedEvent(name, true, manualReset != FALSE, initialState != FALSE);
    HANDLE handle =
        os::registerHandle(std::make_shared<LocalEvent>(manualReset != FALSE, initialState != FALSE));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

extern "C" HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name)
{
    return os::detail::openExistingNamed(name, [](const std::u16string& existing)
                                         { return openNamedEvent(existing, false, false, false); });
}

extern "C" BOOL SetEvent(HANDLE handle)
{
    return withEvent(handle, [](EventObject& event) { event.set(); });
}

extern "C" BOOL ResetEvent(HANDLE handle)
{
    return withEvent(handle, [](EventObject& event) { event.reset(); });
}
