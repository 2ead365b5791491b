// Intel hex files as the boot loader takes them: whole lines, and records
// checked in full before anything is sent.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace boardkit
{

struct HexRecord
{
    std::vector<BYTE> bytes; // byte count, address (2), type, data, checksum: as in the file
    WORD address = 0;
    BYTE type = 0;

    std::string_view dataText() const; // the data up to its first zero byte
};

// One line without its line end: ":" and hex pairs whose byte count matches
// the line and whose bytes sum to 0 (the checksum). Blanks around it are
// allowed; anything else is not a record.
bool parseHexRecord(std::string_view line, HexRecord& record);

// Reads a file line by line; a line longer than any record is cut and marked.
class HexLineReader
{
public:
    static constexpr size_t kMaxLine = 1 + 2 * (255 + 5);

    explicit HexLineReader(HANDLE file) : m_file(file) {}

    // The next line, false at the end of the file or on a read error (error()).
    bool next(std::string& line, bool& overlong);
    DWORD error() const { return m_error; }
    // Bytes of the file consumed so far.
    DWORD position() const { return m_position; }

private:
    bool fill();

    HANDLE m_file;
    char m_buffer[4096];
    DWORD m_size = 0;
    DWORD m_next = 0;
    DWORD m_position = 0;
    DWORD m_error = 0;
};

} // namespace boardkit
