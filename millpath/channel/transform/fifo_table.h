// Entry tables: rings of entry pointers between the stages of path
// preparation. A table never owns its entries: whoever pops one owns it.
// One producer and one consumer use a table; Push and Pop change it under the
// table's lock, every other operation reads without it and is a hint.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class CEntry;

class CFiFoTable
{
public:
    static constexpr int MaxCapacity = 50;

    explicit CFiFoTable(int capacity);
    virtual ~CFiFoTable() = default;
    CFiFoTable(const CFiFoTable&) = delete;
    CFiFoTable& operator=(const CFiFoTable&) = delete;

    virtual int Push(CEntry* entry);
    virtual int Pop(CEntry*& entry);
    virtual int Peek(CEntry*& entry, int i) const;
    virtual int PeekFirst(CEntry*& entry) const;
    virtual int TypeAt(int i) const;
    virtual int FirstType() const;
    virtual bool IsEmpty() const;
    virtual bool IsFull() const;
    virtual int Count() const;
    virtual int Free() const;

protected:
    std::atomic<int> m_write{0};
    std::atomic<int> m_read{0};
    std::atomic<int> m_count{0};
    const int m_capacity;
    std::atomic<CEntry*> m_ring[MaxCapacity];
    std::mutex m_lock;
};

// The ring between a group's transformer and its feeder.
class CCookedTable : public CFiFoTable
{
public:
    CCookedTable() : CFiFoTable(MaxCapacity) {}
};
