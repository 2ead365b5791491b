#ifndef UASERVER_RUNTIME_TRANSACTIONTABLE_H
#define UASERVER_RUNTIME_TRANSACTIONTABLE_H

#include <opcua.h>

#include <cstddef>
#include <vector>

// Requests in progress under 32-bit transaction ids that carry a generation: the low bits of an
// id name its slot, the bits above them count how often that slot was given out. A slot freed is
// given out again last (the oldest freed first), with an id of the next generation, so an answer
// for a transaction that has finished (late, or a repeat) names no request, even once its slot
// holds a newer one; an id comes back only after the counter of its slot wraps. Ids may be kept
// below 32 bits (idBits), so that an owner can put bits of its own above them.
//
// No lock of its own: the owner guards it.
template <typename T> class TransactionTable
{
public:
    explicit TransactionTable(std::size_t initialSlots = 256, unsigned idBits = 32)
        : m_idMask(idBits >= 32 ? 0xFFFFFFFFu : (1u << idBits) - 1u)
    {
        grow(roundUp(initialSlots));
    }
    TransactionTable(const TransactionTable&) = delete;
    TransactionTable& operator=(const TransactionTable&) = delete;

    // The new id of a non-null object (never 0).
    OpcUa_UInt32 add(T* object)
    {
        if (m_freeCount == 0)
            grow(m_slots.size() * 2);
        const std::size_t index = m_free[m_freeHead];
        m_freeHead = (m_freeHead + 1) & mask();
        --m_freeCount;
        Slot& slot = m_slots[index];
        slot.id = slot.nextId;
        slot.nextId = following(slot.nextId);
        slot.object = object;
        ++m_inUse;
        return slot.id;
    }

    // The object under id; null for an id that is not in progress.
    T* get(OpcUa_UInt32 id) const
    {
        const Slot& slot = m_slots[id & mask()];
        return slot.object != nullptr && slot.id == id ? slot.object : nullptr;
    }

    // Frees the id's slot without deleting its object; false when the id is not in progress.
    bool remove(OpcUa_UInt32 id)
    {
        const std::size_t index = id & mask();
        Slot& slot = m_slots[index];
        if (slot.object == nullptr || slot.id != id)
            return false;
        slot.object = nullptr;
        m_free[(m_freeHead + m_freeCount) & mask()] = index;
        ++m_freeCount;
        --m_inUse;
        return true;
    }

    OpcUa_UInt32 inUse() const { return m_inUse; }

private:
    struct Slot
    {
        OpcUa_UInt32 id = 0;     // the id given out last
        OpcUa_UInt32 nextId = 0; // the next one; its low bits are the slot's index
        T* object = nullptr;
    };

    static std::size_t roundUp(std::size_t n)
    {
        std::size_t size = 1;
        while (size < n)
            size *= 2;
        return size;
    }
    OpcUa_UInt32 mask() const { return static_cast<OpcUa_UInt32>(m_slots.size() - 1); }
    // The next id of a slot: one generation on, skipping 0.
    OpcUa_UInt32 following(OpcUa_UInt32 id) const
    {
        const auto step = static_cast<OpcUa_UInt32>(m_slots.size());
        const OpcUa_UInt32 next = (id + step) & m_idMask;
        return next == 0 ? next + step : next;
    }

    // Doubles the slots. An id in progress keeps its meaning: its low bits, one more of them now,
    // name the slot it moves to. Each old slot's next id goes to the new slot its bits name, and
    // the other new slot starts one old step further on, an id neither had given out.
    void grow(std::size_t size)
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.resize(size);
        const auto newMask = static_cast<OpcUa_UInt32>(size - 1);
        if (old.empty())
        {
            for (std::size_t i = 0; i < size; ++i)
                m_slots[i].nextId = i == 0 ? static_cast<OpcUa_UInt32>(size) : static_cast<OpcUa_UInt32>(i);
        }
        for (std::size_t i = 0; i < old.size(); ++i)
        {
            const OpcUa_UInt32 next = old[i].nextId;
            const OpcUa_UInt32 further = (next + static_cast<OpcUa_UInt32>(old.size())) & m_idMask;
            m_slots[next & newMask].nextId = next;
            m_slots[further & newMask].nextId =
                further == 0 ? further + static_cast<OpcUa_UInt32>(size) : further;
            if (old[i].object != nullptr)
            {
                Slot& moved = m_slots[old[i].id & newMask];
                moved.id = old[i].id;
                moved.object = old[i].object;
            }
        }
        m_free.assign(size, 0);
        m_freeHead = 0;
        m_freeCount = 0;
        for (std::size_t i = 0; i < size; ++i)
        {
            if (m_slots[i].object == nullptr)
                m_free[m_freeCount++] = i;
        }
    }

    const OpcUa_UInt32 m_idMask;
    std::vector<Slot> m_slots;
    // The free slots as a ring, the oldest freed first.
    std::vector<std::size_t> m_free;
    std::size_t m_freeHead = 0;
    std::size_t m_freeCount = 0;
    OpcUa_UInt32 m_inUse = 0;
};

#endif
