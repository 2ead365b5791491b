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

    // The key the entry is filed under; for nodes the NodeId.
    virtual UaNodeId getKey() const = 0;
    // The entry leaves its table.
    virtual void prepareRemove() {}

    ChainEntry* nextEntry() const { return m_pNext; }
    // Links a successor without changing any count: the table moves the reference it held.
    void setNextEntry(ChainEntry* next) { m_pNext = next; }

private:
    ChainEntry* m_pNext = nullptr;
};

#endif
