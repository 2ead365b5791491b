#include "chainentry.h"

ChainEntry::~ChainEntry()
{
    // Successors whose last reference is the chain's are taken apart here one after another, so
    // that a long chain does not nest one destructor in the next.
    ChainEntry* next = m_pNext;
    m_pNext = nullptr;
    while (next)
    {
        next->prepareRemove();
        if (!next->claimLastReference())
        {
            next->releaseReference();
            return;
        }
        ChainEntry* after = next->m_pNext;
        next->m_pNext = nullptr;
        delete next;
        next = after;
    }
}
