#include "memory_source.h"

#include <xml_stream.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace setupdesk::xml;
using setupdesk::xml::testing::MemorySource;

namespace
{
struct Seen
{
    int token;
    std::string name;
    std::string text;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    return out << "{" << seen.token << ", \"" << seen.name << "\", \"" << seen.text << "\"}";
}

std::vector<Seen> tokens(CXmlStream& stream)
{
    std::vector<Seen> seen;
    for (int i = 0; i < 1000; ++i)
    {
        const int token = stream.nextToken();
        seen.push_back({token, stream.name(), stream.text()});
        if (token == kTokenEnd || token == kTokenMalformed)
            break;
    }
    return seen;
}

// Every source is also fed in blocks of one and of seven bytes, so that push-back
// and newline pairs fall across block edges.
const size_t kBlockSizes[] = {1, 7, CXmlStream::kBufferSize};

struct TokenCase
{
    const char* name;
    std::string input;
    std::vector<Seen> expected;
    int lines; // line counter after the last token
};

TEST(XmlStream, TokensLinesAndColumns)
{
    const TokenCase cases[] = {
        {"CR", "\rb", {{8, "", "\r"}, {7, "", "b"}, {0, "", ""}}, 2},
        {"LF", "\nb", {{8, "", "\n"}, {7, "", "b"}, {0, "", ""}}, 2},
        {"CR LF", "\r\nb", {{8, "", "\r\n"}, {7, "", "b"}, {0, "", ""}}, 2},
        {"LF CR", "\n\rb", {{8, "", "\n\r"}, {7, "", "b"}, {0, "", ""}}, 2},
        {"CR CR is two", "\r\r", {{8, "", "\r"}, {8, "", "\r"}, {0, "", ""}}, 3},
        {"LF CR LF is two", "\n\r\n", {{8, "", "\n\r"}, {8, "", "\n"}, {0, "", ""}}, 3},
        {"newlines inside text", "a\r\nb\n\rc\rd", {{7, "", "a\r\nb\n\rc\rd"}, {0, "", ""}}, 4},
        {"element",
         "<a x=\"1\" y='two'>t u</a>",
         {{2, "a", ""},
          {9, "", " "},
          {5, "x", "1"},
          {9, "", " "},
          {5, "y", "two"},
          {6, "", ""},
          {7, "", "t u"},
          {3, "a", ""},
          {0, "", ""}},
         1},
        {"empty element", "<b/>", {{2, "b", ""}, {4, "", ""}, {0, "", ""}}, 1},
        {"blanks and tabs", " \t <c>", {{9, "", " \t "}, {2, "c", ""}, {6, "", ""}, {0, "", ""}}, 1},
        {"end tag with blanks", "</d  >", {{3, "d", ""}, {0, "", ""}}, 1},
        {"declaration",
         "<?xml version=\"1.0\"?>",
         {{10, "xml", ""}, {9, "", " "}, {5, "version", "1.0"}, {11, "", ""}, {0, "", ""}},
         1},
        {"comment start", "<!--", {{12, "", ""}, {0, "", ""}}, 1},
        {"CDATA start", "<![CDATA[", {{14, "", ""}, {0, "", ""}}, 1},
        {"document type", "<!DOCTYPE", {{16, "", ""}, {0, "", ""}}, 1},
        {"other bang", "<!ELEMENT", {{1, "", ""}}, 1},
        {"attribute without quotes", "<e a=1>", {{2, "e", ""}, {9, "", " "}, {1, "a", ""}}, 1},
        {"attribute with blank before =", "<e a =\"1\">", {{2, "e", ""}, {9, "", " "}, {1, "a", ""}}, 1},
        {"open attribute value", "<e a=\"1", {{2, "e", ""}, {9, "", " "}, {1, "a", "1"}}, 1},
        {"slash without >", "<e /x", {{2, "e", ""}, {9, "", " "}, {1, "", ""}}, 1},
        {"no name after <", "< a>", {{1, "", ""}}, 1},
        {"newline inside a tag", "<f\r\n>", {{2, "f", ""}, {8, "", "\r\n"}, {6, "", ""}, {0, "", ""}}, 2},
    };
    for (const auto& row : cases)
    {
        for (const size_t block : kBlockSizes)
        {
            MemorySource source(row.input, block);
            CXmlStream stream(source.callback());
            EXPECT_EQ(tokens(stream), row.expected) << row.name << ", blocks of " << block;
            EXPECT_EQ(stream.line(), row.lines) << row.name << ", blocks of " << block;
        }
    }
}

TEST(XmlStream, ColumnCountsCharactersAndRestartsAfterANewline)
{
    MemorySource source("<ab>\r\n  xy", 3);
    CXmlStream stream(source.callback());
    EXPECT_EQ(stream.nextToken(), kTokenStartTag);
    EXPECT_EQ(stream.column(), 3); // "<ab" read, ">" pushed back
    EXPECT_EQ(stream.nextToken(), kTokenTagClose);
    EXPECT_EQ(stream.column(), 4);
    EXPECT_EQ(stream.nextToken(), kTokenNewline);
    EXPECT_EQ(stream.line(), 2);
    EXPECT_EQ(stream.column(), 0);
    EXPECT_EQ(stream.nextToken(), kTokenBlanks);
    EXPECT_EQ(stream.nextToken(), kTokenText);
    EXPECT_EQ(stream.column(), 4);
}

TEST(XmlStream, PushBackRestoresPositionAndCounters)
{
    MemorySource source("a\r\nb", 1);
    CXmlStream stream(source.callback());
    EXPECT_EQ(stream.getChar(), 'a');
    EXPECT_EQ(stream.getChar(), '\r');
    EXPECT_EQ(stream.line(), 2);
    stream.ungetChar();
    EXPECT_EQ(stream.line(), 1);
    EXPECT_EQ(stream.column(), 1);
    stream.ungetChar(); // only one character is kept
    EXPECT_EQ(stream.column(), 1);
    EXPECT_EQ(stream.getChar(), '\r');
    EXPECT_EQ(stream.getChar(), '\n');
    EXPECT_EQ(stream.line(), 2);
    EXPECT_EQ(stream.getChar(), 'b');
    EXPECT_EQ(stream.getChar(), EOF);
    stream.ungetChar(); // nothing was taken at the end
    EXPECT_EQ(stream.getChar(), EOF);
}

TEST(XmlStream, TokensOverTheScratchBufferAreMalformed)
{
    struct Case
    {
        const char* name;
        std::string input;
        int tokenBefore; // the token read before the long one, or -1
    };
    const std::string longRun(3000, 'x');
    const Case cases[] = {
        {"text", longRun, -1},
        {"blanks", std::string(3000, ' '), -1},
        {"name", "<" + longRun + ">", -1},
        {"attribute value", "<a v=\"" + longRun + "\">", kTokenStartTag},
    };
    for (const auto& row : cases)
    {
        MemorySource source(row.input, 500);
        CXmlStream stream(source.callback());
        if (row.tokenBefore >= 0)
        {
            EXPECT_EQ(stream.nextToken(), row.tokenBefore) << row.name;
            EXPECT_EQ(stream.nextToken(), kTokenBlanks) << row.name;
        }
        EXPECT_EQ(stream.nextToken(), kTokenMalformed) << row.name;
        EXPECT_TRUE(stream.overflowed()) << row.name;
        EXPECT_LT(stream.text().size(), CXmlStream::kScratchSize) << row.name;
    }

    // The longest text that fits leaves room for a terminator.
    MemorySource fits(std::string(CXmlStream::kScratchSize - 1, 'y') + "<", 100);
    CXmlStream stream(fits.callback());
    EXPECT_EQ(stream.nextToken(), kTokenText);
    EXPECT_EQ(stream.text().size(), CXmlStream::kScratchSize - 1);
}

TEST(XmlStream, SkipPastFindsMarkersOverBlockEdges)
{
    for (const size_t block : kBlockSizes)
    {
        MemorySource source("<!-- a -- b --->rest", block);
        CXmlStream stream(source.callback());
        ASSERT_EQ(stream.nextToken(), kTokenCommentStart);
        std::string content;
        ASSERT_TRUE(stream.skipPast("-->", &content)) << block;
        EXPECT_EQ(content, " a -- b -") << block;
        EXPECT_EQ(stream.nextToken(), kTokenText);
        EXPECT_EQ(stream.text(), "rest");
    }
    MemorySource open("<!-- never closed", 4);
    CXmlStream stream(open.callback());
    ASSERT_EQ(stream.nextToken(), kTokenCommentStart);
    EXPECT_FALSE(stream.skipPast("-->"));
}

TEST(XmlStream, LinesAcrossManyBlocks)
{
    // Far more than one buffer: every block edge falls somewhere else in a line.
    std::string input;
    for (int i = 0; i < 700; ++i)
        input += i % 2 ? "<e>v</e>\r\n" : "<e>v</e>\n\r";
    MemorySource source(input, CXmlStream::kBufferSize);
    CXmlStream stream(source.callback());
    int starts = 0;
    for (int token = stream.nextToken(); token != kTokenEnd; token = stream.nextToken())
    {
        ASSERT_NE(token, kTokenMalformed);
        starts += token == kTokenStartTag;
    }
    EXPECT_EQ(starts, 700);
    EXPECT_EQ(stream.line(), 701);
}
} // namespace
