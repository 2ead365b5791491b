// Opcwatch's device-profile side on GktSim behind the real device manager: the time to import a
// generated description of 5,000 entries into the address space, and one polling pass over 1,000
// monitored items as a ratio to 1,000 bare Profilelink reads of the same entries in the same run.
// Each figure is the best of five rounds.
#include <device_manager_process.h>
#include <fake_serverconfig.h>
#include <profilelink.h>
#include <servermanager.h>
#include <uagktiomanager.h>
#include <uagktnodemanager.h>
#include <uagktnodes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kModules = 20;
constexpr int kFirstTable = 123;
constexpr int kSecondTable = 122;

// 20 modules of 250 entries: a header of 5, tables of 123 and 122.
std::string generatedDescription()
{
    std::string text;
    char line[512];
    for (int module = 1; module <= kModules; ++module)
    {
        const int base = 0x8000 + 16 * module;
        std::snprintf(line, sizeof line,
                      "object 0x%04X RECORD \"Module Header\"\n  0 UINT16 ro 4 \"Number of Entries\"\n"
                      "  1 UINT16 ro 20 \"Module Type\"\n  2 VSTRING ro \"General\" \"Type\"\n"
                      "  3 VSTRING ro \"Module %d\" \"Name\"\n  4 UINT32 ro 1 \"Module Revision\"\n",
                      base, module);
        text += line;
        for (int table = 1; table <= 2; ++table)
        {
            const int entries = table == 1 ? kFirstTable : kSecondTable;
            std::snprintf(line, sizeof line,
                          "object 0x%04X RECORD \"Table %d\"\n  0 UINT16 ro %d \"Count\"\n", base + table,
                          table, entries - 1);
            text += line;
            for (int subindex = 1; subindex < entries; ++subindex)
            {
                std::snprintf(line, sizeof line, "  %d UINT32 rw %d \"Value %d\"\n", subindex, subindex,
                              subindex);
                text += line;
            }
        }
    }
    return text;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class NoClient : public IOVariableCallback
{
public:
    void dataChange(UaDataValue&) override {}
    UaDataValue lastValue() const override { return UaDataValue(); }
};
} // namespace

int main()
{
    devmgr::testing::DeviceManagerProcess manager;
    manager.writeFile("GktSim.txt", generatedDescription());
    if (!manager.start())
    {
        std::fprintf(stderr, "the device manager did not start:\n%s", manager.log().c_str());
        return 1;
    }

    double importBest = 1e300;
    double passBest = 1e300;
    double bareBest = 1e300;
    std::size_t items = 0;
    for (int round = 0; round < 5; ++round)
    {
        uaserver::testing::FakeServerConfig config;
        ServerManager serverManager;
        serverManager.startUp(&config);
        CUaGktNodeManager nodeManager("GKT");
        const Clock::time_point importStart = Clock::now();
        nodeManager.startUp(&serverManager);
        importBest = std::min(importBest, millisecondsSince(importStart));

        // The first 1,000 entries of the first tables, monitored on a stopped watch.
        CUaGktWatch& watch = nodeManager.gktIoManager()->watch();
        watch.Stop();
        NoClient client;
        std::vector<std::pair<WORD, BYTE>> addresses;
        for (int module = 1; module <= kModules && addresses.size() < 1000; ++module)
            for (int subindex = 1; subindex <= 50; ++subindex)
            {
                char id[96];
                std::snprintf(id, sizeof id, "Modules|General|Module %d|0x8nn1|0x%02x", module, subindex);
                auto node = ReferenceHolder<UaNode>::adopt(
                    nodeManager.getNode(UaNodeId(id, nodeManager.getNameSpaceIndex())));
                auto* item = dynamic_cast<CUaGktItem*>(node.get());
                if (!item)
                    continue;
                OpcUa_Int32 interval = 100;
                OpcUa_UInt32 handle = 0;
                watch.AddItem(item, interval, &client, nullptr, nullptr, handle);
                addresses.emplace_back(item->index(), item->subindex());
            }
        items = addresses.size();
        const Clock::time_point passStart = Clock::now();
        watch.pollOnce();
        passBest = std::min(passBest, millisecondsSince(passStart));

        GKTOpen();
        const Clock::time_point bareStart = Clock::now();
        for (const auto& [index, subindex] : addresses)
        {
            BYTE value[5] = {};
            DWORD read = 0;
            GKTSyncRead(index, subindex, 0, 4, value, &read);
        }
        bareBest = std::min(bareBest, millisecondsSince(bareStart));
        GKTClose();
        nodeManager.shutDown();
    }
    std::printf("import of 5,000 entries: %.1f ms (%.1f us per entry)\n", importBest,
                importBest * 1000 / 5000);
    std::printf(
        "one pass over %zu monitored items: %.2f ms; %zu bare Profilelink reads: %.2f ms; ratio %.2f\n",
        items, passBest, items, bareBest, passBest / bareBest);
    return 0;
}
