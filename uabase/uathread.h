#ifndef UABASE_UATHREAD_H
#define UABASE_UATHREAD_H

#include <opcua.h>

// Thread over the stack's thread; a derived class supplies run(). It can be started again after
// run() has returned.
class UaThread
{
public:
    UaThread();
    virtual ~UaThread();
    UaThread(const UaThread&) = delete;
    UaThread& operator=(const UaThread&) = delete;

    // Starts run() on the thread; does nothing while it runs. Returns the stack's start result.
    virtual OpcUa_StatusCode start();
    // Waits up to milliseconds (OpcUa_Infinite: no limit); true while the thread still runs.
    bool wait(OpcUa_UInt32 milliseconds);
    bool isRunning() const;
    static void sleep(OpcUa_UInt32 milliseconds);

protected:
    virtual void run() = 0;

private:
    struct Record;
    static OpcUa_Void threadMain(OpcUa_Void* argument);

    Record* m_record;
};

#endif
