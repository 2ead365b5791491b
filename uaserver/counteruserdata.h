#ifndef UASERVER_COUNTERUSERDATA_H
#define UASERVER_COUNTERUSERDATA_H

#include "uanode.h"

#include <opcua.h>

#include <atomic>

// Gives a variable the current value of a process-wide 32-bit counter that lives elsewhere: the
// variable's reader asks it on every read, so the value follows the counter without any
// notification.
class CounterUserData : public UserDataBase
{
public:
    explicit CounterUserData(std::atomic<OpcUa_Int32>* pCounter) : m_pCounter(pCounter) {}

    // The kind of user data: 1, a counter.
    virtual OpcUa_UInt32 userDataType() const { return 1; }
    // Clears value and sets it to an Int32 of the counter's value; BadNodeIdInvalid, value untouched,
    // without a counter.
    virtual OpcUa_StatusCode getValue(OpcUa_Variant& value) const;

private:
    std::atomic<OpcUa_Int32>* m_pCounter;
};

#endif
