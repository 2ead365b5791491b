// The event logger behind port 110: one log file in the device root, one line
// per report with time, device name, type, message id and text.
#pragma once

#include "../src/reportlog.h"

#include <cstdio>
#include <string>

namespace vos
{

class EventLog
{
public:
    explicit EventLog(std::string path);
    ~EventLog();
    // data: the payload of a report-log command (see voslog).
    void Write(const BYTE* data, size_t length);

private:
    void Open();

    std::string m_path;
    FILE* m_file = nullptr;
};

} // namespace vos
