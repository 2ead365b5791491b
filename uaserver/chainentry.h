#ifndef UASERVER_CHAINENTRY_H
#define UASERVER_CHAINENTRY_H

#include "referencecounter.h"

#include <uanodeid.h>

// An entry of a singly linked bucket chain of the node hash table. It holds one reference to its
// successor, so a chain goes with its head.
class ChainEntry : public ReferenceCounter
{
public:
    ChainEntry() = default;
    // Hands each successor prepareRemove before releasing it.
    ~ChainEntry() override;

    // The key the table filed the entry under (for nodes their NodeId); null while in no table.
    // Lookups compare it in place.
    const UaNodeId& key() const { return m_key; }
    void setKey(const UaNodeId& key) { m_key = key; }
    // The entry leaves its table.
    virtual void prepareRemove() {}

    ChainEntry* nextEntry() const { return m_pNext; }
    // Links a successor without changing any count: the table moves the reference it held.
    void setNextEntry(ChainEntry* next) { m_pNext = next; }

private:
    ChainEntry* m_pNext = nullptr;
    UaNodeId m_key;
};

#endif
