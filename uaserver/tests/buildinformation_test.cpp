#include "buildinformation.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> parts(const UaString& text)
{
    std::vector<std::string> fields;
    std::stringstream stream(text.toUtf8());
    std::string field;
    while (std::getline(stream, field, '\\'))
        fields.push_back(field);
    return fields;
}
} // namespace

TEST(BuildInformation, TheLibraryVersionHasItsVersionBuildTimeAndCompiler)
{
    const std::vector<std::string> fields = parts(getSdkVersionInfo());
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], "1.3.0.193");
    // The compiler's date form: month abbreviation, day padded to two, year, then the time.
    EXPECT_TRUE(std::regex_match(fields[1],
                                 std::regex("[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}")))
        << fields[1];
#if defined(__GNUC__) && !defined(__clang__)
    EXPECT_EQ(fields[2].rfind("GCC ", 0), 0u) << fields[2];
#endif
}

TEST(BuildInformation, TheStackTextsAreTheStacksOwn)
{
    for (const UaString& text : {getStackVersion(), getStackStaticConfig(), getStackConfig(),
                                 getPlatformLayerVersion(), getPlatformLayerConfig()})
        EXPECT_FALSE(text.isEmpty());
}
