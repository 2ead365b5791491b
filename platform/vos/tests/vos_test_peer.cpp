// A Vos device in a process of its own, for the tests: serves a 1 KiB memory
// area and a few groups with fixed behaviour. Prints "ready <port>" once its
// port is open and ends when its standard input closes.
//
//   group 0x1000: the memory area, offset = byte position (read, write, read-write:
//                 write at offset, then read from offset)
//   group 0x2000: never answered
//   group 0x2001: answered after 1500 ms, with bytes 0xEE
//   group 0x3000: answered with error 0x70B
//   group 0x4000: a read answered with 4 bytes more than asked
//   group 0x5000: a write sends its data as text to the report log (type 148)
//   group 0x6000: a read or read-write answered with result 0x423F and bytes 0x5A
#include "vos/vosw32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace
{

class Peer : public CVosW32
{
public:
    Peer(const char* name) : CVosW32(0, FALSE, name, 0), m_area(1024, 0) { SetDeviceName("TestPeer"); }
    ~Peer() override { OrxDisconnect(); }

    void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG invokeId) override
    {
        VosReadDeviceInfoRes(addr, invokeId, 0, "TestPeer", VosVersion{1, 2, 345});
    }

    void VosReadInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length) override
    {
        std::vector<BYTE> out;
        ULONG result = Area(group, offset, length, nullptr, 0, out);
        if (result == ~0u)
            return;
        VosReadRes(addr, invokeId, result, static_cast<ULONG>(out.size()), out.data());
    }

    void VosWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG length,
                     const void* data) override
    {
        if (group == 0x5000)
        {
            std::string text(static_cast<const char*>(data), length);
            VosReportLog(148, "%s", text.c_str());
            VosWriteRes(addr, invokeId, 0);
            return;
        }
        std::vector<BYTE> out;
        ULONG result = Area(group, offset, 0, data, length, out);
        if (result == ~0u)
            return;
        VosWriteRes(addr, invokeId, result);
    }

    void VosReadWriteInd(const OrxAddr* addr, ULONG invokeId, ULONG group, ULONG offset, ULONG readLength,
                         ULONG writeLength, const void* data) override
    {
        std::vector<BYTE> out;
        ULONG result = Area(group, offset, readLength, data, writeLength, out);
        if (result == ~0u)
            return;
        VosReadWriteRes(addr, invokeId, result, static_cast<ULONG>(out.size()), out.data());
    }

private:
    // ~0u: no answer at all.
    ULONG Area(ULONG group, ULONG offset, ULONG readLength, const void* data, ULONG writeLength,
               std::vector<BYTE>& out)
    {
        switch (group)
        {
        case 0x1000:
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (offset > m_area.size() || writeLength > m_area.size() - offset ||
                readLength > m_area.size() - offset)
                return VOSERR_INVALID_SIZE;
            if (writeLength)
                std::memcpy(m_area.data() + offset, data, writeLength);
            out.assign(m_area.begin() + offset, m_area.begin() + offset + readLength);
            return 0;
        }
        case 0x2000:
            return ~0u;
        case 0x2001:
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            out.assign(readLength, 0xEE);
            return 0;
        case 0x3000:
            return VOSERR_INVALID_VALUE;
        case 0x4000:
            out.assign(readLength + 4, 0x11);
            return 0;
        case 0x6000:
            out.assign(readLength, 0x5A);
            return 0x423F;
        default:
            return VOSERR_INVALID_GROUP;
        }
    }

    std::mutex m_lock;
    std::vector<BYTE> m_area;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: vos_test_peer PORT [NAME]\n");
        return 2;
    }
    Peer peer(argc > 2 ? argv[2] : nullptr);
    if (!peer.OrxConnect(static_cast<USHORT>(std::atoi(argv[1])), 4096, 80))
    {
        std::printf("failed 0x%X\n", peer.OrxGetLastError());
        return 1;
    }
    std::printf("ready %u\n", peer.OrxGetPort());
    std::fflush(stdout);
    char buf[256];
    while (::read(0, buf, sizeof buf) > 0)
    {
    }
    peer.OrxDisconnect();
    return 0;
}
