#include <gtest/gtest.h>

#include "display_info.h"
#include "program_text_store.h"

namespace
{
std::int32_t AddLine(CProgramTextStore& store, std::uint32_t number, const char* text)
{
    std::int32_t index = -1;
    store.setLineInfo(0, number);
    EXPECT_TRUE(store.addLine(text, index));
    return index;
}
} // namespace

TEST(DisplayInfo, FindsTheFileAndLineOfAPosition)
{
    CProgramTextStore store(4096);
    CDisplayInfo info(store);
    std::string name;
    std::uint32_t line = 7;
    info.FindFile(0, name, line);
    EXPECT_EQ(name, "");
    EXPECT_EQ(line, 0u);

    AddLine(store, 1, "before any file");
    ASSERT_EQ(info.AddFile("main.nc"), 0u);
    const std::int32_t a1 = AddLine(store, 1, "G1 X1");
    const std::int32_t a2 = AddLine(store, 2, "G1 X2");
    ASSERT_EQ(info.AddFile("L10.nc"), 0u);
    const std::int32_t b1 = AddLine(store, 1, "L10");
    ASSERT_EQ(info.AddFile("L20.nc"), 0u);
    const std::int32_t c3 = AddLine(store, 3, "X3");

    struct Case
    {
        std::int32_t position;
        const char* file;
        std::uint32_t line;
    } cases[] = {{c3, "L20.nc", 3},
                 {a2, "main.nc", 2},
                 {b1, "L10.nc", 1},
                 {a1, "main.nc", 1},
                 // A position before the first record's start yields the first record.
                 {0, "main.nc", 1}};
    for (const auto& c : cases)
    {
        info.FindFile(c.position, name, line);
        EXPECT_EQ(name, c.file) << c.position;
        EXPECT_EQ(line, c.line) << c.position;
    }
    info.ClearFiles();
    EXPECT_EQ(info.Count(), 0);
    info.FindFile(a1, name, line);
    EXPECT_EQ(name, "");
}

TEST(DisplayInfo, RefusesTheFileBeyond501AndLongNames)
{
    CProgramTextStore store(1 << 16);
    CDisplayInfo info(store);
    EXPECT_EQ(info.AddFile(std::string(259, 'n')), CDisplayInfo::NameTooLong);
    EXPECT_EQ(info.AddFile(std::string(258, 'n')), 0u);
    for (int i = 1; i < 501; ++i)
        ASSERT_EQ(info.AddFile("f" + std::to_string(i)), 0u) << i;
    EXPECT_EQ(info.Count(), 501);
    AddLine(store, 4, "last");
    EXPECT_EQ(info.AddFile("f502"), CDisplayInfo::TooManyFiles);
    EXPECT_EQ(info.Count(), 501);
    std::string name;
    std::uint32_t line = 0;
    info.FindFile(0, name, line);
    EXPECT_EQ(name, "f500");
    EXPECT_EQ(line, 4u);
}
