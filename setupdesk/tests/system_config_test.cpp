// The event logger's entry in "SystemConfig.xml": golden files for what is added and
// removed, files that are left alone, and where the file lies for each version.
#include "setupdesk_fixture.h"

#include <quberon_system.h>
#include <system_config.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{
using namespace setupdesk;
using namespace setupdesk::test;

std::string golden(const std::string& name)
{
    std::ifstream file(std::string(SETUPDESK_GOLDEN) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

constexpr const char* kPath = "\\Hard Disk\\Quberon\\Boot\\SystemConfig.xml";

class SystemConfigTest : public SetupdeskTest
{
protected:
    std::u16string path() const { return os::toUtf16(kPath); }
};

TEST_F(SystemConfigTest, TheLoggerIsFoundIgnoringCase)
{
    struct Case
    {
        const char* input;
        bool listed;
    } cases[] = {
        {"without_logger.xml", false}, {"with_logger.xml", true}, {"two_loggers.xml", true},
        {"malformed.xml", false},      {"other_root.xml", false}, {"empty.xml", false},
    };
    for (const Case& c : cases)
    {
        writeDeviceFile(kPath, golden(c.input));
        EXPECT_EQ(eventLoggerListed(path()), c.listed) << c.input;
    }
    std::filesystem::remove(*os::toHostPath(kPath));
    EXPECT_FALSE(eventLoggerListed(path()));
}

TEST_F(SystemConfigTest, EditsMatchTheGoldenFilesAndKeepEveryOtherNode)
{
    struct Case
    {
        const char* input;
        bool listed;
        LoggerEdit result;
        const char* expected; // null: the file stays byte for byte
    } cases[] = {
        {"without_logger.xml", true, LoggerEdit::Saved, "without_logger.added.xml"},
        {"without_logger.xml", false, LoggerEdit::Unchanged, nullptr},
        {"with_logger.xml", true, LoggerEdit::Unchanged, nullptr},
        {"with_logger.xml", false, LoggerEdit::Saved, "with_logger.removed.xml"},
        {"two_loggers.xml", false, LoggerEdit::Saved, "two_loggers.removed.xml"},
        {"two_loggers.xml", true, LoggerEdit::Unchanged, nullptr},
        {"empty.xml", true, LoggerEdit::Saved, "skeleton.added.xml"},
        {"blank.xml", true, LoggerEdit::Saved, "skeleton.added.xml"},
        {"empty.xml", false, LoggerEdit::Unchanged, nullptr},
        {"malformed.xml", true, LoggerEdit::Untouched, nullptr},
        {"malformed.xml", false, LoggerEdit::Untouched, nullptr},
        {"other_root.xml", true, LoggerEdit::Untouched, nullptr},
        {"other_root.xml", false, LoggerEdit::Unchanged, nullptr},
    };
    for (const Case& c : cases)
    {
        const std::string input = golden(c.input);
        writeDeviceFile(kPath, input);
        EXPECT_EQ(setEventLogger(path(), c.listed), c.result) << c.input << " listed " << c.listed;
        const std::string expected = c.expected ? golden(c.expected) : input;
        EXPECT_EQ(readDeviceFile(kPath), expected) << c.input << " listed " << c.listed;
        // Added once: a second edit finds it.
        if (c.listed && c.result == LoggerEdit::Saved)
        {
            EXPECT_EQ(setEventLogger(path(), true), LoggerEdit::Unchanged) << c.input;
            EXPECT_TRUE(eventLoggerListed(path())) << c.input;
        }
    }
}

TEST_F(SystemConfigTest, AMissingFileIsNeverCreated)
{
    EXPECT_EQ(setEventLogger(path(), true), LoggerEdit::Untouched);
    EXPECT_FALSE(readDeviceFile(kPath));
}

TEST_F(SystemConfigTest, TheFileLiesInTheFolderOfTheVersion)
{
    struct Case
    {
        BYTE version;
        const char* currentVersion; // null: no value
        const char16_t* path;
    } cases[] = {
        {0, "3.4", u"\\Hard Disk\\Quberon\\Boot\\SystemConfig.xml"},
        {2, "3.4", u"\\Hard Disk\\Quberon\\Boot\\SystemConfig.xml"},
        {3, "3.4", u"\\Hard Disk\\Quberon\\3.4\\Boot\\SystemConfig.xml"},
        {3, nullptr, u"\\Hard Disk\\Quberon\\3.1\\Boot\\SystemConfig.xml"},
    };
    for (const Case& c : cases)
    {
        deleteValue(u"Software\\Corvanta\\Quberon3", u"CurrentVersion");
        if (c.currentVersion)
            setString(u"Software\\Corvanta\\Quberon3", u"CurrentVersion", c.currentVersion);
        setQuberonMajorVersion(c.version);
        EXPECT_EQ(systemConfigPath(), c.path) << int(c.version);
    }
}
} // namespace
