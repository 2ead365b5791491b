// The feed step: batches of kernel records to the NC kernel, the kernel's
// answer, and the lock mechanism.
#include <cstring>

#include "channel.h"
#include "entry.h"
#include "group.h"
#include "nc_text.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;

// A batch was made, or an entry that makes no record left the table.
constexpr int BatchMade = 1;
constexpr int EntryLeft = -1;

GeoStart GeoStartOf(const CEntry& entry)
{
    GeoStart start;
    if (entry.m_type != ENTRY_GEO_3D)
        return start;
    const auto& geo = static_cast<const CEntryGeo_3D&>(entry);
    start.point = geo.m_start;
    for (int i = 0; i < CEntryGeo_3D::AuxAxes; ++i)
        start.aux[i] = geo.m_auxStart[i];
    return start;
}
} // namespace

bool CGroup::FixBatchSize()
{
    int size = m_batchSize;
    if (size <= 1)
    {
        std::uint8_t answer[4] = {};
        if (m_feederSync.VosSyncReadReq(&m_kernel, GroupParamBase + m_id, BatchSizeOffset, 4, answer) != 0)
            return false;
        const auto asked = static_cast<std::int32_t>(GetLe32(answer));
        if (asked > 1)
            size = asked;
    }
    m_batchSize = size < 1 ? 1 : (size > KernelRecord::MaxBatch ? KernelRecord::MaxBatch : size);
    return true;
}

void CGroup::FeedReset()
{
    CEntry* head = nullptr;
    if (m_resetState != ResetPending || !m_cooked.PeekFirst(head) || !head)
        return;
    if (head->m_type != ENTRY_RESET && head->m_type != ENTRY_CHNSTOP)
        return;
    const std::uint32_t offset = head->m_type == ENTRY_RESET ? ResetOffset : ChannelStopOffset;
    m_cooked.Pop(head);
    delete head;
    m_resetState = ResetRunning;
    if (m_feederSync.VosSyncWriteReq(&m_kernel, GroupFeedBase + m_id, offset, 0, nullptr) != 0)
        m_resetState = ResetPending;
}

int CGroup::FillBatch(int& entries, int (&entryPlaces)[KernelRecord::MaxBatch])
{
    entries = 0;
    CEntry* first = nullptr;
    if (!m_cooked.PeekFirst(first) || !first)
        return 0;
    CChannel* channel = m_channel;
    const bool offsetRecords = channel && channel->Flag(CChannel::FlagOffsetRecord);
    const bool backup = channel && channel->Flag(CChannel::FlagBackup);
    const int batchSize = m_batchSize;
    int places = 0;
    int firstClass = -1;
    while (places < batchSize)
    {
        // Room for a geometry record and its offset record; a batch's first
        // entry takes its two places even when the kernel asked for one, or
        // nothing would ever be fed.
        if (offsetRecords && places > 0 && batchSize - places < 2)
            break;
        CEntry* entry = nullptr;
        // A batch holds entries of one type only.
        if (!m_cooked.Peek(entry, entries) || !entry || entry->m_type != first->m_type)
            break;
        bool twoPlaces = false;
        bool endBatch = false;
        int recordClass = 1;
        const bool lockRequest = m_lockRequest;
        if (!ConvertEntry(entries, m_batch[places], twoPlaces, endBatch, recordClass))
        {
            // An entry that makes no record leaves the table at the head, or
            // waits there for the next step; a reset entry stays for the reset.
            if (entries == 0 && m_resetState == ResetRunning)
            {
                CEntry* taken = nullptr;
                m_cooked.Pop(taken);
                delete taken;
                return EntryLeft;
            }
            break;
        }
        if (firstClass < 0)
            firstClass = recordClass;
        else if (recordClass != firstClass)
        {
            // Made again in the next batch, where it stands alone.
            m_lockRequest = lockRequest;
            break;
        }
        const int took = twoPlaces ? 2 : 1;
        for (int k = places; k < places + took; ++k)
        {
            if (backup)
                m_backup.AddEntry(m_batch[k], GeoStartOf(*entry));
            if (m_feederLog)
                m_batchTexts[k] = RecordText(m_batch[k]);
        }
        entryPlaces[entries++] = took;
        places += took;
        if (endBatch || twoPlaces)
            break;
    }
    m_batchCount = places;
    return places > 0 ? BatchMade : 0;
}

std::uint32_t CGroup::SendBatch(int count, std::uint32_t& accepted)
{
    accepted = 0;
    CChannel* channel = m_channel;
    if (channel && channel->MeasurementSwitch())
    {
        accepted = static_cast<std::uint32_t>(count);
        m_batchSize = KernelRecord::MaxBatch;
        return 0;
    }
    std::uint8_t answer[8] = {};
    ++m_sentBatches;
    const auto result = static_cast<std::uint32_t>(
        m_feederSync.VosSyncReadWriteReq(&m_kernel, GroupFeedBase + m_id, FeedOffset, sizeof(answer), answer,
                                         static_cast<ULONG>(count * KernelRecord::Size), m_batch));
    // The kernel answers its count with every result of its own; a request
    // that failed on the way brings none (and no size: it is asked again).
    accepted = GetLe32(answer);
    m_batchSize = static_cast<int>(GetLe32(answer + 4));
    // A batch the kernel did not take does not move: it brings no event.
    if (accepted == 0 || (result != 0 && result != KernelPartialBatch))
        MotionFinished();
    return result;
}

bool CGroup::TakeAccepted(std::uint32_t result, std::uint32_t accepted, int entries,
                          const int (&entryPlaces)[KernelRecord::MaxBatch], bool& refused,
                          std::uint32_t& refusedBlock)
{
    const auto sent = static_cast<std::uint32_t>(m_batchCount);
    const bool backup = m_channel && m_channel.load()->Flag(CChannel::FlagBackup);
    if (accepted > sent)
    {
        // The kernel cannot take more than it was sent: nothing is taken.
        std::string text;
        NcAppendFormat(text, "Group %d: kernel accepted %u of %u records", static_cast<int>(m_id), accepted,
                       sent);
        Log(LogError, text);
        if (backup)
            m_backup.RemoveEntries(static_cast<int>(sent));
        m_resetState = ResetPending;
        return false;
    }
    if (backup && accepted < sent)
        m_backup.RemoveEntries(static_cast<int>(sent - accepted));
    const bool lockWasActive = m_lockActive;
    if (result == 0)
        m_lockActive = m_lockRequest;
    if (result == 0 || result == KernelPartialBatch)
    {
        // Records map to entries in order; an entry of two places counts two.
        std::uint32_t taken = 0;
        for (int i = 0; i < entries && taken + static_cast<std::uint32_t>(entryPlaces[i]) <= accepted; ++i)
        {
            CEntry* entry = nullptr;
            if (!m_cooked.Pop(entry))
                break;
            delete entry;
            taken += static_cast<std::uint32_t>(entryPlaces[i]);
        }
        if (lockWasActive)
        {
            std::string text;
            NcAppendFormat(text, "Group %d: Lock mechanism succeeded", static_cast<int>(m_id));
            Log(LogInfo, text);
        }
        if (m_feederLog)
            WriteDiagnostics("", 0, static_cast<int>(accepted));
        return accepted > 0;
    }
    m_resetState = ResetPending;
    if (result == KernelRefusedBatch)
    {
        // All accepted: the last record names the block.
        const std::uint32_t at = accepted < sent ? accepted : sent - 1;
        refusedBlock = GetLe32(m_batch[at] + KernelRecord::BlockNo);
        refused = true;
        return false;
    }
    if (m_feederLog)
    {
        if (accepted == 0)
            WriteDiagnostics("[Potential error line]", 0, 1);
        else
            WriteDiagnostics("[Potential initiator of the error]", 0, static_cast<int>(accepted));
    }
    return false;
}

bool CGroup::FeedStep()
{
    std::uint32_t refusedBlock = 0;
    bool refused = false;
    bool fed = false;
    {
        std::unique_lock<std::recursive_mutex> lock(m_lock);
        if (m_resetState != ResetRunning)
        {
            FeedReset();
            return false;
        }
        if (!FixBatchSize())
            return false;
        m_batchCount = 0;
        for (std::string& text : m_batchTexts)
            text.clear();
        if (m_backup.Active())
        {
            // Retrace or forward: the backup makes the batch.
            if (m_backup.FeedStep() == 0 || m_batchCount == 0)
                return false;
            std::uint32_t accepted = 0;
            const std::uint32_t result = SendBatch(m_batchCount, accepted);
            if (result != 0 || accepted != static_cast<std::uint32_t>(m_batchCount))
            {
                m_resetState = ResetPending;
                return false;
            }
            if (m_feederLog)
                WriteDiagnostics("", 0, m_batchCount);
            return true;
        }
        int entries = 0;
        int entryPlaces[KernelRecord::MaxBatch] = {};
        const int filled = FillBatch(entries, entryPlaces);
        if (filled != BatchMade)
            return filled == EntryLeft;
        // The chain goes on while the kernel takes the batch: only this thread
        // writes the batch buffer, and the entries stay at the table's head
        // unless a reset (which counts itself) deletes them meanwhile.
        const int count = m_batchCount;
        const std::uint32_t resets = m_resets;
        lock.unlock();
        std::uint32_t accepted = 0;
        const std::uint32_t result = SendBatch(count, accepted);
        lock.lock();
        if (m_resets != resets)
            return false;
        fed = TakeAccepted(result, accepted, entries, entryPlaces, refused, refusedBlock);
    }
    // The channel is told outside the group's lock: the channel's own lock is
    // always taken before the group's.
    if (refused)
        if (CChannel* channel = m_channel)
            channel->KernelRefused(refusedBlock);
    return fed;
}
