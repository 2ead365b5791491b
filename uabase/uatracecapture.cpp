#include "uatracecapture.h"

namespace
{
// The sink in place before a capture started, so that captures nest.
struct SinkSlot
{
    std::mutex lock;
    UaLogSink* sink = nullptr;
    int level = 0;
};

SinkSlot& slot()
{
    static SinkSlot s;
    return s;
}
} // namespace

UaTraceCapture::UaTraceCapture(int level)
{
    std::lock_guard<std::mutex> guard(slot().lock);
    m_previousSink = slot().sink;
    m_previousLevel = slot().level;
    slot().sink = this;
    slot().level = level;
    UaLog::setSink(this, level);
}

UaTraceCapture::~UaTraceCapture()
{
    std::lock_guard<std::mutex> guard(slot().lock);
    slot().sink = m_previousSink;
    slot().level = m_previousLevel;
    UaLog::setSink(m_previousSink, m_previousLevel);
}

void UaTraceCapture::write(int level, const char* text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.push_back({level, text});
}

std::vector<UaTraceLine> UaTraceCapture::lines() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lines;
}

std::vector<std::string> UaTraceCapture::texts() const
{
    std::vector<std::string> result;
    for (const UaTraceLine& line : lines())
        result.push_back(line.text);
    return result;
}

std::size_t UaTraceCapture::count(int level, const std::string& text) const
{
    std::size_t n = 0;
    for (const UaTraceLine& line : lines())
        if (line.level == level && line.text == text)
            ++n;
    return n;
}

void UaTraceCapture::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.clear();
}
