// For Boarddrv's tests: the real device manager on a fresh device root with
// the simulated board ("MPH1:") and Boarddrv ("WMD1:"), API calls with the
// 24-byte header, and the board's test controls.
#pragma once

#include <boardsim/control.h>
#include <boarddrv/wmd.h>
#include <device_manager_process.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace boardtest
{

// The processor, registers, PCI devices and ports of the test board.
inline const char* const kBoardParts = R"(
cpuid 0x00000000 0x00000001 0 0 0
cpuid 0x00000001 0x000906EA 0x00010800 0 0
brand "Simulated Board CPU @ 1.60GHz"
msr 0x1A2 0x0000000000640000
msr 0xC0000080 0x1122334455667788
pci 0 0 0 hex:AD1B1001060090200200000600000000
pci 0 31 3 hex:AD1B3C01030080020200050C00000000
port 0x61 0x20
port 0xCFC 0x80001234
)";

// The processor's name in "Parameters\Tjmax".
inline const char16_t* const kProcessorName = u"000906EA-00000000-Simulated Board CPU @ 1.60GHz";

// A description with one API header in the usual place.
inline std::string boardWith(const std::string& firmwareLines)
{
    return firmwareLines + "\n" + kBoardParts;
}
inline std::string boardOfVersion(const std::string& version)
{
    return boardWith("firmware-version " + version + "\nsignature 0x1F0000 0x1000\n");
}

// What an API call brought back.
struct Answer
{
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD returned = 0;
    uint32_t result = 0;       // response header bytes 0-3
    uint32_t count = 0;        // response header bytes 4-7
    std::vector<uint8_t> data; // the whole response data area

    uint32_t word(size_t index) const
    {
        uint32_t value = 0;
        std::memcpy(&value, data.data() + 4 * index, sizeof value);
        return value;
    }
    uint64_t wide(size_t index) const { return uint64_t(word(index + 1)) << 32 | word(index); }
};

inline std::vector<uint8_t> words(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> bytes(values.size() * 4);
    size_t i = 0;
    for (uint32_t value : values)
        std::memcpy(bytes.data() + 4 * i++, &value, 4);
    return bytes;
}

inline std::vector<uint8_t> wideWords(uint64_t address, std::initializer_list<uint32_t> rest)
{
    std::vector<uint8_t> bytes =
        words({static_cast<uint32_t>(address), static_cast<uint32_t>(address >> 32)});
    const std::vector<uint8_t> tail = words(rest);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// One API call on an open "WMD1:".
inline Answer apiCall(HANDLE device, uint32_t group, uint32_t offset, bool driverLevel,
                      const std::vector<uint8_t>& data, uint32_t areaSize)
{
    std::vector<uint8_t> input(sizeof(wmd::WmdCallHeader), 0xCD),
        output(sizeof(wmd::WmdCallHeader) + areaSize, 0xCD);
    wmd::WmdCallHeader header{};
    std::memset(&header, 0xCD, sizeof header); // bytes the driver does not read
    header.indexGroup = group;
    header.indexOffset = offset;
    header.flags = driverLevel ? wmd::kFlagDriverLevel : 0xFFFFFFFEu;
    std::memcpy(input.data(), &header, sizeof header);
    input.insert(input.end(), data.begin(), data.end());
    Answer answer;
    SetLastError(0);
    answer.ok = DeviceIoControl(device, wmd::kIoctlApiCall, input.data(), DWORD(input.size()), output.data(),
                                DWORD(output.size()), &answer.returned, nullptr);
    answer.error = GetLastError();
    std::memcpy(&answer.result, output.data(), 4);
    std::memcpy(&answer.count, output.data() + 4, 4);
    answer.data.assign(output.begin() + sizeof(wmd::WmdCallHeader), output.end());
    return answer;
}

inline Answer firmwareCall(HANDLE device, uint32_t group, uint32_t offset, const std::vector<uint8_t>& data,
                           uint32_t areaSize)
{
    return apiCall(device, group, offset, false, data, areaSize);
}

inline Answer driverCall(HANDLE device, uint32_t offset, const std::vector<uint8_t>& data, uint32_t areaSize)
{
    return apiCall(device, wmd::kDriverGroup, offset, true, data, areaSize);
}

inline HANDLE openDevice(const char16_t* name)
{
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

inline void setNumber(const std::u16string& keyPath, const char16_t* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

constexpr const char16_t* kDriverKey = u"Drivers\\BuiltIn\\Boarddrv";

// Waits (generously) until the condition holds.
template <class Condition> bool waitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

inline size_t occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The device manager with the board and Boarddrv on a fresh device root.
class BoardDevice
{
public:
    // Writes the board's description; call before start().
    void describe(const std::string& description) { m_manager.writeFile("BoardSim.txt", description); }
    // A value of Boarddrv's key; call before start() or follow with the offset that reloads it.
    void setDriverValue(const char16_t* name, DWORD value) { setNumber(kDriverKey, name, value); }
    // The folder of the event log, so that events can be written.
    void makeLogFolder() const
    {
        std::filesystem::create_directories(m_manager.root() + "/Hard Disk/System");
    }

    bool start()
    {
        if (!m_manager.start())
            return false;
        m_board = openDevice(u"MPH1:");
        m_driver = openDevice(u"WMD1:");
        return m_board != INVALID_HANDLE_VALUE;
    }

    int stop()
    {
        closeHandles();
        return m_manager.stop();
    }

    ~BoardDevice() { closeHandles(); }

    HANDLE driver() const { return m_driver; }
    HANDLE board() const { return m_board; }
    std::string log() const { return m_manager.log(); }
    const std::string& root() const { return m_manager.root(); }

    std::string eventLog() const
    {
        std::ifstream file(m_manager.root() + "/Hard Disk/System/BoarddrvLog.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    void setFault(boardsim::FaultKind kind, uint32_t group, uint32_t offset, uint32_t count,
                  uint32_t value = 0)
    {
        const boardsim::FaultRequest request{static_cast<uint32_t>(kind), group, offset, count, value};
        control(boardsim::kIoctlSetFault, &request, sizeof request, nullptr, 0);
    }
    void setVersion(uint32_t packed)
    {
        control(boardsim::kIoctlSetVersion, &packed, sizeof packed, nullptr, 0);
    }
    void overwriteImage(uint8_t fill) { control(boardsim::kIoctlOverwriteImage, &fill, 1, nullptr, 0); }

    boardsim::BoardState state()
    {
        boardsim::BoardState state{};
        control(boardsim::kIoctlGetState, nullptr, 0, &state, sizeof state);
        return state;
    }

    std::vector<boardsim::PortWrite> takePortLog()
    {
        auto log = std::make_unique<boardsim::PortLog>();
        control(boardsim::kIoctlTakePortLog, nullptr, 0, log.get(), sizeof *log);
        return std::vector<boardsim::PortWrite>(log->writes, log->writes + log->count);
    }

    // Waits until the device manager's log shows `part` at least `count` times.
    bool waitForLog(const std::string& part, size_t count = 1)
    {
        return waitFor([&] { return occurrences(log(), part) >= count; });
    }

private:
    void control(uint32_t code, const void* input, DWORD inputSize, void* output, DWORD outputSize)
    {
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(m_board, code, const_cast<void*>(input), inputSize, output, outputSize,
                                    &returned, nullptr))
            << "control 0x" << std::hex << code << " error " << std::dec << GetLastError();
    }

    void closeHandles()
    {
        for (HANDLE* handle : {&m_driver, &m_board})
            if (*handle != INVALID_HANDLE_VALUE)
            {
                CloseHandle(*handle);
                *handle = INVALID_HANDLE_VALUE;
            }
    }

    devmgr::testing::DeviceManagerProcess m_manager;
    HANDLE m_board = INVALID_HANDLE_VALUE;
    HANDLE m_driver = INVALID_HANDLE_VALUE;
};

// A test with the device running firmware 2.4.0 (more description lines and
// registry values from the test's own set-up, before start()).
class RunningBoard : public ::testing::Test
{
protected:
    void start(const std::string& extraLines = "")
    {
        m_device.describe(boardOfVersion("2.4.0") + extraLines);
        ASSERT_TRUE(m_device.start()) << m_device.log();
        ASSERT_NE(m_device.driver(), INVALID_HANDLE_VALUE) << m_device.log();
    }

    void TearDown() override { EXPECT_EQ(m_device.stop(), 0) << m_device.log(); }

    // Sets a value of the driver's key and has the driver read it again.
    void reload(const char16_t* name, DWORD value, uint32_t offset)
    {
        m_device.setDriverValue(name, value);
        ASSERT_EQ(driverCall(m_device.driver(), offset, {}, 4).result, 0u);
    }

    BoardDevice m_device;
};

// Checks an answer's result, count and the first bytes of its data area.
inline void expectAnswer(const Answer& answer, uint32_t result, std::optional<uint32_t> count,
                         const std::vector<uint8_t>& data, const char* what)
{
    EXPECT_TRUE(answer.ok) << what;
    EXPECT_EQ(answer.result, result) << what;
    if (count)
    {
        EXPECT_EQ(answer.count, *count) << what;
    }
    if (!data.empty())
    {
        ASSERT_GE(answer.data.size(), data.size()) << what;
        EXPECT_EQ(std::vector<uint8_t>(answer.data.begin(), answer.data.begin() + data.size()), data) << what;
    }
}

inline std::vector<uint8_t> versionBytes(uint8_t major, uint8_t minor, uint16_t build)
{
    return {major, minor, static_cast<uint8_t>(build), static_cast<uint8_t>(build >> 8)};
}

} // namespace boardtest
