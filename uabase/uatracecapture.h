#ifndef UABASE_UATRACECAPTURE_H
#define UABASE_UATRACECAPTURE_H

#include "ualog.h"

#include <mutex>
#include <string>
#include <vector>

// One trace line as the log received it.
struct UaTraceLine
{
    int level;
    std::string text;
};

// Routes every UaLog/UaTrace line up to a level into memory for its lifetime, so that a test can
// check exact trace texts. The previous sink comes back when it ends.
class UaTraceCapture : public UaLogSink
{
public:
    explicit UaTraceCapture(int level = 7);
    ~UaTraceCapture() override;
    UaTraceCapture(const UaTraceCapture&) = delete;
    UaTraceCapture& operator=(const UaTraceCapture&) = delete;

    void write(int level, const char* text) override;

    std::vector<UaTraceLine> lines() const;
    // The texts alone, in order.
    std::vector<std::string> texts() const;
    // How many lines carry exactly this text at this level.
    std::size_t count(int level, const std::string& text) const;
    bool contains(int level, const std::string& text) const { return count(level, text) > 0; }
    void clear();

private:
    mutable std::mutex m_lock;
    std::vector<UaTraceLine> m_lines;
    UaLogSink* m_previousSink;
    int m_previousLevel;
};

#endif
