#ifndef UASERVER_RUNTIME_CONTINUATIONPOINTTABLE_H
#define UASERVER_RUNTIME_CONTINUATIONPOINTTABLE_H

#include <uastatus.h>

#include <opcua.h>

#include <cstring>
#include <list>
#include <vector>

// The continuation points a session parks for one service (Browse, Query or HistoryRead). The
// table owns every parked context until it is taken back or evicted; a full table gives up the
// context parked longest. A continuation point is 4 bytes in host order: the 16-bit slot index,
// then the check value the table wrote into the context, so that a point of an evicted or reused
// slot no longer matches. Context has a virtual destructor and checkValue() / setCheckValue(Check);
// Check is 8 bits wide for browse and query contexts, 16 bits for history ones.
//
// No lock of its own: the session's mutex guards it.
template <class Context, class Check> class ContinuationPointTable
{
public:
    explicit ContinuationPointTable(OpcUa_UInt16 capacity) : m_slots(capacity, nullptr) {}
    ~ContinuationPointTable()
    {
        for (Context* context : m_slots)
            delete context;
    }
    ContinuationPointTable(const ContinuationPointTable&) = delete;
    ContinuationPointTable& operator=(const ContinuationPointTable&) = delete;

    // The table's size from a configured value: below 1 gives fallback, 65535 or more 65534.
    static OpcUa_UInt16 sizeFor(OpcUa_Int64 configured, OpcUa_UInt16 fallback)
    {
        if (configured < 1)
            return fallback;
        return configured >= 65535 ? 65534 : static_cast<OpcUa_UInt16>(configured);
    }

    OpcUa_UInt16 capacity() const { return static_cast<OpcUa_UInt16>(m_slots.size()); }

    // Parks context (the table owns it from now on) and writes its new point into continuationPoint.
    UaStatus queue(Context* context, OpcUa_ByteString& continuationPoint)
    {
        OpcUa_ByteString_Clear(&continuationPoint);
        if (context == nullptr || m_slots.empty())
        {
            delete context;
            return OpcUa_BadInvalidArgument;
        }
        auto* bytes = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(4));
        if (bytes == nullptr)
        {
            delete context;
            return OpcUa_BadOutOfMemory;
        }
        OpcUa_UInt16 slot = 0;
        while (slot < m_slots.size() && m_slots[slot] != nullptr)
            ++slot;
        if (slot == m_slots.size())
        {
            slot = m_order.front();
            m_order.pop_front();
            delete m_slots[slot];
        }
        m_slots[slot] = context;
        // 0 is never handed out, so that a zeroed point never matches.
        if (++m_counter == 0)
            m_counter = 1;
        context->setCheckValue(m_counter);
        const OpcUa_UInt16 check = m_counter;
        std::memcpy(bytes, &slot, 2);
        std::memcpy(bytes + 2, &check, 2);
        continuationPoint.Length = 4;
        continuationPoint.Data = bytes;
        m_order.push_back(slot);
        return OpcUa_Good;
    }

    // The context of a point, handed to the caller and the point used up; null for a point that
    // is not 4 bytes, names no parked context or carries another check value.
    Context* take(const OpcUa_ByteString& continuationPoint)
    {
        if (continuationPoint.Length != 4 || continuationPoint.Data == nullptr)
            return nullptr;
        OpcUa_UInt16 slot;
        OpcUa_UInt16 check;
        std::memcpy(&slot, continuationPoint.Data, 2);
        std::memcpy(&check, continuationPoint.Data + 2, 2);
        if (slot >= m_slots.size() || m_slots[slot] == nullptr ||
            static_cast<OpcUa_UInt16>(m_slots[slot]->checkValue()) != check)
            return nullptr;
        Context* context = m_slots[slot];
        m_slots[slot] = nullptr;
        m_order.remove(slot);
        return context;
    }

    // Contexts parked now.
    OpcUa_UInt32 count() const { return static_cast<OpcUa_UInt32>(m_order.size()); }

private:
    std::vector<Context*> m_slots;
    std::list<OpcUa_UInt16> m_order; // slots in use, oldest first
    Check m_counter = 0;
};

#endif
