// Attribute reads of every node class, writes of the plain classes, and the instance counters.
#include "testaddressspace.h"

#include "attributeids.h"
#include "uamethodgeneric.h"
#include "uaobjectbase.h"
#include "uaplainnodes.h"

#include <functional>
#include <map>
#include <memory>

using testspace::TestVariable;

namespace
{
struct NodeDeleter
{
    void operator()(UaNode* node) const { node->releaseReference(); }
};
using NodeHolder = std::unique_ptr<UaNode, NodeDeleter>;

UaQualifiedName qn(const char* name)
{
    return UaQualifiedName(name, 2);
}
UaLocalizedText lt(const char* text)
{
    return UaLocalizedText("en", text);
}

// The common attributes every node answers; Description only where supported.
std::map<OpcUa_Int32, OpcUa_BuiltInType> common(bool description)
{
    std::map<OpcUa_Int32, OpcUa_BuiltInType> types{{1, OpcUaType_NodeId},        {2, OpcUaType_Int32},
                                                   {3, OpcUaType_QualifiedName}, {4, OpcUaType_LocalizedText},
                                                   {6, OpcUaType_UInt32},        {7, OpcUaType_UInt32}};
    if (description)
        types[5] = OpcUaType_LocalizedText;
    return types;
}

std::map<OpcUa_Int32, OpcUa_BuiltInType> with(std::map<OpcUa_Int32, OpcUa_BuiltInType> types,
                                              std::map<OpcUa_Int32, OpcUa_BuiltInType> own)
{
    types.insert(own.begin(), own.end());
    return types;
}

// One node of one class and the attributes it answers, by the type of their value.
struct ClassCase
{
    const char* what;
    std::function<UaNode*()> make;
    OpcUa_NodeClass nodeClass;
    std::map<OpcUa_Int32, OpcUa_BuiltInType> answered;
    std::atomic<OpcUa_Int32>* counter;
};

std::vector<ClassCase> classCases()
{
    const UaNodeId id(7, 2);
    UaDataValue matrixValue;
    UaVariant value(OpcUa_Int32(5));
    matrixValue.setValue(value, false, false);
    return {
        {"UaFolder", [id] { return new UaFolder("Pump", id, "de"); }, OpcUa_NodeClass_Object,
         with(common(false), {{12, OpcUaType_Byte}}), &UaNodeCounters::uaObject},
        {"UaObjectTypeSimple", [id] { return new UaObjectTypeSimple("PumpType", id, "en", true); },
         OpcUa_NodeClass_ObjectType, with(common(false), {{8, OpcUaType_Boolean}}),
         &UaNodeCounters::uaObjectType},
        {"UaVariableTypeSimple", [id] { return new UaVariableTypeSimple("SpeedType", id, "en", false); },
         OpcUa_NodeClass_VariableType,
         with(common(false), {{8, OpcUaType_Boolean}, {14, OpcUaType_NodeId}, {15, OpcUaType_Int32}}),
         &UaNodeCounters::uaVariableType},
        {"UaMethodGeneric", [id] { return new UaMethodGeneric("Start", id, "en"); }, OpcUa_NodeClass_Method,
         with(common(false), {{21, OpcUaType_Boolean}, {22, OpcUaType_Boolean}}), &UaNodeCounters::uaMethod},
        {"UaObjectPlain",
         [id] { return new UaObjectPlain(id, qn("Obj"), lt("Obj"), lt("d"), UaNodeId(58, 0), 1); },
         OpcUa_NodeClass_Object, with(common(true), {{12, OpcUaType_Byte}}), &UaNodeCounters::uaObject},
        {"UaMethodPlain", [id] { return new UaMethodPlain(id, qn("M"), lt("M"), lt("d"), true, false); },
         OpcUa_NodeClass_Method, with(common(true), {{21, OpcUaType_Boolean}, {22, OpcUaType_Boolean}}),
         &UaNodeCounters::uaMethod},
        {"UaObjectTypePlain", [id] { return new UaObjectTypePlain(id, qn("OT"), lt("OT"), lt("d"), false); },
         OpcUa_NodeClass_ObjectType, with(common(true), {{8, OpcUaType_Boolean}}),
         &UaNodeCounters::uaObjectType},
        {"UaVariableTypePlain",
         [id, matrixValue] {
             return new UaVariableTypePlain(id, qn("VT"), lt("VT"), lt("d"), matrixValue, UaNodeId(6, 0), 2,
                                            false);
         },
         OpcUa_NodeClass_VariableType,
         with(common(true), {{8, OpcUaType_Boolean},
                             {13, OpcUaType_Int32},
                             {14, OpcUaType_NodeId},
                             {15, OpcUaType_Int32},
                             {16, OpcUaType_UInt32}}),
         &UaNodeCounters::uaVariableType},
        {"UaReferenceTypePlain",
         [id] {
             return new UaReferenceTypePlain(id, qn("RT"), lt("RT"), lt("d"), false, false, lt("RTOf"),
                                             nullptr);
         },
         OpcUa_NodeClass_ReferenceType,
         with(common(true), {{8, OpcUaType_Boolean}, {9, OpcUaType_Boolean}, {10, OpcUaType_LocalizedText}}),
         &UaNodeCounters::uaReferenceType},
        {"UaDataTypePlain", [id] { return new UaDataTypePlain(id, qn("DT"), lt("DT"), lt("d"), true); },
         OpcUa_NodeClass_DataType, with(common(true), {{8, OpcUaType_Boolean}}), &UaNodeCounters::uaDataType},
        {"UaViewPlain", [id] { return new UaViewPlain(id, qn("V"), lt("V"), lt("d"), true, 1); },
         OpcUa_NodeClass_View, with(common(true), {{11, OpcUaType_Boolean}, {12, OpcUaType_Byte}}),
         &UaNodeCounters::uaView},
        {"a variable", [id] { return new TestVariable(id, "Speed", UaVariant(2.5)); },
         OpcUa_NodeClass_Variable,
         with(common(true), {{13, OpcUaType_Double},
                             {14, OpcUaType_NodeId},
                             {15, OpcUaType_Int32},
                             {16, OpcUaType_UInt32},
                             {17, OpcUaType_Byte},
                             {18, OpcUaType_Byte},
                             {19, OpcUaType_Double},
                             {20, OpcUaType_Boolean}}),
         &UaNodeCounters::uaVariable},
    };
}

TEST(Attributes, EveryClassAnswersItsOwnAttributesAndRefusesTheRest)
{
    for (const ClassCase& c : classCases())
    {
        SCOPED_TRACE(c.what);
        NodeHolder node(c.make());
        EXPECT_EQ(node->nodeClass(), c.nodeClass);
        for (OpcUa_Int32 attributeId :
             {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 1000})
        {
            SCOPED_TRACE(attributeId);
            UaDataValue dataValue;
            // A value left from an earlier read must not survive a refused one.
            dataValue.setValue(UaVariant(OpcUa_Int32(99)), false, false);
            node->getAttributeValue(nullptr, attributeId, dataValue);
            EXPECT_TRUE(dataValue.isServerTimestampSet());
            auto answered = c.answered.find(attributeId);
            if (answered == c.answered.end())
            {
                EXPECT_EQ(dataValue.statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_BadAttributeIdInvalid));
                EXPECT_TRUE(dataValue.value().isEmpty());
                continue;
            }
            EXPECT_EQ(dataValue.statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_Good));
            EXPECT_EQ(dataValue.value().type(), answered->second);
        }
        UaDataValue nodeClass;
        node->getAttributeValue(nullptr, AttributeId::NodeClass, nodeClass);
        OpcUa_Int32 classValue = 0;
        nodeClass.value().toInt32(classValue);
        EXPECT_EQ(classValue, c.nodeClass);
    }
}

TEST(Attributes, NamedNodesTakeTheirNamesFromTheNodeIdAndTheLocale)
{
    NodeHolder folder(new UaFolder("Pump", UaNodeId(1, 3), "de"));
    UaDataValue value;
    folder->getAttributeValue(nullptr, AttributeId::BrowseName, value);
    UaQualifiedName browseName;
    value.value().toQualifiedName(browseName);
    EXPECT_EQ(browseName.namespaceIndex(), 3);
    EXPECT_STREQ(browseName.name().toUtf8(), "Pump");
    folder->getAttributeValue(nullptr, AttributeId::DisplayName, value);
    UaLocalizedText displayName;
    value.value().toLocalizedText(displayName);
    EXPECT_STREQ(displayName.locale().toUtf8(), "de");
    EXPECT_STREQ(displayName.text().toUtf8(), "Pump");
    OpcUa_UInt32 mask = 1;
    folder->getAttributeValue(nullptr, AttributeId::WriteMask, value);
    value.value().toUInt32(mask);
    EXPECT_EQ(mask, 0u);
    OpcUa_Byte notifier = 1;
    folder->getAttributeValue(nullptr, AttributeId::EventNotifier, value);
    value.value().toByte(notifier);
    EXPECT_EQ(notifier, 0);
    EXPECT_EQ(folder->typeDefinitionId(), UaNodeId(61, 0));

    NodeHolder variableType(new UaVariableTypeSimple("SpeedType", UaNodeId(2, 3), "en", true));
    variableType->getAttributeValue(nullptr, AttributeId::DataType, value);
    UaNodeId dataType;
    value.value().toNodeId(dataType);
    EXPECT_EQ(dataType, UaNodeId(24, 0));
    OpcUa_Int32 rank = 0;
    variableType->getAttributeValue(nullptr, AttributeId::ValueRank, value);
    value.value().toInt32(rank);
    EXPECT_EQ(rank, -2);
    variableType->getAttributeValue(nullptr, AttributeId::Value, value);
    EXPECT_EQ(value.statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_BadAttributeIdInvalid));
    EXPECT_TRUE(value.isSourceTimestampSet());
}

TEST(Attributes, ArrayDimensionsFollowTheValueRank)
{
    for (OpcUa_Int32 rank : {-3, -2, -1, 0, 1, 2, 3})
    {
        NodeHolder type(new UaVariableTypePlain(UaNodeId(1, 2), qn("T"), lt("T"), lt("d"), UaDataValue(),
                                                UaNodeId(24, 0), rank, false));
        UaDataValue value;
        type->getAttributeValue(nullptr, AttributeId::ArrayDimensions, value);
        UaUInt32Array dimensions;
        ASSERT_EQ(value.value().toUInt32Array(dimensions), static_cast<OpcUa_StatusCode>(OpcUa_Good)) << rank;
        EXPECT_EQ(dimensions.length(), static_cast<OpcUa_UInt32>(rank > 0 ? rank : 0)) << rank;
        for (OpcUa_UInt32 i = 0; i < dimensions.length(); ++i)
            EXPECT_EQ(dimensions[i], 0u);
    }
}

struct ValueReadCase
{
    OpcUa_Byte accessLevel;
    OpcUa_Byte userAccessLevel;
    OpcUa_StatusCode status;
};

TEST(Attributes, TheValueIsReadOnlyWhereBothAccessLevelsAllowIt)
{
    const ValueReadCase cases[] = {
        {0, 3, OpcUa_BadNotReadable},      {2, 3, OpcUa_BadNotReadable}, {1, 0, OpcUa_BadUserAccessDenied},
        {1, 2, OpcUa_BadUserAccessDenied}, {1, 1, OpcUa_Good},           {3, 1, OpcUa_Good}};
    for (const ValueReadCase& c : cases)
    {
        auto* variable = new TestVariable(UaNodeId(1, 2), "Speed", UaVariant(2.5));
        NodeHolder holder(variable);
        variable->m_accessLevel = c.accessLevel;
        variable->m_userAccessLevel = c.userAccessLevel;
        UaDataValue value;
        variable->getAttributeValue(nullptr, AttributeId::Value, value);
        EXPECT_EQ(value.statusCode(), c.status) << int(c.accessLevel) << "/" << int(c.userAccessLevel);
        EXPECT_TRUE(value.isServerTimestampSet());
        double number = 0;
        EXPECT_EQ(value.value().toDouble(number) == OpcUa_Good && number == 2.5, c.status == OpcUa_Good);
    }
}

// One write of a plain node: the mask it has, the write and what it must give.
struct WriteCase
{
    const char* what;
    OpcUa_UInt32 writeMask;
    OpcUa_Int32 attributeId;
    UaVariant value;
    bool checkWriteMask;
    OpcUa_StatusCode status;
};

UaVariant variantOf(const UaQualifiedName& name)
{
    UaVariant v;
    v.setQualifiedName(name);
    return v;
}
UaVariant variantOf(const UaLocalizedText& text)
{
    UaVariant v;
    v.setLocalizedText(text);
    return v;
}
UaVariant localizedTextArray()
{
    UaLocalizedTextArray texts;
    texts.create(1);
    UaVariant v;
    v.setLocalizedTextArray(texts);
    return v;
}

TEST(Attributes, PlainNodesWriteTheirNamesAndMaskByTheWriteMask)
{
    const WriteCase cases[] = {
        {"DisplayName with a mask of 0", 0, 4, variantOf(lt("New")), true, OpcUa_BadNotWritable},
        {"DisplayName with its bit", 0x40, 4, variantOf(lt("New")), true, OpcUa_Good},
        {"DisplayName unchecked", 0, 4, variantOf(lt("New")), false, OpcUa_Good},
        {"BrowseName as a LocalizedText", 0, 3, variantOf(lt("New")), false, OpcUa_BadTypeMismatch},
        {"BrowseName with its bit", 0x4, 3, variantOf(qn("New")), true, OpcUa_Good},
        {"BrowseName with another bit", 0x40, 3, variantOf(qn("New")), true, OpcUa_BadNotWritable},
        {"Description with its bit", 0x20, 5, variantOf(lt("New")), true, OpcUa_Good},
        {"Description as an array", 0x20, 5, localizedTextArray(), true, OpcUa_BadTypeMismatch},
        {"WriteMask with its bit", 0x100000, 6, UaVariant(OpcUa_UInt32(0x100044)), true, OpcUa_Good},
        {"WriteMask as an Int32", 0x100000, 6, UaVariant(OpcUa_Int32(4)), true, OpcUa_BadTypeMismatch},
        {"UserWriteMask whatever the mask", 0xFFFFFFFF, 7, UaVariant(OpcUa_UInt32(1)), false,
         OpcUa_BadNotWritable},
        {"IsAbstract", 0xFFFFFFFF, 8, UaVariant(true), false, OpcUa_BadNotWritable},
        {"Value of an object", 0xFFFFFFFF, 13, UaVariant(1.0), false, OpcUa_BadNotWritable},
        {"an unknown attribute", 0xFFFFFFFF, 99, UaVariant(1.0), false, OpcUa_BadNotWritable},
    };
    for (const WriteCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto* node = new UaObjectPlain(UaNodeId(1, 2), qn("Old"), lt("Old"), lt("Old"), UaNodeId(58, 0), 0);
        NodeHolder holder(node);
        node->setWriteMask(c.writeMask);
        UaDataValue written;
        written.setValue(c.value, false, false);
        EXPECT_EQ(node->setAttributeValue(nullptr, c.attributeId, written, c.checkWriteMask).code(),
                  c.status);
        if (c.attributeId < 3 || c.attributeId > 6)
            continue;
        UaDataValue read;
        node->getAttributeValue(nullptr, c.attributeId, read);
        EXPECT_EQ(read.value() == c.value, c.status == OpcUa_Good) << "written exactly when Good";
    }
}

TEST(Attributes, WriteMaskAndUserWriteMaskReadTheSameMember)
{
    auto* node = new UaDataTypePlain(UaNodeId(1, 2), qn("DT"), lt("DT"), lt("d"), false);
    NodeHolder holder(node);
    node->setWriteMask(0x40);
    EXPECT_EQ(node->writeMask(), 0x40u);
    EXPECT_EQ(node->userWriteMask(nullptr), 0x40u);
    UaDataValue written;
    written.setValue(variantOf(lt("Renamed")), false, false);
    EXPECT_TRUE(node->setAttributeValue(nullptr, 4, written, true).isGood());
    EXPECT_STREQ(node->displayName(nullptr).text().toUtf8(), "Renamed");
}

TEST(Attributes, NodesOutsideThePlainClassesRefuseEveryWriteButTheVariablesValue)
{
    NodeHolder folder(new UaFolder("F", UaNodeId(1, 2), "en"));
    auto* variable = new TestVariable(UaNodeId(2, 2), "V", UaVariant(1.0));
    NodeHolder holder(variable);
    UaDataValue written;
    written.setValue(UaVariant(7.0), false, false);
    for (OpcUa_Int32 attributeId : {3, 4, 5, 6, 13})
        EXPECT_EQ(folder->setAttributeValue(nullptr, attributeId, written, false).code(),
                  static_cast<OpcUa_StatusCode>(OpcUa_BadNotWritable));
    EXPECT_EQ(variable->setAttributeValue(nullptr, AttributeId::DataType, written, false).code(),
              static_cast<OpcUa_StatusCode>(OpcUa_BadNotWritable));
    EXPECT_TRUE(variable->setAttributeValue(nullptr, AttributeId::Value, written, false).isGood());
    EXPECT_EQ(variable->m_value, written);
}

TEST(Attributes, EveryNodeCountsInItsClassAndInUaNodeWhileItLives)
{
    for (const ClassCase& c : classCases())
    {
        SCOPED_TRACE(c.what);
        const OpcUa_Int32 nodes = UaNodeCounters::uaNode;
        const OpcUa_Int32 ofClass = *c.counter;
        UaNode* node = c.make();
        EXPECT_EQ(UaNodeCounters::uaNode, nodes + 1);
        EXPECT_EQ(*c.counter, ofClass + 1);
        node->releaseReference();
        EXPECT_EQ(UaNodeCounters::uaNode, nodes);
        EXPECT_EQ(*c.counter, ofClass);
    }
}
} // namespace
