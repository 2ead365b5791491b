// Which program file each stretch of a channel's program text store came
// from, so that the source line of any block can be named with its file.
#pragma once

#include <cstdint>
#include <string>

class CProgramTextStore;

class CDisplayInfo
{
public:
    static constexpr int MaxFiles = 501;
    static constexpr std::size_t NameSize = 260;
    static constexpr std::uint32_t TooManyFiles = 0x4118;
    static constexpr std::uint32_t NameTooLong = 0x4119;

    explicit CDisplayInfo(CProgramTextStore& store);

    // The file whose lines are added next; 0, TooManyFiles or NameTooLong.
    std::uint32_t AddFile(const std::string& name);
    // The file and line number of the line at a text position; with no file
    // recorded, line 0 and an empty name.
    void FindFile(std::int32_t position, std::string& name, std::uint32_t& lineNumber);
    void ClearFiles();
    int Count() const { return m_count; }

private:
    struct FileRecord
    {
        std::int32_t start = -1;
        char name[NameSize] = {};
    };

    FileRecord m_files[MaxFiles];
    int m_count = 0;
    int m_found = 0;
    CProgramTextStore& m_store;
};
