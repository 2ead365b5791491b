#include "channel.h"

#include <cstring>

#include "group.h"
#include "millpath_service.h"
#include "siemens_interpreter.h"

namespace
{
constexpr std::uint32_t OwnSizeMin = 1000;
constexpr std::uint32_t OwnSizeMax = 9999999;
constexpr std::uint32_t SecondSizeMax = 0x4000000;
constexpr int NoInterpreterWaitMs = 10;
} // namespace

CChannel::CChannel(CMillpathService* service, std::uint32_t id, const OrxAddr& kernel)
    : m_service(service), m_id(id), m_kernel(kernel)
{
    if (m_service)
        m_projectPath = m_service->ProjectPath();
    m_worker.Start([this] { Worker(); });
}

CChannel::~CChannel()
{
    Stop();
    if (m_interpreter)
    {
        WriteZeroPointFile();
        WriteToolFile();
        m_interpreter.reset();
    }
}

void CChannel::Worker()
{
    while (!m_stop)
    {
        int wait = NoInterpreterWaitMs;
        {
            std::lock_guard<std::recursive_mutex> lock(m_lock);
            TakePathError();
            // An error stands (state 11, its line and code readable) until
            // the next load or start clears it.
            if (m_interpreter && m_interpreter->getState() != InterpreterState::Error)
                wait = m_interpreter->step();
        }
        if (wait > 0)
            m_workerEvent.Wait(wait);
    }
}

void CChannel::Stop()
{
    if (!m_worker.Running())
        return;
    m_stop = true;
    Wake();
    m_worker.Join(
        [this]
        {
            if (m_service)
                m_service->VosReportLog(148, "CChannel: Thread termination failed!");
        });
    m_stop = false;
}

bool CChannel::SetSize(std::uint32_t size)
{
    if (size < OwnSizeMin || size > SecondSizeMax)
        return false;
    m_size = size;
    return true;
}

bool CChannel::SetDialect(std::uint32_t dialect)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_interpreter || (dialect != DialectOwn && dialect != DialectSecond))
        return false;
    if (m_size < OwnSizeMin || (dialect == DialectOwn && m_size > OwnSizeMax) || m_size > SecondSizeMax)
        return false;
    m_store = std::make_unique<CProgramTextStore>(m_size);
    m_displayInfo = std::make_unique<CDisplayInfo>(*m_store);
    const unsigned labels = m_service ? m_service->MaxSubroutines() : 500;
    if (dialect == DialectOwn)
        m_interpreter = std::make_unique<CCorvantaInterpreter>(*this, m_size, labels);
    else
        m_interpreter = std::make_unique<CSiemensInterpreter>(*this, m_size, labels);
    m_dialect = static_cast<std::uint16_t>(dialect);
    const std::string dir = ProjectDir();
    m_interpreter->setProjectDirectory(dir);
    m_interpreter->loadMDefinitions(dir);
    // Both tables are written back when the channel goes, so both are read
    // here: a table written without having been read would replace the file
    // with zeros.
    ReadZeroPointFile();
    ReadToolFile();
    return true;
}

void CChannel::SetFeederLog(bool on)
{
    m_feederLog = on;
    if (CGroup* group = Group())
        group->SetFeederLog(on);
}

void CChannel::AttachGroup(CGroup* group)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_groups[0] = group;
    m_groupAttached[0] = group ? 1 : 0;
    if (group)
        group->SetFeederLog(m_feederLog);
}

InterpreterState CChannel::State() const
{
    return m_interpreter ? m_interpreter->getState() : InterpreterState::Aborted;
}

bool CChannel::Connected() const
{
    return m_service && m_service->OrxIsConnected();
}

std::string CChannel::ProjectDir() const
{
    return m_projectPath;
}

void CChannel::reportLog(const NcLogMessage& message)
{
    if (!m_service)
        return;
    std::string text;
    for (const auto& arg : message.args)
        text += (text.empty() ? "" : " ") + arg;
    m_service->VosReportLog(message.category, message.number, "%s", text.c_str());
}

int CChannel::addEntry(CEntry* entry)
{
    CGroup* group = Group();
    return group ? group->AddEntry(entry) : 0;
}

int CChannel::groupFreePlaces()
{
    CGroup* group = Group();
    return group ? group->FreePlaces() : -1;
}

bool CChannel::groupHasUnfinishedMotion()
{
    CGroup* group = Group();
    return group && group->HasUnfinishedMotion();
}

// Groups offer none of the optional motions (thread cutting, constant cutting
// speed, tapping, G931).
bool CChannel::groupHasCapability(int)
{
    return false;
}

std::uint32_t CChannel::prepareGroup()
{
    return Group() ? 0 : VOSERR_NOT_READY;
}

// The kernel gives no software limits.
bool CChannel::axisLimits(int, double&, double&)
{
    return false;
}

bool CChannel::displayText(std::int32_t lineIndex, std::string& text)
{
    const char* line = m_store ? m_store->getLine(lineIndex) : nullptr;
    if (!line)
        return false;
    text = line;
    return true;
}

bool CChannel::pathAxesPositions(double positions[3])
{
    return ReadAxisPositions(positions) == 0;
}

std::uint32_t CChannel::inputWord()
{
    std::uint32_t value = 0;
    return ReadChannelParam(value) == 0 ? value : 0;
}

int CChannel::findLabel(const std::string& name, std::int32_t& position)
{
    return m_interpreter ? m_interpreter->findSubProgramLabel(name, position) : -1;
}

void CChannel::programFileOpened(const std::string& path)
{
    if (!m_displayInfo)
        return;
    const std::uint32_t result = m_displayInfo->AddFile(path);
    if (result != 0 && m_service)
        m_service->VosReportLog(148, "Channel %u: file %s not recorded (0x%X)", m_id, path.c_str(), result);
}

// The group's threads post their errors: they never wait for the channel's
// lock, which the channel holds while it hands the group entries.
void CChannel::PostPathError(std::int32_t line, std::uint32_t code)
{
    {
        std::lock_guard<std::mutex> lock(m_pathErrorLock);
        m_pathError = {true, line, code};
    }
    Wake();
}

void CChannel::TakePathError()
{
    PathError error;
    {
        std::lock_guard<std::mutex> lock(m_pathErrorLock);
        error = m_pathError;
        m_pathError.pending = false;
    }
    if (error.pending && m_interpreter)
        m_interpreter->pathError(error.line, error.code);
}

void CChannel::KernelRefused(std::uint32_t blockNo)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_refusedBlock = blockNo;
    if (m_service)
        m_service->VosReportLog(148, "Channel %u: the kernel refused block %u", m_id, blockNo);
}
