// Browse of one node: pages and continuation points, implicit references, type and class filters,
// the result mask, references of other node managers, names read by NodeId and the browse filter.
#include "testaddressspace.h"

#include "uamethodgeneric.h"

#include <uatracecapture.h>

using namespace testspace;

namespace
{
// An object or method with a modelling rule.
class RuledObject : public UaObjectPlain
{
public:
    RuledObject(const UaNodeId& id, const char* name, const UaNodeId& typeDefinition, const UaNodeId& rule)
        : UaObjectPlain(id, UaQualifiedName(name, id.namespaceIndex()), UaLocalizedText("en", name),
                        UaLocalizedText(), typeDefinition, 0),
          m_rule(rule)
    {
    }
    UaNodeId modellingRuleId() const override { return m_rule; }

private:
    UaNodeId m_rule;
};

class RuledMethod : public UaMethodGeneric
{
public:
    RuledMethod(const UaNodeId& id, const char* name, const UaNodeId& rule)
        : UaMethodGeneric(name, id, "en"), m_rule(rule)
    {
    }
    UaNodeId modellingRuleId() const override { return m_rule; }

private:
    UaNodeId m_rule;
};

// Shows only references to nodes whose name does not start with "hidden".
class HidingFilter : public UaBrowseFilter
{
public:
    bool isBrowsable(Session*, const BrowseContext&, UaNode* startingNode) override
    {
        return std::string(startingNode->browseName().name().toUtf8()) != "secret";
    }
    bool isReferenceVisible(Session*, const UaNodeId& farNodeId, UaNode* farNode) override
    {
        ++asked;
        const std::string name =
            farNode ? farNode->browseName().name().toUtf8() : farNodeId.toString().toUtf8();
        return name.rfind("hidden", 0) != 0;
    }
    int asked = 0;
};

const UaNodeId g_baseObjectType(58, 0);
const UaNodeId g_mandatory(78, 0);
const UaNodeId g_optional(80, 0);

class BrowseTest : public TwoNamespaces
{
protected:
    // A new object below parent (which must exist) in a node manager.
    void addObject(TestNodeManager& nodeManager, const UaNodeId& parent, const UaNodeId& id,
                   const std::string& name, OpcUa_UInt32 referenceType = 47)
    {
        UaObjectPlain* node = newObject(id, name);
        ASSERT_TRUE(nodeManager.addUaNode(node).isGood()) << name;
        ASSERT_TRUE(nodeManager.addUaReference(parent, id, UaNodeId(referenceType, 0)).isGood()) << name;
    }

    static Ref childRef(const UaNodeId& id, const std::string& name, OpcUa_UInt32 type = 47,
                        bool forward = true)
    {
        return Ref{type, forward, text(id), name, name, OpcUa_NodeClass_Object, text(g_baseObjectType)};
    }
    static Ref typeDefinitionRef(const UaNodeId& type, const std::string& name, OpcUa_NodeClass typeClass)
    {
        return Ref{40, true, text(type), name, name, typeClass, ""};
    }
};

TEST_F(BrowseTest, ManyReferencesComeInPagesForwardBeforeInverse)
{
    // A string NodeId: the request's own copy is freed after the first page, as a session does.
    const UaNodeId big(UaString("Big"), 2);
    ASSERT_TRUE(m_a.addUaNode(newObject(big, "Big")).isGood());
    std::vector<Ref> expected{
        typeDefinitionRef(g_baseObjectType, "BaseObjectType", OpcUa_NodeClass_ObjectType)};
    for (OpcUa_UInt32 i = 0; i < 2500; ++i)
    {
        const std::string name = "C" + std::to_string(i);
        addObject(m_a, big, UaNodeId(1000 + i, 2), name);
        expected.push_back(childRef(UaNodeId(1000 + i, 2), name));
    }
    std::vector<Ref> inverse;
    for (OpcUa_UInt32 i = 0; i < 30; ++i)
    {
        const UaNodeId parent(5000 + i, 2);
        const std::string name = "P" + std::to_string(i);
        ASSERT_TRUE(m_a.addUaNode(newObject(parent, name)).isGood());
        ASSERT_TRUE(m_a.addUaReference(parent, big, UaNodeId(35, 0)).isGood());
        // The inverse list takes new references at its head.
        inverse.insert(inverse.begin(), childRef(parent, name, 35, false));
    }
    expected.insert(expected.end(), inverse.begin(), inverse.end());

    struct PagingCase
    {
        OpcUa_UInt32 maxReferences;
        std::vector<std::size_t> pages;
    };
    const PagingCase cases[] = {{0, {1000, 1000, 531}},
                                {1001, {1000, 1000, 531}},
                                {700, {700, 700, 700, 431}},
                                {2531, {1000, 1000, 531}},
                                {1, std::vector<std::size_t>(2531, 1)}};
    for (const PagingCase& c : cases)
    {
        SCOPED_TRACE(c.maxReferences);
        UaTraceCapture trace(6);
        Browse request;
        request.node = big;
        request.maxReferences = c.maxReferences;
        BrowseRun run(m_a, request);
        std::vector<std::size_t> pages;
        const std::vector<Ref> all = run.all(&pages);
        EXPECT_EQ(pages, c.pages);
        ASSERT_EQ(all.size(), expected.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(all[i], expected[i]) << "entry " << i;
        EXPECT_EQ(trace.count(6, "<-- UaReferenceLists::browseReferences [ret=OpcUa_Good] - CP set"),
                  c.pages.size() - 1);
        EXPECT_EQ(trace.count(6, "<-- UaReferenceLists::browseReferences [ret=0x0]"), 1u);
        EXPECT_EQ(trace.count(6, "--> UaReferenceLists::browseReferences"), c.pages.size());
    }
}

// Which implicit references a node shows for a request.
struct ImplicitCase
{
    const char* what;
    UaNodeId node;
    OpcUa_BrowseDirection direction;
    UaNodeId filter;
    bool includeSubtypes;
    OpcUa_UInt32 mask;
    std::vector<std::pair<OpcUa_UInt32, UaNodeId>> expected;
};

TEST_F(BrowseTest, ImplicitReferencesByDirectionFilterAndMask)
{
    const UaNodeId object(1, 2), variable(2, 2), ruledVariable(3, 2), method(4, 2), plainMethod(5, 2),
        objectType(6, 2), untyped(7, 2);
    ASSERT_TRUE(m_a.addUaNode(new RuledObject(object, "O", g_baseObjectType, g_mandatory)).isGood());
    ASSERT_TRUE(m_a.addUaNode(new TestVariable(variable, "V", UaVariant(1.0))).isGood());
    auto* withRule = new TestVariable(ruledVariable, "RV", UaVariant(1.0));
    withRule->m_modellingRule = g_optional;
    ASSERT_TRUE(m_a.addUaNode(withRule).isGood());
    ASSERT_TRUE(m_a.addUaNode(new RuledMethod(method, "M", g_mandatory)).isGood());
    ASSERT_TRUE(m_a.addUaNode(new UaMethodGeneric("PM", plainMethod, "en")).isGood());
    ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("OT", objectType, "en", false)).isGood());
    ASSERT_TRUE(m_a.addUaNode(newObject(untyped, "U", UaNodeId())).isGood());
    const UaNodeId none;
    const UaNodeId td(40, 0), mr(37, 0), nonHierarchical(32, 0), hierarchical(33, 0), references(31, 0);
    const UaNodeId variableType(63, 0);

    const ImplicitCase cases[] = {
        {"object forward",
         object,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         0,
         {{40, g_baseObjectType}, {37, g_mandatory}}},
        {"object both",
         object,
         OpcUa_BrowseDirection_Both,
         none,
         true,
         0,
         {{40, g_baseObjectType}, {37, g_mandatory}}},
        {"object inverse", object, OpcUa_BrowseDirection_Inverse, none, true, 0, {}},
        {"only HasTypeDefinition",
         object,
         OpcUa_BrowseDirection_Forward,
         td,
         false,
         0,
         {{40, g_baseObjectType}}},
        {"only HasModellingRule", object, OpcUa_BrowseDirection_Forward, mr, false, 0, {{37, g_mandatory}}},
        {"NonHierarchicalReferences with subtypes",
         object,
         OpcUa_BrowseDirection_Forward,
         nonHierarchical,
         true,
         0,
         {{40, g_baseObjectType}, {37, g_mandatory}}},
        {"References with subtypes",
         object,
         OpcUa_BrowseDirection_Forward,
         references,
         true,
         0,
         {{40, g_baseObjectType}, {37, g_mandatory}}},
        {"NonHierarchicalReferences without subtypes",
         object,
         OpcUa_BrowseDirection_Forward,
         nonHierarchical,
         false,
         0,
         {}},
        {"HierarchicalReferences", object, OpcUa_BrowseDirection_Forward, hierarchical, true, 0, {}},
        {"mask ObjectType",
         object,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         OpcUa_NodeClass_ObjectType,
         {{40, g_baseObjectType}}},
        {"mask Object: the modelling rule object",
         object,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         OpcUa_NodeClass_Object,
         {{37, g_mandatory}}},
        {"mask VariableType on an object",
         object,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         OpcUa_NodeClass_VariableType,
         {}},
        {"variable", variable, OpcUa_BrowseDirection_Forward, none, true, 0, {{40, variableType}}},
        {"variable, mask VariableType",
         variable,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         OpcUa_NodeClass_VariableType,
         {{40, variableType}}},
        {"variable, mask ObjectType",
         variable,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         OpcUa_NodeClass_ObjectType,
         {}},
        {"variable with a rule",
         ruledVariable,
         OpcUa_BrowseDirection_Both,
         none,
         true,
         0,
         {{40, variableType}, {37, g_optional}}},
        {"method with a rule: no type definition",
         method,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         0,
         {{37, g_mandatory}}},
        {"method without a rule", plainMethod, OpcUa_BrowseDirection_Both, none, true, 0, {}},
        {"object type", objectType, OpcUa_BrowseDirection_Forward, none, true, 0, {}},
        {"object without a type definition",
         untyped,
         OpcUa_BrowseDirection_Forward,
         none,
         true,
         0,
         {{40, none}}},
    };
    for (const ImplicitCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        Browse request;
        request.node = c.node;
        request.direction = c.direction;
        request.referenceType = c.filter;
        request.includeSubtypes = c.includeSubtypes;
        request.nodeClassMask = c.mask;
        BrowseRun run(m_a, request);
        const std::vector<Ref> refs = run.all();
        ASSERT_EQ(refs.size(), c.expected.size());
        for (std::size_t i = 0; i < refs.size(); ++i)
        {
            EXPECT_EQ(refs[i].type, c.expected[i].first);
            EXPECT_EQ(refs[i].target, text(c.expected[i].second));
            EXPECT_TRUE(refs[i].isForward);
        }
    }
}

TEST_F(BrowseTest, ImplicitTargetsAreNamedThroughTheReaderWithTheirClass)
{
    const UaNodeId object(1, 2), variable(2, 2);
    ASSERT_TRUE(m_a.addUaNode(new RuledObject(object, "O", g_baseObjectType, g_mandatory)).isGood());
    ASSERT_TRUE(m_a.addUaNode(new TestVariable(variable, "V", UaVariant(1.0))).isGood());
    Browse request;
    request.node = object;
    EXPECT_EQ(BrowseRun(m_a, request).all(),
              (std::vector<Ref>{
                  typeDefinitionRef(g_baseObjectType, "BaseObjectType", OpcUa_NodeClass_ObjectType),
                  Ref{37, true, text(g_mandatory), "Mandatory", "Mandatory", OpcUa_NodeClass_Object, ""}}));
    request.node = variable;
    EXPECT_EQ(BrowseRun(m_a, request).all(),
              (std::vector<Ref>{
                  typeDefinitionRef(UaNodeId(63, 0), "BaseDataVariableType", OpcUa_NodeClass_VariableType)}));
    const int reads = m_reader.calls();
    request.resultMask = OpcUa_BrowseResultMask_ReferenceTypeInfo | OpcUa_BrowseResultMask_NodeClass;
    BrowseRun(m_a, request).all();
    EXPECT_EQ(m_reader.calls(), reads) << "no names asked, none read";
}

// A node whose references have several types, classes and directions.
class FilterTest : public BrowseTest
{
protected:
    void SetUp() override
    {
        BrowseTest::SetUp();
        ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("Hub", m_hub, "en", false)).isGood());
        addObject(m_a, m_hub, UaNodeId(10, 2), "Component", 47);
        ASSERT_TRUE(m_a.addUaNode(new TestVariable(UaNodeId(11, 2), "Ordered", UaVariant(1.0))).isGood());
        ASSERT_TRUE(m_a.addUaReference(m_hub, UaNodeId(11, 2), UaNodeId(49, 0)).isGood());
        addObject(m_a, m_hub, UaNodeId(12, 2), "Property", 46);
        addObject(m_a, m_hub, UaNodeId(13, 2), "Cause", 53);
        ASSERT_TRUE(m_a.addUaNode(newObject(UaNodeId(20, 2), "Parent")).isGood());
        ASSERT_TRUE(m_a.addUaReference(UaNodeId(20, 2), m_hub, UaNodeId(35, 0)).isGood());
        ASSERT_TRUE(m_a.addUaNode(new UaReferenceTypePlain(m_customType, UaQualifiedName("Custom", 2),
                                                           UaLocalizedText("en", "Custom"), UaLocalizedText(),
                                                           false, false, UaLocalizedText(), nullptr))
                        .isGood());
        addObject(m_a, m_hub, UaNodeId(14, 2), "Custom", 0);
    }
    void addObject(TestNodeManager& nodeManager, const UaNodeId& parent, const UaNodeId& id,
                   const std::string& name, OpcUa_UInt32 referenceType)
    {
        ASSERT_TRUE(nodeManager.addUaNode(newObject(id, name)).isGood());
        const UaNodeId type = referenceType ? UaNodeId(referenceType, 0) : m_customType;
        ASSERT_TRUE(nodeManager.addUaReference(parent, id, type).isGood());
    }

    const UaNodeId m_hub{100, 2};
    const UaNodeId m_customType{500, 2};
};

struct FilterCase
{
    const char* what;
    OpcUa_BrowseDirection direction;
    UaNodeId filter;
    bool includeSubtypes;
    OpcUa_UInt32 mask;
    std::vector<std::string> names;
};

TEST_F(FilterTest, TypeClassAndDirectionSelectTheReferences)
{
    const FilterCase cases[] = {
        {"all",
         OpcUa_BrowseDirection_Both,
         UaNodeId(),
         true,
         0,
         {"Component", "Ordered", "Property", "Cause", "Custom", "Parent"}},
        {"forward",
         OpcUa_BrowseDirection_Forward,
         UaNodeId(),
         true,
         0,
         {"Component", "Ordered", "Property", "Cause", "Custom"}},
        {"inverse", OpcUa_BrowseDirection_Inverse, UaNodeId(), true, 0, {"Parent"}},
        {"HasComponent alone", OpcUa_BrowseDirection_Both, UaNodeId(47, 0), false, 0, {"Component"}},
        {"HasComponent and subtypes",
         OpcUa_BrowseDirection_Both,
         UaNodeId(47, 0),
         true,
         0,
         {"Component", "Ordered"}},
        {"Aggregates",
         OpcUa_BrowseDirection_Both,
         UaNodeId(44, 0),
         true,
         0,
         {"Component", "Ordered", "Property"}},
        {"HierarchicalReferences",
         OpcUa_BrowseDirection_Both,
         UaNodeId(33, 0),
         true,
         0,
         {"Component", "Ordered", "Property", "Parent"}},
        {"HierarchicalReferences inverse",
         OpcUa_BrowseDirection_Inverse,
         UaNodeId(33, 0),
         true,
         0,
         {"Parent"}},
        {"HasCause under NonHierarchicalReferences",
         OpcUa_BrowseDirection_Both,
         UaNodeId(32, 0),
         true,
         0,
         {"Cause"}},
        {"a type of another namespace, exactly",
         OpcUa_BrowseDirection_Both,
         m_customType,
         false,
         0,
         {"Custom"}},
        {"an unknown numeric type of another namespace",
         OpcUa_BrowseDirection_Both,
         UaNodeId(47, 2),
         true,
         0,
         {}},
        {"variables only",
         OpcUa_BrowseDirection_Both,
         UaNodeId(),
         true,
         OpcUa_NodeClass_Variable,
         {"Ordered"}},
        {"objects and variables",
         OpcUa_BrowseDirection_Both,
         UaNodeId(),
         true,
         OpcUa_NodeClass_Object | OpcUa_NodeClass_Variable,
         {"Component", "Ordered", "Property", "Cause", "Custom", "Parent"}},
        {"methods only", OpcUa_BrowseDirection_Both, UaNodeId(), true, OpcUa_NodeClass_Method, {}},
    };
    for (const FilterCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        Browse request;
        request.node = m_hub;
        request.direction = c.direction;
        request.referenceType = c.filter;
        request.includeSubtypes = c.includeSubtypes;
        request.nodeClassMask = c.mask;
        std::vector<std::string> names;
        for (const Ref& ref : BrowseRun(m_a, request).all())
            names.push_back(ref.browseName);
        EXPECT_EQ(names, c.names);
    }
}

TEST_F(FilterTest, AStringTypeFilterOfAnotherNamespaceIsRefused)
{
    UaTraceCapture trace(6);
    Browse request;
    request.node = m_hub;
    request.referenceType = UaNodeId(UaString("Custom"), 3);
    BrowseRun run(m_a, request);
    std::vector<Ref> refs;
    EXPECT_EQ(run.page(refs).code(), static_cast<OpcUa_StatusCode>(OpcUa_BadReferenceTypeIdInvalid));
    EXPECT_TRUE(refs.empty());
    EXPECT_FALSE(run.hasMore());
    EXPECT_TRUE(trace.contains(6, "<-- UaReferenceLists::browseReferences [ret=Bad_ReferenceTypeIdInvalid]"));
}

TEST_F(FilterTest, TheResultMaskChoosesTheFields)
{
    const Ref full{47,
                   true,
                   text(UaNodeId(10, 2)),
                   "Component",
                   "Component",
                   OpcUa_NodeClass_Object,
                   text(g_baseObjectType)};
    const Ref inverseFull{
        35, false, text(UaNodeId(20, 2)), "Parent", "Parent", OpcUa_NodeClass_Object, text(g_baseObjectType)};
    for (OpcUa_UInt32 mask = 0; mask <= 63; ++mask)
    {
        SCOPED_TRACE(mask);
        Browse request;
        request.node = m_hub;
        request.resultMask = mask;
        const std::vector<Ref> refs = BrowseRun(m_a, request).all();
        ASSERT_EQ(refs.size(), 6u);
        for (const auto& [got, want] : {std::pair{refs.front(), full}, std::pair{refs.back(), inverseFull}})
        {
            EXPECT_EQ(got.target, want.target) << "the NodeId always";
            EXPECT_EQ(got.type, (mask & 1) ? want.type : 0u);
            EXPECT_EQ(got.isForward, (mask & 2) ? want.isForward : false);
            EXPECT_EQ(got.nodeClass, (mask & 4) ? want.nodeClass : 0);
            EXPECT_EQ(got.browseName, (mask & 8) ? want.browseName : "");
            EXPECT_EQ(got.displayName, (mask & 16) ? want.displayName : "");
            EXPECT_EQ(got.typeDefinition, (mask & 32) ? want.typeDefinition : "");
        }
    }
}

TEST_F(BrowseTest, ReferencesOfAnotherNodeManagerFollowWithoutTheirTypeDefinition)
{
    // X lives in A; B keeps three more references of it through an alias, which B connects to X.
    const UaNodeId x(1, 2);
    ASSERT_TRUE(m_a.addUaNode(newObject(x, "X")).isGood());
    addObject(m_a, x, UaNodeId(2, 2), "A1");
    addObject(m_a, x, UaNodeId(3, 2), "A2");
    ASSERT_TRUE(m_b.addAlias(x, "X", m_a).isGood());
    for (OpcUa_UInt32 i = 1; i <= 3; ++i)
        addObject(m_b, x, UaNodeId(i, 3), "B" + std::to_string(i));
    // And one reference by NodeId to a variable of B, named through the reader.
    ASSERT_TRUE(m_b.addUaNode(new TestVariable(UaNodeId(9, 3), "B9", UaVariant(1.0))).isGood());
    ASSERT_TRUE(m_a.addReferenceByNodeId(x, UaNodeId(9, 3), 47, OpcUa_NodeClass_Variable, &m_b).isGood());

    const std::vector<Ref> expected{
        typeDefinitionRef(g_baseObjectType, "BaseObjectType", OpcUa_NodeClass_ObjectType),
        childRef(UaNodeId(2, 2), "A1"),
        childRef(UaNodeId(3, 2), "A2"),
        Ref{47, true, text(UaNodeId(9, 3)), "B9", "B9", OpcUa_NodeClass_Variable, ""},
        childRef(UaNodeId(1, 3), "B1"),
        childRef(UaNodeId(2, 3), "B2"),
        childRef(UaNodeId(3, 3), "B3")};
    for (OpcUa_UInt32 maxReferences : {0u, 2u, 3u})
    {
        SCOPED_TRACE(maxReferences);
        Browse request;
        request.node = x;
        request.direction = OpcUa_BrowseDirection_Forward;
        request.maxReferences = maxReferences;
        std::vector<std::size_t> pages;
        EXPECT_EQ(BrowseRun(m_a, request).all(&pages), expected);
        EXPECT_EQ(pages.size(), maxReferences ? (expected.size() + maxReferences - 1) / maxReferences : 1);
    }

    // Without ReferenceTypeId asked, the foreign results come without it too, and still without
    // their type definition.
    Browse request;
    request.node = x;
    request.resultMask = OpcUa_BrowseResultMask_All & ~OpcUa_BrowseResultMask_ReferenceTypeId;
    const std::vector<Ref> withoutTypes = BrowseRun(m_a, request).all();
    ASSERT_EQ(withoutTypes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(withoutTypes[i].type, 0u);
        EXPECT_EQ(withoutTypes[i].target, expected[i].target);
    }

    // Once B lets go, browsing X shows A's own references only.
    ASSERT_TRUE(m_a.disconnectStartingNode(x, &m_b).isGood());
    request.resultMask = OpcUa_BrowseResultMask_All;
    EXPECT_EQ(BrowseRun(m_a, request).all(), std::vector<Ref>(expected.begin(), expected.begin() + 4));
}

TEST_F(BrowseTest, AFailingNodeManagerIsTracedAndSkipped)
{
    const UaNodeId x(1, 2);
    ASSERT_TRUE(m_a.addUaNode(newObject(x, "X")).isGood());
    addObject(m_a, x, UaNodeId(2, 2), "A1");
    FailingNodeManager failing;
    ASSERT_TRUE(m_a.connectStartingNode(x, &failing, true, false).isGood());
    ASSERT_TRUE(m_b.addAlias(x, "X", m_a).isGood());
    addObject(m_b, x, UaNodeId(1, 3), "B1");

    UaTraceCapture trace(7);
    Browse request;
    request.node = x;
    request.direction = OpcUa_BrowseDirection_Forward;
    std::vector<std::string> names;
    for (const Ref& ref : BrowseRun(m_a, request).all())
        names.push_back(ref.browseName);
    EXPECT_EQ(names, (std::vector<std::string>{"BaseObjectType", "A1", "B1"}));
    EXPECT_EQ(failing.browseCalls, 1);
    EXPECT_EQ(trace.count(1, "UaReferenceLists::browseReferences FAILED for registered NodeManager"), 1u);
}

TEST_F(FilterTest, TheBrowseFilterDropsReferencesThatStillCountAsDelivered)
{
    const UaNodeId node(200, 2);
    ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("Filtered", node, "en", false)).isGood());
    for (const char* name : {"v0", "hidden1", "hidden2", "v3", "v4", "v5"})
        addObject(m_a, node, UaNodeId(UaString(name), 2), name, 47);
    HidingFilter filter;
    m_a.setBrowseFilter(&filter);
    Browse request(node, 3);
    BrowseRun run(m_a, request);
    std::vector<Ref> page;
    ASSERT_TRUE(run.page(page).isGood());
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].browseName, "v0");
    EXPECT_TRUE(run.hasMore());
    ASSERT_TRUE(run.page(page).isGood());
    ASSERT_EQ(page.size(), 3u);
    EXPECT_EQ(page[2].browseName, "v5");
    EXPECT_FALSE(run.hasMore());
    EXPECT_EQ(filter.asked, 6);

    ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("secret", UaNodeId(201, 2), "en", false)).isGood());
    addObject(m_a, UaNodeId(201, 2), UaNodeId(202, 2), "v", 47);
    request.node = UaNodeId(201, 2);
    BrowseRun secret(m_a, request);
    EXPECT_TRUE(secret.page(page).isGood());
    EXPECT_TRUE(page.empty()) << "a starting node the filter refuses shows nothing";
    m_a.setBrowseFilter(nullptr);
}

TEST_F(BrowseTest, PendingMatchesSurviveTheirNodesBeingDeletedAndReAdded)
{
    const UaNodeId hub(UaString("Hub"), 2);
    ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("Hub", hub, "en", false)).isGood());
    for (OpcUa_UInt32 i = 0; i < 10; ++i)
        addObject(m_a, hub, UaNodeId(UaString(("N" + std::to_string(i)).c_str()), 2),
                  "N" + std::to_string(i));
    Browse request(hub, 4);
    BrowseRun run(m_a, request);
    std::vector<Ref> page;
    ASSERT_TRUE(run.page(page).isGood());
    ASSERT_EQ(page.size(), 4u);

    // Between the calls every pending far node goes, and new nodes take their NodeIds.
    for (OpcUa_UInt32 i = 4; i < 10; ++i)
    {
        const UaNodeId id(UaString(("N" + std::to_string(i)).c_str()), 2);
        ReferenceHolder<UaNode> node = ReferenceHolder<UaNode>::adopt(m_a.getNode(id));
        ASSERT_TRUE(m_a.deleteUaNode(node.get(), true, true, false).isGood());
        ASSERT_TRUE(m_a.addUaNode(newObject(id, "new")).isGood());
    }
    std::vector<std::string> names;
    while (run.hasMore())
    {
        ASSERT_TRUE(run.page(page).isGood());
        for (const Ref& ref : page)
            names.push_back(ref.browseName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"N4", "N5", "N6", "N7", "N8", "N9"}))
        << "what was matched is delivered as it was";

    // The starting node itself may go too: the next call finds no node to continue at.
    BrowseRun again(m_a, request);
    ASSERT_TRUE(again.page(page).isGood());
    ReferenceHolder<UaNode> node = ReferenceHolder<UaNode>::adopt(m_a.getNode(hub));
    ASSERT_TRUE(m_a.deleteUaNode(node.get(), true, true, false).isGood());
    node.reset();
    EXPECT_EQ(again.page(page).code(), static_cast<OpcUa_StatusCode>(OpcUa_BadNodeIdUnknown));
}

TEST_F(BrowseTest, AWalkWithoutANodeLockRunsUnlocked)
{
    auto* folder = new UaFolder("F", UaNodeId(1, 2), "en");
    ASSERT_TRUE(m_a.addUaNode(folder).isGood());
    addObject(m_a, UaNodeId(1, 2), UaNodeId(2, 2), "child");
    OpcUa_BrowseDescription description;
    OpcUa_BrowseDescription_Initialize(&description);
    description.NodeId = *folder->nodeId().toOpcUaNodeId();
    description.BrowseDirection = OpcUa_BrowseDirection_Forward;
    description.ResultMask = OpcUa_BrowseResultMask_All;
    BrowseContext browseContext(nullptr, description, 0);
    const ServiceContext noLocks;
    EXPECT_EQ(noLocks.nodeLock(2), nullptr);
    UaReferenceDescriptionArray references;
    ASSERT_TRUE(folder->browse(noLocks, browseContext, references).isGood());
    ASSERT_EQ(references.length(), 2u);
    EXPECT_EQ(toRef(references[0]).target, text(UaNodeId(61, 0)))
        << "a folder's type definition is FolderType";
    EXPECT_EQ(toRef(references[1]).browseName, "child");
}
TEST_F(BrowseTest, TypeAndMethodNodesTraceTheirBrowse)
{
    ASSERT_TRUE(m_a.addUaNode(new UaObjectTypeSimple("PumpType", UaNodeId(6, 2), "en", false)).isGood());
    ASSERT_TRUE(m_a.addUaNode(new UaMethodGeneric("Start", UaNodeId(UaString("Start"), 2), "en")).isGood());
    UaTraceCapture trace(6);
    BrowseRun(m_a, Browse(UaNodeId(6, 2))).all();
    BrowseRun(m_a, Browse(UaNodeId(UaString("Start"), 2))).all();
    EXPECT_EQ(
        trace.texts(),
        (std::vector<std::string>{
            "--> UaObjectTypeSimple::browse - ObjectType NS2|Numeric|6",
            "--> UaReferenceLists::browseReferences", "<-- UaReferenceLists::browseReferences [ret=0x0]",
            "<-- UaObjectTypeSimple::browse [ret=0x0]",
            "--> UaMethodGeneric::browse - Method NS2|String|Start", "--> UaReferenceLists::browseReferences",
            "<-- UaReferenceLists::browseReferences [ret=0x0]", "<-- UaMethodGeneric::browse [ret=0x0]"}));
}
} // namespace
