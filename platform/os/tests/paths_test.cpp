#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
std::string readHostFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(DevicePaths, MapBelowTheDeviceRoot)
{
    ostest::TempDeviceRoot root;
    EXPECT_EQ(os::deviceRoot(), root.path());
    const struct
    {
        std::string device;
        std::string host;
    } cases[] = {
        {"\\Hard Disk\\PKI\\CA", "/Hard Disk/PKI/CA"},
        {"Hard Disk\\WWW\\index.htm", "/Hard Disk/WWW/index.htm"},
        {"/Hard Disk/PKI", "/Hard Disk/PKI"},
        {"\\Windows\\.\\a\\..\\b.txt", "/Windows/b.txt"},
        {"\\", ""},
    };
    for (const auto& c : cases)
    {
        const auto host = os::toHostPath(c.device);
        ASSERT_TRUE(host) << c.device;
        EXPECT_EQ(*host, root.path() + c.host) << c.device;
    }
}

TEST(DevicePaths, RootDefaultsToTheHomeFolderAndIsAbsolute)
{
    ostest::TempDeviceRoot root;
    const std::string home = root.path() + "/home";
    const char* savedHome = std::getenv("HOME");
    const std::string saved = savedHome ? savedHome : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("DEVICE_ROOT");
    EXPECT_EQ(os::deviceRoot(), home + "/.device-root");
    EXPECT_TRUE(fs::is_directory(home + "/.device-root"));

    const fs::path previous = fs::current_path();
    fs::current_path(root.path());
    setenv("DEVICE_ROOT", "relative-root/", 1);
    EXPECT_EQ(os::deviceRoot(), fs::current_path().string() + "/relative-root");
    fs::current_path(previous);
    setenv("HOME", saved.c_str(), 1);
    setenv("DEVICE_ROOT", root.path().c_str(), 1);
}

TEST(DevicePaths, LeavingTheRootIsRefused)
{
    ostest::TempDeviceRoot root;
    for (const char* path : {"..", "\\..\\etc\\passwd", "\\Hard Disk\\..\\..\\x", "a/../../b"})
        EXPECT_FALSE(os::toHostPath(std::string(path))) << path;

    SetLastError(0);
    HANDLE file = CreateFileW(u"\\..\\escape.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(fs::exists(fs::path(root.path()).parent_path() / "escape.txt"));
}

// Whatever a program is handed, relative or absolute, ".." or a link inside the root
// pointing out: the file API opens below the device root or not at all, and creates
// nothing outside it.
TEST(DevicePaths, NoPathReachesOutOfTheRoot)
{
    ostest::TempDeviceRoot root;
    const fs::path outside = fs::path(root.path() + "-outside");
    fs::create_directories(outside);
    std::ofstream(outside / "secret.txt") << "secret";
    const fs::path disk = fs::path(root.path()) / "Hard Disk";
    fs::create_directories(disk / "Nc");
    std::ofstream(disk / "Nc" / "prog.nc") << "G1 X10";
    fs::create_directory_symlink(outside, disk / "out");
    fs::create_directory_symlink("../..", disk / "up");
    fs::create_symlink(outside / "secret.txt", disk / "secret.lnk");
    fs::create_symlink(outside / "made.txt", disk / "dangling");
    fs::create_directory_symlink("Nc", disk / "inside");
    const std::string outsideName = outside.filename().string();

    const struct
    {
        std::string path;
        DWORD creation;
        DWORD error; // 0: opens
    } cases[] = {
        {"..\\..\\..\\..\\etc\\passwd", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"../../../../etc/passwd", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\Nc\\..\\..\\..\\etc\\hostname", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"Hard Disk/../../" + outsideName + "/secret.txt", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {root.path() + "/../" + outsideName + "/secret.txt", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"/etc/passwd", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"/etc/hostname", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"\\Hard Disk\\out\\secret.txt", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"\\hard disk\\OUT\\secret.txt", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\up\\" + outsideName + "\\secret.txt", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\secret.lnk", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\out\\made.txt", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\dangling", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {"\\Hard Disk\\Nc\\prog.nc", OPEN_EXISTING, 0},
        {"\\Hard Disk\\inside\\prog.nc", OPEN_EXISTING, 0},
        {"\\Hard Disk\\Nc\\..\\inside\\.\\PROG.NC", OPEN_EXISTING, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        SetLastError(0);
        const DWORD access = c.creation == OPEN_EXISTING ? GENERIC_READ : GENERIC_WRITE;
        HANDLE file = CreateFileW(os::toUtf16(c.path).c_str(), access, 0, nullptr, c.creation, 0, nullptr);
        if (c.error != 0)
        {
            EXPECT_EQ(file, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), c.error);
            EXPECT_EQ(GetFileAttributesW(os::toUtf16(c.path).c_str()), INVALID_FILE_ATTRIBUTES);
            continue;
        }
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        char text[16] = {};
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(file, text, sizeof text, &read, nullptr));
        EXPECT_EQ(std::string(text, read), "G1 X10");
        CloseHandle(file);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);

    // A listing shows the links that stay inside, not those that lead out.
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(u"\\Hard Disk\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names;
    do
        names.push_back(os::toUtf8(data.cFileName));
    while (FindNextFileW(find, &data));
    FindClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{"Nc", "inside"}));
    fs::remove_all(outside);
}

TEST(DevicePaths, NamesResolveIgnoringCase)
{
    ostest::TempDeviceRoot root;
    fs::create_directories(root.path() + "/Hard Disk/Config");
    std::ofstream(root.path() + "/Hard Disk/Config/Opcwatch.xml") << "content";

    for (const char* spelling : {"\\Hard Disk\\Config\\Opcwatch.xml", "\\hard disk\\CONFIG\\opcwatch.XML",
                                 "\\HARD DISK\\config\\OPCWATCH.xml"})
        EXPECT_EQ(*os::toHostPath(std::string(spelling)), root.path() + "/Hard Disk/Config/Opcwatch.xml")
            << spelling;

    // A new file in an existing folder lands in the folder as it is spelt on disk.
    HANDLE file =
        CreateFileW(u"\\hard disk\\config\\New.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(readHostFile(root.path() + "/Hard Disk/Config/New.txt"), "abc");
}

TEST(DeviceFiles, CreateReadSeekAndErrors)
{
    ostest::TempDeviceRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"\\data", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    HANDLE file =
        CreateFileW(u"\\Data\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(std::string(buffer, count), "456789");
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(CreateFileW(u"\\Data\\F.BIN", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    file = CreateFileW(u"\\Data\\F.BIN", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);

    EXPECT_EQ(CreateFileW(u"\\Data\\missing.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateFileW(u"\\Nowhere\\x.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    ASSERT_TRUE(MoveFileW(u"\\data\\f.bin", u"\\Data\\g.bin"));
    ASSERT_TRUE(CopyFileW(u"\\Data\\g.bin", u"\\Data\\h.bin", TRUE));
    EXPECT_FALSE(CopyFileW(u"\\Data\\g.bin", u"\\Data\\h.bin", TRUE));
    EXPECT_EQ(readHostFile(root.path() + "/Data/h.bin"), "0123456789");
    EXPECT_FALSE(RemoveDirectoryW(u"\\Data"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    ASSERT_TRUE(DeleteFileW(u"\\Data\\g.bin"));
    EXPECT_FALSE(DeleteFileW(u"\\Data\\g.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DeviceFiles, AppendOnlyAccessWritesAtTheEnd)
{
    ostest::TempDeviceRoot root;
    std::ofstream(root.path() + "/log.txt") << "first;";
    HANDLE file =
        CreateFileW(u"\\log.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "second;", 7, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(readHostFile(root.path() + "/log.txt"), "first;second;");
}

TEST(DeviceFiles, FindListsMatchingEntriesThenNoMoreFiles)
{
    ostest::TempDeviceRoot root;
    fs::create_directories(root.path() + "/Certs/sub");
    for (const char* name : {"b.der", "A.DER", "c.pem"})
        std::ofstream(root.path() + "/Certs/" + name) << "x";

    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(u"\\certs\\*.der", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names{os::toUtf8(data.cFileName)};
    while (FindNextFileW(find, &data))
        names.push_back(os::toUtf8(data.cFileName));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    ASSERT_TRUE(FindClose(find));
    EXPECT_EQ(names, (std::vector<std::string>{"A.DER", "b.der"}));

    find = FindFirstFileW(u"\\Certs\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int directories = 0;
    int entries = 0;
    do
    {
        ++entries;
        directories += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    EXPECT_EQ(entries, 4);
    EXPECT_EQ(directories, 1);

    EXPECT_EQ(FindFirstFileW(u"\\Certs\\*.crl", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileW(u"\\Missing\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(DeviceFiles, DeviceNamesGoToTheRegisteredOpener)
{
    ostest::TempDeviceRoot root;
    class Recorder : public os::HandleObject
    {
    public:
        BOOL ioControl(DWORD code, void*, DWORD, void* output, DWORD outputSize, DWORD* returned) override
        {
            if (outputSize < 4)
            {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            *static_cast<DWORD*>(output) = code + 1;
            *returned = 4;
            return TRUE;
        }
        BOOL close() override
        {
            closed = true;
            return TRUE;
        }
        bool closed = false;
    };
    auto device = std::make_shared<Recorder>();
    std::u16string openedName;
    os::setDeviceFileOpener(
        [&](const std::u16string& name, DWORD, DWORD, DWORD, DWORD)
        {
            openedName = name;
            return os::registerHandle(device);
        });
    EXPECT_TRUE(os::isDeviceFileName(u"gkt1:"));
    EXPECT_FALSE(os::isDeviceFileName(u"GKT1"));
    EXPECT_FALSE(os::isDeviceFileName(u"\\GKT1:"));

    HANDLE handle = CreateFileW(u"GKT1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openedName, u"GKT1:");
    DWORD out = 0;
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle, 0x1000004, nullptr, 0, &out, sizeof out, &returned, nullptr));
    EXPECT_EQ(out, 0x1000005u);
    EXPECT_EQ(returned, 4u);
    EXPECT_FALSE(ReadFile(handle, &out, 4, &returned, nullptr)); // not a readable object
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    ASSERT_TRUE(CloseHandle(handle));
    EXPECT_TRUE(device->closed);
    os::setDeviceFileOpener(nullptr);
    EXPECT_EQ(CreateFileW(u"GKT1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}
