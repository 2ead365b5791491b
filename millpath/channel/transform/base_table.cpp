#include "base_table.h"

#include "entry.h"

namespace
{
bool IsGeo(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_GEO_3D;
}
} // namespace

CEntry* CBaseTable::GetAt(int place) const
{
    if (place < 0 || place >= m_capacity)
        return nullptr;
    return m_ring[place];
}

CEntry* CBaseTable::Last() const
{
    const int count = m_count;
    if (count == 0)
        return nullptr;
    return m_ring[(m_read + count - 1) % m_capacity];
}

CEntry* CBaseTable::LastGeo() const
{
    const int count = m_count;
    for (int i = count - 1; i >= 0; --i)
    {
        CEntry* entry = m_ring[(m_read + i) % m_capacity];
        if (IsGeo(entry))
            return entry;
    }
    return nullptr;
}

int CBaseTable::LastPlace() const
{
    const int count = m_count;
    return (m_read + (count > 0 ? count - 1 : 0)) % m_capacity;
}

int CBaseTable::LastGeoPlace() const
{
    int place = LastPlace();
    if (IsGeo(m_ring[place]))
        return place;
    return PrevGeo(place) ? place : -1;
}

CEntry* CBaseTable::PrevGeo(int& place) const
{
    return SeekGeo(place, m_capacity - 1);
}

int CBaseTable::FirstPlace() const
{
    return m_read;
}

int CBaseTable::FirstGeoPlace() const
{
    int place = m_read;
    if (IsGeo(m_ring[place]))
        return place;
    return NextGeo(place) ? place : -1;
}

CEntry* CBaseTable::NextGeo(int& place) const
{
    return SeekGeo(place, 1);
}

CEntry* CBaseTable::SeekGeo(int& place, int step) const
{
    const int count = m_count;
    if (place < 0 || place >= m_capacity || count == 0)
        return nullptr;
    for (int i = 0; i < count; ++i)
    {
        place = (place + step) % m_capacity;
        CEntry* entry = m_ring[place];
        if (!entry)
            return nullptr;
        if (IsGeo(entry))
            return entry;
    }
    return nullptr;
}
