#include "uadiagnosticinfo.h"

OpcUa_UInt32 UaDiagnosticInfo::release()
{
    OpcUa_UInt32 remaining = m_refCount.fetch_sub(1) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

void UaDiagnosticInfo::setInnerDiagnostics(UaDiagnosticInfo* inner)
{
    if (inner != nullptr)
        inner->addReference();
    if (m_inner != nullptr)
        m_inner->release();
    m_inner = inner;
}

UaDiagnosticInfo::~UaDiagnosticInfo()
{
    // Inner records first, then the own fields (their members clear themselves).
    if (m_inner != nullptr)
        m_inner->release();
}
