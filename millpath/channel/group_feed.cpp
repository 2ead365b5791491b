// The feed step: batches of kernel records to the NC kernel.
#include <cstring>

#include "channel.h"
#include "entry.h"
#include "group.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
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

bool CGroup::FeedStep()
{
    std::uint32_t refusedBlock = 0;
    bool refused = false;
    bool fed = false;
    {
        Lock lock(m_lock);
        if (m_resetState != ResetRunning)
        {
            FeedReset();
            return false;
        }
        if (!FixBatchSize())
            return false;

        CEntry* first = nullptr;
        if (!m_cooked.PeekFirst(first) || !first)
            return false;
        const bool offsetRecords = m_channel && m_channel->Flag(CChannel::FlagOffsetRecord);
        int places = 0;
        int firstClass = -1;
        const int batchSize = m_batchSize;
        int entries = 0;
        int entryPlaces[KernelRecord::MaxBatch] = {};
        while (places < batchSize)
        {
            if (offsetRecords && batchSize - places < 2)
                break;
            CEntry* entry = nullptr;
            if (!m_cooked.Peek(entry, entries) || !entry || entry->m_type != first->m_type)
                break;
            bool twoPlaces = false;
            bool endBatch = false;
            int recordClass = 1;
            const bool lockRequest = m_lockRequest;
            const int made = ConvertEntry(entries, m_batch[places], twoPlaces, endBatch, recordClass);
            if (!made)
            {
                // An entry that makes no record leaves the table at the head, or
                // waits there for the next step; a reset entry stays for the reset.
                if (entries == 0 && m_resetState == ResetRunning)
                {
                    CEntry* taken = nullptr;
                    m_cooked.Pop(taken);
                    delete taken;
                    return true;
                }
                break;
            }
            if (firstClass < 0)
                firstClass = recordClass;
            else if (recordClass != firstClass)
            {
                m_lockRequest = lockRequest;
                break;
            }
            entryPlaces[entries] = twoPlaces ? 2 : 1;
            places += entryPlaces[entries];
            ++entries;
            if (endBatch || twoPlaces)
                break;
        }
        m_batchCount = places;
        if (places == 0)
            return false;

        std::uint32_t accepted = 0;
        std::uint32_t result = 0;
        if (m_channel && m_channel->MeasurementSwitch())
        {
            accepted = static_cast<std::uint32_t>(places);
            m_batchSize = KernelRecord::MaxBatch;
        }
        else
        {
            std::uint8_t answer[8] = {};
            ++m_sentBatches;
            result = static_cast<std::uint32_t>(m_feederSync.VosSyncReadWriteReq(
                &m_kernel, GroupFeedBase + m_id, FeedOffset, sizeof(answer), answer,
                static_cast<ULONG>(places * KernelRecord::Size), m_batch));
            if (result == 0 || result == KernelPartialBatch || result == KernelRefusedBatch)
            {
                accepted = GetLe32(answer);
                m_batchSize = static_cast<int>(GetLe32(answer + 4));
            }
        }
        if (result == 0)
            m_lockActive = m_lockRequest;
        // A batch the kernel did not take does not move.
        if (accepted == 0 || (result != 0 && result != KernelPartialBatch))
            m_finishedBatches = m_sentBatches.load();
        if ((result == 0 || result == KernelPartialBatch) && accepted > static_cast<std::uint32_t>(places))
        {
            // The kernel cannot take more than it was sent: nothing is taken.
            Log(148, "Group " + std::to_string(m_id) + ": kernel accepted " + std::to_string(accepted) +
                         " of " + std::to_string(places) + " records");
            m_resetState = ResetPending;
            return false;
        }
        if (result == 0 || result == KernelPartialBatch)
        {
            // Records map to entries in order; an entry of two places counts two.
            std::uint32_t taken = 0;
            for (int i = 0; i < entries && taken + static_cast<std::uint32_t>(entryPlaces[i]) <= accepted;
                 ++i)
            {
                CEntry* entry = nullptr;
                if (!m_cooked.Pop(entry))
                    break;
                delete entry;
                taken += static_cast<std::uint32_t>(entryPlaces[i]);
            }
            fed = accepted > 0;
        }
        else if (result == KernelRefusedBatch)
        {
            CEntry* entry = nullptr;
            const int notTaken =
                static_cast<int>(accepted < static_cast<std::uint32_t>(places) ? accepted : places - 1);
            if (m_cooked.Peek(entry, notTaken) && entry)
                refusedBlock = entry->m_blockNo;
            refused = true;
            m_resetState = ResetPending;
        }
        else
            m_resetState = ResetPending;
    }
    // The channel is told outside the group's lock: the channel's own lock is
    // always taken before the group's.
    if (refused && m_channel)
        m_channel->KernelRefused(refusedBlock);
    return fed;
}
