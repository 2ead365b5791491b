#pragma once

#include <string>
#include <string_view>

namespace os::detail
{
enum class NoteSearch
{
    Found,
    NoFile,
    NotElf, // not a program or library of this machine's kind
    Missing
};

// Finds the note of the given owner and type in the note segments of an ELF file and
// gives its contents. Reads the file, not a loaded image, so any file can be asked.
NoteSearch findElfNote(const std::string& path, std::string_view owner, unsigned type, std::string& contents);
} // namespace os::detail
