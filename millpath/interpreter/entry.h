// NC entry records: one command for the NC kernel each, made by a channel's
// interpreter and handed to its channel. Plain records: creators fill the
// fields directly. Whoever owns an entry last deletes it.
#pragma once

#include <cstdint>

#include "geo_entry_prep.h"
#include "vec3d.h"

enum EntryType : std::uint32_t
{
    ENTRY_MFUNK = 1,
    ENTRY_SETIPOLRULES = 2,
    ENTRY_ORXSIGNAL = 3,
    ENTRY_GEO_3D = 4,
    ENTRY_DELAYTIME = 6,
    ENTRY_SPINDEL = 7,
    ENTRY_STOP = 8,
    ENTRY_SPINDELTEST = 9,
    ENTRY_HVALUE = 10,
    ENTRY_RESET = 11,
    ENTRY_CHNSTOP = 12,
    ENTRY_FUNK = 13,
    ENTRY_TOOLNR = 14,
    ENTRY_MEASMODE = 15,
    ENTRY_CHNSYNC = 16,
    ENTRY_GEO_1D = 17,
    ENTRY_STEPON = 18,
    ENTRY_MSG = 19,
};

class CEntry
{
public:
    virtual ~CEntry() = default;

    std::uint32_t m_type;
    std::uint32_t m_textIdx = 0;  // line index of the block's line marker
    std::uint32_t m_lineIdx = 0;  // block counter
    std::uint32_t m_blockNo = 0;  // block number ("N")
    std::uint32_t m_entryIdx = 0; // running entry number, where the kind takes one

protected:
    explicit CEntry(std::uint32_t type) : m_type(type) {}
};

// Radius-correction data at one end of a geometry element: the correction
// rules in force there, the element's plane and the tool of the correction.
class CEntry_Korrektur
{
public:
    virtual ~CEntry_Korrektur() = default;

    std::int32_t m_value = 0;       // correction value: +1 left (G41), -1 right (G42), 0 off
    std::uint32_t m_active = 0;     // the correction is on at this end
    std::uint32_t m_toolNumber = 0; // tool correction number D
    std::uint32_t m_approach = 0;   // approach kind 0 or 1
    std::uint32_t m_variant = 0;    // approach variant
    std::uint32_t m_plane = 0;
    std::uint32_t m_toolType = 0;
    double m_radius = 0.0;
    // 0 the Cartesian offset and 1 the tool-nose compensation of this end;
    // 3 a copy of the target (start member) or of the centre (end member).
    CVec3d m_vectors[4];
};

enum class MFunkKind : std::uint16_t
{
    Set = 1,
    Reset = 2,
    Test = 3,
    Clear = 99,
};

class CEntryMFunk : public CEntry
{
public:
    static constexpr int Slots = 8;
    CEntryMFunk() : CEntry(ENTRY_MFUNK)
    {
        for (auto& m : m_mNumbers)
            m = -1;
    }
    std::uint16_t m_kind = 0;
    std::int32_t m_mNumbers[Slots]; // a slot counts only when 0 or greater
};

class CEntrySetIpolRules : public CEntry
{
public:
    CEntrySetIpolRules() : CEntry(ENTRY_SETIPOLRULES) {}
    std::uint32_t m_feedType = 0;     // 0 LinearFeed .. 6 ConstRevolution; 1 under G0
    std::uint32_t m_rule1 = 0;        // linear flag: 0 for G2/G3
    std::uint32_t m_rule2 = 0;        // direction: 1 clockwise (G2)
    std::uint32_t m_channelFlags = 0; // exact stop (G9, G60)
    std::uint32_t m_rule3 = 0;        // corner flag (G62)
    std::uint32_t m_rule4 = 0;        // correction value: +1 G41, -1 G42, 0 G40
    std::uint32_t m_rule5 = 0;        // tool correction number D
    std::uint32_t m_rule6 = 0;        // approach kind
    std::uint32_t m_rule7 = 0;        // approach variant
    std::uint32_t m_ipolMode = 0;
    std::uint32_t m_channelWord = 0; // collision detection: 1 after "cdon"
};

class CEntryORXsignal : public CEntry
{
public:
    static constexpr int MaxBytes = 120;
    CEntryORXsignal() : CEntry(ENTRY_ORXSIGNAL) {}
    std::uint32_t m_oneShot = 0;
    std::uint32_t m_length = 0;
    std::uint8_t m_data[MaxBytes] = {};
};

class CEntryGeo_3D : public CEntry
{
public:
    static constexpr int AuxAxes = 5;
    CEntryGeo_3D() : CEntry(ENTRY_GEO_3D) {}

    std::uint32_t m_geoType = 0; // low byte: 0 line, 1 arc, 2 helix, 3 aux only, 4..6 codes 33..35
    std::uint32_t m_word = 0;
    double m_feed = 0.0;
    CVec3d m_start;
    CVec3d m_startExtra;
    CEntry_Korrektur m_korrStart;
    CVec3d m_target;
    CEntry_Korrektur m_korrEnd;
    CVec3d m_centre;
    CVec3d m_rotation; // arc axis, swept angle (radians) as its length
    std::uint32_t m_recordWords[3] = {0, 0, 0};
    std::uint32_t m_plane = 0;
    double m_radius = 0.0;
    double m_helixRise = 0.0;
    double m_auxStart[AuxAxes] = {};
    double m_auxTarget[AuxAxes] = {};
    CVec3d m_zeroShift;
    CVec3d m_rotAngles;
    std::uint32_t m_rotFlags[3] = {0, 0, 0};
    std::uint32_t m_toolOffsetFlags[3] = {0, 0, 0};
    std::uint32_t m_auxMoves[AuxAxes] = {};
    std::uint32_t m_feedMode = 0;
    std::uint32_t m_feedAdjust = 0; // contour feed on arcs: 1 "cfc", 2 "cfin", 0 "cftcp"
    double m_feedFactor = 0.0;
    std::uint32_t m_ipolMode = 0;
    std::uint32_t m_norm = 0;
    std::uint32_t m_exactStop = 0;
    double m_sf = 0.0;    // spindle orientation of thread cutting
    CEntryGeoPrep m_prep; // path-preparation data of the transformer chain
};

class CEntryGeo_1D : public CEntry
{
public:
    CEntryGeo_1D() : CEntry(ENTRY_GEO_1D) {}
    std::uint32_t m_axis = 0;
    std::uint32_t m_mode = 1;
    double m_target = 0.0;
    double m_velocity = 0.0;
};

class CEntryStepOn : public CEntry
{
public:
    CEntryStepOn() : CEntry(ENTRY_STEPON) {}
    std::uint32_t m_axis = 0;
    std::uint32_t m_mode = 0;
    double m_value = 0.0;
    double m_value2 = 0.0;
};

// Function entry: a code and its arguments. The fields follow the places of
// the kernel record: word1 shares the place of value1, word3 that of value2;
// which of them a code uses is given per code.
class CEntryFunk : public CEntry
{
public:
    CEntryFunk() : CEntry(ENTRY_FUNK) {}
    std::uint32_t m_code = 0;
    std::uint32_t m_arg = 0;
    double m_value1 = 0.0;
    std::int32_t m_word1 = 0;
    std::int32_t m_word2 = 0;
    double m_value2 = 0.0;
    std::int32_t m_word3 = 0;
    double m_value3 = 0.0;
    double m_value4 = 0.0;
    double m_value5 = 0.0;
    CVec3d m_vector;
    std::uint16_t m_groupAxes[8] = {}; // code 20: axis assignment X, Y, Z, Q1..Q5 at the place of value1
};

class CEntryMsg : public CEntry
{
public:
    static constexpr int TextSize = 84;
    CEntryMsg() : CEntry(ENTRY_MSG) {}
    std::uint32_t m_number = 0;
    char m_text[TextSize] = {};
};

class CEntryDelayTime : public CEntry
{
public:
    CEntryDelayTime() : CEntry(ENTRY_DELAYTIME) {}
    double m_time = 0.0;
};

class CEntrySpindel : public CEntry
{
public:
    CEntrySpindel() : CEntry(ENTRY_SPINDEL) {}
    double m_speed = 0.0;
};

class CEntrySpindelTest : public CEntry
{
public:
    CEntrySpindelTest() : CEntry(ENTRY_SPINDELTEST) {}
};

class CEntryStop : public CEntry
{
public:
    CEntryStop() : CEntry(ENTRY_STOP) {}
};

class CEntryHValue : public CEntry
{
public:
    CEntryHValue() : CEntry(ENTRY_HVALUE) {}
    std::int32_t m_value = 0;
};

class CEntryToolNr : public CEntry
{
public:
    CEntryToolNr() : CEntry(ENTRY_TOOLNR) {}
    std::int32_t m_tool = 0;
};

class CEntryMeasMode : public CEntry
{
public:
    CEntryMeasMode() : CEntry(ENTRY_MEASMODE) {}
    std::int32_t m_mode = 0;
};

class CEntryChnSync : public CEntry
{
public:
    CEntryChnSync() : CEntry(ENTRY_CHNSYNC) {}
    std::uint32_t m_one = 1;
    std::uint32_t m_sync[8] = {};
};

class CEntryReset : public CEntry
{
public:
    CEntryReset() : CEntry(ENTRY_RESET) {}
};

class CEntryChnStop : public CEntry
{
public:
    CEntryChnStop() : CEntry(ENTRY_CHNSTOP) {}
};
