// The process-wide pool of mutexes that the device-profile nodes share: many nodes, few
// mutexes. Filled by the first configuration load after a stop, emptied by the stop.
#pragma once

#include <uamutex.h>

#include <windows.h>

class SharedMutexPool
{
public:
    SharedMutexPool() = delete;

    // Creates count mutexes and puts the cursor at the first; E_FAIL, and nothing changes,
    // when the pool is not empty.
    static HRESULT init(OpcUa_UInt32 count);
    // The mutex at the cursor, which moves on and wraps after the last; null when empty.
    // The pool keeps its reference: a holder beyond clear() takes its own.
    static UaSharedMutex* getNext();
    // Releases every mutex and empties the pool.
    static void clear();
    static OpcUa_UInt32 size();
};
