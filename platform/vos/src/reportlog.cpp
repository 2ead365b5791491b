#include "reportlog.h"

#include <cstring>

namespace vos
{

namespace
{

void Put32(std::string& s, uint32_t v)
{
    s.append(reinterpret_cast<const char*>(&v), 4);
}

bool Get32(const BYTE*& p, const BYTE* end, uint32_t& v)
{
    if (end - p < 4)
        return false;
    std::memcpy(&v, p, 4);
    p += 4;
    return true;
}

bool GetText(const BYTE*& p, const BYTE* end, std::string& out)
{
    uint32_t n;
    if (!Get32(p, end, n) || static_cast<size_t>(end - p) < n)
        return false;
    out.assign(reinterpret_cast<const char*>(p), n);
    p += n;
    return true;
}

} // namespace

// type, message id, has-id flag, device name (counted), text (counted)
std::string EncodeReportLog(const ReportLogRecord& r)
{
    std::string s;
    Put32(s, r.type);
    Put32(s, r.msgId);
    Put32(s, r.hasMsgId ? 1u : 0u);
    Put32(s, static_cast<uint32_t>(r.device.size()));
    s += r.device;
    Put32(s, static_cast<uint32_t>(r.text.size()));
    s += r.text;
    return s;
}

bool DecodeReportLog(const BYTE* data, size_t length, ReportLogRecord& r)
{
    const BYTE* p = data;
    const BYTE* end = data + length;
    uint32_t flag;
    return Get32(p, end, r.type) && Get32(p, end, r.msgId) && Get32(p, end, flag) &&
           (r.hasMsgId = flag != 0, GetText(p, end, r.device)) && GetText(p, end, r.text) && p == end;
}

} // namespace vos
