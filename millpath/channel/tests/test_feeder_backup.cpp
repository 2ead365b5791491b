// The feeder backup: copies of fed records with their dump texts, removal
// of what the kernel did not take, and the retrace and forward walks.
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include <gtest/gtest.h>

#include "feeder_backup.h"

using namespace KernelRecord;

namespace
{
using Record = std::array<std::uint8_t, Size>;

class BatchHost : public CFeederBackupHost
{
public:
    int BatchCount() const override { return static_cast<int>(batch.size()); }
    int BatchSize() const override { return size; }
    std::uint8_t* NextBatchRecord() override
    {
        batch.push_back(Record{});
        return batch.back().data();
    }
    void RecordText(const std::string& text) override { texts.push_back(text); }
    void Log(std::uint32_t type, const std::string& text) override { logs.push_back({type, text}); }
    bool CommandLogging() const override { return commandLogging; }
    void InterpreterError(std::int32_t line, std::uint32_t error) override
    {
        errors.push_back({line, error});
    }

    bool Logged(const std::string& text) const
    {
        for (const auto& l : logs)
            if (l.second == text)
                return true;
        return false;
    }

    int size = 5;
    bool commandLogging = true;
    std::vector<Record> batch;
    std::vector<std::string> texts;
    std::vector<std::pair<std::uint32_t, std::string>> logs;
    std::vector<std::pair<std::int32_t, std::uint32_t>> errors;
};

Record Header(std::uint32_t kind, std::uint32_t blockNo = 0)
{
    Record r{};
    PutLe32(r.data() + FeedGrpType, kind);
    PutLe32(r.data() + LineIdx, blockNo / 10);
    PutLe32(r.data() + TextIdx, blockNo / 10 + 100);
    PutLe32(r.data() + BlockNo, blockNo);
    return r;
}

Record Rules(std::uint32_t feedType, std::uint32_t clockwise, std::uint32_t blockNo = 0)
{
    Record r = Header(KindIpolRules, blockNo);
    PutLe32(r.data() + 20, feedType);
    PutLe32(r.data() + 24, clockwise ? 0 : 1);
    PutLe32(r.data() + 28, clockwise);
    return r;
}

void PutVec(Record& r, std::size_t offset, double x, double y, double z)
{
    PutDouble(r.data(), offset, x);
    PutDouble(r.data(), offset + 8, y);
    PutDouble(r.data(), offset + 16, z);
}

Record Arc(std::uint32_t blockNo)
{
    Record r = Header(KindGeo3d, blockNo);
    PutLe32(r.data() + GeoType, 2);
    PutVec(r, GeoTarget, 40, 20, 0);
    PutDouble(r.data(), GeoVelocity, 10.0);
    PutLe32(r.data() + GeoPlane, 1);
    PutVec(r, GeoCenter, 40, 0, 0);
    PutVec(r, GeoTurn, 0, 0, std::numbers::pi / 2);
    PutDouble(r.data(), GeoZperRad, 0.5);
    for (int i = 0; i < 5; ++i)
        PutDouble(r.data(), GeoAuxTarget + 8 * static_cast<std::size_t>(i), 10.0 + i);
    return r;
}

Record Value(std::uint32_t kind, std::uint32_t value, std::uint32_t blockNo = 0)
{
    Record r = Header(kind, blockNo);
    PutLe32(r.data() + 20, value);
    return r;
}

Record Spindle(double rpm)
{
    Record r = Header(KindSpindle);
    PutDouble(r.data(), 28, rpm);
    return r;
}

Record MFunc(std::uint32_t kind, std::vector<std::int32_t> numbers)
{
    Record r = Header(KindMFunc, 30);
    PutLe32(r.data() + 20, kind);
    for (int i = 0; i < 8; ++i)
        PutLe32(r.data() + 24 + 4 * static_cast<std::size_t>(i),
                static_cast<std::uint32_t>(
                    i < static_cast<int>(numbers.size()) ? numbers[static_cast<std::size_t>(i)] : -1));
    return r;
}

Record Function(std::uint32_t sub, double a = 0, double b = 0, double c = 0)
{
    Record r = Header(KindFunc, 50);
    PutLe32(r.data() + 20, sub);
    PutDouble(r.data(), 28, a);
    PutDouble(r.data(), 36, b);
    PutDouble(r.data(), 44, c);
    return r;
}

std::uint32_t Add(CFeederBackup& backup, Record r, const GeoStart& start = {})
{
    return backup.AddEntry(r.data(), start);
}

std::array<std::uint8_t, CFeederBackup::StateSize> State(std::uint32_t id)
{
    std::array<std::uint8_t, CFeederBackup::StateSize> s{};
    PutLe32(s.data(), id);
    return s;
}

double D(const Record& r, std::size_t offset)
{
    return GetDouble(r.data(), offset);
}
} // namespace

TEST(FeederBackup, DumpTexts)
{
    BatchHost host;
    CFeederBackup backup(host);
    Record axis = Function(22);
    PutLe32(axis.data() + 28, 3);
    PutDouble(axis.data(), 32, 1.5);
    PutDouble(axis.data(), 40, 2.5);
    PutDouble(axis.data(), 48, 3.5);
    Record smoothing = Function(27);
    PutLe32(smoothing.data() + 28, 4);
    PutDouble(smoothing.data(), 36, 0.25);
    struct Case
    {
        Record record;
        const char* text;
    } cases[] = {
        {Rules(1, 0, 40), "\nBlockNo: 40 LineIdx: 4 TextIdx: 104 EntryIdx: 0x1 FeedGrpType: 8 "
                          "NCFEEDGROUPTYPE_IPOLRULES\n\tFeedType: RapidFeed (1) PrevIpolRules: 0x0"},
        {Arc(40), "\nBlockNo: 40 LineIdx: 4 TextIdx: 104 EntryIdx: 0x2 FeedGrpType: 2 "
                  "NCFEEDGROUPTYPE_GEO3D\n\tType 2 TargetPos(40.000000; 20.000000; 0.000000) "
                  "Center(40.000000; 0.000000; 0.000000)\n\tVelocity 10.000000 ZperRad 0.500000"
                  "\tTurn(0.000000; 0.000000; 1.570796) AuxTargetPos(10.000000; 11.000000; 12.000000; "
                  "13.000000; 14.000000)\n"},
        {Rules(9, 1), "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0x3 FeedGrpType: 8 "
                      "NCFEEDGROUPTYPE_IPOLRULES\n\tFeedType: unknown (9) PrevIpolRules: 0x1"},
        {MFunc(1, {3, 8}), "\nBlockNo: 30 LineIdx: 3 TextIdx: 103 EntryIdx: 0x4 FeedGrpType: 5 "
                           "NCFEEDGROUPTYPE_MFUNC\n\tType: 1 = "
                           "Set: M03 M08 FastMFuncMask: [0]0x0 [1]0x0 [2]0x0 [3]0x0 [4]0x0 PrevEntry: 0x3 "},
        {MFunc(99, {255, 255, 255, 255, 255, 255, 255, 255}),
         "\nBlockNo: 30 LineIdx: 3 TextIdx: 103 EntryIdx: 0x5 FeedGrpType: 5 NCFEEDGROUPTYPE_MFUNC\n\tType: "
         "99 = "
         "Clear: FastMFuncMask: [0]0x0 [1]0x0 [2]0x0 [3]0x0 [4]0x0 PrevEntry: 0x4 "},
        {Function(5, 1, 2, 3), "\nBlockNo: 50 LineIdx: 5 TextIdx: 105 EntryIdx: 0x6 FeedGrpType: 4 "
                               "NCFEEDGROUPTYPE_FUNC\n\tType: 5 = "
                               "ENTRY_FUNC_SETGROUPDYNPARAMS Acc=1.000000 Dec=2.000000 Jerk=3.000000"},
        {axis, "\nBlockNo: 50 LineIdx: 5 TextIdx: 105 EntryIdx: 0x7 FeedGrpType: 4 "
               "NCFEEDGROUPTYPE_FUNC\n\tType: 22 = "
               "ENTRY_FUNC_SETAXISDYNPARAMS AxisNo=3 Acc=1.500000 Dec=2.500000 Jerk=3.500000"},
        {smoothing, "\nBlockNo: 50 LineIdx: 5 TextIdx: 105 EntryIdx: 0x8 FeedGrpType: 4 "
                    "NCFEEDGROUPTYPE_FUNC\n\tType: 27 = "
                    "ENTRY_FUNC_NCKVERTEXSMOOTHING radius=0.250000 type=4"},
        {Function(ParameterRead), "\nBlockNo: 50 LineIdx: 5 TextIdx: 105 EntryIdx: 0x9 FeedGrpType: 4 "
                                  "NCFEEDGROUPTYPE_FUNC\n\tType: -2147483646 = "
                                  "ENTRY_FUNC_ISTPOS2REGISTER"},
        {Function(0), "\nBlockNo: 50 LineIdx: 5 TextIdx: 105 EntryIdx: 0xa FeedGrpType: 4 "
                      "NCFEEDGROUPTYPE_FUNC\n\tType: 0 = unknown"},
        {[]
         {
             Record r = Header(KindWait);
             PutDouble(r.data(), 20, 2.5);
             return r;
         }(),
         "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0xb FeedGrpType: 6 NCFEEDGROUPTYPE_WAIT\n\tTime: "
         "2.500000 "},
        {Spindle(1200), "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0xc FeedGrpType: 7 "
                        "NCFEEDGROUPTYPE_SPINDEL\n\tSpindle: "
                        "1200.000000 "},
        {Header(KindOrx),
         "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0xd FeedGrpType: 10 NCFEEDGROUPTYPE_ORX"},
        {Header(KindStop),
         "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0xe FeedGrpType: 11 NCFEEDGROUPTYPE_STOP"},
        {Value(KindHValue, 3007), "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0xf FeedGrpType: 13 "
                                  "NCFEEDGROUPTYPE_HVALUE\n\tValue 3007"},
        {Value(KindToolNr, 4), "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0x10 FeedGrpType: 14 "
                               "NCFEEDGROUPTYPE_TOOLNR\n\tValue 4"},
        {Value(KindMeasMode, 2), "\nBlockNo: 0 LineIdx: 0 TextIdx: 100 EntryIdx: 0x11 FeedGrpType: 16 "},
    };
    for (Case& c : cases)
    {
        const std::uint32_t id = Add(backup, c.record);
        std::string text;
        backup.At(backup.Count() - 1).Dump(text);
        EXPECT_EQ(text, c.text) << id;
    }
}

TEST(FeederBackup, IdsGoIntoTheRecordsAndRemovalTakesTheNewest)
{
    BatchHost host;
    CFeederBackup backup(host);
    Record r = Rules(0, 0);
    EXPECT_EQ(backup.AddEntry(r.data()), 1u);
    EXPECT_EQ(GetLe32(r.data() + EntryIdx), 1u);
    Add(backup, Arc(10));
    Add(backup, Rules(1, 1));
    Add(backup, Value(KindHValue, 5));
    EXPECT_EQ(backup.Count(), 4);
    backup.RemoveEntries(2);
    EXPECT_EQ(backup.Count(), 2);
    EXPECT_EQ(backup.At(1).Kind(), KindGeo3d);
    EXPECT_TRUE(host.Logged("remove 2 feeder backup entries"));
    EXPECT_EQ(host.logs.back().first, 145u);
    // A geometry record added now is governed by the rules that are left.
    Add(backup, Arc(20));
    const auto& arc = static_cast<const CFeederBackupEntryGeo3d&>(backup.At(2));
    ASSERT_NE(arc.Rules(), nullptr);
    EXPECT_EQ(arc.Rules()->Id(), 1u);
    EXPECT_EQ(arc.Id(), 5u); // ids are never given twice

    host.commandLogging = false;
    host.logs.clear();
    backup.RemoveEntries(10);
    EXPECT_TRUE(backup.IsEmpty());
    EXPECT_TRUE(host.logs.empty());
}

TEST(FeederBackup, RetraceOfAnEmptyListReachesTheBeginningAtOnce)
{
    BatchHost host;
    CFeederBackup backup(host);
    EXPECT_FALSE(backup.Active());
    backup.SetStartState(State(0).data(), CFeederBackup::DirectionRetrace);
    EXPECT_TRUE(backup.Active());
    EXPECT_EQ(backup.FeedStep(), 1);
    EXPECT_TRUE(host.Logged("beginning of part program reached"));
    EXPECT_EQ(backup.Mode(), CFeederBackup::ModeBeginning);
    EXPECT_FALSE(backup.Active());
    ASSERT_EQ(host.batch.size(), 1u);
    const Record& info = host.batch[0];
    EXPECT_EQ(GetLe32(info.data() + FeedGrpType), KindFunc);
    EXPECT_EQ(GetLe32(info.data() + 20), CFeederBackup::SubFeederInfo);
    EXPECT_EQ(GetLe32(info.data() + 24), 2u);
    EXPECT_EQ(host.texts[0], "\nNCFEEDGROUPTYPE_FUNC\n\tType: NCFEEDGROUPFUNC_FEEDERINFO = 2 "
                             "Retrace Info: First Segment reached \n");
}

TEST(FeederBackup, RetraceTurnsTheArcRoundAndUndoesTheValues)
{
    BatchHost host;
    host.size = 5;
    CFeederBackup backup(host);
    Add(backup, Spindle(800));
    Add(backup, Rules(0, 0, 40));
    GeoStart start;
    start.point = CVec3d(60, 20, 0);
    for (int i = 0; i < 5; ++i)
        start.aux[i] = i;
    Add(backup, Arc(50), start);
    Add(backup, MFunc(1, {3}));
    Add(backup, Spindle(1200));
    Add(backup, Value(KindHValue, 7));
    backup.SetStartState(State(0).data(), CFeederBackup::DirectionRetrace);
    EXPECT_EQ(backup.FeedStep(), 5);
    ASSERT_EQ(host.batch.size(), 5u);
    // Newest first: H back to nothing, spindle back to 800, M3 reset, the
    // rules with the sense turned round, the arc reversed.
    EXPECT_EQ(GetLe32(host.batch[0].data() + 20), 0u);
    EXPECT_EQ(D(host.batch[1], 28), 800.0);
    EXPECT_EQ(GetLe32(host.batch[2].data() + 20), 2u);
    EXPECT_EQ(GetLe32(host.batch[2].data() + 24), 3u);
    EXPECT_EQ(GetLe32(host.batch[3].data() + FeedGrpType), KindIpolRules);
    EXPECT_EQ(GetLe32(host.batch[3].data() + 28), 1u);
    const Record& arc = host.batch[4];
    EXPECT_EQ(GetLe32(arc.data() + FeedGrpType), KindGeo3d);
    EXPECT_EQ(GetLe32(arc.data() + BlockNo), 50u);
    EXPECT_EQ(D(arc, GeoTarget), 60.0);
    EXPECT_EQ(D(arc, GeoTarget + 8), 20.0);
    EXPECT_EQ(D(arc, GeoCenter), 40.0);
    EXPECT_EQ(GetLe32(arc.data() + GeoPlane), 1u);
    EXPECT_NEAR(D(arc, GeoTurn + 16), -std::numbers::pi / 2, 1e-15);
    EXPECT_EQ(D(arc, GeoZperRad), -0.5);
    EXPECT_EQ(D(arc, GeoVelocity), 10.0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(D(arc, GeoAuxTarget + 8 * static_cast<std::size_t>(i)), i);
    EXPECT_EQ(host.texts.size(), 5u);

    // The next step: the rules entry leaves no record, the first spindle
    // speed goes back to nothing, then the beginning.
    host.batch.clear();
    EXPECT_EQ(backup.FeedStep(), 2);
    ASSERT_EQ(host.batch.size(), 2u);
    EXPECT_EQ(D(host.batch[0], 28), 0.0);
    EXPECT_EQ(GetLe32(host.batch[1].data() + 24), 2u);

    // Forward again from there: every geometry record after its rules.
    host.batch.clear();
    backup.SetStartState(State(0).data(), CFeederBackup::DirectionForward);
    EXPECT_EQ(backup.FeedStep(), 5);
    const std::vector<std::uint32_t> kinds = {KindSpindle, KindIpolRules, KindIpolRules, KindGeo3d,
                                              KindMFunc};
    for (std::size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(GetLe32(host.batch[i].data() + FeedGrpType), kinds[i]) << i;
    EXPECT_EQ(D(host.batch[3], GeoTarget), 40.0);
}

TEST(FeederBackup, ForwardPastTheEndGivesFeederInfoZero)
{
    BatchHost host;
    CFeederBackup backup(host);
    Add(backup, Value(KindToolNr, 1));
    backup.SetStartState(State(0).data(), CFeederBackup::DirectionForward);
    EXPECT_EQ(backup.FeedStep(), 1);
    EXPECT_TRUE(host.Logged("end of backup list reached"));
    EXPECT_EQ(backup.Mode(), CFeederBackup::ModeEnd);
    ASSERT_EQ(host.batch.size(), 1u);
    EXPECT_EQ(GetLe32(host.batch[0].data() + 20), CFeederBackup::SubFeederInfo);
    EXPECT_EQ(GetLe32(host.batch[0].data() + 24), 0u);
    EXPECT_EQ(host.texts[0], "\nNCFEEDGROUPTYPE_FUNC\n\tType: NCFEEDGROUPFUNC_FEEDERINFO = 0 ");
}

TEST(FeederBackup, TheKernelNamesTheRecordItStandsOn)
{
    struct Case
    {
        const char* name;
        std::uint32_t id;
        int made;
        bool error;
        std::uint32_t kind;
        bool cleared; // past the last geometry record
    } cases[] = {
        {"unknown id", 9, 0, true, 0, false},
        {"geometry record", 2, 1, false, KindGeo3d, false},
        {"after the last geometry record", 3, 1, false, KindHValue, true},
    };
    for (const Case& c : cases)
    {
        BatchHost host;
        host.size = 1;
        CFeederBackup backup(host);
        Add(backup, Rules(0, 0));
        Add(backup, Arc(20));
        Add(backup, Value(KindHValue, 7, 30));
        backup.SetStartState(State(c.id).data(), CFeederBackup::DirectionRetrace);
        EXPECT_EQ(backup.FeedStep(), c.made) << c.name;
        if (c.error)
        {
            EXPECT_TRUE(host.Logged("Invalid entry Id generated by Nc kernel")) << c.name;
            ASSERT_EQ(host.errors.size(), 1u) << c.name;
            EXPECT_EQ(host.errors[0], (std::pair<std::int32_t, std::uint32_t>{-2, 16754})) << c.name;
            EXPECT_FALSE(backup.Active()) << c.name;
            EXPECT_EQ(backup.FeedStep(), 0) << c.name;
            continue;
        }
        ASSERT_EQ(host.batch.size(), 1u) << c.name;
        const Record& r = host.batch[0];
        EXPECT_EQ(GetLe32(r.data() + FeedGrpType), c.kind) << c.name;
        EXPECT_EQ(GetLe32(r.data() + BlockNo), c.cleared ? 0u : 20u + (c.kind == KindHValue ? 10u : 0u))
            << c.name;
        EXPECT_EQ(GetLe32(r.data() + EntryIdx), c.cleared ? 0u : c.id) << c.name;
        if (c.cleared)
        {
            EXPECT_EQ(D(r, 28), 1.0) << c.name;
        }
        // The walk goes on back over the named record.
        host.batch.clear();
        EXPECT_EQ(backup.FeedStep(), 1) << c.name;
        EXPECT_EQ(GetLe32(host.batch[0].data() + FeedGrpType),
                  c.kind == KindGeo3d ? KindIpolRules : KindHValue)
            << c.name;
    }
}

TEST(FeederBackup, GeometryWithoutRulesStopsTheWalk)
{
    struct Case
    {
        int direction;
        const char* log;
        std::size_t errors;
    } cases[] = {
        {CFeederBackup::DirectionRetrace, "internal error - IpolRules missing for retrace", 1},
        {CFeederBackup::DirectionForward,
         "internal error - IpolRules missing for forward (PrepareFgdForward)", 0},
    };
    for (const Case& c : cases)
    {
        BatchHost host;
        CFeederBackup backup(host);
        Add(backup, Value(KindHValue, 1, 60)); // id 1
        Add(backup, Arc(70));                  // id 2, fed before any rules
        // The retrace starts at the newest record; the forward after the H value.
        const bool forward = c.direction == CFeederBackup::DirectionForward;
        backup.SetStartState(State(forward ? 1 : 0).data(), c.direction);
        if (forward)
        {
            EXPECT_EQ(backup.FeedStep(), 1) << c.log; // the named H value again
        }
        EXPECT_EQ(backup.FeedStep(), 0) << c.log;
        EXPECT_TRUE(host.Logged(c.log)) << c.log;
        ASSERT_EQ(host.errors.size(), c.errors) << c.log;
        if (c.errors)
        {
            EXPECT_EQ(host.errors[0], (std::pair<std::int32_t, std::uint32_t>{107, 1}))
                << c.log; // the arc's line index
        }
        EXPECT_FALSE(backup.Active()) << c.log;
    }
}
