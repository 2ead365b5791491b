#include "hashtable.h"

#include <nodeidcompare.h>

#include <cstring>
#include <new>

NodeIdKey::NodeIdKey(const OpcUa_NodeId& nodeId) : bytes(nullptr), length(0)
{
    switch (nodeId.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
        bytes = reinterpret_cast<const OpcUa_Byte*>(&nodeId.Identifier.Numeric);
        length = sizeof nodeId.Identifier.Numeric;
        break;
    case OpcUa_IdentifierType_String:
        bytes = reinterpret_cast<const OpcUa_Byte*>(OpcUa_String_GetRawString(&nodeId.Identifier.String));
        length = bytes ? OpcUa_String_StrSize(&nodeId.Identifier.String) : 0;
        break;
    case OpcUa_IdentifierType_Guid:
        if (nodeId.Identifier.Guid)
        {
            bytes = reinterpret_cast<const OpcUa_Byte*>(nodeId.Identifier.Guid);
            length = sizeof(OpcUa_Guid);
        }
        break;
    case OpcUa_IdentifierType_Opaque:
        if (nodeId.Identifier.ByteString.Length > 0 && nodeId.Identifier.ByteString.Data)
        {
            bytes = nodeId.Identifier.ByteString.Data;
            length = static_cast<OpcUa_UInt32>(nodeId.Identifier.ByteString.Length);
        }
        break;
    default:
        break;
    }
}

bool NodeIdKey::operator==(const NodeIdKey& other) const
{
    if (length != other.length)
        return false;
    OpcUa_UInt32 i = 0;
    for (; i + 4 <= length; i += 4)
    {
        OpcUa_UInt32 a;
        OpcUa_UInt32 b;
        std::memcpy(&a, bytes + i, 4);
        std::memcpy(&b, other.bytes + i, 4);
        if (a != b)
            return false;
    }
    for (; i < length; ++i)
        if (bytes[i] != other.bytes[i])
            return false;
    return true;
}

HashTable::HashTable(OpcUa_UInt32 bucketCount)
    : m_bucketCount(bucketCount), m_buckets(nullptr), m_hashFunction(&HashTable::hash)
{
    if (bucketCount > 0)
        m_buckets = new (std::nothrow) ChainEntry*[bucketCount]();
}

HashTable::~HashTable()
{
    freeBuckets();
}

OpcUa_UInt32 HashTable::hash(const HashTable* table, const OpcUa_Byte* key, OpcUa_UInt32 length)
{
    OpcUa_UInt32 h = length / 4;
    OpcUa_UInt32 i = 0;
    for (; i + 4 <= length; i += 4)
    {
        const OpcUa_UInt32 word =
            static_cast<OpcUa_UInt32>(key[i]) | static_cast<OpcUa_UInt32>(key[i + 1]) << 8 |
            static_cast<OpcUa_UInt32>(key[i + 2]) << 16 | static_cast<OpcUa_UInt32>(key[i + 3]) << 24;
        h = (h << 4 ^ h >> 28) ^ word;
    }
    if (i < length)
    {
        OpcUa_UInt32 tail = 0;
        for (; i < length; ++i)
            tail = tail << 8 | key[i];
        h = (h << 4 ^ h >> 28) ^ tail;
    }
    return h % table->m_bucketCount;
}

OpcUa_UInt32 HashTable::bucketOf(const OpcUa_NodeId& nodeId) const
{
    const NodeIdKey key(nodeId);
    return m_hashFunction(this, key.bytes, key.length);
}

ChainEntry* HashTable::find(const OpcUa_NodeId& nodeId, OpcUa_UInt32 bucket, ChainEntry** predecessor) const
{
    const NodeIdKey key(nodeId);
    ChainEntry* previous = nullptr;
    for (ChainEntry* entry = m_buckets[bucket]; entry; entry = entry->nextEntry())
    {
        const OpcUa_NodeId& entryKey = *entry->key().toOpcUaNodeId();
        if (NodeIdKey(entryKey) == key && NodeIdCompare::equal(entryKey, nodeId))
        {
            if (predecessor)
                *predecessor = previous;
            return entry;
        }
        previous = entry;
    }
    return nullptr;
}

void HashTable::add(const UaNodeId& nodeId, ChainEntry* entry)
{
    if (!m_buckets || !entry)
        return;
    ChainEntry*& head = m_buckets[bucketOf(nodeId)];
    if (head == entry)
        return;
    entry->setKey(nodeId);
    entry->setNextEntry(head);
    head = entry;
}

ChainEntry* HashTable::lookup(const OpcUa_NodeId& nodeId) const
{
    if (!m_buckets)
        return nullptr;
    return find(nodeId, bucketOf(nodeId), nullptr);
}

ChainEntry* HashTable::remove(const UaNodeId& nodeId)
{
    if (!m_buckets)
        return nullptr;
    const OpcUa_UInt32 bucket = bucketOf(nodeId);
    ChainEntry* predecessor = nullptr;
    ChainEntry* entry = find(*nodeId.toOpcUaNodeId(), bucket, &predecessor);
    if (!entry)
        return nullptr;
    if (predecessor)
        predecessor->setNextEntry(entry->nextEntry());
    else
        m_buckets[bucket] = entry->nextEntry();
    entry->setNextEntry(nullptr);
    entry->setKey(UaNodeId());
    return entry;
}

void HashTable::clear(bool release)
{
    if (!m_buckets)
        return;
    for (OpcUa_UInt32 bucket = 0; bucket < m_bucketCount; ++bucket)
    {
        ChainEntry* head = m_buckets[bucket];
        m_buckets[bucket] = nullptr;
        if (release && head)
        {
            head->prepareRemove();
            head->releaseReference();
        }
    }
}

void HashTable::freeBuckets()
{
    delete[] m_buckets;
    m_buckets = nullptr;
}
