// The DI and PLCopen type models as a server started the application's way serves them: walked
// from Root and compared node by node with the standard NodeSets (deviations listed in the
// expectations file), their builders, the object classes of their declarations, a start in the
// wrong order and repeated start and stop cycles in one process.
#include "companion_models.h"
#include "nodeset_facts.h"
#include "servertestbed.h"

#include <diobjects.h>
#include <methodmanager.h>
#include <referencetypes.h>
#include <standardnodeids.h>
#include <uamethodgeneric.h>
#include <uanode.h>

#include <uadatavalue.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace nodesetfacts;
using namespace servertest;
using uaserver::testing::CompanionModels;

namespace
{
// The configuration's part at shut-down: the server manager's shut-down ends both node managers.
class CompanionConfig : public FakeServerConfig
{
public:
    CompanionModels* models = nullptr;
    UaStatus shutDown() override
    {
        FakeServerConfig::shutDown();
        return models->shutDown();
    }
};

// A server started as the application starts it; the node managers are deleted after the root.
struct CompanionServer
{
    explicit CompanionServer(CompanionModels* companions = new CompanionModels) : models(companions)
    {
        config.models = models.get();
        EXPECT_TRUE(serverManager.startUp(&config).isGood());
        models->startUp(&serverManager);
    }
    ~CompanionServer() { serverManager.shutDown(); }
    NodeManagerRoot& root() { return *NodeManagerRoot::instance(); }

    std::unique_ptr<CompanionModels> models;
    CompanionConfig config;
    ServerManager serverManager;
};

// Node managers that only become their builders' target, so a test calls the builders itself.
struct BareDI : NodeManagerDI
{
    UaStatus afterStartUp() override
    {
        enterStarted();
        return OpcUa_Good;
    }
};
struct BarePLCopen : NodeManagerPLCopen
{
    UaStatus afterStartUp() override
    {
        enterStarted();
        return OpcUa_Good;
    }
};

// "i=58", "ns=2;i=1001", "ns=3;s=5004.SupportedTypes".
std::string nodeText(const UaNodeId& nodeId)
{
    const std::string identifier = nodeId.identifierType() == OpcUa_IdentifierType_Numeric
                                       ? "i=" + std::to_string(nodeId.identifierNumeric())
                                       : "s=" + std::string(nodeId.toString().toUtf8());
    return nodeId.namespaceIndex() == 0 ? identifier
                                        : "ns=" + std::to_string(nodeId.namespaceIndex()) + ";" + identifier;
}

UaNodeId diId(OpcUa_UInt32 id)
{
    return UaNodeId(id, NodeManagerDI::namespaceIndex());
}

UaNodeId plcId(OpcUa_UInt32 id)
{
    return UaNodeId(id, NodeManagerPLCopen::namespaceIndex());
}

// A reference of a browse answer, copied out of it.
struct Reference
{
    UaNodeId target;
    std::string browseName;
};

// The references of one node of any namespace.
std::vector<Reference> browse(NodeManager& root, const UaNodeId& node, OpcUa_UInt32 referenceTypeId,
                              OpcUa_UInt32 direction = OpcUa_BrowseDirection_Forward)
{
    UaReferenceDescriptionArray references;
    BrowseRequest request(node, direction, referenceTypeId);
    EXPECT_TRUE(request.run(root, references).isGood()) << nodeText(node);
    std::vector<Reference> result;
    for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
        result.push_back(
            {UaNodeId(references[i].NodeId.NodeId), UaString(&references[i].BrowseName.Name).toUtf8()});
    return result;
}

// Every node reached from Root over hierarchical references, in all namespaces.
struct Walk
{
    std::vector<UaNodeId> order;
    // "source,reference type,target" of every hierarchical reference seen.
    std::set<std::string> edges;
    std::map<std::string, std::string> modellingRule, typeDefinition;

    std::vector<UaNodeId> inNamespace(OpcUa_UInt16 ns) const
    {
        std::vector<UaNodeId> nodes;
        for (const UaNodeId& node : order)
            if (node.namespaceIndex() == ns)
                nodes.push_back(node);
        return nodes;
    }
};

Walk walkFromRoot(NodeManager& root)
{
    Walk walk;
    std::vector<UaNodeId> queue{UaNodeId(StandardNodeId::RootFolder, 0)};
    std::set<std::string> reached{nodeText(queue.front())};
    for (std::size_t next = 0; next < queue.size(); ++next)
    {
        const UaNodeId node = queue[next];
        const std::string source = nodeText(node);
        walk.order.push_back(node);
        // The reference descriptions own their NodeIds: copy before the array goes.
        UaReferenceDescriptionArray references;
        BrowseRequest request(node, OpcUa_BrowseDirection_Forward, ReferenceTypeId::References);
        EXPECT_TRUE(request.run(root, references).isGood()) << source;
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
        {
            const UaNodeId target(references[i].NodeId.NodeId);
            const OpcUa_UInt32 type = UaNodeId(references[i].ReferenceTypeId).identifierNumeric();
            if (type == ReferenceTypeId::HasModellingRule)
                walk.modellingRule[source] = nodeText(target);
            else if (type == ReferenceTypeId::HasTypeDefinition)
                walk.typeDefinition[source] = nodeText(target);
            if (!isReferenceTypeMatch(UaNodeId(ReferenceTypeId::HierarchicalReferences, 0), type, true))
                continue;
            walk.edges.insert(source + "," + std::to_string(type) + "," + nodeText(target));
            if (reached.insert(nodeText(target)).second)
                queue.push_back(target);
        }
    }
    return walk;
}

using Facts = std::map<std::string, std::string>;

// What the server answers for the fields the NodeSet extract holds.
Facts factsOf(NodeManagerRoot& root, const Walk& walk, const UaNodeId& nodeId)
{
    Facts facts;
    UaNode* node = root.getNode(nodeId);
    if (!node)
        return facts;
    auto read = [node](OpcUa_Int32 attributeId)
    {
        UaDataValue value;
        node->getAttributeValue(nullptr, attributeId, value);
        return UaVariant(value.value());
    };
    const OpcUa_NodeClass nodeClass = node->nodeClass();
    facts["class"] = std::to_string(static_cast<int>(nodeClass));
    facts["browseName"] = node->browseName().name().toUtf8();
    facts["browseNamespace"] = std::to_string(node->browseName().namespaceIndex());
    OpcUa_Boolean isAbstract = OpcUa_False;
    if (nodeClass == OpcUa_NodeClass_ObjectType)
        read(8).toBool(isAbstract);
    facts["isAbstract"] = isAbstract ? "true" : "false";
    if (nodeClass == OpcUa_NodeClass_Variable)
    {
        UaNodeId dataType;
        read(14).toNodeId(dataType);
        OpcUa_Int32 valueRank = 0;
        read(15).toInt32(valueRank);
        facts["dataType"] = nodeText(dataType);
        facts["valueRank"] = std::to_string(valueRank);
    }
    else
        facts["dataType"] = facts["valueRank"] = "";
    const std::string text = nodeText(nodeId);
    facts["modellingRule"] = walk.modellingRule.count(text) ? walk.modellingRule.at(text) : "";
    facts["typeDefinition"] = walk.typeDefinition.count(text) ? walk.typeDefinition.at(text) : "";
    node->releaseReference();
    return facts;
}

struct OracleNode
{
    Facts facts;
    std::string parent, referenceType;
};

std::map<std::string, OracleNode> readOracle(const std::string& path)
{
    std::map<std::string, OracleNode> oracle;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        const std::vector<std::string> f = split(line, '|');
        if (f.size() < 14)
            continue;
        oracle[f[0]] = {{{"class", f[1]},
                         {"browseName", f[2]},
                         {"isAbstract", f[5]},
                         {"dataType", f[8]},
                         {"browseNamespace", f[10]},
                         {"modellingRule", f[11]},
                         {"typeDefinition", f[12]},
                         {"valueRank", f[13]}},
                        f[3],
                        f[4]};
    }
    return oracle;
}

const Expectations& expectations()
{
    static const Expectations listed(UASERVER_COMPANION_EXPECTATIONS);
    return listed;
}

// One namespace's walk against its NodeSet extract, the standard NodeId list and the deviations.
void compareWithStandard(CompanionServer& server, OpcUa_UInt16 ns, const std::string& oraclePath,
                         const char* nodeIdList)
{
    const std::map<std::string, OracleNode> oracle = readOracle(oraclePath);
    ASSERT_FALSE(oracle.empty());
    const Walk walk = walkFromRoot(server.root());
    for (const UaNodeId& nodeId : walk.inNamespace(ns))
    {
        const std::string node = nodeText(nodeId);
        SCOPED_TRACE(node);
        const Facts ours = factsOf(server.root(), walk, nodeId);
        const auto standard = oracle.find(node);
        if (standard == oracle.end())
        {
            EXPECT_TRUE(expectations().listed(node, "absent")) << "not in the NodeSet and not listed";
            continue;
        }
        for (const auto& [field, answer] : ours)
        {
            std::string allowed;
            if (answer == standard->second.facts.at(field))
                continue;
            EXPECT_TRUE(expectations().allowed(node, ours.at("class"), field, allowed) && allowed == answer)
                << field << ": answered '" << answer << "', standard '" << standard->second.facts.at(field)
                << "'";
        }
        // Reached from the standard's parent by the standard's reference, or from the listed one.
        std::string parent = standard->second.parent + "," + standard->second.referenceType;
        if (expectations().allowed(node, ours.at("class"), "parent", parent))
        {
            EXPECT_NE(parent, standard->second.parent + "," + standard->second.referenceType);
        }
        const std::vector<std::string> edge = split(parent, ',');
        ASSERT_EQ(edge.size(), 2u);
        EXPECT_TRUE(walk.edges.count(edge[0] + "," + edge[1] + "," + node)) << "no reference from " << parent;
    }
    // Every listed deviation of this namespace still applies.
    const std::string prefix = "ns=" + std::to_string(ns) + ";";
    for (const auto& [key, answer] : expectations().entries)
    {
        const auto& [node, field] = key;
        if (node.rfind(prefix, 0) != 0)
            continue;
        SCOPED_TRACE(node + " " + field);
        const auto standard = oracle.find(node);
        EXPECT_EQ(standard == oracle.end(), field == "absent");
        const std::vector<UaNodeId> nodes = walk.inNamespace(ns);
        EXPECT_TRUE(
            std::any_of(nodes.begin(), nodes.end(), [&](const UaNodeId& n) { return nodeText(n) == node; }));
        if (field != "absent" && field != "parent" && standard != oracle.end())
        {
            EXPECT_NE(standard->second.facts.at(field), answer);
            UaNode* built = server.root().getNode(UaNodeId(std::stoul(split(node, '=').back()), ns));
            ASSERT_NE(built, nullptr);
            built->releaseReference();
        }
    }

    const std::string listPath = referenceFile(nodeIdList);
    if (listPath.empty())
        GTEST_SKIP() << "no standard NodeId list " << nodeIdList << " beside the project";
    std::map<OpcUa_UInt32, std::pair<std::string, std::string>> listed;
    std::ifstream in(listPath);
    std::string line;
    while (std::getline(in, line))
        if (const std::vector<std::string> f = split(line, ','); f.size() >= 3)
            listed[static_cast<OpcUa_UInt32>(std::stoul(f[1]))] = {f[0], f[2]};
    const std::map<std::string, std::string> classNames = {
        {"1", "Object"}, {"2", "Variable"}, {"4", "Method"}, {"8", "ObjectType"}};
    for (const UaNodeId& nodeId : walk.inNamespace(ns))
    {
        const std::string node = nodeText(nodeId);
        if (expectations().listed(node, "absent"))
            continue;
        const auto found = listed.find(nodeId.identifierNumeric());
        ASSERT_NE(found, listed.end()) << node << " not in the NodeId list";
        const Facts ours = factsOf(server.root(), walk, nodeId);
        EXPECT_EQ(found->second.second, classNames.at(ours.at("class"))) << node;
        if (ours.at("class") == "8")
        {
            EXPECT_EQ(found->second.first, ours.at("browseName")) << node;
        }
    }
}

std::set<OpcUa_UInt32> builtTypes(bool (*isBuilt)(OpcUa_UInt32), OpcUa_UInt32 first, OpcUa_UInt32 last)
{
    std::set<OpcUa_UInt32> built;
    for (OpcUa_UInt32 id = first; id <= last; ++id)
        if (isBuilt(id))
            built.insert(id);
    return built;
}

std::set<OpcUa_UInt32> builtDiTypes()
{
    return builtTypes(NodeManagerDI::isTypeBuilt, DiNodeId::TopologyElementType, DiNodeId::ProtocolType);
}

std::set<OpcUa_UInt32> builtPLCopenTypes()
{
    return builtTypes(NodeManagerPLCopen::isTypeBuilt, PLCopenNodeId::CtrlConfigurationType,
                      PLCopenNodeId::SFCType);
}

bool exists(NodeManagerRoot& root, const UaNodeId& nodeId)
{
    UaNode* node = root.getNode(nodeId);
    if (node)
        node->releaseReference();
    return node != nullptr;
}

std::vector<std::string> browseNames(const std::vector<Reference>& references)
{
    std::vector<std::string> names;
    for (const Reference& reference : references)
        names.push_back(reference.browseName);
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

// First in this program: the statics are still those of a process that started nothing.
TEST(CompanionModels, AFreshStartGivesDiIndexTwoAndPLCopenThreeWithFourNamespaceUris)
{
    EXPECT_EQ(NodeManagerDI::namespaceIndex(), 0);
    EXPECT_EQ(NodeManagerPLCopen::namespaceIndex(), 0);
    CompanionServer server;
    EXPECT_EQ(NodeManagerDI::namespaceIndex(), 2);
    EXPECT_EQ(NodeManagerPLCopen::namespaceIndex(), 3);
    EXPECT_EQ(server.root().namespaceCount(), 3);
    EXPECT_EQ(std::string(server.root().namespaceUri(2).toUtf8()), NodeManagerDI::NamespaceUri);
    EXPECT_EQ(std::string(server.root().namespaceUri(3).toUtf8()), NodeManagerPLCopen::NamespaceUri);

    // DI: DeviceSet, 6 types, 17 declarations. PLCopen: CtrlTypes, 7 types, 19 declarations, 4
    // methods, 3 SupportedTypes folders. Nothing in the tables that the walk missed.
    const Walk walk = walkFromRoot(server.root());
    EXPECT_EQ(walk.inNamespace(2).size(), 24u);
    EXPECT_EQ(walk.inNamespace(3).size(), 34u);
    std::set<std::string> reached;
    for (const UaNodeId& node : walk.order)
        reached.insert(nodeText(node));
    for (OpcUa_UInt16 ns : {2, 3})
        for (OpcUa_UInt32 id = 0; id < 10000; ++id)
        {
            const UaNodeId nodeId(id, ns);
            EXPECT_TRUE(!exists(server.root(), nodeId) || reached.count(nodeText(nodeId)))
                << "unreachable " << nodeText(nodeId);
        }
    // Objects has DeviceSet as a component; ObjectTypes organizes the empty CtrlTypes.
    EXPECT_TRUE(walk.edges.count("i=85,47,ns=2;i=5001"));
    EXPECT_TRUE(walk.edges.count("i=88,35,ns=3;i=5030"));
    EXPECT_TRUE(browse(server.root(), plcId(PLCopenNodeId::CtrlTypes), ReferenceTypeId::References).size() ==
                1u)
        << "CtrlTypes holds only its type definition";
}

TEST(CompanionModels, DiMatchesItsNodeSetOrTheListedDeviations)
{
    CompanionServer server;
    compareWithStandard(server, 2, UASERVER_DI_ORACLE, "Opc.Ua.Di.NodeIds.csv");
}

TEST(CompanionModels, PLCopenMatchesItsNodeSetOrTheListedDeviations)
{
    if (!std::ifstream(UASERVER_PLCOPEN_ORACLE).good())
        GTEST_SKIP() << "no PLCopen NodeSet beside the project";
    CompanionServer server;
    compareWithStandard(server, 3, UASERVER_PLCOPEN_ORACLE, "Opc.Ua.PLCopen.NodeSet2_V1.02.csv");
}

TEST(CompanionModels, DeclarationsHangWhereTheModelPutsThem)
{
    CompanionServer server;
    NodeManagerRoot& root = server.root();
    // The folder of "Programs": a string NodeId in PLCopen's namespace, named in DI's.
    const UaNodeId folder("5016.SupportedTypes", 3);
    UaNode* node = root.getNode(folder);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->browseName(), UaQualifiedName("SupportedTypes", 2));
    EXPECT_EQ(node->typeDefinitionId(), UaNodeId(StandardNodeId::FolderType, 0));
    node->releaseReference();
    const auto parents = browse(root, folder, ReferenceTypeId::HasComponent, OpcUa_BrowseDirection_Inverse);
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(parents[0].target, plcId(5016));

    // Start is a component of the MethodSet, not of the type.
    const auto startParents =
        browse(root, plcId(7001), ReferenceTypeId::HasComponent, OpcUa_BrowseDirection_Inverse);
    ASSERT_EQ(startParents.size(), 1u);
    EXPECT_EQ(startParents[0].target, plcId(5002));
    EXPECT_EQ(browseNames(browse(root, plcId(5002), ReferenceTypeId::HasComponent)),
              (std::vector<std::string>{"Start", "Stop"}));
    for (const std::string& name : browseNames(
             browse(root, plcId(PLCopenNodeId::CtrlConfigurationType), ReferenceTypeId::HasComponent)))
        EXPECT_NE(name, "Start");

    // CtrlTaskType's properties; only Priority is mandatory.
    EXPECT_EQ(browseNames(browse(root, plcId(PLCopenNodeId::CtrlTaskType), ReferenceTypeId::HasProperty)),
              (std::vector<std::string>{"Interval", "Priority", "Single"}));
    for (OpcUa_UInt32 id : {6004u, 6005u, 6006u})
    {
        UaNode* property = root.getNode(plcId(id));
        ASSERT_NE(property, nullptr);
        EXPECT_EQ(property->modellingRuleId(), UaNodeId(id == 6004 ? StandardNodeId::ModellingRuleMandatory
                                                                   : StandardNodeId::ModellingRuleOptional,
                                                        0));
        property->releaseReference();
    }
}

TEST(CompanionModels, BuildersBuildTheirSupertypesFirstAndEachTypeOnce)
{
    struct Row
    {
        const char* name;
        std::function<void()> build;
        std::set<OpcUa_UInt32> di, plcOpen;
    };
    const Row rows[] = {
        // Identification makes FunctionalGroupType on the way.
        {"DeviceType alone", NodeManagerDI::createDeviceType, {1001, 1002, 1005}, {}},
        {"BlockType alone", NodeManagerDI::createBlockType, {1001, 1003, 1005}, {}},
        // Tasks and Programs are configurable objects: ConfigurableObjectType comes with them.
        {"CtrlResourceType alone",
         NodeManagerPLCopen::createCtrlResourceType,
         {1001, 1002, 1004, 1005},
         {1002}},
        {"CtrlProgramType and CtrlFunctionBlockType",
         []
         {
             NodeManagerPLCopen::createCtrlProgramType();
             NodeManagerPLCopen::createCtrlFunctionBlockType();
         },
         {1001, 1003, 1005},
         {1003, 1004, 1005}},
        {"a FunctionalGroupObject before its type",
         []
         {
             NodeManagerDI* di = NodeManagerDI::started();
             (new FunctionalGroupObject(UaNodeId(9000, 2), "Group", 2, di, nullptr))->releaseReference();
         },
         {1005},
         {}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        CompanionServer server(new CompanionModels(new BareDI, new BarePLCopen));
        ASSERT_TRUE(builtDiTypes().empty());
        ASSERT_TRUE(builtPLCopenTypes().empty());
        row.build();
        EXPECT_EQ(builtDiTypes(), row.di);
        EXPECT_EQ(builtPLCopenTypes(), row.plcOpen);
        // Every built type hangs below its supertype in the address space.
        const Walk walk = walkFromRoot(server.root());
        for (OpcUa_UInt32 id : row.di)
            EXPECT_EQ(std::count_if(walk.edges.begin(), walk.edges.end(),
                                    [&](const std::string& edge)
                                    { return edge.ends_with(",45," + nodeText(diId(id))); }),
                      1)
                << id;
        for (OpcUa_UInt32 id : row.plcOpen)
            EXPECT_EQ(std::count_if(walk.edges.begin(), walk.edges.end(),
                                    [&](const std::string& edge)
                                    { return edge.ends_with(",45," + nodeText(plcId(id))); }),
                      1)
                << id;
    }

    // A second call of every builder changes nothing.
    CompanionServer server;
    const Walk before = walkFromRoot(server.root());
    const UaNode* serialNumber = NodeManagerDI::instanceDeclaration(DiNodeId::DeviceType, 6);
    for (auto builder :
         {NodeManagerDI::createTopologyElementType, NodeManagerDI::createDeviceType,
          NodeManagerDI::createBlockType, NodeManagerDI::createConfigurableObjectType,
          NodeManagerDI::createFunctionalGroupType, NodeManagerDI::createProtocolType,
          NodeManagerPLCopen::createCtrlConfigurationType, NodeManagerPLCopen::createCtrlResourceType,
          NodeManagerPLCopen::createCtrlProgramOrganizationUnitType,
          NodeManagerPLCopen::createCtrlProgramType, NodeManagerPLCopen::createCtrlFunctionBlockType,
          NodeManagerPLCopen::createCtrlTaskType, NodeManagerPLCopen::createSFCType})
        builder();
    const Walk after = walkFromRoot(server.root());
    EXPECT_EQ(before.edges, after.edges);
    EXPECT_EQ(NodeManagerDI::instanceDeclaration(DiNodeId::DeviceType, 6), serialNumber);
}

TEST(CompanionModels, DestroyingTheDeviceTypeNodeClearsItsStateAndTheNextBuildMakesItAgain)
{
    CompanionServer server;
    NodeManagerRoot& root = server.root();
    for (std::size_t slot = 0; slot < 8; ++slot)
        ASSERT_NE(NodeManagerDI::instanceDeclaration(DiNodeId::DeviceType, slot), nullptr) << slot;
    UaNode* deviceType = root.getNode(diId(DiNodeId::DeviceType));
    ASSERT_NE(deviceType, nullptr);
    EXPECT_TRUE(server.models->di()->deleteUaNode(deviceType, true, true, true).isGood());
    deviceType->releaseReference();

    EXPECT_FALSE(NodeManagerDI::isTypeBuilt(DiNodeId::DeviceType));
    for (std::size_t slot = 0; slot < 8; ++slot)
        EXPECT_EQ(NodeManagerDI::instanceDeclaration(DiNodeId::DeviceType, slot), nullptr) << slot;
    EXPECT_FALSE(exists(root, diId(DiNodeId::DeviceType)));

    NodeManagerDI::createDeviceType();
    EXPECT_TRUE(NodeManagerDI::isTypeBuilt(DiNodeId::DeviceType));
    for (std::size_t slot = 0; slot < 8; ++slot)
        EXPECT_NE(NodeManagerDI::instanceDeclaration(DiNodeId::DeviceType, slot), nullptr) << slot;
    EXPECT_EQ(browse(root, diId(DiNodeId::DeviceType), ReferenceTypeId::HasProperty).size(), 8u);
    const auto supertype =
        browse(root, diId(DiNodeId::DeviceType), ReferenceTypeId::HasSubtype, OpcUa_BrowseDirection_Inverse);
    ASSERT_EQ(supertype.size(), 1u);
    EXPECT_EQ(supertype[0].target, diId(DiNodeId::TopologyElementType));
}

TEST(CompanionModels, FunctionalGroupsAndConfigurableObjectsRefuseEveryCall)
{
    CompanionServer server;
    NodeManagerRoot& root = server.root();
    UaNode* method = root.getNode(plcId(7001));
    ASSERT_NE(method, nullptr);
    struct Row
    {
        OpcUa_UInt32 objectId; // GlobalVars (functional group), Resources (configurable object)
        bool withHandle, withMethod;
        OpcUa_StatusCode expected;
    };
    const Row rows[] = {
        {5006, false, false, OpcUa_BadInvalidArgument}, {5006, true, false, OpcUa_BadInvalidArgument},
        {5006, true, true, OpcUa_BadMethodInvalid},     {5004, false, false, OpcUa_BadInvalidArgument},
        {5004, true, false, OpcUa_BadInvalidArgument},  {5004, true, true, OpcUa_BadMethodInvalid},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.objectId) + (row.withHandle ? " handle" : "") +
                     (row.withMethod ? " method" : ""));
        UaNode* object = root.getNode(plcId(row.objectId));
        ASSERT_NE(object, nullptr);
        auto* methodManager = dynamic_cast<MethodManager*>(object);
        ASSERT_NE(methodManager, nullptr);
        EXPECT_TRUE(row.objectId == 5006 ? dynamic_cast<FunctionalGroupObject*>(object) != nullptr
                                         : dynamic_cast<ConfigurableObject*>(object) != nullptr);
        MethodHandle* handle =
            row.withHandle ? new MethodHandle(methodManager, object, row.withMethod ? method : nullptr)
                           : nullptr;
        EXPECT_EQ(
            methodManager->beginCall(nullptr, ServiceContext(), 1, handle, UaVariantArray()).statusCode(),
            row.expected);
        if (handle)
            handle->releaseReference();
        object->releaseReference();
    }
    method->releaseReference();
}

TEST(CompanionModels, PLCopenStartedWithoutDiBuildsOnlyWhatNeedsNoDiType)
{
    std::set<std::string> plainNamespaceZero;
    {
        CompanionServer plain(new CompanionModels(nullptr, nullptr));
        for (const UaNodeId& node : walkFromRoot(plain.root()).inNamespace(0))
            plainNamespaceZero.insert(nodeText(node));
    }
    CompanionServer server(new CompanionModels(nullptr, new NodeManagerPLCopen));
    EXPECT_EQ(NodeManagerPLCopen::namespaceIndex(), 2);
    EXPECT_EQ(NodeManagerDI::started(), nullptr);
    EXPECT_TRUE(builtDiTypes().empty());
    // Only the types below BaseObjectType stand; the others failed to link and left nothing.
    EXPECT_EQ(builtPLCopenTypes(),
              (std::set<OpcUa_UInt32>{PLCopenNodeId::CtrlTaskType, PLCopenNodeId::SFCType}));
    const Walk walk = walkFromRoot(server.root());
    std::set<std::string> namespaceZero;
    for (const UaNodeId& node : walk.inNamespace(0))
        namespaceZero.insert(nodeText(node));
    EXPECT_EQ(namespaceZero, plainNamespaceZero);
    for (OpcUa_UInt32 id = 1001; id <= 1006; ++id)
        EXPECT_FALSE(exists(server.root(), UaNodeId(id, 0))) << id;
    // CtrlTypes, CtrlTaskType with its three properties, SFCType.
    EXPECT_EQ(walk.inNamespace(2).size(), 6u);
    for (OpcUa_UInt32 id : {1001u, 1002u, 1003u, 1004u, 1005u, 5002u, 5004u, 6001u})
        EXPECT_FALSE(exists(server.root(), UaNodeId(id, 2))) << id;

    // A configurable object without the DI declaration still gets its folder, with the attributes
    // the declaration would give.
    auto* object =
        new ConfigurableObject(UaNodeId(9100, 2), "Resources", 2, server.models->plcOpen(), nullptr);
    UaFolderTypeObject* folder = object->supportedTypesFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->nodeId(), UaNodeId("9100.SupportedTypes", 2));
    EXPECT_EQ(folder->browseName(), UaQualifiedName("SupportedTypes", NodeManagerDI::namespaceIndex()));
    EXPECT_EQ(folder->displayName(nullptr), UaLocalizedText("", "SupportedTypes"));
    EXPECT_EQ(folder->typeDefinitionId(), UaNodeId(StandardNodeId::FolderType, 0));
    EXPECT_EQ(folder->modellingRuleId(), UaNodeId(StandardNodeId::ModellingRuleMandatory, 0));
    EXPECT_TRUE(exists(server.root(), UaNodeId("9100.SupportedTypes", 2)));
    object->releaseReference();
}

TEST(CompanionModels, TwoStartStopAndDeleteCyclesGiveTheSameModels)
{
    std::vector<std::map<std::string, Facts>> answers;
    std::vector<std::set<std::string>> edges;
    for (int cycle = 0; cycle < 2; ++cycle)
    {
        CompanionServer server;
        EXPECT_EQ(NodeManagerDI::namespaceIndex(), 2);
        EXPECT_EQ(NodeManagerPLCopen::namespaceIndex(), 3);
        const Walk walk = walkFromRoot(server.root());
        std::map<std::string, Facts> cycleAnswers;
        for (OpcUa_UInt16 ns : {2, 3})
            for (const UaNodeId& node : walk.inNamespace(ns))
                cycleAnswers[nodeText(node)] = factsOf(server.root(), walk, node);
        answers.push_back(cycleAnswers);
        edges.push_back(walk.edges);
    }
    EXPECT_EQ(answers[0].size(), 58u);
    EXPECT_EQ(answers[0], answers[1]);
    EXPECT_EQ(edges[0], edges[1]);
    // Every type node went with its node manager, and with none running the builders build nothing.
    EXPECT_TRUE(builtDiTypes().empty());
    EXPECT_TRUE(builtPLCopenTypes().empty());
    NodeManagerDI::createDeviceType();
    NodeManagerPLCopen::createCtrlResourceType();
    EXPECT_TRUE(builtDiTypes().empty());
    EXPECT_TRUE(builtPLCopenTypes().empty());
}
