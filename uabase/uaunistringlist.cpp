#include "uaunistringlist.h"

#include <cstring>
#include <new>
#include <utility>

namespace
{
constexpr int kDefaultGrowStep = 10;
}

UaUniStringList::UaUniStringList(int capacity)
{
    if (capacity > 0)
        ensureRoom(capacity);
}

UaUniStringList::UaUniStringList(const UaUniStringList& other)
{
    copyFrom(other);
}

UaUniStringList& UaUniStringList::operator=(const UaUniStringList& other)
{
    if (this != &other)
    {
        clear();
        copyFrom(other);
    }
    return *this;
}

UaUniStringList::~UaUniStringList()
{
    clear();
}

OpcUa_StatusCode UaUniStringList::copyFrom(const UaUniStringList& other)
{
    if (!ensureRoom(other.m_capacity > other.m_count ? other.m_capacity : other.m_count))
        return OpcUa_BadOutOfMemory;
    for (int i = 0; i < other.m_count; ++i)
        m_items[i] = new UaUniString(*other.m_items[i]);
    m_count = other.m_count;
    m_growStep = other.m_growStep;
    return OpcUa_Good;
}

bool UaUniStringList::ensureRoom(int needed)
{
    if (needed <= m_capacity)
        return true;
    void* block = OpcUa_Memory_ReAlloc(m_items, static_cast<OpcUa_UInt32>(needed * sizeof(UaUniString*)));
    if (block == nullptr)
        return false;
    m_items = static_cast<UaUniString**>(block);
    m_capacity = needed;
    return true;
}

OpcUa_StatusCode UaUniStringList::append(const UaUniString& s)
{
    return insert(m_count, s);
}

OpcUa_StatusCode UaUniStringList::prepend(const UaUniString& s)
{
    return insert(0, s);
}

OpcUa_StatusCode UaUniStringList::insert(int i, const UaUniString& s)
{
    if (i < 0 || i > m_count)
        return OpcUa_BadInvalidArgument;
    if (m_count == m_capacity && !ensureRoom(m_capacity + m_growStep))
        return OpcUa_BadOutOfMemory;
    std::memmove(m_items + i + 1, m_items + i, static_cast<std::size_t>(m_count - i) * sizeof(UaUniString*));
    m_items[i] = new UaUniString(s);
    ++m_count;
    return OpcUa_Good;
}

OpcUa_StatusCode UaUniStringList::resize(int n)
{
    if (n < 0)
        return OpcUa_BadInvalidArgument;
    if (n < m_count)
    {
        for (int i = n; i < m_count; ++i)
            delete m_items[i];
        m_count = n;
        return OpcUa_Good;
    }
    if (!ensureRoom(n))
        return OpcUa_BadOutOfMemory;
    for (int i = m_count; i < n; ++i)
        m_items[i] = new UaUniString();
    m_count = n;
    return OpcUa_Good;
}

void UaUniStringList::clear()
{
    for (int i = 0; i < m_count; ++i)
        delete m_items[i];
    OpcUa_Memory_Free(m_items);
    m_items = nullptr;
    m_count = 0;
    m_capacity = 0;
    m_growStep = kDefaultGrowStep;
}

void UaUniStringList::sort(bool ascending, bool caseSensitive)
{
    if (m_count < 2)
        return;
    int gap = m_count;
    bool swapped = true;
    while (gap > 1 || swapped)
    {
        gap = gap * 10 / 13;
        if (gap == 9 || gap == 10)
            gap = 11;
        if (gap < 1)
            gap = 1;
        swapped = false;
        for (int i = 0; i + gap < m_count; ++i)
        {
            const UaUniString& a = *m_items[i];
            const UaUniString& b = *m_items[i + gap];
            bool outOfOrder = ascending ? a.greaterThan(b, caseSensitive) : a.lessThan(b, caseSensitive);
            if (outOfOrder)
            {
                std::swap(m_items[i], m_items[i + gap]);
                swapped = true;
            }
        }
    }
}
