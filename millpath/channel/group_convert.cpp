// Entry conversion: one NC entry into one 156-byte kernel record. Bytes that
// a kind does not name stay zero.
#include <cmath>
#include <cstring>

#include "channel.h"
#include "chn_man.h"
#include "entry.h"
#include "group.h"

namespace
{
using namespace KernelRecord;

void PutVec(std::uint8_t* record, std::size_t offset, const CVec3d& v)
{
    PutDouble(record, offset, v.GetX());
    PutDouble(record, offset + 8, v.GetY());
    PutDouble(record, offset + 16, v.GetZ());
}

std::uint32_t GeoRecordType(std::uint32_t geoType)
{
    switch (geoType & 0xFF)
    {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 3;
    case 3:
        return 4;
    default:
        return 0;
    }
}

// Planes of a circle or helix in the kernel's numbering.
std::uint32_t KernelPlane(std::uint32_t plane)
{
    switch (plane)
    {
    case 0:
        return 1;
    case 1:
        return 3;
    case 2:
        return 2;
    default:
        return 0;
    }
}

// The offset record that follows a geometry record in the next place: the
// Cartesian offset plus the tool-nose compensation, the tool-nose
// compensation alone, and the zero shift.
void MakeOffsetRecord(const CEntryGeo_3D& entry, const std::uint8_t* geometry, std::uint8_t* record)
{
    std::memset(record, 0, Size);
    PutLe32(record + FeedGrpType, KindOffset);
    std::memcpy(record + LineIdx, geometry + LineIdx, 12);
    const CVec3d& cartesian = entry.m_korrEnd.m_vectors[0];
    const CVec3d& toolNose = entry.m_korrEnd.m_vectors[1];
    PutVec(record, OffsetSum, cartesian + toolNose);
    PutVec(record, OffsetToolNose, toolNose);
    PutVec(record, OffsetZeroShift, entry.m_zeroShift);
}
} // namespace

int CGroup::LockStop(std::uint8_t* record, bool& endBatch, int& recordClass)
{
    PutLe32(record + FeedGrpType, KindStop);
    m_lockRequest = false;
    recordClass = 0;
    endBatch = true;
    return 1;
}

int CGroup::ConvertEntry(int place, std::uint8_t* record, bool& twoPlaces, bool& endBatch, int& recordClass)
{
    twoPlaces = false;
    endBatch = false;
    recordClass = 1;
    CEntry* entry = nullptr;
    if (!m_cooked.Peek(entry, place) || !entry)
        return 0;
    std::memset(record, 0, Size);
    CChannel* channel = m_channel;
    const bool backup = channel && channel->Flag(CChannel::FlagBackup);
    const std::uint32_t type = entry->m_type;
    if (type != ENTRY_RESET && type != ENTRY_CHNSTOP)
    {
        PutLe32(record + LineIdx, entry->m_lineIdx);
        PutLe32(record + TextIdx, entry->m_textIdx);
        PutLe32(record + BlockNo, entry->m_blockNo);
        if (!backup)
            PutLe32(record + EntryIdx, entry->m_entryIdx);
    }
    std::uint8_t* p = record;
    switch (type)
    {
    case ENTRY_MFUNK:
    {
        const auto* m = static_cast<CEntryMFunk*>(entry);
        if (m_lockActive && m->m_kind == static_cast<std::uint16_t>(MFunkKind::Test))
            return LockStop(record, endBatch, recordClass);
        PutLe32(p + FeedGrpType, KindMFunc);
        PutLe32(p + 20, m->m_kind);
        for (int i = 0; i < CEntryMFunk::Slots; ++i)
            PutLe32(p + 24 + 4 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(m->m_mNumbers[i]));
        return 1;
    }
    case ENTRY_SETIPOLRULES:
    {
        const auto* r = static_cast<CEntrySetIpolRules*>(entry);
        PutLe32(p + FeedGrpType, KindIpolRules);
        const std::uint32_t words[6] = {r->m_feedType,     r->m_rule1, r->m_rule2,
                                        r->m_channelFlags, r->m_rule3, r->m_rule4};
        for (int i = 0; i < 6; ++i)
            PutLe32(p + 20 + 4 * static_cast<std::size_t>(i), words[i]);
        return 1;
    }
    case ENTRY_ORXSIGNAL:
    {
        const auto* o = static_cast<CEntryORXsignal*>(entry);
        PutLe32(p + FeedGrpType, KindOrx);
        std::memcpy(p + 20, o->m_data, CEntryORXsignal::MaxBytes);
        // The signal's wait word follows its 120 bytes.
        if (o->m_oneShot != 0)
            m_orxWait = true;
        return 1;
    }
    case ENTRY_GEO_3D:
    {
        const auto* g = static_cast<CEntryGeo_3D*>(entry);
        const std::uint32_t geoType = g->m_geoType & 0xFF;
        m_lockRequest = true;
        if (geoType >= 4 && geoType <= 6)
        {
            PutLe32(p + FeedGrpType, KindThread);
            PutLe32(p + 20, geoType + 3);
            PutVec(p, 24, g->m_target);
            PutVec(p, 48, g->m_centre);
            if (geoType == 4)
                PutDouble(p, 72, g->m_sf);
            for (int i = 0; i < CEntryGeo_3D::AuxAxes; ++i)
                PutDouble(p, 80 + 8 * static_cast<std::size_t>(i), g->m_auxTarget[i]);
            return 1;
        }
        PutLe32(p + FeedGrpType, KindGeo3d);
        const std::uint32_t recordType = GeoRecordType(geoType);
        PutLe32(p + GeoType, recordType);
        if (recordType != 0)
        {
            PutVec(p, GeoTarget, g->m_target);
            PutDouble(p, GeoVelocity, g->m_feed / 60.0);
        }
        if (recordType == 2 || recordType == 3)
        {
            PutLe32(p + GeoPlane, KernelPlane(g->m_plane));
            PutVec(p, GeoCenter, g->m_centre);
            PutVec(p, GeoTurn, g->m_rotation);
        }
        if (recordType == 3)
            PutDouble(p, GeoZperRad, g->m_helixRise);
        for (int i = 0; i < CEntryGeo_3D::AuxAxes; ++i)
            PutDouble(p, GeoAuxTarget + 8 * static_cast<std::size_t>(i), g->m_auxTarget[i]);
        if (!m_auxPositionMade)
            std::memcpy(m_auxStore, g->m_auxTarget, sizeof(m_auxStore));
        if (channel && channel->Flag(CChannel::FlagOffsetRecord))
        {
            MakeOffsetRecord(*g, record, record + Size);
            twoPlaces = true;
        }
        return 1;
    }
    case ENTRY_DELAYTIME:
        if (m_lockActive)
            return LockStop(record, endBatch, recordClass);
        PutLe32(p + FeedGrpType, KindWait);
        PutDouble(p, 20, static_cast<CEntryDelayTime*>(entry)->m_time);
        return 1;
    case ENTRY_SPINDEL:
        PutLe32(p + FeedGrpType, KindSpindle);
        PutDouble(p, 28, static_cast<CEntrySpindel*>(entry)->m_speed);
        return 1;
    case ENTRY_STOP:
        if (m_lockActive)
            return LockStop(record, endBatch, recordClass);
        return 0;
    case ENTRY_SPINDELTEST:
        if (m_lockActive)
            return LockStop(record, endBatch, recordClass);
        PutLe32(p + FeedGrpType, KindSpindleTest);
        return 1;
    case ENTRY_HVALUE:
        PutLe32(p + FeedGrpType, KindHValue);
        PutLe32(p + 20, static_cast<std::uint32_t>(static_cast<CEntryHValue*>(entry)->m_value));
        return 1;
    case ENTRY_RESET:
    case ENTRY_CHNSTOP:
        m_resetState = ResetPending;
        return 0;
    case ENTRY_FUNK:
        return ConvertFunction(entry, record, endBatch, recordClass);
    case ENTRY_TOOLNR:
        PutLe32(p + FeedGrpType, KindToolNr);
        PutLe32(p + 20, static_cast<std::uint32_t>(static_cast<CEntryToolNr*>(entry)->m_tool));
        return 1;
    case ENTRY_MEASMODE:
    {
        const std::int32_t mode = static_cast<CEntryMeasMode*>(entry)->m_mode;
        if (mode < 0 || mode > 4)
        {
            if (m_service)
                m_service->VosReportLog(148, "Group %d (%ld BNo %ld) MeasMode %ld is invalid ",
                                        static_cast<int>(m_id), static_cast<long>(entry->m_lineIdx),
                                        static_cast<long>(entry->m_blockNo), static_cast<long>(mode));
            m_resetState = ResetPending;
            return 0;
        }
        PutLe32(p + FeedGrpType, KindMeasMode);
        PutLe32(p + 20, static_cast<std::uint32_t>(mode));
        return 1;
    }
    case ENTRY_GEO_1D:
    {
        const auto* a = static_cast<CEntryGeo_1D*>(entry);
        PutLe32(p + FeedGrpType, KindAxis);
        PutLe32(p + 20, a->m_mode);
        PutDouble(p, 24, a->m_target);
        PutDouble(p, 32, a->m_velocity);
        PutLe32(p + 40, 1);
        PutLe32(p + 52, 1);
        PutLe32(p + 64, 1);
        PutLe32(p + 76, a->m_axis);
        return 1;
    }
    case ENTRY_STEPON:
    {
        const auto* s = static_cast<CEntryStepOn*>(entry);
        PutLe32(p + FeedGrpType, KindStepOn);
        PutLe32(p + 20, s->m_mode);
        PutLe32(p + 24, s->m_axis);
        PutDouble(p, 28, s->m_value);
        PutDouble(p, 36, s->m_value2);
        return 1;
    }
    case ENTRY_MSG:
    {
        const auto* m = static_cast<CEntryMsg*>(entry);
        PutLe32(p + FeedGrpType, KindFunc);
        PutLe32(p + 20, 26);
        PutLe32(p + 28, m->m_number);
        std::memcpy(p + 32, m->m_text, strnlen(m->m_text, CEntryMsg::TextSize - 1));
        return 1;
    }
    default:
        m_resetState = ResetPending;
        return 0;
    }
}

int CGroup::ConvertFunction(CEntry* entry, std::uint8_t* record, bool& endBatch, int& recordClass)
{
    auto* f = static_cast<CEntryFunk*>(entry);
    std::uint8_t* p = record;
    auto head = [&](std::uint32_t subCode)
    {
        PutLe32(p + FeedGrpType, KindFunc);
        PutLe32(p + 20, subCode);
    };
    auto withArg = [&](std::uint32_t subCode)
    {
        head(subCode);
        PutLe32(p + 24, f->m_arg);
    };
    switch (f->m_code)
    {
    case 1:
        withArg(1);
        return 1;
    case 2:
        withArg(ParameterRead);
        return 1;
    case 5:
    case 9:
    case 10:
        withArg(f->m_code);
        PutDouble(p, 28, f->m_value1);
        PutDouble(p, 36, f->m_value2);
        PutDouble(p, 44, f->m_value3);
        return 1;
    case 6:
    case 7:
    case 8:
    case 11:
    case 12:
    case 19:
        withArg(f->m_code);
        PutDouble(p, 28, f->m_value1);
        return 1;
    case 13:
        withArg(13);
        PutDouble(p, 28, f->m_value1);
        PutLe32(p + 36, static_cast<std::uint32_t>(f->m_word2));
        PutLe32(p + 40, m_orxWait ? 1 : 0);
        m_orxWait = false;
        m_auxPositionMade = true;
        return 1;
    case 18:
        if (f->m_word1 != 0 && f->m_word1 != 1)
        {
            if (m_service)
                m_service->VosReportLog(148, "Group %d (%ld BNo %ld) Transformation type %ld is invalid ",
                                        static_cast<int>(m_id), static_cast<long>(entry->m_lineIdx),
                                        static_cast<long>(entry->m_blockNo), static_cast<long>(f->m_word1));
            m_resetState = ResetPending;
            return 0;
        }
        withArg(18);
        PutLe32(p + 28, static_cast<std::uint32_t>(f->m_word1));
        return 1;
    case 20:
        PutLe32(p + FeedGrpType, KindBuildGroup);
        for (int i = 0; i < 8; ++i)
            PutLe32(p + 20 + 4 * static_cast<std::size_t>(i), f->m_groupAxes[i]);
        return 1;
    case 21:
        PutLe32(p + FeedGrpType, KindClearGroup);
        return 1;
    case 22:
        withArg(22);
        PutLe32(p + 28, static_cast<std::uint32_t>(f->m_word1));
        PutDouble(p, 32, f->m_value2);
        PutDouble(p, 40, f->m_value3);
        PutDouble(p, 48, f->m_value4);
        return 1;
    case 25:
        withArg(24);
        PutLe32(p + 28, static_cast<std::uint32_t>(f->m_word1));
        return 1;
    case 26:
        if (m_lockActive)
            return LockStop(record, endBatch, recordClass);
        head(25);
        return 1;
    case 27:
        head(27);
        PutLe32(p + 28, static_cast<std::uint32_t>(f->m_word1));
        PutLe32(p + 32, static_cast<std::uint32_t>(f->m_word2));
        PutDouble(p, 36, f->m_value2);
        return 1;
    case 29:
        head(29);
        PutLe32(p + 28, static_cast<std::uint32_t>(f->m_word1));
        return 1;
    case 30:
        // Without its flag it makes no record and leaves the table.
        if (!m_function30.exchange(false))
            return 0;
        std::memset(p + 4, 0, 16);
        PutLe32(p + FeedGrpType, KindBuildGroup);
        return 1;
    case 31:
        m_function30 = false;
        PutLe32(p + FeedGrpType, KindClearGroup);
        return 1;
    case 32:
        head(33);
        return 1;
    default:
        head(0);
        return 1;
    }
}
