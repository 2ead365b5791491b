// Report log: lines sent to the event logger (port 110), which writes them to
// one log file of the device with time, device name, type, message id and text.
// Text is UTF-8; wide text is converted.
#pragma once

#include "vos/orx.h"

#include <cstdarg>
#include <mutex>
#include <string>

class CVosLogMessage
{
public:
    CVosLogMessage() = default;
    virtual ~CVosLogMessage() = default;
    // Names the sender in every line it reports.
    void SetDeviceName(LPCSTR name);
    void SetDeviceName(LPCWSTR name);
    std::string GetDeviceName() const;

private:
    mutable std::mutex m_nameLock;
    std::string m_deviceName;
};

class CVosLog : public CVosLogMessage
{
public:
    // printf-style text. Returns 0 or a Vos error code; the text is sent even
    // when formatting is not possible (the format itself then).
    LONG VosReportLog(DWORD type, LPCSTR format, ...) __attribute__((format(printf, 3, 4)));
    LONG VosReportLog(DWORD type, DWORD messageId, LPCSTR format, ...) __attribute__((format(printf, 4, 5)));
    // Wide formats: "%s" takes wide text, "%hs" (or "%S") narrow text.
    LONG VosReportLog(DWORD type, LPCWSTR format, ...);
    LONG VosReportLog(DWORD type, DWORD messageId, LPCWSTR format, ...);
    LONG VosReportLogV(DWORD type, DWORD messageId, bool hasMessageId, LPCSTR format, va_list args);
    LONG VosReportLogV(DWORD type, DWORD messageId, bool hasMessageId, LPCWSTR format, va_list args);

private:
    LONG Send(DWORD type, DWORD messageId, bool hasMessageId, std::string text);
};
