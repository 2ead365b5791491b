#include "millpath_harness.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include <os/registry.h>
#include <os/text.h>

namespace mptest
{
namespace
{
const char* const SampleFiles[] = {"m_defs.t00", "1.NP", "1.WZ", "contour.nc", "loop.nc"};

void Terminate(std::unique_ptr<vostest::Child>& child);
} // namespace

// An empty path removes the value (the device's own fragment sets one).
void SetProjectPath(const std::string& path)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon\\Nc", 0, nullptr, 0, KEY_ALL_ACCESS,
                   nullptr, &key, &disposition);
    if (path.empty())
    {
        RegDeleteValue(key, u"NcPrjPath");
        RegCloseKey(key);
        return;
    }
    const std::u16string value = os::toUtf16(path);
    RegSetValueEx(key, u"NcPrjPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                  static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

namespace
{
void Terminate(std::unique_ptr<vostest::Child>& child)
{
    if (!child)
        return;
    ::kill(child->Pid(), SIGTERM);
    child->Finish();
    child.reset();
}
} // namespace

LogLine ParseLine(const std::string& line)
{
    LogLine fields;
    std::size_t i = 0;
    while ((i = line.find('"', i)) != std::string::npos)
    {
        const std::size_t keyEnd = line.find('"', i + 1);
        if (keyEnd == std::string::npos || keyEnd + 1 >= line.size() || line[keyEnd + 1] != ':')
        {
            i = keyEnd == std::string::npos ? line.size() : keyEnd + 1;
            continue;
        }
        const std::string key = line.substr(i + 1, keyEnd - i - 1);
        std::size_t v = keyEnd + 2;
        std::size_t end = v;
        if (line[v] == '"')
            end = line.find('"', v + 1) + 1;
        else if (line[v] == '[')
            end = line.find(']', v) + 1;
        else
            end = line.find_first_of(",}", v);
        std::string value = line.substr(v, end - v);
        if (!value.empty() && value.front() == '"')
            value = value.substr(1, value.size() - 2);
        fields[key] = value;
        i = end;
    }
    return fields;
}

std::vector<double> Numbers(const std::string& array)
{
    std::vector<double> values;
    std::string text = array;
    for (char& c : text)
        if (c == '[' || c == ']' || c == ',')
            c = ' ';
    std::istringstream in(text);
    double v = 0.0;
    while (in >> v)
        values.push_back(v);
    return values;
}

Device::Device(bool withProject)
{
    if (withProject)
    {
        m_project = m_root.Path() + "/Nc";
        std::filesystem::create_directories(m_project);
        for (const char* file : SampleFiles)
            std::filesystem::copy_file(std::string("ncproject/") + file, m_project + "/" + file);
        SetProjectPath(m_project);
    }
    else
        SetProjectPath("");
}

Device::~Device()
{
    Terminate(m_millpath);
    Terminate(m_sim);
}

void Device::StartSim(const std::vector<std::string>& args)
{
    std::vector<std::string> all{"--log", SimLog()};
    all.insert(all.end(), args.begin(), args.end());
    m_sim = std::make_unique<vostest::Child>("ncksim", all);
}

void Device::StartMillpath(bool autostart)
{
    if (autostart)
        ::setenv("QBUSERSRV_AUTOSTART", "Millpath", 1);
    else
        ::unsetenv("QBUSERSRV_AUTOSTART");
    m_millpath = std::make_unique<vostest::Child>("millpath", std::vector<std::string>{});
    ::unsetenv("QBUSERSRV_AUTOSTART");
    // The user-server port opens after the registration.
    EXPECT_EQ(m_millpath->ReadLine(Patience), "millpath: running");
}

void Device::StopMillpath()
{
    Terminate(m_millpath);
}

std::vector<LogLine> Device::Log(const std::string& event) const
{
    std::vector<LogLine> lines;
    std::ifstream in(SimLog());
    std::string line;
    while (std::getline(in, line))
    {
        LogLine fields = ParseLine(line);
        if (fields["event"] == event)
            lines.push_back(std::move(fields));
    }
    return lines;
}

bool Device::WaitLog(const std::string& event, std::size_t n)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (Log(event).size() >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool Device::WaitConfigured(int n, std::uint32_t& result)
{
    if (!WaitLog("configured", static_cast<std::size_t>(n)))
        return false;
    result =
        static_cast<std::uint32_t>(std::stoul(Log("configured")[static_cast<std::size_t>(n - 1)]["result"]));
    return true;
}

namespace
{
OrxAddr Service()
{
    OrxAddr addr{};
    addr.port = ServicePort;
    return addr;
}
} // namespace

LONG Device::Read(ULONG group, ULONG offset, ULONG length, std::vector<std::uint8_t>& data)
{
    data.assign(length, 0);
    ULONG returned = 0;
    const OrxAddr addr = Service();
    const LONG result = m_client.VosSyncReadReq(&addr, group, offset, length, data.data(), &returned);
    data.resize(result == 0 ? returned : 0);
    return result;
}

LONG Device::Write(ULONG group, ULONG offset, const std::vector<std::uint8_t>& data)
{
    const OrxAddr addr = Service();
    return m_client.VosSyncWriteReq(&addr, group, offset, static_cast<ULONG>(data.size()), data.data());
}

LONG Device::ReadWrite(ULONG group, ULONG offset, ULONG readLength, const std::vector<std::uint8_t>& data,
                       std::vector<std::uint8_t>& answer)
{
    answer.assign(readLength, 0);
    ULONG returned = 0;
    const OrxAddr addr = Service();
    const LONG result = m_client.VosSyncReadWriteReq(&addr, group, offset, readLength, answer.data(),
                                                     static_cast<ULONG>(data.size()), data.data(), &returned);
    answer.resize(result == 0 ? returned : 0);
    return result;
}

LONG Device::WriteTo(const char* portName, ULONG group, ULONG offset, const std::vector<std::uint8_t>& data)
{
    OrxAddr addr{};
    const LONG found = OrxGetPortByName(portName, &addr);
    if (found != 0)
        return found;
    return m_client.VosSyncWriteReq(&addr, group, offset, static_cast<ULONG>(data.size()), data.data());
}

int Device::State(int channel)
{
    std::vector<std::uint8_t> data;
    if (Read(0x2000 + channel, 4, 4, data) != 0 || data.size() != 4)
        return -1;
    return static_cast<int>(data[0] | (data[1] << 8));
}

bool Device::WaitState(int state, int channel)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (State(channel) == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::uint32_t Device::NcError(int channel)
{
    std::vector<std::uint8_t> data;
    if (Read(0x2100 + channel, 3, 4, data) != 0 || data.size() != 4)
        return ~0u;
    return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
}

std::uint32_t Device::RecordCount()
{
    OrxAddr sim{};
    std::uint8_t count[4] = {};
    if (OrxGetPortByName("NcKernelSim", &sim) != 0 || m_client.VosSyncReadReq(&sim, 1, 0, 4, count) != 0)
        return ~0u;
    return static_cast<std::uint32_t>(count[0] | count[1] << 8 | count[2] << 16 | count[3] << 24);
}

LONG Device::Load(const std::string& file, int channel)
{
    return Write(0x2200 + channel, 4, Text(file));
}

LONG Device::StartProgram(int channel)
{
    return Write(0x2200 + channel, 2, {});
}

std::vector<std::uint8_t> Word(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::vector<std::uint8_t> Text(const std::string& text)
{
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

std::vector<std::uint8_t> Doubles(const std::vector<double>& values)
{
    std::vector<std::uint8_t> data(values.size() * 8);
    std::memcpy(data.data(), values.data(), data.size());
    return data;
}

Running::Running(const std::vector<std::string>& simArgs)
{
    device.StartSim(simArgs);
    device.StartMillpath();
    std::uint32_t result = 1;
    EXPECT_TRUE(device.WaitConfigured(1, result));
    EXPECT_EQ(result, 0u);
}

std::vector<LogLine> RunProgram(Device& device, const std::string& file)
{
    const std::size_t before = device.Log("record").size();
    EXPECT_EQ(device.Load(file), 0);
    EXPECT_EQ(device.StartProgram(), 0);
    EXPECT_TRUE(device.WaitState(12)) << "state " << device.State();
    auto records = device.Log("record");
    return std::vector<LogLine>(records.begin() + static_cast<long>(before), records.end());
}

void ExpectVec(const std::string& array, std::vector<double> expected, double tolerance)
{
    const std::vector<double> got = Numbers(array);
    ASSERT_EQ(got.size(), expected.size()) << array;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], tolerance) << array;
}

} // namespace mptest
