#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
// Starts the helper with "set-event <name>" and waits for the event it sets.
void expectStarted(const char16_t* imageName, const std::string& eventName)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, os::toUtf16(eventName).c_str());
    ASSERT_NE(event, nullptr);
    std::u16string commandLine = u"set-event " + os::toUtf16(eventName);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(imageName, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &info))
        << os::toUtf8(imageName) << " error " << GetLastError();
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(event, 60000), WAIT_OBJECT_0) << os::toUtf8(imageName);
    CloseHandle(event);
}
} // namespace

TEST(Processes, StartFromTheProgramFolderOrADeviceFolder)
{
    ostest::TempDeviceRoot root;
    expectStarted(u"os_test_helper", "started-plain");
    expectStarted(u"OS_Test_Helper.exe", "started-case");

    fs::create_directories(root.path() + "/Windows");
    fs::copy_file(ostest::helperPath(), root.path() + "/Windows/os_test_helper");
    fs::copy_file(os::programDirectory() + "/liboslayer.so", root.path() + "/Windows/liboslayer.so");
    expectStarted(u"\\windows\\os_test_helper.exe", "started-device");
}

TEST(Processes, FailuresTellWhy)
{
    ostest::TempDeviceRoot root;
    std::ofstream(root.path() + "/notes.txt") << "not a program";
    struct Case
    {
        const char16_t* imageName;
        DWORD error;
    };
    const Case cases[] = {
        {u"NoSuchProgram", ERROR_FILE_NOT_FOUND},
        {u"\\Windows\\os_test_helper", ERROR_FILE_NOT_FOUND}, // beside the program, not in \Windows
        {u"..\\os_test_helper", ERROR_FILE_NOT_FOUND},
        {u"\\notes.txt", ERROR_BAD_EXE_FORMAT},
        {u"", ERROR_INVALID_PARAMETER},
    };
    for (const auto& row : cases)
    {
        PROCESS_INFORMATION info{};
        SetLastError(0);
        EXPECT_FALSE(CreateProcessW(row.imageName, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    nullptr, &info))
            << os::toUtf8(row.imageName);
        EXPECT_EQ(GetLastError(), row.error) << os::toUtf8(row.imageName);
    }
}
