#ifndef UASERVER_UASEMAPHORE_H
#define UASERVER_UASEMAPHORE_H

#include <opcua.h>

// Counting semaphore over the stack's semaphore. A maximum of 0 is taken as 1 and the initial
// count is limited to the maximum, so construction always yields a usable semaphore.
class UaSemaphore
{
public:
    UaSemaphore(OpcUa_UInt32 initialCount, OpcUa_UInt32 maximumCount);
    ~UaSemaphore();
    UaSemaphore(const UaSemaphore&) = delete;
    UaSemaphore& operator=(const UaSemaphore&) = delete;

    OpcUa_StatusCode wait();
    // GoodNonCriticalTimeout when no count came within milliseconds.
    OpcUa_StatusCode timedWait(OpcUa_UInt32 milliseconds);
    // BadTooManyPosts (nothing added) when the count would pass the maximum.
    OpcUa_StatusCode post(OpcUa_UInt32 count);

private:
    OpcUa_Semaphore m_handle = nullptr;
};

#endif
