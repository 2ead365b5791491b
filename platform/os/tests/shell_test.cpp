#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
template <class Entry> Entry entry(HMODULE module, const char* name)
{
    return reinterpret_cast<Entry>(GetProcAddress(module, name));
}
} // namespace

TEST(ShellLibraries, CanonicalPathsAndRelativePaths)
{
    HMODULE shlwapi = LoadLibraryW(u"shlwapi.dll");
    ASSERT_NE(shlwapi, nullptr);
    auto canonicalize = entry<BOOL (*)(LPWSTR, LPCWSTR)>(shlwapi, "PathCanonicalizeW");
    auto isRelative = entry<BOOL (*)(LPCWSTR)>(shlwapi, "PathIsRelativeW");
    ASSERT_TRUE(canonicalize && isRelative);

    const struct
    {
        const char16_t* in;
        const char16_t* out;
    } cases[] = {
        {u"\\Hard Disk\\PKI\\..\\CA\\.\\certs", u"\\Hard Disk\\CA\\certs"},
        {u"/data/pki/../own/", u"/data/own/"},
        {u"a/./b/../../c", u"c"},
        {u"\\..\\x", u"\\x"},
    };
    for (const auto& c : cases)
    {
        WCHAR result[MAX_PATH];
        ASSERT_TRUE(canonicalize(result, c.in));
        EXPECT_EQ(std::u16string(result), c.out) << os::toUtf8(c.in);
    }
    EXPECT_FALSE(isRelative(u"\\Hard Disk"));
    EXPECT_FALSE(isRelative(u"/data"));
    EXPECT_FALSE(isRelative(u"C:/data"));
    EXPECT_TRUE(isRelative(u"PKI/CA"));
    FreeLibrary(shlwapi);
}

TEST(ShellLibraries, SpecialFoldersLieInTheDeviceRoot)
{
    ostest::TempDeviceRoot root;
    HMODULE shell32 = LoadLibraryW(u"shell32.dll");
    ASSERT_NE(shell32, nullptr);
    auto folderPath = entry<BOOL (*)(HWND, LPWSTR, int, BOOL)>(shell32, "SHGetSpecialFolderPathW");
    ASSERT_NE(folderPath, nullptr);
    WCHAR path[MAX_PATH];
    ASSERT_TRUE(folderPath(nullptr, path, 26, TRUE));
    EXPECT_EQ(std::u16string(path), u"\\Application Data");
    EXPECT_TRUE(std::filesystem::is_directory(root.path() + "/Application Data"));
    ASSERT_TRUE(folderPath(nullptr, path, 40, FALSE));
    EXPECT_EQ(std::u16string(path), u"\\My Documents");
    EXPECT_FALSE(folderPath(nullptr, path, 5, FALSE));
    FreeLibrary(shell32);
}
