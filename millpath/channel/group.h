// One interpolation group of the NC kernel, attached to one channel. The
// channel's entries go through the group's transformer chain into the
// prepared-entry table; the feeder worker turns them into kernel records and
// sends them in batches of up to five, keeping copies in the feeder backup
// while the channel's backup switch is on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "QbVosDllCe.h"
#include "feeder_backup.h"
#include "fifo_table.h"
#include "kernel_record.h"
#include "trans_host.h"
#include "transformer.h"
#include "worker_thread.h"

class CChannel;
class CChnMan;
class CEntry;

class CGroup : public CTransformerHost, public CFeederBackupHost
{
public:
    // The channel admits entries while its stages hold fewer than this.
    static constexpr int ChannelRoom = 49;
    static constexpr std::uint16_t ResetRunning = 0;
    static constexpr std::uint16_t ResetPending = 3;
    // Kernel requests of the feed.
    static constexpr std::uint32_t GroupParamBase = 0x3100;
    static constexpr std::uint32_t BatchSizeOffset = 0xE;
    static constexpr std::uint32_t GroupFeedBase = 0x3200;
    static constexpr std::uint32_t FeedOffset = 0x60;
    static constexpr std::uint32_t ResetOffset = 1;
    static constexpr std::uint32_t ChannelStopOffset = 2;
    static constexpr std::uint32_t KernelRefusedBatch = 0x42BD;
    static constexpr std::uint32_t KernelPartialBatch = 0x423F;
    // Report log types.
    static constexpr std::uint32_t LogError = 148;
    static constexpr std::uint32_t LogInfo = 0x81;
    static constexpr std::uint32_t LogMessage = 84;
    static constexpr std::uint32_t TransformerFailed = 3162;
    static constexpr const char* DiagnosticFile = "Millpath.log";

    // The workers start at once; kernel is the NC kernel's address (port 500).
    // correction makes the chain's radius correction (the chain's own without one).
    CGroup(CChnMan* service, std::uint32_t id, std::uint16_t value, const OrxAddr& kernel,
           const CTransTable::CorrectionFactory& correction = {});
    ~CGroup() override;
    CGroup(const CGroup&) = delete;
    CGroup& operator=(const CGroup&) = delete;

    std::uint32_t Id() const { return m_id; }
    std::uint16_t Value() const { return m_value; }
    void SetName(const std::string& name) { m_name = name; }
    const std::string& Name() const { return m_name; }
    void SetKernelValue(std::uint32_t value) { m_kernelValue = value; }
    // Takes the channel with that id from the channel manager; false when the
    // group has no id or service, or no channel has that id.
    bool SetChannel(std::uint32_t channelId);
    CChannel* Channel() const { return m_channel; }
    void SetFeederLog(bool on) { m_feederLog = on; }
    bool FeederLog() const { return m_feederLog; }
    // The folder of "Millpath.log"; empty: the working directory.
    void SetLogPath(const std::string& path);

    // The channel's add-entry: through the chamfer and rounding stage while
    // the channel's chamfer switch is on, else straight into the chain. 1
    // taken, AddEntry::NotNow while the stages hold ChannelRoom entries, -1
    // an error (the channel stands in state 11).
    int AddEntry(CEntry* entry);
    // 49 less what the chamfer stage and the look-ahead hold, never below 0.
    int FreePlaces() const;
    // A fed batch is an unfinished motion until the kernel's event 0. The
    // batches are counted before they go out, so that an event that overtakes
    // the answer to its batch still finishes it.
    bool HasUnfinishedMotion() const;
    bool NothingToFeed() const { return m_cooked.IsEmpty(); }
    // The kernel's event 0: one fed batch has finished. The events are
    // counted, so that a late event of an earlier batch never finishes a
    // batch sent after it.
    void MotionFinished();
    void AllMotionFinished() { m_finishedBatches = m_sentBatches.load(); }
    bool BatchesUnfinished() const { return m_finishedBatches != m_sentBatches; }
    // Reset state 3 until a reset entry has been fed.
    void MarkReset() { m_resetState = ResetPending; }
    // The kernel reset its group (event 5): nothing is fed and the chain
    // holds until the channel resets.
    void KernelReset();
    std::uint16_t ResetState() const { return m_resetState; }
    bool ResetSettled() const { return m_resetState == ResetRunning && m_cooked.IsEmpty() && !m_firstStep; }
    bool LockActive() const { return m_lockActive; }
    // Makes the next function-30 entry a record (the channel asks for it).
    void RequestFunction30() { m_function30 = true; }

    // Empties the chain, the table and the backup and feeds a reset (type 11)
    // or channel-stop (type 12) entry. Only wakes the workers.
    void ResetGroup();
    void StopGroup();
    void WakeTransformer() { m_transformerEvent.Set(); }
    void WakeFeeder() { m_feederEvent.Set(); }
    // Stops the transformer worker, then the feeder; always joins.
    void Stop();

    // Retrace (commands 0x14) and forward (0x15) over the feeder backup, from
    // the kernel's 72-byte state record.
    void StartBackupWalk(const std::uint8_t* state, int direction);

    // One feed step (the feeder's unit of work); true when something was fed.
    bool FeedStep();
    // Converts the entry at a place of the table into a kernel record; 1 made,
    // 0 none. twoPlaces: the entry also filled the next record (an offset
    // record); endBatch: no record may follow in this batch; recordClass 0
    // for a lock stop.
    int ConvertEntry(int place, std::uint8_t* record, bool& twoPlaces, bool& endBatch, int& recordClass);
    // The diagnostic text of a record made from the entry.
    std::string RecordText(const std::uint8_t* record) const;

    int BatchSize() const override { return m_batchSize; }
    CTransformer& Transformer() { return *m_transformer; }
    // The channel's collision flags (80 and 81) for the transformer: 0, or
    // 1803 for a value the transformer refuses.
    std::uint32_t SetCollisionMode(std::uint32_t mode);
    std::uint32_t CollisionCommand(std::uint32_t depth);
    CFeederBackup& Backup() { return m_backup; }
    // The prepared-entry table, for tests that feed it with the workers stopped.
    CCookedTable& Cooked() { return m_cooked; }

    // What the transformer chain needs of its group.
    void Report(std::uint32_t flags, std::uint32_t message, const char* format,
                const std::vector<long long>& args) override;
    bool ReportsWanted() const override;
    long long ChannelLine() const override;
    void ChannelError(const CEntry* entry, std::uint32_t error) override;
    CFiFoTable& OutputTable() override { return m_cooked; }
    void EntriesMade() override { WakeFeeder(); }
    int ChannelState() const override;
    std::uint16_t ToolType(std::uint32_t tool) const override;
    double ToolRadius(std::uint32_t tool) const override;
    std::uint32_t GroupId() const override { return m_id; }

    // What the feeder backup needs of its group.
    int BatchCount() const override { return m_batchCount; }
    std::uint8_t* NextBatchRecord() override;
    void RecordText(const std::string& text) override;
    void Log(std::uint32_t type, const std::string& text) override;
    bool CommandLogging() const override;
    void InterpreterError(std::int32_t line, std::uint32_t error) override;

private:
    void TransformerWorker();
    void FeederWorker();
    void ResetWith(CEntry* entry);
    void DeleteTableEntries();
    bool FixBatchSize();
    // Takes a reset or channel-stop entry from the head and tells the kernel.
    void FeedReset();
    // Fills the batch from the table: the entries it took records from and
    // the places each took. 1 a batch, 0 none, -1 an entry that makes no
    // record left the table.
    int FillBatch(int& entries, int (&entryPlaces)[KernelRecord::MaxBatch]);
    // Sends the batch's count records (or, with the measurement switch on,
    // takes them as accepted); the kernel's result with its accepted count.
    std::uint32_t SendBatch(int count, std::uint32_t& accepted);
    // Handles the kernel's answer: takes the accepted entries from the table
    // (true when some were), or marks the group for reset; refused with the
    // block for a refused batch.
    bool TakeAccepted(std::uint32_t result, std::uint32_t accepted, int entries,
                      const int (&entryPlaces)[KernelRecord::MaxBatch], bool& refused,
                      std::uint32_t& refusedBlock);
    // Converts an entry whose record needs the entry's own type.
    int ConvertFunction(CEntry* entry, std::uint8_t* record, bool& endBatch, int& recordClass);
    int LockStop(std::uint8_t* record, bool& endBatch, int& recordClass);
    // Appends lines to "Millpath.log", opened for each write.
    void WriteDiagnostics(const char* prefix, int first, int count);

    const std::uint32_t m_id;
    const std::uint16_t m_value;
    const OrxAddr m_kernel;
    std::string m_name;
    std::string m_batchTexts[KernelRecord::MaxBatch];
    CVosSync m_feederSync{0, 0, nullptr};
    CChnMan* m_service;
    std::atomic<CChannel*> m_channel{nullptr};
    std::uint32_t m_kernelValue = 0;
    CCookedTable m_cooked;
    std::unique_ptr<CTransformer> m_transformer;
    CFeederBackup m_backup{*this};

    std::uint8_t m_batch[KernelRecord::MaxBatch][KernelRecord::Size] = {};
    int m_batchCount = 0;
    std::atomic<int> m_batchSize{0};

    bool m_lockActive = false;
    bool m_lockRequest = false;
    bool m_orxWait = false;
    std::atomic<bool> m_function30{false};
    double m_auxStore[5] = {};
    bool m_auxPositionMade = false;

    std::atomic<std::uint16_t> m_resetState{ResetRunning};
    std::uint32_t m_resets = 0; // resets of the group so far (under the lock)
    std::atomic<std::uint32_t> m_sentBatches{0};
    std::atomic<std::uint32_t> m_finishedBatches{0};
    std::string m_logPath;
    std::atomic<bool> m_feederLog{false};

    CWakeEvent m_transformerEvent;
    CWakeEvent m_feederEvent;
    CWorkerThread m_transformerThread;
    CWorkerThread m_feeder;
    std::atomic<bool> m_stopTransformer{false};
    std::atomic<bool> m_stopFeeder{false};
    // The first transformer step after a reset drops what the chain holds.
    std::atomic<bool> m_firstStep{false};
    // Guards the chain's steps, the batch buffer, the tables' takes and the
    // backup against each other and the service's thread. A channel's lock is
    // always taken before it, never after.
    mutable std::recursive_mutex m_lock;
};
