#include "vos/voslog.h"

#include "link.h"
#include "reportlog.h"
#include "wideformat.h"

#include <windows.h>

#include <cstdio>

namespace
{

// One connection of the process carries every report line.
class LogSender
{
public:
    static LogSender& Instance()
    {
        // Never destroyed: threads may still report while the process ends.
        static LogSender* sender = new LogSender;
        return *sender;
    }

    ULONG Send(const std::string& payload)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        OrxCmd h = vos::MakeHeader(vos::LocalAddr(ORX_PORT_EVENTLOG), vos::ORX_CMD_REPORTLOG, 0, 0,
                                   static_cast<ULONG>(payload.size()));
        // Lines follow the device root of the moment (tests change it within a process).
        std::string socket = vos::RouterSocketPath();
        if (socket != m_socket)
        {
            m_link.Close();
            m_socket = socket;
        }
        // A router that ended since the last line is started again, once.
        for (int attempt = 0; attempt < 2; ++attempt)
        {
            if (!m_link.IsOpen())
            {
                ULONG error = m_link.Open(0, "");
                if (error != VOSERR_NOERROR)
                    return error;
            }
            ULONG error = m_link.Send(h, payload.data(), payload.size());
            if (error == VOSERR_NOERROR)
                return error;
            m_link.Close();
        }
        return VOSERR_PORT_NOT_CONNECTED;
    }

private:
    std::mutex m_lock;
    vos::OrxLink m_link;
    std::string m_socket;
};

std::string Format(LPCSTR format, va_list args)
{
    if (!format)
        return {};
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0)
        return format;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

} // namespace

void CVosLogMessage::SetDeviceName(LPCSTR name)
{
    std::lock_guard<std::mutex> lock(m_nameLock);
    m_deviceName = name ? name : "";
}

void CVosLogMessage::SetDeviceName(LPCWSTR name)
{
    SetDeviceName(name ? os::toUtf8(name).c_str() : nullptr);
}

std::string CVosLogMessage::GetDeviceName() const
{
    std::lock_guard<std::mutex> lock(m_nameLock);
    return m_deviceName;
}

LONG CVosLog::VosReportLog(DWORD type, LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    LONG result = VosReportLogV(type, 0, false, format, args);
    va_end(args);
    return result;
}

LONG CVosLog::VosReportLog(DWORD type, DWORD messageId, LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    LONG result = VosReportLogV(type, messageId, true, format, args);
    va_end(args);
    return result;
}

LONG CVosLog::VosReportLog(DWORD type, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    LONG result = VosReportLogV(type, 0, false, format, args);
    va_end(args);
    return result;
}

LONG CVosLog::VosReportLog(DWORD type, DWORD messageId, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    LONG result = VosReportLogV(type, messageId, true, format, args);
    va_end(args);
    return result;
}

LONG CVosLog::VosReportLogV(DWORD type, DWORD messageId, bool hasMessageId, LPCSTR format, va_list args)
{
    return Send(type, messageId, hasMessageId, Format(format, args));
}

LONG CVosLog::VosReportLogV(DWORD type, DWORD messageId, bool hasMessageId, LPCWSTR format, va_list args)
{
    return Send(type, messageId, hasMessageId, vos::FormatWide(format, args));
}

LONG CVosLog::Send(DWORD type, DWORD messageId, bool hasMessageId, std::string text)
{
    vos::ReportLogRecord r;
    r.type = type;
    r.msgId = messageId;
    r.hasMsgId = hasMessageId;
    r.device = GetDeviceName();
    r.text = std::move(text);
    return static_cast<LONG>(LogSender::Instance().Send(vos::EncodeReportLog(r)));
}
