// Programs from part-program source: loading files and texts through the
// block translator, sub-program files and the labels they resolve.
#include "interpreter.h"
#include "nc_files.h"
#include "translator.h"

namespace
{
std::string joinPath(const std::string& dir, const std::string& file)
{
    return dir.empty() ? file : dir + "/" + file;
}
} // namespace

bool CInterpreter::appendProgramText(const char* text, std::size_t length)
{
    if (!m_text.appendMainBytes(text, length))
    {
        log(NcMsg::Category, NcMsg::TextBufferFull, "%d", {channelArg()});
        return false;
    }
    m_textLength = m_text.mainLength();
    return true;
}

std::uint32_t CInterpreter::registerLabel(const std::string& name, std::int32_t position)
{
    std::int32_t known = 0;
    if (m_labels.find(name.c_str(), known))
        return NcError::Syntax;
    return m_labels.define(name.c_str(), position) ? 0 : NcError::LabelNotFound;
}

bool CInterpreter::referenceLabel(const std::string& name)
{
    return m_labels.reference(name.c_str());
}

void CInterpreter::createTextSymbol(const std::u16string& name, const std::string& text)
{
    auto symbol = std::make_unique<CSymbol>(SymbolType::Text, name);
    symbol->setText(text);
    m_symbols.add(std::move(symbol));
}

void CInterpreter::createAxisSymbol(const std::u16string& name, const AxisDescription& description)
{
    m_symbols.add(std::make_unique<CSymbolAxis>(name, description));
}

std::uint32_t CInterpreter::translateBlock(const std::string& block, std::string* message)
{
    std::int32_t lineIndex = -1;
    std::uint32_t error = 0;
    m_translationMessage.clear();
    if (!m_channel.hasSecondKernelAddress())
    {
        CBlockTranslator translator(*this);
        error = translator.translate(block, true, lineIndex);
    }
    else
    {
        std::string text = block;
        if ((text.empty() || text.back() != '\n') && text.size() + 1 < SourceLineLimit)
            text += '\n';
        if (!m_channel.textStore().addLine(text.c_str(), lineIndex))
            error = NcError::TextBufferFull;
        std::string answer;
        const std::uint32_t vosError = error == 0 ? m_channel.preprocessBlock(text, answer) : 0;
        if (vosError != 0)
        {
            log(NcMsg::Category, NcMsg::KernelTranslation, "%d%x",
                {channelArg(), static_cast<long long>(vosError)});
            error = NcError::Syntax;
        }
        // Every answered line belongs to the block's line.
        std::size_t start = 0;
        while (error == 0 && start < answer.size())
        {
            const std::size_t end = answer.find('\n', start);
            const std::size_t next = end == std::string::npos ? answer.size() : end + 1;
            CBlockTranslator translator(*this);
            error = translator.translate(answer.substr(start, next - start), false, lineIndex);
            start = next;
        }
        if (error != 0)
            raiseNcError(error);
    }
    m_translatedLine = lineIndex;
    if (message)
        *message = m_translationMessage;
    return error;
}

std::uint32_t CInterpreter::translateLines(const std::string& text)
{
    std::uint32_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size())
    {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        m_channel.textStore().setLineInfo(0, ++lineNumber);
        if (const std::uint32_t error = translateBlock(text.substr(start, next - start)); error != 0)
            return error;
        start = next;
    }
    return 0;
}

std::uint32_t CInterpreter::beginProgram()
{
    const InterpreterState state = getState();
    if (state != InterpreterState::Idle && state != InterpreterState::Ready &&
        state != InterpreterState::Finished && state != InterpreterState::Aborted)
        return NcResult::NotAllowed;
    m_text.resetMain();
    m_textLength = 0;
    m_labels.clear();
    m_programLoaded = false;
    m_channel.textStore().clearText();
    m_translatedBlockNo = 0;
    m_translatedLine = -1;
    m_ncError = 0;
    m_errorLine = -1;
    reset();
    return 0;
}

std::uint32_t CInterpreter::loadFailed(std::uint32_t code)
{
    buildLineStarts();
    m_errorLine = m_translatedLine;
    raiseNcError(code);
    setState(InterpreterState::Error);
    return code;
}

std::uint32_t CInterpreter::appendProgramFile(const std::string& path)
{
    std::string text;
    if (!NcReadDeviceFile(path, text))
    {
        log(NcMsg::Category, NcMsg::SubProgramMissing, "%d%s", {channelArg(), path});
        return loadFailed(NcError::LabelNotFound);
    }
    m_channel.programFileOpened(path);
    const std::uint32_t error = translateLines(text);
    return error != 0 ? loadFailed(error) : 0;
}

std::uint32_t CInterpreter::appendProgramSource(const std::string& text)
{
    const std::uint32_t error = translateLines(text);
    return error != 0 ? loadFailed(error) : 0;
}

// Labels the text calls but does not define come from their files, which
// are appended after the program: loaded at the call they would sit inside
// the caller's text and run on into its next block.
std::uint32_t CInterpreter::finishProgram()
{
    for (;;)
    {
        const std::string name = m_labels.firstUnresolved(0);
        if (name.empty())
            break;
        if (const std::uint32_t error = appendSubProgram(name); error != 0)
            return loadFailed(error);
    }
    buildLineStarts();
    m_programLoaded = true;
    reset();
    return 0;
}

std::uint32_t CInterpreter::loadProgramFile(const std::string& path)
{
    std::uint32_t error = beginProgram();
    if (error == 0)
        error = appendProgramFile(path);
    return error != 0 ? error : finishProgram();
}

std::uint32_t CInterpreter::loadProgramSource(const std::string& text)
{
    std::uint32_t error = beginProgram();
    if (error == 0)
        error = appendProgramSource(text);
    return error != 0 ? error : finishProgram();
}

std::uint32_t CInterpreter::appendSubProgram(const std::string& name)
{
    const std::string file = name + ".nc";
    const bool subFirst = !m_subProgramDir.empty();
    const std::string dirs[2] = {subFirst ? m_subProgramDir : m_projectDir,
                                 subFirst ? m_projectDir : m_subProgramDir};
    std::string text;
    std::string path;
    for (int i = 0; i < 2 && path.empty(); ++i)
    {
        if (i == 1 && dirs[1] == dirs[0])
            break;
        if (NcReadDeviceFile(joinPath(dirs[i], file), text))
            path = joinPath(dirs[i], file);
    }
    if (path.empty())
    {
        log(NcMsg::Category, NcMsg::SubProgramMissing, "%d%s", {channelArg(), name});
        return NcError::LabelNotFound;
    }
    m_channel.programFileOpened(path);
    const auto start = static_cast<std::int32_t>(m_textLength);
    if (const std::uint32_t error = translateLines(text); error != 0)
        return error;
    // A file without its own label line is the sub-program from its start.
    std::int32_t position = 0;
    if (!m_labels.find(name.c_str(), position))
        if (const std::uint32_t error = registerLabel(name, start); error != 0)
            return error;
    buildLineStarts();
    return 0;
}

std::uint32_t CInterpreter::openSubProgram(const std::string& name)
{
    return appendSubProgram(name);
}

int CInterpreter::findSubProgramLabel(const std::string& name, std::int32_t& position)
{
    if (!m_labels.find(name.c_str(), position) && appendSubProgram(name) != 0)
        return 0;
    return m_labels.find(name.c_str(), position) ? 1 : 0;
}
