#include "feeder_backup_entry.h"

#include <cstring>

#include "nc_text.h"

using namespace KernelRecord;

const char* FeedTypeName(std::uint32_t feedType)
{
    static const char* const names[] = {"LinearFeed ", "RapidFeed ",    "InvTimeFeed ",    "TimeFeed ",
                                        "RevFeed ",    "ConstCutting ", "ConstRevolution "};
    return feedType < std::size(names) ? names[feedType] : "unknown ";
}

CFeederBackupEntry::CFeederBackupEntry(const std::uint8_t* record, std::uint32_t id) : m_id(id)
{
    std::memcpy(m_record, record, Size);
}

void CFeederBackupEntry::Dump(std::string& out) const
{
    NcAppendFormat(out, "\nBlockNo: %d LineIdx: %d TextIdx: %d EntryIdx: 0x%x FeedGrpType: %d ",
                   static_cast<int>(Word(KernelRecord::BlockNo)), static_cast<int>(Word(LineIdx)),
                   static_cast<int>(Word(TextIdx)), Word(EntryIdx), static_cast<int>(Kind()));
}

void CFeederBackupEntryGeo3d::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_GEO3D\n\tType %d TargetPos(%f; %f; %f) Center(%f; %f; %f)\n",
                   static_cast<int>(Word(GeoType)), Double(GeoTarget), Double(GeoTarget + 8),
                   Double(GeoTarget + 16), Double(GeoCenter), Double(GeoCenter + 8), Double(GeoCenter + 16));
    NcAppendFormat(out, "\tVelocity %f ZperRad %f", Double(GeoVelocity), Double(GeoZperRad));
    NcAppendFormat(out, "\tTurn(%f; %f; %f) AuxTargetPos(%f; %f; %f; %f; %f)\n", Double(GeoTurn),
                   Double(GeoTurn + 8), Double(GeoTurn + 16), Double(GeoAuxTarget), Double(GeoAuxTarget + 8),
                   Double(GeoAuxTarget + 16), Double(GeoAuxTarget + 24), Double(GeoAuxTarget + 32));
}

void CFeederBackupEntryIpolRules::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    const std::uint32_t feedType = Word(Payload);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_IPOLRULES\n\tFeedType: %s(%d) PrevIpolRules: 0x%x",
                   FeedTypeName(feedType), static_cast<int>(feedType), m_previous ? m_previous->Id() : 0u);
}

void CFeederBackupEntryMFunc::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    const std::uint32_t kind = Word(Payload);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_MFUNC\n\tType: %d = ", static_cast<int>(kind));
    switch (kind)
    {
    case MKindSet:
        out += "Set: ";
        break;
    case MKindReset:
        out += "Reset: ";
        break;
    case MKindTest:
        out += "Test: ";
        break;
    case MKindClear:
        out += "Clear: ";
        break;
    default:
        break;
    }
    // A "Clear" names no M numbers, although its slots hold 255.
    for (int i = 0; i < 8 && kind != MKindClear; ++i)
    {
        const auto m = static_cast<std::int32_t>(Word(24 + 4 * static_cast<std::size_t>(i)));
        if (m >= 0)
            NcAppendFormat(out, "M%02d ", static_cast<int>(m));
    }
    NcAppendFormat(out, "FastMFuncMask: [0]0x%x [1]0x%x [2]0x%x [3]0x%x [4]0x%x ", Word(56), Word(60),
                   Word(64), Word(68), Word(72));
    NcAppendFormat(out, "PrevEntry: 0x%x ", m_previous ? m_previous->Id() : 0u);
}

void CFeederBackupEntryFunc::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    const std::uint32_t sub = Word(Payload);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_FUNC\n\tType: %d = ", static_cast<int>(sub));
    const double a = Double(28), b = Double(36), c = Double(44);
    switch (sub)
    {
    case 1:
        out += "ENTRY_FUNC_CALIBRATE";
        break;
    case ParameterRead:
        out += "ENTRY_FUNC_ISTPOS2REGISTER";
        break;
    case 5:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPDYNPARAMS Acc=%f Dec=%f Jerk=%f", a, b, c);
        break;
    case 6:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPDYNOVERRIDE DynOvr=%f", a);
        break;
    case 7:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPVELOMIN VeloMin=%f", a);
        break;
    case 8:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPC1FACTOR C1=%f", a);
        break;
    case 9:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPVELOJUMP fC0X=%f fC0Y=%f fC0Z=%f", a, b, c);
        break;
    case 10:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPDEVIANGLE AngleHigh=%f AngleLow=%f C0=%f", a, b, c);
        break;
    case 11:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPSPLINERADIUS radius=%f", a);
        break;
    case 12:
        NcAppendFormat(out, "ENTRY_FUNC_SETGROUPC2FACTOR radius=%f", a);
        break;
    case 19:
        out += "ENTRY_FUNC_SETSPINDLELIMIT";
        break;
    case 18:
        out += "ENTRY_FUNC_TRANSFORMATION";
        break;
    case 17:
        out += "ENTRY_FUNC_SETAUTOACCSTOP";
        break;
    case 16:
        out += "ENTRY_FUNC_SETGROUPVERTEXPARAMS";
        break;
    case 22:
        NcAppendFormat(out, "ENTRY_FUNC_SETAXISDYNPARAMS AxisNo=%d Acc=%f Dec=%f Jerk=%f",
                       static_cast<int>(Word(28)), Double(32), Double(40), Double(48));
        break;
    case 27:
        NcAppendFormat(out, "ENTRY_FUNC_NCKVERTEXSMOOTHING radius=%f type=%d", b, static_cast<int>(Word(28)));
        break;
    case 24:
        NcAppendFormat(out, "ENTRY_FUNC_SKIPVIRTUALMOVEMENTS data=%d", static_cast<int>(Word(28)));
        break;
    case 23:
        out += "ENTRY_FUNC_SETTANGDESC";
        break;
    default:
        out += "unknown";
        break;
    }
}

void CFeederBackupEntryWait::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_WAIT\n\tTime: %f ", Double(Payload));
}

void CFeederBackupEntrySpindle::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_SPINDEL\n\tSpindle: %f ", Double(28));
}

void CFeederBackupEntryORX::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    out += "NCFEEDGROUPTYPE_ORX";
}

void CFeederBackupEntryStop::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    out += "NCFEEDGROUPTYPE_STOP";
}

void CFeederBackupEntryHValue::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_HVALUE\n\tValue %d", static_cast<int>(Word(Payload)));
}

void CFeederBackupEntryTValue::Dump(std::string& out) const
{
    CFeederBackupEntry::Dump(out);
    NcAppendFormat(out, "NCFEEDGROUPTYPE_TOOLNR\n\tValue %d", static_cast<int>(Word(Payload)));
}
