// The block translator: turns one source block of a part program into
// stack-language text appended to the interpreter's program text. It
// evaluates nothing itself: every word becomes a fixed piece of text that
// the executor runs. The first error stops the block; what was appended stays.
#pragma once

#include <cstdint>
#include <string>

class CInterpreter;
struct DirectiveSetting;

class CBlockTranslator
{
public:
    // Symbol replacements allowed in one block; a text symbol that names
    // itself would otherwise replace for ever.
    static constexpr int ReplacementLimit = 64;

    explicit CBlockTranslator(CInterpreter& interpreter) : m_ip(interpreter) {}

    // Translates one block. With firstOfText the block is registered with the
    // channel's text store first and lineIndex receives its index; otherwise
    // the block belongs to the line lineIndex names. Returns 0 or the error.
    std::uint32_t translate(const std::string& block, bool firstOfText, std::int32_t& lineIndex);
    // The message of a refused cycle parameter ("G%d command: ..."), if any.
    const std::string& message() const { return m_message; }

private:
    // Cursor and output (translator.cpp).
    char at(std::size_t ahead = 0) const;
    bool atEnd() const { return m_pos >= m_block.size(); }
    const char* cursor() const { return m_block.c_str() + m_pos; }
    void advanceTo(const char* p) { m_pos = static_cast<std::size_t>(p - m_block.c_str()); }
    bool keyword(const char* word);
    bool isKeyword(const char* word) const;
    void skipBlanks();
    bool readNumber(double& value);
    bool readIndex(std::uint32_t& value);
    bool readSigned(std::int32_t& value);
    // "R<n>" with an index below 1000.
    bool readR(std::uint32_t& index);
    bool emit(const std::string& piece);
    bool emitMarkers();
    bool emitLineMarker();
    // The first error is the block's; fail also stops the block.
    void noteError(std::uint32_t code);
    bool fail(std::uint32_t code);
    bool syntax();
    void logRange(std::uint32_t number);
    static std::string value(double v);

    void word(bool& replaced);
    void symbol(bool& replaced);
    void lineEnd();
    bool kernelRead();
    void comment();

    // Words (translator_words.cpp).
    bool expression(const char* destination);
    bool operand(bool first);
    bool assignR();
    bool assignP();
    void addressWord(char letter);
    void wordA();
    void wordC();
    void wordD();
    void wordG();
    void r800Word(int operation);
    void wordL();
    void wordM();
    void wordNT();
    void wordP();
    void wordR();
    void wordS();
    void wordW();
    void wordF();
    void wordZ();
    void blockSkip();
    void closingBracket();
    bool valueOrR(const char* constantPrefix, const char* setter);
    bool rangedValueOrR(const char* constantPrefix, const char* setter, double minimum, double maximum);
    // Blanks, the character c, blanks; false when c is not there.
    bool expect(char c);
    bool bracketList(char open, char close, int count, std::string& pushes, std::uint32_t* indexes,
                     bool rOnly);
    bool argumentOperand(std::string& push);
    bool siemensMessage();

    // "@" commands (translator_at.cpp).
    void atCommand();
    bool atOperand(const char* kinds, char& kind, double& v);

    // Directives (translator_directives.cpp).
    void directive();
    bool argumentList(std::string& pushes, int& count);
    bool listSetting(const DirectiveSetting& setting, std::string& text);
    bool paramSetting(std::string& text);
    bool toolRead(std::string& text);

    // Cycle parameter blocks (translator_cycle.cpp).
    bool cycleBlock(int cycle);
    bool cycleValue(int cycle, int index);
    void cycleMessage(int cycle, int index, const char* what);

    CInterpreter& m_ip;
    std::string m_block;
    std::size_t m_pos = 0;
    std::int32_t m_lineIndex = -1;
    bool m_running = true;
    bool m_markersWritten = false;
    bool m_lineOpen = false;    // text written since the last line end
    bool m_blockStart = true;   // no word since the last line end
    bool m_pendingRead = false; // a kernel read is due at the line end
    int m_brackets = 0;
    int m_replacements = 0;
    std::uint32_t m_error = 0;
    std::string m_message;
};
