#ifndef UASERVER_SERVICECONTEXT_H
#define UASERVER_SERVICECONTEXT_H

#include "referencecounter.h"

#include <uadatetime.h>
#include <uamutex.h>

#include <opcua.h>

#include <map>

class Session;

// What travels with one service call into the node managers: the session it runs for, two fields
// of the request header and the node locks of the node managers the call has passed through.
// A context belongs to one call on one thread; copies are made when a call fans out.
class ServiceContext
{
public:
    ServiceContext();
    // The copy holds its own reference to the session.
    ServiceContext(const ServiceContext& other);
    ServiceContext& operator=(const ServiceContext& other);
    ~ServiceContext();

    // Stores the session with a reference added (null as is) and the header's TimeoutHint and
    // ReturnDiagnostics. S is the session class, which derives from Session and ReferenceCounter.
    template <typename S> void setSession(S* session, const OpcUa_RequestHeader& requestHeader)
    {
        setCountedSession(session, session, requestHeader);
    }
    template <typename S> void setSessionAndHeader(S* session, const OpcUa_RequestHeader& requestHeader)
    {
        setSession(session, requestHeader);
    }
    // The session as the nodes see it and the same object through its counted base.
    void setCountedSession(Session* session, ReferenceCounter* counted,
                           const OpcUa_RequestHeader& requestHeader);

    Session* pSession() const { return m_pSession; }
    ReferenceCounter* sessionReference() const { return m_pSessionReference; }
    OpcUa_UInt32 timeoutHint() const { return m_timeoutHint; }
    UaDateTime creationTime() const { return m_creationTime; }
    OpcUa_UInt32 returnDiagnostics() const { return m_returnDiagnostics; }

    // Enters or replaces the node lock of a namespace.
    void setNodeLock(UaMutex* lock, OpcUa_UInt16 namespaceIndex);
    // Null when no lock was entered for the namespace; a walk given null runs unlocked.
    UaMutex* nodeLock(OpcUa_UInt16 namespaceIndex) const;

private:
    void releaseSession();

    Session* m_pSession = nullptr;
    ReferenceCounter* m_pSessionReference = nullptr;
    OpcUa_UInt32 m_timeoutHint = 0;
    UaDateTime m_creationTime;
    OpcUa_UInt32 m_returnDiagnostics = 0;
    std::map<OpcUa_UInt16, UaMutex*> m_nodeLocks;
};

#endif
