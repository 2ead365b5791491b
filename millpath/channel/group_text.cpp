// The diagnostic texts of the records a group feeds, and the diagnostic
// file "Millpath.log" they go to while the feeder log switch is on.
#include <cstdio>

#include "feeder_backup_entry.h"
#include "group.h"
#include "nc_files.h"
#include "nc_text.h"

using namespace KernelRecord;

namespace
{
constexpr const char AxisLetters[] = "XYZ";
constexpr int FeedTypes = 7;

std::uint32_t Word(const std::uint8_t* record, std::size_t offset)
{
    return GetLe32(record + offset);
}

long Long(const std::uint8_t* record, std::size_t offset)
{
    return static_cast<long>(static_cast<std::int32_t>(Word(record, offset)));
}

// "%c=%14.12lf " per axis, the letter after a prefix ("M" centre, "D" turn or pitch).
void Axes(std::string& text, const char* prefix, const std::uint8_t* record, std::size_t offset)
{
    for (int axis = 0; axis < 3; ++axis)
        NcAppendFormat(text, "%s%c=%14.12lf ", prefix, AxisLetters[axis],
                       GetDouble(record, offset + 8 * static_cast<std::size_t>(axis)));
}

void AuxAxes(std::string& text, const std::uint8_t* record, std::size_t offset)
{
    for (int i = 0; i < 5; ++i)
        NcAppendFormat(text, "Q%d=%14.12lf ", i + 1,
                       GetDouble(record, offset + 8 * static_cast<std::size_t>(i)));
}

void Vector(std::string& text, const char* name, const CVec3d& v)
{
    NcAppendFormat(text, "\n\t\t%s: X=%.6lf Y=%.6lf Z=%.6lf", name, v.GetX(), v.GetY(), v.GetZ());
}

CVec3d VecAt(const std::uint8_t* record, std::size_t offset)
{
    return CVec3d(GetDouble(record, offset), GetDouble(record, offset + 8), GetDouble(record, offset + 16));
}

void GeometryText(std::string& text, const std::uint8_t* record)
{
    const double feed = GetDouble(record, GeoVelocity) * 60.0;
    switch (Word(record, GeoType))
    {
    case 1:
        NcAppendFormat(text, "Line, F=%11.9lf ", feed);
        Axes(text, "", record, GeoTarget);
        break;
    case 2:
    case 3:
    {
        const bool helix = Word(record, GeoType) == 3;
        NcAppendFormat(text, helix ? "Helix, F=%11.9lf " : "Circle, F=%11.9lf ", feed);
        static const char* const planes[] = {"", "XY Plane ", "XZ Plane ", "YZ Plane "};
        const std::uint32_t plane = Word(record, GeoPlane);
        if (!helix && plane < 4)
            text += planes[plane];
        Axes(text, "", record, GeoTarget);
        Axes(text, "M", record, GeoCenter);
        Axes(text, "D", record, GeoTurn);
        if (helix)
            NcAppendFormat(text, " ZpR=%14.12lf ", GetDouble(record, GeoZperRad));
        break;
    }
    case 4:
        NcAppendFormat(text, "Auxiliary axes, F=%11.9lf ", feed);
        break;
    default:
        text += "Geo ";
        break;
    }
    AuxAxes(text, record, GeoAuxTarget);
}

void ThreadText(std::string& text, const std::uint8_t* record)
{
    static const char* const forms[] = {"ThreadCutting, ", "Tapping, ", "TappingRetraction, "};
    const std::uint32_t form = Word(record, 20);
    if (form >= 7 && form <= 9)
        text += forms[form - 7];
    Axes(text, "", record, 24);
    Axes(text, "D", record, 48);
    if (form == 7)
        NcAppendFormat(text, " SF=%14.12lf ", GetDouble(record, 72));
    AuxAxes(text, record, 80);
}

void RulesText(std::string& text, const std::uint8_t* record)
{
    text += "SetRoules IpType ";
    if (Word(record, 24))
        text += "Lin ";
    else
        text += Word(record, 28) ? "Clockwise " : "Counterclockwise ";
    if (Word(record, 36))
        text += "Ecke ";
    if (Word(record, 32))
        text += "Genau ";
    NcAppendFormat(text, "RK%d ", static_cast<int>(Long(record, 40)));
    const std::uint32_t feedType = Word(record, 20);
    text += feedType < FeedTypes ? FeedTypeName(feedType) : "Undefined FeedType ";
}

void MFunctionText(std::string& text, const std::uint8_t* record)
{
    text += "MFunk ";
    const std::uint32_t kind = Word(record, 20);
    switch (kind)
    {
    case MKindSet:
        text += "Set: ";
        break;
    case MKindReset:
        text += "Reset: ";
        break;
    case MKindTest:
        text += "Test: ";
        break;
    case MKindClear:
        text += "Clear";
        return;
    default:
        text += "???: ";
        break;
    }
    for (int i = 0; i < 8; ++i)
    {
        const long m = Long(record, 24 + 4 * static_cast<std::size_t>(i));
        if (m >= 0)
            NcAppendFormat(text, "M%02d ", static_cast<int>(m));
    }
}

void FunctionText(std::string& text, const std::uint8_t* record)
{
    const std::uint32_t sub = Word(record, 20);
    if (sub == 25)
    {
        text += "TargetPosMonitoring";
        return;
    }
    NcAppendFormat(text, "Func %ld %ld", static_cast<long>(sub), Long(record, 24));
    const double a = GetDouble(record, 28);
    switch (sub)
    {
    case 5:
        NcAppendFormat(text, " Parameter: Acc = %f, Dec = %f, Jerk = %f", a, GetDouble(record, 36),
                       GetDouble(record, 44));
        break;
    case 6:
        NcAppendFormat(text, " Parameter: Dyn override = %f", a);
        break;
    case 7:
        NcAppendFormat(text, " Parameter: VeloMin = %f", a);
        break;
    case 8:
        NcAppendFormat(text, " Parameter: C1 Factor = %f", a);
        break;
    case 12:
        NcAppendFormat(text, " Parameter: C2 Factor = %f", a);
        break;
    case 18:
        NcAppendFormat(text, " Parameter: Transformation type = %d", static_cast<int>(Long(record, 28)));
        break;
    case 19:
        NcAppendFormat(text, " Parameter: Spindle Limit = %f", a);
        break;
    default:
        break;
    }
}
} // namespace

std::string CGroup::RecordText(const std::uint8_t* record) const
{
    std::string text;
    NcAppendFormat(text, "Group %d (%ld BNo %ld)", static_cast<int>(m_id), Long(record, LineIdx),
                   Long(record, KernelRecord::BlockNo));
    switch (Word(record, FeedGrpType))
    {
    case KindAxis:
        text += "Geo ";
        break;
    case KindGeo3d:
        GeometryText(text, record);
        break;
    case KindThread:
        ThreadText(text, record);
        break;
    case KindOffset:
    {
        const CVec3d toolNose = VecAt(record, OffsetToolNose);
        Vector(text, "ZeroShift", VecAt(record, OffsetZeroShift));
        Vector(text, "ToolNoseComp", toolNose);
        Vector(text, "Cartesian offset", VecAt(record, OffsetSum) - toolNose);
        break;
    }
    case KindIpolRules:
        RulesText(text, record);
        break;
    case KindMFunc:
        MFunctionText(text, record);
        break;
    case KindFunc:
        FunctionText(text, record);
        break;
    case KindBuildGroup:
        NcAppendFormat(text, "Parameter: Build Group X:%d Y:%d Z:%d Q1:%d Q2:%d Q3:%d Q4:%d Q5:%d",
                       static_cast<int>(Long(record, 20)), static_cast<int>(Long(record, 24)),
                       static_cast<int>(Long(record, 28)), static_cast<int>(Long(record, 32)),
                       static_cast<int>(Long(record, 36)), static_cast<int>(Long(record, 40)),
                       static_cast<int>(Long(record, 44)), static_cast<int>(Long(record, 48)));
        break;
    case KindClearGroup:
        text += "Parameter: Clear Group";
        break;
    case KindSpindle:
        NcAppendFormat(text, "Spindle %lf RPM", GetDouble(record, 28));
        break;
    case KindSpindleTest:
        text += "SpindleTest";
        break;
    case KindStop:
        text += "Stop";
        break;
    case KindOrx:
        text += "ORX";
        break;
    case KindHValue:
        NcAppendFormat(text, "HValue %ld", Long(record, 20));
        break;
    case KindToolNr:
        NcAppendFormat(text, "ToolNo %d", static_cast<int>(Long(record, 20)));
        break;
    case KindMeasMode:
        NcAppendFormat(text, "Gruppe %d (%ld) MeasMode %ld ", static_cast<int>(m_id), Long(record, LineIdx),
                       Long(record, 20));
        break;
    default:
        break;
    }
    return text;
}

// Opened for appending in text mode for each line, so that another reader
// sees every line as soon as it is written.
void CGroup::WriteDiagnostics(const char* prefix, int first, int count)
{
    const std::string path =
        m_logPath.empty() ? std::string(DiagnosticFile) : m_logPath + "/" + DiagnosticFile;
    for (int i = first; i < first + count && i < KernelRecord::MaxBatch; ++i)
    {
        std::FILE* file = NcOpenDeviceFile(path, "at");
        if (!file)
            return;
        std::fprintf(file, "%s%s\n", prefix, m_batchTexts[i].c_str());
        std::fclose(file);
    }
}
