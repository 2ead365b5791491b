#include "elf_note.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace os::detail
{
namespace
{
// Notes of ours are small; a larger segment is read only up to this much.
constexpr size_t kMaxSegment = 1 << 20;

bool readAt(int fd, void* buffer, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n =
            pread(fd, static_cast<char*>(buffer) + done, size - done, offset + static_cast<off_t>(done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

size_t alignUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Walks the notes of one segment; every size is checked against the segment's end.
bool findInSegment(const std::vector<char>& segment, size_t alignment, std::string_view owner, unsigned type,
                   std::string& contents)
{
    size_t at = 0;
    while (segment.size() - at >= sizeof(ElfW(Nhdr)))
    {
        ElfW(Nhdr) header;
        std::memcpy(&header, segment.data() + at, sizeof header);
        at += sizeof header;
        const size_t nameSize = alignUp(header.n_namesz, alignment);
        const size_t descSize = alignUp(header.n_descsz, alignment);
        if (nameSize > segment.size() - at || descSize > segment.size() - at - nameSize)
            return false;
        const std::string_view name(segment.data() + at, header.n_namesz);
        if (header.n_type == type && header.n_namesz == owner.size() + 1 &&
            name.substr(0, owner.size()) == owner)
        {
            contents.assign(segment.data() + at + nameSize, header.n_descsz);
            return true;
        }
        at += nameSize + descSize;
    }
    return false;
}
} // namespace

NoteSearch findElfNote(const std::string& path, std::string_view owner, unsigned type, std::string& contents)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return NoteSearch::NoFile;
    NoteSearch result = NoteSearch::NotElf;
    ElfW(Ehdr) file;
    if (readAt(fd, &file, sizeof file, 0) && std::memcmp(file.e_ident, ELFMAG, SELFMAG) == 0 &&
        file.e_ident[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) &&
        file.e_phentsize == sizeof(ElfW(Phdr)))
    {
        result = NoteSearch::Missing;
        for (unsigned i = 0; i < file.e_phnum && result == NoteSearch::Missing; ++i)
        {
            ElfW(Phdr) program;
            if (!readAt(fd, &program, sizeof program, static_cast<off_t>(file.e_phoff + i * sizeof program)))
                break;
            if (program.p_type != PT_NOTE || program.p_filesz == 0)
                continue;
            std::vector<char> segment(std::min<size_t>(program.p_filesz, kMaxSegment));
            if (!readAt(fd, segment.data(), segment.size(), static_cast<off_t>(program.p_offset)))
                continue;
            const size_t alignment = program.p_align == 8 ? 8 : 4;
            if (findInSegment(segment, alignment, owner, type, contents))
                result = NoteSearch::Found;
        }
    }
    close(fd);
    return result;
}
} // namespace os::detail
