#ifndef UASERVER_HANDLETABLE_H
#define UASERVER_HANDLETABLE_H

#include <opcua.h>

#include <algorithm>
#include <vector>

// Objects under 1-based 32-bit handles; the most recently freed handle is given out first, and the
// array grows by 100 entries. Objects are deleted through their virtual destructor. No lock of its
// own: each owner guards it.
template <typename T> class HandleTable
{
public:
    HandleTable() = default;
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;
    ~HandleTable() { clear(); }

    // 0 for a null object.
    OpcUa_UInt32 add(T* object)
    {
        if (!object)
            return 0;
        OpcUa_UInt32 handle;
        if (!m_freed.empty())
        {
            handle = m_freed.back();
            m_freed.pop_back();
        }
        else
        {
            if (m_count == m_entries.size())
                m_entries.resize(m_entries.size() + g_growth, nullptr);
            handle = ++m_count;
        }
        m_entries[handle - 1] = object;
        ++m_inUse;
        return handle;
    }

    // Null for 0, a handle above the count or an empty entry.
    T* get(OpcUa_UInt32 handle) const { return isTaken(handle) ? m_entries[handle - 1] : nullptr; }

    // Deletes the object and frees its handle; false when the handle holds nothing.
    bool remove(OpcUa_UInt32 handle)
    {
        T* object = take(handle);
        delete object;
        return object != nullptr;
    }

    // Frees the handle and forgets the object without deleting it.
    bool markPosted(OpcUa_UInt32 handle) { return take(handle) != nullptr; }

    // Puts an object under a chosen handle: one right after the count is appended, a free one
    // within the table taken, one further beyond leaves the handles in between freed.
    OpcUa_StatusCode insertAt(OpcUa_UInt32 handle, T* object)
    {
        if (handle == 0 || !object)
            return OpcUa_BadInvalidArgument;
        if (m_entries.size() < handle)
            m_entries.resize(static_cast<std::size_t>(handle) + g_growth, nullptr);
        if (handle <= m_count)
        {
            if (m_entries[handle - 1])
                return OpcUa_BadInvalidArgument;
            m_freed.erase(std::remove(m_freed.begin(), m_freed.end(), handle), m_freed.end());
        }
        else
        {
            for (OpcUa_UInt32 skipped = m_count + 1; skipped < handle; ++skipped)
                m_freed.push_back(skipped);
            m_count = handle;
        }
        m_entries[handle - 1] = object;
        ++m_inUse;
        return OpcUa_Good;
    }

    // Deletes every object and forgets every handle.
    void clear()
    {
        for (T* object : m_entries)
            delete object;
        m_entries.clear();
        m_freed.clear();
        m_count = 0;
        m_inUse = 0;
    }

    // The highest handle given out so far.
    OpcUa_UInt32 count() const { return m_count; }
    OpcUa_UInt32 inUse() const { return m_inUse; }

private:
    static constexpr std::size_t g_growth = 100;

    bool isTaken(OpcUa_UInt32 handle) const
    {
        return handle != 0 && handle <= m_count && m_entries[handle - 1];
    }

    T* take(OpcUa_UInt32 handle)
    {
        if (!isTaken(handle))
            return nullptr;
        T* object = m_entries[handle - 1];
        m_entries[handle - 1] = nullptr;
        m_freed.push_back(handle);
        --m_inUse;
        return object;
    }

    std::vector<T*> m_entries;
    std::vector<OpcUa_UInt32> m_freed;
    OpcUa_UInt32 m_count = 0;
    OpcUa_UInt32 m_inUse = 0;
};

#endif
