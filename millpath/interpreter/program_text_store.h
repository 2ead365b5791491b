// The program text store: the source text of every line an interpreter has
// read, so that the line of any block can be shown. A line's position in the
// store is its line index. Each line is kept as its text, a terminating zero
// and a 10-byte link record: the line kind (byte 0), the line number within
// its file (bytes 1 to 4) and the index of the following line (bytes 5 to 8,
// 0 for the last line). The channel owns the store; its owner serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CProgramTextStore
{
public:
    static constexpr std::size_t LinkSize = 10;
    static constexpr std::size_t LinkNextOffset = 5;
    static constexpr std::uint8_t NoKind = 255;

    // A failed allocation leaves a store of size 0 that takes no line.
    explicit CProgramTextStore(std::size_t size);

    // Kind and line number written into the link record of the next line added.
    void setLineInfo(std::uint8_t kind, std::uint32_t lineNumber);
    // Appends a line when its text, zero and link record fit; false otherwise.
    // The previous line's link then names this one.
    bool addLine(const char* text, std::int32_t& index);
    // The text at a position below the total, else null.
    const char* getLine(std::int32_t index) const;
    // Index of the line after the one at index (0 when there is none).
    std::int32_t nextLine(std::int32_t index) const;
    std::uint32_t lineNumber(std::int32_t index) const;
    void clearText();

    std::size_t size() const { return m_size; }
    std::size_t total() const { return m_total; }

private:
    const std::uint8_t* link(std::int32_t index) const;

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_size = 0;
    std::size_t m_total = 0;
    std::int64_t m_previous = -1;
    std::uint8_t m_info[LinkSize - 1] = {NoKind};
};
