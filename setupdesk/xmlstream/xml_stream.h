// The small streaming XML reader of the configuration program: a tokenizer that pulls
// blocks from a source into a fixed buffer, with one character of push-back and line
// and column counters. The boot project files it reads are small and plain, so it
// knows only what they use; anything else is a malformed token.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace setupdesk::xml
{
// Token kinds as nextToken() gives them.
enum Token : int
{
    kTokenEnd = 0,           // end of input
    kTokenMalformed = 1,     // anything not below, or a token longer than the scratch buffer
    kTokenStartTag = 2,      // "<name"
    kTokenEndTag = 3,        // "</name>"
    kTokenEmptyEnd = 4,      // "/>"
    kTokenAttribute = 5,     // name="value" or name='value'
    kTokenTagClose = 6,      // ">"
    kTokenText = 7,          // character data up to the next "<", a newline, blank or tab
    kTokenNewline = 8,       // CR, LF, CR LF or LF CR
    kTokenBlanks = 9,        // a run of blanks and tabs
    kTokenPiStart = 10,      // "<?name"
    kTokenPiEnd = 11,        // "?>"
    kTokenCommentStart = 12, // "<!--"
    kTokenCdataStart = 14,   // "<![CDATA["
    kTokenDoctype = 16,      // "<!DOCTYPE"
};

// Gives up to `size` bytes of the source; 0 at its end.
using ReadCallback = std::function<size_t(char* buffer, size_t size)>;

// Reads a source through a callback into a buffer of kBufferSize bytes.
class CXmlStream
{
public:
    static constexpr size_t kBufferSize = 2048;
    static constexpr size_t kScratchSize = 2048;

    explicit CXmlStream(ReadCallback read);

    // The next token; its name and text are in name() and text().
    int nextToken();
    // The tag, attribute or instruction name of the last token.
    const std::string& name() const { return m_name; }
    // The attribute value, character data, newline or blanks of the last token.
    std::string text() const { return std::string(m_scratch.data(), m_scratchLength); }
    // The last token did not fit the scratch buffer.
    bool overflowed() const { return m_overflow; }

    // Reads raw characters up to and past the marker ("-->", "]]>", "?>"), keeping what
    // lies before it in `content` when given; false at the end of input, or when the
    // content does not fit the scratch buffer.
    bool skipPast(const char* marker, std::string* content = nullptr);

    // Lines start at 1, columns at 0; a newline of any form counts once.
    int line() const { return m_position.line; }
    int column() const { return m_position.column; }

    // Characters, with one of push-back.
    int getChar();
    void ungetChar();

private:
    struct Position
    {
        size_t read = 0;
        int line = 1;
        int column = 0;
        int pairsWith = 0; // the newline character that would complete the last newline
    };

    bool refill();
    int readName(std::string& name);
    bool appendScratch(char c);
    int contentToken(int c);
    int markupToken();
    int tagToken(int c);
    int attributeToken();
    bool expect(const char* rest);

    ReadCallback m_read;
    std::array<char, kBufferSize> m_buffer{};
    size_t m_fill = 0;
    Position m_position;
    Position m_before; // where the last character was taken from
    bool m_canUnget = false;
    bool m_inTag = false; // between a start tag's name and its ">" or "/>"
    bool m_inPi = false;  // between "<?name" and "?>"
    std::array<char, kScratchSize> m_scratch{};
    size_t m_scratchLength = 0;
    bool m_overflow = false;
    std::string m_name;
};

// A read callback over a file opened with mode "rb".
class CFileSource
{
public:
    explicit CFileSource(const std::string& hostPath) : m_file(std::fopen(hostPath.c_str(), "rb")) {}
    ~CFileSource()
    {
        if (m_file)
            std::fclose(m_file);
    }
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    ReadCallback callback()
    {
        return [this](char* buffer, size_t size) { return std::fread(buffer, 1, size, m_file); };
    }

private:
    std::FILE* m_file;
};
} // namespace setupdesk::xml
