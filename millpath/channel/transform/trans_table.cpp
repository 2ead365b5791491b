#include "trans_table.h"

#include <algorithm>
#include <new>
#include <vector>

#include "collision_detection.h"
#include "nc_radius_correction.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
// The correction rules of one end; the end's offset vectors stay as they are.
void TakeCorrectionData(CEntry_Korrektur& to, const CEntry_Korrektur& from, std::uint32_t plane)
{
    to.m_value = from.m_value;
    to.m_active = from.m_value != 0 ? 1u : 0u;
    to.m_toolNumber = from.m_toolNumber;
    to.m_approach = from.m_approach;
    to.m_variant = from.m_variant;
    to.m_toolType = from.m_toolType;
    to.m_radius = from.m_radius;
    to.m_plane = plane;
}

bool ValidValue(std::int32_t value)
{
    return value >= -1 && value <= 1;
}
} // namespace

int CTransElement::InsertAfter(CEntry* entry)
{
    return m_table->InsertAfter(entry, this);
}

int CTransElement::InsertBefore(CEntry* entry)
{
    return m_table->InsertBefore(entry, this);
}

CTransTable::CTransTable(CTransformerHost& host, const CorrectionFactory& correction) : m_host(host)
{
    m_correction = correction ? correction(*this) : std::make_unique<CBNcRadiusCorrection>(*this);
}

CTransTable::~CTransTable()
{
    Clear();
}

void CTransTable::Report(std::uint32_t flags, std::uint32_t message, const char* format,
                         std::initializer_list<long long> args)
{
    m_host.Report(flags, message, format, std::vector<long long>(args));
}

void CTransTable::TakeRules(const CEntrySetIpolRules& rules)
{
    m_current.m_value = static_cast<std::int32_t>(rules.m_rule4);
    m_current.m_toolNumber = rules.m_rule5;
    m_current.m_approach = rules.m_rule6;
    m_current.m_variant = rules.m_rule7;
    if (rules.m_rule5 == 0)
    {
        m_current.m_radius = 0.0;
        return;
    }
    // A tool without a type keeps the type known before.
    const std::uint16_t type = m_host.ToolType(rules.m_rule5);
    if (type != 0)
        m_current.m_toolType = type;
    m_current.m_radius = m_host.ToolRadius(rules.m_rule5);
}

int CTransTable::CheckCorrection(const CEntryGeo_3D& entry)
{
    const long long line = m_host.ChannelLine();
    const long long block = entry.m_blockNo;
    if (!ValidValue(entry.m_korrStart.m_value) || !ValidValue(entry.m_korrEnd.m_value))
    {
        Report(TransFlags::Error, TransMsg::BadCorrectionValue, "%d%d", {line, block});
        return static_cast<int>(TransError::CorrectionData);
    }
    if (entry.m_korrStart.m_approach > 1 || entry.m_korrEnd.m_approach > 1)
    {
        Report(TransFlags::Error, TransMsg::BadApproach, "%d%d", {line, block});
        return static_cast<int>(TransError::CorrectionData);
    }
    // The correction cannot carry an offset over into another plane.
    if (entry.m_korrStart.m_active && m_lastEnd.m_plane != entry.m_plane)
    {
        Report(TransFlags::Error, TransMsg::PlaneChanged, "%d%d", {line, block});
        return static_cast<int>(TransError::PlaneChange);
    }
    return 0;
}

int CTransTable::Append(CEntry* entry)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_correction)
        return static_cast<int>(TransError::NoCorrection);
    auto* geo = entry && entry->m_type == ENTRY_GEO_3D ? static_cast<CEntryGeo_3D*>(entry) : nullptr;
    if (geo)
    {
        // The start holds what was in force at the end of the element before.
        TakeCorrectionData(geo->m_korrStart, m_lastEnd, geo->m_plane);
        TakeCorrectionData(geo->m_korrEnd, m_current, geo->m_plane);
        geo->m_prep.m_sideChange = geo->m_korrStart.m_value != 0 && geo->m_korrEnd.m_value != 0 &&
                                           geo->m_korrStart.m_value != geo->m_korrEnd.m_value
                                       ? 1u
                                       : 0u;
        if (const int error = CheckCorrection(*geo); error != 0)
            return error;
    }
    auto* node = entry ? new (std::nothrow) CTransElement(entry, this) : nullptr;
    if (!node)
    {
        Report(TransFlags::Error, TransMsg::NoNode, "%d", {m_host.ChannelLine()});
        return static_cast<int>(TransError::NoMemory);
    }
    if (entry->m_type == ENTRY_SETIPOLRULES)
        TakeRules(static_cast<const CEntrySetIpolRules&>(*entry));
    node->m_state = geo && (geo->m_korrStart.m_active || geo->m_korrEnd.m_active) ? CTransElement::InWork
                                                                                  : CTransElement::Ready;
    if (geo)
    {
        m_lastEnd = geo->m_korrEnd;
        m_lastEnd.m_plane = geo->m_plane;
    }
    Link(node, m_tail);
    return 0;
}

void CTransTable::Link(CTransElement* node, CTransElement* after)
{
    node->m_prev = after;
    node->m_next = after ? after->m_next : m_head;
    if (node->m_next)
        node->m_next->m_prev = node;
    else
        m_tail = node;
    if (after)
        after->m_next = node;
    else
        m_head = node;
    if (node->IsGeometry())
    {
        CTransElement* prevGeo = node->m_prev;
        while (prevGeo && !prevGeo->IsGeometry())
            prevGeo = prevGeo->m_prev;
        CTransElement* nextGeo = node->m_next;
        while (nextGeo && !nextGeo->IsGeometry())
            nextGeo = nextGeo->m_next;
        node->m_prevGeo = prevGeo;
        node->m_nextGeo = nextGeo;
        if (prevGeo)
            prevGeo->m_nextGeo = node;
        if (nextGeo)
            nextGeo->m_prevGeo = node;
        ++m_geoCount;
    }
    ++m_count;
}

CEntry* CTransTable::Unlink(CTransElement* node)
{
    if (node->m_prev)
        node->m_prev->m_next = node->m_next;
    else
        m_head = node->m_next;
    if (node->m_next)
        node->m_next->m_prev = node->m_prev;
    else
        m_tail = node->m_prev;
    if (node->IsGeometry())
    {
        if (node->m_prevGeo)
            node->m_prevGeo->m_nextGeo = node->m_nextGeo;
        if (node->m_nextGeo)
            node->m_nextGeo->m_prevGeo = node->m_prevGeo;
        --m_geoCount;
    }
    --m_count;
    CEntry* entry = node->m_entry;
    delete node;
    return entry;
}

int CTransTable::Fetch(CEntry*& entry, int& error)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    entry = nullptr;
    error = 0;
    if (!m_head || !m_correction)
        return 0;
    auto take = [&]
    {
        entry = Unlink(m_head);
        m_limit = StartLimit;
        return 1;
    };
    if (m_head->m_state == CTransElement::Ready)
        return take();
    const long long block = m_head->m_entry ? m_head->m_entry->m_blockNo : 0;
    const long long line = m_host.ChannelLine();
    const int result = m_correction->Step(m_head);
    switch (result)
    {
    case CorrectionResult::Ok:
        return m_head ? take() : 0;
    case CorrectionResult::NeedsLookAhead:
        error = -1;
        if (m_count > m_limit)
            m_limit = std::min(m_limit.load() + LimitStep, MaxLimit);
        return 0;
    case CorrectionResult::Reverses:
    case CorrectionResult::NoIntersection:
        Report(TransFlags::Error, TransMsg::CornerFailed, "%d%d", {line, block});
        error = static_cast<int>(TransError::Correction);
        return 0;
    case CorrectionResult::Reversal:
        Report(TransFlags::Warning, TransMsg::Reversal, "%d%d", {line, block});
        return m_head ? take() : 0;
    case CorrectionResult::Bridged:
        if (m_collisionMode == 1 && m_collision && m_collision->Active())
        {
            Report(TransFlags::Warning, TransMsg::BridgeWarned, "%d%d", {line, block});
            return m_head ? take() : 0;
        }
        Report(TransFlags::Error, TransMsg::BridgeRefused, "%x%d%d", {TransError::Bridged, line, block});
        error = static_cast<int>(TransError::Bridged);
        return 0;
    default:
        if (result >= static_cast<int>(TransError::CorrectionData) &&
            result <= static_cast<int>(TransError::CorrectionLast))
        {
            Report(TransFlags::Error, TransMsg::CorrectionData, "%d%d%x", {line, block, result});
            error = result;
            return 0;
        }
        Report(TransFlags::Error, TransMsg::CorrectionFailed, "%d%d%d", {line, block, result});
        error = static_cast<int>(TransError::Correction);
        return 0;
    }
}

CEntry* CTransTable::FetchHead()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_head ? Unlink(m_head) : nullptr;
}

CEntry* CTransTable::FetchTail()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_tail ? Unlink(m_tail) : nullptr;
}

int CTransTable::Insert(CEntry* entry, CTransElement* node, bool after)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_correction)
        return static_cast<int>(TransError::NoCorrection);
    if (!entry || !node)
        return 0;
    auto* added = new (std::nothrow) CTransElement(entry, this);
    if (!added)
        return 0;
    // Elements that the correction adds are complete; it marks them otherwise.
    added->m_state = CTransElement::Ready;
    Link(added, after ? node : node->m_prev);
    return 1;
}

int CTransTable::InsertBefore(CEntry* entry, CTransElement* node)
{
    return Insert(entry, node, false);
}

int CTransTable::InsertAfter(CEntry* entry, CTransElement* node)
{
    return Insert(entry, node, true);
}

void CTransTable::Clear()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    while (m_head)
        delete Unlink(m_head);
    m_limit = StartLimit;
    m_current = CEntry_Korrektur{};
    m_lastEnd = CEntry_Korrektur{};
}
