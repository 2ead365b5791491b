// The firmware update against the board's boot loader model, reached in the
// process through the recording stand-in of QbWmDevApi.
#include "fake_api_test.h"
#include "firmware_update_cases.h"

#include <family_status.h>
#include <smbus_family.h>

#include <os/text.h>

namespace boardkit::testing
{
namespace
{

using boardsim::families::SmbusFamily;

// The stand-in answers the SMBus group as the firmware would, with the driver's firmware bit on failures.
class InProcessBench : public BootLoaderBench
{
public:
    InProcessBench() { reset(); }

    void reset() override
    {
        wmfake::reset();
        m_bus = std::make_unique<SmbusFamily>();
        for (DWORD offset : {boardsim::families::kSmbusRead, boardsim::families::kSmbusWrite,
                             boardsim::families::kSmbusAddressByName})
            wmfake::respond(boardsim::families::kSmbusGroup, offset,
                            [this, offset](const wmfake::Call& call) { return answer(offset, call); });
    }

    void apply(const BusSetup& setup) override
    {
        switch (setup.kind)
        {
        case BusSetup::none:
            break;
        case BusSetup::shortenAnswers:
            m_bus->shortenAnswers(setup.command, setup.length, setup.times, setup.skip);
            break;
        case BusSetup::lockMode:
            m_bus->lockMode(true);
            break;
        case BusSetup::refuseRecord:
            m_bus->failNextRecord(setup.status);
            break;
        }
    }

    std::vector<std::vector<uint8_t>> records() override { return m_bus->records(); }
    uint8_t mode() override { return m_bus->mode(); }

private:
    wmfake::Answer answer(DWORD offset, const wmfake::Call& call)
    {
        wmfake::Answer answer;
        answer.data.assign(call.outputSize, 0);
        uint32_t count = 0;
        const auto size = static_cast<uint32_t>(call.input.size());
        uint32_t status = 0;
        if (offset == boardsim::families::kSmbusRead)
            status = m_bus->read(call.input.data(), size, answer.data.data(), call.outputSize, count);
        else if (offset == boardsim::families::kSmbusWrite)
            status = m_bus->write(call.input.data(), size);
        else
            status =
                m_bus->addressByName(call.input.data(), size, answer.data.data(), call.outputSize, count);
        if (status != boardsim::families::kOk)
            answer.error = 0x20000000 | status;
        answer.data.resize(count);
        return answer;
    }

    std::unique_ptr<SmbusFamily> m_bus;
};

TEST_F(FakeApiTest, FirmwareUpdateCases)
{
    InProcessBench bench;
    runUpdateCases(bench);
}

TEST_F(FakeApiTest, FirmwareUpdateRequirementsFromTheCaller)
{
    InProcessBench bench;
    struct Case
    {
        const char* name;
        std::vector<BYTE> version; // empty: none
        const char* loaderName;    // null: none
        DWORD error;
        std::vector<DWORD> codes;
    };
    const Case cases[] = {
        {"the boot loader's own version", {1, 4, 2}, nullptr, 0, {1, 2, 2, 2, 2, 2, 2, 2, 3}},
        {"an older one", {1, 3, 200}, "PSU-LOADER", 0, {1, 2, 2, 2, 2, 2, 2, 2, 3}},
        {"a newer build", {1, 4, 3}, nullptr, 50, {1, 8}},
        {"another name", {}, "FAN-LOADER", 50, {1, 7}},
        {"a name of 16 characters", {}, "PSU-LOADER-12345", 24, {1, 4}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        bench.reset();
        Progress progress;
        const std::string path = os::toUtf8(fixturePath("good.hex"));
        const BOOL ok =
            BootLoaderFwUpdateA(0, kLoaderSegment, kLoaderAddress, path.c_str(), Progress::collect, &progress,
                                c.version.empty() ? nullptr : c.version.data(), c.loaderName);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(progress.codes, c.codes);
        EXPECT_EQ(bench.records().size(), c.error == 0 ? recordsToSend("good.hex").size() : 0u);
    }
}

TEST_F(FakeApiTest, FirmwareUpdateWithoutCallbackOrFile)
{
    InProcessBench bench;
    const std::u16string path = fixturePath("good.hex");
    EXPECT_TRUE(BootLoaderFwUpdateW(0, kLoaderSegment, kLoaderAddress, path.c_str(), nullptr, nullptr,
                                    nullptr, nullptr));
    EXPECT_EQ(bench.records().size(), recordsToSend("good.hex").size());
    EXPECT_EQ(bench.mode(), 1) << "left in its loader mode";

    bench.reset();
    EXPECT_FALSE(
        BootLoaderFwUpdateW(0, kLoaderSegment, kLoaderAddress, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(wmfake::calls().empty());
}

TEST_F(FakeApiTest, FirmwareUpdateKeepsTheModeWhenAsked)
{
    InProcessBench bench;
    const std::u16string path = fixturePath("good.hex");
    // Without the switch to loader mode the boot loader refuses the records.
    EXPECT_FALSE(BootLoaderFwUpdateW(WM_FWUPDATE_KEEP_MODE, kLoaderSegment, kLoaderAddress, path.c_str(),
                                     nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    for (const auto& call : wmfake::calls())
        if (call.offset == boardsim::families::kSmbusWrite)
        {
            EXPECT_NE(call.input[3], 0xA1) << "no mode change";
        }
}

} // namespace
} // namespace boardkit::testing
