// Reference type matching: the one table against the standard's NodeSet, and the free functions,
// the standard reference classes and references held by NodeId or by type node agreeing on every
// pair of types.
#include "testaddressspace.h"

#include "referencetypes.h"
#include "uareference.h"

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

namespace
{
// The reference types of the standard's NodeSet: id -> (browse name, super type id); read once.
const std::map<OpcUa_UInt32, std::pair<std::string, OpcUa_UInt32>>& standardReferenceTypes()
{
    static const auto types = []
    {
        std::map<OpcUa_UInt32, std::pair<std::string, OpcUa_UInt32>> result;
        std::ifstream in(UASERVER_NODESET_FILE);
        std::stringstream text;
        text << in.rdbuf();
        const std::string xml = text.str();
        const std::regex head(R"re(^<UAReferenceType NodeId="i=(\d+)" BrowseName="([^"]+)")re");
        const std::regex superType(
            R"re(<Reference ReferenceType="HasSubtype" IsForward="false">i=(\d+)</Reference>)re");
        for (std::size_t at = xml.find("<UAReferenceType "); at != std::string::npos;
             at = xml.find("<UAReferenceType ", at + 1))
        {
            const std::size_t end = xml.find("</UAReferenceType>", at);
            const std::string body = xml.substr(at, end == std::string::npos ? std::string::npos : end - at);
            std::smatch node;
            std::smatch parent;
            if (!std::regex_search(body, node, head))
                continue;
            const OpcUa_UInt32 superId = std::regex_search(body, parent, superType)
                                             ? static_cast<OpcUa_UInt32>(std::stoul(parent[1]))
                                             : 0;
            result[static_cast<OpcUa_UInt32>(std::stoul(node[1]))] = {node[2], superId};
        }
        return result;
    }();
    return types;
}

// The proper ancestors of a type, by the NodeSet where it has the type, else by the table.
std::set<OpcUa_UInt32> ancestors(OpcUa_UInt32 id,
                                 const std::map<OpcUa_UInt32, std::pair<std::string, OpcUa_UInt32>>& standard)
{
    std::set<OpcUa_UInt32> result;
    for (;;)
    {
        auto known = standard.find(id);
        OpcUa_UInt32 parent = 0;
        if (known != standard.end())
            parent = known->second.second;
        else if (const StandardReferenceType* row = StandardReferenceTypes::find(id))
            parent = row->superTypeId;
        if (parent == 0)
            return result;
        result.insert(parent);
        id = parent;
    }
}

TEST(ReferenceTypes, TableRowsAreThoseOfTheStandard)
{
    const auto& standard = standardReferenceTypes();
    if (standard.empty())
        GTEST_SKIP() << "no NodeSet at " << UASERVER_NODESET_FILE;
    int compared = 0;
    for (const StandardReferenceType& row : StandardReferenceTypes::rows())
    {
        auto known = standard.find(row.id);
        if (known == standard.end())
            continue; // HasModelParent is newer than this NodeSet.
        ++compared;
        EXPECT_EQ(known->second.first, row.name) << row.id;
        EXPECT_EQ(known->second.second, row.superTypeId) << row.name;
    }
    EXPECT_GE(compared, static_cast<int>(StandardReferenceTypes::rows().size()) - 1);
}

// Every id of the table, the null filter, ids outside the table and ids of other forms.
std::vector<UaNodeId> probeIds()
{
    std::vector<UaNodeId> ids{UaNodeId(),
                              UaNodeId(42, 0),
                              UaNodeId(43, 0),
                              UaNodeId(55, 0),
                              UaNodeId(58, 0),
                              UaNodeId(47, 2),
                              UaNodeId(UaString("HasComponent"), 0),
                              UaNodeId(UaString("HasComponent"), 2)};
    for (const StandardReferenceType& row : StandardReferenceTypes::rows())
        ids.emplace_back(row.id, 0);
    return ids;
}

TEST(ReferenceTypes, FreeFunctionClassesAndStandardAgreeOnEveryPair)
{
    const auto& standard = standardReferenceTypes();
    const std::vector<UaNodeId> filters = probeIds();
    int standardClasses = 0;
    for (const StandardReferenceType& row : StandardReferenceTypes::rows())
    {
        const UaNodeId type(row.id, 0);
        const std::set<OpcUa_UInt32> expectedAncestors = ancestors(row.id, standard);
        std::unique_ptr<UaReference> byClass(createStandardReference(row.id, nullptr, nullptr));
        UaReferenceByNodeId byNodeId(nullptr, UaNodeId(1, 2), type, OpcUa_NodeClass_Object, nullptr);
        if (byClass)
        {
            ++standardClasses;
            EXPECT_EQ(byClass->referenceTypeId(), type);
            EXPECT_EQ(byClass->referenceKind(), 0u);
        }
        for (const UaNodeId& filter : filters)
        {
            SCOPED_TRACE(std::string(row.name) + " filter " + filter.toFullString().toUtf8());
            const bool isStandardFilter =
                filter.namespaceIndex() == 0 && filter.identifierType() == OpcUa_IdentifierType_Numeric;
            const bool proper = isStandardFilter && expectedAncestors.count(filter.identifierNumeric()) > 0;
            const bool expected = filter.isNull() || filter == type || proper;
            EXPECT_EQ(isReferenceTypeOf(filter, type, true), expected);
            EXPECT_EQ(isReferenceTypeMatch(filter, row.id, true), expected);
            EXPECT_EQ(isReferenceTypeOf(filter, type, false), filter.isNull() || filter == type);
            EXPECT_EQ(byNodeId.isSubtypeOf(filter), proper);
            if (byClass)
            {
                EXPECT_EQ(byClass->isSubtypeOf(filter), proper);
            }
        }
    }
    EXPECT_EQ(standardClasses, 19);
}

TEST(ReferenceTypes, StandardClassesExistForTheNineteenTypesOnly)
{
    const std::set<OpcUa_UInt32> withClass{35, 36, 37, 38, 39, 40, 41, 45, 46,  47,
                                           48, 49, 50, 51, 52, 53, 54, 56, 9006};
    for (OpcUa_UInt32 id = 0; id < 10000; ++id)
    {
        std::unique_ptr<UaReference> reference(createStandardReference(id, nullptr, nullptr));
        EXPECT_EQ(reference != nullptr, withClass.count(id) == 1) << id;
    }
}

struct MatchCase
{
    const char* what;
    UaNodeId filter;
    OpcUa_UInt32 type;
    bool includeSubtypes;
    bool matches;
};

TEST(ReferenceTypes, CasesTheAddressSpaceReliesOn)
{
    const MatchCase cases[] = {
        {"HasOrderedComponent under HierarchicalReferences", UaNodeId(33, 0), 49, true, true},
        {"no subtypes asked", UaNodeId(33, 0), 49, false, false},
        {"HasCause under NonHierarchicalReferences", UaNodeId(32, 0), 53, true, true},
        {"FromState, ToState and HasEffect too", UaNodeId(31, 0), 51, true, true},
        {"HasEffect", UaNodeId(32, 0), 54, true, true},
        {"HasComponent does not match HasOrderedComponent", UaNodeId(49, 0), 47, true, false},
        {"HasOrderedComponent matches a HasComponent filter", UaNodeId(47, 0), 49, true, true},
        {"without subtypes it does not", UaNodeId(47, 0), 49, false, false},
        {"AlwaysGeneratesEvent is a GeneratesEvent", UaNodeId(41, 0), 3065, true, true},
        {"a numeric filter of another namespace", UaNodeId(47, 2), 47, true, false},
        {"a string filter of namespace 0", UaNodeId(UaString("47"), 0), 47, true, false},
        {"an unknown type matches only itself", UaNodeId(31, 0), 55, true, false},
        {"the null filter matches anything", UaNodeId(), 12345, false, true},
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(isReferenceTypeMatch(c.filter, c.type, c.includeSubtypes), c.matches) << c.what;

    UaRefHasComponent component(nullptr, nullptr);
    EXPECT_FALSE(component.isSubtypeOf(UaNodeId(47, 0))) << "a type is no proper subtype of itself";
    EXPECT_TRUE(component.isSubtypeOf(UaNodeId(33, 0)));
    UaReferenceByNodeId condition(nullptr, UaNodeId(1, 2), UaNodeId(9006, 0), OpcUa_NodeClass_Object,
                                  nullptr);
    EXPECT_TRUE(condition.isSubtypeOf(UaNodeId(31, 0)));
    EXPECT_TRUE(condition.isSubtypeOf(UaNodeId(32, 0)));
    EXPECT_FALSE(condition.isSubtypeOf(UaNodeId(33, 0)));
    for (const UaNodeId& foreignType :
         {UaNodeId(UaString("MyRef"), 2), UaNodeId(47, 2), UaNodeId(UaString("47"), 0)})
    {
        UaReferenceByNodeId reference(nullptr, UaNodeId(1, 2), foreignType, OpcUa_NodeClass_Object, nullptr);
        EXPECT_EQ(reference.referenceKind(), 2u);
        for (const UaNodeId& filter : probeIds())
            EXPECT_FALSE(reference.isSubtypeOf(filter)) << foreignType.toFullString().toUtf8();
    }
    UaReferenceToNodeManager marker(nullptr);
    EXPECT_EQ(marker.referenceKind(), 1u);
    EXPECT_TRUE(marker.referenceTypeId().isNull());
    EXPECT_FALSE(marker.isSubtypeOf(UaNodeId(31, 0)));
}

TEST(ReferenceTypes, ReferenceByNodeAsksItsTypeNodeAndHoldsIt)
{
    auto* base = new UaReferenceTypePlain(UaNodeId(100, 2), UaQualifiedName("Base", 2), UaLocalizedText(),
                                          UaLocalizedText(), true, false, UaLocalizedText(), nullptr);
    auto* derived =
        new UaReferenceTypePlain(UaNodeId(101, 2), UaQualifiedName("Derived", 2), UaLocalizedText(),
                                 UaLocalizedText(), false, false, UaLocalizedText("en", "DerivedOf"), base);
    auto* leaf =
        new UaReferenceTypePlain(UaNodeId(UaString("Leaf"), 2), UaQualifiedName("Leaf", 2), UaLocalizedText(),
                                 UaLocalizedText(), false, true, UaLocalizedText(), derived);
    EXPECT_EQ(base->referenceCount(), 2) << "the subtype holds its super type";
    {
        UaReferenceByNode reference(nullptr, nullptr, leaf);
        EXPECT_EQ(leaf->referenceCount(), 2);
        EXPECT_EQ(reference.referenceTypeId(), UaNodeId(UaString("Leaf"), 2));
        EXPECT_TRUE(reference.isSubtypeOf(UaNodeId(101, 2)));
        EXPECT_TRUE(reference.isSubtypeOf(UaNodeId(100, 2)));
        EXPECT_FALSE(reference.isSubtypeOf(UaNodeId(UaString("Leaf"), 2)));
        EXPECT_FALSE(reference.isSubtypeOf(UaNodeId(31, 0)));
        EXPECT_EQ(reference.referenceKind(), 0u);
    }
    EXPECT_EQ(leaf->referenceCount(), 1);
    UaReferenceByNode withoutType(nullptr, nullptr, nullptr);
    EXPECT_TRUE(withoutType.referenceTypeId().isNull());
    EXPECT_FALSE(withoutType.isSubtypeOf(UaNodeId()));

    const OpcUa_Int32 referenceTypes = UaNodeCounters::uaReferenceType;
    base->releaseReference();
    derived->releaseReference();
    EXPECT_EQ(UaNodeCounters::uaReferenceType, referenceTypes) << "the chain holds its super types";
    leaf->releaseReference();
    EXPECT_EQ(UaNodeCounters::uaReferenceType, referenceTypes - 3);
}
} // namespace
