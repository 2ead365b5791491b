// What an operator hears of whatever the trace level: the error lines (level 1) of each server
// start, and the program's own failures, go to the standard error stream and to the device's event
// log ("Opcwatch", type 148), besides the trace. A start that leaves no endpoint open ends with
// "the OPC UA server did not start; no endpoint is open".
#pragma once

#include <ualog.h>
#include <vos/voslog.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class OpcwatchReport : public UaLogSink
{
public:
    OpcwatchReport();
    ~OpcwatchReport() override;
    OpcwatchReport(const OpcwatchReport&) = delete;
    OpcwatchReport& operator=(const OpcwatchReport&) = delete;

    // Takes the trace's error lines, as the process's one trace sink, until the object goes; the
    // communication stack's lines go to the server trace from then on (errors at level 1).
    void install();

    // The error lines from here on belong to a start...
    void beginStart();
    // ...and are told when it ends, followed by the closing line when the server did not start.
    void endStart(bool started);
    // Tells one line at once.
    void tell(const std::string& text);

    void write(int level, const char* text) override;

private:
    std::mutex m_lock;
    bool m_installed = false;
    bool m_collecting = false;
    std::vector<std::string> m_lines;
    CVosLog m_eventLog;
    std::atomic<bool> m_eventLogReached{true};
};
