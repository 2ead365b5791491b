// Commands of the service port and the kernel's events.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <os/deviceroot.h>

#include "channel.h"
#include "group.h"
#include "kernel_record.h"
#include "millpath_service.h"
#include "nc_files.h"

namespace
{
constexpr std::uint32_t OffsetProgramNumber = 5;
constexpr std::uint32_t OffsetProgramName = 7;
constexpr std::uint32_t OffsetResetDone = 15;
constexpr int ResetRounds = 1000;
constexpr std::uint32_t NotReadyMessage = 0x802;
constexpr std::uint32_t SwitchContinue = 0x8000;

using Guard = std::lock_guard<std::recursive_mutex>;
} // namespace

std::uint32_t CChannel::PrepareForProgram()
{
    switch (m_interpreter->getState())
    {
    case InterpreterState::Idle:
        return 0;
    case InterpreterState::Ready:
    case InterpreterState::Finished:
    case InterpreterState::Error:
    case InterpreterState::Aborted:
        m_interpreter->reset();
        return 0;
    default:
        return VOSERR_NOT_IN_THIS_STATE;
    }
}

void CChannel::AnnounceProgram(const std::string& name)
{
    m_programName = name;
    KernelWrite(OffsetProgramName, name.c_str(), name.size() + 1);
}

std::uint32_t CChannel::LoadSources(const std::string& path, const char* text)
{
    CInterpreter& interpreter = *m_interpreter;
    std::uint32_t result = interpreter.beginProgram();
    if (result != 0)
        return result;
    m_displayInfo->ClearFiles();
    // The channel's own definitions go ahead of every program.
    char name[32];
    std::snprintf(name, sizeof(name), "DefaultGCode%u.def", m_id);
    const auto defaults =
        NcDeviceFilePath((ProjectDir().empty() ? std::string() : ProjectDir() + "/") + name);
    if (defaults && *defaults != path)
    {
        result = interpreter.appendProgramFile(*defaults);
        if (result != 0)
            return result;
    }
    result = text ? interpreter.appendProgramSource(text) : interpreter.appendProgramFile(path);
    if (result != 0)
        return result;
    return interpreter.finishProgram();
}

std::uint32_t CChannel::LoadProgram(const std::string& fileName)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    std::uint32_t result = PrepareForProgram();
    if (result != 0)
        return result;
    const std::uint32_t zero = 0;
    KernelWrite(OffsetProgramNumber, &zero, sizeof(zero));
    // A name without a directory lies in the project folder; any other name is a
    // device path. Either leads below the device root or is refused when read, as a
    // missing file: a project file that is a link out of the root like a path that
    // climbs out.
    const bool bare = fileName.find_first_of("/\\") == std::string::npos;
    const std::string named = bare && !ProjectDir().empty() ? ProjectDir() + "/" + fileName : fileName;
    const std::filesystem::path file = os::toHostPath(named).value_or(named);
    AnnounceProgram(fileName);
    m_interpreter->setProjectDirectory(file.has_parent_path() ? file.parent_path().string() : ProjectDir());
    result = LoadSources(file.string(), nullptr);
    m_interpreter->setProjectDirectory(ProjectDir());
    if (result != 0)
        return result;
    long number = 0;
    char rest = 0;
    if (std::sscanf(file.stem().string().c_str(), "%ld%c", &number, &rest) == 1)
    {
        const auto value = static_cast<std::uint32_t>(number);
        KernelWrite(OffsetProgramNumber, &value, sizeof(value));
    }
    Wake();
    return 0;
}

std::uint32_t CChannel::LoadDefaultProgram(std::uint32_t number)
{
    char name[40];
    std::snprintf(name, sizeof(name), "DefaultGCode%u.def", number);
    return LoadProgram(name);
}

std::uint32_t CChannel::RunText(const char* text, std::size_t length)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    std::uint32_t result = PrepareForProgram();
    if (result != 0)
        return result;
    if (length == 0)
        return 0;
    if (length > static_cast<std::size_t>(MaxRunText))
        return VOSERR_INVALID_SIZE;
    // The text goes into length + 1 bytes, so that it always ends.
    std::string program(text, length);
    program.resize(strnlen(program.c_str(), length));
    const std::uint32_t zero = 0;
    KernelWrite(OffsetProgramNumber, &zero, sizeof(zero));
    AnnounceProgram("");
    result = LoadSources("", program.c_str());
    Wake();
    return result;
}

std::uint32_t CChannel::Start()
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return VOSERR_NO_INTERPRETER;
    switch (m_interpreter->getState())
    {
    case InterpreterState::Ready:
    case InterpreterState::Finished:
    case InterpreterState::Error:
    case InterpreterState::Aborted:
        // A program that failed to load (or none) is not run: what the
        // translation left is the text before the error.
        if (!m_interpreter->programLoaded())
            return VOSERR_NOT_READY;
        if (m_interpreter->getState() != InterpreterState::Ready)
            m_interpreter->reset();
        m_interpreter->clearNcError();
        m_interpreter->setState(InterpreterState::StartRequested);
        break;
    case InterpreterState::StoppedAtMarker:
        SetSwitches(m_values16[0] | SwitchContinue);
        break;
    default:
        return VOSERR_NOT_READY;
    }
    Wake();
    return 0;
}

std::uint32_t CChannel::ChannelReset()
{
    {
        Guard lock(m_lock);
        if (!m_interpreter)
            return VOSERR_NO_INTERPRETER;
        const std::uint32_t zero = 0;
        KernelWrite(OffsetProgramNumber, &zero, sizeof(zero));
        AnnounceProgram("");
        m_interpreter->requestReset();
        if (CGroup* group = Group())
            group->ResetGroup();
        Wake();
    }
    // The worker and the feeder settle the reset; the lock is free meanwhile.
    for (int round = 0; round < ResetRounds; ++round)
    {
        CGroup* group = Group();
        if (State() != InterpreterState::Resetting && (!group || group->ResetSettled()))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Guard lock(m_lock);
    if (Connected())
    {
        const std::uint32_t group = ChannelCommandBase + m_id;
        OrxAddr target = m_secondKept ? m_second.addr : m_kernel;
        m_sync[SyncEndCommand].VosSyncWriteReq(&target, group, OffsetResetDone, 0, nullptr);
        if (target.port < 500 || target.port > 511)
        {
            target.port = CMillpathService::KernelPort;
            m_sync[SyncEndCommand].VosSyncWriteReq(&target, group, OffsetResetDone, 0, nullptr);
        }
    }
    Wake();
    return 0;
}

void CChannel::LogCommand(DWORD type, const char* text)
{
    if (m_commandLog && m_service)
        m_service->VosReportLog(type, "%s", text);
}

void CChannel::SetSwitches(std::uint32_t word)
{
    m_values16[0] = static_cast<std::uint16_t>(word & 0x7000);
    if ((word & SwitchContinue) && m_interpreter &&
        m_interpreter->getState() == InterpreterState::StoppedAtMarker)
        Continue();
}

void CChannel::Continue()
{
    m_interpreter->setState(InterpreterState::Running);
    Wake();
}

void CChannel::ReleaseKernelWait(bool all)
{
    CGroup* group = Group();
    if (group)
    {
        if (all)
            group->AllMotionFinished();
        else
            group->MotionFinished();
    }
    // Entries still waiting for the feed, or batches fed after the one this
    // event finished, move on after it; their own events release the wait.
    // The worker is woken only when something it waits for has come.
    bool released = false;
    if (!group || (group->NothingToFeed() && !group->BatchesUnfinished()))
    {
        m_interpreter->releaseWait();
        released = true;
    }
    if (m_interpreter->getState() == InterpreterState::WaitingForKernel)
    {
        m_interpreter->setState(InterpreterState::Running);
        released = true;
    }
    if (released || all)
        Wake();
}

void CChannel::Event(std::uint32_t code, const std::uint8_t* args, std::size_t length)
{
    Guard lock(m_lock);
    if (!m_interpreter)
        return;
    auto arg = [&](std::size_t i) { return length >= 4 * (i + 1) ? GetLe32(args + 4 * i) : 0u; };
    switch (code)
    {
    case 0:
    {
        std::uint32_t value22 = 0;
        if (Flag(FlagBackup) && ReadKernelValue22(value22) == 0 && value22 != 0)
            return;
        ReleaseKernelWait();
        return;
    }
    case 1:
        m_values32[0] = arg(0);
        return;
    case 2:
        SetSwitches(arg(0));
        return;
    case 3:
        if (length >= 3 * sizeof(double))
            for (int i = 0; i < 3; ++i)
                m_rescanPosition[i] = KernelRecord::GetDouble(args, 8 * i);
        // The position answers the wait itself, not one batch.
        ReleaseKernelWait(true);
        return;
    case 4:
        m_values32[1] = arg(0);
        m_values32[2] = arg(1);
        return;
    case 5:
        if (CGroup* group = Group())
            group->KernelReset();
        return;
    case 6:
        if (length >= 4 + sizeof(double))
            m_interpreter->storeKernelAnswer(arg(0), KernelRecord::GetDouble(args, 4));
        if (m_interpreter->getState() == InterpreterState::WaitingForKernel)
            m_interpreter->setState(InterpreterState::Running);
        Wake();
        return;
    case 7:
        if (arg(0) != 2)
        {
            if (m_service)
                m_service->VosReportLog(148, " Error in Channel %d: Measurement mode not implemented ",
                                        static_cast<int>(m_id));
            return;
        }
        m_measurement = 1;
        if (m_interpreter->getState() == InterpreterState::StoppedAtMarker)
            Continue();
        Wake();
        return;
    case 9:
        if (arg(0) == 2)
            m_interpreter->requestSpindleTest();
        Wake();
        return;
    default:
        return;
    }
}

std::uint32_t CChannel::Command(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    if (!m_interpreter)
    {
        if (m_service)
            m_service->VosReportLog(84, NotReadyMessage, "%u %d", m_id, static_cast<int>(State()));
        return VOSERR_CHANNEL_NOT_READY;
    }
    // The reset waits for the worker, so it takes the lock only for its own steps.
    if (offset == 0x10)
        return ChannelReset();
    Guard lock(m_lock);
    auto need = [&](std::size_t minimum) { return length >= minimum; };
    auto fileName = [&](std::string& name)
    {
        if (length > static_cast<std::size_t>(MaxFileName))
            return false;
        // len + 1 bytes: the name always ends, whatever the sender put in.
        std::string buffer(reinterpret_cast<const char*>(data), length);
        name.assign(buffer.c_str(), strnlen(buffer.c_str(), length));
        return true;
    };
    std::string name;
    switch (offset)
    {
    case 1:
        return need(4) ? LoadDefaultProgram(GetLe32(data)) : VOSERR_INVALID_SIZE;
    case 2:
        return Start();
    case 3:
        return RunText(reinterpret_cast<const char*>(data), length);
    case 4:
    case 6:
        return fileName(name) ? LoadProgram(name) : VOSERR_INVALID_SIZE;
    case 5:
        if (!need(2))
            return VOSERR_INVALID_SIZE;
        SetSwitches(static_cast<std::uint32_t>(data[0] | (data[1] << 8)));
        return 0;
    case 8:
    {
        if (!need(2))
            return VOSERR_INVALID_SIZE;
        const std::uint32_t value = data[0] | (data[1] << 8);
        if (value > 1)
            return VOSERR_INVALID_VALUE;
        m_measurement = value;
        return 0;
    }
    case 0x11:
        m_interpreter->requestStop();
        LogCommand(0x91, "R3 Stop");
        return 0;
    case 0x12:
        return 0;
    case 0x14:
    case 0x15:
        if (!need(72))
            return VOSERR_INVALID_SIZE;
        LogCommand(0x81, offset == 0x14 ? "Enable Retrace" : "go forward again");
        if (CGroup* group = Group())
            group->StartBackupWalk(data, offset == 0x14 ? CFeederBackup::DirectionRetrace
                                                        : CFeederBackup::DirectionForward);
        return 0;
    case 0x18:
    {
        if (!need(18))
            return VOSERR_INVALID_SIZE;
        std::int64_t target = 0;
        std::memcpy(&target, data + 2, sizeof(target));
        m_interpreter->setBlockSearch(data[0] | (data[1] << 8), target);
        LogCommand(0x81, "Enable block search");
        return 0;
    }
    case 0x19:
        LogCommand(0x81, "Block search go ahead");
        return Start();
    case 0x20:
        return WriteZeroPointFile();
    case 0x21:
        return ReadZeroPointFile();
    case 0x22:
        return WriteToolFile();
    case 0x23:
        return ReadToolFile();
    case 0x24:
    case 0x25:
        if (length != 4 && length != 36)
            return VOSERR_INVALID_SIZE;
        if (offset == 0x24)
            m_interpreter->setRestrictedMode(GetLe32(data) != 0);
        else
            m_interpreter->setEdgeRadiusValidation(GetLe32(data) != 0);
        return 0;
    case 0x26:
        return ClearTools();
    case 0x27:
        return ClearZeroPoints();
    case 0x30:
    {
        const InterpreterState state = m_interpreter->getState();
        if (state != InterpreterState::WaitingForIdle && state != InterpreterState::WaitingForKernel)
            return NoKernelWait;
        ReleaseKernelWait(true);
        return 0;
    }
    case 0x50:
        if (length != 0)
            return VOSERR_INVALID_SIZE;
        Event(0, nullptr, 0);
        return 0;
    case 0x51:
    case 0x52:
        if (!need(4))
            return VOSERR_INVALID_SIZE;
        Event(offset - 0x50, data, length);
        return 0;
    case 0x54:
        if (!need(64))
            return VOSERR_INVALID_SIZE;
        Event(3, data, length);
        return 0;
    case 0x56:
        if (CGroup* group = Group())
            group->MarkReset();
        m_interpreter->requestReset();
        Wake();
        return 0;
    default:
        return VOSERR_INVALID_OFFSET;
    }
}
