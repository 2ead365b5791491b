#ifndef UASERVER_RUNTIME_TRANSACTIONSHARDS_H
#define UASERVER_RUNTIME_TRANSACTIONSHARDS_H

#include "transactiontable.h"

#include <threadslot.h>

#include <opcua.h>

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <shared_mutex>

// Requests in progress spread over a fixed number of transaction tables, each under a lock of its
// own. Every request adds and removes itself and looks itself up once per answered item: with one
// table and one lock for all, connections answered on different threads queue on that lock and
// sleep on it. A thread adds to the table it was given when it first added, so threads keep to
// their own tables and locks; the low bits of an id name its table, the bits above them are the
// table's own id with its generation, so a late or repeated answer is refused as before.
template <typename T> class TransactionShards
{
public:
    static constexpr unsigned kShardBits = 4;
    static constexpr std::size_t kShards = std::size_t{1} << kShardBits;

    explicit TransactionShards(std::size_t initialSlotsPerShard = 32)
    {
        for (Shard& shard : m_shards)
            shard.table = std::make_unique<TransactionTable<T>>(initialSlotsPerShard, 32 - kShardBits);
    }
    TransactionShards(const TransactionShards&) = delete;
    TransactionShards& operator=(const TransactionShards&) = delete;

    // The new id of a non-null object (never 0).
    OpcUa_UInt32 add(T* object)
    {
        const std::size_t index = threadSlot(kShards);
        Shard& shard = m_shards[index];
        std::unique_lock lock(shard.lock);
        return shard.table->add(object) << kShardBits | static_cast<OpcUa_UInt32>(index);
    }

    // Calls use(object) with the object under id, or with null for an id not in progress, while
    // the id's table is locked for reading: the object is not removed before use returns.
    template <typename Use> decltype(auto) withObject(OpcUa_UInt32 id, Use&& use) const
    {
        const Shard& shard = m_shards[id & (kShards - 1)];
        std::shared_lock lock(shard.lock);
        return use(shard.table->get(id >> kShardBits));
    }

    // Frees the id without deleting its object; false when the id is not in progress.
    bool remove(OpcUa_UInt32 id)
    {
        Shard& shard = m_shards[id & (kShards - 1)];
        std::unique_lock lock(shard.lock);
        return shard.table->remove(id >> kShardBits);
    }

    OpcUa_UInt32 inUse() const
    {
        OpcUa_UInt32 count = 0;
        for (const Shard& shard : m_shards)
        {
            std::shared_lock lock(shard.lock);
            count += shard.table->inUse();
        }
        return count;
    }

private:
    // On a line of its own, so that threads of different tables do not share one.
    struct alignas(64) Shard
    {
        mutable std::shared_mutex lock;
        std::unique_ptr<TransactionTable<T>> table;
    };

    std::array<Shard, kShards> m_shards;
};

#endif
