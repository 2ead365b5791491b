// The look-ahead list of the radius correction: entries wait here, in their
// order, until the correction has treated the corner after them. A second
// chain links the nodes of geometry entries. Every operation on the list
// runs under the table's lock, from the channel's side (Append) and from the
// transformer's worker (Fetch).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "entry.h"

class CBNcRadiusCorrection;
class CCollisionDetection;
class CTransTable;
class CTransformerHost;

class CTransElement
{
public:
    // Node states.
    static constexpr int Ready = 1;    // treated, may leave
    static constexpr int InWork = 0;   // the correction must treat it first
    static constexpr int Waiting = -1; // in work, held behind a look-ahead

    CTransElement(CEntry* entry, CTransTable* table) : m_entry(entry), m_table(table) {}
    virtual ~CTransElement() = default;

    // Add an entry beside this node (the correction's connecting elements).
    int InsertAfter(CEntry* entry);
    int InsertBefore(CEntry* entry);
    bool IsGeometry() const { return m_entry && m_entry->m_type == ENTRY_GEO_3D; }

    std::int32_t m_state = InWork;
    CEntry* m_entry; // owned by the table until it leaves
    CTransTable* m_table;
    CTransElement* m_next = nullptr;
    CTransElement* m_prev = nullptr;
    CTransElement* m_nextGeo = nullptr;
    CTransElement* m_prevGeo = nullptr;
};

class CTransTable
{
public:
    static constexpr int StartLimit = 50;
    static constexpr int LimitStep = 5;
    static constexpr int MaxLimit = 200;

    // Makes the table's radius correction; the table takes no entry without one.
    using CorrectionFactory = std::function<std::unique_ptr<CBNcRadiusCorrection>(CTransTable&)>;

    // Without a factory the table has the chain's own radius correction.
    explicit CTransTable(CTransformerHost& host, const CorrectionFactory& correction = {});
    virtual ~CTransTable();
    CTransTable(const CTransTable&) = delete;
    CTransTable& operator=(const CTransTable&) = delete;

    // 0 taken, else the error (the caller keeps the entry): 0x4106 without a
    // radius correction, 0x4105 without a node, 0x4150 or 0x4152 for
    // correction data that do not fit.
    int Append(CEntry* entry);
    // Takes the head entry when it is ready: 1 with the entry, 0 with none
    // (error -1: more look-ahead needed, or the error of the correction).
    int Fetch(CEntry*& entry, int& error);
    // Takes the head or the tail whatever its state; null when empty.
    CEntry* FetchHead();
    CEntry* FetchTail();
    // 1 added, 0 no node made, 0x4106 without a radius correction.
    int InsertBefore(CEntry* entry, CTransElement* node);
    int InsertAfter(CEntry* entry, CTransElement* node);
    // Deletes every node and its entry and forgets the correction data.
    void Clear();

    int Count() const { return m_count; }
    int GeoCount() const { return m_geoCount; }
    int Limit() const { return m_limit; }
    CTransElement* Head() const { return m_head; }
    CTransElement* Tail() const { return m_tail; }
    CBNcRadiusCorrection* Correction() const { return m_correction.get(); }
    std::recursive_mutex& Lock() { return m_lock; }
    CTransformerHost& Host() const { return m_host; }

    // The collision mode (a copy of the transformer's) and the stage whose
    // switch decides how a bridged arc corner counts.
    void SetCollisionMode(int mode) { m_collisionMode = mode; }
    int CollisionMode() const { return m_collisionMode; }
    void SetCollisionDetection(const CCollisionDetection* stage) { m_collision = stage; }

    // The correction data in force: those of the last rules entry, with the
    // tool's type and radius.
    const CEntry_Korrektur& CurrentCorrection() const { return m_current; }

private:
    void TakeRules(const CEntrySetIpolRules& rules);
    int CheckCorrection(const CEntryGeo_3D& entry);
    void Link(CTransElement* node, CTransElement* after);
    CEntry* Unlink(CTransElement* node);
    int Insert(CEntry* entry, CTransElement* node, bool after);
    void Report(std::uint32_t flags, std::uint32_t message, const char* format,
                std::initializer_list<long long> args);

    CTransformerHost& m_host;
    CTransElement* m_head = nullptr;
    CTransElement* m_tail = nullptr;
    std::atomic<int> m_count{0};
    std::atomic<int> m_limit{StartLimit};
    std::atomic<int> m_geoCount{0};
    std::recursive_mutex m_lock;
    std::unique_ptr<CBNcRadiusCorrection> m_correction;
    std::atomic<int> m_collisionMode{0};
    const CCollisionDetection* m_collision = nullptr;
    CEntry_Korrektur m_current; // data of the last rules entry
    CEntry_Korrektur m_lastEnd; // data at the end of the last geometry entry
};
