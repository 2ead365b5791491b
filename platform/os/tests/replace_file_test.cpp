// Whole-file replacement: the new contents or the old, never a part, and nothing left over.
#include "test_support.h"

#include <os/replace_file.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{
std::string read(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

size_t entries(const std::string& folder)
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

TEST(ReplaceFile, NewAndExistingFilesGetTheWholeContents)
{
    ostest::TempDeviceRoot root;
    const std::string path = root.path() + "/settings.txt";
    ASSERT_EQ(os::replaceFileContents(path, "first\n"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(read(path), "first\n");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    // The permissions of the file replaced are kept.
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const std::string large(300000, 'x');
    ASSERT_EQ(os::replaceFileContents(path, large), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(read(path), large);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(os::replaceFileContents(path, ""), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(read(path), "");
    EXPECT_EQ(entries(root.path()), 1u);
}

TEST(ReplaceFile, FailuresLeaveTheTargetAndNoTemporaryFile)
{
    ostest::TempDeviceRoot root;
    EXPECT_EQ(os::replaceFileContents(root.path() + "/missing/settings.txt", "x"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // A folder where the file should be: the rename fails, the folder stays.
    std::filesystem::create_directories(root.path() + "/taken/inner");
    EXPECT_NE(os::replaceFileContents(root.path() + "/taken", "x"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(std::filesystem::is_directory(root.path() + "/taken/inner"));
    EXPECT_EQ(entries(root.path()), 1u);
}
} // namespace
