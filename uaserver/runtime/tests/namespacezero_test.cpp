// Namespace 0 as a client finds it: a walk from Root over the hierarchical references, compared
// node by node with the standard NodeSet (and the standard NodeId list where present), with the
// deviations this server keeps listed in the expectations file.
#include "nodeset_facts.h"
#include "servertestbed.h"

#include <eventregistry.h>
#include <uasession.h>
#include <referencetypes.h>
#include <uanode.h>

#include <uadatavalue.h>

#include <fstream>
#include <optional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

using namespace nodesetfacts;
using namespace servertest;

namespace
{
// The facts of one node, as the NodeSet gives them and as the server answers them.
struct NodeFacts
{
    std::string nodeClass, browseName, parent, referenceType, isAbstract, symmetric, inverseName, dataType,
        enumStrings;

    std::map<std::string, std::string> byField() const
    {
        return {{"class", nodeClass},        {"browseName", browseName},   {"isAbstract", isAbstract},
                {"symmetric", symmetric},    {"inverseName", inverseName}, {"dataType", dataType},
                {"enumStrings", enumStrings}};
    }
};

std::map<OpcUa_UInt32, NodeFacts> readOracle(const std::string& path)
{
    std::map<OpcUa_UInt32, NodeFacts> oracle;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        const std::vector<std::string> f = split(line, '|');
        if (f.size() < 10)
            continue;
        oracle[static_cast<OpcUa_UInt32>(std::stoul(f[0]))] = {f[1], f[2], f[3], f[4], f[5],
                                                               f[6], f[7], f[8], f[9]};
    }
    return oracle;
}

std::string boolText(const UaDataValue& value)
{
    OpcUa_Boolean b = OpcUa_False;
    return value.statusCode() == OpcUa_Good && UaVariant(value.value()).toBool(b) == OpcUa_Good && b
               ? "true"
               : "false";
}

struct Walk
{
    // Every node reached and every forward reference seen (source, type, target).
    std::set<OpcUa_UInt32> reached;
    std::vector<OpcUa_UInt32> order;
    std::set<std::tuple<OpcUa_UInt32, OpcUa_UInt32, OpcUa_UInt32>> edges;
    // Every NodeId answered as a reference type, a target or a type definition.
    std::set<UaNodeId> answered;
};

Walk walkFromRoot(NodeManagerRoot& root)
{
    Walk walk;
    std::vector<OpcUa_UInt32> queue{84};
    walk.reached.insert(84);
    for (size_t next = 0; next < queue.size(); ++next)
    {
        const OpcUa_UInt32 id = queue[next];
        walk.order.push_back(id);
        // All forward references: the hierarchical ones lead on, all are checked for what they name.
        UaReferenceDescriptionArray references;
        BrowseRequest request(UaNodeId(id, 0), OpcUa_BrowseDirection_Forward, 31);
        EXPECT_TRUE(request.run(root, references).isGood()) << id;
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
        {
            const OpcUa_ReferenceDescription& reference = references[i];
            const UaNodeId target(reference.NodeId.NodeId);
            const UaNodeId type(reference.ReferenceTypeId);
            walk.answered.insert(type);
            walk.answered.insert(target);
            if (!UaNodeId(reference.TypeDefinition.NodeId).isNull())
                walk.answered.insert(UaNodeId(reference.TypeDefinition.NodeId));
            if (target.namespaceIndex() != 0 || target.identifierType() != OpcUa_IdentifierType_Numeric)
                continue;
            const OpcUa_UInt32 targetId = target.identifierNumeric();
            const OpcUa_UInt32 typeId = type.identifierNumeric();
            walk.edges.insert({id, typeId, targetId});
            if (isReferenceTypeMatch(UaNodeId(33, 0), typeId, true) && walk.reached.insert(targetId).second)
                queue.push_back(targetId);
        }
    }
    return walk;
}

NodeFacts answerOf(NodeManagerRoot& root, OpcUa_UInt32 id)
{
    NodeFacts facts;
    UaNode* node = root.getNode(UaNodeId(id, 0));
    if (!node)
        return facts;
    auto read = [node](OpcUa_Int32 attributeId)
    {
        UaDataValue value;
        node->getAttributeValue(nullptr, attributeId, value);
        return value;
    };
    facts.nodeClass = std::to_string(static_cast<int>(node->nodeClass()));
    facts.browseName = node->browseName().name().toUtf8();
    const OpcUa_NodeClass nodeClass = node->nodeClass();
    const bool isType = nodeClass == OpcUa_NodeClass_ObjectType ||
                        nodeClass == OpcUa_NodeClass_VariableType ||
                        nodeClass == OpcUa_NodeClass_ReferenceType || nodeClass == OpcUa_NodeClass_DataType;
    facts.isAbstract = isType ? boolText(read(8)) : "false";
    facts.symmetric = nodeClass == OpcUa_NodeClass_ReferenceType ? boolText(read(9)) : "false";
    if (nodeClass == OpcUa_NodeClass_ReferenceType)
    {
        const UaDataValue inverse = read(10);
        if (inverse.statusCode() == OpcUa_Good)
        {
            UaLocalizedText text;
            UaVariant(inverse.value()).toLocalizedText(text);
            facts.inverseName = text.text().toUtf8();
        }
    }
    if (nodeClass == OpcUa_NodeClass_Variable || nodeClass == OpcUa_NodeClass_VariableType)
    {
        UaNodeId dataType;
        UaVariant(read(14).value()).toNodeId(dataType);
        facts.dataType = std::to_string(dataType.identifierNumeric());
    }
    if (facts.browseName == "EnumStrings")
    {
        const UaVariant value = read(13).value();
        const OpcUa_Variant* raw = value;
        if (raw->ArrayType == OpcUa_VariantArrayType_Array && raw->Datatype == OpcUaType_LocalizedText)
            for (OpcUa_Int32 i = 0; i < raw->Value.Array.Length; ++i)
                facts.enumStrings +=
                    (i ? ";" : "") +
                    std::string(UaString(&raw->Value.Array.Value.LocalizedTextArray[i].Text).toUtf8());
    }
    node->releaseReference();
    return facts;
}

} // namespace

TEST(NamespaceZero, EveryNodeIsReachableFromRootAndAnswersWhatItNames)
{
    StartedServer server;
    NodeManagerRoot& root = server.root();
    // An activated session hangs its diagnostics object below the sessions' summary, and the walk
    // checks the type it names too.
    auto* session = new UaSession(1, UaNodeId(1, 0));
    session->open(UaString("walker"), UaByteString(), 60000);
    UaStringArray locales;
    ASSERT_TRUE(session->activate(1, nullptr, locales).isGood());
    const Walk walk = walkFromRoot(root);
    EXPECT_TRUE(walk.answered.count(UaNodeId(2029, 0)));
    const Expectations expectations(UASERVER_NS0_EXPECTATIONS);

    // The types, the Server object's subtree and the declarations of its three types.
    EXPECT_EQ(walk.reached.size(), 271u);
    // Nothing in the table that the walk missed.
    for (OpcUa_UInt32 id = 0; id < 20000; ++id)
        if (UaNode* node = root.getNode(UaNodeId(id, 0)))
        {
            EXPECT_TRUE(walk.reached.count(id)) << "unreachable node i=" << id;
            node->releaseReference();
        }
    // Every reference type, target and type definition answered exists, or is listed as missing.
    for (const UaNodeId& nodeId : walk.answered)
    {
        UaNode* node = root.getNode(nodeId);
        EXPECT_TRUE(node || expectations.listed(nodeId.identifierNumeric(), "missing"))
            << "answered but missing: " << nodeId.toFullString().toUtf8();
        if (node)
            node->releaseReference();
    }
    session->close(true);
    session->releaseReference();
    // BaseEventType's nine fields hold the first nine indexes.
    const char* fields[] = {"EventId",     "EventType", "SourceNode", "SourceName", "Time",
                            "ReceiveTime", "LocalTime", "Message",    "Severity"};
    for (OpcUa_UInt32 i = 0; i < 9; ++i)
        EXPECT_EQ(EventRegistry::findEventField(EventRegistry::fieldKey(UaQualifiedName(fields[i], 0))),
                  i + 1)
            << fields[i];
}

// A started server beside the facts of the standard NodeSet and the listed deviations.
class NamespaceZeroAgainstStandard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::ifstream(UASERVER_NS0_ORACLE).good())
            GTEST_SKIP() << "no NodeSet extract at " << UASERVER_NS0_ORACLE;
        oracle = readOracle(UASERVER_NS0_ORACLE);
        server.emplace([this](FakeServerConfig& config) { configure(config); });
    }

    // How the server is configured before it starts.
    virtual void configure(FakeServerConfig&) const {}
    NodeManagerRoot& root() { return server->root(); }
    // Every node the walk reaches against the NodeSet and the listed deviations.
    void expectMatchesStandard(const Walk& walk);

    std::map<OpcUa_UInt32, NodeFacts> oracle;
    const Expectations expectations{UASERVER_NS0_EXPECTATIONS};
    std::optional<StartedServer> server;
};

// The same with auditing on, which adds the audit event types.
class NamespaceZeroWithAuditingAgainstStandard : public NamespaceZeroAgainstStandard
{
protected:
    void configure(FakeServerConfig& config) const override { config.auditing = true; }
};

void NamespaceZeroAgainstStandard::expectMatchesStandard(const Walk& walk)
{
    NodeManagerRoot& root = this->root();
    for (OpcUa_UInt32 id : walk.order)
    {
        SCOPED_TRACE("i=" + std::to_string(id));
        const NodeFacts ours = answerOf(root, id);
        const auto standard = oracle.find(id);
        if (standard == oracle.end())
        {
            EXPECT_TRUE(expectations.listed(id, "absent")) << "not in the NodeSet and not listed";
            continue;
        }
        const std::map<std::string, std::string> expected = standard->second.byField();
        for (const auto& [field, answer] : ours.byField())
        {
            std::string allowedAnswer;
            if (answer == expected.at(field))
                continue;
            EXPECT_TRUE(expectations.allowed(id, ours.nodeClass, field, allowedAnswer) &&
                        allowedAnswer == answer)
                << field << ": answered '" << answer << "', standard '" << expected.at(field) << "'";
        }
        // The standard's parent reaches the node by the standard's reference.
        if (id != 84 && !standard->second.parent.empty())
        {
            const auto edge =
                std::make_tuple(static_cast<OpcUa_UInt32>(std::stoul(standard->second.parent)),
                                static_cast<OpcUa_UInt32>(std::stoul(standard->second.referenceType)), id);
            std::string allowedParent;
            EXPECT_TRUE(walk.edges.count(edge) ||
                        expectations.allowed(id, ours.nodeClass, "parent", allowedParent))
                << "no reference " << standard->second.referenceType << " from i=" << standard->second.parent;
        }
    }
}

TEST_F(NamespaceZeroAgainstStandard, EveryNodeMatchesTheStandardOrItsListedDeviation)
{
    NodeManagerRoot& root = this->root();
    const Walk walk = walkFromRoot(root);
    expectMatchesStandard(walk);

    const std::string nodeIds = referenceFile("NodeIds.csv");
    if (nodeIds.empty())
        GTEST_SKIP() << "no standard NodeId list beside the project";
    std::map<OpcUa_UInt32, std::pair<std::string, std::string>> listed;
    std::ifstream in(nodeIds);
    std::string line;
    while (std::getline(in, line))
        if (const std::vector<std::string> f = split(line, ','); f.size() >= 3)
            listed[static_cast<OpcUa_UInt32>(std::stoul(f[1]))] = {f[0], f[2]};
    const std::map<std::string, std::string> classNames = {{"1", "Object"},         {"2", "Variable"},
                                                           {"8", "ObjectType"},     {"16", "VariableType"},
                                                           {"32", "ReferenceType"}, {"64", "DataType"}};
    for (OpcUa_UInt32 id : walk.order)
    {
        const NodeFacts ours = answerOf(root, id);
        const auto found = listed.find(id);
        if (found == listed.end())
        {
            EXPECT_TRUE(expectations.listed(id, "absent")) << "i=" << id << " not in the NodeId list";
            continue;
        }
        // Types are listed under their own names; folders and instances under names of their own.
        const bool isType = ours.nodeClass == "8" || ours.nodeClass == "16" || ours.nodeClass == "32" ||
                            ours.nodeClass == "64";
        std::string allowed;
        if (found->second.second != classNames.at(ours.nodeClass))
        {
            EXPECT_TRUE(expectations.allowed(id, ours.nodeClass, "class", allowed)) << "class of i=" << id;
        }
        else if (isType && found->second.first != ours.browseName)
        {
            EXPECT_TRUE(expectations.allowed(id, ours.nodeClass, "browseName", allowed))
                << "name of i=" << id;
        }
    }
}

TEST_F(NamespaceZeroWithAuditingAgainstStandard, TheAuditEventTypesMatchTheStandardToo)
{
    const Walk walk = walkFromRoot(root());
    for (OpcUa_UInt32 id : {2052u, 2058u, 2059u, 2060u, 2069u, 2071u, 2748u, 2075u, 2078u, 2080u,
                            2082u, 2085u, 2086u, 2087u, 2088u, 2089u, 2099u, 2100u, 2077u, 2102u})
        EXPECT_TRUE(walk.reached.count(id)) << id;
    expectMatchesStandard(walk);
}

TEST_F(NamespaceZeroWithAuditingAgainstStandard, EveryListedDeviationStillApplies)
{
    NodeManagerRoot& root = this->root();
    for (const auto& [key, answer] : expectations.entries)
    {
        const auto& [node, field] = key;
        if (node.rfind("class:", 0) == 0)
            continue;
        SCOPED_TRACE(node + " " + field);
        const OpcUa_UInt32 id = static_cast<OpcUa_UInt32>(std::stoul(node));
        UaNode* built = root.getNode(UaNodeId(id, 0));
        if (built)
            built->releaseReference();
        if (field == "missing")
        {
            EXPECT_EQ(built, nullptr);
            continue;
        }
        ASSERT_NE(built, nullptr);
        const auto standard = oracle.find(id);
        if (field == "absent")
        {
            EXPECT_EQ(standard, oracle.end());
            continue;
        }
        ASSERT_NE(standard, oracle.end());
        if (field == "parent")
            continue;
        const std::map<std::string, std::string> ours = answerOf(root, id).byField();
        EXPECT_EQ(ours.at(field), answer);
        EXPECT_NE(standard->second.byField().at(field), answer);
    }
}

TEST(NamespaceZero, TwoStartAndStopCyclesGiveTheSameNamespace)
{
    std::vector<OpcUa_UInt32> orders[2];
    std::map<OpcUa_UInt32, std::map<std::string, std::string>> answers[2];
    for (int cycle = 0; cycle < 2; ++cycle)
    {
        StartedServer server;
        const Walk walk = walkFromRoot(server.root());
        orders[cycle] = walk.order;
        for (OpcUa_UInt32 id : walk.order)
            answers[cycle][id] = answerOf(server.root(), id).byField();
    }
    EXPECT_EQ(orders[0], orders[1]);
    EXPECT_EQ(answers[0], answers[1]);
    EXPECT_EQ(EventRegistry::findEventField("ns=0|Severity"), 9u);
}

TEST(NamespaceZero, DisplayNamesCarryTheLocaleOfTheirBuilder)
{
    StartedServer server;
    struct Row
    {
        OpcUa_UInt32 id;
        const char* locale;
    };
    // Folders, the object and variable types and the reference types in English; data types, the
    // variable node classes' own types and the event types without a locale.
    const Row rows[] = {{84, "en"}, {3048, "en"}, {58, "en"}, {2138, "en"}, {2034, "en"}, {35, "en"},
                        {31, "en"}, {24, ""},     {852, ""},  {62, ""},     {63, ""},     {68, ""},
                        {2041, ""}, {2130, ""},   {61, ""},   {2310, ""},   {2255, "en"}, {7612, "en"}};
    for (const Row& row : rows)
    {
        UaNode* node = server.root().getNode(UaNodeId(row.id, 0));
        ASSERT_NE(node, nullptr) << row.id;
        EXPECT_EQ(std::string(node->displayName(nullptr).locale().toUtf8()), row.locale) << row.id;
        node->releaseReference();
    }
    // An inverse name is English too.
    UaNode* hasEffect = server.root().getNode(UaNodeId(54, 0));
    ASSERT_NE(hasEffect, nullptr);
    UaDataValue inverse;
    hasEffect->getAttributeValue(nullptr, 10, inverse);
    UaLocalizedText text;
    UaVariant(inverse.value()).toLocalizedText(text);
    EXPECT_EQ(text, UaLocalizedText("en", "MayBeEffectedBy"));
    hasEffect->releaseReference();
}
