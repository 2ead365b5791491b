#ifndef UASERVER_HASHTABLE_H
#define UASERVER_HASHTABLE_H

#include "chainentry.h"

#include <uanodeid.h>

// The nodes of one namespace by NodeId: a fixed number of buckets whose chains run through the
// entries themselves, so adding allocates nothing. The table never grows; it has no lock of its
// own and runs under its owner's.
//
// The buckets hold one reference to each head and every entry one to its successor; the table adds
// none of its own: add takes over the caller's reference, remove hands it back.
class HashTable
{
public:
    using HashFunction = OpcUa_UInt32 (*)(const HashTable* table, const OpcUa_Byte* key, OpcUa_UInt32 length);

    explicit HashTable(OpcUa_UInt32 bucketCount);
    // Frees the buckets only: the owner clears the table first.
    ~HashTable();
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;

    // False when the buckets could not be allocated; such a table must not be used.
    bool isValid() const { return m_buckets != nullptr; }
    OpcUa_UInt32 bucketCount() const { return m_bucketCount; }

    // The bucket of key bytes: a 4-bit rotation folded with each 32-bit word, then the tail.
    static OpcUa_UInt32 hash(const HashTable* table, const OpcUa_Byte* key, OpcUa_UInt32 length);
    OpcUa_UInt32 bucketOf(const OpcUa_NodeId& nodeId) const;
    OpcUa_UInt32 bucketOf(const UaNodeId& nodeId) const { return bucketOf(*nodeId.toOpcUaNodeId()); }

    // Files the entry under the NodeId at the front of its bucket's chain; no look for duplicates.
    void add(const UaNodeId& nodeId, ChainEntry* entry);
    // The entry filed under exactly this NodeId, no reference added; null when none. The keys are
    // compared where they lie: a lookup copies, counts and allocates nothing.
    ChainEntry* lookup(const OpcUa_NodeId& nodeId) const;
    ChainEntry* lookup(const UaNodeId& nodeId) const { return lookup(*nodeId.toOpcUaNodeId()); }
    // Unlinks the entry and hands the table's reference to the caller; null when none.
    ChainEntry* remove(const UaNodeId& nodeId);
    // Empties every bucket; with release each head gets prepareRemove and loses the bucket's
    // reference (taking the rest of its chain with it).
    void clear(bool release);
    void freeBuckets();

    ChainEntry* bucketHead(OpcUa_UInt32 bucket) const { return m_buckets ? m_buckets[bucket] : nullptr; }

private:
    ChainEntry* find(const OpcUa_NodeId& nodeId, OpcUa_UInt32 bucket, ChainEntry** predecessor) const;

    OpcUa_UInt32 m_bucketCount;
    ChainEntry** m_buckets;
    HashFunction m_hashFunction;
};

// The bytes that identify a NodeId within its namespace: the identifier alone, as it lies in memory.
struct NodeIdKey
{
    explicit NodeIdKey(const OpcUa_NodeId& nodeId);
    bool operator==(const NodeIdKey& other) const;

    const OpcUa_Byte* bytes;
    OpcUa_UInt32 length;
};

#endif
