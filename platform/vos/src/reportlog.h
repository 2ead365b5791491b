// Payload of a report-log command, as the library sends it and the event logger reads it.
#pragma once

#include "vos/orx.h"

#include <string>

namespace vos
{

struct ReportLogRecord
{
    ULONG type = 0;
    ULONG msgId = 0;
    bool hasMsgId = false;
    std::string device;
    std::string text;
};

std::string EncodeReportLog(const ReportLogRecord& r);
bool DecodeReportLog(const BYTE* data, size_t length, ReportLogRecord& r);

} // namespace vos
