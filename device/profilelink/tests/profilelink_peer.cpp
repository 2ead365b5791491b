// A second process for the tests: opens Profilelink, checks the marker value
// the test process wrote, then writes and reads back its own counter while
// the test process works on another one. Exit code 0 when all went well.
//   profilelink_peer <index> <subindex> <rounds> <base> <marker index> <marker subindex> <marker value>
#include <profilelink.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 8)
    {
        std::fprintf(stderr, "usage: %s index subindex rounds base markerIndex markerSubindex markerValue\n",
                     argv[0]);
        return 2;
    }
    const auto number = [&](int i) { return static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 0)); };
    const WORD index = static_cast<WORD>(number(1));
    const BYTE subindex = static_cast<BYTE>(number(2));
    const uint32_t rounds = number(3), base = number(4);
    const WORD markerIndex = static_cast<WORD>(number(5));
    const BYTE markerSubindex = static_cast<BYTE>(number(6));
    const uint32_t markerValue = number(7);

    if (const LONG result = GKTOpen(); result != 0)
    {
        std::fprintf(stderr, "GKTOpen: 0x%08x\n", static_cast<unsigned>(result));
        return 3;
    }
    uint32_t marker = 0;
    if (GKTSyncRead(markerIndex, markerSubindex, 0, 4, &marker, nullptr) != 0 || marker != markerValue)
    {
        std::fprintf(stderr, "marker: %u, expected %u\n", marker, markerValue);
        return 4;
    }
    for (uint32_t i = 0; i < rounds; ++i)
    {
        const uint32_t value = base + i;
        uint32_t back = 0;
        if (GKTSyncWrite(index, subindex, 0, 4, &value) != 0 ||
            GKTSyncRead(index, subindex, 0, 4, &back, nullptr) != 0 || back != value)
        {
            std::fprintf(stderr, "round %u: read %u\n", i, back);
            return 5;
        }
    }
    return GKTClose() == 0 ? 0 : 6;
}
