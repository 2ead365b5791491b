// The feeder backup of a group: copies of the records fed to the NC kernel,
// oldest first, so that the path can be run backwards (retrace) and forward
// again over the same records. While the backup switch is on, every record
// carries the id of its copy in its EntryIdx word, by which the kernel names
// the record it stands on when a retrace or forward starts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feeder_backup_entry.h"

// What the backup needs of its group.
class CFeederBackupHost
{
public:
    virtual ~CFeederBackupHost() = default;
    virtual int BatchCount() const = 0;
    virtual int BatchSize() const = 0;
    // The next record place of the batch (counted), zeroed.
    virtual std::uint8_t* NextBatchRecord() = 0;
    // The diagnostic text of the record just made.
    virtual void RecordText(const std::string& text) = 0;
    virtual void Log(std::uint32_t type, const std::string& text) = 0;
    virtual bool CommandLogging() const = 0;
    // The interpreter's error at the line of a record (-2 for none); the
    // channel stands in state 11.
    virtual void InterpreterError(std::int32_t line, std::uint32_t error) = 0;
};

class CFeederBackup
{
public:
    static constexpr int ModeRunning = 0;
    static constexpr int ModeBeginning = 1; // the retrace passed the oldest record
    static constexpr int ModeEnd = 2;       // the forward passed the newest record
    static constexpr int ModeInitial = 3;
    static constexpr int DirectionForward = 1;
    static constexpr int DirectionRetrace = 2;
    static constexpr std::size_t StateSize = 72;
    static constexpr std::uint32_t SubFeederInfo = 28; // function sub-code of the feeder-info record
    static constexpr std::uint32_t FeederInfoEnd = 0;
    static constexpr std::uint32_t FeederInfoFirstSegment = 2;
    static constexpr std::uint32_t InvalidEntryId = 16754;
    static constexpr std::uint32_t RulesMissing = 1;
    static constexpr std::uint32_t LogInfo = 145;
    static constexpr std::uint32_t LogError = 148;

    explicit CFeederBackup(CFeederBackupHost& host) : m_host(host) { Reset(); }
    CFeederBackup(const CFeederBackup&) = delete;
    CFeederBackup& operator=(const CFeederBackup&) = delete;

    // Clears the state record and the flags; the mode becomes 3. The records stay.
    void Reset();
    // In place of a normal batch while a retrace or forward runs: the records
    // made into the group's batch.
    int FeedStep();
    // Keeps a copy of a fed record and writes its id into the record's
    // EntryIdx word; a geometry record takes its start, which it does not carry.
    std::uint32_t AddEntry(std::uint8_t* record, const GeoStart& start = {});
    // Deletes the n newest copies (the records the kernel did not take).
    void RemoveEntries(int n);
    void RemoveAll();
    int Count() const { return static_cast<int>(m_list.size()); }
    bool IsEmpty() const { return m_list.empty(); }
    const CFeederBackupEntry& At(int index) const { return *m_list[static_cast<std::size_t>(index)]; }

    // A retrace (commands 0x14) or forward (0x15) starts from the state
    // record the kernel sends: its first word names the record it stands
    // on (0: none; the walk starts at the newest record, or where the last
    // walk stopped).
    void SetStartState(const std::uint8_t* state, int direction);
    // Whether the feeder runs the backup in place of its batches.
    bool Active() const;
    int Mode() const { return m_mode; }

private:
    // The named record again, as the kernel's start; false when none is made.
    bool StartRecord(int& made);
    int RetraceWalk();
    int ForwardWalk();
    // The record that undoes an entry going backwards; false when none is sent.
    bool Backward(std::size_t index, std::uint8_t* record) const;
    void ReverseGeometry(const CFeederBackupEntryGeo3d& entry, std::uint8_t* record) const;
    std::uint8_t* Emit(const std::uint8_t* source, const std::string& text);
    void FeederInfo(std::uint32_t value);
    void InternalError(const char* text, std::int32_t line, std::uint32_t error);
    const CFeederBackupEntry* OlderOfKind(std::size_t index) const;

    CFeederBackupHost& m_host;
    std::vector<std::unique_ptr<CFeederBackupEntry>> m_list;
    const CFeederBackupEntryIpolRules* m_lastRules = nullptr;
    std::uint32_t m_lastId = 0;
    std::uint8_t m_state[StateSize] = {};
    int m_mode = ModeInitial;
    int m_direction = 0;
    bool m_pending = false;   // the named record goes out first
    bool m_withRules = false; // forward sends the rules before each geometry record
    bool m_stop = false;      // an invalid id or an internal error stopped the walk
    std::size_t m_cursor = 0; // entries below it are behind a retrace, the rest ahead of a forward
    const CFeederBackupEntry* m_rulesSentFor = nullptr;
};
