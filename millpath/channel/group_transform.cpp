// The group's transformer worker and what the transformer chain reaches of
// its group and channel.
#include "channel.h"
#include "chn_man.h"
#include "group.h"

#include <bit>

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
constexpr int IdleWaitMs = 10;
// The error line of an error that no entry names.
constexpr std::int32_t NoLine = -2;
constexpr std::uint32_t NoChannelState = 0;

// The arguments of a numbered message as its format names them: "%x" in
// hex, everything else in decimal.
std::string RenderArgs(const char* format, const std::vector<long long>& args)
{
    std::string text;
    std::size_t next = 0;
    for (const char* p = format; p && *p && next < args.size(); ++p)
    {
        if (*p != '%' || !p[1])
            continue;
        ++p;
        char buffer[32];
        if (*p == 'x' || *p == 'X')
            std::snprintf(buffer, sizeof(buffer), "%llx", static_cast<unsigned long long>(args[next]));
        else if (*p == 'f') // a double travels as its bit pattern
            std::snprintf(buffer, sizeof(buffer), "%f", std::bit_cast<double>(args[next]));
        else
            std::snprintf(buffer, sizeof(buffer), "%lld", args[next]);
        text += (text.empty() ? "" : " ") + std::string(buffer);
        ++next;
    }
    return text;
}
} // namespace

void CGroup::TransformerWorker()
{
    while (!m_stopTransformer)
    {
        bool worked = false;
        int error = 0;
        {
            Lock lock(m_lock);
            if (!m_cooked.IsFull() && !m_transformer->IsIdle())
            {
                const std::uint64_t before = m_transformer->Treated();
                int done = 0;
                const int result = m_transformer->Process(m_firstStep ? 1 : 0, done);
                worked = m_transformer->Treated() != before;
                if (result != 0 && result != -1)
                {
                    m_transformer->Reset();
                    error = result;
                }
                if (!m_cooked.IsEmpty())
                    WakeFeeder();
            }
            if (m_transformer->IsIdle())
                m_firstStep = false;
        }
        CChannel* channel = m_channel;
        if (error != 0)
        {
            if (m_service)
                m_service->VosReportLog(LogMessage, TransformerFailed, "%u", channel ? channel->Id() : 0u);
            if (channel)
                channel->PostPathError(NoLine, static_cast<std::uint32_t>(error));
        }
        // Room in the chain lets the channel's interpreter go on.
        if (worked && channel && FreePlaces() > 0)
            channel->Wake();
        if (!worked)
            m_transformerEvent.Wait(IdleWaitMs);
    }
}

std::uint32_t CGroup::SetCollisionMode(std::uint32_t mode)
{
    Lock lock(m_lock);
    return m_transformer->SetCollisionMode(mode > 2 ? -1 : static_cast<int>(mode));
}

std::uint32_t CGroup::CollisionCommand(std::uint32_t depth)
{
    Lock lock(m_lock);
    return m_transformer->CollisionCommand(depth > 25 ? -1 : static_cast<int>(depth));
}

void CGroup::Report(std::uint32_t flags, std::uint32_t message, const char* format,
                    const std::vector<long long>& args)
{
    if (m_service)
        m_service->VosReportLog(flags, message, "%s", RenderArgs(format, args).c_str());
}

bool CGroup::ReportsWanted() const
{
    CChannel* channel = m_channel;
    return channel && channel->CommandLog();
}

long long CGroup::ChannelLine() const
{
    CChannel* channel = m_channel;
    return channel && channel->Interpreter() ? channel->Interpreter()->currentLine() : 0;
}

void CGroup::ChannelError(const CEntry* entry, std::uint32_t error)
{
    if (CChannel* channel = m_channel)
        channel->PostPathError(entry ? static_cast<std::int32_t>(entry->m_textIdx) : NoLine, error);
}

int CGroup::ChannelState() const
{
    CChannel* channel = m_channel;
    return channel ? static_cast<int>(channel->State()) : static_cast<int>(NoChannelState);
}

// Asked while the chain takes a rules entry, on the channel's thread.
std::uint16_t CGroup::ToolType(std::uint32_t tool) const
{
    CChannel* channel = m_channel;
    if (!channel)
        return 0;
    std::lock_guard<std::recursive_mutex> lock(channel->Lock());
    CInterpreter* interpreter = channel->Interpreter();
    return interpreter ? interpreter->getToolType(static_cast<int>(tool)) : 0;
}

double CGroup::ToolRadius(std::uint32_t tool) const
{
    CChannel* channel = m_channel;
    if (!channel)
        return 0.0;
    std::lock_guard<std::recursive_mutex> lock(channel->Lock());
    CInterpreter* interpreter = channel->Interpreter();
    return interpreter ? interpreter->getToolValue(static_cast<int>(tool), 1) : 0.0;
}

bool CGroup::CommandLogging() const
{
    return ReportsWanted();
}

void CGroup::InterpreterError(std::int32_t line, std::uint32_t error)
{
    if (CChannel* channel = m_channel)
        channel->PostPathError(line, error);
}
