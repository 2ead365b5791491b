// The kernel services reach only the attached board, with the arguments the
// driver gave, and answer as an empty bus when no board is attached.
#include <ddk/board.h>
#include <ddk/ddk.h>
#include <ddk/firmware.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>
#include <vector>

namespace
{

class RecordingBoard : public ddk::Board
{
public:
    bool readMsr(DWORD index, uint64_t& value) override
    {
        const auto it = msrs.find(index);
        if (it == msrs.end())
            return false;
        value = it->second;
        return true;
    }

    ULONG readBusData(ULONG busType, ULONG bus, ULONG slot, void* buffer, ULONG offset, ULONG length) override
    {
        busReads.emplace_back(busType, bus, slot, offset, length);
        std::memset(buffer, 0x5A, length);
        return busAnswer;
    }

    ULONG readPort(WORD port, unsigned width) override
    {
        portReads.emplace_back(port, width);
        return 0x12345678;
    }

    void writePort(WORD port, unsigned width, ULONG value) override
    {
        portWrites.emplace_back(port, width, value);
    }

    void cpuid(DWORD leaf, DWORD registers[4]) override
    {
        registers[0] = leaf;
        registers[3] = 0xD;
    }

    bool callFirmware(uint32_t routine, const ddk::FirmwareCall& call, DWORD& status) override
    {
        calledRoutine = routine;
        lastCall = call;
        status = 1800;
        return !raiseException;
    }

    std::map<DWORD, uint64_t> msrs{{0x1A2, 0x1122334455667788ull}};
    ULONG busAnswer = 4;
    std::vector<std::tuple<ULONG, ULONG, ULONG, ULONG, ULONG>> busReads;
    std::vector<std::pair<WORD, unsigned>> portReads;
    std::vector<std::tuple<WORD, unsigned, ULONG>> portWrites;
    uint32_t calledRoutine = 0;
    ddk::FirmwareCall lastCall{};
    bool raiseException = false;
};

struct AttachedBoard
{
    AttachedBoard() { ddk::attachBoard(&board); }
    ~AttachedBoard() { ddk::detachBoard(&board); }
    RecordingBoard board;
};

FirmwareEntryMarker markerFor(uint32_t routine)
{
    FirmwareEntryMarker marker{};
    std::memcpy(marker.magic, kFirmwareEntryMagic, sizeof marker.magic);
    marker.routine = routine;
    marker.check = ~routine;
    return marker;
}

TEST(DriverKit, ModelSpecificRegistersThroughTheKernelIoControl)
{
    AttachedBoard attached;
    struct Case
    {
        const char* what;
        DWORD code;
        DWORD index;
        DWORD inSize;
        DWORD outSize;
        BOOL ok;
        DWORD error;
        DWORD returned;
    };
    const Case cases[] = {
        {"known register", IOCTL_KERNEL_READ_MSR, 0x1A2, 4, 8, TRUE, 0, 8},
        {"larger output", IOCTL_KERNEL_READ_MSR, 0x1A2, 4, 16, TRUE, 0, 8},
        {"unknown register", IOCTL_KERNEL_READ_MSR, 0x10, 4, 8, FALSE, ERROR_GEN_FAILURE, 0},
        {"short input", IOCTL_KERNEL_READ_MSR, 0x1A2, 3, 8, FALSE, ERROR_INVALID_PARAMETER, 0},
        {"short output", IOCTL_KERNEL_READ_MSR, 0x1A2, 4, 7, FALSE, ERROR_INVALID_PARAMETER, 0},
        {"other code", 0x01012034, 0x1A2, 4, 8, FALSE, ERROR_NOT_SUPPORTED, 0},
    };
    for (const Case& c : cases)
    {
        uint8_t output[16] = {};
        DWORD returned = 99;
        SetLastError(0);
        DWORD index = c.index;
        EXPECT_EQ(KernelIoControl(c.code, &index, c.inSize, output, c.outSize, &returned), c.ok) << c.what;
        EXPECT_EQ(returned, c.returned) << c.what;
        if (c.ok)
        {
            uint64_t value = 0;
            std::memcpy(&value, output, 8);
            EXPECT_EQ(value, 0x1122334455667788ull) << c.what;
        }
        else
            EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
}

TEST(DriverKit, PortsAreSixteenBitsWideForEveryWidth)
{
    AttachedBoard attached;
    EXPECT_EQ(READ_PORT_UCHAR(PortAddress<UCHAR>(0x3F8)), 0x78);
    EXPECT_EQ(READ_PORT_USHORT(PortAddress<USHORT>(0xCFC)), 0x5678);
    EXPECT_EQ(READ_PORT_ULONG(PortAddress<ULONG>(0xFFFF)), 0x12345678u);
    // Above 0xFFFF there is no port: nothing reaches the board.
    EXPECT_EQ(READ_PORT_UCHAR(PortAddress<UCHAR>(0x10000)), 0xFF);
    EXPECT_EQ(READ_PORT_ULONG(PortAddress<ULONG>(0x103F8)), 0xFFFFFFFFu);
    EXPECT_EQ(attached.board.portReads,
              (std::vector<std::pair<WORD, unsigned>>{{0x3F8, 1}, {0xCFC, 2}, {0xFFFF, 4}}));

    WRITE_PORT_UCHAR(PortAddress<UCHAR>(0x3F8), 0x41);
    WRITE_PORT_USHORT(PortAddress<USHORT>(0x80), 0xBEEF);
    WRITE_PORT_ULONG(PortAddress<ULONG>(0xCF8), 0x80000000u);
    WRITE_PORT_UCHAR(PortAddress<UCHAR>(0x100F8), 0x42);
    EXPECT_EQ(attached.board.portWrites, (std::vector<std::tuple<WORD, unsigned, ULONG>>{
                                             {0x3F8, 1, 0x41}, {0x80, 2, 0xBEEF}, {0xCF8, 4, 0x80000000u}}));
}

TEST(DriverKit, BusDataAndProcessorIdentification)
{
    AttachedBoard attached;
    uint8_t buffer[8] = {};
    EXPECT_EQ(HalGetBusDataByOffset(PCIConfiguration, 2, PciSlotNumber(31, 3), buffer, 0x10, 8), 4u);
    EXPECT_EQ(attached.board.busReads.size(), 1u);
    EXPECT_EQ(attached.board.busReads[0], std::make_tuple(4ul, 2ul, ULONG(31 | 3 << 5), 0x10ul, 8ul));
    // A board answering more than was asked for is held to the length.
    attached.board.busAnswer = 100;
    EXPECT_EQ(HalGetBusDataByOffset(PCIConfiguration, 0, 0, buffer, 0, 8), 8u);
    EXPECT_EQ(HalGetBusDataByOffset(PCIConfiguration, 0, 0, nullptr, 0, 8), 0u);
    EXPECT_EQ(HalGetBusDataByOffset(PCIConfiguration, 0, 0, buffer, 0, 0), 0u);
    EXPECT_EQ(attached.board.busReads.size(), 2u);

    DWORD registers[4] = {9, 9, 9, 9};
    Cpuid(0x80000002, registers);
    EXPECT_EQ(registers[0], 0x80000002u);
    EXPECT_EQ(registers[1], 0u);
    EXPECT_EQ(registers[3], 0xDu);
}

TEST(DriverKit, FirmwareEntryRunsTheRoutineItsMarkerNames)
{
    AttachedBoard attached;
    std::vector<uint8_t> copy(64, 0xCC);
    const FirmwareEntryMarker marker = markerFor(7);
    std::memcpy(copy.data() + 16, &marker, sizeof marker);
    uint8_t in[2] = {1, 2}, out[4] = {};
    DWORD returned = 0, status = 0;
    FIRMWARE_EXCEPTION exception{};
    ASSERT_TRUE(
        CallFirmwareEntry(copy.data() + 16, 0x2000, 3, in, 2, out, 4, &returned, &status, &exception));
    EXPECT_EQ(status, 1800u);
    EXPECT_EQ(attached.board.calledRoutine, 7u);
    EXPECT_EQ(attached.board.lastCall.group, 0x2000u);
    EXPECT_EQ(attached.board.lastCall.offset, 3u);
    EXPECT_EQ(attached.board.lastCall.input, in);
    EXPECT_EQ(attached.board.lastCall.inputSize, 2u);
    EXPECT_EQ(attached.board.lastCall.output, out);
    EXPECT_EQ(attached.board.lastCall.outputSize, 4u);
    EXPECT_EQ(attached.board.lastCall.returned, &returned);

    struct Case
    {
        const char* what;
        size_t at;
        bool boardRaises;
        DWORD code;
    };
    FirmwareEntryMarker broken = markerFor(7);
    broken.check = 7;
    std::memcpy(copy.data() + 40, &broken, sizeof broken);
    const Case cases[] = {
        {"no marker at the address", 0, false, EXCEPTION_ILLEGAL_INSTRUCTION},
        {"a marker whose check does not match", 40, false, EXCEPTION_ILLEGAL_INSTRUCTION},
        {"the routine raises", 16, true, EXCEPTION_ACCESS_VIOLATION},
    };
    for (const Case& c : cases)
    {
        attached.board.raiseException = c.boardRaises;
        status = 1234;
        EXPECT_FALSE(CallFirmwareEntry(copy.data() + c.at, 0, 0x42, nullptr, 0, nullptr, 0, &returned,
                                       &status, &exception))
            << c.what;
        EXPECT_EQ(status, 1234u) << c.what;
        EXPECT_EQ(exception.code, c.code) << c.what;
        EXPECT_EQ(exception.address, copy.data() + c.at) << c.what;
        ASSERT_NE(exception.exceptionRecord, nullptr);
        ASSERT_NE(exception.contextRecord, nullptr);
        EXPECT_EQ(exception.exceptionRecord->code, c.code) << c.what;
        EXPECT_EQ(exception.contextRecord->offset, 0x42u) << c.what;
    }
}

TEST(DriverKit, WithoutABoardNothingAnswers)
{
    {
        AttachedBoard attached; // attached and detached again
    }
    DWORD index = 0x1A2, returned = 5;
    uint8_t output[8] = {};
    EXPECT_FALSE(KernelIoControl(IOCTL_KERNEL_READ_MSR, &index, 4, output, 8, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(HalGetBusDataByOffset(PCIConfiguration, 0, 0, output, 0, 8), 0u);
    EXPECT_EQ(READ_PORT_USHORT(PortAddress<USHORT>(0x80)), 0xFFFF);
    DWORD registers[4] = {1, 2, 3, 4};
    Cpuid(1, registers);
    EXPECT_EQ(registers[0] | registers[1] | registers[2] | registers[3], 0u);
    const FirmwareEntryMarker marker = markerFor(1);
    DWORD status = 0;
    FIRMWARE_EXCEPTION exception{};
    EXPECT_FALSE(CallFirmwareEntry(const_cast<FirmwareEntryMarker*>(&marker), 0, 0, nullptr, 0, nullptr, 0,
                                   &returned, &status, &exception));
    EXPECT_EQ(exception.code, EXCEPTION_ILLEGAL_INSTRUCTION);

    // Detaching a board that is not the attached one leaves the attached one.
    RecordingBoard first, second;
    ddk::attachBoard(&first);
    ddk::detachBoard(&second);
    EXPECT_EQ(READ_PORT_UCHAR(PortAddress<UCHAR>(0x60)), 0x78);
    ddk::detachBoard(&first);
}

} // namespace
