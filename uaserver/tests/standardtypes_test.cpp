// The standard type node classes: compact attribute records made full by the first setter, the
// write table of their attributes, objects as their own method managers, the namespace-0 type
// nodes, and the type nodes that the first instance of a class registers once in namespace 0.
#include "testvalues.h"
#include "nodemanagertestbed.h"

#include "attributeids.h"
#include "basevariabletypenode.h"
#include "baseobjecttypenode.h"
#include "uamethodgeneric.h"
#include "uatypenodesns0.h"

#include <thread>

using namespace testbed;

using namespace testvalues;

namespace
{

// The targets of a node's forward references of one type in namespace 0, through the root.
std::vector<OpcUa_UInt32> forwardTargets(TestRoot& root, OpcUa_UInt32 source, OpcUa_UInt32 referenceType)
{
    std::vector<OpcUa_UInt32> targets;
    auto node = ReferenceHolder<UaNode>::adopt(root.getNode(UaNodeId(source, 0)));
    if (!node)
        return targets;
    for (UaReference* r = node->getUaReferenceLists()->firstForwardReference(); r; r = r->pNextForward())
        if (r->referenceTypeId() == UaNodeId(referenceType, 0) && r->pTargetNode())
            targets.push_back(r->pTargetNode()->nodeId().identifierNumeric());
    return targets;
}

// Namespace 0's variable types: what is under 89 by Organizes and under 62 by HasSubtype.
std::string variableTypes(TestRoot& root)
{
    std::string text;
    for (OpcUa_UInt32 id : forwardTargets(root, 89, 35))
        text += "89>" + std::to_string(id) + " ";
    for (OpcUa_UInt32 id : forwardTargets(root, 62, 45))
        text += "62>" + std::to_string(id) + " ";
    return text;
}
} // namespace

TEST(StandardTypes, APropertyIsCompactUntilASetterNeedsMore)
{
    auto* property =
        new PropertyTypeNode(UaNodeId(5, 2), "Ratios", 2, int32s({1, 2, 3}), 1, nullptr, nullptr);
    EXPECT_EQ(property->dataType(), UaNodeId(6, 0));
    EXPECT_EQ(property->valueRank(), 1);
    EXPECT_EQ(property->attributesKind(), 0u);
    EXPECT_EQ(property->typeDefinitionId(), UaNodeId(68, 0));
    EXPECT_EQ(property->browseName(), UaQualifiedName("Ratios", 2));
    EXPECT_EQ(property->displayName(nullptr), UaLocalizedText("", "Ratios"));

    property->setDescription(UaLocalizedText("en", "three ratios"));
    EXPECT_EQ(property->attributesKind(), 3u);
    EXPECT_EQ(property->description(nullptr), UaLocalizedText("en", "three ratios"));
    // Nothing else moved with the record.
    EXPECT_EQ(property->nodeId(), UaNodeId(5, 2));
    EXPECT_EQ(property->browseName(), UaQualifiedName("Ratios", 2));
    EXPECT_EQ(property->displayName(nullptr), UaLocalizedText("", "Ratios"));
    EXPECT_EQ(property->dataType(), UaNodeId(6, 0));
    EXPECT_EQ(property->valueRank(), 1);
    EXPECT_EQ(property->accessLevel(), 1);
    EXPECT_EQ(property->userAccessLevel(nullptr), 1);
    UaUInt32Array dimensions;
    property->arrayDimensions(dimensions);
    ASSERT_EQ(dimensions.length(), 1u);
    EXPECT_EQ(dimensions[0], 0u);
    EXPECT_TRUE(property->value(nullptr).value() == int32s({1, 2, 3}));
    property->releaseReference();

    // Every setter promotes.
    using Setter = std::function<void(BaseVariableTypeNode&)>;
    const std::vector<std::pair<const char*, Setter>> setters = {
        {"display name", [](BaseVariableTypeNode& n) { n.setDisplayName(UaLocalizedText("de", "x")); }},
        {"write mask", [](BaseVariableTypeNode& n) { n.setWriteMask(1); }},
        {"user write mask", [](BaseVariableTypeNode& n) { n.setUserWriteMask(1); }},
        {"data type", [](BaseVariableTypeNode& n) { n.setDataType(UaNodeId(27, 0)); }},
        {"value rank", [](BaseVariableTypeNode& n) { n.setValueRank(2); }},
        {"access level", [](BaseVariableTypeNode& n) { n.setAccessLevel(3); }},
        {"user access level", [](BaseVariableTypeNode& n) { n.setUserAccessLevel(0); }},
        {"minimum sampling interval", [](BaseVariableTypeNode& n) { n.setMinimumSamplingInterval(250.0); }},
        {"historizing", [](BaseVariableTypeNode& n) { n.setHistorizing(true); }},
        {"modelling rule", [](BaseVariableTypeNode& n) { n.setModellingRule(UaNodeId(78, 0)); }},
    };
    for (const auto& [name, set] : setters)
    {
        auto* node =
            new BaseDataVariableTypeNode(UaNodeId(6, 2), "Level", 2, UaVariant(1.0), 3, nullptr, nullptr);
        ASSERT_EQ(node->attributesKind(), 0u) << name;
        set(*node);
        EXPECT_EQ(node->attributesKind(), 3u) << name;
        EXPECT_EQ(node->browseName(), UaQualifiedName("Level", 2)) << name;
        node->releaseReference();
    }
}

TEST(StandardTypes, VariableAttributesAreWrittenByTheirWriteMaskBits)
{
    struct Case
    {
        OpcUa_Int32 attributeId;
        OpcUa_UInt32 bit;
        UaVariant value;
        UaVariant wrongType;
    };
    UaVariant qualifiedName, text, nodeId, byteValue, boolValue, dims;
    qualifiedName.setQualifiedName(UaQualifiedName("Renamed", 2));
    text.setLocalizedText(UaLocalizedText("en", "text"));
    nodeId.setNodeId(UaNodeId(11, 0));
    byteValue.setByte(1);
    boolValue.setBool(OpcUa_True);
    UaUInt32Array dimensionArray;
    dimensionArray.create(1);
    dimensionArray[0] = 4;
    dims.setUInt32Array(dimensionArray, false);
    const std::vector<Case> cases = {
        {3, 0x00000004, qualifiedName, text},
        {4, 0x00000040, text, qualifiedName},
        {5, 0x00000020, text, UaVariant(1.0)},
        {6, 0x00100000, UaVariant(OpcUa_UInt32(0xFFFFFFFF)), UaVariant(OpcUa_Int32(1))},
        {14, 0x00000010, nodeId, text},
        {15, 0x00080000, UaVariant(OpcUa_Int32(1)), UaVariant(OpcUa_UInt32(1))},
        {16, 0x00000002, dims, UaVariant(OpcUa_UInt32(4))},
        {17, 0x00000001, byteValue, UaVariant(OpcUa_UInt32(1))},
        {18, 0x00010000, byteValue, boolValue},
        {19, 0x00001000, UaVariant(500.0), UaVariant(OpcUa_Int32(500))},
        {20, 0x00000200, boolValue, byteValue},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.attributeId);
        auto* node =
            new BaseDataVariableTypeNode(UaNodeId(6, 2), "Level", 2, UaVariant(1.0), 3, nullptr, nullptr);
        // Without the bit the write is denied and the record stays compact.
        node->setAttributeValue(nullptr, AttributeId::Value, dataValue(UaVariant(1.0)), true);
        EXPECT_EQ(node->setAttributeValue(nullptr, c.attributeId, dataValue(c.value), true).statusCode(),
                  OpcUa_BadNotWritable);
        EXPECT_EQ(node->attributesKind(), 0u);
        node->setWriteMask(c.bit);
        EXPECT_EQ(node->setAttributeValue(nullptr, c.attributeId, dataValue(c.wrongType), true).statusCode(),
                  OpcUa_BadTypeMismatch);
        EXPECT_EQ(node->setAttributeValue(nullptr, c.attributeId, dataValue(c.value), true).statusCode(),
                  OpcUa_Good);
        UaDataValue read;
        node->getAttributeValue(nullptr, c.attributeId, read);
        EXPECT_TRUE(read.value() == c.value) << read.value().toString().toUtf8();
        // UserWriteMask is never written, whatever the mask.
        node->setWriteMask(0xFFFFFFFF);
        EXPECT_EQ(node->setAttributeValue(nullptr, AttributeId::UserWriteMask,
                                          dataValue(UaVariant(OpcUa_UInt32(1))), false)
                      .statusCode(),
                  OpcUa_BadNotWritable);
        node->releaseReference();
    }
    // Value needs the access level's current-write bit, and other attributes are never written.
    auto* readOnly =
        new BaseDataVariableTypeNode(UaNodeId(7, 2), "Fixed", 2, UaVariant(1.0), 1, nullptr, nullptr);
    readOnly->setWriteMask(0xFFFFFFFF);
    EXPECT_EQ(readOnly->setAttributeValue(nullptr, AttributeId::Value, dataValue(UaVariant(2.0)), true)
                  .statusCode(),
              OpcUa_BadNotWritable);
    EXPECT_EQ(readOnly->setAttributeValue(nullptr, AttributeId::Value, dataValue(UaVariant(2.0)), false)
                  .statusCode(),
              OpcUa_Good);
    for (OpcUa_Int32 other : {1, 2, 8, 12, 21, 22, 23})
        EXPECT_EQ(readOnly->setAttributeValue(nullptr, other, dataValue(UaVariant(1.0)), false).statusCode(),
                  OpcUa_BadNotWritable)
            << other;
    readOnly->releaseReference();
}

TEST(StandardTypes, AnEmptyInitialValueGivesBaseDataTypeInAFullRecord)
{
    auto* node = new TypedVariableNode(UaNodeId(8, 2), "Any", 2, UaVariant(), 3, nullptr, nullptr);
    EXPECT_EQ(node->dataType(), UaNodeId(24, 0));
    EXPECT_EQ(node->attributesKind(), 3u);
    EXPECT_EQ(node->typeDefinitionId(), UaNodeId(63, 0));
    node->setTypeDefinition(UaNodeId(2368, 0));
    EXPECT_EQ(node->typeDefinitionId(), UaNodeId(2368, 0));
    // Any value goes into BaseDataType.
    EXPECT_TRUE(node->setValue(nullptr, dataValue(UaVariant(UaString("text"))), true).isGood());
    node->releaseReference();
}

TEST(StandardTypes, ObjectsAreTheirOwnMethodManagersAndExecuteNothing)
{
    UaMutexRefCounted* shared = new UaMutexRefCounted;
    auto* object = new BaseObjectTypeNode(UaNodeId(20, 2), "Drive", 2, nullptr, shared);
    auto* method = new UaMethodGeneric("Start", UaNodeId(21, 2), "en");
    EXPECT_EQ(object->sharedMutex(), shared);
    EXPECT_EQ(object->typeDefinitionId(), UaNodeId(58, 0));
    EXPECT_EQ(object->getMethodManager(method), static_cast<MethodManager*>(object));
    UaVariantArray none;
    EXPECT_EQ(object->beginCall(nullptr, ServiceContext(), 1, nullptr, none).statusCode(),
              OpcUa_BadMethodInvalid);

    EXPECT_EQ(object->attributesKind(), 0u);
    EXPECT_EQ(object->displayName(nullptr), UaLocalizedText("", "Drive"));
    UaVariant text;
    text.setLocalizedText(UaLocalizedText("en", "Drive 1"));
    EXPECT_EQ(object->setAttributeValue(nullptr, 4, dataValue(text), true).statusCode(),
              OpcUa_BadNotWritable);
    EXPECT_EQ(object->setAttributeValue(nullptr, 4, dataValue(text), false).statusCode(), OpcUa_Good);
    EXPECT_EQ(object->attributesKind(), 3u);
    EXPECT_EQ(object->displayName(nullptr), UaLocalizedText("en", "Drive 1"));
    EXPECT_EQ(
        object->setAttributeValue(nullptr, 7, dataValue(UaVariant(OpcUa_UInt32(1))), false).statusCode(),
        OpcUa_BadNotWritable);
    EXPECT_EQ(
        object->setAttributeValue(nullptr, 12, dataValue(UaVariant(OpcUa_UInt32(1))), false).statusCode(),
        OpcUa_BadNotWritable);
    object->setEventNotifier(1);
    EXPECT_EQ(object->eventNotifier(), 1);

    // An instance takes every attribute but its NodeId from its declaration.
    object->setDescription(UaLocalizedText("en", "the main drive"));
    object->setModellingRule(UaNodeId(78, 0));
    auto* instance = new BaseObjectTypeNode(UaNodeId(30, 2), object, nullptr, shared);
    EXPECT_EQ(instance->nodeId(), UaNodeId(30, 2));
    EXPECT_EQ(instance->browseName(), UaQualifiedName("Drive", 2));
    EXPECT_EQ(instance->displayName(nullptr), UaLocalizedText("en", "Drive 1"));
    EXPECT_EQ(instance->description(nullptr), UaLocalizedText("en", "the main drive"));
    EXPECT_EQ(instance->eventNotifier(), 1);
    EXPECT_EQ(instance->modellingRuleId(), UaNodeId(78, 0));

    auto* typed = new TypedObjectNode(UaNodeId(31, 2), "Axis", 2, nullptr);
    EXPECT_NE(typed->sharedMutex(), shared);
    EXPECT_EQ(typed->typeDefinitionId(), UaNodeId(58, 0));
    typed->setTypeDefinition(UaNodeId(1002, 2));
    EXPECT_EQ(typed->typeDefinitionId(), UaNodeId(1002, 2));
    for (UaNode* node : {static_cast<UaNode*>(object), static_cast<UaNode*>(method),
                         static_cast<UaNode*>(instance), static_cast<UaNode*>(typed)})
        node->releaseReference();
    shared->releaseReference();
}

TEST(StandardTypes, NamespaceZeroTypeNodesAnswerFromTheirNames)
{
    auto* hasComponent = new UaReferenceTypeNs0(47, "HasComponent", false, false, "ComponentOf");
    auto* references = new UaReferenceTypeNs0(31, "References", true, true, "");
    auto* doubleType = new UaDataTypeNs0(11, "Double", false);
    EXPECT_EQ(hasComponent->nodeId(), UaNodeId(47, 0));
    EXPECT_EQ(hasComponent->browseName(), UaQualifiedName("HasComponent", 0));
    EXPECT_TRUE(hasComponent->isSubtypeOf(UaNodeId(44, 0)));
    EXPECT_TRUE(hasComponent->isSubtypeOf(UaNodeId(33, 0)));
    EXPECT_FALSE(hasComponent->isSubtypeOf(UaNodeId(47, 0)));
    EXPECT_FALSE(hasComponent->isSubtypeOf(UaNodeId(46, 0)));
    EXPECT_TRUE(hasComponent->isInverseNameSupported());
    EXPECT_EQ(hasComponent->inverseName(nullptr), UaLocalizedText("en", "ComponentOf"));
    EXPECT_FALSE(references->isInverseNameSupported());
    UaDataValue inverse;
    references->getAttributeValue(nullptr, AttributeId::InverseName, inverse);
    EXPECT_EQ(inverse.statusCode(), OpcUa_BadAttributeIdInvalid);
    EXPECT_EQ(doubleType->displayName(nullptr), UaLocalizedText("", "Double"));
    EXPECT_FALSE(doubleType->isAbstract());
    for (UaNode* node : {static_cast<UaNode*>(hasComponent), static_cast<UaNode*>(references),
                         static_cast<UaNode*>(doubleType)})
        node->releaseReference();
}

TEST(StandardTypes, TheFirstInstanceOfAClassRegistersItsTypeNodeOnce)
{
    for (int cycle = 0; cycle < 2; ++cycle)
    {
        SCOPED_TRACE(cycle);
        TestServer server;
        EXPECT_EQ(variableTypes(server.root), "");
        std::vector<UaNode*> nodes;
        for (int i = 0; i < 3; ++i)
        {
            nodes.push_back(new BaseDataVariableTypeNode(UaNodeId(100 + i, 2), "V", 2, UaVariant(1.0), 1,
                                                         nullptr, nullptr));
            nodes.push_back(
                new PropertyTypeNode(UaNodeId(200 + i, 2), "P", 2, UaVariant(1.0), 1, nullptr, nullptr));
        }
        EXPECT_EQ(variableTypes(server.root), "89>62 62>63 62>68 ");
        auto type = ReferenceHolder<UaNode>::adopt(server.root.getNode(UaNodeId(68, 0)));
        ASSERT_TRUE(type);
        EXPECT_EQ(type->nodeClass(), OpcUa_NodeClass_VariableType);
        EXPECT_EQ(type->browseName(), UaQualifiedName("PropertyType", 0));
        EXPECT_EQ(type->displayName(nullptr), UaLocalizedText("", "PropertyType"));
        UaDataValue dataType;
        type->getAttributeValue(nullptr, AttributeId::DataType, dataType);
        EXPECT_TRUE(dataType.value() ==
                    []
                    {
                        UaVariant v;
                        v.setNodeId(UaNodeId(24, 0));
                        return v;
                    }());

        // The deleted type node clears its registration: the next instance adds it again.
        ASSERT_TRUE(server.root.deleteUaNode(type.get(), true, true, false).isGood());
        type.reset();
        EXPECT_FALSE(StandardTypeNodes::isPropertyTypeRegistered());
        EXPECT_EQ(variableTypes(server.root), "89>62 62>63 ");
        nodes.push_back(new PropertyTypeNode(UaNodeId(300, 2), "P", 2, UaVariant(1.0), 1, nullptr, nullptr));
        EXPECT_EQ(variableTypes(server.root), "89>62 62>63 62>68 ");
        for (UaNode* node : nodes)
            node->releaseReference();
    }
    // Without a namespace 0 nothing is registered, and nothing fails.
    auto* alone = new PropertyTypeNode(UaNodeId(1, 2), "P", 2, UaVariant(1.0), 1, nullptr, nullptr);
    EXPECT_FALSE(StandardTypeNodes::isPropertyTypeRegistered());
    alone->releaseReference();
}

TEST(StandardTypes, ATypeNodeThatIsThereAlreadyServesAndKeepsItsRegistration)
{
    TestServer server;
    StandardTypeNodes::createBaseVariableType();
    // Namespace 0 holds a PropertyType node that someone else made.
    auto* existing = new UaVariableTypePlain(UaNodeId(68, 0), UaQualifiedName("PropertyType", 0),
                                             UaLocalizedText("en", "Made elsewhere"), UaLocalizedText(),
                                             UaDataValue(), UaNodeId(24, 0), -2, false);
    ASSERT_TRUE(server.root.addNodeAndReference(UaNodeId(62, 0), existing, UaNodeId(45, 0)).isGood());
    auto* property = new PropertyTypeNode(UaNodeId(1, 2), "P", 2, UaVariant(1.0), 1, nullptr, nullptr);
    // The refused duplicate went without touching the registration.
    EXPECT_TRUE(StandardTypeNodes::isPropertyTypeRegistered());
    auto type = ReferenceHolder<UaNode>::adopt(server.root.getNode(UaNodeId(68, 0)));
    EXPECT_EQ(type.get(), existing);
    EXPECT_EQ(variableTypes(server.root), "89>62 62>68 ");
    property->releaseReference();
}

TEST(StandardTypes, InstancesMadeOnManyThreadsRegisterEachTypeOnce)
{
    TestServer server;
    std::vector<std::thread> threads;
    std::vector<std::vector<UaNode*>> made(8);
    for (std::size_t t = 0; t < made.size(); ++t)
        threads.emplace_back(
            [&made, t]
            {
                for (OpcUa_UInt32 i = 0; i < 20; ++i)
                {
                    const OpcUa_UInt32 id = static_cast<OpcUa_UInt32>(t) * 100 + i;
                    made[t].push_back(new BaseDataVariableTypeNode(UaNodeId(id, 2), "V", 2, UaVariant(1.0), 1,
                                                                   nullptr, nullptr));
                    made[t].push_back(
                        new PropertyTypeNode(UaNodeId(id, 3), "P", 3, UaVariant(1.0), 1, nullptr, nullptr));
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(variableTypes(server.root), "89>62 62>63 62>68 ");
    for (auto& nodes : made)
        for (UaNode* node : nodes)
            node->releaseReference();
}
