// What the feeder backup reaches of its group: the batch it fills in place
// of the table, and the retrace and forward commands.
#include <cstring>

#include "group.h"

namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;
} // namespace

// The backup asks for a place only while the batch has room.
std::uint8_t* CGroup::NextBatchRecord()
{
    std::uint8_t* record =
        m_batch[m_batchCount < KernelRecord::MaxBatch ? m_batchCount : KernelRecord::MaxBatch - 1];
    if (m_batchCount < KernelRecord::MaxBatch)
        ++m_batchCount;
    std::memset(record, 0, KernelRecord::Size);
    return record;
}

void CGroup::RecordText(const std::string& text)
{
    if (m_feederLog && m_batchCount > 0)
        m_batchTexts[m_batchCount - 1] = text;
}

void CGroup::StartBackupWalk(const std::uint8_t* state, int direction)
{
    {
        Lock lock(m_lock);
        m_backup.SetStartState(state, direction);
    }
    WakeFeeder();
}
