#include "opcwatchreport.h"

#include <opcua_platform.h>
#include <uatrace.h>

#include <cstdio>
#include <string_view>

namespace
{
// The event log's type of an error line.
constexpr DWORD kErrorType = 148;

// The communication stack's lines join the server trace: its errors (a port another program
// holds) are the start's error lines like the server's own.
void stackLine(OpcUa_UInt32 level, const OpcUa_CharA* message, OpcUa_Void*)
{
    std::string_view text(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    const int length = static_cast<int>(text.size());
    if (level & (OPCUA_TRACE_LEVEL_ERROR | OPCUA_TRACE_LEVEL_ALWAYS))
        UaTrace::traceLevel1("%.*s", length, text.data());
    else if (level & OPCUA_TRACE_LEVEL_WARNING)
        UaTrace::traceLevel2("%.*s", length, text.data());
    else
        UaTrace::traceLevel4("%.*s", length, text.data());
}
} // namespace

OpcwatchReport::OpcwatchReport()
{
    m_eventLog.SetDeviceName("Opcwatch");
}

OpcwatchReport::~OpcwatchReport()
{
    if (!m_installed)
        return;
    OpcUa_Trace_SetSink(nullptr, nullptr);
    UaLog::setSink(nullptr, 0);
}

void OpcwatchReport::install()
{
    UaLog::setSink(this, 1);
    OpcUa_Trace_SetSink(stackLine, nullptr);
    m_installed = true;
}

void OpcwatchReport::beginStart()
{
    std::lock_guard guard(m_lock);
    m_collecting = true;
    m_lines.clear();
    m_eventLogReached = true;
}

void OpcwatchReport::endStart(bool started)
{
    std::vector<std::string> lines;
    {
        std::lock_guard guard(m_lock);
        m_collecting = false;
        lines.swap(m_lines);
    }
    if (!started)
        lines.push_back("the OPC UA server did not start; no endpoint is open");
    for (const std::string& line : lines)
        tell(line);
}

void OpcwatchReport::tell(const std::string& text)
{
    std::fprintf(stderr, "opcwatch: %s\n", text.c_str());
    std::fflush(stderr);
    // Without a router (a read-only device root) the lines reach the standard error stream only;
    // the event log is tried again with the next start.
    if (m_eventLogReached && m_eventLog.VosReportLog(kErrorType, "%s", text.c_str()) != 0)
        m_eventLogReached = false;
}

void OpcwatchReport::write(int level, const char* text)
{
    std::lock_guard guard(m_lock);
    if (m_collecting && level <= 1)
        m_lines.emplace_back(text);
}
