// Profilelink through the real device manager and the simulated driver.
#include "gkt_test_support.h"

#include <array>
#include <cstring>
#include <future>

namespace
{

using gktsim::FaultKind;
using gkttest::DeviceTest;

class Profilelink : public DeviceTest
{
};

uint32_t readU32(WORD index, BYTE subindex, LONG* result = nullptr)
{
    uint32_t value = 0;
    DWORD bytesRead = 0;
    const LONG code = GKTSyncRead(index, subindex, 0, 4, &value, &bytesRead);
    if (result)
        *result = code;
    else
        EXPECT_EQ(code, 0);
    return value;
}

TEST_F(Profilelink, ArgumentErrorsMakeNoIoCall)
{
    ASSERT_EQ(GKTOpen(), 0);
    uint8_t buffer[64] = {};
    DWORD size = 0;
    const uint32_t callsBefore = stats().ioCalls;
    DWORD bytesRead = 99;
    EXPECT_EQ(GKTSyncReadWrite(0x2000, 1, 0, 0, nullptr, 0, nullptr, &bytesRead), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(bytesRead, 0u);
    EXPECT_EQ(GKTSyncReadWrite(0x2000, 1, 0, 4, nullptr, 0, nullptr, nullptr), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncReadWrite(0x2000, 1, 0, 0, nullptr, 4, nullptr, nullptr), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 0, buffer, nullptr), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncWrite(0x2000, 1, 0, 0, buffer), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncGetODList(0, nullptr, buffer), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncGetODList(0, &size, buffer), GKT_E_INVALID_ARGUMENT);
    size = 10;
    EXPECT_EQ(GKTSyncGetODList(0, &size, nullptr), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(GKTSyncGetEntryDescription(0x2000, 1, 0, nullptr), GKT_E_INVALID_ARGUMENT);
    const uint32_t tooSmall = 35;
    std::memcpy(buffer, &tooSmall, 4);
    EXPECT_EQ(GKTSyncGetEntryDescription(0x2000, 1, 0, buffer), GKT_E_INVALID_ARGUMENT);
    EXPECT_EQ(stats().ioCalls, callsBefore);

    // A null bytes-read pointer is allowed.
    uint32_t value = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), 0);
    EXPECT_EQ(value, 7u);
}

TEST_F(Profilelink, SharedHandleIsCountedPerOpenAndRequestsNeedIt)
{
    uint32_t value = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), GKT_E_NOT_OPEN);
    EXPECT_EQ(stats().openContexts, 1u); // the control handle only: a request does not open

    ASSERT_EQ(GKTOpen(), 0);
    ASSERT_EQ(GKTOpen(), 0);
    EXPECT_EQ(stats().openContexts, 2u); // one handle for both opens
    EXPECT_EQ(GKTClose(), 0);
    EXPECT_EQ(readU32(0x2000, 1), 7u);
    EXPECT_EQ(GKTClose(), 0);
    EXPECT_EQ(stats().openContexts, 1u);
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), GKT_E_NOT_OPEN);
    uint8_t buffer[64] = {36};
    DWORD size = 10;
    EXPECT_EQ(GKTSyncGetODList(0, &size, buffer), GKT_E_NOT_OPEN);
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2000, 0, nullptr, nullptr, nullptr, nullptr, nullptr),
              GKT_E_NOT_OPEN);
    // The device is checked before the answer buffer is sized: no capacity changes the code.
    char name[8];
    DWORD hugeCapacity = 0xFFFFFFFF;
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2000, 0, nullptr, nullptr, nullptr, name, &hugeCapacity),
              GKT_E_NOT_OPEN);
    EXPECT_EQ(GKTSyncGetEntryDescription(0x2000, 1, 0, buffer), GKT_E_NOT_OPEN);
    EXPECT_EQ(GKTClose(), GKT_E_DEVICE_NOT_OPEN_ON_CLOSE);
    EXPECT_EQ(stats().openContexts, 1u);
}

TEST_F(Profilelink, ConcurrentCloseWhileCallInProgressKeepsHandleUntilCallEnds)
{
    ASSERT_EQ(GKTOpen(), 0);
    setFault(FaultKind::hold, 0);
    auto call = std::async(std::launch::async,
                           []
                           {
                               uint32_t value = 0;
                               DWORD bytesRead = 0;
                               const LONG result = GKTSyncRead(0x2000, 2, 0, 4, &value, &bytesRead);
                               return std::make_tuple(result, value, bytesRead);
                           });
    ASSERT_TRUE(waitForHeld(1));
    EXPECT_EQ(GKTClose(), 0);
    // The call in progress still holds a user: the handle stays open.
    EXPECT_EQ(stats().openContexts, 2u);
    uint32_t value = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), 0);

    releaseHeld();
    const auto [result, read, bytesRead] = call.get();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read, 8u);
    EXPECT_EQ(bytesRead, 4u);
    EXPECT_EQ(stats().openContexts, 1u);
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), GKT_E_NOT_OPEN);
}

TEST_F(Profilelink, CombinedWriteAndReadReportsTheWriteStatusFromTheInputBlock)
{
    ASSERT_EQ(GKTOpen(), 0);
    const uint32_t newValue = 0x11223344;
    uint32_t read = 0;
    DWORD bytesRead = 0;
    EXPECT_EQ(GKTSyncReadWrite(0x2000, 1, 0, 4, &newValue, 4, &read, &bytesRead), 0);
    EXPECT_EQ(read, newValue); // the write goes first
    EXPECT_EQ(bytesRead, 4u);

    // A refused write (read-only entry) fails the call; the read part still delivers.
    const int16_t attempt = 5;
    int16_t fixed = 0;
    EXPECT_EQ(GKTSyncReadWrite(0x2000, 3, 0, 2, &attempt, 2, &fixed, &bytesRead),
              static_cast<LONG>(0xECA60101));
    EXPECT_EQ(fixed, -1234);
    EXPECT_EQ(bytesRead, 2u);

    // Write-only calls get their status from the write block alone.
    EXPECT_EQ(GKTSyncWrite(0x2000, 3, 0, 2, &attempt), static_cast<LONG>(0xECA60101));
    EXPECT_EQ(GKTSyncWrite(0x2000, 1, 0, 2, &attempt), static_cast<LONG>(0xECA60106)); // wrong length
    EXPECT_EQ(GKTSyncWrite(0x2000, 9, 0, 4, &newValue), static_cast<LONG>(0xECA60100));
    EXPECT_EQ(GKTSyncWrite(0x2000, 5, 0, 4, &newValue), 0);
    uint32_t command = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 5, 0, 4, &command, nullptr), static_cast<LONG>(0xECA60101));
    // A read buffer too small for the value is the driver's refusal.
    uint16_t half = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 2, &half, nullptr), static_cast<LONG>(0xECA60102));
}

TEST_F(Profilelink, ShortOrInconsistentAnswersAreRefusedWithoutCopying)
{
    ASSERT_EQ(GKTOpen(), 0);
    struct Case
    {
        FaultKind kind;
        uint32_t value;
        DWORD expectedBytesRead;
    } cases[] = {
        {FaultKind::shortAnswer, 0, 0},        // nothing came back
        {FaultKind::shortAnswer, 1, 0},        // under 2 bytes
        {FaultKind::shortAnswer, 6, 0},        // part of a header
        {FaultKind::shortAnswer, 13, 0},       // one byte short of the header
        {FaultKind::shortAnswer, 16, 4},       // header fine, but 2 of its 4 data bytes missing
        {FaultKind::oversizeLength, 100, 104}, // length beyond the caller's buffer
    };
    for (const auto& c : cases)
    {
        setFault(c.kind, c.value);
        uint32_t value = 0xA5A5A5A5;
        DWORD bytesRead = 77;
        EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, &bytesRead), GKT_E_BAD_RESPONSE) << c.value;
        EXPECT_EQ(value, 0xA5A5A5A5u) << c.value;
        EXPECT_EQ(bytesRead, c.expectedBytesRead) << c.value;
    }
    // The fault was one-shot: the next read is whole again.
    EXPECT_EQ(readU32(0x2000, 1), 7u);
}

TEST_F(Profilelink, FailedOpenReportsThePlatformError)
{
    setFault(FaultKind::refuseOpen, 55, 0);
    EXPECT_EQ(GKTOpen(), static_cast<LONG>(0xECA70037));
    uint32_t value = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), GKT_E_NOT_OPEN);
    EXPECT_EQ(GKTOpen(), 0);
    EXPECT_EQ(readU32(0x2000, 1), 7u);
}

TEST(ProfilelinkWithoutManager, OpenFailsLikeAMissingDriver)
{
    devmgr::testing::DeviceManagerProcess root; // fresh device root, manager not started
    EXPECT_EQ(GKTOpen(), static_cast<LONG>(0xECA70000 | ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GKTClose(), GKT_E_DEVICE_NOT_OPEN_ON_CLOSE);
}

TEST_F(Profilelink, PlatformErrorOfTheIoCallIsPassedThroughUnchanged)
{
    ASSERT_EQ(GKTOpen(), 0);
    constexpr uint32_t kIoDeviceError = 1117;
    setFault(FaultKind::failIo, kIoDeviceError);
    uint32_t value = 0;
    EXPECT_EQ(GKTSyncRead(0x2000, 1, 0, 4, &value, nullptr), static_cast<LONG>(kIoDeviceError));

    setFault(FaultKind::failIo, kIoDeviceError, gktsim::kIoctlObjectList);
    uint8_t list[10];
    DWORD size = sizeof list;
    EXPECT_EQ(GKTSyncGetODList(0, &size, list), static_cast<LONG>(kIoDeviceError));

    setFault(FaultKind::failIo, kIoDeviceError, gktsim::kIoctlObjectDescription);
    BYTE count = 0;
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2000, 0, nullptr, nullptr, &count, nullptr, nullptr),
              static_cast<LONG>(kIoDeviceError));

    setFault(FaultKind::failIo, kIoDeviceError, gktsim::kIoctlEntryDescription);
    std::array<uint8_t, 1024> description{};
    const uint32_t descriptionSize = description.size();
    std::memcpy(description.data(), &descriptionSize, 4);
    EXPECT_EQ(GKTSyncGetEntryDescription(0x2000, 1, 0, description.data()),
              static_cast<LONG>(kIoDeviceError));
}

TEST_F(Profilelink, RequestHeaderCarriesFlagsAtByte12AndSubindexAt13)
{
    ASSERT_EQ(GKTOpen(), 0);
    const uint32_t data = 0xCAFEBABE;
    ASSERT_EQ(GKTSyncWrite(0x2000, 2, 0x5A, 4, &data), 0);
    const gktsim::DriverStats seen = stats();
    EXPECT_EQ(seen.lastCode, gktsim::kIoctlReadWrite);
    EXPECT_EQ(seen.lastInSize, 18u);
    EXPECT_EQ(seen.lastOutSize, 0u);
    const uint8_t expected[18] = {0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0x00, 0x20, 0x5A, 2, 0xBE, 0xBA, 0xFE, 0xCA};
    EXPECT_EQ(std::memcmp(seen.lastIn, expected, sizeof expected), 0);
    EXPECT_EQ(readU32(0x2000, 2), data);
}

TEST_F(Profilelink, ObjectListAndDescriptions)
{
    ASSERT_EQ(GKTOpen(), 0);
    uint8_t lengths[10] = {};
    DWORD size = sizeof lengths;
    ASSERT_EQ(GKTSyncGetODList(0, &size, lengths), 0);
    const uint16_t count = lengths[0] | lengths[1] << 8;
    EXPECT_EQ(count, 3);
    std::vector<uint16_t> indices(count);
    size = 2 * count;
    ASSERT_EQ(GKTSyncGetODList(1, &size, indices.data()), 0);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(indices, (std::vector<uint16_t>{0x1000, 0x2000, 0x2010}));

    BYTE code = 0, entries = 0;
    WORD untouched = 0xBEEF;
    char name[64] = {};
    DWORD nameLength = sizeof name;
    ASSERT_EQ(GKTSyncGetObjectDescription(0x2000, 0, &code, &untouched, &entries, name, &nameLength), 0);
    EXPECT_EQ(code, 9);
    EXPECT_EQ(untouched, 0xBEEF);
    EXPECT_EQ(entries, 6);
    EXPECT_EQ(std::string(name, nameLength), "Test Values");

    // Too small for the name: refused, with the length it needs.
    char small[4] = {'x', 'x', 'x', 'x'};
    nameLength = sizeof small;
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2000, 0, &code, nullptr, &entries, small, &nameLength),
              GKT_E_NAME_TOO_LONG);
    EXPECT_EQ(nameLength, 11u);
    EXPECT_EQ(small[0], 'x');
    // Without name pointers the code and count still arrive.
    code = entries = 0;
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2010, 0, &code, nullptr, &entries, nullptr, nullptr), 0);
    EXPECT_EQ(code, 8);
    EXPECT_EQ(entries, 3);
    EXPECT_NE(GKTSyncGetObjectDescription(0x3000, 0, &code, nullptr, &entries, nullptr, nullptr), 0);
    // A name capacity that no answer buffer can hold: refused without an I/O call,
    // and the request's temporary user is given back (the close below closes).
    const uint32_t callsBefore = stats().ioCalls;
    nameLength = 0xFFFFFFFF;
    EXPECT_EQ(GKTSyncGetObjectDescription(0x2000, 0, &code, nullptr, &entries, name, &nameLength),
              GKT_E_OUT_OF_MEMORY);
    EXPECT_EQ(stats().ioCalls, callsBefore);
    EXPECT_EQ(GKTClose(), 0);
    EXPECT_EQ(stats().openContexts, 1u);
    ASSERT_EQ(GKTOpen(), 0);

    std::array<uint8_t, 1024> description{};
    const uint32_t descriptionSize = description.size();
    std::memcpy(description.data(), &descriptionSize, 4);
    ASSERT_EQ(GKTSyncGetEntryDescription(0x2000, 4, 0, description.data()), 0);
    uint16_t type = 0, bits = 0;
    uint32_t nameOffset = 0;
    std::memcpy(&type, &description[6], 2);
    std::memcpy(&bits, &description[8], 2);
    std::memcpy(&nameOffset, &description[28], 4);
    EXPECT_EQ(type, 9);
    EXPECT_EQ(bits / 8, 512);
    ASSERT_LT(nameOffset, description.size());
    EXPECT_STREQ(reinterpret_cast<const char*>(&description[nameOffset]), "Port");
}

TEST_F(Profilelink, ConcurrentThreadsShareTheHandle)
{
    ASSERT_EQ(GKTOpen(), 0);
    constexpr int kThreads = 4;
    constexpr uint32_t kRounds = 150;
    std::vector<std::future<int>> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.push_back(std::async(std::launch::async,
                                     [t]
                                     {
                                         int failures = 0;
                                         // Threads 0 and 1 own the two counters; the others read the fixed
                                         // entry.
                                         for (uint32_t i = 0; i < kRounds; ++i)
                                         {
                                             if (t < 2)
                                             {
                                                 const uint32_t value = (t + 1) * 100000 + i;
                                                 uint32_t back = 0;
                                                 failures += GKTSyncReadWrite(0x2010, BYTE(t + 1), 0, 4,
                                                                              &value, 4, &back, nullptr) != 0;
                                                 failures += back != value;
                                             }
                                             else
                                             {
                                                 int16_t fixed = 0;
                                                 failures +=
                                                     GKTSyncRead(0x2000, 3, 0, 2, &fixed, nullptr) != 0;
                                                 failures += fixed != -1234;
                                             }
                                         }
                                         return failures;
                                     }));
    for (auto& worker : workers)
        EXPECT_EQ(worker.get(), 0);
    EXPECT_EQ(readU32(0x2010, 1), 100000 + kRounds - 1);
    EXPECT_EQ(readU32(0x2010, 2), 200000 + kRounds - 1);
}

} // namespace
