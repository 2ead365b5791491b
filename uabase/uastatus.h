#ifndef UABASE_UASTATUS_H
#define UABASE_UASTATUS_H

#include "uastring.h"

#include <opcua.h>

class UaDiagnosticInfo;

// A status code on its own; its text is the code's symbolic name.
class UaStatusCode
{
public:
    UaStatusCode() = default;
    UaStatusCode(OpcUa_StatusCode code) : m_code(code) {}

    OpcUa_StatusCode statusCode() const { return m_code; }
    OpcUa_StatusCode code() const { return m_code; }
    // Severity: Good when both top bits are clear, Uncertain when only bit 30 is set, Bad when
    // bit 31 is set. Not good means either top bit set.
    bool isGood() const { return (m_code & 0xC0000000u) == 0; }
    bool isNotGood() const { return (m_code & 0xC0000000u) != 0; }
    bool isBad() const { return (m_code & 0x80000000u) != 0; }
    bool isNotBad() const { return (m_code & 0x80000000u) == 0; }
    bool isUncertain() const { return (m_code & 0xC0000000u) == 0x40000000u; }

    // "BadNodeIdUnknown", "BadNodeIdUnknown (0x80340400)" with info bits, "0x80ff0001" when unnamed.
    UaString toString() const;
    static UaString toString(OpcUa_StatusCode code);

private:
    OpcUa_StatusCode m_code = 0;
};

// The outcome of an operation: a status code and optional shared diagnostics.
class UaStatus
{
public:
    UaStatus() = default;
    UaStatus(OpcUa_StatusCode code) : m_code(code) {}
    UaStatus(const UaStatus& other);
    UaStatus& operator=(const UaStatus& other);
    // Keeps only the code and drops the diagnostics.
    UaStatus& operator=(OpcUa_StatusCode code);
    ~UaStatus();

    // Sets the code and the diagnostics' text (empty locale), creating the diagnostics if needed.
    void setStatus(OpcUa_StatusCode code, const UaString& text);
    OpcUa_StatusCode statusCode() const { return m_code; }
    OpcUa_StatusCode code() const { return m_code; }
    bool isGood() const { return UaStatusCode(m_code).isGood(); }
    bool isNotGood() const { return UaStatusCode(m_code).isNotGood(); }
    bool isBad() const { return UaStatusCode(m_code).isBad(); }
    bool isNotBad() const { return UaStatusCode(m_code).isNotBad(); }
    bool isUncertain() const { return UaStatusCode(m_code).isUncertain(); }
    // The shared diagnostics; null when the status carries none.
    UaDiagnosticInfo* diagnostics() const { return m_diagnostics; }
    UaString toString() const { return UaStatusCode::toString(m_code); }

    // Timestamp now, the request's handle and this code as the service result.
    void fillResponseHeader(const OpcUa_RequestHeader& request, OpcUa_ResponseHeader& response) const;

private:
    OpcUa_StatusCode m_code = 0;
    UaDiagnosticInfo* m_diagnostics = nullptr;
};

// The name the server runtime uses for its operation results.
using StatusObject = UaStatus;

#endif
