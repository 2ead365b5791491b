#include "uasemaphore.h"

#include <algorithm>

UaSemaphore::UaSemaphore(OpcUa_UInt32 initialCount, OpcUa_UInt32 maximumCount)
{
    const OpcUa_UInt32 maximum = std::max<OpcUa_UInt32>(maximumCount, 1);
    OpcUa_Semaphore_Create(&m_handle, std::min(initialCount, maximum), maximum);
}

UaSemaphore::~UaSemaphore()
{
    OpcUa_Semaphore_Delete(&m_handle);
}

OpcUa_StatusCode UaSemaphore::wait()
{
    return OpcUa_Semaphore_Wait(m_handle);
}

OpcUa_StatusCode UaSemaphore::timedWait(OpcUa_UInt32 milliseconds)
{
    return OpcUa_Semaphore_TimedWait(m_handle, milliseconds);
}

OpcUa_StatusCode UaSemaphore::post(OpcUa_UInt32 count)
{
    return OpcUa_Semaphore_Post(m_handle, count);
}
