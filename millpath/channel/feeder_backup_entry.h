// Copies of the kernel records a group has fed, one class per record kind,
// each with its dump text. Entries refer to older entries of the same
// backup only (the rules in force, the entry before), so removing entries
// newest first never leaves a reference dangling.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "entry.h"
#include "kernel_record.h"
#include "vec3d.h"

class CFeederBackupEntry
{
public:
    // The record (its first 156 bytes) and the id the backup gave it.
    CFeederBackupEntry(const std::uint8_t* record, std::uint32_t id);
    virtual ~CFeederBackupEntry() = default;
    CFeederBackupEntry(const CFeederBackupEntry&) = delete;
    CFeederBackupEntry& operator=(const CFeederBackupEntry&) = delete;

    // "\nBlockNo: ..." and the kind's own text.
    virtual void Dump(std::string& out) const;

    const std::uint8_t* Record() const { return m_record; }
    std::uint32_t Kind() const { return Word(KernelRecord::FeedGrpType); }
    std::uint32_t Word(std::size_t offset) const { return GetLe32(m_record + offset); }
    double Double(std::size_t offset) const { return KernelRecord::GetDouble(m_record, offset); }
    std::uint32_t BlockNo() const { return Word(KernelRecord::BlockNo); }
    std::uint32_t Id() const { return m_id; }

protected:
    std::uint8_t m_record[KernelRecord::Size];
    std::uint32_t m_id;
};

class CFeederBackupEntryIpolRules : public CFeederBackupEntry
{
public:
    CFeederBackupEntryIpolRules(const std::uint8_t* record, std::uint32_t id,
                                const CFeederBackupEntryIpolRules* previous)
        : CFeederBackupEntry(record, id), m_previous(previous)
    {
    }
    void Dump(std::string& out) const override;
    const CFeederBackupEntryIpolRules* Previous() const { return m_previous; }

private:
    const CFeederBackupEntryIpolRules* m_previous;
};

// Start of a geometry record, which the record itself does not carry.
struct GeoStart
{
    CVec3d point;
    double aux[5] = {};
};

class CFeederBackupEntryGeo3d : public CFeederBackupEntry
{
public:
    CFeederBackupEntryGeo3d(const std::uint8_t* record, std::uint32_t id, const GeoStart& start,
                            const CFeederBackupEntryIpolRules* rules)
        : CFeederBackupEntry(record, id), m_start(start), m_rules(rules)
    {
    }
    void Dump(std::string& out) const override;
    const GeoStart& Start() const { return m_start; }
    // The rules in force for this record; null when none was fed before it.
    const CFeederBackupEntryIpolRules* Rules() const { return m_rules; }

private:
    GeoStart m_start;
    const CFeederBackupEntryIpolRules* m_rules;
};

class CFeederBackupEntryMFunc : public CFeederBackupEntry
{
public:
    CFeederBackupEntryMFunc(const std::uint8_t* record, std::uint32_t id, const CFeederBackupEntry* previous)
        : CFeederBackupEntry(record, id), m_previous(previous)
    {
    }
    void Dump(std::string& out) const override;

private:
    const CFeederBackupEntry* m_previous;
};

// The classes whose record needs only its kind's text.
class CFeederBackupEntryFunc : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntryWait : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntrySpindle : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntryORX : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntryStop : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntryHValue : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

class CFeederBackupEntryTValue : public CFeederBackupEntry
{
public:
    using CFeederBackupEntry::CFeederBackupEntry;
    void Dump(std::string& out) const override;
};

// The M kind words of an M-function record.
constexpr std::uint32_t MKindSet = static_cast<std::uint32_t>(MFunkKind::Set);
constexpr std::uint32_t MKindReset = static_cast<std::uint32_t>(MFunkKind::Reset);
constexpr std::uint32_t MKindTest = static_cast<std::uint32_t>(MFunkKind::Test);
constexpr std::uint32_t MKindClear = static_cast<std::uint32_t>(MFunkKind::Clear);

// The names of the feed types in the dumps, "unknown " for another value.
const char* FeedTypeName(std::uint32_t feedType);
