// The interpreter of the second dialect. It translates through the own
// translator (its blocks are pre-processed by the kernel when the channel has
// a second kernel address) with its own message word, keeps two machine-data
// words, and marks an error line whenever an error is raised.
#pragma once

#include "interpreter.h"

class CSiemensInterpreter : public CInterpreter
{
public:
    static constexpr int WordValue = 5000;
    static constexpr int WordModes = 5003;
    static constexpr int ModeBit = 5;
    static constexpr std::uint32_t ModeClear = 0x200A;
    static constexpr std::uint32_t ModeSet = 0x200B;

    CSiemensInterpreter(IInterpreterChannel& channel, std::size_t textSize, unsigned labelCapacity);

    bool readMdBit(int word, int bit, int& value) override;
    bool writeMdBit(int word, int bit, int value) override;
    void raiseNcError(std::uint32_t code) override;
    bool secondDialect() const override { return true; }

    // The value of machine-data word 5000, which programs only read.
    void setWord5000(int value) { m_word5000 = value; }

private:
    // Refuses a bit above 7 or another word: message, error line, 0x4145.
    bool refused(int word, int bit);

    int m_word5000 = 0;
    bool m_modeBit = false;
};
