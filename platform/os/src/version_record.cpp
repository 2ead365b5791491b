// The file-version calls over the version record note that the build writes into
// every program and library (cmake/VersionRecord.cmake writes the same owner, type
// and "Name=Value" lines).
#include <os/deviceroot.h>
#include <os/module.h>
#include <os/text.h>
#include <os/version.h>

#include "elf_note.h"
#include "registry_tree.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace
{
constexpr std::string_view kNoteOwner = "Corvanta";
constexpr unsigned kNoteType = 0x5652;    // "VR"
constexpr DWORD kBlockMagic = 0x31425256; // "VRB1"
constexpr WORD kLanguage = 0x0409;
constexpr WORD kCodePage = 0x04B0;
constexpr std::u16string_view kTranslationText = u"040904b0";

// The block GetFileVersionInfo fills: this header, then per string its key and value
// lengths in characters (with terminators) and the two terminated texts.
struct BlockHeader
{
    DWORD magic;
    DWORD size;
    VS_FIXEDFILEINFO fixed;
    WORD translation[2];
    DWORD stringCount;
};

struct Record
{
    VS_FIXEDFILEINFO fixed{};
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

bool isFile(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string resolveFile(const std::u16string& name)
{
    if (const auto host = os::toHostPath(name); host && isFile(*host))
        return *host;
    return os::libraryPathInProgramFolder(os::toUtf8(name));
}

// "a.b.c.d" (missing parts 0) as the two version words.
bool parseVersion(const std::string& text, DWORD& high, DWORD& low)
{
    DWORD parts[4] = {};
    size_t part = 0;
    size_t at = 0;
    while (at < text.size())
    {
        if (part == 4)
            return false;
        size_t digits = 0;
        unsigned long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6)
        {
            value = value * 10 + static_cast<unsigned long>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 0xFFFF)
            return false;
        parts[part++] = static_cast<DWORD>(value);
        if (at < text.size() && text[at++] != '.')
            return false;
    }
    high = parts[0] << 16 | parts[1];
    low = parts[2] << 16 | parts[3];
    return part > 0;
}

std::optional<Record> parseRecord(const std::string& text)
{
    Record record;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            return std::nullopt;
        const std::string name = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (name == "FileVersion" &&
            !parseVersion(value, record.fixed.dwFileVersionMS, record.fixed.dwFileVersionLS))
            return std::nullopt;
        if (name == "ProductVersion" &&
            !parseVersion(value, record.fixed.dwProductVersionMS, record.fixed.dwProductVersionLS))
            return std::nullopt;
        record.strings.emplace_back(os::toUtf16(name), os::toUtf16(value));
        if (record.strings.back().first.size() >= 0xFFFF || record.strings.back().second.size() >= 0xFFFF)
            return std::nullopt;
    }
    return record;
}

void append(std::vector<BYTE>& block, const void* data, size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(data);
    block.insert(block.end(), bytes, bytes + size);
}

std::vector<BYTE> buildBlock(const Record& record)
{
    std::vector<BYTE> block(sizeof(BlockHeader));
    for (const auto& [name, value] : record.strings)
    {
        const WORD lengths[2] = {static_cast<WORD>(name.size() + 1), static_cast<WORD>(value.size() + 1)};
        append(block, lengths, sizeof lengths);
        append(block, name.c_str(), (name.size() + 1) * sizeof(char16_t));
        append(block, value.c_str(), (value.size() + 1) * sizeof(char16_t));
    }
    BlockHeader header{kBlockMagic,
                       static_cast<DWORD>(block.size()),
                       record.fixed,
                       {kLanguage, kCodePage},
                       static_cast<DWORD>(record.strings.size())};
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

// The block of a file, or nothing with the last error set.
std::optional<std::vector<BYTE>> readBlock(LPCWSTR fileName)
{
    if (!fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    const std::string path = resolveFile(fileName);
    std::string text;
    switch (path.empty() ? os::detail::NoteSearch::NoFile
                         : os::detail::findElfNote(path, kNoteOwner, kNoteType, text))
    {
    case os::detail::NoteSearch::NoFile:
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    case os::detail::NoteSearch::NotElf:
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return std::nullopt;
    case os::detail::NoteSearch::Missing:
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return std::nullopt;
    case os::detail::NoteSearch::Found:
        break;
    }
    const auto record = parseRecord(text);
    if (!record)
    {
        SetLastError(ERROR_INVALID_DATA);
        return std::nullopt;
    }
    return buildBlock(*record);
}

bool same(const std::u16string& a, std::u16string_view b)
{
    return os::compareNoCase(a, b) == 0;
}

const char16_t* findString(const BYTE* block, const BlockHeader& header, const std::u16string& name,
                           UINT& length)
{
    size_t at = sizeof(BlockHeader);
    for (DWORD i = 0; i < header.stringCount; ++i)
    {
        WORD lengths[2];
        std::memcpy(lengths, block + at, sizeof lengths);
        const auto* key = reinterpret_cast<const char16_t*>(block + at + sizeof lengths);
        const char16_t* value = key + lengths[0];
        if (same(name, std::u16string_view(key, lengths[0] - 1u)))
        {
            length = lengths[1];
            return value;
        }
        at += sizeof lengths + (lengths[0] + lengths[1]) * sizeof(char16_t);
    }
    return nullptr;
}
} // namespace

extern "C" DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    const auto block = readBlock(fileName);
    if (!block)
        return 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(block->size());
}

extern "C" BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD size, LPVOID data)
{
    if (!data)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto block = readBlock(fileName);
    if (!block)
        return FALSE;
    if (size < block->size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(data, block->data(), block->size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    if (!block || !subBlock || !buffer || !length)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *buffer = nullptr;
    *length = 0;
    const auto* bytes = static_cast<const BYTE*>(block);
    BlockHeader header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.magic != kBlockMagic)
    {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    // Value paths are split as key paths are.
    const std::vector<std::u16string> path = os::detail::splitKeyPath(subBlock);
    if (path.empty())
    {
        *buffer = const_cast<BYTE*>(bytes + offsetof(BlockHeader, fixed));
        *length = sizeof(VS_FIXEDFILEINFO);
        return TRUE;
    }
    if (path.size() == 2 && same(path[0], u"VarFileInfo") && same(path[1], u"Translation"))
    {
        *buffer = const_cast<BYTE*>(bytes + offsetof(BlockHeader, translation));
        *length = sizeof header.translation;
        return TRUE;
    }
    if (path.size() == 3 && same(path[0], u"StringFileInfo") && same(path[1], kTranslationText))
    {
        UINT found = 0;
        if (const char16_t* value = findString(bytes, header, path[2], found))
        {
            *buffer = const_cast<char16_t*>(value);
            *length = found;
            return TRUE;
        }
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}
