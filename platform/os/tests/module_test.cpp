#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
// Loads the test library under a name, calls it and checks the file it came from.
void expectLoadedFrom(const char* name, const std::string& hostFile)
{
    HMODULE module = LoadLibraryA(name);
    ASSERT_NE(module, nullptr) << name;
    auto answer = reinterpret_cast<int (*)(int)>(GetProcAddress(module, "osTestAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(20), 41);

    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string file = os::toUtf8(std::u16string_view(path, length));
    EXPECT_EQ(*os::toHostPath(file), hostFile) << name;
    EXPECT_EQ(file.find('/'), std::string::npos);
    EXPECT_TRUE(FreeLibrary(module));
}
} // namespace

TEST(Modules, LoadsProjectLibraryByItsDllName)
{
    for (const char* name : {"OsTestLib.dll", "ostestlib.DLL"})
        expectLoadedFrom(name, os::programDirectory() + "/libOsTestLib.so");
}

TEST(Modules, ADevicePathLooksInThatDeviceFolderAlone)
{
    ostest::TempDeviceRoot root;
    namespace fs = std::filesystem;
    // Beside the program, but not in the device folders named.
    for (const char* name :
         {"\\Windows\\OsTestLib.dll", "\\Hard Disk\\System\\OsTestLib.dll", "..\\OsTestLib.dll"})
    {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), 126u) << name;
    }

    fs::create_directories(root.path() + "/windows");
    fs::copy_file(os::programDirectory() + "/libOsTestLib.so", root.path() + "/windows/LIBostestlib.so");
    for (const char* name : {"\\Windows\\OsTestLib.dll", "/WINDOWS/ostestlib.dll"})
        expectLoadedFrom(name, root.path() + "/windows/LIBostestlib.so");
    EXPECT_EQ(LoadLibraryA("\\Hard Disk\\System\\OsTestLib.dll"), nullptr);
}

TEST(Modules, MissingExportAndMissingLibrarySetTheirCodes)
{
    HMODULE module = LoadLibraryW(u"OsTestLib.dll");
    ASSERT_NE(module, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "noSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetLastError(), 127u);
    FreeLibrary(module);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"NoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(GetLastError(), 126u);
}

TEST(Modules, ProgramFileName)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(*os::toHostPath(std::string(path)), os::programDirectory() + "/os_module_test");

    // Device code cuts the name at its last "\" and builds paths beside the program.
    std::string beside(path);
    beside = beside.substr(0, beside.rfind('\\')) + "\\Opcwatch.xml";
    EXPECT_EQ(*os::toHostPath(beside), os::programDirectory() + "/Opcwatch.xml");
    char tiny[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, tiny, sizeof tiny), 3u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tiny[3], '\0');
    WCHAR tinyWide[4];
    EXPECT_EQ(GetModuleFileNameW(nullptr, tinyWide, 4), 3u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(tinyWide, 3), os::toUtf16(std::string(path, 3)));
    EXPECT_EQ(tinyWide[3], u'\0');
}
