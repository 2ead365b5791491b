// The file engine and directory paths on real files below a fresh device root.
#include "uatestdeviceroot.h"

#include "uadir.h"
#include "uafileengine.h"
#include "uaplatformlayer.h"

#include <opcua.h>

#include <mutex>

namespace
{
std::mutex g_traceMutex;
std::vector<std::string> g_traces;

void captureTrace(OpcUa_UInt32 level, const OpcUa_CharA* message, OpcUa_Void*)
{
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_traces.push_back(std::to_string(level) + " " + message);
}

UaUniString wide(const std::string& text)
{
    return UaUniString(text.c_str());
}

std::string narrow(const UaUniString& text)
{
    std::string result;
    for (int i = 0; i < text.length(); ++i)
        result.push_back(static_cast<char>(text.at(i)));
    return result;
}

std::vector<std::string> names(const UaUniStringList& list)
{
    std::vector<std::string> result;
    for (int i = 0; i < list.count(); ++i)
        result.push_back(narrow(list[i]));
    return result;
}

class FileEngineTest : public TempDeviceRoot
{
protected:
    static void SetUpTestSuite()
    {
        UaPlatformLayer::setTrace(true, OPCUA_TRACE_LEVEL_ERROR | OPCUA_TRACE_LEVEL_WARNING |
                                            OPCUA_TRACE_LEVEL_INFO);
        ASSERT_EQ(UaPlatformLayer::init(), 0);
        OpcUa_Trace_SetSink(captureTrace, nullptr);
    }
    static void TearDownTestSuite()
    {
        OpcUa_Trace_SetSink(nullptr, nullptr);
        UaPlatformLayer::cleanup();
    }
    void SetUp() override
    {
        TempDeviceRoot::SetUp();
        std::lock_guard<std::mutex> lock(g_traceMutex);
        g_traces.clear();
    }

    static std::vector<std::string> traces()
    {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        return g_traces;
    }

    UaFileEngine* engine = UaFileEngine::instance();
};

TEST_F(FileEngineTest, EntryListFiltersAndSortsByNameIgnoringCase)
{
    const std::string dir = path("dir");
    std::filesystem::create_directory(dir);
    writeText(dir + "/b.txt", "b");
    writeText(dir + "/A.txt", "a");
    writeText(dir + "/C.txt", "c");
    std::filesystem::create_directory(dir + "/sub");

    EXPECT_EQ(names(engine->entryList(wide(dir), UaFileEngine::Files, UaFileEngine::ByName)),
              (std::vector<std::string>{dir + "/A.txt", dir + "/b.txt", dir + "/C.txt"}));
    EXPECT_EQ(names(engine->entryList(wide(dir), UaFileEngine::SubDirectories, UaFileEngine::ByName)),
              std::vector<std::string>{dir + "/sub"});
    EXPECT_EQ(names(engine->entryList(wide(dir), UaFileEngine::Directories, UaFileEngine::SystemOrder)),
              std::vector<std::string>{dir + "/sub"});
    EXPECT_EQ(engine->entryList(wide(dir), UaFileEngine::AllEntries, UaFileEngine::SystemOrder).count(), 4);
    EXPECT_EQ(engine->count(wide(dir)), 4);
    EXPECT_TRUE(traces().empty());
}

TEST_F(FileEngineTest, EntryListRejectsUnknownFilterAndKeepsTheOrderForUnknownSort)
{
    const std::string dir = path("dir");
    std::filesystem::create_directory(dir);
    writeText(dir + "/b.txt", "b");
    writeText(dir + "/B.txt", "B");

    EXPECT_EQ(engine->entryList(wide(dir), 3, UaFileEngine::ByName).count(), 0);
    EXPECT_EQ(traces(), std::vector<std::string>{"16 UaFileEngine::entryList: Invalid filter!!!"});
    EXPECT_EQ(engine->entryList(wide(dir), 8, UaFileEngine::ByName).count(), 0);

    const UaUniStringList systemOrder =
        engine->entryList(wide(dir), UaFileEngine::Files, UaFileEngine::SystemOrder);
    const UaUniStringList unsorted = engine->entryList(wide(dir), UaFileEngine::Files, 7);
    EXPECT_EQ(names(unsorted), names(systemOrder));
    EXPECT_EQ(traces().back(), "16 UaFileEngine::entryList: Invalid sort!!!");
}

TEST_F(FileEngineTest, ListingAMissingFolderFailsWithATraceAndAnEmptyFolderIsEmpty)
{
    EXPECT_EQ(
        engine->entryList(wide(path("missing")), UaFileEngine::AllEntries, UaFileEngine::ByName).count(), 0);
    ASSERT_EQ(traces().size(), 1u);
    EXPECT_EQ(traces()[0].rfind("32 UaFileEngine::entryList: Invalid File Handle. GetLastError reports ", 0),
              0u);
    EXPECT_EQ(engine->count(wide(path("missing"))), 0);

    std::filesystem::create_directory(path("empty"));
    EXPECT_EQ(engine->entryList(wide(path("empty")), UaFileEngine::AllEntries, UaFileEngine::ByName).count(),
              0);
    EXPECT_EQ(engine->count(wide(path("empty"))), 0);
    EXPECT_EQ(traces().size(), 2u);
}

TEST_F(FileEngineTest, CreateFileMakesANewFileAndRefusesAnExistingOne)
{
    EXPECT_TRUE(engine->createFile(wide(m_root.string()), wide("new.txt")));
    EXPECT_TRUE(std::filesystem::is_regular_file(path("new.txt")));
    EXPECT_TRUE(traces().empty());

    writeText(path("new.txt"), "content");
    EXPECT_FALSE(engine->createFile(wide(m_root.string()), wide("new.txt")));
    EXPECT_EQ(readText(path("new.txt")), "content");
    ASSERT_EQ(traces().size(), 1u);
    EXPECT_EQ(traces()[0].rfind("32 UaFileEngine::createFile: Invalid File Handle. GetLastError reports ", 0),
              0u);
}

TEST_F(FileEngineTest, SizeOfAFileAndOfAMissingFile)
{
    writeText(path("five.bin"), "12345");
    EXPECT_EQ(engine->size(wide(path("five.bin"))), 5);
    EXPECT_EQ(engine->size(wide(path("missing.bin"))), -1);
}

TEST_F(FileEngineTest, OpenReadWriteClose)
{
    FILE* file = engine->open(wide(path("data.bin")), "wb");
    ASSERT_NE(file, nullptr);
    const char text[] = "abcdef";
    EXPECT_EQ(engine->write(text, 1, 6, file), 6u);
    EXPECT_TRUE(engine->close(file));
    file = engine->open(wide(path("data.bin")), "rb");
    ASSERT_NE(file, nullptr);
    char back[8] = {};
    EXPECT_EQ(engine->read(back, 2, 3, file), 3u);
    EXPECT_TRUE(engine->close(file));
    EXPECT_STREQ(back, "abcdef");
    EXPECT_EQ(engine->open(wide(path("no/such/file")), "rb"), nullptr);
}

TEST_F(FileEngineTest, CopyRenameRemoveAndFolders)
{
    writeText(path("a.txt"), "A");
    writeText(path("b.txt"), "old");
    EXPECT_TRUE(engine->copy(wide(path("a.txt")), wide(path("b.txt"))));
    EXPECT_EQ(readText(path("b.txt")), "A");
    EXPECT_TRUE(engine->rename(wide(path("b.txt")), wide(path("c.txt"))));
    EXPECT_FALSE(std::filesystem::exists(path("b.txt")));
    EXPECT_TRUE(engine->exists(wide(path("c.txt"))));
    EXPECT_TRUE(engine->remove(wide(path("c.txt"))));
    EXPECT_FALSE(engine->exists(wide(path("c.txt"))));
    EXPECT_FALSE(engine->remove(wide(path("c.txt"))));
    EXPECT_FALSE(engine->copy(wide(path("missing.txt")), wide(path("d.txt"))));

    EXPECT_TRUE(engine->mkdir(wide(path("folder"))));
    EXPECT_FALSE(engine->mkdir(wide(path("folder"))));
    EXPECT_TRUE(engine->rmdir(wide(path("folder"))));
    EXPECT_FALSE(engine->rmdir(wide(path("folder"))));

    const std::vector<std::string> expected{
        "32 UaFileEngine::remove: Invalid File Handle. GetLastError reports 2\n",
        "32 UaFileEngine::copy: Could not write into the ini file!\n",
        "32 Error code: 2\n",
        "32 UaFileEngine::mkdir: Invalid File Handle. GetLastError reports 183\n",
        "32 UaFileEngine::rmdir: Invalid File Handle. GetLastError reports 2\n",
    };
    EXPECT_EQ(traces(), expected);
}

TEST_F(FileEngineTest, MkdirTurnsBackslashesIntoSlashes)
{
    std::filesystem::create_directories(path("data"));
    const std::string withBackslashes = m_root.string() + "\\data\\pki";
    EXPECT_TRUE(engine->mkdir(wide(withBackslashes)));
    EXPECT_TRUE(std::filesystem::is_directory(path("data/pki")));
}

TEST_F(FileEngineTest, FileFunctionsForUtf8Paths)
{
    writeText(path("old.log"), "x");
    EXPECT_EQ(renameFile(path("old.log").c_str(), path("new.log").c_str()), 0);
    EXPECT_EQ(readText(path("new.log")), "x");
    EXPECT_EQ(renameFile(path("old.log").c_str(), path("other.log").c_str()), -1);
    EXPECT_EQ(removeFile(path("new.log").c_str()), 0);
    EXPECT_EQ(removeFile(path("new.log").c_str()), -1);
}

TEST_F(FileEngineTest, ShellAndPathLibrariesAreUsedByName)
{
    EXPECT_EQ(narrow(engine->canonicalPath(wide("/a/./b/../c"))), "/a/c");
    EXPECT_EQ(narrow(engine->canonicalPath(wide("\\x\\y\\..\\z"))), "/x/z");
    EXPECT_TRUE(engine->isRelativePath(wide("pki/certs")));
    EXPECT_FALSE(engine->isRelativePath(wide("/pki/certs")));
    EXPECT_FALSE(engine->isRelativePath(wide("C:\\pki")));
    EXPECT_FALSE(engine->homePath().isEmpty());
    EXPECT_FALSE(engine->appDataPath().isEmpty());
    EXPECT_FALSE(engine->commonAppDataPath().isEmpty());
}

// Runs in a copy of this program whose folder holds no shell libraries (started by the test below).
TEST_F(FileEngineTest, ShellLibrariesMissingChild)
{
    if (!std::getenv("UABASE_EXPECT_NO_SHELL"))
        GTEST_SKIP() << "runs only in the copied program";
    EXPECT_TRUE(engine->homePath().isEmpty());
    EXPECT_TRUE(engine->appDataPath().isEmpty());
    EXPECT_TRUE(engine->commonAppDataPath().isEmpty());
    EXPECT_TRUE(engine->canonicalPath(wide("/a/../b")).isEmpty());
    EXPECT_FALSE(engine->isRelativePath(wide("relative/path")));
    EXPECT_TRUE(traces().empty());
}

TEST_F(FileEngineTest, WithoutTheShellLibrariesTheQueriesAnswerEmptyWithoutATrace)
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::filesystem::path folder = path("bin");
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(self, folder / self.filename());
    for (const char* library : {"libuabase.so", "libuastack.so", "liboslayer.so"})
        std::filesystem::copy_file(self.parent_path() / library, folder / library);
    const std::string command = "UABASE_EXPECT_NO_SHELL=1 '" + (folder / self.filename()).string() +
                                "' --gtest_filter=FileEngineTest.ShellLibrariesMissingChild 2>&1";
    std::string output;
    FILE* child = ::popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, child))
        output += buffer;
    EXPECT_EQ(::pclose(child), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
}

TEST_F(FileEngineTest, MkpathCreatesEveryMissingParent)
{
    const std::string target = path("one/two/three");
    const UaDir dir(wide(m_root.string()));
    EXPECT_TRUE(dir.mkpath(wide(target)));
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_TRUE(traces().empty()) << traces().front();
}

TEST_F(FileEngineTest, MkpathOfAnExistingPathSucceeds)
{
    std::filesystem::create_directories(path("there/already"));
    const UaDir dir(wide(m_root.string()));
    EXPECT_TRUE(dir.mkpath(wide(path("there/already"))));
    EXPECT_EQ(traces(), std::vector<std::string>{"4 UaDir::mkpath: Path still exists!\n"});
    EXPECT_TRUE(dir.mkpath(wide(path("there/already/new"))));
    EXPECT_TRUE(std::filesystem::is_directory(path("there/already/new")));
}

TEST_F(FileEngineTest, MkpathOfAnEmptyPathFailsAndADirOfNothingIsTheCurrentFolder)
{
    const UaDir dir{UaUniString()};
    EXPECT_EQ(narrow(dir.path()), ".");
    EXPECT_FALSE(dir.mkpath(UaUniString()));
    EXPECT_EQ(traces(), std::vector<std::string>{"16 UaDir::mkpath: Empty or null file name(s)!\n"});
}

TEST_F(FileEngineTest, MkpathFailsBelowAFile)
{
    writeText(path("plain"), "x");
    const UaDir dir(wide(m_root.string()));
    EXPECT_FALSE(dir.mkpath(wide(path("plain/sub"))));
}
} // namespace
