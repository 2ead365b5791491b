// The NC kernel simulator: answers Millpath's requests on the kernel's port
// 500, logs every fed record as a JSON line and sends the kernel's commands
// (configuration 0x401E, channel events 0x4016) to Millpath's port 11500.
// Its named control port "NcKernelSim" lets tests send commands on demand and
// script the answers to the batches.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QbVosDllCe.h"

namespace ncksim
{

struct SimChannel
{
    std::uint32_t id = 1;
    std::uint32_t dialect = 1;
    std::uint32_t size = 100000;
    std::string name;
};

struct SimGroup
{
    std::uint32_t id = 1;
    std::uint32_t type = 2;
    std::uint32_t channel = 1;
};

struct SimConfig
{
    std::vector<SimChannel> channels;
    std::vector<SimGroup> groups;
    // Channel 1 of the own dialect with group 1 of type 2.
    static SimConfig Default();
};

// Lines "channel ID [dialect D] [size S] [name N]" and "group ID [type T]
// [channel C]"; "#" starts a comment. False with a message for a bad line.
bool ParseConfig(const std::string& text, SimConfig& config, std::string& error);

// Answer to one batch: the result code, the records accepted (-1: all) and
// the batch size wanted next.
struct BatchAnswer
{
    std::uint32_t result = 0;
    std::int32_t accepted = -1;
    std::uint32_t next = 5;
};

// Control port requests (writes to "NcKernelSim").
constexpr ULONG CtlSendConfiguration = 1; // no data
constexpr ULONG CtlSendEvent = 2;         // code, channel, argument bytes
constexpr ULONG CtlScriptAnswers = 3;     // n x (result, accepted, next), 32-bit each
constexpr ULONG CtlBatchSize = 4;         // the size the kernel asks for (offset 0xE)
constexpr ULONG CtlParameterValue = 5;    // the double answered for a parameter read
constexpr ULONG CtlAutoEvent0 = 6;        // 32-bit: 0 no event 0 after a batch
// Control port reads.
constexpr ULONG CtlRecordCount = 1; // 32-bit: records logged

class CNcKernelSim
{
public:
    struct Options
    {
        USHORT kernelPort = 500;
        USHORT servicePort = 11500;
        std::vector<USHORT> extraPorts; // second kernel addresses: log writes, echo read-writes
        std::string controlName = "NcKernelSim";
    };

    CNcKernelSim(SimConfig config, Options options, std::FILE* log);
    ~CNcKernelSim();

    // Opens the ports and starts watching for the service port. False when a
    // port cannot be opened.
    bool Start();
    void Stop();

    void SendConfiguration();
    void SendEvent(std::uint32_t code, std::uint32_t channel, const std::uint8_t* args, std::size_t length);
    void ScriptAnswers(const std::vector<BatchAnswer>& answers);
    void SetBatchSize(std::uint32_t size) { m_batchSize = size; }
    void SetParameterValue(double value);
    void SetAutoEvent0(bool on) { m_autoEvent0 = on; }
    std::uint32_t RecordCount() const { return m_records; }

    // Port handlers.
    void OnRead(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset,
                ULONG length);
    void OnWrite(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset,
                 ULONG length, const void* data);
    void OnReadWrite(CVos& from, USHORT port, const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset,
                     ULONG readLength, ULONG writeLength, const void* data);
    void OnResponse(const OrxCmd* cmd);
    void OnControlWrite(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length,
                        const void* data);
    void OnControlRead(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length);

private:
    class Port;
    class ControlPort;

    void Log(const std::string& line);
    void Watch();
    bool AnswerRead(ULONG group, ULONG offset, ULONG length, std::vector<std::uint8_t>& data);
    BatchAnswer NextAnswer(std::uint32_t sent);
    void LogRecord(std::uint32_t group, const std::uint8_t* record);
    OrxAddr Service() const;
    const SimChannel* FindChannel(std::uint32_t id) const;
    const SimGroup* FindGroup(std::uint32_t id) const;

    SimConfig m_config;
    Options m_options;
    std::FILE* m_log;
    std::mutex m_logLock;
    std::unique_ptr<Port> m_kernel;
    std::vector<std::unique_ptr<Port>> m_extra;
    std::unique_ptr<ControlPort> m_control;
    std::mutex m_lock; // script, positions, parameter value
    std::deque<BatchAnswer> m_script;
    double m_positions[3] = {0.0, 0.0, 0.0};
    double m_parameterValue = 0.0;
    std::atomic<std::uint32_t> m_batchSize{5};
    std::atomic<bool> m_autoEvent0{true};
    std::atomic<std::uint32_t> m_records{0};
    std::atomic<ULONG> m_invoke{1};
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint32_t> m_lastResult{0xFFFFFFFF};
    std::thread m_watcher;
};

} // namespace ncksim
