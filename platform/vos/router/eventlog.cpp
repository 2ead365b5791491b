#include "eventlog.h"

#include <chrono>
#include <ctime>

#include <os/deviceroot.h>

#include <sys/stat.h>

namespace vos
{

namespace
{
constexpr long MAX_LOG_BYTES = 4L * 1024 * 1024; // then the file moves to one backup

// Keeps each report on one line of the file.
std::string OneLine(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return s;
}
} // namespace

EventLog::EventLog(std::string path) : m_path(std::move(path)) {}

EventLog::~EventLog()
{
    if (m_file)
        std::fclose(m_file);
}

void EventLog::Open()
{
    if (!m_file)
        m_file = os::openDeviceLog(m_path);
}

void EventLog::Write(const BYTE* data, size_t length)
{
    ReportLogRecord r;
    if (!DecodeReportLog(data, length, r))
    {
        static const ReportLogRecord malformed{0, 0, false, "?", "malformed report-log message"};
        r = malformed;
    }
    Open();
    if (!m_file)
        return;
    if (std::ftell(m_file) > MAX_LOG_BYTES)
    {
        std::fclose(m_file);
        m_file = nullptr;
        std::rename(m_path.c_str(), (m_path + ".1").c_str());
        Open();
        if (!m_file)
            return;
    }
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    char id[16] = "-";
    if (r.hasMsgId)
        std::snprintf(id, sizeof id, "0x%X", r.msgId);
    std::fprintf(m_file, "%s.%03ld\t%s\t%u\t%s\t%s\n", stamp, ms, OneLine(r.device).c_str(), r.type, id,
                 OneLine(r.text).c_str());
    std::fflush(m_file);
}

} // namespace vos
