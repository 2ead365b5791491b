#include "interpreter.h"

#include <cstring>

#include "shared_rparams.h"

CInterpreter::CInterpreter(IInterpreterChannel& channel, std::size_t textSize, unsigned labelCapacity)
    : m_channel(channel), m_text(textSize), m_labels(labelCapacity)
{
    for (auto& def : m_mdefs)
        for (auto& c : def.cancels)
            c = -1;
    m_modal[ModalUnits] = 0x1047; // G71
}

CInterpreter::~CInterpreter() = default;

void CInterpreter::log(std::uint32_t category, std::uint32_t number, const char* format,
                       std::vector<NcLogArg> args)
{
    m_channel.reportLog(makeNcLogMessage(category, number, format, args));
}

void CInterpreter::fail(std::uint32_t message, const char* format, std::vector<NcLogArg> args,
                        std::uint32_t ncError)
{
    args.insert(args.begin(), {channelArg(), lineArg()});
    log(NcMsg::Category, message, format, std::move(args));
    markErrorLine();
    raiseNcError(ncError);
    setState(InterpreterState::Error);
}

void CInterpreter::setState(InterpreterState state)
{
    // A release that came before the wait was armed belongs to an earlier
    // batch: it must not let this wait pass while the group still moves.
    if (state == InterpreterState::WaitingForIdle && static_cast<InterpreterState>(m_state.load()) != state)
        m_waitReleased = false;
    m_state = static_cast<int>(state);
}

InterpreterState CInterpreter::getState() const
{
    if (m_resetRequested)
        return InterpreterState::Resetting;
    if (m_stopOverride)
        return InterpreterState::StopRequested;
    return static_cast<InterpreterState>(m_state.load());
}

void CInterpreter::raiseNcError(std::uint32_t code)
{
    m_ncError = code;
}

std::uint32_t CInterpreter::setTraceMode(int mode)
{
    if (mode < 0 || mode > 2)
        return NcResult::BadValue;
    m_traceMode = mode;
    return NcResult::Ok;
}

void CInterpreter::markErrorLine()
{
    m_errorLine = m_lineIndex;
}

void CInterpreter::pathError(std::int32_t errorLine, std::uint32_t code)
{
    m_errorLine = errorLine;
    raiseNcError(code);
    setState(InterpreterState::Error);
}

bool CInterpreter::setBit(std::uint8_t* bits, int byteCount, int bit)
{
    if (!bits || bit < 0 || bit >= byteCount * 8)
        return false;
    bits[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
    return true;
}

double CInterpreter::getR(int index) const
{
    if (index < 0 || index >= RParams)
        return 0.0;
    if (index >= LocalRParams)
        return SharedRParams::get(index);
    return m_r[index];
}

void CInterpreter::setR(int index, double value)
{
    if (index < 0 || index >= RParams)
        return;
    if (index >= LocalRParams)
        SharedRParams::set(index, value);
    else
        m_r[index] = value;
}

void CInterpreter::setZeroPoint(int axis, int number, double value)
{
    if (axis >= 0 && axis < ZeroPointAxes && number >= 1 && number <= ZeroPointNumbers)
        m_zeroPoints[axis][number - 1] = value;
}

bool CInterpreter::loadProgramText(const std::string& text)
{
    const InterpreterState state = getState();
    if (state != InterpreterState::Idle && state != InterpreterState::Ready &&
        state != InterpreterState::Finished && state != InterpreterState::Aborted)
        return false;
    if (!m_text.resetMain() || !m_text.appendMainBytes(text.data(), text.size()))
    {
        log(NcMsg::Category, NcMsg::TextBufferFull, "%d", {channelArg()});
        return false;
    }
    m_textLength = text.size();
    m_labels.clear();
    m_programLoaded = true;
    reset();
    buildLineStarts();
    return true;
}

bool CInterpreter::defineLabel(const std::string& name, std::int32_t position)
{
    std::int32_t known = 0;
    if (m_labels.find(name.c_str(), known))
        return false;
    return m_labels.define(name.c_str(), position);
}

// Walks the text once, stepping over markers whole, and records where each
// line begins (a line ends at CR or LF).
void CInterpreter::buildLineStarts()
{
    m_lineStarts.clear();
    const char* text = m_text.mainText();
    std::size_t pos = 0;
    bool atStart = true;
    while (pos < m_textLength)
    {
        const unsigned char b = static_cast<unsigned char>(text[pos]);
        if (atStart)
        {
            m_lineStarts.push_back(pos);
            atStart = false;
        }
        if (b >= 0x80)
        {
            pos += (b & 0x7F) ? (b & 0x7F) : 1;
            continue;
        }
        if (b == '\n' || b == '\r')
        {
            while (pos < m_textLength && (text[pos] == '\n' || text[pos] == '\r'))
                ++pos;
            atStart = true;
            continue;
        }
        ++pos;
    }
}

std::size_t CInterpreter::lineOfPosition(std::size_t position) const
{
    std::size_t line = 0;
    for (std::size_t i = 0; i < m_lineStarts.size() && m_lineStarts[i] <= position; ++i)
        line = i;
    return line;
}

// The own dialect registers "L<n>" words that begin a line (after its
// markers) as labels at the position of the word.
void CInterpreter::prepareProgramText()
{
    const char* text = m_text.mainText();
    for (std::size_t start : m_lineStarts)
    {
        std::size_t pos = start;
        while (pos < m_textLength)
        {
            const unsigned char b = static_cast<unsigned char>(text[pos]);
            if (b >= 0x80)
                pos += (b & 0x7F) ? (b & 0x7F) : 1;
            else if (b == ' ' || b == '\t')
                ++pos;
            else
                break;
        }
        if (pos >= m_textLength || (text[pos] != 'L' && text[pos] != 'l'))
            continue;
        std::size_t end = pos + 1;
        while (end < m_textLength && text[end] >= '0' && text[end] <= '9')
            ++end;
        if (end == pos + 1 || (end < m_textLength && text[end] != ' ' && text[end] != '\t' &&
                               text[end] != '\n' && text[end] != '\r'))
            continue;
        const std::string name = "L" + std::string(text + pos + 1, end - pos - 1);
        defineLabel(name, static_cast<std::int32_t>(pos));
    }
}

bool CInterpreter::startProgram()
{
    m_blockCounter = 0;
    m_lineIndex = -1;
    enterCode(ProgramCode, 0);
    m_markerPassed = false;
    m_rulesSent = false;
    prepareProgramText();
    enterCode(ProgramCode, 0);
    const std::uint32_t error = m_channel.prepareGroup();
    if (error != 0)
    {
        log(NcMsg::Category, NcMsg::PrepareGroupFailed, "%d%x",
            {channelArg(), static_cast<long long>(error)});
        markErrorLine();
        setState(InterpreterState::Error);
        return false;
    }
    if (m_channel.programLogOn())
        log(NcMsg::TraceCategory, NcMsg::ProgramName, "%d%s", {channelArg(), m_channel.programName()});
    m_programStarted = true;
    setState(InterpreterState::Started);
    return true;
}

void CInterpreter::reset()
{
    enterCode(ProgramCode, 0);
    m_stack.clear();
    m_calls.clear();
    m_block = CBlockState{};
    clearBlockSetters();
    for (auto& f : m_functions)
        f.pending = false;
    std::memset(m_groupMPending, 0, sizeof(m_groupMPending));
    for (int i = 0; i < ModalGroupCount; ++i)
        m_modalChanged[i] = false;
    m_functionChanged = false;
    m_pendingOutputs = 0;
    m_geometryPrepared = false;
    m_geometryPending = false;
    m_rulesPending = false;
    m_rulesSent = false;
    m_msgPending = false;
    m_condition = 0;
    m_mismatches = 0;
    m_cornerRadiusZero = false;
    for (bool& side : m_macroSides)
        side = false;
    m_threePoint = false;
    m_kernelRead = KernelRead{};
    m_waited = false;
    m_waitAfterFlush = false;
    m_stopMarker = false;
    m_stopRequested = false;
    m_jumpStarted = false;
    m_programStarted = false;
    m_waitReleased = false;
    m_waitIdleReleased = false;
    m_stopOverride = false;
    m_lineIndex = -1;
    m_blockCounter = 0;
    setState(m_programLoaded ? InterpreterState::Ready : InterpreterState::Idle);
}

void CInterpreter::requestSpindleTest()
{
    m_block.m_spindleTestPending = true;
    markOutput();
}

void CInterpreter::requestMClear()
{
    m_block.m_mClearPending = true;
    markOutput();
}

bool CInterpreter::resetAndSend()
{
    reset();
    auto* entry = new CEntryMFunk;
    entry->m_kind = static_cast<std::uint16_t>(MFunkKind::Clear);
    for (auto& m : entry->m_mNumbers)
        m = 255;
    if (m_channel.addEntry(entry) == AddEntry::Taken)
        return true;
    delete entry;
    return false;
}

void CInterpreter::setBlockSearch(int kind, std::int64_t target)
{
    m_searchActive = kind == 1 || kind == 2;
    m_searchKind = m_searchActive ? kind : 0;
    m_searchTarget = target;
    m_searchToEnd = false;
    m_restartLine = -1;
}

int CInterpreter::step()
{
    if (m_resetRequested)
    {
        reset();
        m_resetRequested = false;
        return 0;
    }
    if (m_stopOverride)
        return InterpreterIdleWaitMs;

    switch (static_cast<InterpreterState>(m_state.load()))
    {
    case InterpreterState::StartRequested:
        if (m_programStarted)
            setState(InterpreterState::Running);
        else
            startProgram();
        return 0;
    case InterpreterState::Started:
        setState(InterpreterState::Running);
        return 0;
    case InterpreterState::Running:
        execute();
        // A word whose entry found no room runs again after a wait.
        return m_wordRetry ? InterpreterIdleWaitMs : 0;
    case InterpreterState::WaitingForIdle:
        if (m_waitReleased || !m_channel.groupHasUnfinishedMotion())
        {
            const bool stop = m_stopMarker;
            m_stopMarker = false;
            // A "wait_idle" word runs again and passes on this release.
            m_waitIdleReleased = !stop && at("wait_idle");
            m_waitReleased = false;
            setState(stop ? InterpreterState::Ready : InterpreterState::Running);
            return 0;
        }
        return InterpreterIdleWaitMs;
    case InterpreterState::OutputPending:
    case InterpreterState::StopNotTaken:
    {
        const bool stopping = static_cast<InterpreterState>(m_state.load()) == InterpreterState::StopNotTaken;
        const Emit result = flushBlock();
        if (result == Emit::NotNow)
            return InterpreterIdleWaitMs;
        if (result == Emit::Failed)
            return 0;
        if (stopping || m_waitAfterFlush)
        {
            m_waitAfterFlush = false;
            setState(InterpreterState::WaitingForIdle);
        }
        else
            setState(InterpreterState::Running);
        return 0;
    }
    case InterpreterState::JumpPending:
        resolveJump();
        return 0;
    case InterpreterState::EndOfProgram:
        setState(InterpreterState::Finished);
        return 0;
    case InterpreterState::Error:
        setState(InterpreterState::Aborted);
        return 0;
    default:
        return InterpreterIdleWaitMs;
    }
}

void CInterpreter::runWholeText()
{
    enterCode(ProgramCode, 0);
    setState(InterpreterState::Running);
    while (m_cursor < codeLength() && code()[m_cursor] != '\0' && getState() == InterpreterState::Running)
        execute();
}

std::uint8_t CInterpreter::mDefinitionFlags(int m) const
{
    return (m >= 0 && m < MDefCount) ? m_mdefs[m].flags : 0;
}

bool CCorvantaInterpreter::writeMdBit(int, int, int)
{
    return true;
}

bool CCorvantaInterpreter::readMdBit(int, int, int& value)
{
    value = 0;
    return true;
}
