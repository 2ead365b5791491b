#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The values the build gives the test files (CMakeLists.txt beside this file).
struct Expected
{
    const char* label;
    std::u16string fileName;
    DWORD fileMS, fileLS, productMS, productLS;
    std::string fileVersion, productVersion, description, product;
};

std::u16string programName()
{
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::u16string(path, length);
}

std::u16string loadedLibraryName(const char16_t* library)
{
    HMODULE module = LoadLibraryW(library);
    EXPECT_NE(module, nullptr);
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    FreeLibrary(module);
    return std::u16string(path, length);
}

// The size query, then the fill, as the programs do.
std::vector<BYTE> versionBlock(const std::u16string& fileName)
{
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeW(fileName.c_str(), &handle);
    EXPECT_GT(size, 0u) << "error " << GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    EXPECT_TRUE(GetFileVersionInfoW(fileName.c_str(), 0, size, block.data()));
    return block;
}

// A string as Setupdesk asks for it: through the first translation.
std::string versionString(const std::vector<BYTE>& block, const char* name)
{
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation),
                        &length))
        return "<no translation>";
    EXPECT_EQ(length, 4u);
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
    WCHAR* text = nullptr;
    if (!VerQueryValueW(block.data(), os::toUtf16(path).c_str(), reinterpret_cast<LPVOID*>(&text), &length))
        return "<missing>";
    EXPECT_GT(length, 0u);
    EXPECT_EQ(text[length - 1], u'\0');
    return os::toUtf8(std::u16string_view(text, length - 1));
}

std::vector<char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
} // namespace

TEST(VersionRecords, ProgramAndLibraryReportTheirFields)
{
    const std::vector<Expected> rows = {
        {"program", programName(), 0x00040005, 0x00060007, 0x00010000, 0, "4.5.6.7", RECORD_VERSION,
         "os_version_test", "Version test"},
        {"library by dll name", u"VersionedLib.dll", 0x00020003, 0x000004D2, 0x00020003, 0, "2.3.0.1234",
         "2.3.0.0", "Versioned test library", RECORD_PRODUCT},
        {"dll name in a device folder", u"\\Windows\\versionedlib.DLL", 0x00020003, 0x000004D2, 0x00020003, 0,
         "2.3.0.1234", "2.3.0.0", "Versioned test library", RECORD_PRODUCT},
        {"module file name", loadedLibraryName(u"VersionedLib.dll"), 0x00020003, 0x000004D2, 0x00020003, 0,
         "2.3.0.1234", "2.3.0.0", "Versioned test library", RECORD_PRODUCT},
    };
    ASSERT_EQ(std::string(RECORD_VERSION), "1.0.0.0") << "the product version row above assumes it";
    for (const Expected& row : rows)
    {
        SCOPED_TRACE(row.label);
        const std::vector<BYTE> block = versionBlock(row.fileName);
        ASSERT_FALSE(block.empty());
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwFileVersionMS, row.fileMS);
        EXPECT_EQ(fixed->dwFileVersionLS, row.fileLS);
        EXPECT_EQ(fixed->dwProductVersionMS, row.productMS);
        EXPECT_EQ(fixed->dwProductVersionLS, row.productLS);
        EXPECT_EQ(versionString(block, "FileVersion"), row.fileVersion);
        EXPECT_EQ(versionString(block, "ProductVersion"), row.productVersion);
        EXPECT_EQ(versionString(block, "FileDescription"), row.description);
        EXPECT_EQ(versionString(block, "ProductName"), row.product);
        EXPECT_EQ(versionString(block, "CompanyName"), RECORD_COMPANY);
        EXPECT_EQ(versionString(block, "LegalCopyright"), RECORD_COPYRIGHT);
    }
}

TEST(VersionRecords, TranslationAndNamesIgnoreCaseAndUnknownNamesFail)
{
    const std::vector<BYTE> block = versionBlock(u"VersionedLib.dll");
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation",
                               reinterpret_cast<LPVOID*>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
    WCHAR* text = nullptr;
    EXPECT_TRUE(VerQueryValueW(block.data(), u"\\stringfileinfo\\040904B0\\companyname",
                               reinterpret_cast<LPVOID*>(&text), &length));
    EXPECT_EQ(os::toUtf8(text), RECORD_COMPANY);

    for (const char16_t* unknown :
         {u"\\StringFileInfo\\040904b0\\NoSuchName", u"\\StringFileInfo\\04070000\\CompanyName",
          u"\\StringFileInfo\\CompanyName", u"\\VarFileInfo", u"\\Other"})
    {
        SCOPED_TRACE(os::toUtf8(unknown));
        void* value = &length;
        length = 99;
        SetLastError(0);
        EXPECT_FALSE(VerQueryValueW(block.data(), unknown, &value, &length));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(length, 0u);
    }
}

TEST(VersionRecords, SizeQueryThenFill)
{
    const std::u16string name = u"VersionedLib.dll";
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size + 16, 0xEE);
    SetLastError(0);
    EXPECT_FALSE(GetFileVersionInfoW(name.c_str(), 0, size - 1, block.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(GetFileVersionInfoW(name.c_str(), 0, size, block.data()));
    EXPECT_EQ(block[size], 0xEE) << "nothing written past the size";
    EXPECT_EQ(versionString(block, "FileVersion"), "2.3.0.1234");
}

TEST(VersionRecords, FilesWithoutAUsableRecordFailWithTheirError)
{
    ostest::TempDeviceRoot root;
    const std::string library = os::programDirectory() + "/libVersionedLib.so";
    std::vector<char> bytes = readFile(library);
    ASSERT_FALSE(bytes.empty());
    writeFile(root.path() + "/notes.txt", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
    writeFile(root.path() + "/short.so", std::vector<char>(bytes.begin(), bytes.begin() + 80));

    // A record whose version is no number, and one whose note claims more bytes than its segment has.
    const std::string versionText = "FileVersion=2.3.0.1234";
    auto at = std::search(bytes.begin(), bytes.end(), versionText.begin(), versionText.end());
    ASSERT_NE(at, bytes.end());
    std::vector<char> damaged = bytes;
    damaged[static_cast<size_t>(at - bytes.begin()) + 16] = 'x';
    writeFile(root.path() + "/damaged.so", damaged);
    const std::string owner = std::string("Corvanta") + '\0';
    auto note = std::search(bytes.begin(), bytes.end(), owner.begin(), owner.end());
    ASSERT_NE(note, bytes.end());
    std::vector<char> oversized = bytes;
    const size_t descSize = static_cast<size_t>(note - bytes.begin()) - 8;
    oversized[descSize + 3] = 0x7F;
    writeFile(root.path() + "/oversized.so", oversized);

    struct Row
    {
        std::u16string name;
        DWORD error;
    };
    const std::vector<Row> rows = {
        {u"UnversionedLib.dll", ERROR_RESOURCE_TYPE_NOT_FOUND}, {u"NoSuchLibrary.dll", ERROR_FILE_NOT_FOUND},
        {u"\\Hard Disk\\missing.txt", ERROR_FILE_NOT_FOUND},    {u"\\notes.txt", ERROR_BAD_EXE_FORMAT},
        {u"\\short.so", ERROR_RESOURCE_TYPE_NOT_FOUND},         {u"\\damaged.so", ERROR_INVALID_DATA},
        {u"\\oversized.so", ERROR_RESOURCE_TYPE_NOT_FOUND},     {u"", ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(os::toUtf8(row.name));
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeW(row.name.c_str(), nullptr), 0u);
        EXPECT_EQ(GetLastError(), row.error);
        std::vector<BYTE> block(4096);
        SetLastError(0);
        EXPECT_FALSE(
            GetFileVersionInfoW(row.name.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST(OsVersion, FollowsTheRegistry)
{
    ostest::TempDeviceRoot root;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 7u) << "seeded by the build's registry fragment";
    EXPECT_EQ(info.dwMinorVersion, 0u);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Platform", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const auto set = [&](const char16_t* name, DWORD value)
    {
        ASSERT_EQ(
            RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
            ERROR_SUCCESS);
    };
    struct Row
    {
        DWORD major, minor;
    };
    for (const Row& row : std::vector<Row>{{5, 0}, {6, 0}, {6, 1}, {8, 12}})
    {
        set(u"OsMajorVersion", row.major);
        set(u"OsMinorVersion", row.minor);
        OSVERSIONINFOW current{};
        current.dwOSVersionInfoSize = sizeof current;
        ASSERT_TRUE(GetVersionEx(&current));
        EXPECT_EQ(current.dwMajorVersion, row.major);
        EXPECT_EQ(current.dwMinorVersion, row.minor);
    }
    ASSERT_EQ(RegDeleteValueW(key, u"OsMajorVersion"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, u"OsMinorVersion"), ERROR_SUCCESS);
    OSVERSIONINFOW fallback{};
    fallback.dwOSVersionInfoSize = sizeof fallback;
    ASSERT_TRUE(GetVersionExW(&fallback));
    EXPECT_EQ(fallback.dwMajorVersion, 7u);
    EXPECT_EQ(fallback.dwMinorVersion, 0u);
    RegCloseKey(key);

    OSVERSIONINFOW wrongSize{};
    wrongSize.dwOSVersionInfoSize = sizeof wrongSize - 4;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExW(&wrongSize));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetVersionExW(nullptr));
}
