#ifndef UABASE_UASHAREDHANDLE_H
#define UABASE_UASHAREDHANDLE_H

#include <atomic>
#include <cstdint>
#include <utility>

// The reference count of a record that is never freed (a class's process-wide empty record). Every
// default-constructed value of every thread shares that record: counting its references would make
// all threads write one cache line, so handles leave such a count alone. It stays far above 1, so a
// handle on the record always finds it shared and copies before it writes.
inline constexpr std::uint32_t kImmortalRefCount = 0x80000000u;

// Base of the implicitly shared value classes: one pointer to a record whose reference count
// changes only atomically. `Record` provides `refCount`, a static `empty()` (a process-wide record
// whose count is kImmortalRefCount, never freed) and a static `destroy(Record*)`.
template <typename Record> class UaSharedHandle
{
public:
    UaSharedHandle() : m_record(Record::empty()) { retain(m_record); }
    UaSharedHandle(const UaSharedHandle& other) : m_record(other.m_record) { retain(m_record); }
    UaSharedHandle(UaSharedHandle&& other) noexcept : UaSharedHandle()
    {
        std::swap(m_record, other.m_record);
    }
    UaSharedHandle& operator=(const UaSharedHandle& other)
    {
        retain(other.m_record);
        adopt(other.m_record);
        return *this;
    }
    UaSharedHandle& operator=(UaSharedHandle&& other) noexcept
    {
        std::swap(m_record, other.m_record);
        return *this;
    }
    ~UaSharedHandle() { release(m_record); }

    bool sharesRecordWith(const UaSharedHandle& other) const { return m_record == other.m_record; }

protected:
    static bool isImmortal(const Record* record)
    {
        return record->refCount.load(std::memory_order_relaxed) >= kImmortalRefCount;
    }
    static void retain(Record* record)
    {
        if (!isImmortal(record))
            record->refCount.fetch_add(1);
    }
    static void release(Record* record)
    {
        if (!isImmortal(record) && record->refCount.fetch_sub(1) == 1)
            Record::destroy(record);
    }
    static Record* sharedEmpty()
    {
        retain(Record::empty());
        return Record::empty();
    }
    // Takes over a record that carries one reference for this handle; null (a failed allocation)
    // leaves the handle as it was.
    void adopt(Record* record)
    {
        if (record == nullptr)
            return;
        Record* old = m_record;
        m_record = record;
        release(old);
    }

    Record* m_record;
};

#endif
