#include <windows.h>

#include <gtest/gtest.h>

TEST(Modules, LoadsProjectLibraryByItsDllName)
{
    for (const char* name : {"OsTestLib.dll", "ostestlib.DLL", "\\Windows\\OsTestLib.dll"})
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
        EXPECT_EQ(*os::toHostPath(file), os::programDirectory() + "/libOsTestLib.so");
        EXPECT_EQ(file.find('/'), std::string::npos);
        EXPECT_TRUE(FreeLibrary(module));
    }
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
