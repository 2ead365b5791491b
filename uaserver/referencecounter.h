#ifndef UASERVER_REFERENCECOUNTER_H
#define UASERVER_REFERENCECOUNTER_H

#include <opcua.h>

#include <atomic>

// Shared ownership by an intrusive count: a new object starts with the count 1, held by its
// creator, and the release that brings it to 0 deletes it through the virtual destructor.
class ReferenceCounter
{
public:
    ReferenceCounter() = default;
    virtual ~ReferenceCounter() = default;
    ReferenceCounter(const ReferenceCounter&) = delete;
    ReferenceCounter& operator=(const ReferenceCounter&) = delete;

    // The count after the increment.
    OpcUa_Int32 addReference() { return m_referenceCount.fetch_add(1) + 1; }
    // The count after the decrement; at 0 the object is gone.
    OpcUa_Int32 releaseReference()
    {
        const OpcUa_Int32 count = m_referenceCount.fetch_sub(1) - 1;
        if (count == 0)
            delete this;
        return count;
    }
    OpcUa_Int32 referenceCount() const { return m_referenceCount.load(); }

protected:
    // Takes the last reference without deleting: true when the count went from 1 to 0, so that the
    // caller may dismantle the object before it deletes it.
    bool claimLastReference()
    {
        OpcUa_Int32 one = 1;
        return m_referenceCount.compare_exchange_strong(one, 0);
    }

private:
    std::atomic<OpcUa_Int32> m_referenceCount{1};
};

// Keeps one counted pointer. A new object is referenced before the old one is released, so that
// assigning the object already held never frees it.
template <typename T> class ReferenceHolder
{
public:
    ReferenceHolder() = default;
    explicit ReferenceHolder(T* object) { assign(object); }
    ReferenceHolder(const ReferenceHolder& other) { assign(other.m_object); }
    ReferenceHolder(ReferenceHolder&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ReferenceHolder& operator=(const ReferenceHolder& other)
    {
        assign(other.m_object);
        return *this;
    }
    ReferenceHolder& operator=(ReferenceHolder&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            m_object = other.m_object;
            other.m_object = nullptr;
        }
        return *this;
    }
    ReferenceHolder& operator=(T* object)
    {
        assign(object);
        return *this;
    }
    ~ReferenceHolder() { reset(); }

    // Takes over a reference the caller already holds.
    static ReferenceHolder adopt(T* object)
    {
        ReferenceHolder holder;
        holder.m_object = object;
        return holder;
    }

    void assign(T* object)
    {
        if (object)
            object->addReference();
        T* old = m_object;
        m_object = object;
        if (old)
            old->releaseReference();
    }
    void reset() { assign(nullptr); }
    // Hands the reference to the caller.
    T* detach()
    {
        T* object = m_object;
        m_object = nullptr;
        return object;
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

#endif
