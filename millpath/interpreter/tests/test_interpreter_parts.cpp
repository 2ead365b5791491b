// The small parts around the translator: token scanners, the symbol table,
// the program text store, the rule tracer and the text utilities.
#include <cstring>

#include <gtest/gtest.h>

#include "ipol_rule_tracer.h"
#include "nc_text.h"
#include "program_text_store.h"
#include "symbols.h"
#include "token_scanners.h"

TEST(TokenScanners, Numbers)
{
    struct Case
    {
        const char* text;
        bool ok;
        double value;
        std::size_t consumed;
    } cases[] = {
        {"12,5", true, 12.5, 4}, {"12.5X", true, 12.5, 4}, {"1e3", true, 1.0, 1},   {"-0.25", true, -0.25, 5},
        {"+3", true, 3.0, 2},    {".5", true, 0.5, 2},     {"1.2.3", true, 1.2, 3}, {"1,2,3", true, 1.2, 3},
        {"-", false, 0.0, 0},    {"X1", false, 0.0, 0},    {".", false, 0.0, 0},
    };
    for (const auto& c : cases)
    {
        const char* p = c.text;
        double v = -99.0;
        EXPECT_EQ(NcScan::number(p, v), c.ok) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(p - c.text), c.consumed) << c.text;
        if (c.ok)
        {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
        else
        {
            EXPECT_EQ(v, -99.0) << c.text;
        }
    }
}

TEST(TokenScanners, IntegersAndLetters)
{
    struct Case
    {
        const char* text;
        int kind; // 0 hex, 1 unsigned, 2 signed, 3 16-bit
        bool ok;
        long long value;
        std::size_t consumed;
    } cases[] = {
        {"0A", 0, true, 10, 2},
        {"A0", 0, false, 0, 0},
        {"7fZ", 0, true, 0x7f, 2},
        {"121 R1", 0, true, 0x121, 3},
        {"4294967295", 1, true, 4294967295LL, 10},
        {"4294967296", 1, false, 0, 0},
        {"x", 1, false, 0, 0},
        {"-12", 2, true, -12, 3},
        {"+7a", 2, true, 7, 2},
        {"-", 2, false, 0, 0},
        {"65535", 3, true, 65535, 5},
        {"65536", 3, false, 0, 0},
    };
    for (const auto& c : cases)
    {
        const char* p = c.text;
        long long value = 0;
        bool ok = false;
        if (c.kind == 0 || c.kind == 1)
        {
            std::uint32_t v = 0;
            ok = c.kind == 0 ? NcScan::hexNumber(p, v) : NcScan::unsignedInteger(p, v);
            value = v;
        }
        else if (c.kind == 2)
        {
            std::int32_t v = 0;
            ok = NcScan::signedInteger(p, v);
            value = v;
        }
        else
        {
            std::uint16_t v = 0;
            ok = NcScan::number16(p, v);
            value = v;
        }
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(p - c.text), c.consumed) << c.text;
        if (c.ok)
        {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }

    const char* p = "y";
    EXPECT_EQ(NcScan::axisLetter(p), 1);
    p = "A";
    EXPECT_EQ(NcScan::axisLetter(p), -1);
    int q = 0;
    for (const auto& [text, ok] :
         {std::pair{"Q1", true}, {"q5", true}, {"Q6", false}, {"Q0", false}, {"Q", false}})
    {
        p = text;
        EXPECT_EQ(NcScan::qNumber(p, q), ok) << text;
    }
    char letter = 0;
    std::uint32_t n = 0;
    p = "p12";
    EXPECT_TRUE(NcScan::oneOfLetters(p, "KPR", letter, n));
    EXPECT_EQ(letter, 'P');
    EXPECT_EQ(n, 12u);
    p = "X12";
    EXPECT_FALSE(NcScan::oneOfLetters(p, "KPR", letter, n));
    p = "K";
    EXPECT_FALSE(NcScan::letterNumber(p, 'K', n));
    EXPECT_STREQ(p, "K");
}

TEST(TokenScanners, BlanksCommentsAndZeros)
{
    const char* p = " \t\nX";
    NcScan::skipBlanks(p);
    EXPECT_EQ(*p, '\n');
    NcScan::skipWhiteSpace(p);
    EXPECT_EQ(*p, 'X');
    const char* q = "\xa0X";
    NcScan::skipWhiteSpace(q);
    EXPECT_EQ(*q, '\xa0');

    for (const auto& [text, rest] : {std::pair{"(a) X", " X"}, {"(open\nX", "\nX"}, {"(open", ""}})
    {
        const char* c = text;
        EXPECT_TRUE(NcScan::skipComment(c));
        EXPECT_STREQ(c, rest);
    }
    const char* noComment = "X(";
    EXPECT_FALSE(NcScan::skipComment(noComment));

    struct Case
    {
        const char* in;
        const char* out;
    } cases[] = {{"2.000000 ", "2.0 "}, {"1.500000 ", "1.5 "}, {"-0.000000 ", "-0.0 "}, {"100 ", "10 "},
                 {"10 ", "10 "},        {"1.5", "1.5"},        {"20.050 ", "20.05 "}};
    for (const Case& c : cases)
    {
        char text[32];
        std::strcpy(text, c.in);
        NcScan::trimZeros(text);
        EXPECT_STREQ(text, c.out) << c.in;
    }
    const char16_t wide[] = u"ab;c";
    EXPECT_EQ(NcScan::findChar(wide, u';'), wide + 2);
    EXPECT_EQ(NcScan::findChar(wide, u'x'), nullptr);
    EXPECT_EQ(NcScan::findChar(wide, u'\0'), wide + 4);
}

TEST(SymbolTable, ManySymbolsAcrossBucketsAndBlocks)
{
    CSymbolTable table;
    for (int i = 0; i < 45; ++i)
    {
        auto symbol = std::make_unique<CSymbol>(SymbolType::Text, u"$S" + std::u16string(1, u'A' + i % 26) +
                                                                      (i >= 26 ? u"2" : u""));
        symbol->setText("X" + std::to_string(i));
        table.add(std::move(symbol));
    }
    EXPECT_EQ(table.count(), 45u);
    for (int i = 0; i < 45; ++i)
    {
        const CSymbol* s = table.find(u"$S" + std::u16string(1, u'A' + i % 26) + (i >= 26 ? u"2" : u""));
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->text(), "X" + std::to_string(i));
    }
    // A symbol of the same name replaces the older one.
    auto again = std::make_unique<CSymbol>(SymbolType::Text, u"$SA");
    again->setText("Y1");
    table.add(std::move(again));
    EXPECT_EQ(table.count(), 45u);
    EXPECT_EQ(table.find(u"$SA")->text(), "Y1");
    EXPECT_EQ(table.find(u"$sa"), nullptr);
    table.clear();
    EXPECT_EQ(table.count(), 0u);
    EXPECT_EQ(table.find(u"$SB"), nullptr);
    table.add(std::make_unique<CSymbolAxis>(u"$AX", AxisDescription{u"Rotary", u"C", 5}));
    const auto* axis = dynamic_cast<const CSymbolAxis*>(table.find(u"$AX"));
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->type(), SymbolType::Axis);
    EXPECT_EQ(axis->axis(), 5);
}

TEST(SymbolTable, AxisNameFields)
{
    const std::u16string n31(31, u'n'), n32(32, u'n'), s9(9, u's'), s10(10, u's');
    const CSymbolAxis fits(u"$A", AxisDescription{n31, s9, 0});
    EXPECT_EQ(std::u16string(fits.axisName()), n31);
    EXPECT_EQ(std::u16string(fits.shortName()), s9);
    const CSymbolAxis tooLong(u"$B", AxisDescription{n32, s10, 0});
    EXPECT_EQ(tooLong.axisName()[0], u'\0');
    EXPECT_EQ(tooLong.shortName()[0], u'\0');
}

TEST(ProgramTextStore, LinesAndLinks)
{
    CProgramTextStore store(64);
    std::int32_t a = -1, b = -1, c = -1;
    store.setLineInfo(0, 7);
    ASSERT_TRUE(store.addLine("G1 X1", a));
    store.setLineInfo(0, 8);
    ASSERT_TRUE(store.addLine("", b));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 5 + 1 + 10);
    EXPECT_EQ(store.nextLine(a), b);
    EXPECT_EQ(store.nextLine(b), 0);
    EXPECT_EQ(store.lineNumber(a), 7u);
    EXPECT_EQ(store.lineNumber(b), 8u);
    EXPECT_STREQ(store.getLine(a), "G1 X1");
    EXPECT_STREQ(store.getLine(3), "X1"); // any position below the total
    EXPECT_EQ(store.getLine(static_cast<std::int32_t>(store.total())), nullptr);
    EXPECT_EQ(store.getLine(-1), nullptr);
    // 27 of 64 bytes used: a line of 27 characters needs 38 and does not fit.
    EXPECT_FALSE(store.addLine(std::string(27, 'x').c_str(), c));
    EXPECT_EQ(store.total(), 27u);
    EXPECT_EQ(store.nextLine(b), 0);
    ASSERT_TRUE(store.addLine(std::string(26, 'x').c_str(), c));
    EXPECT_EQ(store.total(), 64u);
    EXPECT_EQ(store.nextLine(b), c);
    store.clearText();
    EXPECT_EQ(store.total(), 0u);
    EXPECT_EQ(store.getLine(0), nullptr);
    ASSERT_TRUE(store.addLine("N1", a));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(store.nextLine(a), 0);
}

TEST(IpolRuleTracer, FetchDropsOlderRecords)
{
    CIpolRuleTracer tracer;
    tracer.trace(1);
    EXPECT_EQ(tracer.size(), 0u); // disabled: nothing is kept
    tracer.enable(true);
    for (std::uint32_t counter : {1u, 3u, 5u})
    {
        tracer.setWord(1, counter * 10);
        tracer.trace(counter);
    }
    EXPECT_FALSE(tracer.fetch(0).has_value());
    EXPECT_EQ(tracer.size(), 3u);
    const auto record = tracer.fetch(4);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ((*record)[0], 3u);
    EXPECT_EQ((*record)[1], 30u);
    EXPECT_EQ(tracer.size(), 2u);
    EXPECT_EQ((*tracer.fetch(100))[0], 5u);
    EXPECT_EQ(tracer.size(), 1u);
    tracer.setWord(0, 99); // word 0 is the block counter's
    tracer.setWord(20, 99);
    tracer.trace(6);
    EXPECT_EQ((*tracer.fetch(6))[0], 6u);
}

TEST(NcText, Utilities)
{
    EXPECT_EQ(NcStrLen(nullptr), 0u);
    EXPECT_EQ(NcStrLen("abc"), 3u);
    char buffer[NcFormatLimit];
    EXPECT_EQ(NcFormat(buffer, "%d-%s", 5, "x"), 3u);
    EXPECT_STREQ(buffer, "5-x");
    const std::string long1100(1100, 'a');
    EXPECT_EQ(NcFormat(buffer, "%s", long1100.c_str()), NcFormatLimit);
    EXPECT_EQ(std::strlen(buffer), NcFormatLimit - 1);
    std::string appended = "Group ";
    NcAppendFormat(appended, "%d (%ld)", 2, 7L);
    EXPECT_EQ(appended, "Group 2 (7)");
    NcAppendFormat(appended, "%s", long1100.c_str());
    EXPECT_EQ(appended.size(), 11 + NcFormatLimit - 1);

    std::u16string wide = u"old";
    EXPECT_FALSE(NcNarrowToWide(nullptr, wide));
    EXPECT_TRUE(wide.empty());
    EXPECT_TRUE(NcNarrowToWide("$Pos\xe4", wide));
    EXPECT_EQ(wide, u"$Pos\u00e4");
    std::string narrow = "old";
    EXPECT_FALSE(NcWideToNarrow(nullptr, narrow));
    EXPECT_TRUE(narrow.empty());
    EXPECT_TRUE(NcWideToNarrow(u"ab\u00e4", narrow));
    EXPECT_EQ(narrow, "ab\xe4");

    EXPECT_EQ(NcRound(2.5), 3);
    EXPECT_EQ(NcRound(-2.5), -3);
    EXPECT_EQ(NcRound(2.4999), 2);
    EXPECT_TRUE(NcIsSpace('\v'));
    EXPECT_TRUE(NcIsSpace('\r'));
    EXPECT_FALSE(NcIsSpace(0xA0));
    EXPECT_FALSE(NcIsSpace(0x85));

    char16_t out[6];
    EXPECT_EQ(NcFormatWide(out, 6, "%s%d", "ab", 123), S_OK);
    EXPECT_EQ(std::u16string(out), u"ab123");
    EXPECT_EQ(NcFormatWide(out, 5, "%s%d", "ab", 123), E_INVALIDARG);
    EXPECT_EQ(NcFormatWide(out, 6, "%s", long1100.c_str()), E_FAIL);
}
