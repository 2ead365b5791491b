// One NC channel of the kernel: its interpreter, the worker that runs it, the
// link to the NC kernel, the program text with its display info, and the
// zero-point and tool files. A channel lock, held by each worker step,
// command and event, keeps the interpreter to one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "QbVosDllCe.h"
#include "display_info.h"
#include "interpreter.h"
#include "interpreter_channel.h"
#include "program_text_store.h"
#include "worker_thread.h"

class CGroup;
class CMillpathService;

class CChannel : public IInterpreterChannel
{
public:
    static constexpr std::uint32_t ChannelParamBase = 0x2100;
    static constexpr std::uint32_t ChannelCommandBase = 0x2200;
    static constexpr std::uint32_t ChannelConfigBase = 0x2000;
    static constexpr std::uint32_t KernelWriteFailed = 0x4000;
    static constexpr std::uint32_t NoKernelWait = 0x410A;
    static constexpr std::uint16_t DialectNone = 0;
    static constexpr std::uint16_t DialectOwn = 1;
    static constexpr std::uint16_t DialectSecond = 2;
    static constexpr int MaxRunText = 500;
    static constexpr int MaxFileName = 259;
    static constexpr int Tools = 255;
    static constexpr int ToolParams = 14;
    static constexpr int FileZeroPoints = 8;
    static constexpr int FileAxes = 3;
    // Channel flags 80 to 84.
    static constexpr int FlagCollisionMode = 0;
    static constexpr int FlagCollisionDepth = 1;
    static constexpr int FlagChamfer = 2;
    static constexpr int FlagOffsetRecord = 3;
    static constexpr int FlagBackup = 4;

    CChannel(CMillpathService* service, std::uint32_t id, const OrxAddr& kernel);
    ~CChannel() override;
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;

    // Configuration, in this order; false when the channel refuses the value.
    void SetName(const std::string& name) { m_name = name; }
    const std::string& Name() const { return m_name; }
    bool SetSize(std::uint32_t size);
    // Creates the interpreter of the dialect and reads the zero-point file.
    bool SetDialect(std::uint32_t dialect);
    void SetFeederLog(bool on);
    bool FeederLog() const { return m_feederLog; }
    void SetCommandLog(bool on) { m_commandLog = on; }
    bool CommandLog() const { return m_commandLog; }
    void AttachGroup(CGroup* group);
    CGroup* Group() const { return m_groupAttached[0] ? m_groups[0] : nullptr; }

    std::uint32_t Id() const { return m_id; }
    std::uint32_t Size() const { return m_size; }
    std::uint16_t Dialect() const { return m_dialect; }
    // Stops the worker (always joined). Also done by the destructor.
    void Stop();
    void Wake() { m_workerEvent.Set(); }
    std::recursive_mutex& Lock() { return m_lock; }
    CInterpreter* Interpreter() const { return m_interpreter.get(); }
    InterpreterState State() const;
    bool Ready() const { return m_interpreter != nullptr; }
    CDisplayInfo* DisplayInfo() { return m_displayInfo.get(); }

    // Switches of table A that the group reads.
    bool Flag(int index) const { return m_flags[index] != 0; }
    bool MeasurementSwitch() const { return m_measurement != 0; }

    // Commands (table D); each returns 0 or a Vos or NC result code.
    std::uint32_t LoadProgram(const std::string& fileName);
    std::uint32_t LoadDefaultProgram(std::uint32_t number);
    std::uint32_t RunText(const char* text, std::size_t length);
    std::uint32_t Start();
    std::uint32_t ChannelReset();
    std::uint32_t WriteZeroPointFile();
    std::uint32_t ReadZeroPointFile();
    std::uint32_t WriteToolFile();
    std::uint32_t ReadToolFile();
    std::uint32_t ClearTools();
    std::uint32_t ClearZeroPoints();
    std::uint32_t Command(std::uint32_t offset, const std::uint8_t* data, std::size_t length);

    // Kernel events (0x4016): code, then the arguments as they came.
    void Event(std::uint32_t code, const std::uint8_t* args, std::size_t length);
    // The group's kernel refused a batch: the block of the first record not taken.
    void KernelRefused(std::uint32_t blockNo);
    // An error of the group's path preparation: the worker gives it to the
    // interpreter (error line, NC error, state 11) before its next step.
    void PostPathError(std::int32_t line, std::uint32_t code);
    std::uint32_t RefusedBlock() const { return m_refusedBlock; }

    // Values of the service port (channel_values.cpp); data in little-endian
    // words as the port sends them. length: in the room, out the answer size.
    std::uint32_t ReadValue(std::uint32_t offset, std::uint8_t* data, std::size_t& length);
    std::uint32_t WriteValue(std::uint32_t offset, const std::uint8_t* data, std::size_t length);
    std::uint32_t ReadState(std::uint32_t offset, std::uint8_t* data, std::size_t& length);
    std::uint32_t ReadInfo(std::uint32_t offset, std::int32_t index, std::uint8_t* data, std::size_t& length);
    std::uint32_t ReadMTable(std::uint32_t first, std::uint32_t count, std::uint8_t* data);
    std::uint32_t ReadR(std::uint32_t first, std::uint32_t count, std::uint8_t* data);
    std::uint32_t WriteR(std::uint32_t first, std::uint32_t count, const std::uint8_t* data);
    // Line index, block number, state and NC error of a line (-1 the current one).
    void StateRecord(std::int32_t index, std::uint8_t* data, std::size_t length);

    // Kernel requests; each returns 0 or the Vos error.
    std::uint32_t WriteChannelParam(std::uint32_t offset, const void* data, std::size_t length);
    std::uint32_t ReadChannelParam(std::uint32_t& value);
    std::uint32_t ReadKernelValue22(std::uint32_t& value);
    std::uint32_t SignalEndOfCommand();
    std::uint32_t ReadAxisPositions(double positions[3]);
    std::uint32_t ReadGroupValue(double& value);

    // IInterpreterChannel.
    int channelNumber() const override { return static_cast<int>(m_id); }
    void reportLog(const NcLogMessage& message) override;
    int addEntry(CEntry* entry) override;
    int groupFreePlaces() override;
    bool hasGroup() override { return Group() != nullptr; }
    bool groupHasUnfinishedMotion() override;
    bool groupHasCapability(int gNumber) override;
    bool groupExclusiveMode() override { return false; }
    std::uint32_t prepareGroup() override;
    bool programLogOn() override { return m_commandLog; }
    std::string programName() override { return m_programName; }
    bool axisLimits(int axis, double& minimum, double& maximum) override;
    double minimumFeed() override { return 0.0; }
    bool displayText(std::int32_t lineIndex, std::string& text) override;
    bool pathAxesPositions(double positions[3]) override;
    std::uint32_t inputWord() override;
    int findLabel(const std::string& name, std::int32_t& position) override;
    void rotationExtension(bool on) override { m_rotationExtension = on; }
    CProgramTextStore& textStore() override { return *m_store; }
    void programFileOpened(const std::string& path) override;
    std::uint32_t readChannelState(std::uint8_t (&state)[ChannelStateSize]) override;
    bool hasSecondKernelAddress() override { return m_secondKept; }
    std::uint32_t preprocessBlock(const std::string& block, std::string& answer) override;

private:
    // One client per kind of kernel request, so that requests from different
    // threads never share one.
    enum SyncKind
    {
        SyncParamWrite,
        SyncParamRead,
        SyncValue22,
        SyncEndCommand,
        SyncAxes,
        SyncGroupValue,
        SyncKinds
    };

    void Worker();
    bool Connected() const;
    // Brings the interpreter back to idle for a new program: 0, or 0x708 in
    // a state that refuses it.
    std::uint32_t PrepareForProgram();
    // Translates the channel's default definitions (when present) and the
    // program's files or text into one program.
    std::uint32_t LoadSources(const std::string& path, const char* text);
    void AnnounceProgram(const std::string& name);
    std::uint32_t KernelWrite(std::uint32_t offset, const void* data, std::size_t length);
    void KernelWriteFailedError();
    std::string FilePath(const char* extension) const;
    std::string ProjectDir() const;
    // The kernel's event 0 (one batch finished), or with all the release of
    // every fed batch (the wait is cleared).
    void ReleaseKernelWait(bool all = false);
    void Continue();
    void SetSwitches(std::uint32_t word);
    void LogCommand(DWORD type, const char* text);

    CMillpathService* m_service;
    CWakeEvent m_workerEvent;
    std::unique_ptr<CInterpreter> m_interpreter;
    CWorkerThread m_worker;
    std::atomic<bool> m_stop{false};
    CGroup* m_groups[256] = {};
    std::uint32_t m_groupAttached[256] = {};
    std::uint32_t m_groupTable3[256] = {};
    std::uint32_t m_values32[8] = {}; // 0 the kernel value of event 1, 1 and 2 the arguments of event 4
    std::uint16_t m_values16[8] = {}; // 0 the switches, 1 offset 21, 2 and 3 offsets 49 and 50
    const std::uint32_t m_id;
    std::string m_name;
    std::uint32_t m_size = 0;
    const OrxAddr m_kernel;
    std::uint16_t m_dialect = DialectNone;
    std::string m_projectPath;
    std::atomic<bool> m_feederLog{false};
    std::atomic<bool> m_commandLog{false};
    std::atomic<std::uint32_t> m_measurement{0};
    std::atomic<std::uint32_t> m_flags[5] = {};
    // Second kernel address: net id, port, index group and offset.
    struct SecondAddress
    {
        OrxAddr addr{};
        std::uint32_t group = 0;
        std::uint32_t offset = 0;
    } m_second;
    bool m_secondKept = false;
    CVosSync m_sync[SyncKinds];
    CVosSync m_interpreterSync{0, 0, nullptr};

    std::unique_ptr<CProgramTextStore> m_store;
    std::unique_ptr<CDisplayInfo> m_displayInfo;
    std::string m_programName;
    bool m_rotationExtension = false;
    double m_doubles18[2] = {0.0, 0.0};
    std::uint8_t m_value20[42] = {};
    double m_rescanPosition[3] = {0.0, 0.0, 0.0};
    std::uint32_t m_refusedBlock = 0;
    struct PathError
    {
        bool pending = false;
        std::int32_t line = 0;
        std::uint32_t code = 0;
    } m_pathError;
    std::mutex m_pathErrorLock;
    void TakePathError();
    std::recursive_mutex m_lock;
};
