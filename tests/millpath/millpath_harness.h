// A device with the router, the NC kernel simulator and Millpath as child
// processes, and a Vos client to Millpath's service port.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QbVosDllCe.h"
#include "testsupport.h"

namespace mptest
{

constexpr USHORT ServicePort = 11500;
constexpr auto Patience = std::chrono::seconds(120);

// One JSON line of the simulator's log, flat: "key" -> raw value text.
using LogLine = std::map<std::string, std::string>;
LogLine ParseLine(const std::string& line);
// "NcPrjPath" of the device's registry; empty removes it.
void SetProjectPath(const std::string& path);
std::vector<double> Numbers(const std::string& array);

class Device
{
public:
    // project: the folder "NcPrjPath" names (created, filled with the sample
    // project); empty: no project path in the registry.
    explicit Device(bool withProject = true);
    ~Device();

    const std::string& Root() const { return m_root.Path(); }
    const std::string& Project() const { return m_project; }
    std::string SimLog() const { return m_root.Path() + "/ncksim.log"; }

    // Starts the simulator with these arguments (its log is added).
    void StartSim(const std::vector<std::string>& args = {});
    // Starts Millpath; autostart: the user server starts its service.
    void StartMillpath(bool autostart = true);
    void StopMillpath();
    // Waits for the n-th configuration answer of the simulator's log; its result.
    bool WaitConfigured(int n, std::uint32_t& result);
    std::vector<LogLine> Log(const std::string& event) const;
    // Waits until the log holds at least n lines of the event.
    bool WaitLog(const std::string& event, std::size_t n);

    LONG Read(ULONG group, ULONG offset, ULONG length, std::vector<std::uint8_t>& data);
    LONG Write(ULONG group, ULONG offset, const std::vector<std::uint8_t>& data);
    LONG ReadWrite(ULONG group, ULONG offset, ULONG readLength, const std::vector<std::uint8_t>& data,
                   std::vector<std::uint8_t>& answer);
    LONG WriteTo(const char* portName, ULONG group, ULONG offset, const std::vector<std::uint8_t>& data);
    // The channel's interpreter state (0x2000 + channel, offset 4); -1 on error.
    int State(int channel = 1);
    bool WaitState(int state, int channel = 1);
    // The channel's NC error (0x2100 + channel, offset 3); ~0 on error.
    std::uint32_t NcError(int channel = 1);
    // Records the simulator has logged (its control port); ~0 on error.
    std::uint32_t RecordCount();
    // Loads a program with a command and starts it.
    LONG Load(const std::string& file, int channel = 1);
    LONG StartProgram(int channel = 1);

private:
    vostest::DeviceRoot m_root;
    std::string m_project;
    std::unique_ptr<vostest::Child> m_sim;
    std::unique_ptr<vostest::Child> m_millpath;
    CVosSync m_client{0, 0, nullptr};
};

// A device that runs the sample project with the default kernel.
struct Running
{
    Device device;
    explicit Running(const std::vector<std::string>& simArgs = {});
};

// Loads and starts the program and waits for its end; the records it made.
std::vector<LogLine> RunProgram(Device& device, const std::string& file);
// The numbers of a log array against the expected ones.
void ExpectVec(const std::string& array, std::vector<double> expected, double tolerance = 1e-9);

std::vector<std::uint8_t> Word(std::uint32_t value);
std::vector<std::uint8_t> Text(const std::string& text);
std::vector<std::uint8_t> Doubles(const std::vector<double>& values);

} // namespace mptest
