#include "servicecontext.h"

ServiceContext::ServiceContext() : m_creationTime(UaDateTime::now()) {}

ServiceContext::ServiceContext(const ServiceContext& other)
    : m_pSession(other.m_pSession), m_pSessionReference(other.m_pSessionReference),
      m_timeoutHint(other.m_timeoutHint), m_creationTime(other.m_creationTime),
      m_returnDiagnostics(other.m_returnDiagnostics), m_nodeLocks(other.m_nodeLocks)
{
    if (m_pSessionReference)
        m_pSessionReference->addReference();
}

ServiceContext& ServiceContext::operator=(const ServiceContext& other)
{
    if (this == &other)
        return *this;
    if (other.m_pSessionReference)
        other.m_pSessionReference->addReference();
    releaseSession();
    m_pSession = other.m_pSession;
    m_pSessionReference = other.m_pSessionReference;
    m_timeoutHint = other.m_timeoutHint;
    m_creationTime = other.m_creationTime;
    m_returnDiagnostics = other.m_returnDiagnostics;
    m_nodeLocks = other.m_nodeLocks;
    return *this;
}

ServiceContext::~ServiceContext()
{
    releaseSession();
}

void ServiceContext::releaseSession()
{
    if (m_pSessionReference)
        m_pSessionReference->releaseReference();
    m_pSession = nullptr;
    m_pSessionReference = nullptr;
}

void ServiceContext::setCountedSession(Session* session, ReferenceCounter* counted,
                                       const OpcUa_RequestHeader& requestHeader)
{
    if (counted)
        counted->addReference();
    releaseSession();
    m_pSession = session;
    m_pSessionReference = counted;
    m_timeoutHint = requestHeader.TimeoutHint;
    m_returnDiagnostics = requestHeader.ReturnDiagnostics;
}

void ServiceContext::setNodeLock(UaMutex* lock, OpcUa_UInt16 namespaceIndex)
{
    m_nodeLocks[namespaceIndex] = lock;
}

UaMutex* ServiceContext::nodeLock(OpcUa_UInt16 namespaceIndex) const
{
    auto entry = m_nodeLocks.find(namespaceIndex);
    return entry == m_nodeLocks.end() ? nullptr : entry->second;
}
