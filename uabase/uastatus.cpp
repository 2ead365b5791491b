#include "uastatus.h"
#include "uadiagnosticinfo.h"
#include "uastatusnames.h"

UaString UaStatusCode::toString() const
{
    return toString(m_code);
}

UaString UaStatusCode::toString(OpcUa_StatusCode code)
{
    char buffer[64];
    const char* name = UaStatusNames::find(code);
    if (name == nullptr)
    {
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "0x%08lx", static_cast<unsigned long>(code));
        return UaString(buffer);
    }
    if ((code & 0xFFFFu) == 0)
        return UaString(name);
    OpcUa_StringA_snprintf(buffer, sizeof(buffer), " (0x%08lx)", static_cast<unsigned long>(code));
    return UaString(name) + UaString(buffer);
}

UaStatus::UaStatus(const UaStatus& other) : m_code(other.m_code), m_diagnostics(other.m_diagnostics)
{
    if (m_diagnostics != nullptr)
        m_diagnostics->addReference();
}

UaStatus& UaStatus::operator=(const UaStatus& other)
{
    if (other.m_diagnostics != nullptr)
        other.m_diagnostics->addReference();
    if (m_diagnostics != nullptr)
        m_diagnostics->release();
    m_code = other.m_code;
    m_diagnostics = other.m_diagnostics;
    return *this;
}

UaStatus& UaStatus::operator=(OpcUa_StatusCode code)
{
    if (m_diagnostics != nullptr)
        m_diagnostics->release();
    m_diagnostics = nullptr;
    m_code = code;
    return *this;
}

UaStatus::~UaStatus()
{
    if (m_diagnostics != nullptr)
        m_diagnostics->release();
}

void UaStatus::setStatus(OpcUa_StatusCode code, const UaString& text)
{
    m_code = code;
    if (m_diagnostics == nullptr)
        m_diagnostics = new UaDiagnosticInfo;
    m_diagnostics->setLocalizedText(UaLocalizedText(UaString(), text));
}

void UaStatus::fillResponseHeader(const OpcUa_RequestHeader& request, OpcUa_ResponseHeader& response) const
{
    response.Timestamp = OpcUa_DateTime_UtcNow();
    response.RequestHandle = request.RequestHandle;
    response.ServiceResult = m_code;
}
