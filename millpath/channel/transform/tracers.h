// Tracers of the zero shifts and rotations in force per block: while active,
// each trace appends a record with the block's value, and the group asks
// for the record that held for a block it prepares. The records belong to
// the tracer; a returned record stays valid until the next RecordAt.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>

#include "vec3d.h"

// What a zero-shift trace reads of its source (the interpreter).
class CZeroShiftSource
{
public:
    virtual ~CZeroShiftSource() = default;
    // The active zero shift number; below 1 none is active.
    virtual int ActiveZeroShift() const = 0;
    // Component 0 or 1 of zero shift n.
    virtual CVec3d ZeroShiftComponent(int n, int component) const = 0;
    // The two further vectors of the record (0 and 1).
    virtual CVec3d FurtherVector(int index) const = 0;
};

class CRotationSource
{
public:
    virtual ~CRotationSource() = default;
    virtual CVec3d RotationVector() const = 0;
};

struct ZeroShiftRecord
{
    std::uint32_t value = 0;
    CVec3d shift; // the sum of the two components of the active zero shift
    CVec3d further[2];
};

struct RotationRecord
{
    std::uint32_t value = 0;
    CVec3d rotation;
};

template <class Record> class CTracer
{
public:
    void SetActive(bool on)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_active = on;
    }

    // The last record whose value is not above the given one; null when the
    // list is empty or its first record is above it. The records before it
    // are dropped, but the one just before it stays while a later record
    // follows it.
    const Record* RecordAt(std::uint32_t value)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_records.empty() || m_records.front().value > value)
            return nullptr;
        auto found = m_records.begin();
        for (auto it = m_records.begin(); it != m_records.end() && it->value <= value; ++it)
            found = it;
        auto keepFrom = found;
        if (std::next(found) != m_records.end() && found != m_records.begin())
            --keepFrom;
        m_records.erase(m_records.begin(), keepFrom);
        return &*found;
    }

    std::size_t Size() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_records.size();
    }

protected:
    // 1 and nothing recorded while inactive; else the current record is
    // filled and a copy appended.
    template <class Fill> int Append(std::uint32_t value, Fill fill)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_active)
            return 1;
        m_current = Record{};
        m_current.value = value;
        fill(m_current);
        m_records.push_back(m_current);
        return 0;
    }

private:
    mutable std::mutex m_lock;
    bool m_active = false;
    Record m_current;
    std::list<Record> m_records;
};

class CZeroShiftTracer : public CTracer<ZeroShiftRecord>
{
public:
    int Trace(std::uint32_t value, const CZeroShiftSource& source);
};

class CRotationTracer : public CTracer<RotationRecord>
{
public:
    int Trace(std::uint32_t value, const CRotationSource& source);
};
