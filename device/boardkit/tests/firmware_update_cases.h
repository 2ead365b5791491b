// The firmware update cases with their hex fixtures, run against a boot
// loader reached in the process (through the recording stand-in) or on the
// simulated board (through the driver): a BootLoaderBench says which.
#pragma once

#include <boardkit.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace boardkit::testing
{

// What a case does to the boot loader before the update.
struct BusSetup
{
    enum Kind
    {
        none,
        shortenAnswers, // command, length, times, skip
        lockMode,
        refuseRecord, // status
    };
    Kind kind = none;
    uint8_t command = 0;
    uint32_t length = 0;
    uint32_t times = 0;
    uint32_t skip = 0;
    uint8_t status = 0;
};

// The boot loader at segment 0, address 0x50, named "PSU-LOADER", version
// 1.4.2, in mode 0 at the start of each case.
class BootLoaderBench
{
public:
    virtual ~BootLoaderBench() = default;
    virtual void reset() = 0;
    virtual void apply(const BusSetup& setup) = 0;
    virtual std::vector<std::vector<uint8_t>> records() = 0;
    virtual uint8_t mode() = 0;
};

constexpr BYTE kLoaderSegment = 0;
constexpr BYTE kLoaderAddress = 0x50;

// The progress reports of one update.
struct Progress
{
    std::vector<DWORD> codes;
    std::vector<DWORD> values;
    size_t stopAtReport = 0; // 1-based; 0 never stops

    static BOOL collect(DWORD code, LPCVOID value, DWORD size, PVOID context);
};

// The host path of a fixture beside the test program, as wide text.
std::u16string fixturePath(const std::string& name);
// The bytes of the fixture's records that go to the boot loader (all but the checks).
std::vector<std::vector<uint8_t>> recordsToSend(const std::string& name);
size_t fixtureSize(const std::string& name);

// Runs the table of update cases against the bench.
void runUpdateCases(BootLoaderBench& bench);

} // namespace boardkit::testing
