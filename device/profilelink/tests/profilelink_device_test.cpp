// Profilelink on the shipped device description and across processes.
#include "gkt_test_support.h"

#include <os/deviceroot.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using gkttest::DeviceTest;

class ProfilelinkProcesses : public DeviceTest
{
};

pid_t startPeer(const std::vector<std::string>& arguments)
{
    const std::string program = os::programDirectory() + "/profilelink_peer";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

TEST_F(ProfilelinkProcesses, ConcurrentCallersInTwoProcessesSeeTheSameValues)
{
    ASSERT_EQ(GKTOpen(), 0);
    const uint32_t marker = 0x5EED;
    ASSERT_EQ(GKTSyncWrite(0x2000, 1, 0, 4, &marker), 0);

    constexpr uint32_t kRounds = 200;
    const pid_t peer =
        startPeer({"0x2010", "2", std::to_string(kRounds), "500000", "0x2000", "1", std::to_string(marker)});
    ASSERT_GT(peer, 0);
    int failures = 0;
    for (uint32_t i = 0; i < kRounds; ++i)
    {
        const uint32_t value = 700000 + i;
        uint32_t back = 0;
        failures += GKTSyncReadWrite(0x2010, 1, 0, 4, &value, 4, &back, nullptr) != 0 || back != value;
    }
    int status = -1;
    ASSERT_EQ(::waitpid(peer, &status, 0), peer);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(failures, 0);

    // What the peer wrote last is what this process reads now.
    uint32_t peerValue = 0;
    EXPECT_EQ(GKTSyncRead(0x2010, 2, 0, 4, &peerValue, nullptr), 0);
    EXPECT_EQ(peerValue, 500000 + kRounds - 1);
    // The peer closed its own handle when it ended; ours and the control handle remain.
    EXPECT_EQ(stats().openContexts, 2u);
}

// The shipped description, read the way the diagnostics server imports it.
class ShippedDevice : public DeviceTest
{
protected:
    std::string description() const override { return {}; }
};

std::string readText(WORD index, BYTE subindex)
{
    std::vector<char> text(2815);
    DWORD bytesRead = 0;
    if (GKTSyncRead(index, subindex, 0, 2814, text.data(), &bytesRead) != 0)
        return {};
    return std::string(text.data(), strnlen(text.data(), bytesRead));
}

TEST_F(ShippedDevice, ImportFindsModulesTablesAndEntries)
{
    // A device root without a description gets the shipped one.
    EXPECT_TRUE(std::filesystem::exists(m_manager.root() + "/GktSim.txt"));
    ASSERT_EQ(GKTOpen(), 0);
    uint8_t lengths[10] = {};
    DWORD size = sizeof lengths;
    ASSERT_EQ(GKTSyncGetODList(0, &size, lengths), 0);
    std::vector<uint16_t> indices(lengths[0] | lengths[1] << 8);
    size = static_cast<DWORD>(2 * indices.size());
    ASSERT_EQ(GKTSyncGetODList(1, &size, indices.data()), 0);

    std::map<int, std::pair<std::string, std::string>> modules; // number -> type, name
    std::set<uint16_t> types;
    int tableEntries = 0;
    for (uint16_t index : indices)
    {
        BYTE code = 0, entries = 0;
        char name[255] = {};
        DWORD nameLength = 254;
        ASSERT_EQ(GKTSyncGetObjectDescription(index, 0, &code, nullptr, &entries, name, &nameLength), 0);
        const int area = index >> 12;
        if (area == 1 || area == 15)
            continue;
        const int module = (index >> 4) & 0xFF;
        if (!modules.count(module))
            modules[module] = {readText(0x8000 + 16 * module, 2), readText(0x8000 + 16 * module, 3)};
        for (BYTE sub = 0; sub < entries; ++sub)
        {
            std::vector<uint8_t> description(1024);
            const uint32_t descriptionSize = 1024;
            std::memcpy(description.data(), &descriptionSize, 4);
            ASSERT_EQ(GKTSyncGetEntryDescription(index, sub, 0, description.data()), 0);
            uint16_t type = 0;
            std::memcpy(&type, &description[6], 2);
            types.insert(type);
            tableEntries += area == 8 && (code == 8 || code == 9);
        }
    }
    EXPECT_GE(modules.size(), 5u);
    for (const auto& [number, texts] : modules)
    {
        EXPECT_FALSE(texts.first.empty()) << number;
        EXPECT_FALSE(texts.second.empty()) << number;
    }
    EXPECT_GT(tableEntries, 40);
    for (uint16_t type : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 22, 24, 25, 26, 27, 40, 48, 55})
        EXPECT_TRUE(types.count(type)) << type;
}

TEST_F(ShippedDevice, BacklightModuleIsFoundThroughTheModuleList)
{
    ASSERT_EQ(GKTOpen(), 0);
    uint16_t count = 0;
    ASSERT_EQ(GKTSyncRead(0xF020, 0, 0, 2, &count, nullptr), 0);
    int configIndex = -1;
    for (BYTE sub = 1; sub <= count && configIndex < 0; ++sub)
    {
        uint32_t item = 0;
        ASSERT_EQ(GKTSyncRead(0xF020, sub, 0, 4, &item, nullptr), 0);
        if (item >> 16 == 19)
            configIndex = 0x8000 + 16 * (item & 0x7FF) + 3;
    }
    ASSERT_GT(configIndex, 0);
    char port[30] = {};
    ASSERT_EQ(GKTSyncRead(WORD(configIndex), 2, 0, 30, port, nullptr), 0);
    EXPECT_STREQ(port, "COM3");
    char newPort[20] = "COM5";
    EXPECT_EQ(GKTSyncWrite(WORD(configIndex), 2, 0, 20, newPort), 0);
    ASSERT_EQ(GKTSyncRead(WORD(configIndex), 2, 0, 30, port, nullptr), 0);
    EXPECT_STREQ(port, "COM5");
    const uint32_t brightness = 60;
    EXPECT_EQ(GKTSyncWrite(WORD(configIndex), 4, 0, 4, &brightness), 0);
    uint32_t back = 0;
    EXPECT_EQ(GKTSyncRead(WORD(configIndex), 4, 0, 4, &back, nullptr), 0);
    EXPECT_EQ(back, 60u);
}

TEST_F(ShippedDevice, LiveValuesChange)
{
    ASSERT_EQ(GKTOpen(), 0);
    double first = 0, later = 0;
    ASSERT_EQ(GKTSyncRead(0x8022, 1, 0, 8, &first, nullptr), 0);
    uint32_t seconds = 0, laterSeconds = 0;
    ASSERT_EQ(GKTSyncRead(0x8022, 2, 0, 4, &seconds, nullptr), 0);
    // Wait (bounded) until the seconds counter moves on.
    for (int i = 0; i < 600 && laterSeconds <= seconds; ++i)
    {
        ::usleep(10000);
        ASSERT_EQ(GKTSyncRead(0x8022, 2, 0, 4, &laterSeconds, nullptr), 0);
    }
    ASSERT_EQ(GKTSyncRead(0x8022, 1, 0, 8, &later, nullptr), 0);
    EXPECT_GT(laterSeconds, seconds);
    EXPECT_GT(later, first);
}

TEST(ProfilelinkLibrary, LoadsByNameWithItsEightEntryPoints)
{
    HMODULE library = LoadLibraryW(u"Profilelink.dll");
    ASSERT_NE(library, nullptr) << GetLastError();
    for (const char* name : {"GKTOpen", "GKTClose", "GKTSyncRead", "GKTSyncWrite", "GKTSyncReadWrite",
                             "GKTSyncGetODList", "GKTSyncGetObjectDescription", "GKTSyncGetEntryDescription"})
        EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
    devmgr::testing::DeviceManagerProcess root; // no manager: the bound open fails like the linked one
    const auto open = reinterpret_cast<PFN_GKTOpen>(GetProcAddress(library, "GKTOpen"));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open(), static_cast<LONG>(0xECA70000 | ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(library));
}

TEST(ProfilelinkDescription, AnUnreadableDescriptionLeavesTheDeviceOut)
{
    devmgr::testing::DeviceManagerProcess manager;
    manager.writeFile("GktSim.txt", "object 0x2000 VAR \"x\"\n  0 UINT8 ro 300 \"too big\"\n");
    ASSERT_TRUE(manager.start());
    EXPECT_EQ(GKTOpen(), static_cast<LONG>(0xECA70000 | ERROR_FILE_NOT_FOUND));
    EXPECT_NE(manager.log().find("line 2"), std::string::npos) << manager.log();
    EXPECT_EQ(manager.stop(), 0);
}

} // namespace
