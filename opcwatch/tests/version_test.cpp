// The program's version from its version record, the failures when a file has none, and the
// build date made from the compiler's text.
#include "test_support.h"

#include "opcwatchpaths.h"
#include "opcwatchversion.h"
#include "vosserverimp.h"

#include <uatracecapture.h>

#include <os/deviceroot.h>
#include <os/text.h>

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

namespace
{
// The build gives this test program the file version 2.3.0.1234 (CMakeLists.txt beside it).
TEST(ProgramVersion, ComesFromTheProgramsVersionRecord)
{
    OpcFileVersion version;
    ASSERT_TRUE(readFileVersion(opcwatchProgramFile(), version));
    EXPECT_EQ(version.softwareVersion(), "2.3.0.1234");
    EXPECT_EQ(version.buildNumber(), "3");

    VosVersion vos{9, 9, 99};
    ASSERT_TRUE(CVosServerImp::readProgramVosVersion(vos));
    EXPECT_EQ(vos.version, 2);
    EXPECT_EQ(vos.revision, 3);
    EXPECT_EQ(vos.build, 1234);
}

TEST(ProgramVersion, PartsAreTheHalvesOfTheTwoWords)
{
    const struct
    {
        DWORD ms, ls;
        const char* software;
        const char* build;
    } rows[] = {
        {0x00010002, 0x00030004, "1.2.3.4", "2"},
        {0xFFFF0000, 0x0000FFFF, "65535.0.0.65535", "0"},
        {0, 0, "0.0.0.0", "0"},
    };
    for (const auto& row : rows)
    {
        OpcFileVersion version{row.ms, row.ls};
        EXPECT_EQ(version.softwareVersion(), row.software);
        EXPECT_EQ(version.buildNumber(), row.build);
    }
}

TEST(ProgramVersion, AFileWithoutARecordFailsAtTheSizeQuery)
{
    ostest::TempDeviceRoot root;
    std::ofstream(root.path() + "/notes.txt") << "no program";
    const std::string unversioned = os::programDirectory() + "/opcwatch_unversioned_helper";
    const struct
    {
        const char* what;
        std::u16string file;
        int error;
    } rows[] = {
        {"a program without the note", os::toUtf16(unversioned), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"no program at all", u"\\notes.txt", ERROR_BAD_EXE_FORMAT},
        {"a missing file", u"\\missing", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        UaTraceCapture trace(1);
        OpcFileVersion version{0x00070008, 0x00090000};
        EXPECT_FALSE(readFileVersion(row.file, version));
        EXPECT_EQ(version.softwareVersion(), "7.8.9.0"); // untouched
        EXPECT_EQ(trace.texts(), std::vector<std::string>{"GetFileVersionInfoSize failed with " +
                                                          std::to_string(row.error)});
    }
}

// The helper is built without a version record: its device info keeps the caller's version.
TEST(ProgramVersion, AProgramWithoutTheNoteAnswersDeviceInfoWithoutAVersion)
{
    ostest::ChildProcess helper({}, os::programDirectory() + "/opcwatch_unversioned_helper");
    std::vector<std::string> lines;
    for (std::string line = helper.readLine(); !line.empty(); line = helper.readLine())
        lines.push_back(line);
    const int status = helper.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "record: no",
                         "result: 0x00000000",
                         "version: 9.9.99",
                         "name: Unversioned",
                         "trace 6: --> CVosServerImp::ReadDeviceInfo()",
                         "trace 1: GetFileVersionInfoSize failed with " +
                             std::to_string(ERROR_RESOURCE_TYPE_NOT_FOUND),
                         "trace 6: <-- CVosServerImp::ReadDeviceInfo() return S_OK",
                     }));
}

// Ticks of 100 ns since 1601 for a UTC time, worked out apart from the parser.
OpcUa_Int64 ticks(int year, int month, int day, int hour, int minute, int second)
{
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return (static_cast<OpcUa_Int64>(timegm(&time)) + 11644473600LL) * 10000000LL;
}

TEST(BuildDate, IsTheCompileTimeTwoHoursBack)
{
    const OpcUa_Int64 twoHours = 2LL * 3600 * 10000000;
    const struct
    {
        const char* date;
        const char* time;
        OpcUa_Int64 expected;
    } rows[] = {
        {"Mar 14 2024", "15:09:26", ticks(2024, 3, 14, 15, 9, 26) - twoHours},
        {"Jan  1 2025", "01:30:00", ticks(2024, 12, 31, 23, 30, 0)}, // back into the old year
        {"Dec 31 1999", "23:59:59", ticks(1999, 12, 31, 21, 59, 59)},
        {"Feb 29 2028", "00:00:00", ticks(2028, 2, 28, 22, 0, 0)},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.date) + " " + row.time);
        EXPECT_EQ(buildDateTime(row.date, row.time).toInt64(), row.expected);
    }
    for (const auto& [date, time] : {std::pair{"Foo  1 2025", "01:30:00"}, std::pair{"Jan  1 2025", "noon"},
                                     std::pair{"anJ  1 2025", "01:30:00"}})
        EXPECT_TRUE(buildDateTime(date, time).isNull()) << date << " " << time;
}
} // namespace
