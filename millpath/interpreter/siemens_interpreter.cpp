#include "siemens_interpreter.h"

CSiemensInterpreter::CSiemensInterpreter(IInterpreterChannel& channel, std::size_t textSize,
                                         unsigned labelCapacity)
    : CInterpreter(channel, textSize, labelCapacity)
{
    m_modal[ModalMachineData] = ModeClear;
}

bool CSiemensInterpreter::refused(int word, int bit)
{
    if (bit < 0 || bit > 7)
    {
        fail(NcMsg::MachineDataBitIndex, "%d%d%d", {static_cast<long long>(bit)}, NcError::MachineDataBit);
        return true;
    }
    if (word != WordValue && word != WordModes)
    {
        fail(NcMsg::MachineDataWord, "%d%d%d", {static_cast<long long>(word)}, NcError::MachineDataBit);
        return true;
    }
    return false;
}

bool CSiemensInterpreter::readMdBit(int word, int bit, int& value)
{
    if (refused(word, bit))
        return false;
    if (word == WordValue)
        value = bit == 0 ? m_word5000 : 0;
    else
        value = bit == ModeBit && m_modeBit ? 1 : 0;
    return true;
}

bool CSiemensInterpreter::writeMdBit(int word, int bit, int value)
{
    if (refused(word, bit))
        return false;
    if (word != WordModes)
    {
        // Word 5000 is read-only: a write fails as for an unknown word.
        fail(NcMsg::MachineDataWord, "%d%d%d", {static_cast<long long>(word)}, NcError::MachineDataBit);
        return false;
    }
    if (bit == ModeBit)
    {
        m_modeBit = value != 0;
        setModalCode(ModalMachineData, m_modeBit ? ModeSet : ModeClear);
    }
    return true;
}

void CSiemensInterpreter::raiseNcError(std::uint32_t code)
{
    CInterpreter::raiseNcError(code);
    if (code == 0)
        return;
    if (m_errorLine < 0)
        m_errorLine = m_lineIndex >= 0 ? m_lineIndex.load() : m_translatedLine;
    setState(InterpreterState::Error);
}
