#include "label_table.h"

#include <cstring>
#include <new>

CLabelTable::CLabelTable(unsigned capacity)
{
    if (capacity == 0)
        return;
    m_entries.reset(new (std::nothrow) Entry[capacity]());
    if (m_entries)
        m_capacity = capacity;
}

void CLabelTable::cutName(const char* name, char (&out)[NameLimit + 1])
{
    std::memset(out, 0, sizeof(out));
    if (name)
        std::strncpy(out, name, NameLimit);
}

// Any entry of that name is reused, so that declaring and then defining a
// label does not take two places.
CLabelTable::Entry* CLabelTable::lookupOrAppend(const char* name)
{
    char key[NameLimit + 1];
    cutName(name, key);
    for (unsigned i = 0; i < m_count; ++i)
        if (std::strcmp(m_entries[i].name, key) == 0)
            return &m_entries[i];
    if (m_count >= m_capacity)
        return nullptr;
    Entry& entry = m_entries[m_count++];
    entry = Entry{};
    std::memcpy(entry.name, key, sizeof(key));
    return &entry;
}

bool CLabelTable::reference(const char* name)
{
    Entry* entry = lookupOrAppend(name);
    if (!entry)
        return false;
    entry->referenced = 1;
    return true;
}

bool CLabelTable::declare(const char* name)
{
    Entry* entry = lookupOrAppend(name);
    if (!entry)
        return false;
    entry->declared = 1;
    return true;
}

bool CLabelTable::define(const char* name, std::int32_t value)
{
    Entry* entry = lookupOrAppend(name);
    if (!entry)
        return false;
    entry->defined = 1;
    entry->declared = 1;
    entry->value = value;
    return true;
}

bool CLabelTable::find(const char* name, std::int32_t& value) const
{
    char key[NameLimit + 1];
    cutName(name, key);
    for (unsigned i = 0; i < m_count; ++i)
    {
        const Entry& entry = m_entries[i];
        if (entry.defined && std::strcmp(entry.name, key) == 0)
        {
            value = entry.value;
            return true;
        }
    }
    return false;
}

std::string CLabelTable::firstUnresolved(int kind) const
{
    for (unsigned i = 0; i < m_count; ++i)
    {
        const Entry& e = m_entries[i];
        bool hit = false;
        switch (kind)
        {
        case 0:
            hit = e.referenced && !e.defined;
            break;
        case 1:
            hit = e.referenced && !e.declared;
            break;
        case 2:
            hit = e.defined && !e.referenced;
            break;
        default:
            return {};
        }
        if (hit)
            return e.name;
    }
    return {};
}
