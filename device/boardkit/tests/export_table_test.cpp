// Every export against the recording stand-in of QbWmDevApi: the requests it
// makes match the table written down from the device function families.
#include "export_table.h"
#include "fake_api_test.h"

#include <algorithm>
#include <set>

namespace boardkit::testing
{
namespace
{

TEST_F(FakeApiTest, EveryExportMakesTheRequestsOfItsFamily)
{
    for (const ExportRow& row : exportTable())
    {
        SCOPED_TRACE(row.symbol);
        wmfake::reset();
        for (const ScriptedAnswer& scripted : row.answers)
            wmfake::answer(scripted.group, scripted.offset, bytes(scripted.data));
        SetLastError(kUntouched);
        const BOOL ok = row.invoke();
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(ok != FALSE, row.error == 0);

        const auto calls = wmfake::calls();
        ASSERT_EQ(calls.size(), row.calls.size());
        for (size_t i = 0; i < calls.size(); ++i)
        {
            SCOPED_TRACE("request " + std::to_string(i));
            const ExpectedCall& expected = row.calls[i];
            EXPECT_EQ(calls[i].group, expected.group);
            EXPECT_EQ(calls[i].offset, expected.offset);
            EXPECT_EQ(calls[i].input.size(), expected.inputSize);
            EXPECT_EQ(calls[i].outputSize, expected.outputSize);
            EXPECT_EQ(calls[i].driverLevel(), expected.driverLevel);
            EXPECT_EQ(calls[i].processorMask(), 0u);
            ASSERT_GE(calls[i].input.size(), expected.inputHead.size());
            EXPECT_TRUE(
                std::equal(expected.inputHead.begin(), expected.inputHead.end(), calls[i].input.begin()));
        }
    }
}

TEST(ExportTable, NamesEveryExportOnce)
{
    std::set<std::string> symbols;
    for (const ExportRow& row : exportTable())
        EXPECT_TRUE(symbols.insert(row.symbol).second) << row.symbol;
}

} // namespace
} // namespace boardkit::testing
