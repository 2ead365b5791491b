#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace
{
HKEY createKey(HKEY parent, const char16_t* path, DWORD* disposition = nullptr)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
}

LONG setDword(HKEY key, const char16_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG setString(HKEY key, const char16_t* name, std::u16string_view text, DWORD type = REG_SZ)
{
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

DWORD queryDword(HKEY key, const char16_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    return value;
}

std::string hex(const void* data, size_t size)
{
    std::string out;
    char byte[3];
    for (size_t i = 0; i < size; ++i)
    {
        std::snprintf(byte, sizeof byte, "%02x", static_cast<const BYTE*>(data)[i]);
        out += byte;
    }
    return out;
}

std::vector<std::string> dumpInChild(const std::string& path)
{
    ostest::ChildProcess child({"reg-dump", path});
    std::vector<std::string> lines;
    for (std::string line = child.readLine(); !line.empty(); line = child.readLine())
    {
        lines.push_back(line);
        if (line.rfind("end ", 0) == 0 || line.rfind("error ", 0) == 0)
            break;
    }
    child.wait();
    return lines;
}
} // namespace

TEST(Registry, ValueWrittenByOneProcessIsSeenByAnother)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration");
    ASSERT_EQ(setDword(key, u"TraceLevel", 4), ERROR_SUCCESS);
    EXPECT_EQ(dumpInChild("SOFTWARE\\Corvanta\\Opcwatch\\Configuration"),
              (std::vector<std::string>{"TraceLevel 4 04000000", "end 259"}));

    // A change from another process is seen at this process's next call.
    ostest::ChildProcess writer(
        {"reg-set-dword", "SOFTWARE\\Corvanta\\Opcwatch\\Configuration", "TraceLevel", "6"});
    EXPECT_EQ(writer.readLine(), "set 0");
    writer.wait();
    EXPECT_EQ(queryDword(key, u"TraceLevel"), 6u);
    RegCloseKey(key);
}

TEST(Registry, EveryVersionOfTheFileGetsALaterTime)
{
    // Processes tell versions of the file apart by inode, size and time; the file
    // system reuses the inode at once, so a same-size rewrite must get a later time
    // even when the clock has not moved on since the version it replaces.
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Stamped");
    ASSERT_EQ(setDword(key, u"Value", 1), ERROR_SUCCESS);
    const std::string path = os::registryFilePath();
    struct stat before
    {
    };
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    const timespec ahead[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 3600, before.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ahead, 0), 0);

    ASSERT_EQ(setDword(key, u"Value", 2), ERROR_SUCCESS);
    struct stat after
    {
    };
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_TRUE(after.st_mtim.tv_sec > ahead[1].tv_sec ||
                (after.st_mtim.tv_sec == ahead[1].tv_sec && after.st_mtim.tv_nsec > ahead[1].tv_nsec));
    EXPECT_EQ(dumpInChild("Stamped"), (std::vector<std::string>{"Value 4 02000000", "end 259"}));
    RegCloseKey(key);
}

TEST(Registry, ConcurrentWritersLoseNothing)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Shared");
    ASSERT_EQ(setDword(key, u"Mine", 1), ERROR_SUCCESS);
    {
        ostest::ChildProcess first({"reg-set-many", "Shared", "a", "40"});
        ostest::ChildProcess second({"reg-set-many", "Shared", "b", "40"});
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(setDword(key, (u"c" + os::toUtf16(std::to_string(i))).c_str(), 7), ERROR_SUCCESS);
        EXPECT_EQ(first.readLine(), "done");
        EXPECT_EQ(second.readLine(), "done");
        EXPECT_EQ(WEXITSTATUS(first.wait()), 0);
        EXPECT_EQ(WEXITSTATUS(second.wait()), 0);
    }
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u + 40u + 40u + 20u);
    EXPECT_EQ(queryDword(key, u"a39"), 39u);
    EXPECT_EQ(queryDword(key, u"b0"), 0u);
    RegCloseKey(key);
}

TEST(Registry, NamesIgnoreCaseAndLeadingBackslash)
{
    ostest::TempDeviceRoot root;
    DWORD disposition = 0;
    HKEY created = createKey(HKEY_LOCAL_MACHINE, u"\\Software\\Corvanta\\Quberon", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(setString(created, u"NcPrjPath", u"\\Hard Disk\\Project"), ERROR_SUCCESS);

    for (const char16_t* spelling : {u"Software\\Corvanta\\Quberon", u"\\SOFTWARE\\corvanta\\QUBERON",
                                     u"software\\\\Corvanta\\quberon\\"})
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, spelling, 0, KEY_READ, &key), ERROR_SUCCESS);
        WCHAR text[64];
        DWORD size = sizeof text;
        DWORD type = 0;
        ASSERT_EQ(RegQueryValueExW(key, u"NCPRJPATH", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(std::u16string(text), u"\\Hard Disk\\Project");
        RegCloseKey(key);
    }
    HKEY again = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\CORVANTA\\quberon", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(again);

    // HKEY_CURRENT_USER is a tree of its own.
    HKEY user = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Corvanta\\Quberon", 0, KEY_READ, &user),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(created);
}

TEST(Registry, QueriesReportNeededSizeAndType)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Ident");
    ASSERT_EQ(setString(key, u"Name", u"panel7"), ERROR_SUCCESS); // 14 bytes with the terminator

    DWORD number = 0xAAAAAAAA;
    DWORD size = sizeof number;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(number, 0xAAAAAAAAu); // nothing written into a short buffer

    size = 0;
    type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    EXPECT_EQ(RegQueryValueExW(key, u"DeviceType", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(0x1234), u"Name", nullptr, &type, nullptr, &size),
              ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

TEST(Registry, EnumerationListsWhatWasWritten)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Comm\\UPnPDevices");
    for (const char16_t* sub : {u"Device-B", u"Device-A", u"Device-C"})
        RegCloseKey(createKey(key, sub));
    ASSERT_EQ(setString(key, u"XMLDesc", u"<root/>"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"State", 1), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"state", 2), ERROR_SUCCESS); // the same value
    ASSERT_EQ(RegDeleteKeyW(key, u"device-c"), ERROR_SUCCESS);

    std::vector<std::u16string> keys;
    for (DWORD index = 0;; ++index)
    {
        WCHAR name[32];
        DWORD nameSize = 32;
        const LONG result = RegEnumKeyExW(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        EXPECT_EQ(nameSize, std::char_traits<char16_t>::length(name));
        keys.emplace_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Device-B", u"Device-A"}));

    std::vector<std::pair<std::u16string, DWORD>> values;
    for (DWORD index = 0;; ++index)
    {
        WCHAR name[32];
        DWORD nameSize = 32;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &nameSize, nullptr, &type, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        values.emplace_back(name, type);
    }
    EXPECT_EQ(values,
              (std::vector<std::pair<std::u16string, DWORD>>{{u"XMLDesc", REG_SZ}, {u"State", REG_DWORD}}));
    EXPECT_EQ(queryDword(key, u"STATE"), 2u);

    WCHAR tiny[4];
    DWORD tinySize = 4;
    EXPECT_EQ(RegEnumKeyExW(key, 0, tiny, &tinySize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    DWORD subKeys = 0;
    DWORD valueCount = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &valueCount,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(valueCount, 2u);
    RegCloseKey(key);
}

TEST(Registry, DeletingValuesAndKeys)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\RasServer\\User");
    ASSERT_EQ(setString(key, u"alice", u"x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"ALICE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"alice"), ERROR_FILE_NOT_FOUND);

    // A key goes with its subkeys; a handle on it then reports the deletion.
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\RasServer"), ERROR_SUCCESS);
    EXPECT_EQ(setDword(key, u"x", 1), ERROR_KEY_DELETED);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\RasServer\\User", 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(Registry, ProtectedKeysAreNotDeleted)
{
    ostest::TempDeviceRoot root;
    HKEY instance = createKey(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1");
    createKey(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\PCI\\Instance\\other");
    EXPECT_EQ(os::protectRegistryKey(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\PCI\\Instance\\nothing", true),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(os::protectRegistryKey(HKEY_LOCAL_MACHINE, u"drivers\\builtin\\pci\\instance\\GXUAMAUD1", true),
              ERROR_SUCCESS);

    // Neither the key nor a key above it goes; its values still change.
    struct Case
    {
        const char16_t* path;
        LONG result;
    };
    const Case cases[] = {
        {u"Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1", ERROR_ACCESS_DENIED},
        {u"Drivers\\BuiltIn\\PCI\\Instance", ERROR_ACCESS_DENIED},
        {u"Drivers\\BuiltIn", ERROR_ACCESS_DENIED},
        {u"Drivers\\BuiltIn\\PCI\\Instance\\other", ERROR_SUCCESS},
    };
    for (const auto& row : cases)
        EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, row.path), row.result) << os::toUtf8(row.path);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1"), 5);
    EXPECT_EQ(setDword(instance, u"Flags", 4), ERROR_SUCCESS);
    EXPECT_EQ(queryDword(instance, u"Flags"), 4u);

    // The mark lives in the file, where another process reads it.
    std::ifstream file(os::registryFilePath());
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1]\n!protected\n"),
              std::string::npos);
    const auto lines = dumpInChild("Drivers\\BuiltIn\\PCI\\Instance\\gxuamaud1");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Flags 4 04000000");

    // Cleared, it goes like any other key.
    ASSERT_EQ(os::protectRegistryKey(instance, nullptr, false), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\PCI"), ERROR_SUCCESS);
    RegCloseKey(instance);
}

TEST(Registry, AFileOrFragmentMarksKeysProtected)
{
    ostest::TempDeviceRoot root;
    std::ofstream(os::registryFilePath())
        << "REGEDIT4\n\n!protected\n[HKEY_LOCAL_MACHINE\\Locked]\n!protected\n\"Value\"=dword:00000001\n"
           "[HKEY_LOCAL_MACHINE\\Open]\n";
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Locked"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Open"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Locked", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(queryDword(key, u"Value"), 1u);
    RegCloseKey(key);
}

namespace
{
// The value names of a key, read in this process or in another; nothing for a missing key.
std::optional<std::vector<std::string>> valueNames(const char16_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::string> names;
    WCHAR name[256];
    DWORD size = 256;
    for (DWORD index = 0;
         RegEnumValueW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++index)
    {
        names.push_back(os::toUtf8(std::u16string(name, size)));
        size = 256;
    }
    RegCloseKey(key);
    return names;
}

std::optional<std::vector<std::string>> valueNamesInChild(const char16_t* path)
{
    const auto lines = dumpInChild(os::toUtf8(path));
    if (lines.empty() || lines.front().rfind("error ", 0) == 0)
        return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& line : lines)
        if (line.rfind("end ", 0) != 0)
            names.push_back(line.substr(0, line.find(' ')));
    return names;
}

std::string readWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
} // namespace

// A damaged line never moves the values below it to another key, neither when the
// file is read nor when the next write makes the read state the file's; the damaged
// file is kept whole once, before that write replaces it.
TEST(Registry, DamagedLinesMoveNoValueToAnotherKey)
{
    const std::string battery = "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery]\n\"Dll\"=\"battery.dll\"\n";
    const std::string configValues = "\"ShutdownOnBatteryWait\"=dword:0000001e\n\"Unit\"=dword:00000001\n";
    const std::string other = "\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Other]\n\"Keep\"=dword:00000001\n";
    static const char kJunk[] = "\x7f"
                                "ELF\x02\x01\x01\0\0\xff\xfe\n\x89PNG\r\n\x1a\n\"x\"=\n";
    using Names = std::optional<std::vector<std::string>>;
    const Names none;
    const Names dll = std::vector<std::string>{"Dll"};
    const Names config = std::vector<std::string>{"ShutdownOnBatteryWait", "Unit"};
    const Names keep = std::vector<std::string>{"Keep"};
    const Names empty = std::vector<std::string>{};
    const struct
    {
        const char* what;
        std::string text;
        Names battery, config, other;
    } cases[] = {
        {"header without its \"]\"",
         "REGEDIT4\n\n" + battery + "\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery\\Config\n" +
             configValues + other,
         dll, none, keep},
        {"trailing \"\\\" on the line before a header",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery]\n\"Dll\"=\"battery.dll\"\\\n"
         "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery\\Config]\n" +
             configValues + other,
         empty, config, keep},
        {"junk line between values",
         "REGEDIT4\n\n" + battery + "HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery\\Config]\n" +
             configValues + other,
         dll, none, keep},
        {"junk file", std::string(kJunk, sizeof kJunk - 1), none, none, none},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        ostest::TempDeviceRoot root;
        std::ofstream(os::registryFilePath(), std::ios::binary) << c.text;
        const auto expectKeys = [&](auto read)
        {
            EXPECT_EQ(read(u"Drivers\\BuiltIn\\Battery"), c.battery);
            EXPECT_EQ(read(u"Drivers\\BuiltIn\\Battery\\Config"), c.config);
            EXPECT_EQ(read(u"Drivers\\BuiltIn\\Other"), c.other);
        };
        expectKeys(valueNames);

        // Two writes of another key: the first keeps the damaged file, the second
        // (of a file that now reads cleanly) leaves that copy alone.
        HKEY elsewhere = createKey(HKEY_LOCAL_MACHINE, u"Elsewhere");
        for (DWORD number : {1u, 2u})
        {
            ASSERT_EQ(setDword(elsewhere, u"Value", number), ERROR_SUCCESS);
            EXPECT_EQ(readWhole(os::registryFilePath() + ".bad"), c.text);
        }
        RegCloseKey(elsewhere);
        expectKeys(valueNamesInChild);
        EXPECT_NE(readWhole(root.path() + "/VosEvent.log").find("kept as " + os::registryFilePath() + ".bad"),
                  std::string::npos);
    }
}

// Every damaged file is kept, each under a name of its own; none overwrites another.
TEST(Registry, EachDamagedFileIsKeptUnderANameOfItsOwn)
{
    ostest::TempDeviceRoot root;
    const std::string damaged[] = {
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\First\n\"Value\"=dword:00000001\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Second]\nthe second file's junk line\n\"Value\"=dword:00000002\n",
    };
    for (const std::string& text : damaged)
    {
        std::ofstream(os::registryFilePath(), std::ios::binary | std::ios::trunc) << text;
        HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Written");
        RegCloseKey(key);
    }
    EXPECT_EQ(readWhole(os::registryFilePath() + ".bad"), damaged[0]);
    EXPECT_EQ(readWhole(os::registryFilePath() + ".bad.1"), damaged[1]);
}

// No file of the registry, nor the event log it reports to, is written or created through a
// link out of the device root: the file outside stays as it was, byte for byte.
TEST(Registry, NoFileIsWrittenThroughALinkOutOfTheRoot)
{
    const struct
    {
        const char* name;
        bool outsideExists;
        LONG written;
    } cases[] = {
        {"registry.reg.tmp", true, ERROR_SUCCESS},     {"registry.reg.tmp", false, ERROR_SUCCESS},
        {"registry.reg.bad.tmp", true, ERROR_SUCCESS}, {"VosEvent.log", true, ERROR_SUCCESS},
        {"VosEvent.log", false, ERROR_SUCCESS},         {"registry.reg.lock", false, ERROR_CANTWRITE},
    };
    const std::string outsideText = "outside the device root\n";
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.name) + (c.outsideExists ? " to a file" : " to nothing"));
        ostest::TempDeviceRoot outside; // a folder outside the root; the next one is the device's
        ostest::TempDeviceRoot root;
        const std::string target = outside.path() + "/target";
        if (c.outsideExists)
            std::ofstream(target, std::ios::binary) << outsideText;
        ASSERT_EQ(symlink(target.c_str(), (root.path() + "/" + c.name).c_str()), 0);
        // A damaged registry: the write keeps it, reports so, and replaces it.
        std::ofstream(os::registryFilePath(), std::ios::binary) << "REGEDIT4\n\njunk\n";

        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Written", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  c.written);
        if (key)
            RegCloseKey(key);
        if (c.outsideExists)
            EXPECT_EQ(readWhole(target), outsideText);
        else
            EXPECT_FALSE(fs::exists(target)) << "a file was made outside the device root";
    }
}

TEST(Registry, EveryTypeSurvivesTheTextFile)
{
    ostest::TempDeviceRoot root;
    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Types");
    const std::u16string multi(u"COM1:\0COM2:\0\0", 13);
    const std::u16string oddText(u"quote \" back\\slash\nline \u00E9\u20AC");
    const std::u16string unterminated(u"abc");
    const BYTE binary[] = {0x00, 0xFF, 0x10, 0x7F};
    const BYTE shortDword[] = {1, 2, 3};
    struct Case
    {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    auto bytes = [](const void* data, size_t size)
    { return std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size); };
    const DWORD number = 0xDEADBEEF;
    const Case cases[] = {
        {u"Sz", REG_SZ, bytes(u"Hard Disk", 20)},
        {u"Empty", REG_SZ, bytes(u"", 2)},
        {u"Odd", REG_SZ, bytes(oddText.c_str(), (oddText.size() + 1) * 2)},
        {u"NoTerminator", REG_SZ, bytes(unterminated.data(), unterminated.size() * 2)},
        {u"Expand", REG_EXPAND_SZ, bytes(u"%ROOT%\\x", 18)},
        {u"Multi", REG_MULTI_SZ, bytes(multi.data(), multi.size() * 2)},
        {u"Dword", REG_DWORD, bytes(&number, 4)},
        {u"ShortDword", REG_DWORD, bytes(shortDword, 3)},
        {u"Binary", REG_BINARY, bytes(binary, 4)},
        {u"BigBinary", REG_BINARY, std::vector<BYTE>(100, 0x5A)},
        {u"", REG_SZ, bytes(u"default", 16)},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases)
    {
        ASSERT_EQ(RegSetValueExW(key, c.name, 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS);
        expected.push_back(os::toUtf8(c.name) + " " + std::to_string(c.type) + " " +
                           hex(c.data.data(), c.data.size()));
    }
    expected.push_back("end 259");
    EXPECT_EQ(dumpInChild("Types"), expected);

    std::ifstream file(os::registryFilePath());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("[HKEY_LOCAL_MACHINE\\Types]\n\"Sz\"=\"Hard Disk\"\n"), std::string::npos);
    EXPECT_NE(text.str().find("\"Dword\"=dword:deadbeef\n"), std::string::npos);
    EXPECT_NE(text.str().find("\"Multi\"=multi:\"COM1:\",\"COM2:\"\n"), std::string::npos);
    EXPECT_NE(text.str().find("\"Expand\"=expand:\"%ROOT%\\\\x\"\n"), std::string::npos);
    EXPECT_NE(text.str().find("@=\"default\"\n"), std::string::npos);
    RegCloseKey(key);
}

TEST(Registry, KilledWriterLeavesTheLastCompleteState)
{
    ostest::TempDeviceRoot root;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        ostest::ChildProcess writer({"reg-churn", "Churn"});
        unsigned lastDone = 0;
        const unsigned stopAfter = 5 + 7 * static_cast<unsigned>(attempt);
        while (lastDone < stopAfter)
        {
            const std::string line = writer.readLine();
            ASSERT_EQ(line.rfind("wrote ", 0), 0u) << line;
            lastDone = static_cast<unsigned>(std::stoul(line.substr(6)));
        }
        writer.signal(SIGKILL); // most likely in the middle of a later write
        writer.wait();

        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Churn", 0, KEY_READ, &key), ERROR_SUCCESS);
        std::vector<BYTE> blob(4 + 65536 + 16);
        DWORD size = static_cast<DWORD>(blob.size());
        DWORD type = 0;
        ASSERT_EQ(RegQueryValueExW(key, u"Blob", nullptr, &type, blob.data(), &size), ERROR_SUCCESS);
        ASSERT_EQ(size, 4u + 65536u);
        DWORD round = 0;
        std::memcpy(&round, blob.data(), 4);
        EXPECT_GE(round, lastDone);
        for (size_t i = 4; i < size; ++i)
            ASSERT_EQ(blob[i], static_cast<BYTE>(round & 0xFF)) << "byte " << i;
        RegCloseKey(key);
    }
}

TEST(Registry, NewDeviceRootIsSeededFromFragmentsBesideTheProgram)
{
    ostest::TempDeviceRoot root;
    // A program folder of its own with two fragments; the later one may override.
    const fs::path program =
        fs::path(root.path()).parent_path() / (fs::path(root.path()).filename().string() + "-bin");
    fs::create_directories(program / "registry.d");
    fs::copy_file(ostest::helperPath(), program / "os_test_helper");
    fs::copy_file(os::programDirectory() + "/liboslayer.so", program / "liboslayer.so");
    std::ofstream(program / "registry.d" / "10-first.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\Seeded]\n\"TraceLevel\"=dword:00000003\n"
           "\"Name\"=\"first\"\n";
    std::ofstream(program / "registry.d" / "20-second.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\Seeded]\r\n"
           "\"Name\"=\"second\"\r\n\"Data\"=hex:01,02,\\\r\n  03\r\n";

    ostest::ChildProcess child({"reg-dump", "software\\corvanta\\seeded"},
                               (program / "os_test_helper").string());
    EXPECT_EQ(child.readLine(), "TraceLevel 4 03000000");
    EXPECT_EQ(child.readLine(), "Name 1 " + hex(u"second", 14));
    EXPECT_EQ(child.readLine(), "Data 3 010203");
    EXPECT_EQ(child.readLine(), "end 259");
    child.wait();
    fs::remove_all(program);

    // The seeded file is this device root's registry from now on.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\Seeded", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(queryDword(key, u"TraceLevel"), 3u);
    RegCloseKey(key);

    // The device is named after the host unless a fragment names it.
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, &key), ERROR_SUCCESS);
    WCHAR name[256];
    DWORD size = sizeof name;
    ASSERT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(os::toUtf8(name), host);
    RegCloseKey(key);
}

TEST(Registry, SystemLanguageComesFromTheLocaleKey)
{
    ostest::TempDeviceRoot root;
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0409) << "no locale key: English";

    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"Locale");
    struct Case
    {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        LANGID expected;
    };
    const Case cases[] = {
        {"German", REG_DWORD, {0x07, 0x04, 0, 0}, 0x0407},
        {"Austrian German", REG_DWORD, {0x07, 0x0C, 0, 0}, 0x0C07},
        {"zero names no language", REG_DWORD, {0, 0, 0, 0}, 0x0409},
        {"wider than a language identifier", REG_DWORD, {0x07, 0x04, 0x01, 0}, 0x0409},
        {"a text is not a number", REG_SZ, {'7', 0}, 0x0409},
        {"two bytes are not a DWORD", REG_BINARY, {0x07, 0x04}, 0x0409},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(RegSetValueExW(key, u"SystemLangID", 0, c.type, c.data.data(), DWORD(c.data.size())),
                  ERROR_SUCCESS);
        EXPECT_EQ(GetSystemDefaultLangID(), c.expected) << c.what;
    }
    EXPECT_EQ(PRIMARYLANGID(0x0C07), LANG_GERMAN);
    RegCloseKey(key);
}
