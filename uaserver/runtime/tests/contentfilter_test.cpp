// The where clause's tree: which references between elements are built and which are refused, and
// the text forms of elements and operands.
#include "eventtestkit.h"

#include <contentfilter.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace eventtestkit;

namespace
{
constexpr OpcUa_StatusCode Good = OpcUa_Good;
constexpr OpcUa_StatusCode ElementInvalid = OpcUa_BadFilterElementInvalid;
constexpr OpcUa_StatusCode OperandInvalid = OpcUa_BadFilterOperandInvalid;
// An element never built has no operand codes.
const std::vector<OpcUa_StatusCode> NotBuilt = {};

struct Built
{
    OpcUa_StatusCode status;
    bool invalid;
    std::vector<OpcUa_StatusCode> elementStatus;
    std::vector<std::vector<OpcUa_StatusCode>> operandStatus;
    std::vector<bool> present;
};

struct FilterResult
{
    FilterResult() { OpcUa_ContentFilterResult_Initialize(&result); }
    ~FilterResult() { OpcUa_ContentFilterResult_Clear(&result); }
    OpcUa_ContentFilterResult result;
};

Built build(const std::vector<Element>& elements, ContentFilter& tree)
{
    WireFilter wire({}, elements);
    FilterResult result;
    Built built{};
    built.status = tree.build(wire.get()->WhereClause, result.result, built.invalid);
    for (OpcUa_Int32 i = 0; i < result.result.NoOfElementResults; ++i)
    {
        const OpcUa_ContentFilterElementResult& element = result.result.ElementResults[i];
        built.elementStatus.push_back(element.StatusCode);
        built.operandStatus.emplace_back(element.OperandStatusCodes,
                                         element.OperandStatusCodes + element.NoOfOperandStatusCodes);
        built.present.push_back(tree.element(static_cast<OpcUa_UInt32>(i)) != nullptr);
    }
    return built;
}

// A chain in which each element refers to the next, ending in a leaf.
std::vector<Element> chain(std::size_t length)
{
    std::vector<Element> elements;
    for (std::size_t i = 0; i + 1 < length; ++i)
        elements.push_back({Op::Not, {element(static_cast<OpcUa_UInt32>(i + 1))}});
    elements.push_back({Op::IsNull, {literal(UaVariant(1))}});
    return elements;
}

struct ReferenceCase
{
    const char* name;
    std::vector<Element> elements;
    OpcUa_StatusCode status;
    std::vector<OpcUa_StatusCode> elementStatus;
    std::vector<std::vector<OpcUa_StatusCode>> operandStatus;
    std::vector<bool> present;
};

TEST(ContentFilterTest, ReferencesBetweenElements)
{
    const UaVariant one(1);
    const ReferenceCase cases[] = {
        {"no elements", {}, Good, {}, {}, {}},
        {"the root refers to itself",
         {{Op::And, {element(0), literal(one)}}},
         OpcUa_BadEventFilterInvalid,
         {ElementInvalid},
         {{OperandInvalid, Good}},
         {true}},
        {"past the count",
         {{Op::Not, {element(2)}}, {Op::IsNull, {literal(one)}}},
         OpcUa_BadEventFilterInvalid,
         {ElementInvalid, Good},
         {{OperandInvalid}, NotBuilt},
         {true, false}},
        {"an element below the root refers to itself: the path up to the root is marked",
         {{Op::Not, {element(1)}}, {Op::Not, {element(2)}}, {Op::Not, {element(2)}}},
         OpcUa_BadEventFilterInvalid,
         {Good, ElementInvalid, ElementInvalid},
         {{Good}, {OperandInvalid}, {OperandInvalid}},
         {true, true, true}},
        {"a loop back to the root",
         {{Op::Not, {element(1)}}, {Op::Not, {element(0)}}},
         OpcUa_BadEventFilterInvalid,
         {Good, ElementInvalid},
         {{Good}, {OperandInvalid}},
         {true, true}},
        {"two references to one element",
         {{Op::And, {element(1), element(1)}}, {Op::IsNull, {literal(one)}}},
         OpcUa_BadEventFilterInvalid,
         {ElementInvalid, Good},
         {{Good, OperandInvalid}, {Good}},
         {true, true}},
        {"a reference to an earlier element not yet built (0, 2, 1)",
         {{Op::Not, {element(2)}}, {Op::IsNull, {literal(one)}}, {Op::Not, {element(1)}}},
         Good,
         {Good, Good, Good},
         {{Good}, {Good}, {Good}},
         {true, true, true}},
        {"an element no reference reaches",
         {{Op::IsNull, {literal(one)}}, {Op::IsNull, {literal(one)}}},
         Good,
         {Good, Good},
         {{Good}, NotBuilt},
         {true, false}},
        {"64 levels below the root", chain(65), Good, {}, {}, {}},
        {"65 levels below the root", chain(66), OpcUa_BadEventFilterInvalid, {}, {}, {}},
    };
    for (const ReferenceCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ContentFilter tree;
        const Built built = build(c.elements, tree);
        EXPECT_EQ(built.status, c.status);
        EXPECT_EQ(built.invalid, c.status != Good);
        if (c.elementStatus.empty())
            continue;
        EXPECT_EQ(built.elementStatus, c.elementStatus);
        EXPECT_EQ(built.operandStatus, c.operandStatus);
        EXPECT_EQ(built.present, c.present);
    }
}

TEST(ContentFilterTest, ALongChainIsRefusedBelowTheDepthLimit)
{
    // Without the limit, building and evaluating 60,000 levels would exhaust the stack.
    ContentFilter tree;
    const Built built = build(chain(60000), tree);
    EXPECT_EQ(built.status, OpcUa_BadEventFilterInvalid);
    const OpcUa_UInt32 last = ContentFilter::MaxDepth;
    EXPECT_EQ(built.elementStatus[last], ElementInvalid);
    EXPECT_EQ(built.operandStatus[last], (std::vector<OpcUa_StatusCode>{OperandInvalid}));
    EXPECT_EQ(built.elementStatus[0], Good);
    EXPECT_TRUE(built.present[last]);
    EXPECT_FALSE(built.present[last + 1]);
    EXPECT_TRUE(built.operandStatus[last + 1].empty());
}

TEST(ContentFilterTest, OperandsOfOtherTypesAreLeftOut)
{
    // An AttributeOperand and a body the decoder did not decode: left out and printed, not reported.
    for (const Operand& other : {attributeOperand(), undecodedOperand()})
    {
        ContentFilter tree;
        const Built built = build({{Op::Equals, {other, literal(UaVariant(5))}}}, tree);
        EXPECT_EQ(built.status, Good);
        EXPECT_FALSE(built.invalid);
        EXPECT_EQ(built.operandStatus, (std::vector<std::vector<OpcUa_StatusCode>>{{Good, Good}}));
        ASSERT_NE(tree.root(), nullptr);
        EXPECT_EQ(tree.root()->operandCount(), 2u);
        EXPECT_EQ(tree.root()->operand(0), nullptr);
        EXPECT_EQ(tree.root()->operand(1)->getType(), static_cast<OpcUa_UInt32>(FilterOperand::Literal));
        EXPECT_EQ(tree.root()->operand(2), nullptr);
        EXPECT_STREQ(tree.root()->toString().toUtf8(), "Equals NULL | 5");
    }
}

TEST(ContentFilterTest, TextForms)
{
    ContentFilter tree;
    build({{Op::And, {element(1), attributeOperand()}},
           {Op::Equals, {field("Severity"), literal(UaVariant(5))}},
           {25, {literal(UaVariant(7))}}},
          tree);
    EXPECT_STREQ(tree.element(0)->toString().toUtf8(), "And [1] | NULL");
    EXPECT_STREQ(tree.element(1)->toString().toUtf8(),
                 "Equals Path=ns=0|Severity Type=NS0|Numeric|2041 Attribute=13 | 5");
    ContentFilterElement unknown(25, 2);
    unknown.appendOperand(new LiteralOperand(UaVariant(7)));
    EXPECT_STREQ(unknown.toString().toUtf8(), "Unknown Operator 7");
    EXPECT_STREQ(ContentFilterElement(Op::BitwiseOr, 0).toString().toUtf8(), "BitwiseOr ");
    ContentFilterElement holder(Op::Not, 0);
    holder.appendOperand(new ElementOperand);
    EXPECT_STREQ(holder.toString().toUtf8(), "Not NULL Element");

    SimpleAttributeOperand path;
    path.setBrowsePathElement(1, UaQualifiedName("Name", 2), 2);
    path.setBrowsePathElement(0, UaQualifiedName("Parent", 0), 2);
    EXPECT_STREQ(path.toString().toUtf8(), "Path=ns=0|Parent/ns=2|Name Type=NS0|Numeric|2041 Attribute=13");
    OpcUa_SimpleAttributeOperand copy;
    path.copyTo(copy);
    EXPECT_STREQ(SimpleAttributeOperand(copy).toString().toUtf8(), path.toString().toUtf8());
    OpcUa_SimpleAttributeOperand_Clear(&copy);
    EXPECT_STREQ(SimpleAttributeOperand().toString().toUtf8(), "Path= Type=NS0|Numeric|2041 Attribute=13");
}

TEST(ContentFilterTest, ASecondReferenceIsLeftWithoutAnElement)
{
    // The operand is in place before its target is refused: the tree owns it and prints it.
    ContentFilter tree;
    const Built built =
        build({{Op::And, {element(1), element(1)}}, {Op::IsNull, {literal(UaVariant(1))}}}, tree);
    EXPECT_EQ(built.status, OpcUa_BadEventFilterInvalid);
    EXPECT_STREQ(tree.root()->toString().toUtf8(), "And [1] | NULL Element");
}

TEST(ContentFilterTest, DeepAndShallowCopiesOfTheSimpleAttributeOperand)
{
    auto operand = std::make_unique<SimpleAttributeOperand>();
    operand->setTypeDefinitionId(UaNodeId(UaString("a type name long enough for the heap"), 2));
    operand->setBrowsePathElement(0, UaQualifiedName("a name long enough to live on the heap", 2), 2);
    operand->setBrowsePathElement(1, UaQualifiedName("High", 2), 2);
    operand->setIndexRange(UaString("1:2"));

    OpcUa_SimpleAttributeOperand shallow;
    OpcUa_SimpleAttributeOperand_Initialize(&shallow);
    std::vector<OpcUa_QualifiedName> buffer;
    operand->shallowCopyTo(shallow, buffer);
    EXPECT_EQ(shallow.IndexRange.strContent, operand->indexRange().toOpcUaString()->strContent);
    EXPECT_EQ(shallow.BrowsePath[0].Name.strContent,
              operand->browsePath()[0].toOpcUaQualifiedName()->Name.strContent);
    EXPECT_EQ(shallow.TypeDefinitionId.Identifier.String.strContent,
              operand->typeDefinitionId().toOpcUaNodeId()->Identifier.String.strContent);

    OpcUa_SimpleAttributeOperand deep;
    operand->copyTo(deep);
    EXPECT_NE(deep.IndexRange.strContent, shallow.IndexRange.strContent);
    EXPECT_NE(deep.BrowsePath[0].Name.strContent, shallow.BrowsePath[0].Name.strContent);
    // The deep copy outlives the operand: the sanitizer build catches any shared block.
    operand.reset();
    ASSERT_EQ(deep.NoOfBrowsePath, 2);
    EXPECT_STREQ(OpcUa_String_GetRawString(&deep.BrowsePath[0].Name),
                 "a name long enough to live on the heap");
    EXPECT_STREQ(OpcUa_String_GetRawString(&deep.IndexRange), "1:2");
    EXPECT_EQ(SimpleAttributeOperand(deep).typeDefinitionId(),
              UaNodeId(UaString("a type name long enough for the heap"), 2));
    OpcUa_SimpleAttributeOperand_Clear(&deep);
}

TEST(ContentFilterTest, OperatorNames)
{
    const char* const names[] = {"Equals ",
                                 "IsNull ",
                                 "GreaterThan ",
                                 "LessThan ",
                                 "GreaterThanOrEqual ",
                                 "LessThanOrEqual ",
                                 "Like ",
                                 "Not ",
                                 "Between ",
                                 "InList ",
                                 "And ",
                                 "Or ",
                                 "Cast ",
                                 "InView ",
                                 "OfType ",
                                 "RelatedTo ",
                                 "BitwiseAnd ",
                                 "BitwiseOr "};
    for (OpcUa_UInt32 op = 0; op < 18; ++op)
        EXPECT_STREQ(ContentFilterElement(op, 0).toString().toUtf8(), names[op]) << op;
    for (OpcUa_UInt32 op : {18u, 25u, 0xFFFFFFFFu})
        EXPECT_STREQ(ContentFilterElement(op, 0).toString().toUtf8(), "Unknown Operator ") << op;
}

TEST(ContentFilterTest, PathSetterGrowsReplacesAndIgnoresIndexesPastTheCount)
{
    auto names = [](const SimpleAttributeOperand& operand)
    {
        std::vector<std::string> out;
        for (const auto& name : operand.browsePath())
            out.push_back(name.toFullString().toUtf8());
        return out;
    };
    SimpleAttributeOperand operand;
    operand.setBrowsePathElement(1, UaQualifiedName("Severity", 0), 3);
    EXPECT_EQ(names(operand), (std::vector<std::string>{"ns=0|", "ns=0|Severity", "ns=0|"}));
    operand.setBrowsePathElement(1, UaQualifiedName("Message", 2), 3);
    EXPECT_EQ(names(operand), (std::vector<std::string>{"ns=0|", "ns=2|Message", "ns=0|"}));
    // Not below the count: ignored, also where the path already reaches that far.
    operand.setBrowsePathElement(3, UaQualifiedName("Beyond", 0), 3);
    operand.setBrowsePathElement(2, UaQualifiedName("Beyond", 0), 1);
    EXPECT_EQ(names(operand), (std::vector<std::string>{"ns=0|", "ns=2|Message", "ns=0|"}));
    // A smaller count keeps the longer path.
    operand.setBrowsePathElement(0, UaQualifiedName("First", 0), 1);
    EXPECT_EQ(names(operand), (std::vector<std::string>{"ns=0|First", "ns=2|Message", "ns=0|"}));
}

} // namespace
