// The shipped library: "Boardkit.dll" loads by name, and its exported
// functions are exactly those of the export table, each found by name.
#include "export_table.h"

#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace boardkit::testing
{
namespace
{

// The global functions a shared library defines in its dynamic symbol table.
std::set<std::string> exportedFunctions(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(file)), {});
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr))
        return names;
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i)
    {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr& strings = sections[sections[i].sh_link];
        const auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        const size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (size_t s = 0; s < count; ++s)
        {
            const Elf64_Sym& symbol = symbols[s];
            if (symbol.st_shndx != SHN_UNDEF && ELF64_ST_TYPE(symbol.st_info) == STT_FUNC &&
                ELF64_ST_BIND(symbol.st_info) == STB_GLOBAL)
                names.insert(image.data() + strings.sh_offset + symbol.st_name);
        }
    }
    return names;
}

TEST(BoardkitLibrary, ExportsExactlyTheTableByName)
{
    const std::set<std::string> exported = exportedFunctions(os::programDirectory() + "/libBoardkit.so");
    std::set<std::string> expected;
    for (const ExportRow& row : exportTable())
        expected.insert(row.symbol);
    EXPECT_EQ(exported, expected);

    HMODULE library = LoadLibraryW(u"Boardkit.dll");
    ASSERT_NE(library, nullptr) << GetLastError();
    for (const std::string& symbol : expected)
        EXPECT_NE(GetProcAddress(library, symbol.c_str()), nullptr) << symbol;
    FreeLibrary(library);
}

} // namespace
} // namespace boardkit::testing
