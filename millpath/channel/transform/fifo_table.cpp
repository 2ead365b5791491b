#include "fifo_table.h"

#include "entry.h"

CFiFoTable::CFiFoTable(int capacity)
    : m_capacity(capacity < 1 ? 1 : (capacity > MaxCapacity ? MaxCapacity : capacity))
{
    for (auto& place : m_ring)
        place = nullptr;
}

int CFiFoTable::Push(CEntry* entry)
{
    if (IsFull())
        return 0;
    std::lock_guard<std::mutex> lock(m_lock);
    const int w = m_write;
    m_ring[w] = entry;
    m_write = (w + 1) % m_capacity;
    ++m_count;
    return 1;
}

int CFiFoTable::Pop(CEntry*& entry)
{
    entry = nullptr;
    if (IsEmpty())
        return 0;
    std::lock_guard<std::mutex> lock(m_lock);
    const int r = m_read;
    entry = m_ring[r].exchange(nullptr);
    m_read = (r + 1) % m_capacity;
    --m_count;
    return 1;
}

int CFiFoTable::Peek(CEntry*& entry, int i) const
{
    entry = nullptr;
    if (i < 0 || i >= m_count)
        return 0;
    entry = m_ring[(m_read + i) % m_capacity];
    return 1;
}

int CFiFoTable::PeekFirst(CEntry*& entry) const
{
    return Peek(entry, 0);
}

int CFiFoTable::TypeAt(int i) const
{
    CEntry* entry = nullptr;
    if (!Peek(entry, i) || !entry)
        return -1;
    return static_cast<int>(entry->m_type);
}

int CFiFoTable::FirstType() const
{
    return TypeAt(0);
}

bool CFiFoTable::IsEmpty() const
{
    return m_count == 0;
}

bool CFiFoTable::IsFull() const
{
    return m_count == m_capacity;
}

int CFiFoTable::Count() const
{
    return m_count;
}

int CFiFoTable::Free() const
{
    return m_capacity - m_count;
}
