// TranslateBrowsePathsToNodeIds from one node: local references, implicit ones, and paths that go on
// in another node manager.
#include "testaddressspace.h"

using namespace testspace;

namespace
{
const UaNodeId g_root(1, 2), g_pump(2, 2), g_speed(3, 2), g_motor(1, 3), g_current(2, 3);
const UaNodeId g_hasComponent(47, 0), g_hasProperty(46, 0), g_hierarchical(33, 0), g_hasTypeDefinition(40, 0);
const UaNodeId g_any;

PathElement forward(const UaNodeId& type, const char* name, OpcUa_UInt16 ns, bool includeSubtypes = true)
{
    return PathElement{type, false, includeSubtypes, UaQualifiedName(name, ns)};
}
PathElement inverse(const UaNodeId& type, const char* name, OpcUa_UInt16 ns)
{
    return PathElement{type, true, true, UaQualifiedName(name, ns)};
}

struct TranslateCase
{
    const char* what;
    UaNodeId start;
    std::vector<PathElement> path;
    OpcUa_StatusCode status;
    std::vector<std::pair<std::string, OpcUa_UInt32>> targets;
};

class TranslateTest : public TwoNamespaces
{
protected:
    void SetUp() override
    {
        TwoNamespaces::SetUp();
        ASSERT_TRUE(m_a.addUaNode(new UaFolder("Root", g_root, "en")).isGood());
        ASSERT_TRUE(m_a.addUaNode(newObject(g_pump, "Pump")).isGood());
        ASSERT_TRUE(m_a.addUaReference(g_root, g_pump, g_hasComponent).isGood());
        ASSERT_TRUE(m_a.addUaNode(new TestVariable(g_speed, "Speed", UaVariant(1.0))).isGood());
        ASSERT_TRUE(m_a.addUaReference(g_pump, g_speed, g_hasProperty).isGood());
        // B keeps the pump's motor, with a current below it.
        ASSERT_TRUE(m_b.addAlias(g_pump, "Pump", m_a).isGood());
        ASSERT_TRUE(m_b.addUaNode(newObject(g_motor, "Motor")).isGood());
        ASSERT_TRUE(m_b.addUaReference(g_pump, g_motor, g_hasComponent).isGood());
        ASSERT_TRUE(m_b.addUaNode(newObject(g_current, "Current")).isGood());
        ASSERT_TRUE(m_b.addUaReference(g_motor, g_current, g_hasComponent).isGood());
    }

    void check(const TranslateCase& c, NodeManager& nodeManager)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::pair<std::string, OpcUa_UInt32>> targets;
        EXPECT_EQ(translate(nodeManager, c.start, c.path, targets).code(), c.status);
        EXPECT_EQ(targets, c.targets);
    }
};

TEST_F(TranslateTest, PathsAlongLocalImplicitAndForeignReferences)
{
    constexpr OpcUa_UInt32 all = 0xFFFFFFFFu;
    const TranslateCase cases[] = {
        {"two elements",
         g_root,
         {forward(g_hasComponent, "Pump", 2), forward(g_hasProperty, "Speed", 2)},
         OpcUa_Good,
         {{text(g_speed), all}}},
        {"HierarchicalReferences with subtypes",
         g_root,
         {forward(g_hierarchical, "Pump", 2), forward(g_hierarchical, "Speed", 2)},
         OpcUa_Good,
         {{text(g_speed), all}}},
        {"any type", g_root, {forward(g_any, "Pump", 2)}, OpcUa_Good, {{text(g_pump), all}}},
        {"HierarchicalReferences without subtypes",
         g_root,
         {forward(g_hierarchical, "Pump", 2, false)},
         OpcUa_BadNoMatch,
         {}},
        {"the name's namespace counts", g_root, {forward(g_hasComponent, "Pump", 3)}, OpcUa_BadNoMatch, {}},
        {"back up the inverse list",
         g_speed,
         {inverse(g_hasProperty, "Pump", 2), inverse(g_any, "Root", 2)},
         OpcUa_Good,
         {{text(g_root), all}}},
        {"an inverse element does not go forward",
         g_pump,
         {inverse(g_any, "Speed", 2)},
         OpcUa_BadNoMatch,
         {}},
        {"on into the node manager that keeps the motor",
         g_root,
         {forward(g_hasComponent, "Pump", 2), forward(g_hasComponent, "Motor", 3)},
         OpcUa_Good,
         {{text(g_motor), all}}},
        {"and further down there",
         g_root,
         {forward(g_hasComponent, "Pump", 2), forward(g_hasComponent, "Motor", 3),
          forward(g_hasComponent, "Current", 3)},
         OpcUa_Good,
         {{text(g_current), all}}},
        {"no such child anywhere", g_pump, {forward(g_hasComponent, "Nothing", 2)}, OpcUa_BadNoMatch, {}},
        {"the type definition by its name",
         g_pump,
         {forward(g_hasTypeDefinition, "BaseObjectType", 0)},
         OpcUa_Good,
         {{text(UaNodeId(58, 0)), all}}},
        {"below the type definition the walk stops and says where",
         g_pump,
         {forward(g_hasTypeDefinition, "BaseObjectType", 0), forward(g_any, "Child", 0)},
         OpcUa_Good,
         {{text(UaNodeId(58, 0)), 1}}},
        {"the implicit reference only for a matching type",
         g_pump,
         {forward(g_hasComponent, "BaseObjectType", 0)},
         OpcUa_BadNoMatch,
         {}},
        {"a null target name", g_root, {forward(g_hasComponent, "", 2)}, OpcUa_BadBrowseNameInvalid, {}},
        {"a null name further on",
         g_root,
         {forward(g_hasComponent, "Pump", 2), forward(g_hasComponent, "", 2)},
         OpcUa_BadBrowseNameInvalid,
         {}},
        {"no element", g_root, {}, OpcUa_BadNothingToDo, {}},
        {"an unknown start", UaNodeId(99, 2), {forward(g_any, "Pump", 2)}, OpcUa_BadNodeIdUnknown, {}},
    };
    for (const TranslateCase& c : cases)
        check(c, m_a);
}

TEST_F(TranslateTest, ABadAnswerOfAnotherNodeManagerStandsWhenNothingMatches)
{
    FailingNodeManager refusing;
    ASSERT_TRUE(m_a.connectStartingNode(g_root, &refusing, true, false).isGood());
    check(
        {"asked, refused, nothing local", g_root, {forward(g_any, "Nothing", 2)}, OpcUa_BadInternalError, {}},
        m_a);
    EXPECT_EQ(refusing.translateCalls, 1);
    check({"a later local match still wins",
           g_root,
           {forward(g_any, "Pump", 2)},
           OpcUa_Good,
           {{text(g_pump), 0xFFFFFFFFu}}},
          m_a);
    EXPECT_EQ(refusing.translateCalls, 1) << "a node manager named after the first match is not asked";
}
} // namespace
