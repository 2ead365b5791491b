// One interpolation group of the NC kernel, attached to one channel. The
// channel's entries wait in the prepared-entry table; the feeder worker turns
// them into kernel records and sends them in batches of up to five.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "QbVosDllCe.h"
#include "fifo_table.h"
#include "kernel_record.h"
#include "worker_thread.h"

class CChannel;
class CChnMan;
class CEntry;

class CGroup
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

    // The feeder starts at once; kernel is the NC kernel's address (port 500).
    CGroup(CChnMan* service, std::uint32_t id, std::uint16_t value, const OrxAddr& kernel);
    ~CGroup();
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

    // The channel's add-entry: 1 taken, AddEntry::NotNow while the table holds
    // ChannelRoom entries.
    int AddEntry(CEntry* entry);
    int FreePlaces() const;
    // A fed batch is an unfinished motion until the kernel's event 0. The
    // batches are counted before they go out, so that an event that overtakes
    // the answer to its batch still finishes it.
    bool HasUnfinishedMotion() const { return m_finishedBatches != m_sentBatches || !m_cooked.IsEmpty(); }
    bool NothingToFeed() const { return m_cooked.IsEmpty(); }
    void MotionFinished() { m_finishedBatches = m_sentBatches.load(); }
    // Reset state 3 until a reset entry has been fed.
    void MarkReset() { m_resetState = ResetPending; }
    std::uint16_t ResetState() const { return m_resetState; }
    bool ResetSettled() const { return m_resetState == ResetRunning && m_cooked.IsEmpty(); }
    bool LockActive() const { return m_lockActive; }
    // Makes the next function-30 entry a record (the channel asks for it).
    void RequestFunction30() { m_function30 = true; }

    // Empties the table and feeds a reset (type 11) or channel-stop (type 12).
    void ResetGroup();
    void StopGroup();
    void WakeFeeder() { m_feederEvent.Set(); }
    // Stops the feeder; always joins.
    void Stop();

    // One feed step (the feeder's unit of work); true when something was fed.
    bool FeedStep();
    // Converts the entry at a place of the table into a kernel record; 1 made,
    // 0 none. twoPlaces: the entry also filled the next record; endBatch: no
    // record may follow in this batch; recordClass 0 for a lock stop.
    int ConvertEntry(int place, std::uint8_t* record, bool& twoPlaces, bool& endBatch, int& recordClass);

    int BatchSize() const { return m_batchSize; }

private:
    void FeederWorker();
    void ResetWith(CEntry* entry);
    void DeleteTableEntries();
    bool FixBatchSize();
    // Takes a reset or channel-stop entry from the head and tells the kernel.
    void FeedReset();
    // Converts an entry whose record needs the entry's own type.
    int ConvertFunction(CEntry* entry, std::uint8_t* record, bool& endBatch, int& recordClass);
    int LockStop(std::uint8_t* record, bool& endBatch, int& recordClass);
    void Log(DWORD type, const std::string& text);

    const std::uint32_t m_id;
    const std::uint16_t m_value;
    const OrxAddr m_kernel;
    std::string m_name;
    CVosSync m_feederSync{0, 0, nullptr};
    CChnMan* m_service;
    CChannel* m_channel = nullptr;
    std::uint32_t m_kernelValue = 0;
    CCookedTable m_cooked;

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
    std::atomic<std::uint32_t> m_sentBatches{0};
    std::atomic<std::uint32_t> m_finishedBatches{0};
    std::atomic<bool> m_feederLog{false};

    CWakeEvent m_feederEvent;
    CWorkerThread m_feeder;
    std::atomic<bool> m_stopFeeder{false};
    // Guards the batch buffer and the table take against the service's thread.
    std::recursive_mutex m_lock;
};
