#ifndef UABASE_UADIAGNOSTICINFO_H
#define UABASE_UADIAGNOSTICINFO_H

#include "ualocalizedtext.h"
#include "uaqualifiedname.h"
#include "uastring.h"

#include <opcua.h>

#include <atomic>

// Diagnostics of one operation, shared by the copies of a status and counted by reference.
// Created with one reference; release() drops one and deletes the record with the last.
class UaDiagnosticInfo
{
public:
    UaDiagnosticInfo() = default;
    UaDiagnosticInfo(const UaDiagnosticInfo&) = delete;
    UaDiagnosticInfo& operator=(const UaDiagnosticInfo&) = delete;

    void addReference() { m_refCount.fetch_add(1); }
    // Returns the remaining count; the record is deleted when it reaches 0.
    OpcUa_UInt32 release();
    OpcUa_UInt32 referenceCount() const { return m_refCount.load(); }

    const UaQualifiedName& symbolicId() const { return m_symbolicId; }
    void setSymbolicId(const UaQualifiedName& symbolicId) { m_symbolicId = symbolicId; }
    const UaLocalizedText& localizedText() const { return m_localizedText; }
    void setLocalizedText(const UaLocalizedText& text) { m_localizedText = text; }
    const UaString& additionalInfo() const { return m_additionalInfo; }
    void setAdditionalInfo(const UaString& info) { m_additionalInfo = info; }
    OpcUa_StatusCode innerStatusCode() const { return m_innerStatusCode; }
    void setInnerStatusCode(OpcUa_StatusCode code) { m_innerStatusCode = code; }
    UaDiagnosticInfo* innerDiagnostics() const { return m_inner; }
    // Takes a reference on `inner` and drops the one on the previous inner record.
    void setInnerDiagnostics(UaDiagnosticInfo* inner);

private:
    ~UaDiagnosticInfo();

    UaQualifiedName m_symbolicId;
    UaLocalizedText m_localizedText;
    UaString m_additionalInfo;
    OpcUa_StatusCode m_innerStatusCode = 0;
    UaDiagnosticInfo* m_inner = nullptr;
    std::atomic<OpcUa_UInt32> m_refCount{1};
};

#endif
