// The group's feed to the kernel simulator, with the service in this
// process: batches by type and class, lock stops, batch sizes, the
// measurement switch, partial and refused batches, offset records, the
// feeder backup's walks, and the transformer worker's errors. The group's
// workers are stopped so that a test moves the chain and feeds batch by
// batch; the worker tests run their own group.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>

#include <gtest/gtest.h>

#include "channel.h"
#include "group.h"
#include "millpath_harness.h"
#include "millpath_service.h"
#include "ncksim.h"
#include "scripted_correction.h"

using namespace mptest;

namespace
{
using Batch = std::vector<LogLine>;

struct Fed
{
    Device device;
    std::FILE* log = nullptr;
    std::unique_ptr<ncksim::CNcKernelSim> sim;
    std::unique_ptr<CMillpathService> service;
    CChannel* channel = nullptr;
    CGroup* group = nullptr;

    // The channel and its group are built here, as the kernel's
    // configuration builds them, so that this thread owns them from the start.
    Fed()
    {
        log = std::fopen(device.SimLog().c_str(), "a");
        sim = std::make_unique<ncksim::CNcKernelSim>(ncksim::SimConfig::Default(),
                                                     ncksim::CNcKernelSim::Options{}, log);
        EXPECT_TRUE(sim->Start());
        service = std::make_unique<CMillpathService>();
        EXPECT_TRUE(service->Init());
        channel = new CChannel(service.get(), 1, service->KernelAddress());
        EXPECT_TRUE(channel->SetSize(100000));
        EXPECT_TRUE(channel->SetDialect(CChannel::DialectOwn));
        service->AddChannel(channel);
        group = new CGroup(service.get(), 1, 0, service->KernelAddress());
        EXPECT_TRUE(group->SetChannel(1));
        service->AddGroup(group);
        channel->AttachGroup(group);
        group->Stop();
        group->SetLogPath(device.Root());
    }
    ~Fed()
    {
        service->StopService();
        service.reset();
        sim->Stop();
        std::fclose(log);
    }

    // The channel's add-entry, as its worker calls it.
    void Add(CEntry* entry)
    {
        std::lock_guard<std::recursive_mutex> lock(channel->Lock());
        ASSERT_EQ(channel->addEntry(entry), AddEntry::Taken);
    }
    void Flag(int index, std::uint32_t value)
    {
        const auto data = Word(value);
        EXPECT_EQ(channel->WriteValue(80 + static_cast<std::uint32_t>(index), data.data(), data.size()), 0u);
    }
    // One transformer step over everything the chain holds.
    void Move()
    {
        int done = 0;
        group->Transformer().Process(0, done);
    }
    // Feed steps until one feeds nothing; the number that fed.
    int FeedAll()
    {
        Move();
        int fed = 0;
        while (group->FeedStep())
            ++fed;
        return fed;
    }
    // The records of each batch the simulator answered, in order.
    std::vector<Batch> Batches() const
    {
        std::vector<Batch> batches(1);
        std::ifstream in(device.SimLog());
        std::string line;
        while (std::getline(in, line))
        {
            LogLine fields = ParseLine(line);
            if (fields["event"] == "record")
                batches.back().push_back(std::move(fields));
            else if (fields["event"] == "answer")
                batches.emplace_back();
        }
        batches.pop_back();
        return batches;
    }
    std::vector<std::vector<std::string>> Kinds() const
    {
        std::vector<std::vector<std::string>> kinds;
        for (const Batch& b : Batches())
        {
            kinds.emplace_back();
            for (const LogLine& r : b)
                kinds.back().push_back(r.at("kind"));
        }
        return kinds;
    }
    std::string EventLog() const { return vostest::ReadFile(device.Root() + "/VosEvent.log"); }
    std::string Diagnostics() const { return vostest::ReadFile(device.Root() + "/Millpath.log"); }
};

CEntryGeo_3D* Line(double x, double y, std::uint32_t blockNo)
{
    auto* line = new CEntryGeo_3D;
    line->m_target = CVec3d(x, y, 0);
    line->m_feed = 600.0;
    line->m_blockNo = blockNo;
    line->m_lineIdx = blockNo / 10;
    return line;
}

CEntryHValue* H(std::int32_t value, std::uint32_t blockNo = 0)
{
    auto* h = new CEntryHValue;
    h->m_value = value;
    h->m_blockNo = blockNo;
    h->m_lineIdx = blockNo / 10;
    return h;
}

CEntryMFunk* M(MFunkKind kind, int number)
{
    auto* m = new CEntryMFunk;
    m->m_kind = static_cast<std::uint16_t>(kind);
    m->m_mNumbers[0] = number;
    return m;
}

std::vector<std::string> Hs(const Batch& batch)
{
    std::vector<std::string> values;
    for (const LogLine& r : batch)
        values.push_back(r.at("h"));
    return values;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

template <class Condition> bool WaitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

using Kinds = std::vector<std::vector<std::string>>;
} // namespace

TEST(MillpathFeed, BatchesHoldOneTypeAndClassAndLockStopsStandAlone)
{
    Fed f;
    f.Add(Line(10, 0, 10));
    f.Add(Line(10, 10, 20));
    EXPECT_EQ(f.FeedAll(), 1);
    EXPECT_TRUE(f.group->LockActive()); // geometry asks for the lock
    f.Add(M(MFunkKind::Set, 8));
    f.Add(M(MFunkKind::Test, 9)); // a lock stop now: never in a batch with other records
    f.Add(new CEntryDelayTime);
    f.Add(new CEntryDelayTime);
    f.Add(H(1));
    f.Add(H(2));
    f.Add(new CEntryStop); // no lock any more: makes no record
    f.Add(H(3));
    f.FeedAll();
    EXPECT_EQ(f.Kinds(), (Kinds{{"2", "2"}, {"5"}, {"11"}, {"6", "6"}, {"13", "13"}, {"13"}}));
    // The lock stop is its header alone.
    const LogLine stop = f.Batches()[2][0];
    EXPECT_EQ(stop.at("hex").substr(40), std::string(312 - 40, '0'));
    EXPECT_FALSE(f.group->LockActive());
    EXPECT_TRUE(f.group->Cooked().IsEmpty());
    EXPECT_TRUE(
        WaitFor([&] { return Contains(f.EventLog(), "\t129\t-\tGroup 1: Lock mechanism succeeded\n"); }));
}

TEST(MillpathFeed, TheChannelsRoomIsWhatTheFirstStagesLeave)
{
    // With the chamfer switch off the entries go straight into the look-ahead,
    // with it on through the chamfer and rounding stage: 49 places either way.
    for (std::uint32_t chamfer : {0u, 1u})
    {
        Fed f;
        f.Flag(CChannel::FlagChamfer, chamfer);
        for (int i = 0; i < 49; ++i)
            f.Add(H(i));
        EXPECT_EQ(f.group->FreePlaces(), 0) << chamfer;
        std::unique_ptr<CEntry> waiting(H(49));
        {
            std::lock_guard<std::recursive_mutex> lock(f.channel->Lock());
            EXPECT_EQ(f.channel->addEntry(waiting.get()), AddEntry::NotNow) << chamfer;
            EXPECT_EQ(f.channel->groupFreePlaces(), 0) << chamfer;
        }
        f.Move();
        EXPECT_GT(f.group->FreePlaces(), 0) << chamfer;
        f.Add(waiting.release());
        f.FeedAll();
        f.Move();
        while (f.group->FeedStep())
        {
        }
        std::size_t records = 0;
        for (const Batch& b : f.Batches())
            records += b.size();
        EXPECT_EQ(records, 50u) << chamfer;
    }
}

TEST(MillpathFeed, BatchSizeAskedAndClamped)
{
    Fed f;
    // Size 0 at offset 0xE is not taken: 1. The kernel's 9 becomes 5, its 0
    // is asked again, and 3 is taken.
    f.sim->SetBatchSize(0);
    f.sim->ScriptAnswers({{0, -1, 9}, {0, -1, 0}, {0, -1, 0}});
    for (int i = 0; i < 7; ++i)
        f.Add(H(i));
    f.Move();
    ASSERT_TRUE(f.group->FeedStep());
    ASSERT_TRUE(f.group->FeedStep());
    ASSERT_TRUE(f.group->FeedStep());
    f.sim->SetBatchSize(3);
    for (int i = 7; i < 12; ++i)
        f.Add(H(i));
    f.FeedAll();
    std::vector<std::size_t> sizes;
    for (const Batch& b : f.Batches())
        sizes.push_back(b.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 5, 1, 3, 2}));
}

TEST(MillpathFeed, MeasurementSwitchTakesBatchesWithoutTheKernel)
{
    Fed f;
    const std::uint8_t on[2] = {1, 0};
    const std::uint8_t off[2] = {0, 0};
    ASSERT_EQ(f.channel->Command(8, on, sizeof(on)), 0u);
    for (int i = 0; i < 7; ++i)
        f.Add(H(i));
    EXPECT_EQ(f.FeedAll(), 2);
    EXPECT_TRUE(f.group->Cooked().IsEmpty());
    EXPECT_EQ(f.sim->RecordCount(), 0u);
    ASSERT_EQ(f.channel->Command(8, off, sizeof(off)), 0u);
    f.Add(H(7));
    EXPECT_EQ(f.FeedAll(), 1);
    EXPECT_EQ(f.sim->RecordCount(), 1u);
}

TEST(MillpathFeed, PartialAcceptsFeedTheRestAgain)
{
    Fed f;
    f.Flag(CChannel::FlagBackup, 1);
    f.sim->ScriptAnswers({{0x423F, 2, 5}});
    for (int i = 1; i <= 5; ++i)
        f.Add(H(i));
    f.Move();
    ASSERT_TRUE(f.group->FeedStep());
    // The three not taken are no longer backed up.
    EXPECT_EQ(f.group->Backup().Count(), 2);
    ASSERT_TRUE(f.group->FeedStep());
    EXPECT_EQ(f.group->Backup().Count(), 5);
    const auto batches = f.Batches();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(Hs(batches[0]), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Hs(batches[1]), (std::vector<std::string>{"3", "4", "5"}));
    // With the backup switch on, each record carries its copy's id.
    EXPECT_EQ(batches[1][0].at("hex").substr(32, 8), "06000000"); // ids are never given twice
    EXPECT_EQ(f.group->ResetState(), CGroup::ResetRunning);
}

TEST(MillpathFeed, RefusedBatchNamesItsBlockAndTheResetFollows)
{
    struct Case
    {
        std::int32_t accepted;
        std::uint32_t block;
    } cases[] = {{2, 30}, {5, 50}};
    for (const Case& c : cases)
    {
        Fed f;
        f.sim->ScriptAnswers({{0x42BD, c.accepted, 5}});
        for (std::uint32_t b = 10; b <= 50; b += 10)
            f.Add(H(static_cast<std::int32_t>(b), b));
        f.Move();
        EXPECT_FALSE(f.group->FeedStep()) << c.accepted;
        EXPECT_EQ(f.channel->RefusedBlock(), c.block) << c.accepted;
        EXPECT_EQ(f.group->ResetState(), CGroup::ResetPending) << c.accepted;
        // Nothing more goes out until the channel resets the group.
        EXPECT_FALSE(f.group->FeedStep()) << c.accepted;
        EXPECT_EQ(f.Batches().size(), 1u) << c.accepted;
        f.group->ResetGroup();
        f.group->FeedStep(); // the reset entry marks the reset
        f.group->FeedStep(); // and the kernel hears of it
        EXPECT_EQ(f.group->ResetState(), CGroup::ResetRunning) << c.accepted;
        const auto writes = f.device.Log("write");
        ASSERT_FALSE(writes.empty()) << c.accepted;
        EXPECT_EQ(writes.back().at("group"), std::to_string(0x3201)) << c.accepted;
        EXPECT_EQ(writes.back().at("offset"), "1") << c.accepted;
        EXPECT_TRUE(f.group->Cooked().IsEmpty()) << c.accepted;
    }
}

TEST(MillpathFeed, OtherResultsResetTheGroupAndNameTheSuspects)
{
    struct Case
    {
        const char* name;
        ncksim::BatchAnswer answer;
        const char* diagnostics;
        std::size_t taken;
    } cases[] = {
        {"none accepted", {0x4242, 0, 5}, "[Potential error line]Group 1 (1 BNo 10)HValue 1\n", 0},
        {"two accepted",
         {0x4242, 2, 5},
         "[Potential initiator of the error]Group 1 (1 BNo 10)HValue 1\n"
         "[Potential initiator of the error]Group 1 (2 BNo 20)HValue 2\n",
         0},
        {"more accepted than sent", {0, 7, 5}, "", 0},
        {"all taken",
         {0, -1, 5},
         "Group 1 (1 BNo 10)HValue 1\nGroup 1 (2 BNo 20)HValue 2\nGroup 1 (3 BNo 30)HValue 3\n",
         3},
    };
    for (const Case& c : cases)
    {
        Fed f;
        f.group->SetFeederLog(true);
        f.sim->ScriptAnswers({c.answer});
        for (std::uint32_t b = 10; b <= 30; b += 10)
            f.Add(H(static_cast<std::int32_t>(b / 10), b));
        f.Move();
        f.group->FeedStep();
        EXPECT_EQ(f.group->ResetState(), c.taken ? CGroup::ResetRunning : CGroup::ResetPending) << c.name;
        EXPECT_EQ(f.group->Cooked().Count(), 3 - static_cast<int>(c.taken)) << c.name;
        const std::string text =
            std::filesystem::exists(f.device.Root() + "/Millpath.log") ? f.Diagnostics() : "";
        EXPECT_EQ(text, c.diagnostics) << c.name;
    }
    Fed f;
    f.sim->ScriptAnswers({{0, 7, 5}});
    for (int i = 0; i < 5; ++i)
        f.Add(H(i));
    f.Move();
    EXPECT_FALSE(f.group->FeedStep());
    EXPECT_EQ(f.group->Cooked().Count(), 5);
    EXPECT_TRUE(WaitFor([&] { return Contains(f.EventLog(), "Group 1: kernel accepted 7 of 5 records"); }));
}

TEST(MillpathFeed, OffsetRecordsFollowTheirGeometry)
{
    Fed f;
    f.Flag(CChannel::FlagOffsetRecord, 1);
    for (std::uint32_t b : {10u, 20u})
    {
        CEntryGeo_3D* line = Line(b, 0, b);
        line->m_korrEnd.m_vectors[0] = CVec3d(1, 2, 3);
        line->m_korrEnd.m_vectors[1] = CVec3d(0.5, 0, 0);
        line->m_zeroShift = CVec3d(10, 0, 0);
        f.Add(line);
    }
    f.Add(H(1));
    f.FeedAll();
    // An entry of two places ends its batch; with the switch on a batch
    // never starts what it cannot finish.
    EXPECT_EQ(f.Kinds(), (Kinds{{"2", "23"}, {"2", "23"}, {"13"}}));
    const LogLine offset = f.Batches()[0][1];
    const LogLine geometry = f.Batches()[0][0];
    EXPECT_EQ(offset.at("block"), "10");
    EXPECT_EQ(offset.at("hex").substr(8, 24), geometry.at("hex").substr(8, 24));
    // 20: offset plus tool-nose compensation, 44: tool-nose, 68: zero shift.
    auto doubleAt = [&](std::size_t at)
    {
        double v = 0.0;
        const std::string hex = offset.at("hex").substr(2 * at, 16);
        std::uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<std::uint8_t>(
                std::stoul(hex.substr(2 * static_cast<std::size_t>(i), 2), nullptr, 16));
        std::memcpy(&v, bytes, 8);
        return v;
    };
    EXPECT_EQ(doubleAt(20), 1.5);
    EXPECT_EQ(doubleAt(28), 2.0);
    EXPECT_EQ(doubleAt(36), 3.0);
    EXPECT_EQ(doubleAt(44), 0.5);
    EXPECT_EQ(doubleAt(68), 10.0);
    EXPECT_EQ(offset.at("hex").substr(184), std::string(312 - 184, '0'));
}

TEST(MillpathFeed, OffsetRecordsWithBatchesOfOne)
{
    // A kernel that asks for one record still gets a geometry entry's two.
    Fed one;
    one.Flag(CChannel::FlagOffsetRecord, 1);
    one.sim->SetBatchSize(1);
    one.sim->ScriptAnswers({{0, -1, 1}});
    one.Add(Line(5, 0, 10));
    one.Add(H(1));
    one.FeedAll();
    EXPECT_EQ(one.Kinds(), (Kinds{{"2", "23"}, {"13"}}));
}

TEST(MillpathFeed, BackupRetracesAndGoesForwardAgain)
{
    Fed f;
    f.Flag(CChannel::FlagBackup, 1);
    auto* rules = new CEntrySetIpolRules;
    rules->m_rule1 = 0; // circular, counter-clockwise
    f.Add(rules);
    auto* arc = new CEntryGeo_3D;
    arc->m_geoType = 1;
    arc->m_start = CVec3d(20, 0, 0);
    arc->m_target = CVec3d(10, 10, 0);
    arc->m_centre = CVec3d(10, 0, 0);
    arc->m_rotation = CVec3d(0, 0, std::numbers::pi / 2);
    arc->m_feed = 600;
    arc->m_blockNo = 20;
    f.Add(arc);
    f.FeedAll();
    ASSERT_EQ(f.group->Backup().Count(), 2);

    std::array<std::uint8_t, 72> state{};
    ASSERT_EQ(f.channel->Command(0x14, state.data(), state.size()), 0u);
    EXPECT_TRUE(f.group->FeedStep());
    auto batches = f.Batches();
    ASSERT_EQ(batches.size(), 3u);
    const Batch& back = batches.back();
    // The rules turned round, the arc back to its start, the first segment.
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].at("kind"), "8");
    EXPECT_EQ(Numbers(back[0].at("rules"))[2], 1.0);
    EXPECT_EQ(back[1].at("kind"), "2");
    EXPECT_EQ(Numbers(back[1].at("target")), (std::vector<double>{20, 0, 0}));
    EXPECT_EQ(Numbers(back[1].at("center")), (std::vector<double>{10, 0, 0}));
    EXPECT_NEAR(Numbers(back[1].at("turn"))[2], -std::numbers::pi / 2, 1e-12);
    EXPECT_EQ(back[2].at("kind"), "4");
    EXPECT_EQ(back[2].at("sub"), "28");
    EXPECT_EQ(back[2].at("arg"), "2");
    EXPECT_EQ(f.group->Backup().Mode(), CFeederBackup::ModeBeginning);

    ASSERT_EQ(f.channel->Command(0x15, state.data(), state.size()), 0u);
    EXPECT_TRUE(f.group->FeedStep());
    batches = f.Batches();
    const Batch& forward = batches.back();
    ASSERT_EQ(forward.size(), 4u);
    EXPECT_EQ(forward[0].at("kind"), "8");
    EXPECT_EQ(forward[1].at("kind"), "8");
    EXPECT_EQ(Numbers(forward[2].at("target")), (std::vector<double>{10, 10, 0}));
    EXPECT_EQ(forward[3].at("arg"), "0");
    EXPECT_EQ(f.group->Backup().Mode(), CFeederBackup::ModeEnd);

    // A record the backup does not hold: the channel stops with 16754.
    PutLe32(state.data(), 99);
    ASSERT_EQ(f.channel->Command(0x14, state.data(), state.size()), 0u);
    EXPECT_FALSE(f.group->FeedStep());
    EXPECT_TRUE(WaitFor([&] { return f.channel->State() == InterpreterState::Error; }));
    EXPECT_EQ(f.channel->Interpreter()->ncError(), 16754u);
}

TEST(MillpathFeed, TransformerWorkerErrorsStopTheChannel)
{
    Fed f;
    ScriptedCorrection* correction = nullptr;
    CGroup own(f.service.get(), 1, 0, f.service->KernelAddress(), Scripted(correction));
    ASSERT_TRUE(own.SetChannel(1));
    correction->always = -553;
    {
        std::lock_guard<std::recursive_mutex> lock(f.channel->Lock());
        ASSERT_EQ(own.AddEntry(H(1)), AddEntry::Taken);
        auto* rules = new CEntrySetIpolRules;
        rules->m_rule4 = 1;
        rules->m_rule5 = 1;
        ASSERT_EQ(own.AddEntry(rules), AddEntry::Taken);
        ASSERT_EQ(own.AddEntry(Line(10, 0, 30)), AddEntry::Taken);
    }
    EXPECT_TRUE(WaitFor([&] { return f.channel->State() == InterpreterState::Error; }));
    EXPECT_EQ(f.channel->Interpreter()->errorLine(), -2);
    EXPECT_EQ(f.channel->Interpreter()->ncError(), 0x4151u);
    // The chain was reset; what went before the failing line was fed.
    EXPECT_TRUE(WaitFor([&] { return own.Transformer().IsIdle(); }));
    EXPECT_TRUE(WaitFor([&] { return Contains(f.EventLog(), "\t84\t0xC5A\t1\n"); }));
    EXPECT_TRUE(Contains(f.EventLog(), "\t84\t0xC55\t"));
    own.Stop();
}

namespace
{
// An expected record: the named fields, every other byte zero.
struct Image
{
    std::array<std::uint8_t, 2 * KernelRecord::Size> bytes{};
    Image& W(std::size_t at, std::uint32_t value)
    {
        PutLe32(bytes.data() + at, value);
        return *this;
    }
    Image& D(std::size_t at, double value)
    {
        KernelRecord::PutDouble(bytes.data(), at, value);
        return *this;
    }
    Image& V(std::size_t at, double x, double y, double z) { return D(at, x).D(at + 8, y).D(at + 16, z); }
    // The header of the entries below: kind, LineIdx 2, TextIdx 3, BlockNo 40, EntryIdx 7.
    static Image Of(std::uint32_t kind) { return Image{}.W(0, kind).W(4, 2).W(8, 3).W(12, 40).W(16, 7); }
};

template <class T> T* Stamped(T* entry)
{
    entry->m_lineIdx = 2;
    entry->m_textIdx = 3;
    entry->m_blockNo = 40;
    entry->m_entryIdx = 7;
    return entry;
}

CEntryMFunk* MKind(MFunkKind kind, std::vector<int> numbers)
{
    auto* m = Stamped(new CEntryMFunk);
    m->m_kind = static_cast<std::uint16_t>(kind);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        m->m_mNumbers[i] = numbers[i];
    return m;
}

CEntryGeo_3D* Geo(std::uint32_t type, std::uint32_t plane = 0)
{
    auto* g = Stamped(new CEntryGeo_3D);
    g->m_geoType = type;
    g->m_plane = plane;
    g->m_target = CVec3d(1, 2, 3);
    g->m_feed = 600;
    g->m_centre = CVec3d(4, 5, 6);
    g->m_rotation = CVec3d(0, 0, -1.5);
    g->m_helixRise = 0.25;
    g->m_sf = 45;
    for (int i = 0; i < 5; ++i)
        g->m_auxTarget[i] = i + 1;
    return g;
}

Image GeoImage(std::uint32_t type, std::uint32_t plane)
{
    Image image = Image::Of(2).W(20, type).V(24, 1, 2, 3).D(48, 10.0);
    if (type == 2 || type == 3)
        image.W(56, plane).V(60, 4, 5, 6).V(84, 0, 0, -1.5);
    if (type == 3)
        image.D(108, 0.25);
    for (int i = 0; i < 5; ++i)
        image.D(116 + 8 * static_cast<std::size_t>(i), i + 1);
    return image;
}

CEntryFunk* Func(std::uint32_t code)
{
    auto* f = Stamped(new CEntryFunk);
    f->m_code = code;
    f->m_arg = 5;
    f->m_value1 = 1.5;
    f->m_value2 = 2.5;
    f->m_value3 = 3.5;
    f->m_value4 = 4.5;
    return f;
}

std::string HexOf(const std::uint8_t* bytes, std::size_t size)
{
    std::string hex;
    char two[3];
    for (std::size_t i = 0; i < size; ++i)
    {
        std::snprintf(two, sizeof(two), "%02x", bytes[i]);
        hex += two;
        if (i % 4 == 3)
            hex += ' ';
    }
    return hex;
}
} // namespace

TEST(MillpathFeed, RecordImagesByKind)
{
    struct Case
    {
        const char* name;
        std::function<CEntry*()> entry;
        Image image;
        int records; // 0: the entry makes none
        const char* text = nullptr;
    };
    auto rules = []
    {
        auto* r = Stamped(new CEntrySetIpolRules);
        r->m_feedType = 1;
        r->m_rule1 = 1;
        r->m_channelFlags = 1;
        r->m_rule3 = 1;
        r->m_rule4 = 0xFFFFFFFFu; // G42
        r->m_rule5 = 3;           // D: not sent
        r->m_channelWord = 1;
        return r;
    };
    auto orx = []
    {
        auto* o = Stamped(new CEntryORXsignal);
        for (int i = 0; i < CEntryORXsignal::MaxBytes; ++i)
            o->m_data[i] = static_cast<std::uint8_t>(i + 1);
        return o;
    };
    Image orxImage = Image::Of(10);
    for (int i = 0; i < CEntryORXsignal::MaxBytes; ++i)
        orxImage.bytes[20 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    Image clear = Image::Of(5).W(20, 99);
    Image set = Image::Of(5).W(20, 1).W(24, 3).W(28, 8);
    for (std::size_t at = 24; at < 56; at += 4)
        clear.W(at, 255);
    for (std::size_t at = 32; at < 56; at += 4)
        set.W(at, 0xFFFFFFFFu);
    Image build = Image::Of(20);
    for (std::uint32_t i = 0; i < 8; ++i)
        build.W(20 + 4 * i, i + 1);
    Image message = Image::Of(4).W(20, 26).W(28, 812);
    std::memcpy(message.bytes.data() + 32, "Tool worn", 9);

    const std::vector<Case> cases = {
        {"M set",
         [] {
             return MKind(MFunkKind::Set, {3, 8});
         },
         set, 1, "Group 1 (2 BNo 40)MFunk Set: M03 M08 "},
        {"M reset", [] { return MKind(MFunkKind::Reset, {4}); },
         Image::Of(5).W(20, 2).W(24, 4).W(28, ~0u).W(32, ~0u).W(36, ~0u).W(40, ~0u).W(44, ~0u).W(48, ~0u).W(
             52, ~0u),
         1, "Group 1 (2 BNo 40)MFunk Reset: M04 "},
        {"M test", [] { return MKind(MFunkKind::Test, {30}); },
         Image::Of(5).W(20, 3).W(24, 30).W(28, ~0u).W(32, ~0u).W(36, ~0u).W(40, ~0u).W(44, ~0u).W(48, ~0u).W(
             52, ~0u),
         1, "Group 1 (2 BNo 40)MFunk Test: M30 "},
        {"M clear",
         [] {
             return MKind(MFunkKind::Clear, {255, 255, 255, 255, 255, 255, 255, 255});
         },
         clear, 1, "Group 1 (2 BNo 40)MFunk Clear"},
        {"rules with the RK word", rules, Image::Of(8).W(20, 1).W(24, 1).W(32, 1).W(36, 1).W(40, 0xFFFFFFFFu),
         1, "Group 1 (2 BNo 40)SetRoules IpType Lin Ecke Genau RK-1 RapidFeed "},
        {"ORX", orx, orxImage, 1, "Group 1 (2 BNo 40)ORX"},
        {"line", [] { return Geo(0); }, GeoImage(1, 0), 1,
         "Group 1 (2 BNo 40)Line, F=600.000000000 X=1.000000000000 Y=2.000000000000 Z=3.000000000000 "
         "Q1=1.000000000000 Q2=2.000000000000 Q3=3.000000000000 Q4=4.000000000000 Q5=5.000000000000 "},
        {"circle in plane 0", [] { return Geo(1, 0); }, GeoImage(2, 1), 1,
         "Group 1 (2 BNo 40)Circle, F=600.000000000 XY Plane X=1.000000000000 Y=2.000000000000 "
         "Z=3.000000000000 "
         "MX=4.000000000000 MY=5.000000000000 MZ=6.000000000000 DX=0.000000000000 DY=0.000000000000 "
         "DZ=-1.500000000000 Q1=1.000000000000 Q2=2.000000000000 Q3=3.000000000000 Q4=4.000000000000 "
         "Q5=5.000000000000 "},
        {"circle in plane 1", [] { return Geo(1, 1); }, GeoImage(2, 3), 1},
        {"circle in plane 2", [] { return Geo(1, 2); }, GeoImage(2, 2), 1},
        {"helix", [] { return Geo(2, 0); }, GeoImage(3, 1), 1},
        {"auxiliary axes only", [] { return Geo(3); }, GeoImage(4, 0), 1},
        {"thread cutting", [] { return Geo(4); },
         Image::Of(18)
             .W(20, 7)
             .V(24, 1, 2, 3)
             .V(48, 4, 5, 6)
             .D(72, 45)
             .D(80, 1)
             .D(88, 2)
             .D(96, 3)
             .D(104, 4)
             .D(112, 5),
         1,
         "Group 1 (2 BNo 40)ThreadCutting, X=1.000000000000 Y=2.000000000000 Z=3.000000000000 "
         "DX=4.000000000000 "
         "DY=5.000000000000 DZ=6.000000000000  SF=45.000000000000 Q1=1.000000000000 Q2=2.000000000000 "
         "Q3=3.000000000000 Q4=4.000000000000 Q5=5.000000000000 "},
        {"tapping", [] { return Geo(5); },
         Image::Of(18).W(20, 8).V(24, 1, 2, 3).V(48, 4, 5, 6).D(80, 1).D(88, 2).D(96, 3).D(104, 4).D(112, 5),
         1},
        {"dwell",
         []
         {
             auto* d = Stamped(new CEntryDelayTime);
             d->m_time = 2.5;
             return d;
         },
         Image::Of(6).D(20, 2.5), 1},
        {"spindle",
         []
         {
             auto* s = Stamped(new CEntrySpindel);
             s->m_speed = 1200;
             return s;
         },
         Image::Of(7).D(28, 1200), 1, "Group 1 (2 BNo 40)Spindle 1200.000000 RPM"},
        {"H value",
         []
         {
             auto* h = Stamped(new CEntryHValue);
             h->m_value = 3007;
             return h;
         },
         Image::Of(13).W(20, 3007), 1, "Group 1 (2 BNo 40)HValue 3007"},
        {"tool",
         []
         {
             auto* t = Stamped(new CEntryToolNr);
             t->m_tool = 4;
             return t;
         },
         Image::Of(14).W(20, 4), 1, "Group 1 (2 BNo 40)ToolNo 4"},
        {"measuring 0",
         []
         {
             auto* m = Stamped(new CEntryMeasMode);
             m->m_mode = 0;
             return m;
         },
         Image::Of(16), 1, "Group 1 (2 BNo 40)Gruppe 1 (2) MeasMode 0 "},
        {"measuring 4",
         []
         {
             auto* m = Stamped(new CEntryMeasMode);
             m->m_mode = 4;
             return m;
         },
         Image::Of(16).W(20, 4), 1},
        {"one axis",
         []
         {
             auto* a = Stamped(new CEntryGeo_1D);
             a->m_axis = 2;
             a->m_target = 12.5;
             a->m_velocity = 300;
             return a;
         },
         Image::Of(1).W(20, 1).D(24, 12.5).D(32, 300).W(40, 1).W(52, 1).W(64, 1).W(76, 2), 1},
        {"step-on",
         []
         {
             auto* s = Stamped(new CEntryStepOn);
             s->m_axis = 3;
             s->m_mode = 2;
             s->m_value = 7.5;
             s->m_value2 = 8.5;
             return s;
         },
         Image::Of(22).W(20, 2).W(24, 3).D(28, 7.5).D(36, 8.5), 1},
        {"message",
         []
         {
             auto* m = Stamped(new CEntryMsg);
             m->m_number = 812;
             std::strcpy(m->m_text, "Tool worn");
             return m;
         },
         message, 1, "Group 1 (2 BNo 40)Func 26 0"},
        {"function 1", [] { return Func(1); }, Image::Of(4).W(20, 1).W(24, 5), 1},
        {"function 2", [] { return Func(2); }, Image::Of(4).W(20, 0x80000002u).W(24, 5), 1},
        {"function 5", [] { return Func(5); },
         Image::Of(4).W(20, 5).W(24, 5).D(28, 1.5).D(36, 2.5).D(44, 3.5), 1,
         "Group 1 (2 BNo 40)Func 5 5 Parameter: Acc = 1.500000, Dec = 2.500000, Jerk = 3.500000"},
        {"function 6", [] { return Func(6); }, Image::Of(4).W(20, 6).W(24, 5).D(28, 1.5), 1},
        {"function 19", [] { return Func(19); }, Image::Of(4).W(20, 19).W(24, 5).D(28, 1.5), 1,
         "Group 1 (2 BNo 40)Func 19 5 Parameter: Spindle Limit = 1.500000"},
        {"function 10", [] { return Func(10); },
         Image::Of(4).W(20, 10).W(24, 5).D(28, 1.5).D(36, 2.5).D(44, 3.5), 1},
        {"function 13",
         []
         {
             auto* f = Func(13);
             f->m_word2 = 3;
             return f;
         },
         Image::Of(4).W(20, 13).W(24, 5).D(28, 1.5).W(36, 3), 1},
        {"function 18",
         []
         {
             auto* f = Func(18);
             f->m_word1 = 1;
             return f;
         },
         Image::Of(4).W(20, 18).W(24, 5).W(28, 1), 1},
        {"function 20",
         []
         {
             auto* f = Func(20);
             for (int i = 0; i < 8; ++i)
                 f->m_groupAxes[i] = static_cast<std::uint16_t>(i + 1);
             return f;
         },
         build, 1, "Group 1 (2 BNo 40)Parameter: Build Group X:1 Y:2 Z:3 Q1:4 Q2:5 Q3:6 Q4:7 Q5:8"},
        {"function 21", [] { return Func(21); }, Image::Of(21), 1,
         "Group 1 (2 BNo 40)Parameter: Clear Group"},
        {"function 22",
         []
         {
             auto* f = Func(22);
             f->m_word1 = 2;
             return f;
         },
         Image::Of(4).W(20, 22).W(24, 5).W(28, 2).D(32, 2.5).D(40, 3.5).D(48, 4.5), 1},
        {"function 25",
         []
         {
             auto* f = Func(25);
             f->m_word1 = 9;
             return f;
         },
         Image::Of(4).W(20, 24).W(24, 5).W(28, 9), 1},
        {"function 26", [] { return Func(26); }, Image::Of(4).W(20, 25), 1,
         "Group 1 (2 BNo 40)TargetPosMonitoring"},
        {"function 27",
         []
         {
             auto* f = Func(27);
             f->m_word1 = 1;
             f->m_word2 = 6;
             return f;
         },
         Image::Of(4).W(20, 27).W(28, 1).W(32, 6).D(36, 2.5), 1},
        {"function 29",
         []
         {
             auto* f = Func(29);
             f->m_word1 = 11;
             return f;
         },
         Image::Of(4).W(20, 29).W(28, 11), 1},
        {"function 31", [] { return Func(31); }, Image::Of(21), 1},
        {"function 32", [] { return Func(32); }, Image::Of(4).W(20, 33), 1},
        {"modal code of G1", [] { return Func(0x1001); }, Image::Of(4), 1, "Group 1 (2 BNo 40)Func 0 0"},
        {"function 23", [] { return Func(23); }, Image::Of(4), 1},
        {"function 24", [] { return Func(24); }, Image::Of(4), 1},
        {"function 30 not asked for", [] { return Func(30); }, Image{}, 0},
    };
    Fed f;
    for (const Case& c : cases)
    {
        CEntry* entry = c.entry();
        ASSERT_TRUE(f.group->Cooked().Push(entry));
        std::array<std::uint8_t, 2 * KernelRecord::Size> record;
        record.fill(0xEE);
        bool two = false;
        bool end = false;
        int cls = -1;
        EXPECT_EQ(f.group->ConvertEntry(0, record.data(), two, end, cls), c.records) << c.name;
        if (c.records)
        {
            EXPECT_FALSE(two) << c.name;
            EXPECT_EQ(cls, 1) << c.name;
            EXPECT_EQ(HexOf(record.data(), KernelRecord::Size),
                      HexOf(c.image.bytes.data(), KernelRecord::Size))
                << c.name;
            if (c.text)
            {
                EXPECT_EQ(f.group->RecordText(record.data()), c.text) << c.name;
            }
        }
        CEntry* taken = nullptr;
        f.group->Cooked().Pop(taken);
        delete taken;
    }
    EXPECT_EQ(f.group->ResetState(), CGroup::ResetRunning);
}

TEST(MillpathFeed, RecordImagesThatDependOnTheGroup)
{
    Fed f;
    auto convert = [&](CEntry* entry, std::uint8_t* record, bool& two)
    {
        EXPECT_TRUE(f.group->Cooked().Push(entry));
        bool end = false;
        int cls = -1;
        const int made = f.group->ConvertEntry(0, record, two, end, cls);
        CEntry* taken = nullptr;
        f.group->Cooked().Pop(taken);
        delete taken;
        return made;
    };
    std::array<std::uint8_t, 2 * KernelRecord::Size> record{};
    bool two = false;
    // A signal that waits sets the ORX-wait flag; the next function 13 carries
    // it and clears it.
    auto* signal = Stamped(new CEntryORXsignal);
    signal->m_oneShot = 1;
    convert(signal, record.data(), two);
    for (std::uint32_t expected : {1u, 0u})
    {
        auto* f13 = Func(13);
        ASSERT_EQ(convert(f13, record.data(), two), 1);
        EXPECT_EQ(GetLe32(record.data() + 40), expected);
    }
    // An offset pair: the geometry record and the kind-23 record after it.
    f.Flag(CChannel::FlagOffsetRecord, 1);
    CEntryGeo_3D* line = Geo(0);
    line->m_korrEnd.m_vectors[0] = CVec3d(1, 2, 3);
    line->m_korrEnd.m_vectors[1] = CVec3d(0.5, 0, 0);
    line->m_zeroShift = CVec3d(10, 20, 30);
    ASSERT_EQ(convert(line, record.data(), two), 1);
    EXPECT_TRUE(two);
    Image pair = GeoImage(1, 0);
    Image offset = Image::Of(23).W(16, 0).V(20, 1.5, 2, 3).V(44, 0.5, 0, 0).V(68, 10, 20, 30);
    std::memcpy(pair.bytes.data() + KernelRecord::Size, offset.bytes.data(), KernelRecord::Size);
    EXPECT_EQ(HexOf(record.data(), record.size()), HexOf(pair.bytes.data(), pair.bytes.size()));
    EXPECT_EQ(f.group->RecordText(record.data() + KernelRecord::Size),
              "Group 1 (2 BNo 40)\n\t\tZeroShift: X=10.000000 Y=20.000000 Z=30.000000"
              "\n\t\tToolNoseComp: X=0.500000 Y=0.000000 Z=0.000000"
              "\n\t\tCartesian offset: X=1.000000 Y=2.000000 Z=3.000000");
    f.Flag(CChannel::FlagOffsetRecord, 0);
    // With the backup switch on, EntryIdx is left to the backup.
    f.Flag(CChannel::FlagBackup, 1);
    ASSERT_EQ(convert(MKind(MFunkKind::Set, {3}), record.data(), two), 1);
    EXPECT_EQ(GetLe32(record.data() + KernelRecord::EntryIdx), 0u);
    f.Flag(CChannel::FlagBackup, 0);
    // Measuring mode 5 makes no record and marks the group for reset.
    auto* mode = Stamped(new CEntryMeasMode);
    mode->m_mode = 5;
    EXPECT_EQ(convert(mode, record.data(), two), 0);
    EXPECT_EQ(f.group->ResetState(), CGroup::ResetPending);
    EXPECT_TRUE(WaitFor([&] { return Contains(f.EventLog(), "Group 1 (2 BNo 40) MeasMode 5 is invalid "); }));
}
