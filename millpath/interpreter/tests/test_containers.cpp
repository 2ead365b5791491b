#include <gtest/gtest.h>

#include "call_stack.h"
#include "label_table.h"
#include "operand_stack.h"
#include "text_buffer.h"

#include <string>

TEST(OperandStack, CapacityTakesLowEightBits)
{
    struct Case
    {
        unsigned asked;
        unsigned expected;
    } cases[] = {{50, 50}, {255, 255}, {256, 0}, {257, 1}, {0, 0}};
    for (const auto& c : cases)
    {
        COperandStack stack(c.asked);
        EXPECT_EQ(stack.capacity(), c.expected) << c.asked;
        unsigned pushed = 0;
        while (pushed < 300 && stack.push(pushed))
            ++pushed;
        EXPECT_EQ(pushed, c.expected) << c.asked;
        EXPECT_TRUE(stack.full());
    }
}

TEST(OperandStack, LastInFirstOutAndEmptyFails)
{
    COperandStack stack(3);
    double v = 7.0;
    EXPECT_FALSE(stack.top(v));
    EXPECT_FALSE(stack.pop(v));
    EXPECT_EQ(v, 7.0);
    ASSERT_TRUE(stack.push(1.5));
    ASSERT_TRUE(stack.push(-2.5));
    ASSERT_TRUE(stack.push(3.0));
    EXPECT_FALSE(stack.push(4.0));
    ASSERT_TRUE(stack.top(v));
    EXPECT_EQ(v, 3.0);
    EXPECT_EQ(stack.depth(), 3u);
    ASSERT_TRUE(stack.pop(v));
    EXPECT_EQ(v, 3.0);
    ASSERT_TRUE(stack.pop(v));
    EXPECT_EQ(v, -2.5);
    ASSERT_TRUE(stack.pop(v));
    EXPECT_EQ(v, 1.5);
    EXPECT_TRUE(stack.empty());
}

TEST(CallStack, FramesAndCapacity)
{
    CCallStack stack(20);
    EXPECT_EQ(stack.capacity(), 20u);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(stack.push(i, i + 100, i + 200, i + 1));
    EXPECT_TRUE(stack.full());
    EXPECT_FALSE(stack.push(0, 0, 0, 1));

    std::int32_t t = 0, s = 0, r = 0, n = 0;
    ASSERT_TRUE(stack.top(&t, &s, &r, &n));
    EXPECT_EQ(t, 19);
    EXPECT_EQ(s, 119);
    EXPECT_EQ(r, 219);
    EXPECT_EQ(n, 20);
    ASSERT_TRUE(stack.pop(nullptr, nullptr, &r, nullptr));
    EXPECT_EQ(r, 219);
    EXPECT_EQ(stack.depth(), 19u);
    stack.clear();
    EXPECT_TRUE(stack.empty());
    EXPECT_FALSE(stack.pop(&t, &s, &r, &n));

    CCallStack none(256);
    EXPECT_EQ(none.capacity(), 0u);
    EXPECT_FALSE(none.push(1, 1, 1, 1));
}

TEST(CallStack, CountDownRunsRepeatTimes)
{
    CCallStack stack(2);
    bool again = true;
    EXPECT_FALSE(stack.countDown(again));
    ASSERT_TRUE(stack.push(10, 10, 50, 3));
    int runs = 1; // the first run happens on the call itself
    while (true)
    {
        ASSERT_TRUE(stack.countDown(again));
        if (!again)
            break;
        ++runs;
    }
    EXPECT_EQ(runs, 3);
    // A frame whose count reached 0 cannot be counted down again.
    EXPECT_FALSE(stack.countDown(again));
}

TEST(LabelTable, DefineFindAndNameLimit)
{
    CLabelTable table(4);
    ASSERT_TRUE(table.define("L10", 42));
    std::int32_t v = -1;
    ASSERT_TRUE(table.find("L10", v));
    EXPECT_EQ(v, 42);
    EXPECT_FALSE(table.find("l10", v)); // case-sensitive
    EXPECT_FALSE(table.find("L1", v));

    // Twelve characters are stored as eleven and found by those eleven.
    ASSERT_TRUE(table.define("ABCDEFGHIJKL", 7));
    ASSERT_TRUE(table.find("ABCDEFGHIJK", v));
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(table.find("ABCDEFGHIJKLMNOP", v));
    EXPECT_EQ(v, 7);
}

TEST(LabelTable, FullTableRefusesNewNamesOnly)
{
    CLabelTable table(2);
    ASSERT_TRUE(table.reference("A"));
    ASSERT_TRUE(table.define("B", 1));
    EXPECT_FALSE(table.reference("C"));
    EXPECT_FALSE(table.define("D", 2));
    // Existing names still take updates.
    EXPECT_TRUE(table.define("A", 5));
    std::int32_t v = 0;
    ASSERT_TRUE(table.find("A", v));
    EXPECT_EQ(v, 5);
    EXPECT_EQ(table.count(), 2u);
    table.clear();
    EXPECT_FALSE(table.find("A", v));
    EXPECT_TRUE(table.reference("C"));
}

TEST(LabelTable, FirstUnresolvedByKind)
{
    CLabelTable table(8);
    table.define("DEF", 1); // defined, never referenced
    table.reference("REF"); // referenced, neither declared nor defined
    table.declare("DEC");
    table.reference("DEC"); // referenced and declared, not defined
    table.define("BOTH", 2);
    table.reference("BOTH");

    struct Case
    {
        int kind;
        const char* expected;
    } cases[] = {{0, "REF"}, {1, "REF"}, {2, "DEF"}, {3, ""}, {-1, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(table.firstUnresolved(c.kind), c.expected) << c.kind;

    CLabelTable clean(2);
    clean.define("X", 0);
    clean.reference("X");
    EXPECT_EQ(clean.firstUnresolved(0), "");
}

TEST(LabelTable, OnlyDefinedLabelsAreFoundAndANameTakesOnePlace)
{
    CLabelTable table(2);
    ASSERT_TRUE(table.reference("L5"));
    std::int32_t v = 99;
    // A label that is referenced but not yet defined has no position to go to.
    EXPECT_FALSE(table.find("L5", v));
    EXPECT_EQ(v, 99);
    ASSERT_TRUE(table.declare("L6"));
    EXPECT_FALSE(table.find("L6", v));
    // Declaring and then defining, or defining after a reference, reuses the entry of the name.
    ASSERT_TRUE(table.define("L6", 30));
    ASSERT_TRUE(table.define("L5", 20));
    EXPECT_EQ(table.count(), 2u);
    ASSERT_TRUE(table.find("L5", v));
    EXPECT_EQ(v, 20);
    ASSERT_TRUE(table.find("L6", v));
    EXPECT_EQ(v, 30);
    EXPECT_EQ(table.firstUnresolved(0), "");
    EXPECT_EQ(table.firstUnresolved(2), "L6");
}

TEST(TextBuffer, BuffersStartZeroFilled)
{
    CTextBuffer buffer(16);
    ASSERT_NE(buffer.mainText(), nullptr);
    ASSERT_NE(buffer.secondText(), nullptr);
    for (std::size_t i = 0; i < buffer.mainSize(); ++i)
        ASSERT_EQ(buffer.mainText()[i], '\0') << i;
    for (std::size_t i = 0; i < CTextBuffer::SecondSize; ++i)
        ASSERT_EQ(buffer.secondText()[i], '\0') << i;
    EXPECT_EQ(buffer.mainLength(), 0u);
    // A buffer of size 0 holds nothing: no reset, no append.
    CTextBuffer none(0);
    EXPECT_FALSE(none.resetMain());
    EXPECT_FALSE(none.appendMain(""));
    EXPECT_TRUE(none.resetSecond());
}

TEST(TextBuffer, AppendNeedsRoomForTerminator)
{
    CTextBuffer buffer(8);
    ASSERT_TRUE(buffer.resetMain());
    EXPECT_TRUE(buffer.appendMain("abcd"));
    EXPECT_TRUE(buffer.appendMain("ef"));
    EXPECT_EQ(buffer.mainLength(), 6u);
    EXPECT_TRUE(buffer.appendMain("g")); // 7 bytes + zero fill 8
    EXPECT_FALSE(buffer.appendMain("h"));
    EXPECT_STREQ(buffer.mainText(), "abcdefg");
    ASSERT_TRUE(buffer.resetMain());
    EXPECT_EQ(buffer.mainLength(), 0u);
    EXPECT_STREQ(buffer.mainText(), "");
    const char bytes[3] = {'\x87', '\x01', 'x'};
    EXPECT_TRUE(buffer.appendMainBytes(bytes, 3));
    EXPECT_EQ(buffer.mainLength(), 3u);

    std::string big(CTextBuffer::SecondSize - 1, 'a');
    ASSERT_TRUE(buffer.resetSecond());
    EXPECT_TRUE(buffer.appendSecond(big.c_str()));
    EXPECT_FALSE(buffer.appendSecond("b"));

    buffer.freeAll();
    EXPECT_FALSE(buffer.resetMain());
    EXPECT_FALSE(buffer.resetSecond());
    EXPECT_FALSE(buffer.appendMain("a"));
}
