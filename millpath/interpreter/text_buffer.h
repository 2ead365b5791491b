// Text buffers in which stack-language text is assembled: a main buffer of a
// size given at construction and a second buffer of SecondSize bytes.
#pragma once

#include <cstddef>
#include <memory>

class CTextBuffer
{
public:
    static constexpr std::size_t SecondSize = 10240;

    explicit CTextBuffer(std::size_t mainSize);

    bool resetMain();
    bool resetSecond();
    std::size_t mainLength() const { return m_mainPos; }
    std::size_t mainSize() const { return m_mainSize; }
    // Fail when the text would not fit with its terminating zero.
    bool appendMain(const char* text);
    bool appendMainBytes(const void* bytes, std::size_t length);
    bool appendSecond(const char* text);
    void freeAll();

    const char* mainText() const { return m_main.get(); }
    char* mainData() { return m_main.get(); }
    const char* secondText() const { return m_second.get(); }

private:
    static bool append(char* buffer, std::size_t size, std::size_t& pos, const void* bytes,
                       std::size_t length);

    std::unique_ptr<char[]> m_main;
    std::size_t m_mainSize = 0;
    std::size_t m_mainPos = 0;
    std::unique_ptr<char[]> m_second;
    std::size_t m_secondSize = 0;
    std::size_t m_secondPos = 0;
};
